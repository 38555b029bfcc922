// Files made by `openssl pkcs12 -export` in its current and legacy forms:
// the MAC verifies and the key and certificate read back.
#include <string>

#include "frame/error.h"
#include "morvanevelt.h"
#include "pfx_fixture.h"

using namespace pfxtest;

namespace {

struct Case {
    const char* name;
    const char* args;  // after -passout pass:<password>
    bool mac;
};

const Case kCases[] = {
    {"default", "", true},  // PBES2 AES-256-CBC, HMAC-SHA-256 MAC
    {"legacy", "-legacy", true},
    {"tdes", "-certpbe PBE-SHA1-3DES -keypbe PBE-SHA1-3DES", true},
    {"rc2_40", "-legacy -certpbe PBE-SHA1-RC2-40 -keypbe PBE-SHA1-RC2-128", true},
    {"aes128", "-certpbe AES-128-CBC -keypbe AES-128-CBC", true},
    {"des3cbc", "-certpbe DES-EDE3-CBC -keypbe DES-EDE3-CBC", true},
    {"macsha1", "-macalg sha1", true},
    {"macsha512", "-macalg sha512", true},
    {"nomac", "-nomac", false},
    {"named", "-name \"pfx friendly name\"", true},
    {"certfile", "-certfile CA", true},
};

TEST(PfxOpenSslFiles, VerifyAndReadKeyAndCertificate) {
    PFX_NEED_OPENSSL();
    const Env& e = env();
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        std::string args = std::string("-passout pass:") + kPassword + " " + c.args;
        if (size_t at = args.find("CA"); at != std::string::npos) args.replace(at, 2, e.ca);
        const std::string file = openssl_export(c.name, args);
        ASSERT_FALSE(file.empty()) << "openssl could not make the file";
        EXPECT_EQ(PFX_VerifySig(file.c_str(), kPassword, 0), c.mac ? 0 : -1);
        if (c.mac) {
            EXPECT_EQ(PFX_VerifySig(file.c_str(), "wrong", 0), -1);
        }
        long rc;
        std::string key = read_key(file, kPassword, &rc);
        ASSERT_GT(rc, 0) << errmsg();
        EXPECT_EQ(key_modulus(key), e.modulus);
        EXPECT_EQ(read_cert(file, kPassword, &rc), e.leaf_der) << rc;
        // The any-key reader finds the same key in the PKCS #12 file.
        char any[4096];
        ASSERT_GT(RSA_ReadAnyPrivateKey(any, sizeof any - 1, file.c_str(), kPassword, 0), 0);
        EXPECT_EQ(key_modulus(any), e.modulus);
        // The certificate file and the EncryptedPrivateKeyInfo file.
        const std::string cert_out = testutil::temp_path(std::string(c.name) + ".cer");
        EXPECT_EQ(X509_GetCertFromPFX(cert_out.c_str(), file.c_str(), kPassword, 0), long(e.leaf_der.size()));
        EXPECT_EQ(testutil::read_file(cert_out), e.leaf_der);
    }
}

TEST(PfxOpenSslFiles, KeyFileIsTheShroudedKeyBag) {
    PFX_NEED_OPENSSL();
    const std::string file = openssl_export("epki", std::string("-passout pass:") + kPassword);
    const std::string out = testutil::temp_path("epki.der");
    long n = RSA_GetPrivateKeyFromPFX(out.c_str(), file.c_str(), 0);
    ASSERT_GT(n, 0);
    char key[4096];
    ASSERT_GT(RSA_ReadEncPrivateKey(key, sizeof key - 1, out.c_str(), kPassword, 0), 0);
    EXPECT_EQ(key_modulus(key), env().modulus);
}

TEST(PfxOpenSslFiles, WrongPasswordIsADecryptionError) {
    PFX_NEED_OPENSSL();
    const std::string legacy = openssl_export("wrongpw", std::string("-legacy -passout pass:") + kPassword);
    char buf[4096];
    EXPECT_EQ(RSA_ReadPrivateKeyFromPFX(buf, sizeof buf - 1, legacy.c_str(), "wrong", 0), -DECRYPT_ERROR);
    // Certificates in an encrypted ContentInfo: none found, the decryption error recorded first.
    EXPECT_EQ(X509_ReadCertStringFromPFX(buf, sizeof buf - 1, legacy.c_str(), "wrong", 0), -NO_DATA_ERROR);
    EXPECT_EQ(errnum(), DECRYPT_ERROR);
    EXPECT_EQ(RSA_ReadAnyPrivateKey(buf, sizeof buf - 1, legacy.c_str(), "wrong", 0), -INVALID_DATA_ERROR);
}

TEST(PfxOpenSslFiles, Rc2With128BitKeysIsNotRead) {
    PFX_NEED_OPENSSL();
    const std::string file = openssl_export(
        "rc2_128", std::string("-legacy -certpbe PBE-SHA1-RC2-128 -passout pass:") + kPassword);
    ASSERT_FALSE(file.empty());
    char buf[4096];
    EXPECT_EQ(X509_ReadCertStringFromPFX(buf, sizeof buf - 1, file.c_str(), kPassword, 0), -NO_DATA_ERROR);
    EXPECT_EQ(errnum(), NOT_SUPPORTED_ERROR);
    const std::string out = testutil::temp_path("rc2_128.cer");
    EXPECT_EQ(X509_GetCertFromPFX(out.c_str(), file.c_str(), kPassword, 0), -NO_DATA_ERROR);
    EXPECT_EQ(errnum(), NOT_SUPPORTED_ERROR);
    // The key bag is outside that ContentInfo and still reads.
    EXPECT_EQ(key_modulus(read_key(file, kPassword)), env().modulus);
}

}  // namespace

namespace {

TEST(PfxOpenSslFiles, AllCertificatesAsSignedData) {
    PFX_NEED_OPENSSL();
    const Env& e = env();
    const std::string file =
        openssl_export("p7", std::string("-certfile ") + e.ca + " -passout pass:" + kPassword);
    const std::string out = testutil::temp_path("all.p7b");
    long n = X509_GetCertFromPFX(out.c_str(), file.c_str(), kPassword, 0x400);
    ASSERT_GT(n, 0) << errmsg();
    EXPECT_EQ(long(testutil::read_file(out).size()), n);
    std::string certs;
    ASSERT_TRUE(sh("openssl pkcs7 -inform DER -in " + out + " -print_certs", &certs));
    EXPECT_NE(certs.find("CN = pfx-leaf"), std::string::npos) << certs;
    EXPECT_NE(certs.find("CN = pfx-ca"), std::string::npos) << certs;
}

}  // namespace
