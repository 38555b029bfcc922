// PKCS #1 (RFC 8017) message encodings: EME-PKCS1-v1_5 (section 7.2),
// EME-OAEP (7.1), EMSA-PKCS1-v1_5 (9.2) and EMSA-PSS (9.1), the block
// routines on a key record, and the bodies of RSA_Encrypt, RSA_Decrypt,
// RSA_EncodeMsg and RSA_DecodeMsg.
//
// The decryption decoders scan the whole block with masks (util/ct.h) and
// take one decision at the end, so that their timing does not depend on
// where or whether the block is malformed.
#include <cstring>
#include <string>

#include "encode/encode.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "rng/rng.h"
#include "rsa/rsa.h"
#include "rsa/rsa_cache.h"
#include "rsa/rsa_int.h"
#include "util/ct.h"

using velt::SecureBytes;
namespace ct = velt::ct;
namespace vh = velt::hash;

namespace {

bool empty(const char* s) {
    return !s || !*s;
}

// Hash identifiers 0 to 6 (SHA-1, MD5, MD2, SHA-256, SHA-384, SHA-512, SHA-224).
size_t hash_len(long alg) {
    if (alg < 0 || alg > 6) return 0;
    return vh::digest_length(alg);
}

// Non-zero random octets (the padding string of EME-PKCS1-v1_5).
long nonzero_random(uint8_t* out, size_t n, RsaRandFunc randFunc) {
    uint8_t buf[64];
    velt::WipeOnExit wipe(buf, sizeof buf);
    size_t filled = 0;
    while (filled < n) {
        long rc = randFunc ? randFunc(buf, sizeof buf, nullptr, 0) : rngNonce(buf, sizeof buf);
        if (rc != 0) return KEYGEN_FAILED_ERROR;
        for (size_t i = 0; i < sizeof buf && filled < n; ++i) {
            if (buf[i] != 0) out[filled++] = buf[i];
        }
    }
    return 0;
}

}  // namespace

// ---- EME-PKCS1-v1_5 ------------------------------------------------------

namespace {

long eme_pkcs1_encode(uint8_t* block, size_t k, const uint8_t* msg, size_t mlen, RsaRandFunc randFunc) {
    if (k < 11 || mlen > k - 11) return SHORT_BUF_ERROR;
    block[0] = 0x00;
    block[1] = 0x02;
    const size_t ps = k - mlen - 3;
    if (nonzero_random(block + 2, ps, randFunc) != 0) return KEYGEN_FAILED_ERROR;
    block[2 + ps] = 0x00;
    if (mlen) std::memcpy(block + 3 + ps, msg, mlen);
    return 0;
}

}  // namespace

long rsaEmePkcs1Encode(uint8_t* block, size_t k, const uint8_t* msg, size_t mlen) {
    return eme_pkcs1_encode(block, k, msg, mlen, nullptr);
}

long rsaEmePkcs1Decode(uint8_t* out, size_t outlen, const uint8_t* block, size_t k) {
    if (k < 11) return -DECRYPT_ERROR;
    uint64_t good = ct::mask_zero(block[0]) & ct::mask_eq(block[1], 2);
    uint64_t found = 0, sep = 0;
    for (size_t i = 2; i < k; ++i) {
        uint64_t z = ct::mask_zero(block[i]);
        sep = ct::select(~found & z, i, sep);
        found |= z;
    }
    // At least 8 octets of padding: the separator at index 10 or later.
    good &= found & ~ct::mask_lt(sep, 10);
    if (!ct::value_barrier(good)) return -DECRYPT_ERROR;
    const size_t mlen = k - sep - 1;
    if (out) std::memcpy(out, block + sep + 1, mlen < outlen ? mlen : outlen);
    return long(mlen);
}

// ---- EME-OAEP --------------------------------------------------------------

namespace {

bool label_hash(long alg, uint8_t* out) {
    return vh::digest(alg, "", 0, out);
}

}  // namespace

