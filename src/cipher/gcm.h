// GCM bulk routines (NIST SP 800-38D): counter-mode encryption with inc32
// fused with GHASH over the ciphertext. Room of the AEAD code; the portable
// path uses the AES bulk counter mode and the portable GHASH separately.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cipher/aes.h"
#include "cipher/ghash.h"

namespace velt::gcm {

// Processes nblocks whole blocks. counter is the full 16-byte counter block
// of the first block (its last four bytes are advanced by inc32). y is the
// GHASH accumulator (byte order of SP 800-38D), updated over the ciphertext:
// the output when encrypting, the input when decrypting. in == out allowed.
void ctr_ghash(const aes::Key& k, ghash::Key& hk, uint8_t y[16], uint8_t counter[16], const uint8_t* in,
               uint8_t* out, size_t nblocks, bool encrypt);

// The AES-NI + PCLMULQDQ form (eight blocks per step) and the VAES +
// VPCLMULQDQ form (AVX-512, sixteen blocks per step); k.accel must be set.
void ctr_ghash_aesni(const aes::Key& k, ghash::Key& hk, uint8_t y[16], uint8_t counter[16], const uint8_t* in,
                     uint8_t* out, size_t nblocks, bool encrypt);
void ctr_ghash_vaes512(const aes::Key& k, ghash::Key& hk, uint8_t y[16], uint8_t counter[16],
                       const uint8_t* in, uint8_t* out, size_t nblocks, bool encrypt);

}  // namespace velt::gcm
