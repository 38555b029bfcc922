// PKCS #12 (RFC 7292) files: making, verifying the MAC, and taking the
// certificates and the encrypted private key out of them. What other
// subsystems may call.
//
// The bodies of the exported PFX_ functions return their codes as the
// exported functions do: pfxMakeFile positive codes (only an unreadable
// certificate list gives -6), pfxVerifySig 0, -1 or a positive code; the
// readers negative codes. Integrity is PFX_VerifySig's business: the readers
// do not check the MAC.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rsa/rsa.h"

long pfxMakeFile(const char* outputFile, const char* certList, const char* keyFile, const char* password,
                 const char* friendlyName, long options);
long pfxVerifySig(const char* pfxFileOrString, const char* password, long options);
// Size of the certificate (or certificates-only signed-data) file written.
long pfxGetCertToFile(const char* outputFile, const char* pfxFileOrString, const char* password,
                      long options);
// Length of the base64 certificate (output convention of the library).
long pfxReadCertString(char* out, long outlen, const char* pfxFileOrString, const char* password,
                       long options);
// Size of the EncryptedPrivateKeyInfo file written (no password: encrypted
// ContentInfos are skipped).
long pfxGetKeyToFile(const char* outputFile, const char* pfxFileOrString, long options);
// The private internal key string (options 0x2000000: plain base64).
long pfxReadKeyString(char* out, long outlen, const char* pfxFileOrString, const char* password,
                      long options);

// The RSA key of the first shrouded key bag of a PKCS #12 DER, decrypted
// with password (the any-private-key reader): 0, or a positive code (15 for
// a wrong password, 20 when there is no key bag, 8 for a bound refused).
long pfxDecryptKeyFromDer(RsaKey* key, const uint8_t* der, size_t len, const char* password);
