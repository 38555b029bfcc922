// AES-GCM bulk with VAES and VPCLMULQDQ on 512-bit registers: four blocks per
// register, sixteen per step. The GHASH of sixteen ciphertext blocks is
// formed as unreduced products with H^16..H^1 lane by lane, folded to one
// 128-bit value and reduced once.
#include "cipher/gcm.h"
#include "util/bytes.h"

#include <immintrin.h>

// GCC 12 reports the deliberately undefined source operand inside the
// AVX-512 intrinsics as "may be used uninitialized".
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"

// Everything above is compiled for the baseline; the code below for the
// instruction sets it uses.
#pragma GCC target("aes,pclmul,sse4.1,ssse3,avx2,avx512f,avx512bw,avx512vl,vaes,vpclmulqdq")
#include "cipher/ghash_clmul.h"

namespace velt::gcm {

using namespace ghash::clmul;

namespace {

inline __m128i fold4(__m512i v) {
    __m256i y = _mm256_xor_si256(_mm512_castsi512_si256(v), _mm512_extracti64x4_epi64(v, 1));
    return _mm_xor_si128(_mm256_castsi256_si128(y), _mm256_extracti128_si256(y, 1));
}

inline __m512i pow_lanes(ghash::Key& hk, int a, int b, int c, int d) {
    __m512i v = _mm512_castsi128_si512(_mm_load_si128(reinterpret_cast<const __m128i*>(hk.pow[a])));
    v = _mm512_inserti32x4(v, _mm_load_si128(reinterpret_cast<const __m128i*>(hk.pow[b])), 1);
    v = _mm512_inserti32x4(v, _mm_load_si128(reinterpret_cast<const __m128i*>(hk.pow[c])), 2);
    return _mm512_inserti32x4(v, _mm_load_si128(reinterpret_cast<const __m128i*>(hk.pow[d])), 3);
}

inline void mul4(__m512i d, __m512i p, __m512i& lo, __m512i& mid, __m512i& hi) {
    lo = _mm512_xor_si512(lo, _mm512_clmulepi64_epi128(d, p, 0x00));
    hi = _mm512_xor_si512(hi, _mm512_clmulepi64_epi128(d, p, 0x11));
    mid = _mm512_ternarylogic_epi64(mid, _mm512_clmulepi64_epi128(d, p, 0x01), _mm512_clmulepi64_epi128(d, p, 0x10),
                                    0x96);
}

}  // namespace

void ctr_ghash_vaes512(const aes::Key& k, ghash::Key& hk, uint8_t y[16], uint8_t counter[16],
                       const uint8_t* in, uint8_t* out, size_t nblocks, bool encrypt) {
    const unsigned rounds = k.rounds;
    __m512i rk[15];
    for (unsigned r = 0; r <= rounds; ++r)
        rk[r] = _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(k.enc + 16 * r)));
    // Register q, lane j holds block 4q+j, to be multiplied by H^(16-4q-j).
    const __m512i pw[4] = {pow_lanes(hk, 15, 14, 13, 12), pow_lanes(hk, 11, 10, 9, 8), pow_lanes(hk, 7, 6, 5, 4),
                           pow_lanes(hk, 3, 2, 1, 0)};
    const __m512i bs = _mm512_broadcast_i32x4(bswap_mask());
    const __m512i bs32 = _mm512_broadcast_i32x4(_mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3));
    const __m512i base = _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(counter)));
    const __m512i lane_off = _mm512_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
    __m128i acc = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y)), bswap_mask());
    uint32_t ctr = load_be32(counter + 12);

    __m512i pend[4];
    bool have_pend = false;
    while (nblocks >= 16) {
        __m512i b[4];
        for (int q = 0; q < 4; ++q) {
            __m512i c = _mm512_add_epi32(_mm512_set1_epi32(int(ctr + 4 * uint32_t(q))), lane_off);
            c = _mm512_mask_blend_epi32(0x8888, base, _mm512_shuffle_epi8(c, bs32));
            b[q] = _mm512_xor_si512(c, rk[0]);
        }
        ctr += 16;
        if (!encrypt) {
            for (int q = 0; q < 4; ++q) pend[q] = _mm512_shuffle_epi8(_mm512_loadu_si512(in + 64 * q), bs);
            have_pend = true;
        }
        __m512i lo = _mm512_setzero_si512(), mid = lo, hi = lo;
        if (have_pend) pend[0] = _mm512_xor_si512(pend[0], _mm512_zextsi128_si512(acc));
        for (unsigned r = 1; r < rounds; ++r) {
            for (int q = 0; q < 4; ++q) b[q] = _mm512_aesenc_epi128(b[q], rk[r]);
            if (have_pend && r <= 4) mul4(pend[r - 1], pw[r - 1], lo, mid, hi);
        }
        if (have_pend) acc = reduce_full(fold4(lo), fold4(mid), fold4(hi));
        for (int q = 0; q < 4; ++q) {
            __m512i c = _mm512_xor_si512(_mm512_aesenclast_epi128(b[q], rk[rounds]), _mm512_loadu_si512(in + 64 * q));
            _mm512_storeu_si512(out + 64 * q, c);
            if (encrypt) pend[q] = _mm512_shuffle_epi8(c, bs);
        }
        have_pend = encrypt;
        in += 256;
        out += 256;
        nblocks -= 16;
    }
    if (encrypt && have_pend) {
        __m512i lo = _mm512_setzero_si512(), mid = lo, hi = lo;
        pend[0] = _mm512_xor_si512(pend[0], _mm512_zextsi128_si512(acc));
        for (int q = 0; q < 4; ++q) mul4(pend[q], pw[q], lo, mid, hi);
        acc = reduce_full(fold4(lo), fold4(mid), fold4(hi));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y), _mm_shuffle_epi8(acc, bswap_mask()));
    store_be32(counter + 12, ctr);
    for (auto& r : rk) r = _mm512_setzero_si512();
}

}  // namespace velt::gcm
