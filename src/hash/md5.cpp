// MD5 (RFC 1321). Kept for old signatures and HMAC-MD5; not for new designs.
#include "hash/blocks.h"
#include "hash/hash.h"
#include "util/bytes.h"
#include "util/emem.h"

namespace velt::hash {
namespace {

constexpr uint32_t T[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr int S[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 5, 9,  14, 20, 5, 9,
                       14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                       4, 11, 16, 23, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

void md5_blocks(uint32_t h[4], const uint8_t* p, size_t blocks) {
    while (blocks--) {
        uint32_t x[16];
        for (int i = 0; i < 16; i++) x[i] = load_le32(p + 4 * i);
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
        for (int i = 0; i < 64; i++) {
            uint32_t f;
            int g;
            if (i < 16) {
                f = d ^ (b & (c ^ d));
                g = i;
            } else if (i < 32) {
                f = c ^ (d & (b ^ c));
                g = (5 * i + 1) & 15;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) & 15;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) & 15;
            }
            uint32_t tmp = d;
            d = c;
            c = b;
            b = b + rotl32(a + f + T[i] + x[g], S[i]);
            a = tmp;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        p += 64;
    }
}

}  // namespace

void md5_init(Md5Ctx& c) {
    c.h[0] = 0x67452301;
    c.h[1] = 0xefcdab89;
    c.h[2] = 0x98badcfe;
    c.h[3] = 0x10325476;
    c.bytes = 0;
    c.used = 0;
}

void md5_update(Md5Ctx& c, const uint8_t* data, size_t n) {
    md_update<64>(c, data, n, [&](const uint8_t* p, size_t b) { md5_blocks(c.h, p, b); });
}

void md5_final(Md5Ctx& c, uint8_t out[16]) {
    uint64_t bits = c.bytes * 8;
    c.buf[c.used++] = 0x80;
    if (c.used > 56) {
        memset(c.buf + c.used, 0, 64 - c.used);
        md5_blocks(c.h, c.buf, 1);
        c.used = 0;
    }
    memset(c.buf + c.used, 0, 56 - c.used);
    store_le64(c.buf + 56, bits);
    md5_blocks(c.h, c.buf, 1);
    for (int i = 0; i < 4; i++) store_le32(out + 4 * i, c.h[i]);
    ewipe(&c, sizeof c);
}

}  // namespace velt::hash
