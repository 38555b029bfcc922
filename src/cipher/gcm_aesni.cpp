// AES-GCM bulk with AES-NI and PCLMULQDQ: eight counter blocks are encrypted
// while the previous eight ciphertext blocks (or, when decrypting, the
// current ones) are multiplied by H^8..H^1, so the AES rounds and the
// carry-less multiplies run side by side; one reduction per eight blocks.
#include "cipher/gcm.h"
#include "util/bytes.h"

#include <immintrin.h>

// Everything above is compiled for the baseline; the code below for the
// instruction sets it uses.
#pragma GCC target("aes,pclmul,sse4.1,ssse3")
#include "cipher/ghash_clmul.h"

namespace velt::gcm {

using namespace ghash::clmul;

namespace {

inline __m128i ctr_block(__m128i base, uint32_t c) { return _mm_insert_epi32(base, int(__builtin_bswap32(c)), 3); }

inline __m128i ld(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void st(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

}  // namespace

void ctr_ghash_aesni(const aes::Key& k, ghash::Key& hk, uint8_t y[16], uint8_t counter[16], const uint8_t* in,
                     uint8_t* out, size_t nblocks, bool encrypt) {
    const unsigned rounds = k.rounds;
    __m128i rk[15];
    for (unsigned r = 0; r <= rounds; ++r) rk[r] = ld(k.enc + 16 * r);
    const __m128i bs = bswap_mask();
    __m128i acc = _mm_shuffle_epi8(ld(y), bs);
    const __m128i base = ld(counter);
    uint32_t ctr = load_be32(counter + 12);

    // Ciphertext blocks (byte-reversed) waiting to be hashed.
    __m128i pend[8];
    bool have_pend = false;

    while (nblocks >= 8) {
        __m128i b[8];
        for (int i = 0; i < 8; ++i) b[i] = _mm_xor_si128(ctr_block(base, ctr + uint32_t(i)), rk[0]);
        ctr += 8;
        if (!encrypt) {
            for (int i = 0; i < 8; ++i) pend[i] = _mm_shuffle_epi8(ld(in + 16 * i), bs);
            have_pend = true;
        }
        __m128i lo = _mm_setzero_si128(), mid = lo, hi = lo;
        for (unsigned r = 1; r < rounds; ++r) {
            for (int i = 0; i < 8; ++i) b[i] = _mm_aesenc_si128(b[i], rk[r]);
            if (have_pend && r <= 8) {
                int i = int(r) - 1;
                __m128i a = i == 0 ? _mm_xor_si128(acc, pend[0]) : pend[i];
                __m128i h = _mm_load_si128(reinterpret_cast<const __m128i*>(hk.pow[7 - i]));
                mul_acc(a, h, karatsuba_key(h), lo, mid, hi);
            }
        }
        if (have_pend) acc = reduce(lo, mid, hi);
        for (int i = 0; i < 8; ++i) {
            __m128i c = _mm_xor_si128(_mm_aesenclast_si128(b[i], rk[rounds]), ld(in + 16 * i));
            st(out + 16 * i, c);
            if (encrypt) pend[i] = _mm_shuffle_epi8(c, bs);
        }
        have_pend = encrypt;
        in += 128;
        out += 128;
        nblocks -= 8;
    }
    if (encrypt && have_pend) acc = aggregate<8>(acc, pend, hk.pow);
    while (nblocks--) {
        __m128i b = _mm_xor_si128(ctr_block(base, ctr++), rk[0]);
        for (unsigned r = 1; r < rounds; ++r) b = _mm_aesenc_si128(b, rk[r]);
        __m128i x = ld(in);
        __m128i c = _mm_xor_si128(_mm_aesenclast_si128(b, rk[rounds]), x);
        st(out, c);
        __m128i h = _mm_shuffle_epi8(encrypt ? c : x, bs);
        acc = aggregate<1>(acc, &h, hk.pow);
        in += 16;
        out += 16;
    }
    st(y, _mm_shuffle_epi8(acc, bs));
    store_be32(counter + 12, ctr);
    for (auto& r : rk) r = _mm_setzero_si128();
}

}  // namespace velt::gcm
