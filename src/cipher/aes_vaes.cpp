// AES with VAES on 512-bit registers (four blocks per instruction, sixteen
// blocks per loop) for the independent-block loops: ECB, CTR and CBC
// decryption. Used for runs of at least 16 blocks on processors with VAES and
// AVX-512; the remainder goes to the AES-NI code.
#pragma GCC target("vaes,avx512f,avx512bw,aes,sse4.1,ssse3")
// GCC 12's AVX-512 headers start some intrinsics from _mm512_undefined, which
// its own uninitialised-value analysis then reports.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <immintrin.h>

#include "cipher/aes.h"
#include "util/bytes.h"

namespace velt::aes::detail {
namespace {

struct Sched512 {
    __m512i rk[15];
    unsigned nr;
    Sched512(const uint8_t* keys, unsigned rounds) : nr(rounds) {
        for (unsigned i = 0; i <= rounds; ++i)
            rk[i] = _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(keys + 16 * i)));
    }
    ~Sched512() {
        for (auto& r : rk) r = _mm512_setzero_si512();
        __asm__ __volatile__("" : : "m"(rk) : "memory");
    }
};

inline void enc4(const Sched512& s, __m512i b[4]) {
    for (int i = 0; i < 4; ++i) b[i] = _mm512_xor_si512(b[i], s.rk[0]);
    for (unsigned r = 1; r < s.nr; ++r)
        for (int i = 0; i < 4; ++i) b[i] = _mm512_aesenc_epi128(b[i], s.rk[r]);
    for (int i = 0; i < 4; ++i) b[i] = _mm512_aesenclast_epi128(b[i], s.rk[s.nr]);
}

inline void dec4(const Sched512& s, __m512i b[4]) {
    for (int i = 0; i < 4; ++i) b[i] = _mm512_xor_si512(b[i], s.rk[0]);
    for (unsigned r = 1; r < s.nr; ++r)
        for (int i = 0; i < 4; ++i) b[i] = _mm512_aesdec_epi128(b[i], s.rk[r]);
    for (int i = 0; i < 4; ++i) b[i] = _mm512_aesdeclast_epi128(b[i], s.rk[s.nr]);
}

inline __m512i load(const uint8_t* p) { return _mm512_loadu_si512(p); }
inline void store(uint8_t* p, __m512i v) { _mm512_storeu_si512(p, v); }

}  // namespace

// Each returns the number of blocks it processed (a multiple of 16).
size_t vaes_ecb(const Key& k, const uint8_t* in, uint8_t* out, size_t n, bool encrypt) {
    Sched512 s(encrypt ? k.enc : k.dec, k.rounds);
    size_t done = 0;
    __m512i b[4];
    for (; n - done >= 16; done += 16, in += 256, out += 256) {
        for (int i = 0; i < 4; ++i) b[i] = load(in + 64 * i);
        encrypt ? enc4(s, b) : dec4(s, b);
        for (int i = 0; i < 4; ++i) store(out + 64 * i, b[i]);
    }
    return done;
}

size_t vaes_cbc_decrypt(const Key& k, uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t n) {
    Sched512 s(k.dec, k.rounds);
    __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(iv));
    size_t done = 0;
    __m512i b[4], prev[4];
    for (; n - done >= 16; done += 16, in += 256, out += 256) {
        for (int i = 0; i < 4; ++i) b[i] = load(in + 64 * i);
        // The chaining blocks are the ciphertext shifted by one block.
        prev[0] = _mm512_alignr_epi64(b[0], _mm512_broadcast_i32x4(last), 6);
        for (int i = 1; i < 4; ++i) prev[i] = load(in + 64 * i - 16);
        last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 240));
        dec4(s, b);
        for (int i = 0; i < 4; ++i) store(out + 64 * i, _mm512_xor_si512(b[i], prev[i]));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(iv), last);
    return done;
}

size_t vaes_ctr(const Key& k, uint8_t counter[16], const uint8_t* in, uint8_t* out, size_t n, CtrWidth width) {
    Sched512 s(k.enc, k.rounds);
    const __m512i bswap = _mm512_broadcast_i32x4(_mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
    // Low-qword increments for the four lanes of register i: 4i .. 4i+3.
    const __m512i lane = _mm512_set_epi64(0, 3, 0, 2, 0, 1, 0, 0);
    const __m512i four = _mm512_set_epi64(0, 4, 0, 4, 0, 4, 0, 4);
    uint64_t hi = load_be64(counter), lo = load_be64(counter + 8);
    const bool full = width == CtrWidth::kFull128;
    size_t done = 0;
    __m512i b[4];
    for (; n - done >= 16; done += 16, in += 256, out += 256) {
        // Only batches in which the counter's low word cannot wrap go here.
        const bool wraps = full ? lo > ~uint64_t(0) - 16 : uint32_t(lo) > 0xFFFFFFFFu - 16;
        if (wraps) break;
        __m512i c = _mm512_add_epi64(_mm512_broadcast_i32x4(_mm_set_epi64x(int64_t(hi), int64_t(lo))), lane);
        for (int i = 0; i < 4; ++i) {
            b[i] = _mm512_shuffle_epi8(c, bswap);
            c = _mm512_add_epi64(c, four);
        }
        enc4(s, b);
        for (int i = 0; i < 4; ++i) store(out + 64 * i, _mm512_xor_si512(b[i], load(in + 64 * i)));
        lo += 16;
    }
    store_be64(counter, hi);
    store_be64(counter + 8, lo);
    return done;
}

}  // namespace velt::aes::detail
