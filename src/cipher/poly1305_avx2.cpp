// Poly1305 with AVX2: eight accumulators in 26-bit limbs, one 64-bit lane
// each in two registers, so that h_j collects blocks j, j+8, j+16, ...
// multiplied by r^8 per step (two independent dependency chains); the last
// step multiplies the lanes by r^8 ... r and sums them, which equals the
// serial Horner evaluation.
#include "cipher/poly1305.h"
#include "util/bytes.h"

#include <immintrin.h>

// Everything below is compiled for the instruction set this file serves;
// the included headers above keep the baseline target.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif


namespace velt::poly1305 {
namespace {

constexpr uint64_t kMask26 = 0x3ffffff;

// Four message blocks to limbs: lane j holds block j.
inline void load4(const uint8_t* m, __m256i l[5], __m256i mask, __m256i hibit) {
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m + 32));
    __m256i t0 = _mm256_permute4x64_epi64(_mm256_unpacklo_epi64(a, b), 0xD8);
    __m256i t1 = _mm256_permute4x64_epi64(_mm256_unpackhi_epi64(a, b), 0xD8);
    l[0] = _mm256_and_si256(t0, mask);
    l[1] = _mm256_and_si256(_mm256_srli_epi64(t0, 26), mask);
    l[2] = _mm256_and_si256(_mm256_or_si256(_mm256_srli_epi64(t0, 52), _mm256_slli_epi64(t1, 12)), mask);
    l[3] = _mm256_and_si256(_mm256_srli_epi64(t1, 14), mask);
    l[4] = _mm256_or_si256(_mm256_srli_epi64(t1, 40), hibit);
}

#define MUL(x, y) _mm256_mul_epu32(x, y)
#define ADD(x, y) _mm256_add_epi64(x, y)

// h = h * r (lane-wise), r given as limbs r[0..4] and s[i] = 5 r[i].
inline void mul_lanes(__m256i h[5], const __m256i r[5], const __m256i s[5], __m256i mask) {
    __m256i d0 = ADD(ADD(MUL(h[0], r[0]), MUL(h[1], s[4])), ADD(ADD(MUL(h[2], s[3]), MUL(h[3], s[2])), MUL(h[4], s[1])));
    __m256i d1 = ADD(ADD(MUL(h[0], r[1]), MUL(h[1], r[0])), ADD(ADD(MUL(h[2], s[4]), MUL(h[3], s[3])), MUL(h[4], s[2])));
    __m256i d2 = ADD(ADD(MUL(h[0], r[2]), MUL(h[1], r[1])), ADD(ADD(MUL(h[2], r[0]), MUL(h[3], s[4])), MUL(h[4], s[3])));
    __m256i d3 = ADD(ADD(MUL(h[0], r[3]), MUL(h[1], r[2])), ADD(ADD(MUL(h[2], r[1]), MUL(h[3], r[0])), MUL(h[4], s[4])));
    __m256i d4 = ADD(ADD(MUL(h[0], r[4]), MUL(h[1], r[3])), ADD(ADD(MUL(h[2], r[2]), MUL(h[3], r[1])), MUL(h[4], r[0])));
    // Partial carry: every limb ends below 2^26 plus a small excess.
    d1 = ADD(d1, _mm256_srli_epi64(d0, 26));
    d0 = _mm256_and_si256(d0, mask);
    d4 = ADD(d4, _mm256_srli_epi64(d3, 26));
    d3 = _mm256_and_si256(d3, mask);
    d2 = ADD(d2, _mm256_srli_epi64(d1, 26));
    d1 = _mm256_and_si256(d1, mask);
    __m256i c = _mm256_srli_epi64(d4, 26);
    d4 = _mm256_and_si256(d4, mask);
    d0 = ADD(d0, ADD(c, _mm256_slli_epi64(c, 2)));  // + 5c
    d3 = ADD(d3, _mm256_srli_epi64(d2, 26));
    d2 = _mm256_and_si256(d2, mask);
    d1 = ADD(d1, _mm256_srli_epi64(d0, 26));
    d0 = _mm256_and_si256(d0, mask);
    d4 = ADD(d4, _mm256_srli_epi64(d3, 26));
    d3 = _mm256_and_si256(d3, mask);
    h[0] = d0;
    h[1] = d1;
    h[2] = d2;
    h[3] = d3;
    h[4] = d4;
}

inline uint64_t hsum(__m256i v) {
    __m128i x = _mm_add_epi64(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    return uint64_t(_mm_cvtsi128_si64(x)) + uint64_t(_mm_extract_epi64(x, 1));
}

// Limb i of f * (powers a, b, c, d) in the four lanes.
inline __m256i lanes(const uint32_t (*pw)[5], int a, int b, int c, int d, int i, int64_t f) {
    return _mm256_setr_epi64x(f * pw[a][i], f * pw[b][i], f * pw[c][i], f * pw[d][i]);
}

}  // namespace

void blocks_avx2(State& st, const uint8_t* m, size_t nblocks) {
    if (st.npw < 8) compute_powers(st, 8);
    const __m256i mask = _mm256_set1_epi64x(int64_t(kMask26));
    const __m256i hibit = _mm256_set1_epi64x(int64_t(1) << 24);
    // r^8 for every lane; for the last step, lanes of register A (blocks
    // 8k..8k+3) take r^8..r^5 and those of B (8k+4..8k+7) r^4..r.
    __m256i r8[5], s8[5], ra[5], sa[5], rb[5], sb[5];
    for (int i = 0; i < 5; ++i) {
        r8[i] = _mm256_set1_epi64x(int64_t(st.pw[7][i]));
        s8[i] = _mm256_set1_epi64x(int64_t(5) * st.pw[7][i]);
        ra[i] = lanes(st.pw, 7, 6, 5, 4, i, 1);
        sa[i] = lanes(st.pw, 7, 6, 5, 4, i, 5);
        rb[i] = lanes(st.pw, 3, 2, 1, 0, i, 1);
        sb[i] = lanes(st.pw, 3, 2, 1, 0, i, 5);
    }
    uint64_t hl[5];
    split26(st.h0, st.h1, st.h2, hl);
    __m256i ha[5], hb[5];
    for (int i = 0; i < 5; ++i) {
        ha[i] = _mm256_setr_epi64x(int64_t(hl[i]), 0, 0, 0);
        hb[i] = _mm256_setzero_si256();
    }
    for (size_t g = 0; g < nblocks; g += 8, m += 128) {
        __m256i la[5], lb[5];
        load4(m, la, mask, hibit);
        load4(m + 64, lb, mask, hibit);
        for (int i = 0; i < 5; ++i) {
            ha[i] = ADD(ha[i], la[i]);
            hb[i] = ADD(hb[i], lb[i]);
        }
        if (g + 8 < nblocks) {
            mul_lanes(ha, r8, s8, mask);
            mul_lanes(hb, r8, s8, mask);
        } else {
            mul_lanes(ha, ra, sa, mask);
            mul_lanes(hb, rb, sb, mask);
        }
    }
    __m256i h[5];
    for (int i = 0; i < 5; ++i) h[i] = ADD(ha[i], hb[i]);
    // Sum the lanes into the scalar accumulator.
    uint64_t t[5];
    for (int i = 0; i < 5; ++i) t[i] = hsum(h[i]);
    join26(st, t);
}

}  // namespace velt::poly1305

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
