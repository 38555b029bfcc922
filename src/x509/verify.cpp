// Signature verification of certificates, CRLs and requests with the
// issuer's public key.
#include "frame/error.h"
#include "x509/x509.h"

long x509verifySignature(const uint8_t*, size_t, AsnNode*, const uint8_t*, size_t, AsnNode*) {
    eprintf("Signature verification is not available");
    return NOT_SUPPORTED_ERROR;
}

long x509verifyWithCert(const char* toVerify, const char*) {
    if (!toVerify || !*toVerify) return BAD_PARAM_ERROR;
    eprintf("Signature verification is not available");
    return NOT_SUPPORTED_ERROR;
}
