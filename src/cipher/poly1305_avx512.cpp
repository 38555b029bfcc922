// Poly1305 with AVX-512: sixteen accumulators in 26-bit limbs, eight 64-bit
// lanes in each of two registers (two independent dependency chains), each
// multiplied by r^16 per step; the last step multiplies every lane by the
// power that its block still needs (r^16 .. r) and the lanes are summed.
#include "cipher/poly1305.h"
#include "util/bytes.h"

#include <immintrin.h>

// Everything below is compiled for the instruction set this file serves;
// the included headers above keep the baseline target.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f")
#endif

// GCC 12 reports the deliberately undefined source operand inside the
// AVX-512 intrinsics as "may be used uninitialized".
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#pragma GCC diagnostic ignored "-Wuninitialized"

namespace velt::poly1305 {
namespace {

constexpr uint64_t kMask26 = 0x3ffffff;

// Block order within the lanes of a register after load8: lane p holds block
// kOrder[p] of its eight (the 128-bit unpack interleaves blocks j and j+4).
constexpr int kOrder[8] = {0, 4, 1, 5, 2, 6, 3, 7};

inline void load8(const uint8_t* m, __m512i l[5], __m512i mask, __m512i hibit) {
    __m512i a = _mm512_loadu_si512(m);
    __m512i b = _mm512_loadu_si512(m + 64);
    __m512i t0 = _mm512_unpacklo_epi64(a, b);
    __m512i t1 = _mm512_unpackhi_epi64(a, b);
    l[0] = _mm512_and_si512(t0, mask);
    l[1] = _mm512_and_si512(_mm512_srli_epi64(t0, 26), mask);
    l[2] = _mm512_and_si512(_mm512_or_si512(_mm512_srli_epi64(t0, 52), _mm512_slli_epi64(t1, 12)), mask);
    l[3] = _mm512_and_si512(_mm512_srli_epi64(t1, 14), mask);
    l[4] = _mm512_or_si512(_mm512_srli_epi64(t1, 40), hibit);
}

#define MUL(x, y) _mm512_mul_epu32(x, y)
#define ADD(x, y) _mm512_add_epi64(x, y)

inline void mul_lanes(__m512i h[5], const __m512i r[5], const __m512i s[5], __m512i mask) {
    __m512i d0 = ADD(ADD(MUL(h[0], r[0]), MUL(h[1], s[4])), ADD(ADD(MUL(h[2], s[3]), MUL(h[3], s[2])), MUL(h[4], s[1])));
    __m512i d1 = ADD(ADD(MUL(h[0], r[1]), MUL(h[1], r[0])), ADD(ADD(MUL(h[2], s[4]), MUL(h[3], s[3])), MUL(h[4], s[2])));
    __m512i d2 = ADD(ADD(MUL(h[0], r[2]), MUL(h[1], r[1])), ADD(ADD(MUL(h[2], r[0]), MUL(h[3], s[4])), MUL(h[4], s[3])));
    __m512i d3 = ADD(ADD(MUL(h[0], r[3]), MUL(h[1], r[2])), ADD(ADD(MUL(h[2], r[1]), MUL(h[3], r[0])), MUL(h[4], s[4])));
    __m512i d4 = ADD(ADD(MUL(h[0], r[4]), MUL(h[1], r[3])), ADD(ADD(MUL(h[2], r[2]), MUL(h[3], r[1])), MUL(h[4], r[0])));
    d1 = ADD(d1, _mm512_srli_epi64(d0, 26));
    d0 = _mm512_and_si512(d0, mask);
    d4 = ADD(d4, _mm512_srli_epi64(d3, 26));
    d3 = _mm512_and_si512(d3, mask);
    d2 = ADD(d2, _mm512_srli_epi64(d1, 26));
    d1 = _mm512_and_si512(d1, mask);
    __m512i c = _mm512_srli_epi64(d4, 26);
    d4 = _mm512_and_si512(d4, mask);
    d0 = ADD(d0, ADD(c, _mm512_slli_epi64(c, 2)));  // + 5c
    d3 = ADD(d3, _mm512_srli_epi64(d2, 26));
    d2 = _mm512_and_si512(d2, mask);
    d1 = ADD(d1, _mm512_srli_epi64(d0, 26));
    d0 = _mm512_and_si512(d0, mask);
    d4 = ADD(d4, _mm512_srli_epi64(d3, 26));
    d3 = _mm512_and_si512(d3, mask);
    h[0] = d0;
    h[1] = d1;
    h[2] = d2;
    h[3] = d3;
    h[4] = d4;
}

// Limb i of f * r^(top - kOrder[p]) in lane p.
inline __m512i final_powers(const uint32_t (*pw)[5], int top, int i, int64_t f) {
    alignas(64) int64_t v[8];
    for (int p = 0; p < 8; ++p) v[p] = f * pw[top - kOrder[p] - 1][i];
    return _mm512_load_si512(v);
}

}  // namespace

void blocks_avx512(State& st, const uint8_t* m, size_t nblocks) {
    if (st.npw < 16) compute_powers(st, 16);
    const __m512i mask = _mm512_set1_epi64(int64_t(kMask26));
    const __m512i hibit = _mm512_set1_epi64(int64_t(1) << 24);
    // Register A holds blocks 16k..16k+7, B blocks 16k+8..16k+15.
    __m512i r16[5], s16[5], ra[5], sa[5], rb[5], sb[5];
    for (int i = 0; i < 5; ++i) {
        r16[i] = _mm512_set1_epi64(int64_t(st.pw[15][i]));
        s16[i] = _mm512_set1_epi64(int64_t(5) * st.pw[15][i]);
        ra[i] = final_powers(st.pw, 16, i, 1);
        sa[i] = final_powers(st.pw, 16, i, 5);
        rb[i] = final_powers(st.pw, 8, i, 1);
        sb[i] = final_powers(st.pw, 8, i, 5);
    }
    uint64_t hl[5];
    split26(st.h0, st.h1, st.h2, hl);
    // The running accumulator joins block 0 of the first group (lane 0).
    __m512i ha[5], hb[5];
    for (int i = 0; i < 5; ++i) {
        ha[i] = _mm512_maskz_set1_epi64(1, int64_t(hl[i]));
        hb[i] = _mm512_setzero_si512();
    }
    for (size_t g = 0; g < nblocks; g += 16, m += 256) {
        __m512i la[5], lb[5];
        load8(m, la, mask, hibit);
        load8(m + 128, lb, mask, hibit);
        for (int i = 0; i < 5; ++i) {
            ha[i] = ADD(ha[i], la[i]);
            hb[i] = ADD(hb[i], lb[i]);
        }
        if (g + 16 < nblocks) {
            mul_lanes(ha, r16, s16, mask);
            mul_lanes(hb, r16, s16, mask);
        } else {
            mul_lanes(ha, ra, sa, mask);
            mul_lanes(hb, rb, sb, mask);
        }
    }
    uint64_t t[5];
    for (int i = 0; i < 5; ++i) t[i] = uint64_t(_mm512_reduce_add_epi64(ADD(ha[i], hb[i])));
    join26(st, t);
}

}  // namespace velt::poly1305

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
