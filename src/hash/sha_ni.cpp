// SHA-1 and SHA-256 compression with the SHA extensions (SHA-NI). The round
// instructions take the state as two vectors (ABEF/CDGH for SHA-256, ABCD
// and E for SHA-1); the message schedule runs four words at a time with
// sha*msg1/msg2, interleaved with the rounds. Each 4-round group is a
// template step so that every message register index is a constant.
#include <immintrin.h>

#include <utility>

#include "hash/blocks.h"

#define VELT_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

namespace velt::hash {
namespace {

alignas(16) const uint32_t kK256[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

// --- SHA-256 ---

struct S256 {
    __m128i s0, s1;  // ABEF, CDGH
    __m128i m[4];    // message words W[4i..4i+3] of the last four groups
};

// Group i (rounds 4i..4i+3). Schedule: W[i+1] is finished (msg2) from i = 3,
// and msg1 starts W[i+3] from i = 1.
template <int i>
VELT_SHA_TARGET inline void s256_group(S256& s, const uint8_t* p, __m128i mask) {
    if constexpr (i < 4) s.m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i)), mask);
    __m128i msg = _mm_add_epi32(s.m[i % 4], _mm_load_si128(reinterpret_cast<const __m128i*>(kK256 + 4 * i)));
    s.s1 = _mm_sha256rnds2_epu32(s.s1, s.s0, msg);
    if constexpr (i >= 3 && i <= 14) {
        __m128i t = _mm_alignr_epi8(s.m[i % 4], s.m[(i + 3) % 4], 4);
        s.m[(i + 1) % 4] = _mm_sha256msg2_epu32(_mm_add_epi32(s.m[(i + 1) % 4], t), s.m[i % 4]);
    }
    msg = _mm_shuffle_epi32(msg, 0x0E);
    s.s0 = _mm_sha256rnds2_epu32(s.s0, s.s1, msg);
    if constexpr (i >= 1 && i <= 12) s.m[(i + 3) % 4] = _mm_sha256msg1_epu32(s.m[(i + 3) % 4], s.m[i % 4]);
}

template <int... I>
VELT_SHA_TARGET inline void s256_block(S256& s, const uint8_t* p, __m128i mask, std::integer_sequence<int, I...>) {
    (s256_group<I>(s, p, mask), ...);
}

// --- SHA-1 ---

struct S1 {
    __m128i abcd, e0, e1;
    __m128i m[4];
};

// Group g (rounds 4g..4g+3); E alternates between e0 and e1. Schedule:
// msg2 finishes W[g+1] (3 <= g <= 18), msg1 starts W[g+3] (1 <= g <= 16),
// and the XOR adds W[g] into W[g+2] (2 <= g <= 17).
template <int g>
VELT_SHA_TARGET inline void s1_group(S1& s, const uint8_t* p, __m128i mask) {
    if constexpr (g < 4) s.m[g] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * g)), mask);
    __m128i& cur = (g % 2 == 0) ? s.e0 : s.e1;
    __m128i& other = (g % 2 == 0) ? s.e1 : s.e0;
    if constexpr (g == 0)
        cur = _mm_add_epi32(cur, s.m[0]);
    else
        cur = _mm_sha1nexte_epu32(cur, s.m[g % 4]);
    other = s.abcd;
    if constexpr (g >= 3 && g <= 18) s.m[(g + 1) % 4] = _mm_sha1msg2_epu32(s.m[(g + 1) % 4], s.m[g % 4]);
    s.abcd = _mm_sha1rnds4_epu32(s.abcd, cur, g / 5);
    if constexpr (g >= 1 && g <= 16) s.m[(g + 3) % 4] = _mm_sha1msg1_epu32(s.m[(g + 3) % 4], s.m[g % 4]);
    if constexpr (g >= 2 && g <= 17) s.m[(g + 2) % 4] = _mm_xor_si128(s.m[(g + 2) % 4], s.m[g % 4]);
}

template <int... G>
VELT_SHA_TARGET inline void s1_block(S1& s, const uint8_t* p, __m128i mask, std::integer_sequence<int, G...>) {
    (s1_group<G>(s, p, mask), ...);
}

}  // namespace

VELT_SHA_TARGET void sha256_blocks_shani(uint32_t h[8], const uint8_t* p, size_t blocks) {
    const __m128i mask = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    S256 s;
    __m128i t = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), 0xB1);  // CDAB
    s.s1 = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + 4)), 0x1B);   // EFGH
    s.s0 = _mm_alignr_epi8(t, s.s1, 8);                                                         // ABEF
    s.s1 = _mm_blend_epi16(s.s1, t, 0xF0);                                                      // CDGH
    while (blocks--) {
        __m128i save0 = s.s0, save1 = s.s1;
        s256_block(s, p, mask, std::make_integer_sequence<int, 16>{});
        s.s0 = _mm_add_epi32(s.s0, save0);
        s.s1 = _mm_add_epi32(s.s1, save1);
        p += 64;
    }
    t = _mm_shuffle_epi32(s.s0, 0x1B);     // FEBA
    s.s1 = _mm_shuffle_epi32(s.s1, 0xB1);  // DCHG
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h), _mm_blend_epi16(t, s.s1, 0xF0));     // DCBA
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h + 4), _mm_alignr_epi8(s.s1, t, 8));  // HGFE
}

VELT_SHA_TARGET void sha1_blocks_shani(uint32_t h[5], const uint8_t* p, size_t blocks) {
    const __m128i mask = _mm_set_epi64x(0x0001020304050607ULL, 0x08090a0b0c0d0e0fULL);
    S1 s;
    s.abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), 0x1B);
    s.e0 = _mm_set_epi32(int(h[4]), 0, 0, 0);
    s.e1 = _mm_setzero_si128();
    while (blocks--) {
        __m128i save_abcd = s.abcd, save_e = s.e0;
        s1_block(s, p, mask, std::make_integer_sequence<int, 20>{});
        s.e0 = _mm_sha1nexte_epu32(s.e0, save_e);
        s.abcd = _mm_add_epi32(s.abcd, save_abcd);
        p += 64;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h), _mm_shuffle_epi32(s.abcd, 0x1B));
    h[4] = uint32_t(_mm_extract_epi32(s.e0, 3));
}

}  // namespace velt::hash
