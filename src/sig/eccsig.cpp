// The elliptic-curve signing and verifying drivers: key reading, the digest,
// the nonce (random or RFC 6979), ECDSA value forms, and Ed25519/Ed448.
#include <cstring>

#include "ecc/keys.h"
#include "ecc/safecurve.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "pbe/pbe.h"
#include "rng/rng.h"
#include "sig/sig.h"

namespace velt::sig {

using ecc::EC_curve;
using ecc::EC_point;
using ecc::EcKey;
using ecc::kMaxLimbs;

namespace {

inline constexpr long kUseDigest = 0x1000;
inline constexpr long kDeterministic = 0x2000;
inline constexpr long kAsn1Der = 0x4000;

// Reads a key file, PEM text or key string (an encrypted PKCS #8 key with
// its password) and classifies it. The form, or a negative code.
int read_key(EcKey& key, const char* input, const char* password) {
    SecureBytes der;
    long rc = ecc::ecReadInputDer(input, der);
    if (rc < 0) return int(rc);
    if (password && *password) {
        SecureBytes pki;
        if (pbeDecryptPrivateKeyInfoDer(pki, der.data(), der.size(),
                                        reinterpret_cast<const uint8_t*>(password),
                                        std::strlen(password)) == 0 &&
            !pki.empty())
            der = std::move(pki);
        errclear();
    }
    return ecc::ecParseKeyDer(key, der.data(), der.size());
}

int eddsa_curve_id(const SigAlgRow& row) {
    return row.id == kSigIdEd25519 ? 1 : 3;
}

// The digest to sign or verify: the caller's (length checked) or the hash
// of the data.
long take_digest(uint8_t* out, const uint8_t* data, size_t dlen, const SigAlgRow& row, bool useDigest) {
    if (useDigest) {
        if (dlen != row.digestLen) {
            eprintf("Wrong digest length for %s", row.hashName);
            return BAD_LENGTH_ERROR;
        }
        std::memcpy(out, data, dlen);
        return 0;
    }
    if (!hash::digest(row.hashAlg, data, dlen, out)) return BAD_FLAG_ERROR;
    return 0;
}

// A random nonce 0 < k < n: (order bits + 7) / 8 bytes from the generator,
// the high bits above the order's length cleared, redrawn when out of range.
long random_k(const EC_curve& c, uint64_t* k) {
    const size_t nb = EC_order_bytes(c);
    uint8_t buf[kMaxLimbs * 8];
    for (int tries = 0; tries < 64; tries++) {
        if (rngNonce(buf, long(nb)) != 0) break;
        unsigned extra = unsigned(nb * 8 - size_t(c.orderbits));
        buf[0] &= uint8_t(0xFF >> extra);
        ecc::EC_num_from_bytes(c, k, buf, nb);
        ewipe(buf, sizeof buf);
        if (ecc::EC_scalar_in_range(c, k)) return 0;
    }
    ewipe(buf, sizeof buf);
    return KEYGEN_FAILED_ERROR;
}

// Ed25519 or Ed448 signature (the row's curve) with a private key and its
// public key.
long eddsa_sign(std::vector<uint8_t>& sig, const SigAlgRow& row, const uint8_t* data, size_t dlen,
                const uint8_t* priv, const uint8_t* pub) {
    long rc;
    if (row.id == kSigIdEd25519) {
        sig.resize(ecc::kEd25519SigLen);
        rc = ecc::ed25519_sign(sig.data(), data, dlen, priv, pub);
    } else {
        sig.resize(ecc::kEd448SigLen);
        rc = ecc::ed448_sign(sig.data(), data, dlen, priv, pub);
    }
    if (rc != 0) sig.clear();
    return rc;
}

// ECDSA signature on curve c with private scalar d (0 < d < n): the digest,
// the nonce (RFC 6979 or random), and the value as r || s or DER.
long ecdsa_sign(std::vector<uint8_t>& sig, const EC_curve& c, const uint64_t* d, const uint8_t* data,
                size_t dlen, const SigAlgRow& row, long options) {
    const bool useDigest = (options & kUseDigest) != 0;
    uint64_t k[kMaxLimbs] = {0}, e[kMaxLimbs] = {0}, r[kMaxLimbs] = {0}, s[kMaxLimbs] = {0};
    uint8_t digest[64];
    long rc = take_digest(digest, data, dlen, row, useDigest);
    if (rc == 0) {
        ecdsaDigestToNum(c, e, digest, row.digestLen);
        if (options & kDeterministic) {
            rc = det_computek(c, k, d, digest, row.digestLen, row.hashAlg);
            if (rc == 0 && EC_dsa_sign(c, r, s, d, k, e) != 0) rc = KEYGEN_FAILED_ERROR;
        } else {
            for (int tries = 0;; tries++) {
                rc = random_k(c, k);
                if (rc != 0) break;
                if (EC_dsa_sign(c, r, s, d, k, e) == 0) break;
                if (tries == 16) {
                    rc = KEYGEN_FAILED_ERROR;
                    break;
                }
            }
        }
    }
    if (rc == 0) {
        const size_t nb = EC_field_bytes(c);
        std::vector<uint8_t> rs(2 * nb);
        ecc::EC_num_to_bytes(rs.data(), nb, r, c.nlimbs);
        ecc::EC_num_to_bytes(rs.data() + nb, nb, s, c.nlimbs);
        sig = (options & kAsn1Der) ? ecdsaDerFromRS(rs.data(), rs.data() + nb, nb) : std::move(rs);
    }
    ewipe(k, sizeof k);
    ewipe(digest, sizeof digest);
    return rc;
}

// ECDSA verification of a value (r || s or DER) on curve c with the
// validated public point Q.
long ecdsa_verify(const EC_curve& c, const EC_point& Q, const uint8_t* sig, size_t siglen,
                  const uint8_t* data, size_t dlen, const SigAlgRow& row, long options,
                  const std::vector<uint64_t>* qtable = nullptr) {
    const bool useDigest = (options & kUseDigest) != 0;
    const size_t nb = EC_order_bytes(c);
    std::vector<uint8_t> rs(2 * nb);
    const uint8_t* value = sig;
    if (siglen >= 2 && sig[0] == 0x30) {
        // DER is recognised by its structure; a value of exactly 2 * nbytes
        // that fails as DER may still be r || s starting with 0x30.
        long drc = ecdsaRSFromDer(rs.data(), nb, sig, siglen);
        if (drc == 0) {
            value = rs.data();
            siglen = rs.size();
        } else if (siglen != 2 * nb) {
            return drc;
        } else {
            errclear();
        }
    }
    if (siglen != 2 * nb) {
        eprintf("Invalid signature length: expecting exactly %u bytes", unsigned(2 * nb));
        return BAD_LENGTH_ERROR;
    }
    uint8_t digest[64];
    long rc = take_digest(digest, data, dlen, row, useDigest);
    if (rc != 0) return rc;
    uint64_t r[kMaxLimbs] = {0}, s[kMaxLimbs] = {0}, e[kMaxLimbs] = {0};
    ecc::EC_num_from_bytes(c, r, value, nb);
    ecc::EC_num_from_bytes(c, s, value + nb, nb);
    ecdsaDigestToNum(c, e, digest, row.digestLen);
    rc = qtable ? EC_dsa_verify(c, r, s, e, *qtable) : EC_dsa_verify(c, r, s, e, Q);
    if (rc != 0) eprintf("Signature is invalid");
    return rc;
}

// EdDSA verification with a public key of the row's curve (keylen octets).
long eddsa_verify(const SigAlgRow& row, const uint8_t* pub, size_t keylen, const uint8_t* sig, size_t siglen,
                  const uint8_t* data, size_t dlen) {
    if (siglen != 2 * keylen) {
        eprintf("Invalid signature length");
        return BAD_LENGTH_ERROR;
    }
    return row.id == kSigIdEd25519 ? ecc::ed25519_verify(sig, data, dlen, pub)
                                   : ecc::ed448_verify(sig, data, dlen, pub);
}

}  // namespace

long eccDSA_SignDataToBytes(std::vector<uint8_t>& sig, const uint8_t* data, size_t dlen, const char* keyText,
                            const char* password, const SigAlgRow& row, long options, size_t* orderBytes) {
    sig.clear();
    const bool useDigest = (options & kUseDigest) != 0;
    if (sigIdIsEdDSA(row.id) && useDigest) {
        eprintf("Cannot use digest value for an EdDSA signature");
        return NOT_SUPPORTED_ERROR;
    }
    // A key string already prepared for signing. The password plays no part
    // for it: a cached entry is a plain key, which no password decrypts.
    if (ecc::EcPreparedRef pk = ecc::ecCacheGetSigning(keyText)) {
        if (sigIdIsEdDSA(row.id) && pk->safe && pk->safe_id == eddsa_curve_id(row))
            return eddsa_sign(sig, row, data, dlen, pk->priv, pk->pub);
        if (!sigIdIsEdDSA(row.id) && !pk->safe) {
            if (orderBytes) *orderBytes = EC_order_bytes(pk->curve);
            return ecdsa_sign(sig, pk->curve, pk->d, data, dlen, row, options);
        }
        // A key of the wrong kind for the row: read below, which says why.
    }
    EcKey key;
    int form = read_key(key, keyText, password);
    if (form < 0) return -form;
    if (sigIdIsEdDSA(row.id)) {
        if (form != ecc::kFormSafe || !key.is_private) {
            eprintf("Not a private key");
            return BAD_KEY_ERROR;
        }
        if (key.safe.id != eddsa_curve_id(row)) {
            eprintf("Private key type does not match signature algorithm");
            return BAD_KEY_ERROR;
        }
        return eddsa_sign(sig, row, data, dlen, key.safe.priv, key.safe.pub);
    }
    if ((form != ecc::kFormEcPrivate && form != ecc::kFormEcPki) || !key.is_private) {
        eprintf("Not a private key");
        return BAD_KEY_ERROR;
    }
    const EC_curve& c = key.curve;
    if (orderBytes) *orderBytes = EC_order_bytes(c);
    uint64_t d[kMaxLimbs] = {0};
    long rc = 0;
    if (!ecPrivateScalar(key, d)) {
        eprintf("Private key out of valid range");
        rc = BAD_KEY_ERROR;
    }
    if (rc == 0) rc = ecdsa_sign(sig, c, d, data, dlen, row, options);
    ewipe(d, sizeof d);
    return rc;
}

long eccDSA_VerifyDataFromBytes(const uint8_t* sig, size_t siglen, const uint8_t* data, size_t dlen,
                                const char* keyText, const SigAlgRow& row, long options) {
    const bool useDigest = (options & kUseDigest) != 0;
    if (sigIdIsEdDSA(row.id) && useDigest) {
        eprintf("Cannot use digest value for an EdDSA signature");
        return NOT_SUPPORTED_ERROR;
    }
    // A key string already prepared for verification.
    if (ecc::EcPreparedRef pk = ecc::ecCacheGetVerifying(keyText)) {
        if (sigIdIsEdDSA(row.id) && pk->safe && pk->safe_id == eddsa_curve_id(row))
            return eddsa_verify(row, pk->pub, pk->keylen, sig, siglen, data, dlen);
        if (!sigIdIsEdDSA(row.id) && !pk->safe)
            return ecdsa_verify(pk->curve, pk->Q, sig, siglen, data, dlen, row, options,
                                ecc::ecPreparedVerifyTable(*pk));
        // A key of the wrong kind for the row: read below, which says why.
    }
    EcKey key;
    int form = read_key(key, keyText, nullptr);
    if (form < 0) return -form;
    if (sigIdIsEdDSA(row.id)) {
        const uint8_t* pub = nullptr;
        if (form == ecc::kFormSafe) {
            if (!key.is_private)
                pub = key.safe.pub;
            else if (key.safe_embedded_pub.size() == key.safe.keylen)
                pub = key.safe_embedded_pub.data();
            else
                pub = key.safe.pub;  // derived from the private key when read
        }
        if (!pub) {
            eprintf("Not a public key");
            return BAD_KEY_ERROR;
        }
        if (key.safe.id != eddsa_curve_id(row)) {
            eprintf("Public key type does not match signature algorithm");
            return BAD_KEY_ERROR;
        }
        return eddsa_verify(row, pub, key.safe.keylen, sig, siglen, data, dlen);
    }
    if (form != ecc::kFormEcPrivate && form != ecc::kFormEcPki && form != ecc::kFormEcSpki) {
        eprintf("Not a public key");
        return BAD_KEY_ERROR;
    }
    const EC_curve& c = key.curve;
    std::vector<uint8_t> q = ecc::ecPublicOctets(key);
    EC_point Q;
    if (q.empty() || ecc::EC_point_from_octets(c, &Q, q.data(), q.size()) != 0 ||
        !ecc::EC_partial_validation(c, Q)) {
        eprintf("Invalid public key");
        return BAD_KEY_ERROR;
    }
    return ecdsa_verify(c, Q, sig, siglen, data, dlen, row, options);
}

}  // namespace velt::sig
