// SHA-512 compression for processors with AVX2 and BMI2: the message
// schedule runs two words at a time in vector registers (VEX-encoded),
// sixteen words ahead of the rounds, and stores W[t] + K[t]; the rounds run
// in scalar registers with rorx and andn. Each group of eight rounds is
// followed by eight words of schedule so that vector and scalar work overlap.
#include <immintrin.h>

#include "hash/blocks.h"

#define VELT_AVX2_TARGET __attribute__((target("avx2,bmi2")))

namespace velt::hash {
namespace {

// Rotations of each 64-bit lane (AVX2 has shifts only).
#define ROR64V(x, n) _mm_or_si128(_mm_srli_epi64(x, n), _mm_slli_epi64(x, 64 - (n)))

VELT_AVX2_TARGET inline __m128i sigma0(__m128i x) {
    return _mm_xor_si128(_mm_xor_si128(ROR64V(x, 1), ROR64V(x, 8)), _mm_srli_epi64(x, 7));
}
VELT_AVX2_TARGET inline __m128i sigma1(__m128i x) {
    return _mm_xor_si128(_mm_xor_si128(ROR64V(x, 19), ROR64V(x, 61)), _mm_srli_epi64(x, 6));
}

// Given x[0..7] = W[t-16..t-1] in pairs, returns W[t], W[t+1]. Two words per
// step keep the dependency chain short: the step needs only W[t-2], W[t-1]
// (x[7]) from the step before, through one sigma1.
VELT_AVX2_TARGET inline __m128i schedule(const __m128i* x) {
    __m128i w15 = _mm_alignr_epi8(x[1], x[0], 8);  // W[t-15], W[t-14]
    __m128i w7 = _mm_alignr_epi8(x[5], x[4], 8);   // W[t-7], W[t-6]
    return _mm_add_epi64(_mm_add_epi64(x[0], sigma0(w15)), _mm_add_epi64(w7, sigma1(x[7])));
}

// One round in assembly, so that each step is the single instruction meant:
// Ch(e,f,g) = (e & f) + (~e & g) (disjoint halves, added with lea), Maj(a,b,c)
// = ((a ^ b) & (b ^ c)) ^ b with b ^ c carried from the previous round (x3),
// and Sigma0(a) carried in s0 and added to the new a at the start of the
// next round, off the path from a to d. f is kept in fcopy (a copy of the
// previous e). x2/x3 swap roles every round.
#define AROUND(A_, B_, C_, D_, E_, F_, G_, H_, X2_, X3_, i)                                        \
    __asm__("add %[wk], %[h]\n\t"                                                      \
            "and %[e], %[fc]\n\t"                                                      \
            "rorx $41, %[e], %[t0]\n\t"                                                \
            "rorx $18, %[e], %[x2]\n\t"                                                \
            "lea (%[a],%[s0]), %[a]\n\t"                                               \
            "lea (%[h],%[fc]), %[h]\n\t"                                               \
            "andn %[g], %[e], %[fc]\n\t"                                               \
            "xor %[x2], %[t0]\n\t"                                                     \
            "rorx $14, %[e], %[s0]\n\t"                                                \
            "lea (%[h],%[fc]), %[h]\n\t"                                               \
            "xor %[s0], %[t0]\n\t"                                                     \
            "mov %[a], %[x2]\n\t"                                                      \
            "rorx $39, %[a], %[fc]\n\t"                                                \
            "lea (%[h],%[t0]), %[h]\n\t"                                               \
            "xor %[b], %[x2]\n\t"                                                      \
            "rorx $34, %[a], %[s0]\n\t"                                                \
            "rorx $28, %[a], %[t0]\n\t"                                                \
            "lea (%[d],%[h]), %[d]\n\t"                                                \
            "and %[x2], %[x3]\n\t"                                                     \
            "xor %[fc], %[s0]\n\t"                                                     \
            "xor %[b], %[x3]\n\t"                                                      \
            "xor %[t0], %[s0]\n\t"                                                     \
            "lea (%[h],%[x3]), %[h]\n\t"                                               \
            "mov %[e], %[fc]"                                                            \
            : [a] "+r"(A_), [d] "+r"(D_), [h] "+r"(H_), [x2] "=&r"(X2_), [x3] "+r"(X3_),      \
              [fc] "+r"(fcopy), [s0] "+r"(s0), [t0] "=&r"(t0)                            \
            : [b] "r"(B_), [e] "r"(E_), [g] "r"(G_), [wk] "m"(wk[i])                     \
            : "cc")

#define ROUND8(base)                                      \
    AROUND(a, b, c, d, e, f, g, h, u, v, (base) + 0);     \
    AROUND(h, a, b, c, d, e, f, g, v, u, (base) + 1);     \
    AROUND(g, h, a, b, c, d, e, f, u, v, (base) + 2);     \
    AROUND(f, g, h, a, b, c, d, e, v, u, (base) + 3);     \
    AROUND(e, f, g, h, a, b, c, d, u, v, (base) + 4);     \
    AROUND(d, e, f, g, h, a, b, c, v, u, (base) + 5);     \
    AROUND(c, d, e, f, g, h, a, b, u, v, (base) + 6);     \
    AROUND(b, c, d, e, f, g, h, a, v, u, (base) + 7)

// W[0..15] of a block into x and W + K into wk[0..15]. For every block after
// the first this runs during the last rounds of the block before, whose
// wk[0..15] and x are no longer needed.
VELT_AVX2_TARGET inline void load_block(__m128i x[8], uint64_t* wk, const uint8_t* q, __m128i bswap) {
    for (int i = 0; i < 8; i++) {
        x[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16 * i)), bswap);
        _mm_store_si128(reinterpret_cast<__m128i*>(wk + 2 * i),
                        _mm_add_epi64(x[i], _mm_load_si128(reinterpret_cast<const __m128i*>(kSha512K + 2 * i))));
    }
}

}  // namespace

