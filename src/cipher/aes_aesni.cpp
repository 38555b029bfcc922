// AES with the AES-NI instructions. Independent blocks (ECB, CTR, CBC and
// CFB decryption) go eight at a time so that the pipelined AESENC/AESDEC
// units stay busy; CBC encryption is serial by construction.
#pragma GCC target("aes,sse4.1,ssse3")

#include <immintrin.h>
#include <wmmintrin.h>

#include <cstring>

#include "cipher/aes.h"
#include "util/bytes.h"

namespace velt::aes::detail {
namespace {

inline __m128i load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// SubWord of a 32-bit word (bytes in memory order) through AESKEYGENASSIST,
// whose lowest result word is SubWord of the input's second word.
inline uint32_t sub_word(uint32_t w) {
    __m128i v = _mm_set_epi32(0, 0, int(w), 0);
    return uint32_t(_mm_cvtsi128_si32(_mm_aeskeygenassist_si128(v, 0)));
}

struct Sched {
    __m128i rk[15];
    unsigned nr;
    explicit Sched(const uint8_t* keys, unsigned rounds) : nr(rounds) {
        for (unsigned i = 0; i <= rounds; ++i) rk[i] = _mm_load_si128(reinterpret_cast<const __m128i*>(keys + 16 * i));
    }
    ~Sched() {
        for (auto& r : rk) r = _mm_setzero_si128();
        __asm__ __volatile__("" : : "m"(rk) : "memory");
    }
};

inline __m128i enc1(const Sched& s, __m128i b) {
    b = _mm_xor_si128(b, s.rk[0]);
    for (unsigned r = 1; r < s.nr; ++r) b = _mm_aesenc_si128(b, s.rk[r]);
    return _mm_aesenclast_si128(b, s.rk[s.nr]);
}

inline __m128i dec1(const Sched& s, __m128i b) {
    b = _mm_xor_si128(b, s.rk[0]);
    for (unsigned r = 1; r < s.nr; ++r) b = _mm_aesdec_si128(b, s.rk[r]);
    return _mm_aesdeclast_si128(b, s.rk[s.nr]);
}

inline void enc8(const Sched& s, __m128i b[8]) {
    for (int i = 0; i < 8; ++i) b[i] = _mm_xor_si128(b[i], s.rk[0]);
    for (unsigned r = 1; r < s.nr; ++r) {
        __m128i k = s.rk[r];
        for (int i = 0; i < 8; ++i) b[i] = _mm_aesenc_si128(b[i], k);
    }
    for (int i = 0; i < 8; ++i) b[i] = _mm_aesenclast_si128(b[i], s.rk[s.nr]);
}

inline void dec8(const Sched& s, __m128i b[8]) {
    for (int i = 0; i < 8; ++i) b[i] = _mm_xor_si128(b[i], s.rk[0]);
    for (unsigned r = 1; r < s.nr; ++r) {
        __m128i k = s.rk[r];
        for (int i = 0; i < 8; ++i) b[i] = _mm_aesdec_si128(b[i], k);
    }
    for (int i = 0; i < 8; ++i) b[i] = _mm_aesdeclast_si128(b[i], s.rk[s.nr]);
}

}  // namespace

// FIPS 197 5.2 key expansion with SubWord from AESKEYGENASSIST, then the
// decryption schedule of the equivalent inverse cipher (AESIMC on the middle
// round keys, in reverse order).
//
// 128 and 256-bit keys take the whole-register form of the same recurrence:
// w[i..i+3] = prefix-XOR of the previous four words, XOR the broadcast
// SubWord(RotWord(.)) ^ rcon (or SubWord alone) of the word before them.
namespace {

inline __m128i prefix_xor(__m128i a) {
    a = _mm_xor_si128(a, _mm_slli_si128(a, 4));
    a = _mm_xor_si128(a, _mm_slli_si128(a, 4));
    return _mm_xor_si128(a, _mm_slli_si128(a, 4));
}

template <int kRcon>
inline __m128i step_rot(__m128i prev, __m128i last) {
    __m128i t = _mm_shuffle_epi32(_mm_aeskeygenassist_si128(last, kRcon), 0xFF);
    return _mm_xor_si128(prefix_xor(prev), t);
}

inline __m128i step_sub(__m128i prev, __m128i last) {
    __m128i t = _mm_shuffle_epi32(_mm_aeskeygenassist_si128(last, 0), 0xAA);
    return _mm_xor_si128(prefix_xor(prev), t);
}

void expand128(uint8_t* rk, const uint8_t* key) {
    __m128i r[11];
    r[0] = load(key);
    r[1] = step_rot<0x01>(r[0], r[0]);
    r[2] = step_rot<0x02>(r[1], r[1]);
    r[3] = step_rot<0x04>(r[2], r[2]);
    r[4] = step_rot<0x08>(r[3], r[3]);
    r[5] = step_rot<0x10>(r[4], r[4]);
    r[6] = step_rot<0x20>(r[5], r[5]);
    r[7] = step_rot<0x40>(r[6], r[6]);
    r[8] = step_rot<0x80>(r[7], r[7]);
    r[9] = step_rot<0x1B>(r[8], r[8]);
    r[10] = step_rot<0x36>(r[9], r[9]);
    for (int i = 0; i < 11; ++i) store(rk + 16 * i, r[i]);
}

void expand256(uint8_t* rk, const uint8_t* key) {
    __m128i r[15];
    r[0] = load(key);
    r[1] = load(key + 16);
    r[2] = step_rot<0x01>(r[0], r[1]);
    r[3] = step_sub(r[1], r[2]);
    r[4] = step_rot<0x02>(r[2], r[3]);
    r[5] = step_sub(r[3], r[4]);
    r[6] = step_rot<0x04>(r[4], r[5]);
    r[7] = step_sub(r[5], r[6]);
    r[8] = step_rot<0x08>(r[6], r[7]);
    r[9] = step_sub(r[7], r[8]);
    r[10] = step_rot<0x10>(r[8], r[9]);
    r[11] = step_sub(r[9], r[10]);
    r[12] = step_rot<0x20>(r[10], r[11]);
    r[13] = step_sub(r[11], r[12]);
    r[14] = step_rot<0x40>(r[12], r[13]);
    for (int i = 0; i < 15; ++i) store(rk + 16 * i, r[i]);
}

}  // namespace

void ni_expand(Key& k, const uint8_t* key, size_t key_len) {
    const unsigned nk = unsigned(key_len / 4);
    const unsigned total = 4 * (k.rounds + 1);
    memcpy(k.enc, key, key_len);
    uint32_t rcon = 1;
    if (key_len == 16) {
        expand128(k.enc, key);
    } else if (key_len == 32) {
        expand256(k.enc, key);
    }
    for (unsigned i = (key_len == 24 ? nk : total); i < total; ++i) {
        uint32_t t = load_le32(k.enc + 4 * (i - 1));
        if (i % nk == 0) {
            t = sub_word(rotr32(t, 8)) ^ rcon;
            rcon = ((rcon << 1) ^ (0x1B & -(rcon >> 7))) & 0xFF;
        } else if (nk > 6 && i % nk == 4) {
            t = sub_word(t);
        }
        store_le32(k.enc + 4 * i, load_le32(k.enc + 4 * (i - nk)) ^ t);
    }
    const unsigned nr = k.rounds;
    memcpy(k.dec, k.enc + 16 * nr, 16);
    for (unsigned r = 1; r < nr; ++r) store(k.dec + 16 * r, _mm_aesimc_si128(load(k.enc + 16 * (nr - r))));
    memcpy(k.dec + 16 * nr, k.enc, 16);
}

void ni_encrypt_blocks(const Key& k, const uint8_t* in, uint8_t* out, size_t n) {
    Sched s(k.enc, k.rounds);
    __m128i b[8];
    for (; n >= 8; n -= 8, in += 128, out += 128) {
        for (int i = 0; i < 8; ++i) b[i] = load(in + 16 * i);
        enc8(s, b);
        for (int i = 0; i < 8; ++i) store(out + 16 * i, b[i]);
    }
    for (; n; --n, in += 16, out += 16) store(out, enc1(s, load(in)));
}

void ni_decrypt_blocks(const Key& k, const uint8_t* in, uint8_t* out, size_t n) {
    Sched s(k.dec, k.rounds);
    __m128i b[8];
    for (; n >= 8; n -= 8, in += 128, out += 128) {
        for (int i = 0; i < 8; ++i) b[i] = load(in + 16 * i);
        dec8(s, b);
        for (int i = 0; i < 8; ++i) store(out + 16 * i, b[i]);
    }
    for (; n; --n, in += 16, out += 16) store(out, dec1(s, load(in)));
}

void ni_cbc_encrypt(const Key& k, uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t n) {
    Sched s(k.enc, k.rounds);
    __m128i c = load(iv);
    for (; n; --n, in += 16, out += 16) {
        c = enc1(s, _mm_xor_si128(c, load(in)));
        store(out, c);
    }
    store(iv, c);
}

void ni_cbc_decrypt(const Key& k, uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t n) {
    Sched s(k.dec, k.rounds);
    __m128i prev = load(iv);
    __m128i b[8], c[8];
    for (; n >= 8; n -= 8, in += 128, out += 128) {
        for (int i = 0; i < 8; ++i) b[i] = c[i] = load(in + 16 * i);
        dec8(s, b);
        store(out, _mm_xor_si128(b[0], prev));
        for (int i = 1; i < 8; ++i) store(out + 16 * i, _mm_xor_si128(b[i], c[i - 1]));
        prev = c[7];
    }
    for (; n; --n, in += 16, out += 16) {
        __m128i ct = load(in);
        store(out, _mm_xor_si128(dec1(s, ct), prev));
        prev = ct;
    }
    store(iv, prev);
}

void ni_cfb_decrypt(const Key& k, uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t n) {
    Sched s(k.enc, k.rounds);
    __m128i prev = load(iv);
    __m128i b[8], c[8];
    for (; n >= 8; n -= 8, in += 128, out += 128) {
        for (int i = 0; i < 8; ++i) c[i] = load(in + 16 * i);
        b[0] = prev;
        for (int i = 1; i < 8; ++i) b[i] = c[i - 1];
        enc8(s, b);
        for (int i = 0; i < 8; ++i) store(out + 16 * i, _mm_xor_si128(b[i], c[i]));
        prev = c[7];
    }
    for (; n; --n, in += 16, out += 16) {
        __m128i ct = load(in);
        store(out, _mm_xor_si128(enc1(s, prev), ct));
        prev = ct;
    }
    store(iv, prev);
}

// The counter is kept as two host-order 64-bit halves and turned into
// big-endian blocks with one byte shuffle each.
void ni_ctr_blocks(const Key& k, uint8_t counter[16], const uint8_t* in, uint8_t* out, size_t n,
                   CtrWidth width) {
    Sched s(k.enc, k.rounds);
    const __m128i bswap = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    uint64_t hi = load_be64(counter), lo = load_be64(counter + 8);
    const bool full = width == CtrWidth::kFull128;
    auto next = [&]() -> __m128i {
        // The shuffle reverses all 16 bytes: the low half goes first.
        __m128i v = _mm_shuffle_epi8(_mm_set_epi64x(int64_t(hi), int64_t(lo)), bswap);
        if (full) {
            if (++lo == 0) ++hi;
        } else {
            lo = (lo & 0xFFFFFFFF00000000ULL) | uint32_t(lo + 1);
        }
        return v;
    };
    __m128i b[8];
    for (; n >= 8; n -= 8, in += 128, out += 128) {
        for (int i = 0; i < 8; ++i) b[i] = next();
        enc8(s, b);
        for (int i = 0; i < 8; ++i) store(out + 16 * i, _mm_xor_si128(b[i], load(in + 16 * i)));
    }
    for (; n; --n, in += 16, out += 16) store(out, _mm_xor_si128(enc1(s, next()), load(in)));
    store_be64(counter, hi);
    store_be64(counter + 8, lo);
}

}  // namespace velt::aes::detail
