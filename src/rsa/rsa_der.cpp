// DER of the RSA key structures (RFC 8017 appendix A.1, RFC 5280 4.1 and
// RFC 5208): RSAPublicKey, SubjectPublicKeyInfo, RSAPrivateKey and
// PrivateKeyInfo. The reader works on a span and checks every length
// against what remains before using it.
#include <cstring>

#include "frame/error.h"
#include "rsa/rsa.h"
#include "rsa/rsa_der.h"
#include "rsa/rsa_int.h"

using velt::SecureBytes;

namespace rsader {

const uint8_t kRsaEncryptionOid[9] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};

void put_integer(SecureBytes& out, const BdNumber* b) {
    SecureBytes v = rsaNumberOctets(b);
    if (v[0] & 0x80) v.insert(v.begin(), 0x00);
    velt::der_put(out, 0x02, v.data(), v.size());
}

void put_small_integer(SecureBytes& out, uint8_t v) {
    out.push_back(0x02);
    out.push_back(0x01);
    out.push_back(v);
}

void put_rsa_algorithm(SecureBytes& out) {
    SecureBytes alg;
    velt::der_put(alg, 0x06, kRsaEncryptionOid, sizeof kRsaEncryptionOid);
    alg.push_back(0x05);
    alg.push_back(0x00);
    velt::der_put(out, 0x30, alg.data(), alg.size());
}

// A non-negative INTEGER's content: rejects empty and negative values.
bool read_integer(const Tlv& t, const uint8_t*& v, size_t& len) {
    if (t.tag != 0x02 || t.len == 0) return false;
    if (t.value[0] & 0x80) return false;
    v = t.value;
    len = t.len;
    return true;
}

bool is_rsa_algorithm(const Tlv& alg) {
    if (alg.tag != 0x30) return false;
    Reader r(alg.value, alg.len);
    Tlv oid;
    if (!r.next(oid) || oid.tag != 0x06) return false;
    if (oid.len != sizeof kRsaEncryptionOid || std::memcmp(oid.value, kRsaEncryptionOid, oid.len) != 0)
        return false;
    Tlv par;
    if (r.next(par)) {
        if (par.tag != 0x05 || par.len != 0) return false;
    }
    return r.at_end();
}

}  // namespace rsader

using namespace rsader;

namespace {

// Bit length of a big-endian number (leading zero octets allowed).
size_t octets_bit_length(const uint8_t* v, size_t len) {
    size_t i = 0;
    while (i < len && v[i] == 0) ++i;
    if (i == len) return 0;
    return 8 * (len - i - 1) + size_t(32 - __builtin_clz(v[i]));
}

}  // namespace

long rsaCheckKeySize(const uint8_t* n, size_t nlen, const uint8_t* e, size_t elen) {
    const size_t nbits = octets_bit_length(n, nlen), ebits = octets_bit_length(e, elen);
    if (nbits > kRsaMaxModulusBits) {
        eprintf("RSA modulus of %zu bits is above the limit of %zu", nbits, kRsaMaxModulusBits);
        return BAD_KEY_LEN_ERROR;
    }
    if (nbits > kRsaLongExponentFromBits && ebits > kRsaMaxLongExponentBits) {
        eprintf("RSA public exponent of %zu bits is above the limit of %zu for a %zu-bit modulus", ebits,
                kRsaMaxLongExponentBits, nbits);
        return BAD_KEY_LEN_ERROR;
    }
    return 0;
}

std::vector<uint8_t> rsaPublicKeyDer(const RsaKey* key) {
    if (!key || !(key->flags & kRsaHasPublic)) return {};
    SecureBytes body, out;
    put_integer(body, key->n);
    put_integer(body, key->e);
    velt::der_put(out, 0x30, body.data(), body.size());
    return std::vector<uint8_t>(out.begin(), out.end());
}

std::vector<uint8_t> rsaSpkiDer(const RsaKey* key) {
    std::vector<uint8_t> pk = rsaPublicKeyDer(key);
    if (pk.empty()) return {};
    SecureBytes body, out;
    put_rsa_algorithm(body);
    velt::der_put_header(body, 0x03, pk.size() + 1);
    body.push_back(0x00);
    body.insert(body.end(), pk.begin(), pk.end());
    velt::der_put(out, 0x30, body.data(), body.size());
    return std::vector<uint8_t>(out.begin(), out.end());
}

SecureBytes rsaPrivateKeyDer(const RsaKey* key) {
    if (!key || (key->flags & (kRsaHasPublic | kRsaHasPrivate)) != (kRsaHasPublic | kRsaHasPrivate))
        return {};
    SecureBytes body, out;
    put_small_integer(body, 0);
    put_integer(body, key->n);
    put_integer(body, key->e);
    put_integer(body, key->d);
    if (key->flags & kRsaHasCrt) {
        put_integer(body, key->p);
        put_integer(body, key->q);
        put_integer(body, key->dP);
        put_integer(body, key->dQ);
        put_integer(body, key->qInv);
    } else {
        for (int i = 0; i < 5; ++i) put_small_integer(body, 0);
    }
    velt::der_put(out, 0x30, body.data(), body.size());
    return out;
}