long rsaOaepEncode(uint8_t* block, size_t k, const uint8_t* msg, size_t mlen, long hashAlg, long mgfHashAlg,
                   const uint8_t* seed) {
    const size_t hLen = hash_len(hashAlg);
    if (!hLen) {
        eprintf("Invalid option for hash algorithm");
        return BAD_FLAG_ERROR;
    }
    if (k < 2 * hLen + 2 || mlen > k - 2 * hLen - 2) return SHORT_BUF_ERROR;
    const size_t dbLen = k - hLen - 1;
    uint8_t* s = block + 1;
    uint8_t* db = block + 1 + hLen;
    block[0] = 0x00;
    if (!label_hash(hashAlg, db)) return BAD_FLAG_ERROR;
    std::memset(db + hLen, 0, dbLen - hLen - mlen - 1);
    db[dbLen - mlen - 1] = 0x01;
    if (mlen) std::memcpy(db + dbLen - mlen, msg, mlen);
    if (seed) {
        std::memcpy(s, seed, hLen);
    } else if (rngNonce(s, long(hLen)) != 0) {
        return KEYGEN_FAILED_ERROR;
    }
    SecureBytes mask(dbLen);
    long r = mgf1Bytes(mask.data(), long(dbLen), s, long(hLen), mgfHashAlg);
    if (r < 0) return -r;
    for (size_t i = 0; i < dbLen; ++i) db[i] ^= mask[i];
    r = mgf1Bytes(mask.data(), long(hLen), db, long(dbLen), mgfHashAlg);
    if (r < 0) return -r;
    for (size_t i = 0; i < hLen; ++i) s[i] ^= mask[i];
    return 0;
}

long rsaOaepDecode(uint8_t* out, size_t outlen, const uint8_t* block, size_t k, long hashAlg,
                   long mgfHashAlg) {
    const size_t hLen = hash_len(hashAlg);
    if (!hLen) {
        eprintf("Invalid option for hash algorithm");
        return -BAD_FLAG_ERROR;
    }
    if (k < hLen + 1 || k - hLen - 1 <= hLen) return -BAD_LENGTH_ERROR;
    const size_t dbLen = k - hLen - 1;
    SecureBytes seed(block + 1, block + 1 + hLen), db(block + 1 + hLen, block + k), mask(dbLen);
    long r = mgf1Bytes(mask.data(), long(hLen), db.data(), long(dbLen), mgfHashAlg);
    if (r < 0) return r;
    for (size_t i = 0; i < hLen; ++i) seed[i] ^= mask[i];
    r = mgf1Bytes(mask.data(), long(dbLen), seed.data(), long(hLen), mgfHashAlg);
    if (r < 0) return r;
    for (size_t i = 0; i < dbLen; ++i) db[i] ^= mask[i];

    uint8_t lhash[vh::kMaxDigest];
    label_hash(hashAlg, lhash);
    uint64_t good = ct::mask_zero(block[0]) & (uint64_t(0) - uint64_t(ct::equal(db.data(), lhash, hLen)));
    // After lHash: zero octets, then 01, then the message. Every octet is
    // examined whatever its value.
    uint64_t found = 0, bad = 0, one = 0;
    for (size_t i = hLen; i < dbLen; ++i) {
        uint64_t is0 = ct::mask_zero(db[i]);
        uint64_t is1 = ct::mask_eq(db[i], 1);
        one = ct::select(~found & is1, i, one);
        bad |= ~found & ~is0 & ~is1;
        found |= is1;
    }
    good &= found & ~bad;
    if (!ct::value_barrier(good)) return -DECRYPT_ERROR;
    const size_t mlen = dbLen - one - 1;
    if (out) std::memcpy(out, db.data() + one + 1, mlen < outlen ? mlen : outlen);
    return long(mlen);
}

// ---- EMSA-PKCS1-v1_5 -------------------------------------------------------

