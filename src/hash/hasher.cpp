// The selector-driven digest and HMAC objects and the hash tables.
#include <strings.h>

#include <cstring>

#include "hash/hash.h"
#include "util/emem.h"

namespace velt::hash {

// Wipes the state of an unfinished digest; final() wipes its own.
Hasher::~Hasher() {
    if (!clean_) ewipe(&u_, state_size());
}

size_t Hasher::state_size() const {
    switch (alg_) {
        case kSha1: return sizeof(Sha1Ctx);
        case kMd5: return sizeof(Md5Ctx);
        case kMd2: return sizeof(Md2Ctx);
        case kSha256:
        case kSha224: return sizeof(Sha256Ctx);
        case kSha512:
        case kSha384: return sizeof(Sha512Ctx);
        case kRmd160: return sizeof(Rmd160Ctx);
        case kSha3_224:
        case kSha3_256:
        case kSha3_384:
        case kSha3_512: return sizeof(KeccakCtx);
        default: return sizeof u_;
    }
}

bool Hasher::init(long alg) {
    if (!clean_) ewipe(&u_, state_size());  // a re-initialised digest leaves nothing behind
    clean_ = false;
    alg_ = alg;
    switch (alg) {
        case kSha1: sha1_init(u_.sha1); return true;
        case kMd5: md5_init(u_.md5); return true;
        case kMd2: md2_init(u_.md2); return true;
        case kSha256: sha256_init(u_.sha256); return true;
        case kSha224: sha224_init(u_.sha256); return true;
        case kSha512: sha512_init(u_.sha512); return true;
        case kSha384: sha384_init(u_.sha512); return true;
        case kRmd160: rmd160_init(u_.rmd); return true;
        case kSha3_224: sha3_init(u_.keccak, 224); return true;
        case kSha3_256: sha3_init(u_.keccak, 256); return true;
        case kSha3_384: sha3_init(u_.keccak, 384); return true;
        case kSha3_512: sha3_init(u_.keccak, 512); return true;
        default:
            alg_ = -1;
            clean_ = true;
            return false;
    }
}

void Hasher::update(const void* data, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (n == 0) return;
    switch (alg_) {
        case kSha1: sha1_update(u_.sha1, p, n); break;
        case kMd5: md5_update(u_.md5, p, n); break;
        case kMd2: md2_update(u_.md2, p, n); break;
        case kSha256:
        case kSha224: sha256_update(u_.sha256, p, n); break;
        case kSha512:
        case kSha384: sha512_update(u_.sha512, p, n); break;
        case kRmd160: rmd160_update(u_.rmd, p, n); break;
        case kSha3_224:
        case kSha3_256:
        case kSha3_384:
        case kSha3_512: keccak_absorb(u_.keccak, p, n); break;
        default: break;
    }
}

void Hasher::final(uint8_t* out) {
    clean_ = true;
    switch (alg_) {
        case kSha1: sha1_final(u_.sha1, out); break;
        case kMd5: md5_final(u_.md5, out); break;
        case kMd2: md2_final(u_.md2, out); break;
        case kSha256:
        case kSha224: sha256_final(u_.sha256, out); break;
        case kSha512:
        case kSha384: sha512_final(u_.sha512, out); break;
        case kRmd160: rmd160_final(u_.rmd, out); break;
        case kSha3_224:
        case kSha3_256:
        case kSha3_384:
        case kSha3_512: sha3_final(u_.keccak, out); break;
        default: break;
    }
}

size_t Hasher::length() const { return alg_ < 0 ? 0 : digest_length(alg_); }

size_t Hasher::block_size() const {
    switch (alg_) {
        case kMd2: return 16;
        case kSha384:
        case kSha512: return 128;
        case kSha3_224: return 144;
        case kSha3_256: return 136;
        case kSha3_384: return 104;
        case kSha3_512: return 72;
        default: return 64;
    }
}

size_t digest_length(long alg) {
    static constexpr uint8_t kLen[16] = {20, 16, 16, 32, 48, 64, 28, 20, 20, 0, 28, 32, 48, 64, 0, 0};
    return kLen[alg & kAlgMask];
}

bool digest(long alg, const void* data, size_t n, uint8_t* out) {
    alg &= kAlgMask;
    Hasher h;
    if (alg == kRmd160Sha256) {
        uint8_t inner[32];
        h.init(kSha256);
        h.update(data, n);
        h.final(inner);
        h.init(kRmd160);
        h.update(inner, sizeof inner);
        h.final(out);
        ewipe(inner, sizeof inner);
        return true;
    }
    if (!h.init(alg)) return false;
    h.update(data, n);
    h.final(out);
    return true;
}

// --- HMAC (RFC 2104) ---

bool hmac_allowed(long alg) {
    switch (alg) {
        case kSha1:
        case kMd5:
        case kSha256:
        case kSha384:
        case kSha512:
        case kSha224:
        case kSha3_224:
        case kSha3_256:
        case kSha3_384:
        case kSha3_512: return true;
        default: return false;
    }
}

bool Hmac::init(long alg, const uint8_t* key, size_t key_len) {
    if (!hmac_allowed(alg)) return false;
    inner_.init(alg);
    size_t bs = inner_.block_size();
    uint8_t k[kMaxBlock] = {};
    WipeOnExit wipe_k(k, bs);
    if (key_len > bs) {
        inner_.update(key, key_len);
        inner_.final(k);
        inner_.init(alg);
    } else if (key_len) {
        memcpy(k, key, key_len);
    }
    uint8_t pad[kMaxBlock];
    WipeOnExit wipe_pad(pad, bs);
    for (size_t i = 0; i < bs; i++) pad[i] = k[i] ^ 0x36;
    inner_.update(pad, bs);
    outer_.init(alg);
    for (size_t i = 0; i < bs; i++) pad[i] = k[i] ^ 0x5c;
    outer_.update(pad, bs);
    return true;
}

void Hmac::update(const void* data, size_t n) { inner_.update(data, n); }

void Hmac::final(uint8_t* out) {
    uint8_t ih[kMaxDigest];
    size_t n = inner_.length();
    inner_.final(ih);
    outer_.update(ih, n);
    outer_.final(out);
    ewipe(ih, n);
}

bool hmac(long alg, const uint8_t* key, size_t key_len, const void* data, size_t n, uint8_t* out) {
    Hmac m;
    if (!m.init(alg, key, key_len)) return false;
    m.update(data, n);
    m.final(out);
    return true;
}

// --- Tables ---

namespace {

// DigestInfo prefixes of RFC 8017 section 9.2, note 1.
constexpr uint8_t kPrefixSha1[] = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e,
                                   0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14};
constexpr uint8_t kPrefixMd5[] = {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                  0x86, 0xf7, 0x0d, 0x02, 0x05, 0x05, 0x00, 0x04, 0x10};
constexpr uint8_t kPrefixMd2[] = {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                  0x86, 0xf7, 0x0d, 0x02, 0x02, 0x05, 0x00, 0x04, 0x10};
constexpr uint8_t kPrefixSha256[] = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                     0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
constexpr uint8_t kPrefixSha384[] = {0x30, 0x41, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                     0x65, 0x03, 0x04, 0x02, 0x02, 0x05, 0x00, 0x04, 0x30};
constexpr uint8_t kPrefixSha512[] = {0x30, 0x51, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                     0x65, 0x03, 0x04, 0x02, 0x03, 0x05, 0x00, 0x04, 0x40};
constexpr uint8_t kPrefixSha224[] = {0x30, 0x2d, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                     0x65, 0x03, 0x04, 0x02, 0x04, 0x05, 0x00, 0x04, 0x1c};

constexpr DigestInfoRow kDigestInfo[] = {
    {kSha1, 20, kPrefixSha1, sizeof kPrefixSha1},         {kMd5, 16, kPrefixMd5, sizeof kPrefixMd5},
    {kMd2, 16, kPrefixMd2, sizeof kPrefixMd2},            {kSha256, 32, kPrefixSha256, sizeof kPrefixSha256},
    {kSha384, 48, kPrefixSha384, sizeof kPrefixSha384},   {kSha512, 64, kPrefixSha512, sizeof kPrefixSha512},
    {kSha224, 28, kPrefixSha224, sizeof kPrefixSha224},
};

constexpr HashAlgRow kSigHashes[] = {
    {"sha1", 0, 20}, {"sha224", 6, 28}, {"sha256", 3, 32}, {"sha384", 4, 48}, {"sha512", 5, 64}, {"shake256", 159, 64},
};

}  // namespace

const DigestInfoRow* digest_info(long alg) {
    if (alg < 0 || alg > 6) return nullptr;
    return &kDigestInfo[alg];
}

const DigestInfoRow* digest_info_table(size_t* count) {
    if (count) *count = sizeof kDigestInfo / sizeof kDigestInfo[0];
    return kDigestInfo;
}

}  // namespace velt::hash

const velt::hash::HashAlgRow* hashPtrToHashAlgByName(const char* name) {
    if (!name) return nullptr;
    for (const auto& r : velt::hash::kSigHashes)
        if (strcasecmp(r.name, name) == 0) return &r;
    return nullptr;
}

const velt::hash::HashAlgRow* hashPtrToHashAlgById(long value) {
    for (const auto& r : velt::hash::kSigHashes)
        if (r.alg == value) return &r;
    return nullptr;
}
