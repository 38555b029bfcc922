// RIPEMD-160 (Dobbertin, Bosselaers and Preneel, 1996; ISO/IEC 10118-3).
#include "hash/blocks.h"
#include "hash/hash.h"
#include "util/bytes.h"
#include "util/emem.h"

namespace velt::hash {
namespace {

constexpr uint8_t RL[80] = {0, 1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 7,  4,  13, 1,
                            10, 6,  15, 3,  12, 0,  9,  5,  2,  14, 11, 8,  3,  10, 14, 4,  9,  15, 8,  1,
                            2,  7,  0,  6,  13, 11, 5,  12, 1,  9,  11, 10, 0,  8,  12, 4,  13, 3,  7,  15,
                            14, 5,  6,  2,  4,  0,  5,  9,  7,  12, 2,  10, 14, 1,  3,  8,  11, 6,  15, 13};
constexpr uint8_t RR[80] = {5,  14, 7,  0, 9, 2,  11, 4,  13, 6,  15, 8,  1,  10, 3,  12, 6,  11, 3,  7,
                            0,  13, 5,  10, 14, 15, 8,  12, 4,  9,  1,  2,  15, 5,  1,  3,  7,  14, 6,  9,
                            11, 8,  12, 2,  10, 0,  4,  13, 8,  6,  4,  1,  3,  11, 15, 0,  5,  12, 2,  13,
                            9,  7,  10, 14, 12, 15, 10, 4,  1,  5,  8,  7,  6,  2,  13, 14, 0,  3,  9,  11};
constexpr uint8_t SL[80] = {11, 14, 15, 12, 5,  8,  7,  9,  11, 13, 14, 15, 6,  7,  9,  8,  7,  6,  8,  13,
                            11, 9,  7,  15, 7,  12, 15, 9,  11, 7,  13, 12, 11, 13, 6,  7,  14, 9,  13, 15,
                            14, 8,  13, 6,  5,  12, 7,  5,  11, 12, 14, 15, 14, 15, 9,  8,  9,  14, 5,  6,
                            8,  6,  5,  12, 9,  15, 5,  11, 6,  8,  13, 12, 5,  12, 13, 14, 11, 8,  5,  6};
constexpr uint8_t SR[80] = {8,  9,  9,  11, 13, 15, 15, 5,  7,  7,  8,  11, 14, 14, 12, 6,  9,  13, 15, 7,
                            12, 8,  9,  11, 7,  7,  12, 7,  6,  15, 13, 11, 9,  7,  15, 11, 8,  6,  6,  14,
                            12, 13, 5,  14, 13, 13, 7,  5,  15, 5,  8,  11, 14, 14, 6,  14, 6,  9,  12, 9,
                            12, 5,  15, 8,  8,  5,  12, 9,  12, 5,  14, 6,  8,  13, 6,  5,  15, 13, 11, 11};
constexpr uint32_t KL[5] = {0x00000000, 0x5a827999, 0x6ed9eba1, 0x8f1bbcdc, 0xa953fd4e};
constexpr uint32_t KR[5] = {0x50a28be6, 0x5c4dd124, 0x6d703ef3, 0x7a6d76e9, 0x00000000};

inline uint32_t f(int j, uint32_t x, uint32_t y, uint32_t z) {
    switch (j / 16) {
        case 0: return x ^ y ^ z;
        case 1: return (x & y) | (~x & z);
        case 2: return (x | ~y) ^ z;
        case 3: return (x & z) | (y & ~z);
        default: return x ^ (y | ~z);
    }
}

void rmd_blocks(uint32_t h[5], const uint8_t* p, size_t blocks) {
    while (blocks--) {
        uint32_t x[16];
        for (int i = 0; i < 16; i++) x[i] = load_le32(p + 4 * i);
        uint32_t al = h[0], bl = h[1], cl = h[2], dl = h[3], el = h[4];
        uint32_t ar = al, br = bl, cr = cl, dr = dl, er = el;
        for (int j = 0; j < 80; j++) {
            uint32_t t = rotl32(al + f(j, bl, cl, dl) + x[RL[j]] + KL[j / 16], SL[j]) + el;
            al = el;
            el = dl;
            dl = rotl32(cl, 10);
            cl = bl;
            bl = t;
            t = rotl32(ar + f(79 - j, br, cr, dr) + x[RR[j]] + KR[j / 16], SR[j]) + er;
            ar = er;
            er = dr;
            dr = rotl32(cr, 10);
            cr = br;
            br = t;
        }
        uint32_t t = h[1] + cl + dr;
        h[1] = h[2] + dl + er;
        h[2] = h[3] + el + ar;
        h[3] = h[4] + al + br;
        h[4] = h[0] + bl + cr;
        h[0] = t;
        p += 64;
    }
}

}  // namespace

void rmd160_init(Rmd160Ctx& c) {
    c.h[0] = 0x67452301;
    c.h[1] = 0xefcdab89;
    c.h[2] = 0x98badcfe;
    c.h[3] = 0x10325476;
    c.h[4] = 0xc3d2e1f0;
    c.bytes = 0;
    c.used = 0;
}

void rmd160_update(Rmd160Ctx& c, const uint8_t* data, size_t n) {
    md_update<64>(c, data, n, [&](const uint8_t* p, size_t b) { rmd_blocks(c.h, p, b); });
}

void rmd160_final(Rmd160Ctx& c, uint8_t out[20]) {
    uint64_t bits = c.bytes * 8;
    c.buf[c.used++] = 0x80;
    if (c.used > 56) {
        memset(c.buf + c.used, 0, 64 - c.used);
        rmd_blocks(c.h, c.buf, 1);
        c.used = 0;
    }
    memset(c.buf + c.used, 0, 56 - c.used);
    store_le64(c.buf + 56, bits);
    rmd_blocks(c.h, c.buf, 1);
    for (int i = 0; i < 5; i++) store_le32(out + 4 * i, c.h[i]);
    ewipe(&c, sizeof c);
}

}  // namespace velt::hash
