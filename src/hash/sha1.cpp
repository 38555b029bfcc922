// SHA-1 (FIPS 180-4 section 6.1).
#include "hash/blocks.h"
#include "hash/hash.h"
#include "util/bytes.h"
#include "util/cpu.h"
#include "util/emem.h"

namespace velt::hash {

void sha1_blocks_portable(uint32_t h[5], const uint8_t* p, size_t blocks) {
    while (blocks--) {
        uint32_t w[80];
        for (int t = 0; t < 16; t++) w[t] = load_be32(p + 4 * t);
        for (int t = 16; t < 80; t++) w[t] = rotl32(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int t = 0; t < 80; t++) {
            uint32_t f, k;
            if (t < 20) {
                f = (b & c) | (~b & d);
                k = 0x5a827999;
            } else if (t < 40) {
                f = b ^ c ^ d;
                k = 0x6ed9eba1;
            } else if (t < 60) {
                f = (b & c) | (b & d) | (c & d);
                k = 0x8f1bbcdc;
            } else {
                f = b ^ c ^ d;
                k = 0xca62c1d6;
            }
            uint32_t tmp = rotl32(a, 5) + f + e + k + w[t];
            e = d;
            d = c;
            c = rotl32(b, 30);
            b = a;
            a = tmp;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
        p += 64;
    }
}

void sha1_blocks(uint32_t h[5], const uint8_t* p, size_t blocks) {
    if (cpu::has(cpu::kShaNi | cpu::kSse41 | cpu::kSsse3))
        sha1_blocks_shani(h, p, blocks);
    else
        sha1_blocks_portable(h, p, blocks);
}

void sha1_init(Sha1Ctx& c) {
    static constexpr uint32_t kIv[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
    memcpy(c.h, kIv, sizeof kIv);
    c.bytes = 0;
    c.used = 0;
}

void sha1_update(Sha1Ctx& c, const uint8_t* data, size_t n) {
    md_update<64>(c, data, n, [&](const uint8_t* p, size_t b) { sha1_blocks(c.h, p, b); });
}

void sha1_final(Sha1Ctx& c, uint8_t out[20]) {
    uint64_t bits = c.bytes * 8;
    c.buf[c.used++] = 0x80;
    if (c.used > 56) {
        memset(c.buf + c.used, 0, 64 - c.used);
        sha1_blocks(c.h, c.buf, 1);
        c.used = 0;
    }
    memset(c.buf + c.used, 0, 56 - c.used);
    store_be64(c.buf + 56, bits);
    sha1_blocks(c.h, c.buf, 1);
    for (int i = 0; i < 5; i++) store_be32(out + 4 * i, c.h[i]);
    ewipe(&c, sizeof c);
}

}  // namespace velt::hash
