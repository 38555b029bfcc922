// Internal key strings: base64 text of a key's DER, wrapped by default under
// a per-process Triple-DES key so that a key string is usable only in the
// process that made it.
//
// Wrapped layout for a payload of L octets, P = 8 - ((L + 2) mod 8):
//   L (2 octets, big-endian) || payload || P random octets || CRC-64 (8)
// encrypted with Triple-DES CBC under a random IV, the IV prepended, every
// octet reversed, and the whole encrypted again in CBC mode under a fixed IV.
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "cipher/des.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "rng/rng.h"
#include "rsa/rsa.h"
#include "util/ct.h"

using velt::SecureBytes;

namespace {

struct KeyTag {
    const char* tag;
    uint8_t prefix[3];
};
// Index = type - 1. The prefix octets make the base64 text begin with the tag.
constexpr KeyTag kTags[8] = {
    {"PUBR", {0x3D, 0x40, 0x51}}, {"PVTR", {0x3D, 0x54, 0xD1}}, {"PUBD", {0x3D, 0x40, 0x43}},
    {"PVTD", {0x3D, 0x54, 0xC3}}, {"PBEC", {0x3C, 0x11, 0x02}}, {"PVEC", {0x3D, 0x51, 0x02}},
    {"PBED", {0x3C, 0x11, 0x03}}, {"PVED", {0x3D, 0x51, 0x03}},
};

// Fixed IV of the outer pass; any constant serves since wrapped strings
// never leave the process.
constexpr uint8_t kOuterIv[8] = {0x5A, 0x13, 0xC7, 0x2E, 0x91, 0x6B, 0xF4, 0x08};

// 64-bit CRC, reflected, polynomial 0xD000000000000001, initial value 0 and
// no final XOR; returned as 8 big-endian octets.
//
// A byte at a time: the register's low byte, XORed with the input byte,
// selects eight bit steps, and those are linear in that index, so their
// effect is the XOR of one row per set index bit. The rows are chosen with
// masks (no index into a table), as the data is key material.
struct Crc64Rows {
    uint64_t row[8];
    constexpr Crc64Rows() : row() {
        for (int i = 0; i < 8; ++i) {
            uint64_t r = uint64_t(1) << i;
            for (int b = 0; b < 8; ++b) r = (r >> 1) ^ ((r & 1) ? 0xD000000000000001ULL : 0);
            row[i] = r;
        }
    }
};
constexpr Crc64Rows kCrc64Rows;

void crc64(const uint8_t* data, size_t n, uint8_t out[8]) {
    uint64_t r = 0;
    for (size_t i = 0; i < n; ++i) {
        uint64_t idx = (r ^ data[i]) & 0xFF;
        uint64_t x = r >> 8;
        for (int b = 0; b < 8; ++b) x ^= (uint64_t(0) - ((idx >> b) & 1)) & kCrc64Rows.row[b];
        r = x;
    }
    for (int i = 7; i >= 0; --i) {
        out[i] = uint8_t(r);
        r >>= 8;
    }
}

// The process wrapping key. A child process keeps a key made before the
// fork (key strings made by its parent stay usable in it); one it makes
// itself comes from the generator, which reseeds in a child before its first
// output, and with fresh operating-system entropy mixed in.
struct WrapKey {
    std::mutex m;
    std::atomic<bool> ready{false};
    uint8_t key[24] = {};
};

WrapKey& wrap_key() {
    static WrapKey k;
    // A fork while another thread makes the key must not leave the child's
    // mutex held. Registered after the generator's handlers, so fork takes
    // this lock before the generator's, in the order IK_GetKeyPtr takes them.
    static const int atfork = pthread_atfork([] { k.m.lock(); }, [] { k.m.unlock(); }, [] { k.m.unlock(); });
    (void)atfork;
    return k;
}

}  // namespace

const uint8_t* IK_GetKeyPtr() {
    WrapKey& wk = wrap_key();
    if (wk.ready.load(std::memory_order_acquire)) return wk.key;
    std::lock_guard<std::mutex> lock(wk.m);
    if (!wk.ready.load(std::memory_order_relaxed)) {
        // Secret key material from the library generator; a failed draw
        // leaves the key unset and the caller fails.
        if (rngKeyMaterial(wk.key, 24) != 0) {
            ewipe(wk.key, 24);
            return nullptr;
        }
        wk.ready.store(true, std::memory_order_release);
    }
    return wk.key;
}

