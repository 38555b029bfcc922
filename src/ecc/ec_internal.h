// Per-curve arithmetic behind the door of src/ecc: one Group object per
// curve, built once, holding the Montgomery constants of the field and of
// the order, and the fixed-base table (built on first use). Internal to
// src/ecc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ecc/ecc.h"

namespace velt::ecc {

class Group {
  public:
    virtual ~Group() = default;
    // All numbers here are plain (not Montgomery) little-endian limbs of
    // the curve's nlimbs; points are the Jacobian EC_point of the door.
    virtual void mult(EC_point* R, const uint64_t* d, const EC_point& S) const = 0;
    virtual void mult_base(EC_point* R, const uint64_t* d) const = 0;
    virtual void mul2_vartime(EC_point* R, const uint64_t* u1, const uint64_t* u2,
                              const EC_point& Q) const = 0;
    // 1 when u1 G + u2 Q is finite and its x-coordinate reduced modulo n
    // equals r (r below n), else 0; variable time (public inputs).
    virtual int mul2_check_x(const uint64_t* u1, const uint64_t* u2, const EC_point& Q,
                             const uint64_t* r) const = 0;
    // The table of a validated public point for repeated verification, and
    // mul2_check_x through it (variable time).
    virtual std::vector<uint64_t> verify_table(const EC_point& Q) const = 0;
    virtual int mul2_check_x_table(const uint64_t* u1, const uint64_t* u2,
                                   const std::vector<uint64_t>& qtable, const uint64_t* r) const = 0;
    virtual void add(EC_point* R, const EC_point& P, const EC_point& Q) const = 0;
    virtual void normalize(EC_point* P) const = 0;
    virtual int on_curve(const EC_point& P) const = 0;  // P normalised, not infinity
    virtual int sqrt(uint64_t* r, const uint64_t* v) const = 0;
    // y^2 right-hand side x^3 + a x + b for x < p.
    virtual void rhs(uint64_t* r, const uint64_t* x) const = 0;
    virtual void scalar_reduce(uint64_t* r, const uint64_t* a) const = 0;
    virtual void scalar_add(uint64_t* r, const uint64_t* a, const uint64_t* b) const = 0;
    virtual void scalar_mul(uint64_t* r, const uint64_t* a, const uint64_t* b) const = 0;
    virtual void scalar_inv(uint64_t* r, const uint64_t* a) const = 0;
};

// The Group of a loaded curve (c.id); never null for a curve filled by
// EC_curve_getbyname.
const Group& group_of(const EC_curve& c);

// A Group for secp256r1, secp384r1 or secp521r1 (c) with the dedicated field's
// portable (adx false) or MULX/ADX kernels, whatever the processor: for
// tests that compare the two.
std::unique_ptr<Group> make_special_group(const EC_curve& c, bool adx);

// Comparison of plain numbers of n limbs (variable time, public data).
int num_cmp(const uint64_t* a, const uint64_t* b, size_t n);

}  // namespace velt::ecc
