// Internal link between the Edwards and Montgomery forms of curve25519.
#pragma once

#include <cstdint>

namespace velt::ecc::safe {

// u = (1 + y) / (1 - y) of k B on edwards25519: the X25519 public key of a
// clamped scalar k (top byte at most 127), through the fixed-base table.
void ed25519_base_mul_u(uint8_t u[32], const uint8_t k[32]);

}  // namespace velt::ecc::safe
