// Elliptic-curve key structures: the safe-curve table, DER encoders and
// parsers of the stored forms (RFC 5915, RFC 5208/5958, RFC 5480, RFC 8410),
// the classifier of a parsed key, and key strings.
#include <strings.h>

#include <cstring>

#include "asn1/asn1.h"
#include "asn1/der_write.h"
#include "ecc/ec_der.h"
#include "ecc/keys.h"
#include "ecc/safecurve.h"
#include "encode/encode.h"
#include "encode/pem.h"
#include "frame/error.h"
#include "rsa/rsa.h"

namespace velt::ecc {

namespace {

constexpr SafeCurveRow kSafeCurves[] = {
    {0, "X25519", 256, 32, {0x2B, 0x65, 0x6E}},
    {1, "Ed25519", 256, 32, {0x2B, 0x65, 0x70}},
    {2, "X448", 448, 56, {0x2B, 0x65, 0x6F}},
    {3, "Ed448", 456, 57, {0x2B, 0x65, 0x71}},
    {-1, nullptr, 0, 0, {0, 0, 0}},
};

// 1.2.840.10045.2.1
constexpr uint8_t kEcPublicKeyOid[] = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01};

const SafeCurveRow* safe_by_oid(const der::Tlv& oid) {
    if (oid.tag != 0x06 || oid.len != 3) return nullptr;
    for (const SafeCurveRow* r = kSafeCurves; r->id >= 0; ++r) {
        if (std::memcmp(r->oid, oid.value, 3) == 0) return r;
    }
    return nullptr;
}

bool is_ec_public_key_oid(const der::Tlv& t) {
    return t.tag == 0x06 && t.len == sizeof kEcPublicKeyOid &&
           std::memcmp(t.value, kEcPublicKeyOid, sizeof kEcPublicKeyOid) == 0;
}

// A prime curve from an OID element.
bool curve_from_oid(EC_curve* c, const der::Tlv& t) {
    if (t.tag != 0x06 || t.len == 0 || t.len > 31) return false;
    OidRec rec{};
    std::memcpy(rec.oct, t.value, t.len);
    rec.length = int32_t(t.len);
    return EC_curve_from_oid(c, &rec) == 1;
}

void put_curve_oid(SecureBytes& out, const EC_curve& c) {
    OidRec rec{};
    if (EC_curve_oid(c, &rec) == 0) der_put(out, 0x06, rec.oct, size_t(rec.length));
}

// The scalar as exactly the order's byte length (leading zeros kept or
// added, surplus leading zeros dropped).
SecureBytes fixed_scalar(const EC_curve& c, const uint8_t* d, size_t dlen) {
    const size_t nb = EC_order_bytes(c);
    while (dlen > nb && *d == 0) {
        ++d;
        --dlen;
    }
    SecureBytes out(nb > dlen ? nb - dlen : 0, 0);
    out.insert(out.end(), d, d + dlen);
    return out;
}

void put_bit_string(SecureBytes& out, uint8_t tag, const uint8_t* v, size_t len) {
    der_put_header(out, tag, len + 1);
    out.push_back(0);
    out.insert(out.end(), v, v + len);
}

// Body of an ECPrivateKey: { 1, d, [0] curve (optional), [1] Q (optional) }.
SecureBytes ec_private_body(const EC_curve& c, const uint8_t* d, size_t dlen, const uint8_t* q, size_t qlen,
                            bool with_curve) {
    SecureBytes body;
    der_put_uint(body, 1);
    SecureBytes s = fixed_scalar(c, d, dlen);
    der_put(body, 0x04, s.data(), s.size());
    if (with_curve) {
        SecureBytes oid;
        put_curve_oid(oid, c);
        der_put(body, 0xA0, oid);
    }
    if (q && qlen) {
        SecureBytes bits;
        put_bit_string(bits, 0x03, q, qlen);
        der_put(body, 0xA1, bits);
    }
    SecureBytes out;
    der_put(out, 0x30, body);
    return out;
}

// ECPrivateKey fields: d, the [0] curve OID element when present, the [1]
// public key octets when present. The relaxed form does not ask for [0].
bool read_ec_private(const uint8_t* p, size_t n, bool relaxed, der::Tlv& d, der::Tlv& curve, bool& has_curve,
                     std::vector<uint8_t>& q) {
    der::Reader top(p, n);
    der::Tlv seq;
    if (!top.next(seq) || seq.tag != 0x30 || !top.at_end()) return false;
    der::Reader r(seq);
    der::Tlv ver;
    int v = 0;
    if (!r.next(ver) || !der::read_small_int(ver, v) || v != 1) return false;
    if (!r.next(d) || d.tag != 0x04 || d.len == 0) return false;
    has_curve = false;
    q.clear();
    der::Tlv t;
    while (r.next(t)) {
        if (t.tag == 0xA0 && !has_curve) {
            der::Reader cr(t);
            if (!cr.next(curve) || curve.tag != 0x06) return false;
            has_curve = true;
        } else if (t.tag == 0xA1) {
            der::Reader br(t);
            der::Tlv bits;
            if (!br.next(bits) || bits.tag != 0x03 || bits.len < 2 || bits.value[0] != 0) return false;
            q.assign(bits.value + 1, bits.value + bits.len);
        } else {
            return false;
        }
    }
    if (!r.at_end()) return false;
    return relaxed || has_curve;
}

}  // namespace