long IK_Wrap(uint8_t* out, long outlen, const uint8_t* der, long derlen, const uint8_t* key) {
    if (!der || !key || derlen <= 0) return -BAD_PARAM_ERROR;
    if (derlen > 65535) return -OUT_OF_RANGE_ERROR;
    const size_t L = size_t(derlen);
    const size_t P = 8 - ((L + 2) % 8);
    const size_t total = L + 2 + P + 16;
    if (!out || outlen == 0) return long(total);
    if (outlen < long(total)) return -SHORT_BUF_ERROR;

    SecureBytes buf(total);
    uint8_t* iv = buf.data();
    uint8_t* body = buf.data() + 8;
    body[0] = uint8_t(L >> 8);
    body[1] = uint8_t(L);
    std::memcpy(body + 2, der, L);
    if (rngNonce(body + 2 + L, long(P)) != 0 || rngNonce(iv, 8) != 0) return -PRNG_ERR_FAILURE;
    crc64(body, L + 2 + P, body + L + 2 + P);

    velt::des::TdeaKey ks;
    velt::des::tdea_set_key(ks, key, true);
    uint8_t chain[8];
    std::memcpy(chain, iv, 8);
    const size_t inner = L + 10 + P;
    velt::des::tdea_cbc_encrypt(ks, chain, body, body, inner / 8);
    std::reverse(buf.begin(), buf.end());
    std::memcpy(chain, kOuterIv, 8);
    velt::des::tdea_cbc_encrypt(ks, chain, buf.data(), buf.data(), total / 8);
    velt::des::clear(ks);
    ewipe(chain, sizeof chain);
    std::memcpy(out, buf.data(), total);
    return long(total);
}

long IK_Unwrap(uint8_t* out, long outlen, const uint8_t* in, long inlen, const uint8_t* key) {
    if (!in || !key) return -BAD_PARAM_ERROR;
    // IV, at least one block of length and check value: 24 octets at least,
    // and whole blocks only.
    if (inlen < 24 || inlen % 8 != 0) return -INVALID_DATA_ERROR;
    const size_t total = size_t(inlen);
    SecureBytes buf(in, in + total);
    velt::des::TdeaKey ks;
    velt::des::tdea_set_key(ks, key, false);
    uint8_t chain[8];
    std::memcpy(chain, kOuterIv, 8);
    velt::des::tdea_cbc_decrypt(ks, chain, buf.data(), buf.data(), total / 8);
    std::reverse(buf.begin(), buf.end());
    std::memcpy(chain, buf.data(), 8);
    uint8_t* body = buf.data() + 8;
    const size_t inner = total - 8;
    velt::des::tdea_cbc_decrypt(ks, chain, body, body, inner / 8);
    velt::des::clear(ks);
    ewipe(chain, sizeof chain);

    const size_t content = inner - 8;  // length, payload and padding
    uint8_t check[8];
    crc64(body, content, check);
    if (!velt::ct::equal(check, body + content, 8)) return -INVALID_DATA_ERROR;
    const size_t L = (size_t(body[0]) << 8) | body[1];
    if (L + 2 > content || content - L - 2 > 8) return -INVALID_DATA_ERROR;
    if (out) {
        if (outlen < long(L)) return -SHORT_BUF_ERROR;
        std::memcpy(out, body + 2, L);
    }
    return long(L);
}

int IK_KeyTypeFromB64(const char* text) {
    if (!text) return 0;
    for (int i = 0; i < 8; ++i) {
        if (std::strncmp(text, kTags[i].tag, 4) == 0) return i + 1;
    }
    return 0;
}

bool IK_KeyTypeIsECC(const char* text) {
    int t = IK_KeyTypeFromB64(text);
    return t == 6 || t == 8;
}

std::string IK_B64FromBytes(long* len, int type, const uint8_t* der, long derlen) {
    if (!der || derlen <= 0) {
        if (len) *len = -BAD_PARAM_ERROR;
        return {};
    }
    std::string s;
    if (type >= 1 && type <= 8) {
        const uint8_t* key = IK_GetKeyPtr();
        if (!key) {
            if (len) *len = -PRNG_ERR_FAILURE;
            return {};
        }
        long wl = IK_Wrap(nullptr, 0, der, derlen, key);
        if (wl < 0) {
            if (len) *len = wl;
            return {};
        }
        std::vector<uint8_t> buf(size_t(wl) + 3);
        std::memcpy(buf.data(), kTags[type - 1].prefix, 3);
        long r = IK_Wrap(buf.data() + 3, wl, der, derlen, key);
        if (r < 0) {
            if (len) *len = r;
            return {};
        }
        s = b64_string(buf.data(), buf.size());
    } else {
        s = b64_string(der, size_t(derlen));
    }
    if (len) *len = long(s.size());
    return s;
}

SecureBytes IK_BytesFromB64(long* len, int* type, const char* text) {
    if (type) *type = 0;
    if (!text || !*text) {
        if (len) *len = -BAD_PARAM_ERROR;
        return {};
    }
    size_t tl = std::strlen(text);
    SecureBytes raw(tl / 4 * 3 + 3);
    long n = b64decode(raw.data(), long(raw.size()), text);
    if (n <= 0) {
        if (len) *len = -INVALID_DATA_ERROR;
        return {};
    }
    raw.resize(size_t(n));
    int t = IK_KeyTypeFromB64(text);
    if (t == 0) {
        if (len) *len = n;
        return raw;
    }
    if (type) *type = t;
    if (n < 3) {
        if (len) *len = -INVALID_DATA_ERROR;
        return {};
    }
    const uint8_t* key = IK_GetKeyPtr();
    if (!key) {
        if (len) *len = -PRNG_ERR_FAILURE;
        return {};
    }
    SecureBytes out(static_cast<size_t>(n));
    long r = IK_Unwrap(out.data(), long(out.size()), raw.data() + 3, n - 3, key);
    if (r < 0) {
        if (len) *len = r;
        return {};
    }
    out.resize(size_t(r));
    if (len) *len = r;
    return out;
}
