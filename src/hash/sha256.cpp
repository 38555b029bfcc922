// SHA-256 and SHA-224 (FIPS 180-4 sections 6.2 and 6.3).
#include "hash/blocks.h"
#include "hash/hash.h"
#include "util/bytes.h"
#include "util/cpu.h"
#include "util/emem.h"

namespace velt::hash {
namespace {

constexpr uint32_t K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

}  // namespace

void sha256_blocks_portable(uint32_t h[8], const uint8_t* p, size_t blocks) {
    while (blocks--) {
        uint32_t w[64];
        for (int t = 0; t < 16; t++) w[t] = load_be32(p + 4 * t);
        for (int t = 16; t < 64; t++) {
            uint32_t s0 = rotr32(w[t - 15], 7) ^ rotr32(w[t - 15], 18) ^ (w[t - 15] >> 3);
            uint32_t s1 = rotr32(w[t - 2], 17) ^ rotr32(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
        for (int t = 0; t < 64; t++) {
            uint32_t S1 = rotr32(e, 6) ^ rotr32(e, 11) ^ rotr32(e, 25);
            uint32_t ch = (e & f) ^ (~e & g);
            uint32_t t1 = hh + S1 + ch + K[t] + w[t];
            uint32_t S0 = rotr32(a, 2) ^ rotr32(a, 13) ^ rotr32(a, 22);
            uint32_t maj = (a & b) ^ (a & c) ^ (b & c);
            uint32_t t2 = S0 + maj;
            hh = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
        h[5] += f;
        h[6] += g;
        h[7] += hh;
        p += 64;
    }
}

void sha256_blocks(uint32_t h[8], const uint8_t* p, size_t blocks) {
    if (cpu::has(cpu::kShaNi | cpu::kSse41 | cpu::kSsse3))
        sha256_blocks_shani(h, p, blocks);
    else
        sha256_blocks_portable(h, p, blocks);
}

void sha256_init(Sha256Ctx& c) {
    static constexpr uint32_t kIv[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    memcpy(c.h, kIv, sizeof kIv);
    c.bytes = 0;
    c.used = 0;
    c.out_len = 32;
}

void sha224_init(Sha256Ctx& c) {
    static constexpr uint32_t kIv[8] = {0xc1059ed8, 0x367cd507, 0x3070dd17, 0xf70e5939,
                                        0xffc00b31, 0x68581511, 0x64f98fa7, 0xbefa4fa4};
    memcpy(c.h, kIv, sizeof kIv);
    c.bytes = 0;
    c.used = 0;
    c.out_len = 28;
}

void sha256_update(Sha256Ctx& c, const uint8_t* data, size_t n) {
    md_update<64>(c, data, n, [&](const uint8_t* p, size_t b) { sha256_blocks(c.h, p, b); });
}

void sha256_final(Sha256Ctx& c, uint8_t* out) {
    uint64_t bits = c.bytes * 8;
    c.buf[c.used++] = 0x80;
    if (c.used > 56) {
        memset(c.buf + c.used, 0, 64 - c.used);
        sha256_blocks(c.h, c.buf, 1);
        c.used = 0;
    }
    memset(c.buf + c.used, 0, 56 - c.used);
    store_be64(c.buf + 56, bits);
    sha256_blocks(c.h, c.buf, 1);
    uint8_t full[32];
    for (int i = 0; i < 8; i++) store_be32(full + 4 * i, c.h[i]);
    memcpy(out, full, c.out_len);
    ewipe(full, sizeof full);
    ewipe(&c, sizeof c);
}

}  // namespace velt::hash