// ---- Safe curves ----------------------------------------------------------

const SafeCurveRow* safecurve_by_name(const char* name) {
    if (!name) return nullptr;
    for (const SafeCurveRow* r = kSafeCurves; r->id >= 0; ++r) {
        if (strcasecmp(r->name, name) == 0) return r;
    }
    return nullptr;
}

const SafeCurveRow* safecurve_by_id(int id) {
    if (id < 0 || id > 3) return nullptr;
    return &kSafeCurves[id];
}

long safecurve_public_from_private(int id, uint8_t* pub, const uint8_t* priv) {
    switch (id) {
        case 0:
            return x25519_public_key(pub, priv);
        case 1:
            return ed25519_public_key(pub, priv);
        case 2:
            return x448_public_key(pub, priv);
        case 3:
            return ed448_public_key(pub, priv);
        default:
            return NOT_SUPPORTED_ERROR;
    }
}

namespace {

void set_row(safecurve_key& k, const SafeCurveRow* row, int kind) {
    k.id = row->id;
    k.name = row->name;
    k.bits = row->bits;
    k.keylen = row->keylen;
    k.kind = kind;
}

}  // namespace

int safecurve_parse_asn(EcKey& key, const uint8_t* p, size_t n, bool derive_public) {
    der::Reader top(p, n);
    der::Tlv seq;
    if (!top.next(seq) || seq.tag != 0x30 || !top.at_end()) return 0;
    der::Reader r(seq);
    der::Tlv first;
    if (!r.next(first)) return 0;
    safecurve_key& k = key.safe;
    if (first.tag == 0x02) {
        // PrivateKeyInfo / OneAsymmetricKey.
        int version = 0;
        if (!der::read_small_int(first, version) || version > 1) return 0;
        der::Tlv alg, oid, t;
        if (!r.next(alg) || alg.tag != 0x30) return 0;
        der::Reader ar(alg);
        if (!ar.next(oid)) return 0;
        const SafeCurveRow* row = safe_by_oid(oid);
        if (!row) return 0;
        if (!r.next(t)) return 0;
        if (t.tag == 0xA0 && !r.next(t)) return 0;
        if (t.tag != 0x04) return 0;
        der::Reader inner(t);
        der::Tlv raw;
        if (!inner.next(raw) || raw.tag != 0x04 || !inner.at_end() || raw.len != row->keylen) {
            eprintf("Invalid key length");
            return -BAD_KEY_LEN_ERROR;
        }
        key.safe_embedded_pub.clear();
        while (r.next(t)) {
            if (t.tag == 0xA0) continue;  // attributes
            if (t.tag == 0x81 && version == 1) {
                if (t.len != row->keylen + 1 || t.value[0] != 0) {
                    eprintf("Invalid key length");
                    return -BAD_KEY_LEN_ERROR;
                }
                key.safe_embedded_pub.assign(t.value + 1, t.value + t.len);
                continue;
            }
            return 0;
        }
        if (!r.at_end()) return 0;
        set_row(k, row, SAFECURVE_PRIVATE_KEY);
        std::memcpy(k.priv, raw.value, raw.len);
        k.privlen = raw.len;
        if (derive_public) {
            if (safecurve_public_from_private(row->id, k.pub, k.priv) != 0) return 0;
            k.publen = row->keylen;
        }
        key.safe_version = version + 1;
        key.is_private = true;
        key.der.assign(p, p + n);
        return 1;
    }
    if (first.tag == 0x30) {
        der::Reader ar(first);
        der::Tlv oid, t;
        if (!ar.next(oid)) return 0;
        const SafeCurveRow* row = safe_by_oid(oid);
        if (!row) return 0;
        if (!r.next(t)) return 0;
        if (t.tag == 0xA0 && !r.next(t)) return 0;
        if (t.tag != 0x03 || !r.at_end()) return 0;
        if (t.len != row->keylen + 1 || t.value[0] != 0) {
            eprintf("Invalid key length");
            return -BAD_KEY_LEN_ERROR;
        }
        set_row(k, row, SAFECURVE_PUBLIC_KEY);
        std::memcpy(k.pub, t.value + 1, row->keylen);
        k.publen = row->keylen;
        key.is_private = false;
        return 1;
    }
    return 0;
}

