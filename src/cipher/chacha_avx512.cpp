// ChaCha20 with AVX-512: sixteen blocks at a time, one 512-bit register per
// state word; the transpose works on 4x4 word groups inside 128-bit lanes and
// then on 128-bit lanes across registers.
#include <immintrin.h>

// GCC 12 reports the deliberately undefined source operand inside the
// AVX-512 intrinsics as "may be used uninitialized".
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"

#include "cipher/chacha.h"

#pragma GCC target("avx512f")

namespace velt::chacha {
namespace {

#define QR(a, b, c, d)                                       \
    a = _mm512_add_epi32(a, b);                              \
    d = _mm512_rol_epi32(_mm512_xor_si512(d, a), 16);        \
    c = _mm512_add_epi32(c, d);                              \
    b = _mm512_rol_epi32(_mm512_xor_si512(b, c), 12);        \
    a = _mm512_add_epi32(a, b);                              \
    d = _mm512_rol_epi32(_mm512_xor_si512(d, a), 8);         \
    c = _mm512_add_epi32(c, d);                              \
    b = _mm512_rol_epi32(_mm512_xor_si512(b, c), 7)

// Four rows (words w..w+3 of 16 blocks) to c[k]: 128-bit lane L of c[k]
// holds words w..w+3 of block 4L+k.
inline void transpose4(__m512i a, __m512i b, __m512i c, __m512i d, __m512i out[4]) {
    __m512i t0 = _mm512_unpacklo_epi32(a, b), t1 = _mm512_unpackhi_epi32(a, b);
    __m512i t2 = _mm512_unpacklo_epi32(c, d), t3 = _mm512_unpackhi_epi32(c, d);
    out[0] = _mm512_unpacklo_epi64(t0, t2);
    out[1] = _mm512_unpackhi_epi64(t0, t2);
    out[2] = _mm512_unpacklo_epi64(t1, t3);
    out[3] = _mm512_unpackhi_epi64(t1, t3);
}

}  // namespace

void chacha20_xor_avx512(uint8_t* out, const uint8_t* in, size_t nblocks, const uint32_t state[16]) {
    __m512i s[16];
    for (int i = 0; i < 16; ++i) s[i] = _mm512_set1_epi32(int(state[i]));
    s[12] = _mm512_add_epi32(s[12], _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
    const __m512i sixteen = _mm512_set1_epi32(16);
    for (size_t blk = 0; blk < nblocks; blk += 16) {
        __m512i x0 = s[0], x1 = s[1], x2 = s[2], x3 = s[3], x4 = s[4], x5 = s[5], x6 = s[6], x7 = s[7];
        __m512i x8 = s[8], x9 = s[9], x10 = s[10], x11 = s[11], x12 = s[12], x13 = s[13], x14 = s[14], x15 = s[15];
        for (int i = 0; i < 10; ++i) {
            QR(x0, x4, x8, x12);
            QR(x1, x5, x9, x13);
            QR(x2, x6, x10, x14);
            QR(x3, x7, x11, x15);
            QR(x0, x5, x10, x15);
            QR(x1, x6, x11, x12);
            QR(x2, x7, x8, x13);
            QR(x3, x4, x9, x14);
        }
        __m512i g[4][4];
        transpose4(_mm512_add_epi32(x0, s[0]), _mm512_add_epi32(x1, s[1]), _mm512_add_epi32(x2, s[2]),
                   _mm512_add_epi32(x3, s[3]), g[0]);
        transpose4(_mm512_add_epi32(x4, s[4]), _mm512_add_epi32(x5, s[5]), _mm512_add_epi32(x6, s[6]),
                   _mm512_add_epi32(x7, s[7]), g[1]);
        transpose4(_mm512_add_epi32(x8, s[8]), _mm512_add_epi32(x9, s[9]), _mm512_add_epi32(x10, s[10]),
                   _mm512_add_epi32(x11, s[11]), g[2]);
        transpose4(_mm512_add_epi32(x12, s[12]), _mm512_add_epi32(x13, s[13]), _mm512_add_epi32(x14, s[14]),
                   _mm512_add_epi32(x15, s[15]), g[3]);
        for (int k = 0; k < 4; ++k) {
            // Lane L of g[q][k] is word group q of block 4L+k; gather the four
            // groups of each block into one register.
            __m512i p0 = _mm512_shuffle_i32x4(g[0][k], g[1][k], 0x44);
            __m512i p1 = _mm512_shuffle_i32x4(g[0][k], g[1][k], 0xEE);
            __m512i p2 = _mm512_shuffle_i32x4(g[2][k], g[3][k], 0x44);
            __m512i p3 = _mm512_shuffle_i32x4(g[2][k], g[3][k], 0xEE);
            __m512i blocks[4] = {_mm512_shuffle_i32x4(p0, p2, 0x88), _mm512_shuffle_i32x4(p0, p2, 0xDD),
                                 _mm512_shuffle_i32x4(p1, p3, 0x88), _mm512_shuffle_i32x4(p1, p3, 0xDD)};
            for (int l = 0; l < 4; ++l) {
                size_t off = size_t(64) * (4 * l + k);
                __m512i v = _mm512_loadu_si512(in + off);
                _mm512_storeu_si512(out + off, _mm512_xor_si512(v, blocks[l]));
            }
        }
        s[12] = _mm512_add_epi32(s[12], sixteen);
        in += 1024;
        out += 1024;
    }
}

}  // namespace velt::chacha
