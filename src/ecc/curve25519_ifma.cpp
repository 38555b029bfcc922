// The X25519 ladder with four field elements in the four 64-bit lanes of a
// 256-bit vector (AVX-512 IFMA with VL): five vectors hold limb
// i of the four elements. One ladder step is three vector products: lanes
// (A, B, D, C) x (A, B, A, B) give AA, BB, DA, CB; then (AA, E, DA + CB,
// DA - CB) x (BB, a24, DA + CB, DA - CB) give x2, a24 E, x3, (DA - CB)^2; then
// lanes 1 and 3 of (-, E, -, x1) x (-, AA + a24 E, -, (DA - CB)^2) give z2
// and z3. The state is (x2, z2, x3, z3); the conditional swap is a lane
// permutation selected by a mask. Every step is branch-free.
//
// Elements keep the radix-2^51 limbs of the portable code, but the 52-bit
// multipliers take limbs up to 2^52 - 1, so one carry step that runs on all
// limbs at once (each limb keeps its low 51 bits and receives the carry of the
// limb below) is enough between operations: its results are below
// 2^51 + 2^15. The high half of a 52-bit product has weight 2^52 = 2 * 2^51
// relative to its column, so it is doubled before it is added; columns of
// weight 2^255 and above come back multiplied by 19. Loops over limbs are
// unrolled explicitly so that the vectors stay in registers.
#include "ecc/curve25519_ifma.h"

#include <immintrin.h>

#include "util/cpu.h"
#include "util/emem.h"