VELT_AVX2_TARGET void sha512_blocks_avx2(uint64_t st[8], const uint8_t* p, size_t blocks) {
    const __m128i bswap = _mm_set_epi64x(0x08090a0b0c0d0e0fLL, 0x0001020304050607LL);
    alignas(16) uint64_t wk[80];
    __m128i x[8];
    if (blocks) load_block(x, wk, p, bswap);
    while (blocks--) {
        uint64_t a = st[0], b = st[1], c = st[2], d = st[3], e = st[4], f = st[5], g = st[6], h = st[7];
        uint64_t u, v = b ^ c, fcopy = f, s0 = 0, t0;
        // Rounds 0..63 in groups of eight, each followed by the schedule of
        // eight words sixteen rounds ahead; then rounds 64..79.
#pragma GCC unroll 8
        for (int t = 0; t < 64; t += 8) {  // unrolled: every wk index is a constant offset
            ROUND8(t);
            for (int j = 0; j < 4; j++) {
                __m128i n = schedule(x);
                for (int i = 0; i < 7; i++) x[i] = x[i + 1];
                x[7] = n;
                _mm_store_si128(reinterpret_cast<__m128i*>(wk + t + 16 + 2 * j),
                                _mm_add_epi64(n, _mm_load_si128(reinterpret_cast<const __m128i*>(kSha512K + t + 16 +
                                                                                                  2 * j))));
            }
        }
        ROUND8(64);
        if (blocks) load_block(x, wk, p + 128, bswap);
        ROUND8(72);
        a += s0;  // the last round's Sigma0
        (void)c;
        (void)f;
        (void)t0;
        (void)u;
        st[0] += a;
        st[1] += b;
        st[2] += c;
        st[3] += d;
        st[4] += e;
        st[5] += f;
        st[6] += g;
        st[7] += h;
        p += 128;
    }
}

}  // namespace velt::hash
