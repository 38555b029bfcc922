// Routing of GCM requests from the block-cipher functions to the
// authenticated-encryption engine, with no associated data.
#include "cipher/route_gcm.h"

#include "cipher/aead.h"

namespace velt::cipher {

long gcm_encrypt_bytes(uint8_t* out, long out_len, const uint8_t* in, long in_len, const uint8_t* key, long key_len,
                       const uint8_t* iv, long iv_len, long options) {
    return aead::aeadEncrypt(out, out_len, in, in_len, key, key_len, iv, iv_len, nullptr, 0, options);
}

long gcm_decrypt_bytes(uint8_t* out, long out_len, const uint8_t* in, long in_len, const uint8_t* key, long key_len,
                       const uint8_t* iv, long iv_len, long options) {
    return aead::aeadDecrypt(out, out_len, in, in_len, key, key_len, iv, iv_len, nullptr, 0, options);
}

long gcm_file(bool encrypt, const char* out_file, const char* in_file, const uint8_t* key, long key_len,
              const uint8_t* iv, long iv_len, long options) {
    return encrypt ? aead::gcmFileEncrypt(out_file, in_file, key, key_len, iv, iv_len, options)
                   : aead::gcmFileDecrypt(out_file, in_file, key, key_len, iv, iv_len, options);
}

}  // namespace velt::cipher
