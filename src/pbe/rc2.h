// RC2 block cipher (RFC 2268) for reading keys encrypted under the legacy
// PBES1, PKCS #12 and PBES2 RC2 schemes. Internal to src/pbe.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velt::rc2 {

struct Key {
    uint16_t k[64];
};

// Expands a key of 1 to 128 octets with effective key bits 1 to 1024;
// false otherwise.
bool set_key(Key& key, const uint8_t* octets, size_t n, unsigned effective_bits);
void encrypt_block(const Key& key, const uint8_t in[8], uint8_t out[8]);
void decrypt_block(const Key& key, const uint8_t in[8], uint8_t out[8]);
void clear(Key& key);

}  // namespace velt::rc2
