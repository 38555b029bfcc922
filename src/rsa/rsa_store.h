// Key files and parameter strings, internal to the RSA module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "rsa/rsa.h"
#include "util/safe_write.h"
#include "util/keyparams.h"

// Values of a key parameter string ("count", "prf", "rngseed", "tests").
using RsaKeyParams = KeyParams;
// 0, 6 unknown name, 8 invalid value.
inline long rsaParseKeyParams(const char* paramString, RsaKeyParams& kp) {
    return keyParseParams(paramString, kp, true);
}

inline constexpr long kKeyFormatPem = 0x10000;
inline constexpr long kKeyFormatAlt = 0x20000;

// Key files are written through the one safe writer (util/safe_write.h):
// a temporary file beside the target renamed over it, so a failure leaves
// the target as it was. Codes: 2 cannot create (or the target is not a
// regular file), 4 write failure, 13 flush or close failure.
inline constexpr velt::WriteCodes kKeyWriteCodes{CREATE_ERROR, WRITE_ERROR, IO_ERROR};

// The bytes of a key file: DER, or PEM with the label (lines of 64
// characters ending in CR LF, or LF alone when crlf is false).
velt::SecureBytes rsaKeyFileBytes(const uint8_t* der, size_t len, const char* pemLabel, bool crlf);
// Writes a key file; secret files are created 0600 whatever the umask.
long rsaWriteKeyFile(const char* path, const uint8_t* der, size_t len, const char* pemLabel, bool crlf,
                     bool secret);
// The public key file of the options (RSA PUBLIC KEY / PUBLIC KEY / DER).
long rsaWritePublicKeyFile(const char* path, const RsaKey* key, long options);
// The EncryptedPrivateKeyInfo file (DER, or PEM with either format bit),
// mode 0600. "Cannot create output file '%s'" and 2 when it cannot be made.
long rsaWriteEncPrivateKeyFile(const char* path, const RsaKey* key, long count, const char* password,
                               long options);
// The two files of key generation with its diagnostics: the private key file
// (0600; 9999 when it cannot be built, 4 when it cannot be created, 13 when
// writing it fails) and the public key file (2, 4 or 13). Both are written
// before either is renamed into place; should the public file's rename fail,
// a private key file this call created is removed again.
long rsaWriteKeyPairFiles(const char* publicKeyFile, const char* privateKeyFile, const RsaKey* key,
                          long count, const char* password, long options);

// The DER of a key input: a file (DER or PEM), a PEM string, or base64 DER
// beginning with M. Internal key strings are left to the callers.
bool rsaKeyInputDer(const char* input, velt::SecureBytes& der);
