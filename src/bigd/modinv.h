// Constant-time modular inverse on 64-bit limbs for an odd modulus (the RSA
// blinding factor's inverse and similar secret-operand inversions).
// Internal to src/bigd.
#pragma once

#include <cstddef>

#include "bigd/limbs.h"

namespace velt::bigd {

// r = a^-1 mod m for odd m > 1 of n limbs and a of n limbs (normally a < m;
// a larger a is reduced implicitly). Returns all-ones when a is invertible,
// 0 otherwise (r is then 0); an even m also gives 0. The running time and
// memory access pattern depend on n only, never on the values of a and m.
// r may alias a or m.
limb modinv_odd_ct(limb* r, const limb* a, const limb* m, size_t n);

}  // namespace velt::bigd