SecureBytes rsaPrivateKeyInfoDer(const RsaKey* key) {
    SecureBytes pk = rsaPrivateKeyDer(key);
    if (pk.empty()) return {};
    SecureBytes body, out;
    put_small_integer(body, 0);
    put_rsa_algorithm(body);
    velt::der_put(body, 0x04, pk.data(), pk.size());
    velt::der_put(out, 0x30, body.data(), body.size());
    return out;
}

long rsaParsePublicKeyDer(RsaKey* key, const uint8_t* der, size_t len) {
    if (!key || !der) return NULL_ERROR;
    Reader top(der, len);
    Tlv seq;
    if (!top.next(seq) || seq.tag != 0x30 || !top.at_end()) return INVALID_DATA_ERROR;
    Reader r(seq.value, seq.len);
    Tlv tn, te;
    const uint8_t *n, *e;
    size_t nl, el;
    if (!r.next(tn) || !r.next(te) || !r.at_end()) return INVALID_DATA_ERROR;
    if (!read_integer(tn, n, nl) || !read_integer(te, e, el)) return INVALID_DATA_ERROR;
    key->flags = 0;
    if (long rc = rsaCheckKeySize(n, nl, e, el); rc != 0) return rc;
    return rsaSetPublicKey(key, n, nl, e, el);
}

long rsaParseSpkiDer(RsaKey* key, const uint8_t* der, size_t len) {
    if (!key || !der) return NULL_ERROR;
    Reader top(der, len);
    Tlv seq;
    if (!top.next(seq) || seq.tag != 0x30 || !top.at_end()) return INVALID_DATA_ERROR;
    Reader r(seq.value, seq.len);
    Tlv alg, bits;
    if (!r.next(alg) || !r.next(bits) || !r.at_end()) return INVALID_DATA_ERROR;
    if (alg.tag != 0x30) return INVALID_DATA_ERROR;
    if (!is_rsa_algorithm(alg)) {
        eprintf("Algorithm must be rsaEncryption");
        return BAD_FORMAT_ERROR;
    }
    if (bits.tag != 0x03 || bits.len < 2 || bits.value[0] != 0) return INVALID_DATA_ERROR;
    return rsaParsePublicKeyDer(key, bits.value + 1, bits.len - 1);
}

long rsaParsePrivateKeyDer(RsaKey* key, const uint8_t* der, size_t len) {
    if (!key || !der) return NULL_ERROR;
    Reader top(der, len);
    Tlv seq;
    if (!top.next(seq) || seq.tag != 0x30 || !top.at_end()) return INVALID_DATA_ERROR;
    Reader r(seq.value, seq.len);
    const uint8_t* v[9];
    size_t l[9];
    for (int i = 0; i < 9; ++i) {
        Tlv t;
        if (!r.next(t) || !read_integer(t, v[i], l[i])) return INVALID_DATA_ERROR;
    }
    // Anything after the ninth INTEGER (multi-prime otherPrimeInfos) is
    // allowed only with version 1, which is not supported; a version-0 key
    // ends there.
    if (!(l[0] == 1 && v[0][0] == 0)) return NOT_SUPPORTED_ERROR;
    if (!r.at_end()) return INVALID_DATA_ERROR;
    key->flags = 0;
    if (long rc = rsaCheckKeySize(v[1], l[1], v[2], l[2]); rc != 0) return rc;
    // All five CRT fields one octet long (INTEGER 0 when written without
    // them): the key is n, e, d only. The values are still kept, with the
    // CRT flag clear, so that a key check can refuse non-zero ones.
    rsaSetPrivateKeyEx(key, v[1], l[1], v[2], l[2], v[3], l[3], v[4], l[4], v[5], l[5], v[6], l[6], v[7],
                       l[7], v[8], l[8]);
    const bool crt = !(l[4] == 1 && l[5] == 1 && l[6] == 1 && l[7] == 1 && l[8] == 1);
    if (!crt) key->flags &= ~kRsaHasCrt;
    return 0;
}

long rsaParsePrivateKeyInfoDer(RsaKey* key, const uint8_t* der, size_t len) {
    if (!key || !der) return NULL_ERROR;
    Reader top(der, len);
    Tlv seq;
    if (!top.next(seq) || seq.tag != 0x30 || !top.at_end()) return INVALID_DATA_ERROR;
    Reader r(seq.value, seq.len);
    Tlv ver, alg, oct;
    if (!r.next(ver) || !r.next(alg) || !r.next(oct)) return INVALID_DATA_ERROR;
    if (ver.tag != 0x02 || ver.len != 1 || ver.value[0] != 0) {
        eprintf("Wrong PrivateKeyInfo version");
        return INVALID_DATA_ERROR;
    }
    if (!is_rsa_algorithm(alg)) {
        eprintf("Algorithm must be rsaEncryption");
        return INVALID_DATA_ERROR;
    }
    if (oct.tag != 0x04) return INVALID_DATA_ERROR;
    // Optional [0] attributes and [1] publicKey follow; they are ignored.
    return rsaParsePrivateKeyDer(key, oct.value, oct.len);
}