namespace velt::ecc::safe {

bool x25519_ifma_usable() {
    return cpu::has(cpu::kAvx512f | cpu::kAvx512vl | cpu::kAvx512ifma);
}

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,avx512f,avx512vl,avx512ifma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512vl,avx512ifma")
#endif

namespace {

struct V5 {
    __m256i l[5];
};

inline __m256i set1(uint64_t x) {
    return _mm256_set1_epi64x(int64_t(x));
}

// 19 x for lanes below 2^59.
inline __m256i times19(__m256i x) {
    return _mm256_add_epi64(_mm256_add_epi64(_mm256_slli_epi64(x, 4), _mm256_slli_epi64(x, 1)), x);
}

// One carry step on all limbs at once: limbs below 2^60 become limbs below
// 2^51 + 19 * 2^9 (below 2^51 + 2^15 for inputs below 2^62 / 19).
inline void carry(V5& r, const __m256i c[5]) {
    const __m256i m51 = set1(kMask51);
    __m256i hi[5];
#pragma GCC unroll 10
    for (int i = 0; i < 5; ++i) hi[i] = _mm256_srli_epi64(c[i], 51);
    r.l[0] = _mm256_add_epi64(_mm256_and_si256(c[0], m51), times19(hi[4]));
#pragma GCC unroll 10
    for (int i = 1; i < 5; ++i) r.l[i] = _mm256_add_epi64(_mm256_and_si256(c[i], m51), hi[i - 1]);
}

// Four products; inputs limbs below 2^52, outputs below 2^51 + 2^15.
inline void mul(V5& r, const V5& a, const V5& b) {
    __m256i lo[10], hi[10];
#pragma GCC unroll 10
    for (int k = 0; k < 10; ++k) lo[k] = hi[k] = _mm256_setzero_si256();
#pragma GCC unroll 10
    for (int i = 0; i < 5; ++i)
#pragma GCC unroll 10
        for (int j = 0; j < 5; ++j) {
            lo[i + j] = _mm256_madd52lo_epu64(lo[i + j], a.l[i], b.l[j]);
            hi[i + j + 1] = _mm256_madd52hi_epu64(hi[i + j + 1], a.l[i], b.l[j]);
        }
    // Column k: lo[k] + 2 hi[k], below 15 * 2^52; columns 5..9 fold as 19.
    __m256i c[5];
#pragma GCC unroll 10
    for (int k = 0; k < 5; ++k) {
        __m256i low = _mm256_add_epi64(lo[k], _mm256_slli_epi64(hi[k], 1));
        __m256i high = _mm256_add_epi64(lo[k + 5], _mm256_slli_epi64(hi[k + 5], 1));
        c[k] = _mm256_add_epi64(low, times19(high));
    }
    carry(r, c);
}

// a + b and a - b + 2p (limbs of 2p: 2^52 - 38, then 2^52 - 2), carried:
// inputs below 2^51 + 2^15, outputs below 2^51 + 2^15.
inline void add(V5& r, const V5& a, const V5& b) {
    __m256i c[5];
#pragma GCC unroll 10
    for (int i = 0; i < 5; ++i) c[i] = _mm256_add_epi64(a.l[i], b.l[i]);
    carry(r, c);
}
inline void sub(V5& r, const V5& a, const V5& b) {
    __m256i c[5];
#pragma GCC unroll 10
    for (int i = 0; i < 5; ++i) {
        const uint64_t k2p = i == 0 ? (uint64_t(1) << 52) - 38 : (uint64_t(1) << 52) - 2;
        c[i] = _mm256_sub_epi64(_mm256_add_epi64(a.l[i], set1(k2p)), b.l[i]);
    }
    carry(r, c);
}

template <int kImm>
inline void permute(V5& r, const V5& a) {
#pragma GCC unroll 10
    for (int i = 0; i < 5; ++i) r.l[i] = _mm256_permute4x64_epi64(a.l[i], kImm);
}

// Lanes of b where the 32-bit blend mask kImm is set, else lanes of a.
template <int kImm>
inline void blend(V5& r, const V5& a, const V5& b) {
#pragma GCC unroll 10
    for (int i = 0; i < 5; ++i) r.l[i] = _mm256_blend_epi32(a.l[i], b.l[i], kImm);
}

// 32-bit blend masks selecting 64-bit lanes.
constexpr int kLane1 = 0x0C, kLane3 = 0xC0, kLanes13 = 0xCC;

}  // namespace

void x25519_ladder_ifma(Fe25519& x2, Fe25519& z2, const uint8_t k[32], const uint8_t u[32]) {
    alignas(32) uint64_t lanes[5][4];
    Fe25519 ul;
    fe25519_frombytes(ul, u);
    V5 s, x1, a24, u4, ua, ub, m1, p1, p2, sm, df, l, r, m2, l3, r3, m3, t;
    // s = (x2, z2, x3, z3) = (1, 0, u, 1); x1 = u in every lane; a24 in lane 1.
#pragma GCC unroll 10
    for (int i = 0; i < 5; ++i) {
        s.l[i] = _mm256_set_epi64x(i == 0 ? 1 : 0, int64_t(ul.v[i]), 0, i == 0 ? 1 : 0);
        x1.l[i] = set1(ul.v[i]);
        a24.l[i] = _mm256_set_epi64x(0, 0, i == 0 ? 121665 : 0, 0);
    }
    const __m256i lane1 = _mm256_set_epi64x(0, 0, -1, 0);
    uint64_t swap = 0;
    for (int pos = 254; pos >= 0; --pos) {
        uint64_t bit = (k[pos >> 3] >> (pos & 7)) & 1;
        swap ^= bit;
        const __m256i m = set1(uint64_t(0) - swap);
        permute<0x4E>(t, s);  // (x3, z3, x2, z2)
#pragma GCC unroll 10
        for (int i = 0; i < 5; ++i)
            s.l[i] = _mm256_xor_si256(s.l[i], _mm256_and_si256(m, _mm256_xor_si256(s.l[i], t.l[i])));
        swap = bit;
        // (A, B, C, D) = (x2 + z2, x2 - z2, x3 + z3, x3 - z3)
        permute<0xA0>(p1, s);  // (x2, x2, x3, x3)
        permute<0xF5>(p2, s);  // (z2, z2, z3, z3)
        add(sm, p1, p2);
        sub(df, p1, p2);
        blend<kLanes13>(u4, sm, df);
        permute<0xB4>(ua, u4);  // (A, B, D, C)
        permute<0x44>(ub, u4);  // (A, B, A, B)
        mul(m1, ua, ub);        // (AA, BB, DA, CB)
        permute<0xA0>(p1, m1);  // (AA, AA, DA, DA)
        permute<0xF5>(p2, m1);  // (BB, BB, CB, CB)
        add(sm, p1, p2);
        sub(df, p1, p2);
        // l = (AA, E, DA + CB, DA - CB), r = (BB, a24, DA + CB, DA - CB)
        blend<kLane1 | kLane3>(l, p1, df);
        blend<0x30>(l, l, sm);
        blend<kLane3>(r, p2, df);
        blend<0x30>(r, r, sm);
        blend<kLane1>(r, r, a24);
        mul(m2, l, r);  // (x2', a24 E, x3', (DA - CB)^2)
        // l3 = (-, E, -, x1), r3 = (-, AA + a24 E, -, (DA - CB)^2)
        blend<kLane3>(l3, l, x1);
#pragma GCC unroll 10
        for (int i = 0; i < 5; ++i) t.l[i] = _mm256_and_si256(p1.l[i], lane1);
        add(r3, m2, t);
        mul(m3, l3, r3);  // (-, z2', -, z3')
        blend<kLanes13>(s, m2, m3);
    }
    const __m256i m = set1(uint64_t(0) - swap);
    permute<0x4E>(t, s);
#pragma GCC unroll 10
    for (int i = 0; i < 5; ++i) {
        s.l[i] = _mm256_xor_si256(s.l[i], _mm256_and_si256(m, _mm256_xor_si256(s.l[i], t.l[i])));
        _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[i]), s.l[i]);
    }
#pragma GCC unroll 10
    for (int i = 0; i < 5; ++i) {
        x2.v[i] = lanes[i][0];
        z2.v[i] = lanes[i][1];
    }
    V5* all[] = {&s, &x1, &u4, &ua, &ub, &m1, &p1, &p2, &sm, &df, &l, &r, &m2, &l3, &r3, &m3, &t};
    for (V5* v : all) ewipe(v, sizeof *v);
    ewipe(lanes, sizeof lanes);
    ewipe(&ul, sizeof ul);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

}  // namespace velt::ecc::safe
