// Keys shared by the RSA tests: one key made by our generator and one by
// OpenSSL per program, and conversions between the two libraries.
#pragma once

#include <openssl/evp.h>

#include <string>

#include "common/test_util.h"
#include "rsa/rsa.h"

namespace rsatest {

using testutil::Bytes;

struct KeyStrings {
    std::string priv;  // internal key strings
    std::string pub;
    std::string pem_path;  // the private key as PKCS #1 PEM (for the openssl command)
};

// A 1024-bit key made by rsaGenerateKeys (once per program).
const KeyStrings& our_key();
// A 2048-bit key made by OpenSSL (once per program).
const KeyStrings& openssl_key();
EVP_PKEY* openssl_pkey();  // the same key, owned by the fixture

// Components of an OpenSSL key as big-endian octets.
struct Components {
    Bytes n, e, d, p, q, dP, dQ, qInv;
};
Components components(EVP_PKEY* pk);
// Internal key strings of components (flags 7).
std::string private_string(const Components& c);
std::string public_string(const Components& c);
// A key record for a private key string (caller frees).
RsaKey* private_record(const std::string& s);

// Raw private operation of OpenSSL with no padding.
Bytes openssl_raw_private(EVP_PKEY* pk, const Bytes& in);

}  // namespace rsatest
