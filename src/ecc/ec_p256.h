// The field of secp256r1, p = 2^256 - 2^224 + 2^192 + 2^96 - 1, in
// Montgomery form with R = 2^256. The special form makes the reduction
// cheap: -p^-1 = 1 mod 2^64, so each step's quotient is the low limb
// itself, and of p's limbs only the second and the fourth need a multiply
// (the first is 2^64 - 1, the third 0). Products and squares are computed
// in full first (a square needs 10 limb products instead of 16), then
// reduced. Branch-free like MontField, whose additions it shares. The
// product kernels exist twice: portable C, and MULX/ADX code in
// ec_p256_adx.cpp chosen at run time. Internal to src/ecc.
#pragma once

#include "ecc/ec_field.h"

namespace velt::ecc {

// 8-limb products (portable).
void p256_mul_wide(limb* t, const limb* a, const limb* b);
void p256_sqr_wide(limb* t, const limb* a);
// Montgomery reduction of an 8-limb t < p * 2^256 to r < p (portable).
void p256_redc(limb* r, limb* t);
// r = a * b / 2^256 mod p and r = a^2 / 2^256 mod p with MULX/ADX; only
// when cpu::has(kBmi2 | kAdx).
void p256_mul_adx(limb* r, const limb* a, const limb* b);
void p256_sqr_adx(limb* r, const limb* a);

template <bool Adx>
class P256Field : public MontField<4> {
  public:
    static constexpr size_t N = 4;

    void mul(limb* r, const limb* a, const limb* b) const {
        if constexpr (Adx) {
            p256_mul_adx(r, a, b);
        } else {
            limb t[8];
            p256_mul_wide(t, a, b);
            p256_redc(r, t);
        }
    }
    void sqr(limb* r, const limb* a) const {
        if constexpr (Adx) {
            p256_sqr_adx(r, a);
        } else {
            limb t[8];
            p256_sqr_wide(t, a);
            p256_redc(r, t);
        }
    }
    void to_mont(limb* r, const limb* a) const { mul(r, a, rr); }
    void from_mont(limb* r, const limb* a) const {
        limb unit[N] = {1};
        mul(r, a, unit);
    }
    void pow(limb* r, const limb* a, const limb* e) const { fe_pow<N>(*this, r, a, e, mbits); }
    void inv(limb* r, const limb* a) const { pow(r, a, mm2); }
};

}  // namespace velt::ecc
