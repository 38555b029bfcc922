// Public keys taken from certificates by the RSA, ECC and SIG_ functions.
#include <cctype>

#include "morvanevelt.h"
#include "x509/fixture.h"

namespace {

std::string upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string read_key(long (*fn)(char*, long, const char*, long), const std::string& in) {
    long n = fn(nullptr, 0, in.c_str(), 0);
    if (n <= 0) return "error " + std::to_string(n);
    std::string out(size_t(n) + 1, '\0');
    n = fn(out.data(), n, in.c_str(), 0);
    out.resize(n > 0 ? size_t(n) : 0);
    return out;
}

TEST(X509Keys, RsaPublicKeyFromCertMatchesModulus) {
    X509_NEED_FIXTURES();
    const std::string cert = x509fx::path("rsa.pem");
    std::string key = read_key(RSA_GetPublicKeyFromCert, cert);
    ASSERT_EQ(key.rfind("error", 0), std::string::npos) << key;
    char b64[800] = "";
    ASSERT_GT(RSA_KeyValue(b64, sizeof b64 - 1, key.c_str(), "Modulus", 0), 0) << x509fx::last_error();
    unsigned char mod[600];
    long n = CNV_BytesFromB64Str(mod, sizeof mod, b64);
    ASSERT_GT(n, 0);
    char hex[1300] = "";
    CNV_HexStrFromBytes(hex, sizeof hex - 1, mod, n);
    const std::string expect = x509fx::openssl("x509 -in rsa.pem -noout -modulus");  // "Modulus=..."
    EXPECT_EQ("Modulus=" + upper(hex), expect);
    // RSA_ReadAnyPublicKey takes the certificate (file and base64) and gives the same key.
    EXPECT_EQ(RSA_KeyHashCode(read_key(RSA_ReadAnyPublicKey, cert).c_str()), RSA_KeyHashCode(key.c_str()));
    const std::string leafB64 = x509fx::openssl("x509 -in rsa.pem -outform DER | base64 -w0");
    EXPECT_EQ(RSA_KeyHashCode(read_key(RSA_GetPublicKeyFromCert, leafB64).c_str()),
              RSA_KeyHashCode(key.c_str()));
    // An elliptic-curve certificate has no RSA key.
    EXPECT_EQ(RSA_GetPublicKeyFromCert(nullptr, 0, x509fx::path("p256.pem").c_str(), 0), -19);
    EXPECT_EQ(RSA_GetPublicKeyFromCert(nullptr, 0, "", 0), -6);
}

TEST(X509Keys, EccPublicKeyFromCert) {
    X509_NEED_FIXTURES();
    for (const char* name : {"p256", "p384", "ed25519", "ed448"}) {
        std::string key = read_key(ECC_ReadPublicKey, x509fx::path(std::string(name) + ".pem"));
        std::string fromKey =
            x509fx::openssl(std::string("pkey -in ") + name + ".key -pubout -outform DER | base64 -w0");
        ASSERT_EQ(key.rfind("error", 0), std::string::npos) << name << " " << key;
        EXPECT_EQ(key, fromKey) << name;
    }
}

TEST(X509Keys, SigVerifyWithCertificate) {
    X509_NEED_FIXTURES();
    const std::string data = "message to sign";
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    struct Case {
        const char* key;
        const char* cert;
        const char* alg;
    } cases[] = {{"rsa.key", "rsa.pem", "sha256WithRSAEncryption"},
                 {"p256.key", "p256.pem", "ecdsaWithSHA256"},
                 {"ed25519.key", "ed25519.pem", "Ed25519"}};
    for (const Case& c : cases) {
        char sig[1024] = "";
        long n = SIG_SignData(sig, sizeof sig - 1, p, long(data.size()), x509fx::path(c.key).c_str(), "",
                              c.alg, 0);
        ASSERT_GT(n, 0) << c.key << " " << x509fx::last_error();
        EXPECT_EQ(SIG_VerifyData(sig, p, long(data.size()), x509fx::path(c.cert).c_str(), c.alg, 0), 0)
            << c.cert << " " << x509fx::last_error();
        const std::string pem = x509fx::text(c.cert);
        EXPECT_EQ(SIG_VerifyData(sig, p, long(data.size()), pem.c_str(), c.alg, 0), 0) << c.cert;
        EXPECT_EQ(SIG_VerifyData(sig, p, long(data.size()) - 1, pem.c_str(), c.alg, 0), -22) << c.cert;
    }
}

}  // namespace