long rsaEmsaPkcs1Encode(uint8_t* block, size_t k, const uint8_t* digest, size_t dlen, long hashAlg) {
    const vh::DigestInfoRow* row = vh::digest_info(hashAlg);
    if (!row) {
        eprintf("Invalid hash algorithm");
        return BAD_FLAG_ERROR;
    }
    if (dlen != size_t(row->length)) {
        eprintf("Digest provided is not the correct length");
        return BAD_LENGTH_ERROR;
    }
    const size_t tlen = row->prefix_len + dlen;
    if (k < tlen + 11) return SHORT_BUF_ERROR;
    block[0] = 0x00;
    block[1] = 0x01;
    std::memset(block + 2, 0xFF, k - tlen - 3);
    block[k - tlen - 1] = 0x00;
    std::memcpy(block + k - tlen, row->prefix, row->prefix_len);
    std::memcpy(block + k - dlen, digest, dlen);
    return 0;
}

namespace {

// Decodes 00 01 FF.. 00 T: the offset of T, or -15.
long emsa_pkcs1_body(const uint8_t* block, size_t k) {
    if (k < 11 || block[0] != 0x00 || block[1] != 0x01) return -DECRYPT_ERROR;
    size_t i = 2;
    while (i < k - 1 && block[i] == 0xFF) ++i;
    if (i >= k - 1 || block[i] != 0x00 || i < 9) return -DECRYPT_ERROR;
    return long(i + 1);
}

// The DigestInfo table row whose prefix and length match T, or null.
const vh::DigestInfoRow* match_digest_info(const uint8_t* t, size_t tlen) {
    size_t count = 0;
    const vh::DigestInfoRow* rows = vh::digest_info_table(&count);
    for (size_t r = 0; r < count; ++r) {
        const vh::DigestInfoRow& row = rows[r];
        if (tlen == row.prefix_len + size_t(row.length) && std::memcmp(t, row.prefix, row.prefix_len) == 0)
            return &row;
    }
    return nullptr;
}

}  // namespace

// ---- EMSA-PSS ---------------------------------------------------------------

long rsapssEncode(uint8_t* em, size_t emLen, size_t emBits, const uint8_t* mHash, size_t hLen, long hashAlg,
                  long mgfHashAlg, const uint8_t* salt, size_t saltLen) {
    if (hash_len(hashAlg) != hLen || hLen == 0) return ENCODING_ERROR;
    if (emLen < hLen + saltLen + 2 || emBits > 8 * emLen || emBits + 7 < 8 * emLen) return ENCODING_ERROR;
    vh::Hasher h;
    h.init(hashAlg);
    static const uint8_t kZeros[8] = {};
    h.update(kZeros, 8);
    h.update(mHash, hLen);
    if (saltLen) h.update(salt, saltLen);
    const size_t dbLen = emLen - hLen - 1;
    uint8_t* H = em + dbLen;
    h.final(H);
    std::memset(em, 0, dbLen - saltLen - 1);
    em[dbLen - saltLen - 1] = 0x01;
    if (saltLen) std::memcpy(em + dbLen - saltLen, salt, saltLen);
    SecureBytes mask(dbLen);
    if (mgf1Bytes(mask.data(), long(dbLen), H, long(hLen), mgfHashAlg) < 0) return ENCODING_ERROR;
    for (size_t i = 0; i < dbLen; ++i) em[i] ^= mask[i];
    em[0] &= uint8_t(0xFF >> (8 * emLen - emBits));
    em[emLen - 1] = 0xBC;
    return 0;
}

long rsapssVerify(const uint8_t* mHash, size_t hLen, const uint8_t* em, size_t emLen, size_t emBits,
                  long hashAlg, long mgfHashAlg) {
    if (hash_len(hashAlg) != hLen || hLen == 0) return 1;
    if (emLen < hLen + 2 || emBits > 8 * emLen || emBits + 7 < 8 * emLen) return 1;
    if (em[emLen - 1] != 0xBC) return 1;
    const size_t dbLen = emLen - hLen - 1;
    const uint8_t* H = em + dbLen;
    const uint8_t top = uint8_t(0xFF >> (8 * emLen - emBits));
    if (em[0] & ~top) return 1;
    SecureBytes db(dbLen);
    if (mgf1Bytes(db.data(), long(dbLen), H, long(hLen), mgfHashAlg) < 0) return 1;
    for (size_t i = 0; i < dbLen; ++i) db[i] ^= em[i];
    db[0] &= top;
    size_t i = 0;
    while (i < dbLen && db[i] == 0) ++i;
    if (i >= dbLen || db[i] != 0x01) return 1;
    const uint8_t* salt = db.data() + i + 1;
    const size_t saltLen = dbLen - i - 1;
    vh::Hasher h;
    h.init(hashAlg);
    static const uint8_t kZeros[8] = {};
    h.update(kZeros, 8);
    h.update(mHash, hLen);
    if (saltLen) h.update(salt, saltLen);
    uint8_t H2[vh::kMaxDigest];
    h.final(H2);
    return ct::equal(H, H2, hLen) ? 0 : 1;
}

