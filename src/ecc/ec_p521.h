// The field of secp521r1, p = 2^521 - 1, on nine 64-bit limbs. Elements are
// plain integers below p (no Montgomery form): a product is reduced by
// folding its bits above 2^521 onto the low bits, since 2^521 = 1 mod p.
// Branch-free like MontField, whose additions it shares. The product exists
// twice: portable C and MULX/ADX code chosen at run time. Internal to
// src/ecc.
#pragma once

#include "ecc/ec_field.h"

namespace velt::ecc {

// t (18 limbs) = a * b with MULX/ADX (ec_p521_adx.cpp); only when
// cpu::has(kBmi2 | kAdx).
void p521_mul_wide_adx(limb* t, const limb* a, const limb* b);

template <bool Adx>
class P521Field : public MontField<9> {
  public:
    static constexpr size_t N = 9;

    void init(const limb* mod) {
        MontField<9>::init(mod);
        std::memset(one, 0, sizeof one);
        one[0] = 1;
    }

    // r = x mod p for x = lo + hi * 2^576 with x < 2^1042 - 2^522 (any
    // product of two values below 2^521, or any x below 2^576):
    // s = (x mod 2^521) + (x >> 521) is at most 2^522 - 3, below 2p. With
    // t = s + 1: when t reaches 2^521, s >= p and s - p = t mod 2^521;
    // otherwise s < p already. Two carry chains and one masked select.
    VELT_EC_INLINE void fold(limb* r, const limb* lo, const limb* hi) const {
        limb s[N], t[N];
        unsigned char c = 0;
#pragma GCC unroll 18
        for (size_t i = 0; i < N; ++i) {
            // Bits 521 + 64 i .. of x: from lo[8] upward and hi.
            limb w0 = ((i == 0 ? lo[8] : hi[i - 1]) >> 9) | (hi[i] << 55);
            limb low = i < 8 ? lo[i] : lo[8] & 0x1ff;
            unsigned long long v;
            c = _addcarry_u64(c, low, w0, &v);
            s[i] = v;
        }
        c = 1;
#pragma GCC unroll 18
        for (size_t i = 0; i < N; ++i) {
            unsigned long long v;
            c = _addcarry_u64(c, s[i], 0, &v);
            t[i] = v;
        }
        limb ge = ct::mask_from_bit(t[8] >> 9);
        t[8] &= 0x1ff;
        fe_select<N>(r, ge, t, s);
    }

    void mul(limb* r, const limb* a, const limb* b) const {
        if constexpr (Adx) {
            limb x[2 * N];  // every limb written by the kernel
            p521_mul_wide_adx(x, a, b);
            fold(r, x, x + N);
            return;
        }
        limb x[2 * N] = {0};
#pragma GCC unroll 18
        for (size_t i = 0; i < N; ++i) {
            u128 c = 0;
#pragma GCC unroll 18
            for (size_t j = 0; j < N; ++j) {
                c = u128(a[i]) * b[j] + x[i + j] + (c >> 64);
                x[i + j] = limb(c);
            }
            x[i + N] = limb(c >> 64);
        }
        fold(r, x, x + N);
    }

    void sqr(limb* r, const limb* a) const {
        // Cross products once, doubled, then the squares on the diagonal.
        limb x[2 * N] = {0};
#pragma GCC unroll 18
        for (size_t i = 0; i < N; ++i) {
            u128 c = 0;
#pragma GCC unroll 18
            for (size_t j = i + 1; j < N; ++j) {
                c = u128(a[i]) * a[j] + x[i + j] + (c >> 64);
                x[i + j] = limb(c);
            }
            x[i + N] = limb(c >> 64);
        }
        limb carry = 0;
#pragma GCC unroll 18
        for (size_t i = 0; i < 2 * N; ++i) {
            limb v = x[i];
            x[i] = (v << 1) | carry;
            carry = v >> 63;
        }
        u128 c = 0;
#pragma GCC unroll 18
        for (size_t i = 0; i < N; ++i) {
            u128 sq = u128(a[i]) * a[i];
            c = u128(x[2 * i]) + limb(sq) + (c >> 64);
            x[2 * i] = limb(c);
            c = u128(x[2 * i + 1]) + limb(sq >> 64) + (c >> 64);
            x[2 * i + 1] = limb(c);
        }
        fold(r, x, x + N);
    }

    // Plain representation: entering reduces a (below 2^576), leaving copies.
    void to_mont(limb* r, const limb* a) const {
        limb zero[N] = {0};
        fold(r, a, zero);
    }
    void from_mont(limb* r, const limb* a) const {
        std::memcpy(r, a, N * sizeof(limb));
    }

    void pow(limb* r, const limb* a, const limb* e) const {
        fe_pow<N>(*this, r, a, e, mbits);
    }
    void inv(limb* r, const limb* a) const {
        pow(r, a, mm2);
    }
};

}  // namespace velt::ecc
