// ChaCha20 stream cipher (RFC 8439 section 2.4): 256-bit key, 96-bit nonce,
// 32-bit block counter. Room of the AEAD code; the portable version and the
// AVX2 and AVX-512 versions produce the same key stream.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velt::chacha {

struct Key {
    uint32_t k[8];
};

// Loads a 32-byte key and a 12-byte nonce into little-endian words.
void load_key(Key& key, const uint8_t k[32]);
void load_nonce(uint32_t n[3], const uint8_t nonce[12]);

// out = in XOR key stream, starting at block `counter`; len need not be a
// multiple of 64. in and out may be the same buffer. Returns the counter of
// the block after the last one used (a partial block counts as used).
uint32_t chacha20_xor(uint8_t* out, const uint8_t* in, size_t len, const Key& key, uint32_t counter,
                      const uint32_t nonce[3]);

// One 64-byte key-stream block.
void chacha20_block(uint8_t out[64], const Key& key, uint32_t counter, const uint32_t nonce[3]);

// Processor-specific bulk forms: whole multiples of 8 (AVX2) or 16 (AVX-512)
// blocks; nblocks must be such a multiple.
void chacha20_xor_avx2(uint8_t* out, const uint8_t* in, size_t nblocks, const uint32_t state[16]);
void chacha20_xor_avx512(uint8_t* out, const uint8_t* in, size_t nblocks, const uint32_t state[16]);

}  // namespace velt::chacha
