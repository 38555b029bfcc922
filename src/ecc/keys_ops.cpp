// Bodies of the exported ECC_ functions: key generation, reading a key by
// curve, saving, reading, queries, hash codes and ECDH.
#include <strings.h>

#include <cstring>
#include <string>

#include "ecc/ec_file.h"
#include "ecc/keys.h"
#include "ecc/safecurve.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "pbe/pbe.h"
#include "rng/rng.h"
#include "util/ct.h"
#include "util/keyparams.h"
#include "x509/x509.h"

namespace velt::ecc {

namespace {

bool empty(const char* s) {
    return !s || !*s;
}

long out_string(char* out, long outlen, const char* s, size_t n) {
    if (!out || outlen < 1) return long(n);
    if (outlen < long(n)) return -SHORT_BUF_ERROR;
    std::memcpy(out, s, n);
    out[n] = '\0';
    return long(n);
}

long out_private(char* out, long outlen, const SecureBytes& der, long options) {
    long error = -INVALID_DATA_ERROR;
    SecureString s = ecPrivateKeyString(der.data(), der.size(), options, &error);
    if (s.empty()) return error;
    return out_string(out, outlen, s.data(), s.size());
}

long out_public(char* out, long outlen, const std::vector<uint8_t>& der) {
    std::string s = ecPublicKeyString(der.data(), der.size());
    if (s.empty()) return -INVALID_DATA_ERROR;
    return out_string(out, outlen, s.data(), s.size());
}

// The curve of a caller's name: a safe-curve row or a loaded prime curve.
long find_curve(const char* name, const SafeCurveRow** safe, EC_curve* c) {
    const char* alias = EC_curve_alias(name);
    *safe = safecurve_by_name(alias);
    if (*safe) return 0;
    if (EC_curve_getbyname(c, alias) == 1) return 0;
    eprintf("Curve with name '%s' is not supported", name);
    return -NO_MATCH_ERROR;
}

// A private scalar drawn by rejection: 0 < d < n, its low (order bits) bits
// taken from the generator.
long random_scalar(const EC_curve& c, uint64_t* d, SecureBytes& dbytes, const std::string& seed) {
    const size_t nb = EC_order_bytes(c);
    dbytes.assign(nb, 0);
    const int extra = int(nb * 8) - c.orderbits;
    for (int tries = 0; tries < 1000; ++tries) {
        long rc = rngFunc(dbytes.data(), long(nb), reinterpret_cast<const uint8_t*>(seed.data()),
                          long(seed.size()));
        if (rc != 0) return rc < 0 ? rc : -rc;
        dbytes[0] &= uint8_t(0xFF >> extra);
        if (EC_num_from_bytes(c, d, dbytes.data(), nb) != 0) continue;
        if (EC_scalar_in_range(c, d)) return 0;
    }
    return -KEYGEN_FAILED_ERROR;
}

std::vector<uint8_t> point_octets(const EC_curve& c, const EC_point& Q) {
    std::vector<uint8_t> q(1 + 2 * EC_field_bytes(c));
    q.resize(EC_point_to_octets(c, q.data(), Q));
    return q;
}

// A new safe-curve private key: key length bytes of 57 drawn.
long random_safe(const SafeCurveRow* row, safecurve_key& k, const std::string& seed) {
    uint8_t buf[kSafeMaxKeyLen];
    WipeOnExit wipe(buf, sizeof buf);
    long rc =
        rngFunc(buf, long(sizeof buf), reinterpret_cast<const uint8_t*>(seed.data()), long(seed.size()));
    if (rc != 0) return rc < 0 ? rc : -rc;
    k.id = row->id;
    k.name = row->name;
    k.bits = row->bits;
    k.keylen = row->keylen;
    k.kind = SAFECURVE_PRIVATE_KEY;
    std::memcpy(k.priv, buf, row->keylen);
    k.privlen = row->keylen;
    if (safecurve_public_from_private(row->id, k.pub, k.priv) != 0) {
        eprintf("Curve is not supported");
        return -NOT_SUPPORTED_ERROR;
    }
    k.publen = row->keylen;
    return 0;
}

long check_pbes1(long options) {
    if (options & kPbes1Selector) {
        eprintf("Old PBES1 schemes not supported for ECC");
        return -BAD_FLAG_ERROR;
    }
    return 0;
}

// Encrypts a PrivateKeyInfo into an EncryptedPrivateKeyInfo: 0 or a
// negative code.
long encrypt_pki(std::vector<uint8_t>& epki, const SecureBytes& pki, const char* password, long count,
                 long options) {
    long rc = pbeEncryptPrivateKeyInfoDer(epki, pki.data(), pki.size(), password, count, options);
    if (rc != 0 || epki.empty()) {
        eprintcatf("Cannot setup PBE");
        return -NOT_SUPPORTED_ERROR;
    }
    return 0;
}

// Encrypts a PrivateKeyInfo and writes the EncryptedPrivateKeyInfo file.
long write_encrypted(const char* path, const SecureBytes& pki, const char* password, long count,
                     long options) {
    std::vector<uint8_t> epki;
    long rc = encrypt_pki(epki, pki, password, count, options);
    if (rc != 0) return rc;
    return ecWriteKeyFile(path, epki.data(), epki.size(),
                          (options & kKeyFormatPem) ? "ENCRYPTED PRIVATE KEY" : nullptr, true);
}

long parse_params(const char* params, long& options, KeyParams& kp) {
    long rc = keyParseParams(params, kp, false);
    if (rc != 0) return -rc;
    if (kp.prf >= 0) options = (options & ~0x0FL) | kp.prf;
    return 0;
}

// A key string decoded and classified; negative code with its message.
long parse_key_string(EcKey& key, const char* text, SecureBytes* der_out = nullptr) {
    SecureBytes der;
    long rc = ecKeyStringDer(text, der);
    if (rc != 0) {
        if (rc != -INVALID_DATA_ERROR) return rc;
        eprintf("Invalid key string");
        return -INVALID_DATA_ERROR;
    }
    int form = ecParseKeyDer(key, der.data(), der.size());
    if (form < 0) return form;
    if (form == kFormNone) {
        eprintf("Invalid key");
        return -BAD_KEY_ERROR;
    }
    if (der_out) *der_out = std::move(der);
    return form;
}

}  // namespace

// ---- Key generation ---------------------------------------------------------

SecureString eccMakePrivateKey(const char* curveName, long* status) {
    long dummy = 0;
    if (!status) status = &dummy;
    *status = 0;
    if (empty(curveName)) {
        *status = -BAD_PARAM_ERROR;
        return {};
    }
    const SafeCurveRow* safe = nullptr;
    EC_curve c{};
    long rc = find_curve(curveName, &safe, &c);
    SecureBytes der;
    if (rc == 0 && safe) {
        safecurve_key k;
        rc = random_safe(safe, k, std::string());
        if (rc == 0) der = safecurvePrivateKeyInfoDer(k, 1);
    } else if (rc == 0) {
        uint64_t d[kMaxLimbs] = {0};
        SecureBytes dbytes;
        rc = random_scalar(c, d, dbytes, std::string());
        if (rc == 0) {
            EC_point Q;
            EC_point_mult_base(c, &Q, d);
            std::vector<uint8_t> q = point_octets(c, Q);
            der = ecPrivateKeyDer(c, dbytes.data(), dbytes.size(), q.data(), q.size());
        }
        ewipe(d, sizeof d);
    }
    if (rc != 0) {
        *status = rc;
        return {};
    }
    return ecPrivateKeyString(der.data(), der.size(), 0, status);
}

long eccMakeKeys(const char* pubFile, const char* priFile, const char* curveName, const char* password,
                 const char* params, long options) {
    if (empty(pubFile) || empty(priFile) || empty(curveName) || empty(password)) return -BAD_PARAM_ERROR;
    long rc = check_pbes1(options);
    if (rc != 0) return rc;
    KeyParams kp;
    rc = parse_params(params, options, kp);
    if (rc != 0) return rc;
    const SafeCurveRow* safe = nullptr;
    EC_curve c{};
    rc = find_curve(curveName, &safe, &c);
    if (rc != 0) return rc;

    SecureBytes pki;
    std::vector<uint8_t> spki;
    if (safe) {
        safecurve_key k;
        rc = random_safe(safe, k, kp.seed);
        if (rc != 0) return rc;
        pki = safecurvePrivateKeyInfoDer(k, 1);
        spki = safecurveSpkiDer(k.id, k.pub, k.publen);
    } else {
        uint64_t d[kMaxLimbs] = {0};
        SecureBytes dbytes;
        rc = random_scalar(c, d, dbytes, kp.seed);
        if (rc != 0) {
            ewipe(d, sizeof d);
            return rc;
        }
        EC_point Q;
        EC_point_mult_base(c, &Q, d);
        ewipe(d, sizeof d);
        std::vector<uint8_t> q = point_octets(c, Q);
        pki = ecPrivateKeyInfoDer(c, dbytes.data(), dbytes.size(), q.data(), q.size());
        spki = ecSpkiDer(c, q.data(), q.size());
    }
    std::vector<uint8_t> epki;
    rc = encrypt_pki(epki, pki, password, kp.count, options);
    if (rc != 0) return rc;
    const bool pem = (options & kKeyFormatPem) != 0;
    return ecWriteKeyPair(priFile, epki.data(), epki.size(), pem ? "ENCRYPTED PRIVATE KEY" : nullptr, pubFile,
                          spki.data(), spki.size(), pem ? "PUBLIC KEY" : nullptr);
}

// ---- Reading a key by curve ---------------------------------------------------

long eccReadKeyByCurve(char* out, long outlen, const char* hexKey, const char* curveName, long options) {
    if (empty(hexKey) || empty(curveName)) return -BAD_PARAM_ERROR;
    const SafeCurveRow* safe = nullptr;
    EC_curve c{};
    long rc = find_curve(curveName, &safe, &c);
    if (rc != 0) return rc;
    if (safe) {
        if (!detect_ishexloose(hexKey)) {
            eprintf("Invalid hex character");
            return -INVALID_DATA_ERROR;
        }
        size_t digits = 0;
        for (const char* p = hexKey; *p; ++p) digits += is_hexdigit(*p) ? 1 : 0;
        if (digits != 2 * safe->keylen) {
            eprintf("Invalid key length");
            return -BAD_KEY_LEN_ERROR;
        }
        safecurve_key k;
        uint8_t buf[kSafeMaxKeyLen];
        WipeOnExit wipe(buf, sizeof buf);
        if (hexdecode(buf, long(sizeof buf), hexKey) != long(safe->keylen)) {
            eprintf("Invalid key length");
            return -BAD_KEY_LEN_ERROR;
        }
        k.id = safe->id;
        k.name = safe->name;
        k.bits = safe->bits;
        k.keylen = safe->keylen;
        if (options & kEccPublicKey) {
            return out_public(out, outlen, safecurveSpkiDer(safe->id, buf, safe->keylen));
        }
        k.kind = SAFECURVE_PRIVATE_KEY;
        std::memcpy(k.priv, buf, safe->keylen);
        k.privlen = safe->keylen;
        safecurve_public_from_private(safe->id, k.pub, k.priv);
        k.publen = safe->keylen;
        return out_private(out, outlen, safecurvePrivateKeyInfoDer(k, 1), options);
    }

    const size_t nb = EC_field_bytes(c);
    const size_t tl = std::strlen(hexKey);
    const bool point =
        (tl > 4 * nb && std::strncmp(hexKey, "04", 2) == 0) ||
        (tl > 2 * nb && (std::strncmp(hexKey, "02", 2) == 0 || std::strncmp(hexKey, "03", 2) == 0));
    if (point) {
        EC_point Q;
        if (EC_point_fromhex(c, &Q, hexKey) != 0 || !EC_partial_validation(c, Q)) {
            eprintf("Invalid key");
            return -BAD_KEY_ERROR;
        }
        std::vector<uint8_t> q = point_octets(c, Q);
        return out_public(out, outlen, ecSpkiDer(c, q.data(), q.size()));
    }
    if (!detect_ishexloose(hexKey)) {
        eprintf("Invalid hex character");
        return -INVALID_DATA_ERROR;
    }
    SecureString digits;
    for (const char* p = hexKey; *p; ++p) {
        if (is_hexdigit(*p)) digits += *p;
    }
    if (digits.size() > size_t(c.words) * 8) {
        eprintf("Invalid key length");
        return -BAD_KEY_LEN_ERROR;
    }
    if (digits.size() % 2) digits.insert(digits.begin(), '0');
    SecureBytes dbytes(digits.size() / 2 + 1, 0);
    long n = hexdecode(dbytes.data(), long(dbytes.size()), digits.c_str());
    dbytes.resize(n > 0 ? size_t(n) : 0);
    uint64_t d[kMaxLimbs] = {0};
    WipeOnExit wipe_d(d, sizeof d);
    if (dbytes.empty() || EC_num_from_bytes(c, d, dbytes.data(), dbytes.size()) != 0 ||
        !EC_scalar_in_range(c, d)) {
        eprintf("Invalid key");
        return -BAD_KEY_ERROR;
    }
    EC_point Q;
    EC_point_mult_base(c, &Q, d);
    std::vector<uint8_t> q = point_octets(c, Q);
    return out_private(out, outlen, ecPrivateKeyDer(c, dbytes.data(), dbytes.size(), q.data(), q.size()),
                       options);
}

// ---- Saving -------------------------------------------------------------------

long eccSaveKey(const char* outFile, const char* keyString, long options) {
    if (empty(outFile) || empty(keyString)) return -BAD_PARAM_ERROR;
    EcKey key;
    SecureBytes der;
    long rc = parse_key_string(key, keyString, &der);
    if (rc < 0) return rc;
    const bool pem = (options & kKeyFormatPem) != 0;
    if (!key.is_private)
        return ecWriteKeyFile(outFile, der.data(), der.size(), pem ? "PUBLIC KEY" : nullptr, false);
    if (key.form == kFormSafe) {
        SecureBytes out = safecurvePrivateKeyInfoDer(key.safe, (options & kKeyPkcs8V1) ? 1 : 2);
        return ecWriteKeyFile(outFile, out.data(), out.size(), pem ? "PRIVATE KEY" : nullptr, true);
    }
    uint64_t d[kMaxLimbs];
    bool ok = ecPrivateScalar(key, d);
    ewipe(d, sizeof d);
    if (!ok) {
        eprintf("Invalid key");
        return -BAD_KEY_ERROR;
    }
    std::vector<uint8_t> q = key.q.empty() ? ecPublicOctets(key) : key.q;
    const bool pkcs8 = (options & kKeyTypePkcs8) != 0;
    SecureBytes out = pkcs8 ? ecPrivateKeyInfoDer(key.curve, key.d.data(), key.d.size(), q.data(), q.size())
                            : ecPrivateKeyDer(key.curve, key.d.data(), key.d.size(), q.data(), q.size());
    return ecWriteKeyFile(outFile, out.data(), out.size(),
                          pem ? (pkcs8 ? "PRIVATE KEY" : "EC PRIVATE KEY") : nullptr, true);
}

long eccSaveEncKey(const char* outFile, const char* keyString, const char* password, const char* params,
                   long options) {
    if (empty(outFile) || empty(keyString) || empty(password)) return -BAD_PARAM_ERROR;
    long rc = check_pbes1(options);
    if (rc != 0) return rc;
    KeyParams kp;
    rc = parse_params(params, options, kp);
    if (rc != 0) return rc;
    EcKey key;
    rc = parse_key_string(key, keyString);
    if (rc == -INVALID_DATA_ERROR) return rc;
    if (rc < 0 || !key.is_private) {
        eprintf("Not a valid EC private key");
        return -BAD_KEY_ERROR;
    }
    SecureBytes pki;
    if (key.form == kFormSafe) {
        pki = key.der;
    } else {
        uint64_t d[kMaxLimbs];
        bool ok = ecPrivateScalar(key, d);
        ewipe(d, sizeof d);
        if (!ok) {
            eprintf("Not a valid EC private key");
            return -BAD_KEY_ERROR;
        }
        pki = ecPrivateKeyInfoDer(key.curve, key.d.data(), key.d.size(), key.q.data(), key.q.size());
    }
    return write_encrypted(outFile, pki, password, kp.count, options);
}

// ---- Reading --------------------------------------------------------------------

long eccReadPrivateKey(char* out, long outlen, const char* input, const char* password, long options) {
    if (empty(input)) return -BAD_PARAM_ERROR;
    SecureBytes der;
    long rc = ecReadInputDer(input, der);
    if (rc < 0) return rc;
    if (!empty(password)) {
        SecureBytes pki;
        if (pbeDecryptPrivateKeyInfoDer(pki, der.data(), der.size(),
                                        reinterpret_cast<const uint8_t*>(password),
                                        std::strlen(password)) == 0 &&
            !pki.empty()) {
            der = std::move(pki);
        }
        errclear();
    }
    EcKey key;
    int form = ecParseKeyDer(key, der.data(), der.size());
    if (form < 0) return form;
    if (form == kFormNone || !key.is_private) {
        eprintf("Unable to extract a private key");
        return -INVALID_DATA_ERROR;
    }
    if (form != kFormSafe) {
        uint64_t d[kMaxLimbs];
        bool ok = ecPrivateScalar(key, d);
        ewipe(d, sizeof d);
        if (!ok) {
            eprintf("Private key out of valid range");
            return -BAD_KEY_ERROR;
        }
    }
    return out_private(out, outlen, key.der, options);
}

long eccReadPublicKey(char* out, long outlen, const char* input, long) {
    if (empty(input)) return -BAD_PARAM_ERROR;
    SecureBytes der;
    long rc = ecReadInputDer(input, der);
    if (rc < 0) return rc;
    EcKey key;
    int form = ecParseKeyDer(key, der.data(), der.size());
    if (form < 0) return form;
    if (form != kFormNone && !key.is_private)
        return out_public(out, outlen, std::vector<uint8_t>(der.begin(), der.end()));
    // An X.509 certificate gives its subject's public key.
    if (form == kFormNone) {
        std::string keyString;
        AsnNode* cert = x509readCertFromFileOrString(input);
        long xrc = cert ? x509getECCPublicKeyAsString(keyString, cert) : 1;
        asn_Free(&cert);
        SecureBytes spki;
        if (xrc == 0 && ecKeyStringDer(keyString.c_str(), spki) == 0)
            return out_public(out, outlen, std::vector<uint8_t>(spki.begin(), spki.end()));
    }
    if (form == kFormSafe && key.safe_embedded_pub.size() == key.safe.keylen)
        return out_public(out, outlen,
                          safecurveSpkiDer(key.safe.id, key.safe_embedded_pub.data(), key.safe.keylen));
    if ((form == kFormEcPrivate || form == kFormEcPki) && !key.q.empty())
        return out_public(out, outlen, ecSpkiDer(key.curve, key.q.data(), key.q.size()));
    eprintf("Unable to extract a public key");
    return -INVALID_DATA_ERROR;
}

long eccPublicKeyFromPrivate(char* out, long outlen, const char* keyString, long) {
    if (empty(keyString)) return -BAD_PARAM_ERROR;
    EcKey key;
    long rc = parse_key_string(key, keyString);
    if (rc < 0) return rc;
    if (!key.is_private) {
        eprintf("Invalid key");
        return -BAD_KEY_ERROR;
    }
    if (key.form == kFormSafe)
        return out_public(out, outlen, safecurveSpkiDer(key.safe.id, key.safe.pub, key.safe.publen));
    std::vector<uint8_t> q = ecPublicOctets(key);
    if (q.empty()) {
        eprintf("Private key out of valid range");
        return -OUT_OF_RANGE_ERROR;
    }
    return out_public(out, outlen, ecSpkiDer(key.curve, q.data(), q.size()));
}

// ---- Queries and hash codes ----------------------------------------------------

namespace {

enum QueryId { kCurveName, kKeyBits, kIsPrivate, kPrivateKey, kPublicKey, kIsValid };
struct QueryRow {
    const char* keyword;
    int type;  // 1 number, 2 string
};
constexpr QueryRow kQueries[] = {
    {"curveName", 2}, {"keyBits", 1}, {"isPrivate", 1}, {"privateKey", 2}, {"publicKey", 2}, {"isValid", 1},
};

// The shared query parser: leading blanks and tabs skipped, at most 31
// characters, cut at the first "/" and the first blank.
std::string query_text(const char* q) {
    while (*q == ' ' || *q == '\t') ++q;
    std::string s(q, std::min<size_t>(std::strlen(q), 31));
    size_t cut = s.find_first_of("/ ");
    if (cut != std::string::npos) s.resize(cut);
    return s;
}

}  // namespace

long eccQueryKey(char* out, long outlen, const char* keyString, const char* query, long options) {
    if (!query) return -BAD_PARAM_ERROR;
    std::string q = query_text(query);
    int id = -1;
    for (size_t i = 0; i < sizeof kQueries / sizeof kQueries[0] && id < 0; ++i) {
        if (strncasecmp(q.c_str(), kQueries[i].keyword, std::strlen(kQueries[i].keyword)) == 0) id = int(i);
    }
    if (id < 0) {
        eprintf("'%s' is not a valid query", q.c_str());
        return -BAD_QUERY_ERROR;
    }
    if (options & kQueryGetType) return kQueries[id].type;
    if (empty(keyString)) return -BAD_PARAM_ERROR;
    EcKey key;
    long rc = parse_key_string(key, keyString);
    if (rc < 0) return rc;
    const bool safe = key.form == kFormSafe;
    std::string text;
    switch (id) {
        case kCurveName:
            text = safe ? key.safe.name : key.curve.name;
            break;
        case kKeyBits:
            return safe ? key.safe.bits : key.curve.fieldbits;
        case kIsPrivate:
            return key.is_private ? 1 : 0;
        case kPrivateKey:
            if (!key.is_private) {
                text = "0";
            } else if (safe) {
                text = hex_string(key.safe.priv, key.safe.privlen, false);
            } else {
                uint64_t d[kMaxLimbs];
                bool ok = ecPrivateScalar(key, d);
                SecureBytes b(EC_field_bytes(key.curve));
                EC_num_to_bytes(b.data(), b.size(), d, key.curve.nlimbs);
                ewipe(d, sizeof d);
                if (!ok) {
                    eprintf("Invalid key");
                    return -BAD_KEY_ERROR;
                }
                text = hex_string(b.data(), b.size(), false);
            }
            break;
        case kPublicKey:
            if (safe) {
                text = hex_string(key.safe.pub, key.safe.publen, false);
            } else {
                std::vector<uint8_t> pt = ecPublicOctets(key);
                if (pt.empty()) {
                    eprintf("Invalid key");
                    return -BAD_KEY_ERROR;
                }
                EC_point P;
                if (pt[0] != 0x04 && EC_point_from_octets(key.curve, &P, pt.data(), pt.size()) == 0)
                    pt = point_octets(key.curve, P);
                text = hex_string(pt.data(), pt.size(), false);
            }
            break;
        default: {
            if (safe) return 1;
            std::vector<uint8_t> pt = ecPublicOctets(key);
            EC_point P;
            return (!pt.empty() && EC_point_from_octets(key.curve, &P, pt.data(), pt.size()) == 0 &&
                    EC_partial_validation(key.curve, P))
                       ? 1
                       : 0;
        }
    }
    long r = out_string(out, outlen, text.data(), text.size());
    ewipe(text.data(), text.size());
    return r;
}

long eccKeyHashCode(const char* keyString) {
    if (empty(keyString)) {
        errset(BAD_PARAM_ERROR);
        return 0;
    }
    EcKey key;
    long rc = parse_key_string(key, keyString);
    std::vector<uint8_t> pub;
    if (rc >= 0) {
        if (key.form == kFormSafe) {
            pub.assign(key.safe.pub, key.safe.pub + key.safe.publen);
        } else {
            pub = ecPublicOctets(key);
            if (pub.empty()) {
                eprintf("Invalid key");
                rc = -BAD_KEY_ERROR;
            }
        }
    }
    if (rc < 0) {
        errset(-rc);
        return 0;
    }
    hash::Md5Ctx ctx;
    hash::md5_init(ctx);
    hash::md5_update(ctx, pub.data(), pub.size());
    uint8_t md[16];
    hash::md5_final(ctx, md);
    uint32_t v = (uint32_t(md[0]) << 24) | (uint32_t(md[1]) << 16) | (uint32_t(md[2]) << 8) | md[3];
    return long(int32_t(v));
}

// ---- ECDH -------------------------------------------------------------------------

long eccDHSharedSecret(uint8_t* out, long outlen, const char* privateKey, const char* publicKey, long) {
    if (empty(privateKey) || empty(publicKey)) return -BAD_PARAM_ERROR;
    EcKey pri;
    SecureBytes der;
    if (ecKeyStringDer(privateKey, der) != 0) {
        eprintf("Invalid private key string");
        return -INVALID_DATA_ERROR;
    }
    int form = ecParseKeyDer(pri, der.data(), der.size(), false);
    if (form < 0) return form;
    EcKey pub;
    if (form == kFormSafe && pri.is_private) {
        const safecurve_key& k = pri.safe;
        if (k.id != 0 && k.id != 2) {
            eprintf("Curve '%s' is not supported for ECDH", k.name);
            return -NOT_SUPPORTED_ERROR;
        }
        SecureBytes pder;
        if (ecKeyStringDer(publicKey, pder) != 0) {
            eprintf("Invalid public key string");
            return -INVALID_DATA_ERROR;
        }
        int pform = ecParseKeyDer(pub, pder.data(), pder.size());
        if (pform != kFormSafe || pub.is_private) {
            eprintf("Expected a safecurve public key");
            return -BAD_KEY_ERROR;
        }
        if (pub.safe.id != k.id) {
            eprintf("Public and private curve types do not match");
            return -BAD_KEY_ERROR;
        }
        const long n = long(k.keylen);
        if (!out || outlen < 1) return n;
        if (outlen < n) {
            eprintf("Buffer is too short");
            return -SHORT_BUF_ERROR;
        }
        long rc = k.id == 0 ? x25519_shared_secret(out, k.priv, pub.safe.pub)
                            : x448_shared_secret(out, k.priv, pub.safe.pub);
        if (rc != 0) {
            eprintf("Invalid data");
            return -OUT_OF_RANGE_ERROR;
        }
        return n;
    }
    if (form != kFormEcPrivate && form != kFormEcPki) {
        eprintf("EC private key expected");
        return -BAD_KEY_ERROR;
    }
    uint64_t d[kMaxLimbs];
    WipeOnExit wipe_d(d, sizeof d);
    if (!ecPrivateScalar(pri, d)) {
        eprintf("Private key is invalid");
        return -BAD_KEY_ERROR;
    }
    SecureBytes pder;
    int pform =
        ecKeyStringDer(publicKey, pder) == 0 ? ecParseKeyDer(pub, pder.data(), pder.size()) : kFormNone;
    if (pform != kFormEcSpki) {
        eprintf("EC public key expected");
        return -BAD_KEY_ERROR;
    }
    EC_point Q;
    if (EC_point_from_octets(pub.curve, &Q, pub.q.data(), pub.q.size()) != 0 ||
        !EC_partial_validation(pub.curve, Q)) {
        eprintf("Public key is invalid");
        return -BAD_KEY_ERROR;
    }
    if (pub.curve.id != pri.curve.id) {
        eprintf("Curves do not match");
        return -NO_MATCH_ERROR;
    }
    const long n = long(EC_field_bytes(pri.curve));
    if (!out || outlen < 1) return n;
    if (outlen < n) {
        eprintf("Buffer is too short");
        return -SHORT_BUF_ERROR;
    }
    if (!EC_ecdh_ct(pri.curve, out, d, Q)) {
        eprintf("Invalid result");
        return -OUT_OF_RANGE_ERROR;
    }
    return n;
}

}  // namespace velt::ecc
