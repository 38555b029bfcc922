// GHASH with PCLMULQDQ: eight blocks per reduction using the powers H^1..H^8.
#include "cipher/ghash.h"

#include <immintrin.h>

// Everything above is compiled for the baseline; the code below for the
// instruction sets it uses.
#pragma GCC target("pclmul,sse4.1,ssse3")
#include "cipher/ghash_clmul.h"

namespace velt::ghash {

using namespace clmul;

void init_pclmul(Key& key) {
    uint8_t hb[16];
    for (int i = 0; i < 8; ++i) {
        hb[i] = uint8_t(key.h_lo >> (8 * i));
        hb[8 + i] = uint8_t(key.h_hi >> (8 * i));
    }
    // hb is H byte-reversed already (low bytes first).
    __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hb));
    __m128i p = h;
    for (int i = 0; i < 16; ++i) {
        _mm_store_si128(reinterpret_cast<__m128i*>(key.pow[i]), p);
        _mm_store_si128(reinterpret_cast<__m128i*>(key.kar[i]), karatsuba_key(p));
        p = mul(p, h);
    }
    h = p = _mm_setzero_si128();
    for (auto& b : hb) b = 0;
}

void update_pclmul(const Key& key, uint8_t y[16], const uint8_t* data, size_t nblocks) {
    const __m128i bs = bswap_mask();
    __m128i acc = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y)), bs);
    while (nblocks >= 8) {
        __m128i x[8];
        for (int i = 0; i < 8; ++i)
            x[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), bs);
        acc = aggregate<8>(acc, x, key.pow, key.kar);
        data += 128;
        nblocks -= 8;
    }
    while (nblocks--) {
        __m128i x = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)), bs);
        acc = aggregate<1>(acc, &x, key.pow, key.kar);
        data += 16;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y), _mm_shuffle_epi8(acc, bs));
}

}  // namespace velt::ghash
