// The X25519 Montgomery ladder on AVX-512 IFMA (src/ecc/curve25519_ifma.cpp).
#pragma once

#include <cstdint>

#include "ecc/curve25519_field.h"

namespace velt::ecc::safe {

// True when the processor offers AVX-512 IFMA with 256-bit vectors (VL).
bool x25519_ifma_usable();
// The projective result (x2 : z2) of the ladder of RFC 7748 section 5 for
// the clamped scalar k and the u-coordinate u (bit 255 ignored), with the
// same results as the portable ladder. Constant time.
void x25519_ladder_ifma(Fe25519& x2, Fe25519& z2, const uint8_t k[32], const uint8_t u[32]);

}  // namespace velt::ecc::safe
