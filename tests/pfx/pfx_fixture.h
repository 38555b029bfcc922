// Shared fixture of the PKCS #12 tests: an RSA key with its self-signed
// certificate and a second (CA) certificate, made once with the openssl
// command, and helpers around the exported functions.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_util.h"

namespace pfxtest {

inline const char* kPassword = "pfx-Pass_1";

struct Env {
    bool ok = false;
    std::string key;     // unencrypted PEM key file
    std::string key_p8;  // PKCS #8 encrypted with kPassword (PBES2, AES-256)
    std::string leaf;    // PEM certificate of key
    std::string ca;      // another PEM certificate
    testutil::Bytes leaf_der, ca_der;
    std::string modulus;  // upper-case hex of the key's modulus
};

// Made on first use; ok false when the openssl command is absent.
const Env& env();

// Skips the test when the openssl command or the fixture is unavailable.
#define PFX_NEED_OPENSSL()                                                       \
    do {                                                                         \
        if (!pfxtest::env().ok) GTEST_SKIP() << "openssl command not available"; \
    } while (0)

// Runs a command through the shell; true when it exits with status 0.
bool sh(const std::string& cmd, std::string* out = nullptr);
// Upper-case hex modulus of a private key string (RSA_KeyValue).
std::string key_modulus(const std::string& keyString);
// The key string of RSA_ReadPrivateKeyFromPFX, or "" with *rc set.
std::string read_key(const std::string& pfx, const char* password, long* rc = nullptr);
// The certificate of X509_ReadCertStringFromPFX as DER, or empty with *rc set.
testutil::Bytes read_cert(const std::string& pfx, const char* password, long* rc = nullptr);
// Makes a PKCS #12 file with `openssl pkcs12 -export` and the extra arguments.
std::string openssl_export(const std::string& name, const std::string& args);

}  // namespace pfxtest