// ---- block routines on a key record -----------------------------------------

long rsaEncryptPublic(const RsaKey* key, uint8_t* out, size_t* outlen, const uint8_t* data, size_t datalen,
                      RsaRandFunc randFunc) {
    if (!key) return NULL_ERROR;
    const size_t k = rsaBlockLength(key);
    SecureBytes block(k);
    long rc = eme_pkcs1_encode(block.data(), k, data, datalen, randFunc);
    if (rc != 0) return rc;
    return rsaPublicRaw(key, out, outlen, block.data(), k);
}

long rsaDecryptPrivate(const RsaKey* key, uint8_t* out, size_t* outlen, const uint8_t* in, size_t inlen) {
    if (!key) return NULL_ERROR;
    const size_t k = rsaBlockLength(key);
    SecureBytes block(k);
    size_t len = 0;
    long rc = rsaPrivateRaw(key, block.data(), &len, in, inlen);
    if (rc != 0) return rc;
    long m = rsaEmePkcs1Decode(nullptr, 0, block.data(), k);
    if (m < 0) return -m;
    if (outlen && size_t(m) > *outlen) return SHORT_BUF_ERROR;
    rsaEmePkcs1Decode(out, size_t(m), block.data(), k);
    if (outlen) *outlen = size_t(m);
    return 0;
}

long rsaEncryptPrivate(const RsaKey* key, uint8_t* out, size_t* outlen, const uint8_t* data, size_t datalen) {
    if (!key) return NULL_ERROR;
    const size_t k = rsaBlockLength(key);
    if (k < 11 || datalen > k - 11) return SHORT_BUF_ERROR;
    SecureBytes block(k);
    block[1] = 0x01;
    std::memset(block.data() + 2, 0xFF, k - datalen - 3);
    if (datalen) std::memcpy(block.data() + k - datalen, data, datalen);
    return rsaPrivateRaw(key, out, outlen, block.data(), k);
}

long rsaDecryptPublic(const RsaKey* key, uint8_t* out, size_t* outlen, const uint8_t* in, size_t inlen) {
    if (!key) return NULL_ERROR;
    const size_t k = rsaBlockLength(key);
    std::vector<uint8_t> block(k);
    size_t len = 0;
    long rc = rsaPublicRaw(key, block.data(), &len, in, inlen);
    if (rc != 0) return rc;
    long off = emsa_pkcs1_body(block.data(), k);
    if (off < 0) return DECRYPT_ERROR;
    size_t m = k - size_t(off);
    if (outlen && m > *outlen) return SHORT_BUF_ERROR;
    std::memcpy(out, block.data() + off, m);
    if (outlen) *outlen = m;
    return 0;
}

// ---- exported bodies ----------------------------------------------------------

