// Poly1305 with AVX2: eight accumulators in 26-bit limbs, one 64-bit lane
// each in two registers, so that h_j collects blocks j, j+8, j+16, ...
// multiplied by r^8 per step (two independent dependency chains); the last
// step multiplies the lanes by r^8 ... r and sums them, which equals the
// serial Horner evaluation.
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
    uint64_t r[8][5];
    split26(st.r0, st.r1, 0, r[0]);
    for (int k = 1; k < 8; ++k) mul26(r[k - 1], r[0], r[k]);
    for (int k = 0; k < 8; ++k)
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

// Limb i of f * (powers a, b, c, d) in the four lanes.
inline __m256i lanes(const uint32_t (*pw)[5], int a, int b, int c, int d, int i, int64_t f) {
    return _mm256_setr_epi64x(f * pw[a][i], f * pw[b][i], f * pw[c][i], f * pw[d][i]);
}

}  // namespace

void blocks_avx2(State& st, const uint8_t* m, size_t nblocks) {
    if (!st.powers_ready) compute_powers(st);
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
