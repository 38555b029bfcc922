// GHASH, the universal hash of GCM (NIST SP 800-38D section 6.4). Room of the
// AEAD code. The portable multiplier is constant time (integer multiplies
// with holes, no tables indexed by secret data); the PCLMULQDQ version
// aggregates eight blocks per reduction.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velt::ghash {

struct Key {
    uint64_t h_hi, h_lo;  // H as two big-endian halves (portable path)
    // Byte-reversed powers H^1..H^npow (up to 16) for the carry-less
    // multiply paths, computed as far as a caller needs them.
    alignas(64) uint8_t pow[16][16];
    int npow;
    bool clmul;
};

// Sets up the key from H = E_K(0^128).
void init(Key& key, const uint8_t h[16]);
// y = (y xor X_1) * H ... over nblocks whole 16-byte blocks.
void update(Key& key, uint8_t y[16], const uint8_t* data, size_t nblocks);
// Makes sure H^1..H^n are in key.pow (carry-less paths only).
void ensure_powers(Key& key, int n);
// Wipes what the key holds.
void clear(Key& key);

// The implementations behind update, also called directly by tests.
void update_portable(const Key& key, uint8_t y[16], const uint8_t* data, size_t nblocks);
void powers_pclmul(Key& key, int n);
void update_pclmul(const Key& key, uint8_t y[16], const uint8_t* data, size_t nblocks);

}  // namespace velt::ghash
