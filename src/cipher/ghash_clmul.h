// Carry-less multiplication helpers for GHASH, shared by the PCLMULQDQ GHASH
// and the AES-NI GCM bulk code. Include only from a file compiled for
// "pclmul,sse4.1,ssse3". Field elements are held byte-reversed (the bit
// order of SP 800-38D reflected), so that the product is the 256-bit
// carry-less product shifted left by one and reduced modulo
// x^128 + x^7 + x^2 + x + 1 (Gueron and Kounavis, "Intel Carry-Less
// Multiplication Instruction and its Usage for Computing the GCM Mode").
#pragma once

#include <immintrin.h>

namespace velt::ghash::clmul {

static inline __m128i bswap_mask() { return _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15); }

// The xor of a value's two halves, in its low half (Karatsuba's middle operand).
static inline __m128i karatsuba_key(__m128i h) { return _mm_xor_si128(h, _mm_srli_si128(h, 8)); }

// Accumulates the Karatsuba partial products of a*h: lo, hi, and the middle
// product of the halves' xors (hk = h.hi ^ h.lo in its low half).
static inline void mul_acc(__m128i a, __m128i h, __m128i hk, __m128i& lo, __m128i& mid, __m128i& hi) {
    lo = _mm_xor_si128(lo, _mm_clmulepi64_si128(a, h, 0x00));
    hi = _mm_xor_si128(hi, _mm_clmulepi64_si128(a, h, 0x11));
    __m128i ak = _mm_xor_si128(a, _mm_srli_si128(a, 8));
    mid = _mm_xor_si128(mid, _mm_clmulepi64_si128(ak, hk, 0x00));
}

// Folds the middle product (a.lo*b.hi ^ a.hi*b.lo) into the 256-bit product
// hi:lo, shifts it left by one and reduces.
static inline __m128i reduce_full(__m128i lo, __m128i mid, __m128i hi) {
    lo = _mm_xor_si128(lo, _mm_slli_si128(mid, 8));
    hi = _mm_xor_si128(hi, _mm_srli_si128(mid, 8));
    __m128i t7 = _mm_srli_epi32(lo, 31);
    __m128i t8 = _mm_srli_epi32(hi, 31);
    lo = _mm_slli_epi32(lo, 1);
    hi = _mm_slli_epi32(hi, 1);
    __m128i t9 = _mm_srli_si128(t7, 12);
    t8 = _mm_slli_si128(t8, 4);
    t7 = _mm_slli_si128(t7, 4);
    lo = _mm_or_si128(lo, t7);
    hi = _mm_or_si128(_mm_or_si128(hi, t8), t9);
    t7 = _mm_slli_epi32(lo, 31);
    t8 = _mm_slli_epi32(lo, 30);
    t9 = _mm_slli_epi32(lo, 25);
    t7 = _mm_xor_si128(_mm_xor_si128(t7, t8), t9);
    t8 = _mm_srli_si128(t7, 4);
    t7 = _mm_slli_si128(t7, 12);
    lo = _mm_xor_si128(lo, t7);
    __m128i t2 = _mm_srli_epi32(lo, 1);
    __m128i t4 = _mm_srli_epi32(lo, 2);
    __m128i t5 = _mm_srli_epi32(lo, 7);
    t2 = _mm_xor_si128(_mm_xor_si128(t2, t4), _mm_xor_si128(t5, t8));
    lo = _mm_xor_si128(lo, t2);
    return _mm_xor_si128(hi, lo);
}

// Completes Karatsuba (the middle product from the halves' xors), then reduces.
static inline __m128i reduce(__m128i lo, __m128i mid, __m128i hi) {
    return reduce_full(lo, _mm_xor_si128(mid, _mm_xor_si128(lo, hi)), hi);
}


static inline __m128i mul(__m128i a, __m128i h) {
    __m128i lo = _mm_setzero_si128(), mid = lo, hi = lo;
    mul_acc(a, h, karatsuba_key(h), lo, mid, hi);
    return reduce(lo, mid, hi);
}

// y = (y ^ x[0]) * H^n ^ x[1] * H^(n-1) ^ ... ^ x[n-1] * H for n blocks
// already byte-reversed; pow[i] = H^(i+1).
template <int N>
static inline __m128i aggregate(__m128i y, const __m128i* x, const uint8_t (*pow)[16]) {
    __m128i lo = _mm_setzero_si128(), mid = lo, hi = lo;
    for (int i = 0; i < N; ++i) {
        __m128i a = i == 0 ? _mm_xor_si128(y, x[0]) : x[i];
        __m128i h = _mm_load_si128(reinterpret_cast<const __m128i*>(pow[N - 1 - i]));
        mul_acc(a, h, karatsuba_key(h), lo, mid, hi);
    }
    return reduce(lo, mid, hi);
}

}  // namespace velt::ghash::clmul
