// The field of secp384r1 in Montgomery form with R = 2^384: the generic
// Montgomery arithmetic of MontField<6>, with the product computed in full
// by MULX/ADX code (ec_p384_adx.cpp) where the processor has it and then
// reduced word by word (separated operand scanning). Branch-free like
// MontField. Internal to src/ecc.
#pragma once

#include "ecc/ec_field.h"

namespace velt::ecc {

// t (12 limbs) = a * b with MULX/ADX; only when cpu::has(kBmi2 | kAdx).
void p384_mul_wide_adx(limb* t, const limb* a, const limb* b);

template <bool Adx>
class P384Field : public MontField<6> {
  public:
    static constexpr size_t N = 6;

    void mul(limb* r, const limb* a, const limb* b) const {
        if constexpr (Adx) {
            limb t[2 * N];
            p384_mul_wide_adx(t, a, b);
            redc(r, t);
        } else {
            MontField<6>::mul(r, a, b);
        }
    }
    void sqr(limb* r, const limb* a) const { mul(r, a, a); }
    void to_mont(limb* r, const limb* a) const { mul(r, a, rr); }
    void from_mont(limb* r, const limb* a) const {
        limb unit[N] = {1};
        mul(r, a, unit);
    }
    void pow(limb* r, const limb* a, const limb* e) const { fe_pow<N>(*this, r, a, e, mbits); }
    void inv(limb* r, const limb* a) const { pow(r, a, mm2); }

  private:
    // r = t / R mod m for t < m R (12 limbs): each step adds q m 2^(64 i)
    // with q = t_i k0, clearing limb i; the step's top carry joins the next
    // step's top limb.
    void redc(limb* r, limb* t) const {
        limb top = 0;
        for (size_t i = 0; i < N; ++i) {
            limb q = t[i] * k0;
            u128 c = 0;
#pragma GCC unroll 8
            for (size_t j = 0; j < N; ++j) {
                c = u128(q) * m[j] + t[i + j] + limb(c >> 64);
                t[i + j] = limb(c);
            }
            c = u128(t[i + N]) + limb(c >> 64) + top;
            t[i + N] = limb(c);
            top = limb(c >> 64);
        }
        // t[N..2N) + top 2^(64 N) < 2m: subtract m unless that borrows past top.
        limb s[N];
        limb borrow = sub_raw(s, t + N, m);
        limb keep = ct::mask_from_bit(borrow & (top ^ 1));
        fe_select<N>(r, keep, t + N, s);
    }
};

}  // namespace velt::ecc