int ecParseKeyDer(EcKey& key, const uint8_t* p, size_t n, bool derive_public) {
    key.form = kFormNone;
    key.is_private = false;
    key.d.clear();
    key.q.clear();
    key.der.clear();
    if (!p || n == 0) return kFormNone;
    int rc = safecurve_parse_asn(key, p, n, derive_public);
    if (rc < 0) return rc;
    if (rc == 1) return key.form = kFormSafe;

    der::Tlv d, curve;
    bool has_curve = false;
    if (read_ec_private(p, n, false, d, curve, has_curve, key.q)) {
        if (!curve_from_oid(&key.curve, curve)) return kFormNone;
        key.d.assign(d.value, d.value + d.len);
        key.der.assign(p, p + n);
        key.is_private = true;
        return key.form = kFormEcPrivate;
    }

    der::Reader top(p, n);
    der::Tlv seq;
    if (!top.next(seq) || seq.tag != 0x30 || !top.at_end()) return kFormNone;
    der::Reader r(seq);
    der::Tlv first;
    if (!r.next(first)) return kFormNone;
    if (first.tag == 0x30) {
        // SubjectPublicKeyInfo { { ecPublicKey, curve }, BIT STRING Q }.
        der::Reader ar(first);
        der::Tlv oid, params, bits;
        if (!ar.next(oid) || !is_ec_public_key_oid(oid)) return kFormNone;
        if (!ar.next(params) || !ar.at_end() || !curve_from_oid(&key.curve, params)) return kFormNone;
        if (!r.next(bits) || bits.tag != 0x03 || bits.len < 2 || bits.value[0] != 0 || !r.at_end())
            return kFormNone;
        key.q.assign(bits.value + 1, bits.value + bits.len);
        return key.form = kFormEcSpki;
    }
    int version = -1;
    if (!der::read_small_int(first, version) || version != 0) return kFormNone;
    der::Tlv alg, oct;
    if (!r.next(alg) || alg.tag != 0x30 || !r.next(oct) || oct.tag != 0x04) return kFormNone;
    der::Reader ar(alg);
    der::Tlv oid, params;
    if (!ar.next(oid) || !is_ec_public_key_oid(oid) || !ar.next(params) || !ar.at_end() ||
        !curve_from_oid(&key.curve, params))
        return kFormNone;
    der::Tlv t;
    while (r.next(t)) {
        if (t.tag != 0xA0 && t.tag != 0x81) return kFormNone;  // attributes, public key
    }
    if (!r.at_end()) return kFormNone;
    if (!read_ec_private(oct.value, oct.len, true, d, curve, has_curve, key.q)) return kFormNone;
    if (has_curve) {
        EC_curve inner{};
        if (!curve_from_oid(&inner, curve) || inner.id != key.curve.id) return kFormNone;
    }
    key.d.assign(d.value, d.value + d.len);
    key.der = ecPrivateKeyDer(key.curve, key.d.data(), key.d.size(), nullptr, 0);
    key.is_private = true;
    return key.form = kFormEcPki;
}

