// GHASH with PCLMULQDQ: eight blocks per reduction using the powers H^1..H^8.
#include "cipher/ghash.h"

#include <immintrin.h>

// Everything above is compiled for the baseline; the code below for the
// instruction sets it uses.
#pragma GCC target("pclmul,sse4.1,ssse3")
#include "cipher/ghash_clmul.h"

namespace velt::ghash {

using namespace clmul;

void powers_pclmul(Key& key, int n) {
    if (key.npow == 0) {
        uint8_t hb[16];
        for (int i = 0; i < 8; ++i) {
            hb[i] = uint8_t(key.h_lo >> (8 * i));
            hb[8 + i] = uint8_t(key.h_hi >> (8 * i));
        }
        // hb is H byte-reversed (low bytes first).
        _mm_store_si128(reinterpret_cast<__m128i*>(key.pow[0]), _mm_loadu_si128(reinterpret_cast<const __m128i*>(hb)));
        key.npow = 1;
        for (auto& b : hb) b = 0;
    }
    const __m128i h = _mm_load_si128(reinterpret_cast<const __m128i*>(key.pow[0]));
    for (; key.npow < n; ++key.npow) {
        __m128i p = _mm_load_si128(reinterpret_cast<const __m128i*>(key.pow[key.npow - 1]));
        _mm_store_si128(reinterpret_cast<__m128i*>(key.pow[key.npow]), mul(p, h));
    }
}

void update_pclmul(const Key& key, uint8_t y[16], const uint8_t* data, size_t nblocks) {
    const __m128i bs = bswap_mask();
    __m128i acc = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y)), bs);
    while (nblocks >= 8) {
        __m128i x[8];
        for (int i = 0; i < 8; ++i)
            x[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), bs);
        acc = aggregate<8>(acc, x, key.pow);
        data += 128;
        nblocks -= 8;
    }
    while (nblocks--) {
        __m128i x = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)), bs);
        acc = aggregate<1>(acc, &x, key.pow);
        data += 16;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y), _mm_shuffle_epi8(acc, bs));
}

}  // namespace velt::ghash
