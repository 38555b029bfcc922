// GCM requests that arrive through the block-cipher functions (mode GCM in
// the selector) are handed to the authenticated-encryption engine with no
// associated data. options is the effective option word (0x520, 0x530 or
// 0x540 under 0xFF0, plus the IV-prefix bit). Negative error codes.
#pragma once

#include <cstdint>

namespace velt::cipher {

long gcm_encrypt_bytes(uint8_t* out, long out_len, const uint8_t* in, long in_len, const uint8_t* key, long key_len,
                       const uint8_t* iv, long iv_len, long options);
long gcm_decrypt_bytes(uint8_t* out, long out_len, const uint8_t* in, long in_len, const uint8_t* key, long key_len,
                       const uint8_t* iv, long iv_len, long options);
long gcm_file(bool encrypt, const char* out_file, const char* in_file, const uint8_t* key, long key_len,
              const uint8_t* iv, long iv_len, long options);

}  // namespace velt::cipher
