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

    // r = x mod p for x = lo + hi * 2^576 below 2^1042 (lo and hi of nine
    // limbs each): (x mod 2^521) + (x >> 521), folded once more, then one
    // masked subtraction of p.
    VELT_EC_INLINE void fold(limb* r, const limb* lo, const limb* hi) const {
        limb s[N];
        u128 c = 0;
#pragma GCC unroll 18
        for (size_t i = 0; i < N; ++i) {
            // Bits 521 + 64 i .. of x: from lo[8] upward and hi.
            limb w0 = ((i == 0 ? lo[8] : hi[i - 1]) >> 9) | (hi[i] << 55);
            limb low = i < 8 ? lo[i] : lo[8] & 0x1ff;
            c = u128(low) + w0 + (c >> 64);
            s[i] = limb(c);
        }
        // s < 2^522: fold its bit 521 once more, then s < 2^521 + 1.
        limb top = s[8] >> 9;
        s[8] &= 0x1ff;
        c = u128(s[0]) + top;
        s[0] = limb(c);
#pragma GCC unroll 18
        for (size_t i = 1; i < N; ++i) {
            c = u128(s[i]) + (c >> 64);
            s[i] = limb(c);
        }
        // s <= p: s = p maps to 0.
        limb t[N];
        limb borrow = sub_raw(t, s, m);
        fe_select<N>(r, ct::mask_from_bit(borrow), s, t);
    }

    void mul(limb* r, const limb* a, const limb* b) const {
        limb x[2 * N] = {0};
        if constexpr (Adx) {
            p521_mul_wide_adx(x, a, b);
            fold(r, x, x + N);
            return;
        }
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
