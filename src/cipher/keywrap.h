// Key wrap internals, reachable for tests: the Triple-DES wrap with a given
// IV (RFC 3217 section 3.1 draws it at random).
#pragma once

#include <cstddef>
#include <cstdint>

namespace velt::aead {

// Wraps a 24-byte Triple-DES key under a 24-byte KEK with the 8-byte IV
// given; writes 40 bytes.
void tdesWrapWithIv(uint8_t out[40], const uint8_t key[24], const uint8_t kek[24], const uint8_t iv[8]);

}  // namespace velt::aead
