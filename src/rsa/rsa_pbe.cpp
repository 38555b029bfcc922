// Password-based encryption of RSA private keys.
#include "rsa/rsa_pbe.h"

#include "frame/error.h"

velt::SecureBytes rsaEncryptedPrivateKeyInfoDer(const RsaKey*, long, const char*, long, long* status) {
    // Password-based encryption is not available in this build.
    if (status) *status = MISC_ERROR;
    return {};
}

long rsaDecryptPrivateKeyInfo(RsaKey*, const uint8_t*, size_t, const char*) {
    eprintf("Could not decrypt key");
    return DECRYPT_ERROR;
}
