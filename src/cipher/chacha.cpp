#include "cipher/chacha.h"

#include <cstring>

#include "util/bytes.h"
#include "util/cpu.h"
#include "util/emem.h"

namespace velt::chacha {
namespace {

inline void quarter(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d) {
    a += b; d ^= a; d = rotl32(d, 16);
    c += d; b ^= c; b = rotl32(b, 12);
    a += b; d ^= a; d = rotl32(d, 8);
    c += d; b ^= c; b = rotl32(b, 7);
}

// The 16-word initial state: constants "expand 32-byte k", key, counter, nonce.
void init_state(uint32_t s[16], const Key& key, uint32_t counter, const uint32_t nonce[3]) {
    s[0] = 0x61707865;
    s[1] = 0x3320646e;
    s[2] = 0x79622d32;
    s[3] = 0x6b206574;
    for (int i = 0; i < 8; ++i) s[4 + i] = key.k[i];
    s[12] = counter;
    s[13] = nonce[0];
    s[14] = nonce[1];
    s[15] = nonce[2];
}

void block_words(uint32_t out[16], const uint32_t in[16]) {
    uint32_t x[16];
    memcpy(x, in, sizeof x);
    for (int i = 0; i < 10; ++i) {
        quarter(x[0], x[4], x[8], x[12]);
        quarter(x[1], x[5], x[9], x[13]);
        quarter(x[2], x[6], x[10], x[14]);
        quarter(x[3], x[7], x[11], x[15]);
        quarter(x[0], x[5], x[10], x[15]);
        quarter(x[1], x[6], x[11], x[12]);
        quarter(x[2], x[7], x[8], x[13]);
        quarter(x[3], x[4], x[9], x[14]);
    }
    for (int i = 0; i < 16; ++i) out[i] = x[i] + in[i];
    ewipe(x, sizeof x);
}

}  // namespace

void load_key(Key& key, const uint8_t k[32]) {
    for (int i = 0; i < 8; ++i) key.k[i] = load_le32(k + 4 * i);
}

void load_nonce(uint32_t n[3], const uint8_t nonce[12]) {
    for (int i = 0; i < 3; ++i) n[i] = load_le32(nonce + 4 * i);
}

void chacha20_block(uint8_t out[64], const Key& key, uint32_t counter, const uint32_t nonce[3]) {
    uint32_t s[16], w[16];
    init_state(s, key, counter, nonce);
    block_words(w, s);
    for (int i = 0; i < 16; ++i) store_le32(out + 4 * i, w[i]);
    ewipe(s, sizeof s);
    ewipe(w, sizeof w);
}

uint32_t chacha20_xor(uint8_t* out, const uint8_t* in, size_t len, const Key& key, uint32_t counter,
                      const uint32_t nonce[3]) {
    uint32_t s[16];
    WipeOnExit wipe_s(s, sizeof s);
    init_state(s, key, counter, nonce);
    size_t nblocks = len / 64;
    if (nblocks >= 16 && cpu::has(cpu::kAvx512f)) {
        size_t n = nblocks & ~size_t(15);
        chacha20_xor_avx512(out, in, n, s);
        s[12] += uint32_t(n);
        out += 64 * n;
        in += 64 * n;
        len -= 64 * n;
        nblocks -= n;
    }
    if (nblocks >= 8 && cpu::has(cpu::kAvx2)) {
        size_t n = nblocks & ~size_t(7);
        chacha20_xor_avx2(out, in, n, s);
        s[12] += uint32_t(n);
        out += 64 * n;
        in += 64 * n;
        len -= 64 * n;
    }
    uint32_t w[16];
    uint8_t ks[64];
    WipeOnExit wipe_w(w, sizeof w);
    WipeOnExit wipe_ks(ks, sizeof ks);
    while (len > 0) {
        block_words(w, s);
        ++s[12];
        if (len >= 64) {
            for (int i = 0; i < 16; ++i) store_le32(out + 4 * i, load_le32(in + 4 * i) ^ w[i]);
            out += 64;
            in += 64;
            len -= 64;
        } else {
            for (int i = 0; i < 16; ++i) store_le32(ks + 4 * i, w[i]);
            for (size_t i = 0; i < len; ++i) out[i] = uint8_t(in[i] ^ ks[i]);
            len = 0;
        }
    }
    return s[12];
}

}  // namespace velt::chacha
