// SHA-512 compression for processors with AVX2 and BMI2: the message
// schedule runs four words at a time in ymm registers, sixteen words ahead of
// the rounds, and stores W[t] + K[t]; the rounds run in scalar registers with
// rorx rotations. Each group of four rounds is followed by one schedule step
// so that the vector and scalar work overlap.
#include <immintrin.h>

#include "hash/blocks.h"

#define VELT_AVX2_TARGET __attribute__((target("avx2,bmi2")))

namespace velt::hash {
namespace {

// Rotations of each 64-bit lane (AVX2 has shifts only).
#define ROR64V(x, n) _mm256_or_si256(_mm256_srli_epi64(x, n), _mm256_slli_epi64(x, 64 - (n)))

VELT_AVX2_TARGET inline __m256i sigma0(__m256i x) {
    return _mm256_xor_si256(_mm256_xor_si256(ROR64V(x, 1), ROR64V(x, 8)), _mm256_srli_epi64(x, 7));
}
VELT_AVX2_TARGET inline __m256i sigma1(__m256i x) {
    return _mm256_xor_si256(_mm256_xor_si256(ROR64V(x, 19), ROR64V(x, 61)), _mm256_srli_epi64(x, 6));
}

// Given x0..x3 = W[t-16..t-1] in four vectors, returns W[t..t+3].
VELT_AVX2_TARGET inline __m256i schedule(__m256i x0, __m256i x1, __m256i x2, __m256i x3) {
    __m256i w15 = _mm256_permute4x64_epi64(_mm256_blend_epi32(x0, x1, 0x03), 0x39);  // W[t-15..t-12]
    __m256i w7 = _mm256_permute4x64_epi64(_mm256_blend_epi32(x2, x3, 0x03), 0x39);   // W[t-7..t-4]
    __m256i t = _mm256_add_epi64(_mm256_add_epi64(x0, sigma0(w15)), w7);
    // Lanes 0, 1 use W[t-2], W[t-1] (lanes 2, 3 of x3); lanes 2, 3 use the
    // fresh W[t], W[t+1].
    __m256i lo = _mm256_permute4x64_epi64(x3, 0x0E);  // W[t-2], W[t-1] in lanes 0, 1
    t = _mm256_add_epi64(t, _mm256_blend_epi32(sigma1(lo), _mm256_setzero_si256(), 0xF0));
    __m256i hi = _mm256_permute4x64_epi64(t, 0x40);  // W[t], W[t+1] in lanes 2, 3
    t = _mm256_add_epi64(t, _mm256_blend_epi32(_mm256_setzero_si256(), sigma1(hi), 0xF0));
    return t;
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
            : [b] "r"(B_), [e] "r"(E_), [g] "r"(G_), [wk] "m"(wk[i]))

#define ROUND8(base)                                      \
    AROUND(a, b, c, d, e, f, g, h, u, v, (base) + 0);     \
    AROUND(h, a, b, c, d, e, f, g, v, u, (base) + 1);     \
    AROUND(g, h, a, b, c, d, e, f, u, v, (base) + 2);     \
    AROUND(f, g, h, a, b, c, d, e, v, u, (base) + 3);     \
    AROUND(e, f, g, h, a, b, c, d, u, v, (base) + 4);     \
    AROUND(d, e, f, g, h, a, b, c, v, u, (base) + 5);     \
    AROUND(c, d, e, f, g, h, a, b, u, v, (base) + 6);     \
    AROUND(b, c, d, e, f, g, h, a, v, u, (base) + 7)

}  // namespace

VELT_AVX2_TARGET void sha512_blocks_avx2(uint64_t st[8], const uint8_t* p, size_t blocks) {
    const __m256i bswap = _mm256_set_epi64x(0x08090a0b0c0d0e0fLL, 0x0001020304050607LL, 0x08090a0b0c0d0e0fLL,
                                            0x0001020304050607LL);
    alignas(32) uint64_t wk[80];
    while (blocks--) {
        __m256i x[4];
        for (int i = 0; i < 4; i++) {
            x[i] = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * i)), bswap);
            _mm256_store_si256(reinterpret_cast<__m256i*>(wk + 4 * i),
                               _mm256_add_epi64(x[i], _mm256_load_si256(reinterpret_cast<const __m256i*>(kSha512K + 4 * i))));
        }
        uint64_t a = st[0], b = st[1], c = st[2], d = st[3], e = st[4], f = st[5], g = st[6], h = st[7];
        uint64_t u, v = b ^ c, fcopy = f, s0 = 0, t0;
        // Rounds 0..63 in groups of eight, each followed by the schedule of
        // eight words sixteen rounds ahead; then rounds 64..79.
#pragma GCC unroll 8
        for (int t = 0; t < 64; t += 8) {  // unrolled: every wk index is a constant offset
            ROUND8(t);
            for (int j = 0; j < 2; j++) {
                __m256i n = schedule(x[0], x[1], x[2], x[3]);
                x[0] = x[1], x[1] = x[2], x[2] = x[3], x[3] = n;
                _mm256_store_si256(reinterpret_cast<__m256i*>(wk + t + 16 + 4 * j),
                                   _mm256_add_epi64(n, _mm256_load_si256(reinterpret_cast<const __m256i*>(
                                                           kSha512K + t + 16 + 4 * j))));
            }
        }
        ROUND8(64);
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
    _mm256_zeroupper();
}

}  // namespace velt::hash
