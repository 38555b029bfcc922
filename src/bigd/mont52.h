// Montgomery arithmetic in radix 2^52 on AVX-512 IFMA (52-bit multiply-add
// into 64-bit lanes), for the exponentiations of RSA-sized moduli. A value
// is held as digits of 52 bits in 64-bit lanes, eight to a vector, so one
// instruction multiplies eight digits; the product is an "almost
// Montgomery" product (a * b / R mod m, left below 2m, R = 2^(52 * digits)
// chosen above 4m) with no final subtraction, so the exponentiation needs
// one reduction at its very end. Internal to src/bigd and its callers.
//
// Everything here runs in time independent of the operands' values; the
// constant-time exponentiation also fetches table entries by reading every
// entry. Callers check usable() first: without the instructions (or with
// them disabled through util/cpu.h) they use the 64-bit Mont code.
#pragma once

#include <cstddef>
#include <memory>

#include "bigd/limbs.h"

namespace velt::bigd {

class Mont52 {
  public:
    // Whether the instructions are present and enabled, and a modulus of
    // `limbs` 64-bit limbs is within the supported size (up to 4096 bits).
    static bool usable(size_t limbs);
    // Whether the processor has the instructions (enabled or not) and the
    // size is supported: a context may be built now and used whenever
    // usable() holds (for contexts kept across operations).
    static bool supported(size_t limbs);

    // The same modulus as ctx (odd, already set up there: R^2 mod m is
    // derived from ctx's without division and without branches on m).
    explicit Mont52(Mont& ctx);
    // A public modulus (odd, m[nl - 1] != 0): R^2 mod m by one division.
    Mont52(const limb* m, size_t nl);
    ~Mont52();
    Mont52(const Mont52&) = delete;
    Mont52& operator=(const Mont52&) = delete;

    size_t size() const { return nl_; }  // 64-bit limbs of m and of every operand

    // r = a * b mod m (a, b < m; every array size() limbs; r may alias).
    void mul_mod(limb* r, const limb* a, const limb* b);
    // y = x^e mod m for x < m: variable time in e (public exponents).
    void exp_vartime(limb* y, const limb* x, const limb* e, size_t ne);
    // y = x^e mod m for x < m with fixed windows over all 64 * ne bits of e
    // and full table scans: time independent of e's and x's values.
    void exp_consttime(limb* y, const limb* x, const limb* e, size_t ne);
    // Two constant-time exponentiations at once, their products
    // interleaved so the processor overlaps them: for the two halves of a
    // CRT private operation. Falls back to one after the other when the
    // moduli differ in digit count or the exponents in limb count.
    static void exp_consttime_x2(Mont52& c1, limb* y1, const limb* x1, const limb* e1, size_t ne1, Mont52& c2,
                                 limb* y2, const limb* x2, const limb* e2, size_t ne2);

    struct State;

  private:
    size_t nl_;
    std::unique_ptr<State> s_;
};

}  // namespace velt::bigd