// ---- Scalars and points ---------------------------------------------------

bool ecPrivateScalar(const EcKey& key, uint64_t* d) {
    std::memset(d, 0, kMaxLimbs * sizeof(uint64_t));
    if (!key.is_private || key.form == kFormSafe || key.d.empty()) return false;
    if (EC_num_from_bytes(key.curve, d, key.d.data(), key.d.size()) != 0) return false;
    return EC_scalar_in_range(key.curve, d) != 0;
}

std::vector<uint8_t> ecPublicOctets(const EcKey& key) {
    if (!key.is_private) return key.q;
    uint64_t d[kMaxLimbs];
    std::vector<uint8_t> out;
    if (ecPrivateScalar(key, d)) {
        EC_point Q;
        EC_point_mult_base(key.curve, &Q, d);
        out.resize(1 + 2 * EC_field_bytes(key.curve));
        out.resize(EC_point_to_octets(key.curve, out.data(), Q));
    }
    ewipe(d, sizeof d);
    return out;
}

int ecReadPrivateKeyScalar(const uint8_t* p, size_t n, EC_curve* c, uint64_t* d) {
    der::Tlv dt, curve;
    bool has_curve = false;
    std::vector<uint8_t> q;
    if (!read_ec_private(p, n, false, dt, curve, has_curve, q) || !curve_from_oid(c, curve))
        return -BAD_KEY_ERROR;
    std::memset(d, 0, kMaxLimbs * sizeof(uint64_t));
    if (EC_num_from_bytes(*c, d, dt.value, dt.len) != 0 || !EC_scalar_in_range(*c, d)) {
        ewipe(d, kMaxLimbs * sizeof(uint64_t));
        return -BAD_KEY_ERROR;
    }
    return 0;
}

// ---- Encoders --------------------------------------------------------------

SecureBytes ecPrivateKeyDer(const EC_curve& c, const uint8_t* d, size_t dlen, const uint8_t* q, size_t qlen) {
    return ec_private_body(c, d, dlen, q, qlen, true);
}

SecureBytes ecPrivateKeyInfoDer(const EC_curve& c, const uint8_t* d, size_t dlen, const uint8_t* q,
                                size_t qlen) {
    SecureBytes inner = ec_private_body(c, d, dlen, q, qlen, false);
    SecureBytes alg;
    der_put(alg, 0x06, kEcPublicKeyOid, sizeof kEcPublicKeyOid);
    put_curve_oid(alg, c);
    SecureBytes body;
    der_put_uint(body, 0);
    der_put(body, 0x30, alg);
    der_put(body, 0x04, inner);
    SecureBytes out;
    der_put(out, 0x30, body);
    return out;
}

std::vector<uint8_t> ecSpkiDer(const EC_curve& c, const uint8_t* q, size_t qlen) {
    SecureBytes alg;
    der_put(alg, 0x06, kEcPublicKeyOid, sizeof kEcPublicKeyOid);
    put_curve_oid(alg, c);
    SecureBytes body;
    der_put(body, 0x30, alg);
    put_bit_string(body, 0x03, q, qlen);
    SecureBytes out;
    der_put(out, 0x30, body);
    return std::vector<uint8_t>(out.begin(), out.end());
}

