// PKCS #12 files: PFX_VerifySig and the certificate and key readers on one
// input, given as PEM text so that no file is read or written. Iteration
// counts read from the input are clamped in the fuzzing build.
#include <string>

#include "encode/encode.h"
#include "frame/error.h"
#include "fuzz_common.h"
#include "morvanevelt.h"
#include "pfx/pfx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return 0;
    const std::string pem = "-----BEGIN PKCS12-----\n" + b64_string(data, size) + "\n-----END PKCS12-----\n";
    for (const char* pw : {"fuzz", ""}) {
        long v = PFX_VerifySig(pem.c_str(), pw, 0);
        FUZZ_CHECK(v >= -1);
        char out[8192];
        long n = RSA_ReadPrivateKeyFromPFX(out, sizeof out - 1, pem.c_str(), pw, 0);
        FUZZ_CHECK(n < long(sizeof out));
        n = X509_ReadCertStringFromPFX(out, sizeof out - 1, pem.c_str(), pw, 0);
        FUZZ_CHECK(n < long(sizeof out));
        // The short-buffer path of the output convention.
        (void)X509_ReadCertStringFromPFX(out, 8, pem.c_str(), pw, 0);
    }
    RsaKey* key = rsaNew();
    (void)pfxDecryptKeyFromDer(key, data, size, "fuzz");
    rsaFree(&key);
    return 0;
}