namespace {

constexpr long kEncMask = 0xF0;
constexpr long kEncPkcs1 = 0x00;
constexpr long kEncOaep = 0x10;
constexpr long kEncEmsa = 0x20;
constexpr long kMgf1Sha1 = 0x800000;
constexpr long kDigestGiven = 0x1000;
constexpr long kDigestInfoOut = 0x2000;
constexpr long kIso9796 = 0x100000;

long oaep_mgf_hash(long options) {
    return (options & kMgf1Sha1) ? vh::kSha1 : (options & 0x0F);
}

long read_public(RsaKey* key, const char* publicKey) {
    if (IK_KeyTypeFromB64(publicKey) != 0) return rsaMakePublicKeyFromB64(key, publicKey);
    return rsaGetPublicKeyFromFileOrString(key, publicKey);
}

long read_private(RsaKey* key, const char* privateKey, const char* password) {
    if (IK_KeyTypeFromB64(privateKey) != 0) return rsaMakePrivateKeyFromB64(key, privateKey);
    return rsaGetPrivateKeyFromFileOrString(key, privateKey, password);
}

// The OAEP seed from a parameter text "seed=<2 hLen hex digits>".
long oaep_seed_param(const char* params, size_t hLen, SecureBytes& seed) {
    const char* p = std::strstr(params, "seed=");
    if (!p) {
        eprintf("Invalid parameters: '%s'", params);
        return INVALID_DATA_ERROR;
    }
    p += 5;
    size_t n = 0;
    while (is_hexdigit(p[n])) ++n;
    if (n != 2 * hLen) {
        eprintf("Seed length does not match hash length");
        return BAD_LENGTH_ERROR;
    }
    seed.assign(hLen, 0);
    std::string hex(p, n);
    hexdecode(seed.data(), long(hLen), hex.c_str());
    return 0;
}

}  // namespace

long rsaEncrypt(unsigned char* out, long outlen, const unsigned char* data, long datalen,
                const char* publicKey, const char* params, long options) {
    if (empty(publicKey) || !data || datalen < 0) return -BAD_PARAM_ERROR;
    const long scheme = options & kEncMask;
    if (scheme != kEncPkcs1 && scheme != kEncOaep) return -BAD_FLAG_ERROR;
    RsaOpKey key;
    long rc = IK_KeyTypeFromB64(publicKey) != 0 ? rsaCacheGetPublic(key.ref, publicKey)
                                                : read_public(key.rec.get(), publicKey);
    if (rc != 0) return -rc;
    const size_t k = rsaBlockLength(key.get());
    if (!out || outlen <= 0) return long(k);
    SecureBytes block(k);
    if (scheme == kEncOaep) {
        SecureBytes seed;
        if (!empty(params)) {
            const size_t hLen = hash_len(options & 0x0F);
            if (!hLen) {
                eprintf("Invalid option for hash algorithm");
                return -BAD_FLAG_ERROR;
            }
            rc = oaep_seed_param(params, hLen, seed);
            if (rc != 0) return -rc;
        }
        rc = rsaOaepEncode(block.data(), k, data, size_t(datalen), options & 0x0F, oaep_mgf_hash(options),
                           seed.empty() ? nullptr : seed.data());
    } else {
        rc = rsaEmePkcs1Encode(block.data(), k, data, size_t(datalen));
    }
    if (rc != 0) return -rc;
    if (outlen < long(k)) return -SHORT_BUF_ERROR;
    size_t len = 0;
    std::vector<uint8_t> c(k);
    rc = key.public_raw(c.data(), &len, block.data(), k);
    if (rc != 0) {
        eprintf("RSA encryption failed (%lx)\n", rc);
        return -rc;
    }
    std::memcpy(out, c.data(), k);
    return long(k);
}

long rsaDecrypt(unsigned char* out, long outlen, const unsigned char* data, long datalen,
                const char* privateKey, const char* password, const char*, long options) {
    if (empty(privateKey) || !data || datalen <= 0) return -BAD_PARAM_ERROR;
    const long scheme = options & kEncMask;
    if (scheme != kEncPkcs1 && scheme != kEncOaep) return -BAD_FLAG_ERROR;
    RsaOpKey key;
    long rc = IK_KeyTypeFromB64(privateKey) != 0 ? rsaCacheGetPrivate(key.ref, privateKey)
                                                 : read_private(key.rec.get(), privateKey, password);
    if (rc != 0) return -rc;
    const size_t k = rsaBlockLength(key.get());
    // RFC 8017 7.1.2 and 7.2.2 step 1: a ciphertext is exactly k octets.
    if (size_t(datalen) != k) return -DECRYPT_ERROR;
    SecureBytes block(k);
    size_t len = 0;
    rc = key.private_raw(block.data(), &len, data, k);
    if (rc != 0) return -rc;
    long m = scheme == kEncOaep
                 ? rsaOaepDecode(nullptr, 0, block.data(), k, options & 0x0F, oaep_mgf_hash(options))
                 : rsaEmePkcs1Decode(nullptr, 0, block.data(), k);
    if (m < 0 || !out || outlen <= 0) return m;
    if (outlen < m) return -SHORT_BUF_ERROR;
    return scheme == kEncOaep
               ? rsaOaepDecode(out, size_t(outlen), block.data(), k, options & 0x0F, oaep_mgf_hash(options))
               : rsaEmePkcs1Decode(out, size_t(outlen), block.data(), k);
}