SecureBytes safecurvePrivateKeyInfoDer(const safecurve_key& k, int version) {
    const SafeCurveRow* row = safecurve_by_id(k.id);
    SecureBytes out;
    if (!row || k.kind != SAFECURVE_PRIVATE_KEY) return out;
    SecureBytes body, alg, raw;
    der_put_uint(body, version == 2 ? 1 : 0);
    der_put(alg, 0x06, row->oid, 3);
    der_put(body, 0x30, alg);
    der_put(raw, 0x04, k.priv, k.privlen);
    der_put(body, 0x04, raw);
    if (version == 2) put_bit_string(body, 0x81, k.pub, k.publen);
    der_put(out, 0x30, body);
    return out;
}

std::vector<uint8_t> safecurveSpkiDer(int id, const uint8_t* pub, size_t publen) {
    const SafeCurveRow* row = safecurve_by_id(id);
    if (!row) return {};
    SecureBytes body, alg, out;
    der_put(alg, 0x06, row->oid, 3);
    der_put(body, 0x30, alg);
    put_bit_string(body, 0x03, pub, publen);
    der_put(out, 0x30, body);
    return std::vector<uint8_t>(out.begin(), out.end());
}

// ---- Key strings -----------------------------------------------------------

SecureString ecPrivateKeyString(const uint8_t* p, size_t n, long options, long* error) {
    long len = 0;
    std::string s = IK_B64FromBytes(&len, (options & kKeyUnwrapped) ? 0 : 6, p, long(n));
    if (s.empty() && error) *error = len == -212 ? -212L : -long(INVALID_DATA_ERROR);
    SecureString out(s.begin(), s.end());
    ewipe(s.data(), s.size());
    return out;
}

std::string ecPublicKeyString(const uint8_t* p, size_t n) {
    return b64_string(p, n);
}

long ecKeyStringDer(const char* text, SecureBytes& der) {
    der.clear();
    if (!text || (text[0] != 'M' && text[0] != 'P')) return -INVALID_DATA_ERROR;
    if (text[0] == 'P') {
        if (!IK_KeyTypeIsECC(text)) return -INVALID_DATA_ERROR;
        long len = 0;
        int type = 0;
        der = IK_BytesFromB64(&len, &type, text);
        if (len <= 0 || (type != 6 && type != 8)) {
            der.clear();
            return len == -212 ? len : -INVALID_DATA_ERROR;
        }
        return 0;
    }
    if (!detect_isbase64(text)) return -INVALID_DATA_ERROR;
    const size_t tl = std::strlen(text);
    der.resize(tl / 4 * 3 + 3);
    long n = b64decode(der.data(), long(der.size()), text);
    if (n <= 0) {
        der.clear();
        return -INVALID_DATA_ERROR;
    }
    der.resize(size_t(n));
    return 0;
}

int ecParseKeyString(EcKey& key, const char* text) {
    SecureBytes der;
    long rc = ecKeyStringDer(text, der);
    if (rc < 0) return int(rc);
    return ecParseKeyDer(key, der.data(), der.size());
}

long ecReadInputDer(const char* input, SecureBytes& der) {
    der.clear();
    long err = 0;
    AsnNode* node = PEM_ReadSeqFromFileOrPEMString(input, &err);
    if (node) {
        int64_t n = 0;
        uint8_t* p = asn_Store(node, &n);
        asn_Free(&node);
        if (p && n > 0) der.assign(p, p + n);
        if (p) {
            ewipe(p, size_t(n > 0 ? n : 0));
            efree_mem(p);
        }
        if (!der.empty()) return 0;
    }
    if (ecKeyStringDer(input, der) == 0) return 0;
    if (err < 0) return err;
    return -INTERNAL_ERROR;
}

}  // namespace velt::ecc
