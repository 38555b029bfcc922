// The elliptic-curve key readers: the classifier over DER, key strings of
// the same bytes through the exported queries, and hexadecimal keys by curve.
#include <string>

#include "ecc/keys.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "fuzz_common.h"
#include "morvanevelt.h"

using namespace velt::ecc;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EcKey key;
    int form = ecParseKeyDer(key, data, size);
    FUZZ_CHECK(form >= -BAD_KEY_LEN_ERROR && form <= kFormEcPki);
    if (form == kFormSafe)
        FUZZ_CHECK(key.safe.keylen <= kSafeMaxKeyLen && key.safe.publen == key.safe.keylen);

    // The same bytes as a plain base64 key string through the exported calls.
    std::string b64 = b64_string(data, size);
    if (!b64.empty() && b64[0] == 'M') {
        char out[600];
        for (const char* q : {"curveName", "keyBits", "isPrivate", "privateKey", "publicKey", "isValid"})
            (void)ECC_QueryKey(out, sizeof out, b64.c_str(), q, 0);
        (void)ECC_KeyHashCode(b64.c_str());
        (void)ECC_PublicKeyFromPrivate(out, sizeof out, b64.c_str(), 0);
        uint8_t z[80];
        (void)ECC_DHSharedSecret(z, sizeof z, b64.c_str(), b64.c_str(), 0);
    }

    // The bytes as text: a key string, PEM text, or hexadecimal by curve.
    std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find('/') == std::string::npos) {  // never a path to a real file
        char out[600];
        (void)ECC_ReadPublicKey(out, sizeof out, text.c_str(), 0);
        (void)ECC_ReadPrivateKey(out, sizeof out, text.c_str(), "", 0);
        (void)ECC_ReadKeyByCurve(out, sizeof out, text.c_str(), "P-521", 0);
        (void)ECC_ReadKeyByCurve(out, sizeof out, text.c_str(), "X448", VELT_ECC_PUBLICKEY);
    }
    return 0;
}
