// RSA signatures (RFC 8017 sections 8.1 and 8.2): RSASSA-PKCS1-v1_5 and
// RSASSA-PSS over the raw operations and message encodings of src/rsa.
#include <cstring>

#include "frame/error.h"
#include "hash/hash.h"
#include "rng/rng.h"
#include "sig/sig.h"
#include "util/ct.h"

namespace velt::sig {

namespace {

inline constexpr long kSaltLenField = 0x700000;
inline constexpr long kSaltLenMax = 0x200000;
inline constexpr long kSaltLen20 = 0x300000;
inline constexpr long kSaltLenZero = 0x400000;
inline constexpr long kMgf1Sha1 = 0x800000;

long message_digest(uint8_t* out, const uint8_t* data, size_t dlen, const SigAlgRow& row, bool useDigest) {
    if (useDigest) {
        if (dlen != row.digestLen) {
            eprintf("Wrong digest length for %s", row.hashName);
            return BAD_LENGTH_ERROR;
        }
        std::memcpy(out, data, dlen);
        return 0;
    }
    if (!hash::digest(row.hashAlg, data, dlen, out)) {
        eprintf("Signature algorithm '%s' is not supported", row.name);
        return NOT_SUPPORTED_ERROR;
    }
    return 0;
}

// The two kinds of key the engines run on: a record, or a key opened for
// use through the prepared-key cache.
struct RecordKey {
    const RsaKey* k;
    const RsaKey* key() const { return k; }
    long private_raw(unsigned char* out, size_t* outlen, const unsigned char* in, size_t inlen) const {
        return rsaPrivateRaw(k, out, outlen, in, inlen);
    }
    long public_raw(unsigned char* out, size_t* outlen, const unsigned char* in, size_t inlen) const {
        return rsaPublicRaw(k, out, outlen, in, inlen);
    }
};

bool pkcs1_row(const SigAlgRow& row) {
    return (row.id & 0xF0) == 0 && hash::digest_info(row.hashAlg);
}

long mgf_hash(const SigAlgRow& row, long options) {
    return (options & kMgf1Sha1) ? 0 : row.hashAlg;
}

template <class Key>
long sign_pkcs1(std::vector<uint8_t>& sig, const Key& key, const uint8_t* data, size_t dlen,
                const SigAlgRow& row, bool useDigest) {
    sig.clear();
    if (!pkcs1_row(row)) {
        eprintf("Signature algorithm '%s' is not supported", row.name);
        return NOT_SUPPORTED_ERROR;
    }
    uint8_t digest[64];
    long rc = message_digest(digest, data, dlen, row, useDigest);
    if (rc != 0) return rc;
    const size_t k = rsaBlockLength(key.key());
    SecureBytes em(k);
    rc = rsaEmsaPkcs1Encode(em.data(), k, digest, row.digestLen, row.hashAlg);
    if (rc == 0) {
        sig.resize(k);
        size_t outlen = k;
        rc = key.private_raw(sig.data(), &outlen, em.data(), k);
        if (rc != 0) {
            eprintf("RSA encryption failed (%lx)\n", rc);
            sig.clear();
        }
    }
    return rc;
}

template <class Key>
long verify_pkcs1(const uint8_t* sig, size_t siglen, const Key& key, const uint8_t* data, size_t dlen,
                  const SigAlgRow& row, bool useDigest) {
    if (!pkcs1_row(row)) {
        eprintf("Signature algorithm '%s' is not supported", row.name);
        return NOT_SUPPORTED_ERROR;
    }
    uint8_t digest[64];
    long rc = message_digest(digest, data, dlen, row, useDigest);
    if (rc != 0) return rc;
    const size_t k = rsaBlockLength(key.key());
    // The whole expected block is compared with the recovered one, so the
    // padding and DigestInfo admit exactly one form.
    std::vector<uint8_t> expect(k), got(k);
    size_t outlen = k;
    if (siglen != k || rsaEmsaPkcs1Encode(expect.data(), k, digest, row.digestLen, row.hashAlg) != 0 ||
        key.public_raw(got.data(), &outlen, sig, siglen) != 0 || outlen != k ||
        !ct::equal(expect.data(), got.data(), k)) {
        eprintf("Signature is invalid");
        return SIGNATURE_ERROR;
    }
    return 0;
}

template <class Key>
long sign_pss(std::vector<uint8_t>& sig, const Key& key, const uint8_t* data, size_t dlen,
              const SigAlgRow& row, long options, const uint8_t* salt, size_t saltlen) {
    sig.clear();
    uint8_t mHash[64];
    long rc = message_digest(mHash, data, dlen, row, (options & 0x1000) != 0);
    if (rc != 0) return rc;
    const size_t k = rsaBlockLength(key.key());
    const size_t emBits = rsaBitLength(key.key()) - 1;
    const size_t emLen = (emBits + 7) / 8;
    const size_t hLen = row.digestLen;
    std::vector<uint8_t> drawn;
    if (!salt) {
        switch (options & kSaltLenField) {
            case kSaltLenMax:
                saltlen = emLen >= hLen + 2 ? emLen - hLen - 2 : 0;
                break;
            case kSaltLen20:
                saltlen = 20;
                break;
            case kSaltLenZero:
                saltlen = 0;
                break;
            default:
                saltlen = hLen;
                break;
        }
        drawn.resize(saltlen);
        if (saltlen && rngNonce(drawn.data(), long(saltlen)) != 0) return KEYGEN_FAILED_ERROR;
        salt = drawn.data();
    }
    SecureBytes em(k);
    if (rsapssEncode(em.data() + (k - emLen), emLen, emBits, mHash, hLen, row.hashAlg, mgf_hash(row, options),
                     salt, saltlen) != 0) {
        eprintf("PSS-ENCODE failed\n");
        return ENCODING_ERROR;
    }
    sig.resize(k);
    size_t outlen = k;
    rc = key.private_raw(sig.data(), &outlen, em.data(), k);
    if (rc != 0) {
        eprintf("RSA encryption failed (%lx)\n", rc);
        sig.clear();
    }
    return rc;
}

template <class Key>
long verify_pss(const uint8_t* sig, size_t siglen, const Key& key, const uint8_t* data, size_t dlen,
                const SigAlgRow& row, long options) {
    uint8_t mHash[64];
    long rc = message_digest(mHash, data, dlen, row, (options & 0x1000) != 0);
    if (rc != 0) return rc;
    const size_t k = rsaBlockLength(key.key());
    const size_t emBits = rsaBitLength(key.key()) - 1;
    const size_t emLen = (emBits + 7) / 8;
    std::vector<uint8_t> m(k);
    size_t outlen = k;
    // When emLen < k the integer's top octet must be zero (RFC 8017 8.1.2
    // step 2c: I2OSP to emLen octets fails otherwise).
    if (siglen != k || key.public_raw(m.data(), &outlen, sig, siglen) != 0 || outlen != k ||
        (emLen < k && m[0] != 0) ||
        rsapssVerify(mHash, row.digestLen, m.data() + (k - emLen), emLen, emBits, row.hashAlg,
                     mgf_hash(row, options)) != 0) {
        eprintf("Signature is invalid");
        return SIGNATURE_ERROR;
    }
    return 0;
}

}  // namespace

long rsasigSign(std::vector<uint8_t>& sig, const RsaKey* key, const uint8_t* data, size_t dlen,
                const SigAlgRow& row, bool useDigest) {
    return sign_pkcs1(sig, RecordKey{key}, data, dlen, row, useDigest);
}
long rsasigSign(std::vector<uint8_t>& sig, const RsaKeyUse& key, const uint8_t* data, size_t dlen,
                const SigAlgRow& row, bool useDigest) {
    return sign_pkcs1(sig, key, data, dlen, row, useDigest);
}
long rsasigVerify(const uint8_t* sig, size_t siglen, const RsaKey* key, const uint8_t* data, size_t dlen,
                  const SigAlgRow& row, bool useDigest) {
    return verify_pkcs1(sig, siglen, RecordKey{key}, data, dlen, row, useDigest);
}
long rsasigVerify(const uint8_t* sig, size_t siglen, const RsaKeyUse& key, const uint8_t* data, size_t dlen,
                  const SigAlgRow& row, bool useDigest) {
    return verify_pkcs1(sig, siglen, key, data, dlen, row, useDigest);
}
long rsasigSign_PSS(std::vector<uint8_t>& sig, const RsaKey* key, const uint8_t* data, size_t dlen,
                    const SigAlgRow& row, long options, const uint8_t* salt, size_t saltlen) {
    return sign_pss(sig, RecordKey{key}, data, dlen, row, options, salt, saltlen);
}
long rsasigSign_PSS(std::vector<uint8_t>& sig, const RsaKeyUse& key, const uint8_t* data, size_t dlen,
                    const SigAlgRow& row, long options, const uint8_t* salt, size_t saltlen) {
    return sign_pss(sig, key, data, dlen, row, options, salt, saltlen);
}
long rsasigVerify_PSS(const uint8_t* sig, size_t siglen, const RsaKey* key, const uint8_t* data, size_t dlen,
                      const SigAlgRow& row, long options) {
    return verify_pss(sig, siglen, RecordKey{key}, data, dlen, row, options);
}
long rsasigVerify_PSS(const uint8_t* sig, size_t siglen, const RsaKeyUse& key, const uint8_t* data,
                      size_t dlen, const SigAlgRow& row, long options) {
    return verify_pss(sig, siglen, key, data, dlen, row, options);
}

}  // namespace velt::sig