long rsaEncodeMsg(unsigned char* out, long outlen, const unsigned char* msg, long msglen, long options) {
    if (!out || outlen <= 0 || (!msg && msglen) || msglen < 0) return -BAD_PARAM_ERROR;
    const size_t k = size_t(outlen);
    if (options & kIso9796) {
        long rc = rsaIso9796Encode(out, k, msg, size_t(msglen), size_t(options & 0xFFFF));
        return rc == 0 ? 0 : -rc;
    }
    long rc;
    switch (options & kEncMask) {
        case kEncPkcs1:
            rc = rsaEmePkcs1Encode(out, k, msg, size_t(msglen));
            break;
        case kEncOaep:
            rc = rsaOaepEncode(out, k, msg, size_t(msglen), options & 0x0F, oaep_mgf_hash(options), nullptr);
            break;
        case kEncEmsa: {
            const long alg = options & 0x0F;
            if (!vh::digest_info(alg)) {
                eprintf("Invalid hash algorithm");
                return -BAD_FLAG_ERROR;
            }
            uint8_t dig[vh::kMaxDigest];
            const uint8_t* d = msg;
            size_t dlen = size_t(msglen);
            if (!(options & kDigestGiven)) {
                vh::digest(alg, msg, size_t(msglen), dig);
                d = dig;
                dlen = vh::digest_length(alg);
            }
            rc = rsaEmsaPkcs1Encode(out, k, d, dlen, alg);
            break;
        }
        default:
            return -BAD_FLAG_ERROR;
    }
    return rc == 0 ? 0 : -rc;
}

long rsaDecodeMsg(unsigned char* out, long outlen, const unsigned char* block, long blocklen, long options) {
    if (!block || blocklen <= 0) return -BAD_PARAM_ERROR;
    if (options & kIso9796)
        return rsaIso9796Decode(out, (out && outlen > 0) ? size_t(outlen) : 0, block, size_t(blocklen),
                                size_t(options & 0xFFFF));
    const size_t k = size_t(blocklen);
    const size_t cap = (out && outlen > 0) ? size_t(outlen) : 0;
    unsigned char* dst = cap ? out : nullptr;
    switch (options & kEncMask) {
        case kEncPkcs1:
            return rsaEmePkcs1Decode(dst, cap, block, k);
        case kEncOaep:
            return rsaOaepDecode(dst, cap, block, k, options & 0x0F, oaep_mgf_hash(options));
        case kEncEmsa: {
            long off = emsa_pkcs1_body(block, k);
            if (off < 0) return off;
            const uint8_t* t = block + off;
            const size_t tlen = k - size_t(off);
            const vh::DigestInfoRow* row = match_digest_info(t, tlen);
            if (options < 0) return row ? row->alg : -DECRYPT_ERROR;
            if (options & kDigestInfoOut) {
                if (dst) std::memcpy(dst, t, tlen < cap ? tlen : cap);
                return long(tlen);
            }
            if (!row) return -DECRYPT_ERROR;
            const size_t dlen = size_t(row->length);
            if (dst) std::memcpy(dst, t + row->prefix_len, dlen < cap ? dlen : cap);
            return long(dlen);
        }
        default:
            return -BAD_FLAG_ERROR;
    }
}
