// Poly1305 with AVX2: four accumulators in 26-bit limbs, one 64-bit lane
// each, so that h_j collects blocks j, j+4, j+8, ... multiplied by r^4 per
// step; the last step multiplies the lanes by r^4, r^3, r^2 and r and sums
// them, which equals the serial Horner evaluation.
#include "cipher/poly1305.h"
#include "util/bytes.h"

#include <immintrin.h>

#pragma GCC target("avx2")

namespace velt::poly1305 {
namespace {

using u128 = unsigned __int128;
constexpr uint64_t kMask26 = 0x3ffffff;

// c = a * b mod 2^130 - 5 on five-limb values, limbs carried to 26 bits
// (the top limb may keep a small excess).
void mul26(const uint64_t a[5], const uint64_t b[5], uint64_t c[5]) {
    uint64_t s1 = 5 * b[1], s2 = 5 * b[2], s3 = 5 * b[3], s4 = 5 * b[4];
    uint64_t d0 = a[0] * b[0] + a[1] * s4 + a[2] * s3 + a[3] * s2 + a[4] * s1;
    uint64_t d1 = a[0] * b[1] + a[1] * b[0] + a[2] * s4 + a[3] * s3 + a[4] * s2;
    uint64_t d2 = a[0] * b[2] + a[1] * b[1] + a[2] * b[0] + a[3] * s4 + a[4] * s3;
    uint64_t d3 = a[0] * b[3] + a[1] * b[2] + a[2] * b[1] + a[3] * b[0] + a[4] * s4;
    uint64_t d4 = a[0] * b[4] + a[1] * b[3] + a[2] * b[2] + a[3] * b[1] + a[4] * b[0];
    d1 += d0 >> 26;
    d2 += d1 >> 26;
    d3 += d2 >> 26;
    d4 += d3 >> 26;
    uint64_t c0 = (d0 & kMask26) + 5 * (d4 >> 26);
    c[1] = (d1 & kMask26) + (c0 >> 26);
    c[0] = c0 & kMask26;
    c[2] = d2 & kMask26;
    c[3] = d3 & kMask26;
    c[4] = d4 & kMask26;
}

void split26(uint64_t h0, uint64_t h1, uint64_t h2, uint64_t l[5]) {
    l[0] = h0 & kMask26;
    l[1] = (h0 >> 26) & kMask26;
    l[2] = ((h0 >> 52) | (h1 << 12)) & kMask26;
    l[3] = (h1 >> 14) & kMask26;
    l[4] = (h1 >> 40) | (h2 << 24);
}

void compute_powers(State& st) {
    uint64_t r[4][5];
    split26(st.r0, st.r1, 0, r[0]);
    mul26(r[0], r[0], r[1]);
    mul26(r[1], r[0], r[2]);
    mul26(r[2], r[0], r[3]);
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i < 5; ++i) st.pw[k][i] = uint32_t(r[k][i]);
    st.powers_ready = true;
}

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

}  // namespace

void blocks_avx2(State& st, const uint8_t* m, size_t nblocks) {
    if (!st.powers_ready) compute_powers(st);
    const __m256i mask = _mm256_set1_epi64x(int64_t(kMask26));
    const __m256i hibit = _mm256_set1_epi64x(int64_t(1) << 24);
    __m256i r4[5], s4[5], rv[5], sv[5];
    for (int i = 0; i < 5; ++i) {
        r4[i] = _mm256_set1_epi64x(int64_t(st.pw[3][i]));
        s4[i] = _mm256_set1_epi64x(int64_t(5) * st.pw[3][i]);
        rv[i] = _mm256_setr_epi64x(st.pw[3][i], st.pw[2][i], st.pw[1][i], st.pw[0][i]);
        sv[i] = _mm256_setr_epi64x(5 * int64_t(st.pw[3][i]), 5 * int64_t(st.pw[2][i]), 5 * int64_t(st.pw[1][i]),
                                   5 * int64_t(st.pw[0][i]));
    }
    uint64_t hl[5];
    split26(st.h0, st.h1, st.h2, hl);
    __m256i h[5];
    for (int i = 0; i < 5; ++i) h[i] = _mm256_setr_epi64x(int64_t(hl[i]), 0, 0, 0);
    for (size_t g = 0; g < nblocks; g += 4, m += 64) {
        __m256i l[5];
        load4(m, l, mask, hibit);
        for (int i = 0; i < 5; ++i) h[i] = ADD(h[i], l[i]);
        if (g + 4 < nblocks) {
            mul_lanes(h, r4, s4, mask);
        } else {
            mul_lanes(h, rv, sv, mask);
        }
    }
    // Sum the lanes and carry to 26-bit limbs, then back to radix 2^64.
    uint64_t t[5];
    for (int i = 0; i < 5; ++i) t[i] = hsum(h[i]);
    t[1] += t[0] >> 26;
    t[0] &= kMask26;
    t[2] += t[1] >> 26;
    t[1] &= kMask26;
    t[3] += t[2] >> 26;
    t[2] &= kMask26;
    t[4] += t[3] >> 26;
    t[3] &= kMask26;
    t[0] += 5 * (t[4] >> 26);
    t[4] &= kMask26;
    u128 acc = u128(t[0]) + (u128(t[1]) << 26) + (u128(t[2]) << 52);
    st.h0 = uint64_t(acc);
    acc >>= 64;
    acc += (u128(t[3]) << 14) + (u128(t[4]) << 40);
    st.h1 = uint64_t(acc);
    st.h2 = uint64_t(acc >> 64);
}

}  // namespace velt::poly1305
