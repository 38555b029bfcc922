// ChaCha20 with AVX2: eight blocks at a time, one 256-bit register per state
// word holding that word of the eight blocks, then an 8x8 transpose back to
// block order.
#include <immintrin.h>

#include "cipher/chacha.h"

#pragma GCC target("avx2")

namespace velt::chacha {
namespace {

inline __m256i rot16(__m256i x) {
    const __m256i m = _mm256_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13, 2, 3, 0, 1, 6, 7, 4, 5,
                                       10, 11, 8, 9, 14, 15, 12, 13);
    return _mm256_shuffle_epi8(x, m);
}
inline __m256i rot8(__m256i x) {
    const __m256i m = _mm256_setr_epi8(3, 0, 1, 2, 7, 4, 5, 6, 11, 8, 9, 10, 15, 12, 13, 14, 3, 0, 1, 2, 7, 4, 5, 6,
                                       11, 8, 9, 10, 15, 12, 13, 14);
    return _mm256_shuffle_epi8(x, m);
}
template <int N>
inline __m256i rotl(__m256i x) {
    return _mm256_or_si256(_mm256_slli_epi32(x, N), _mm256_srli_epi32(x, 32 - N));
}

#define QR(a, b, c, d)                                   \
    a = _mm256_add_epi32(a, b);                          \
    d = rot16(_mm256_xor_si256(d, a));                   \
    c = _mm256_add_epi32(c, d);                          \
    b = rotl<12>(_mm256_xor_si256(b, c));                \
    a = _mm256_add_epi32(a, b);                          \
    d = rot8(_mm256_xor_si256(d, a));                    \
    c = _mm256_add_epi32(c, d);                          \
    b = rotl<7>(_mm256_xor_si256(b, c))

// Transposes rows r[0..7] (word i of blocks 0..7) into t[j] = the eight words
// of block j.
inline void transpose8(__m256i r[8], __m256i t[8]) {
    __m256i b0 = _mm256_unpacklo_epi32(r[0], r[1]), b1 = _mm256_unpackhi_epi32(r[0], r[1]);
    __m256i b2 = _mm256_unpacklo_epi32(r[2], r[3]), b3 = _mm256_unpackhi_epi32(r[2], r[3]);
    __m256i b4 = _mm256_unpacklo_epi32(r[4], r[5]), b5 = _mm256_unpackhi_epi32(r[4], r[5]);
    __m256i b6 = _mm256_unpacklo_epi32(r[6], r[7]), b7 = _mm256_unpackhi_epi32(r[6], r[7]);
    __m256i c0 = _mm256_unpacklo_epi64(b0, b2), c1 = _mm256_unpackhi_epi64(b0, b2);
    __m256i c2 = _mm256_unpacklo_epi64(b1, b3), c3 = _mm256_unpackhi_epi64(b1, b3);
    __m256i c4 = _mm256_unpacklo_epi64(b4, b6), c5 = _mm256_unpackhi_epi64(b4, b6);
    __m256i c6 = _mm256_unpacklo_epi64(b5, b7), c7 = _mm256_unpackhi_epi64(b5, b7);
    t[0] = _mm256_permute2x128_si256(c0, c4, 0x20);
    t[4] = _mm256_permute2x128_si256(c0, c4, 0x31);
    t[1] = _mm256_permute2x128_si256(c1, c5, 0x20);
    t[5] = _mm256_permute2x128_si256(c1, c5, 0x31);
    t[2] = _mm256_permute2x128_si256(c2, c6, 0x20);
    t[6] = _mm256_permute2x128_si256(c2, c6, 0x31);
    t[3] = _mm256_permute2x128_si256(c3, c7, 0x20);
    t[7] = _mm256_permute2x128_si256(c3, c7, 0x31);
}

}  // namespace

void chacha20_xor_avx2(uint8_t* out, const uint8_t* in, size_t nblocks, const uint32_t state[16]) {
    __m256i s[16];
    for (int i = 0; i < 16; ++i) s[i] = _mm256_set1_epi32(int(state[i]));
    s[12] = _mm256_add_epi32(s[12], _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    const __m256i eight = _mm256_set1_epi32(8);
    for (size_t blk = 0; blk < nblocks; blk += 8) {
        __m256i x0 = s[0], x1 = s[1], x2 = s[2], x3 = s[3], x4 = s[4], x5 = s[5], x6 = s[6], x7 = s[7];
        __m256i x8 = s[8], x9 = s[9], x10 = s[10], x11 = s[11], x12 = s[12], x13 = s[13], x14 = s[14], x15 = s[15];
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
        __m256i lo[8] = {_mm256_add_epi32(x0, s[0]), _mm256_add_epi32(x1, s[1]), _mm256_add_epi32(x2, s[2]),
                         _mm256_add_epi32(x3, s[3]), _mm256_add_epi32(x4, s[4]), _mm256_add_epi32(x5, s[5]),
                         _mm256_add_epi32(x6, s[6]), _mm256_add_epi32(x7, s[7])};
        __m256i hi[8] = {_mm256_add_epi32(x8, s[8]),   _mm256_add_epi32(x9, s[9]),   _mm256_add_epi32(x10, s[10]),
                         _mm256_add_epi32(x11, s[11]), _mm256_add_epi32(x12, s[12]), _mm256_add_epi32(x13, s[13]),
                         _mm256_add_epi32(x14, s[14]), _mm256_add_epi32(x15, s[15])};
        __m256i tl[8], th[8];
        transpose8(lo, tl);
        transpose8(hi, th);
        for (int j = 0; j < 8; ++j) {
            const __m256i* src = reinterpret_cast<const __m256i*>(in + 64 * j);
            __m256i* dst = reinterpret_cast<__m256i*>(out + 64 * j);
            _mm256_storeu_si256(dst, _mm256_xor_si256(_mm256_loadu_si256(src), tl[j]));
            _mm256_storeu_si256(dst + 1, _mm256_xor_si256(_mm256_loadu_si256(src + 1), th[j]));
        }
        s[12] = _mm256_add_epi32(s[12], eight);
        in += 512;
        out += 512;
    }
    // Key-dependent registers are left to the compiler; nothing secret is
    // stored to memory except the output.
}

}  // namespace velt::chacha
