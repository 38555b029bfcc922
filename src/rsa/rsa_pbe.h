// Password-based encryption of RSA private keys (EncryptedPrivateKeyInfo of
// PKCS #8), internal to the RSA module.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rsa/rsa.h"

// DER of the EncryptedPrivateKeyInfo of a private key under the scheme of the
// options; empty with *status set (9999 or the scheme's code) on failure.
velt::SecureBytes rsaEncryptedPrivateKeyInfoDer(const RsaKey* key, long count, const char* password, long options,
                                                long* status);
// Decrypts an EncryptedPrivateKeyInfo and fills the key: 0, or 15 when it
// cannot be decrypted or does not hold an RSA private key.
long rsaDecryptPrivateKeyInfo(RsaKey* key, const uint8_t* der, size_t len, const char* password);
