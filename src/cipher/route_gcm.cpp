// Routing of GCM requests from the block-cipher functions.
#include "cipher/route_gcm.h"

#include "frame/error.h"

namespace velt::cipher {

long gcm_encrypt_bytes(uint8_t*, long, const uint8_t*, long, const uint8_t*, long, const uint8_t*, long, long) {
    eprintf("GCM is not available");
    return -NOT_SUPPORTED_ERROR;
}

long gcm_decrypt_bytes(uint8_t*, long, const uint8_t*, long, const uint8_t*, long, const uint8_t*, long, long) {
    eprintf("GCM is not available");
    return -NOT_SUPPORTED_ERROR;
}

long gcm_file(bool, const char*, const char*, const uint8_t*, long, const uint8_t*, long, long) {
    eprintf("GCM is not available");
    return -NOT_SUPPORTED_ERROR;
}

}  // namespace velt::cipher
