// Key files and parameter strings, internal to the RSA module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "rsa/rsa.h"
#include "util/keyparams.h"

// Values of a key parameter string ("count", "prf", "rngseed", "tests").
using RsaKeyParams = KeyParams;
// 0, 6 unknown name, 8 invalid value.
inline long rsaParseKeyParams(const char* paramString, RsaKeyParams& kp) {
    return keyParseParams(paramString, kp, true);
}

inline constexpr long kKeyFormatPem = 0x10000;
inline constexpr long kKeyFormatAlt = 0x20000;

// Writes DER, or PEM with the label (lines of 64 characters ending in CR LF,
// or LF alone when crlf is false). mode is the permission of a new file.
// 0, 2 cannot create, 4 write failure, 13 close failure.
long rsaWriteKeyFile(const char* path, const uint8_t* der, size_t len, const char* pemLabel, bool crlf,
                     unsigned mode);
// The public key file of the options (RSA PUBLIC KEY / PUBLIC KEY / DER).
long rsaWritePublicKeyFile(const char* path, const RsaKey* key, long options);
// The EncryptedPrivateKeyInfo file (DER, or PEM with either format bit).
// With forMakeKeys the diagnostics of key generation are used.
long rsaWriteEncPrivateKeyFile(const char* path, const RsaKey* key, long count, const char* password,
                               long options, bool forMakeKeys);

// The DER of a key input: a file (DER or PEM), a PEM string, or base64 DER
// beginning with M. Internal key strings are left to the callers.
bool rsaKeyInputDer(const char* input, velt::SecureBytes& der);
