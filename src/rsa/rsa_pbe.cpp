// Password-based encryption of RSA private keys: the PrivateKeyInfo DER
// encrypted into an EncryptedPrivateKeyInfo (PKCS #8, RFC 5958) by the PBE
// module, and the reverse.
#include "rsa/rsa_pbe.h"

#include <cstring>
#include <vector>

#include "frame/error.h"
#include "pbe/pbe.h"

velt::SecureBytes rsaEncryptedPrivateKeyInfoDer(const RsaKey* key, long count, const char* password, long options,
                                                long* status) {
    velt::SecureBytes pki = rsaPrivateKeyInfoDer(key);
    if (pki.empty()) {
        if (status) *status = BAD_FORMAT_ERROR;
        return {};
    }
    std::vector<uint8_t> out;
    long rc = pbeEncryptPrivateKeyInfoDer(out, pki.data(), pki.size(), password, count, options);
    if (rc != 0 || out.empty()) {
        if (status) *status = rc ? rc : MISC_ERROR;
        return {};
    }
    if (status) *status = 0;
    return velt::SecureBytes(out.begin(), out.end());
}

long rsaDecryptPrivateKeyInfo(RsaKey* key, const uint8_t* der, size_t len, const char* password) {
    velt::SecureBytes pki;
    const size_t pwlen = password ? std::strlen(password) : 0;
    long rc = pbeDecryptPrivateKeyInfoDer(pki, der, len, reinterpret_cast<const uint8_t*>(password), pwlen);
    if (rc != 0) {
        eprintcatf("Could not decrypt key");
        // An iteration count above the bound is refused as invalid data.
        return rc == INVALID_DATA_ERROR ? rc : long(DECRYPT_ERROR);
    }
    key->flags = 0;
    rc = rsaParsePrivateKeyInfoDer(key, pki.data(), pki.size());
    if (rc == BAD_KEY_LEN_ERROR) return rc;
    if (rc != 0) {
        key->flags = 0;
        eprintf("Invalid private key");
        return DECRYPT_ERROR;
    }
    return 0;
}
