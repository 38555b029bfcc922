// SIG_SignData, SIG_SignFile, SIG_VerifyData and SIG_VerifyFile: every row
// against the openssl command (both directions), input forms, options and
// error codes.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cstring>
#include <map>

#include "common/test_util.h"
#include "encode/encode.h"
#include "morvanevelt.h"

using testutil::Bytes;

namespace {

bool have_openssl() {
    int st = 0;
    testutil::run_command("openssl version 2>/dev/null", &st);
    return st == 0;
}

// Key files written by OpenSSL (PKCS #8 PEM private key, SPKI PEM public).
struct KeyFiles {
    std::string priv, pub;
};

KeyFiles make_keys(const std::string& tag, EVP_PKEY* pk) {
    KeyFiles k{testutil::temp_path(tag + "-priv.pem"), testutil::temp_path(tag + "-pub.pem")};
    BIO* b = BIO_new_file(k.priv.c_str(), "w");
    PEM_write_bio_PrivateKey(b, pk, nullptr, nullptr, 0, nullptr, nullptr);
    BIO_free(b);
    b = BIO_new_file(k.pub.c_str(), "w");
    PEM_write_bio_PUBKEY(b, pk);
    BIO_free(b);
    EVP_PKEY_free(pk);
    return k;
}

const KeyFiles& key_for(const std::string& type) {
    static std::map<std::string, KeyFiles> keys;
    auto it = keys.find(type);
    if (it != keys.end()) return it->second;
    EVP_PKEY* pk = nullptr;
    if (type == "rsa")
        pk = EVP_RSA_gen(2048);
    else if (type == "ed25519")
        pk = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    else if (type == "ed448")
        pk = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED448");
    else
        pk = EVP_EC_gen(type.c_str());
    return keys[type] = make_keys(type, pk);
}

std::string sign(const Bytes& data, const std::string& key, const char* alg, long options) {
    long n = SIG_SignData(nullptr, 0, data.data(), long(data.size()), key.c_str(), "", alg, options);
    if (n <= 0) return "error " + std::to_string(n);
    std::string out(size_t(n), '\0');
    long m = SIG_SignData(out.data(), n, data.data(), long(data.size()), key.c_str(), "", alg, options);
    if (m < 0) return "error " + std::to_string(m);
    EXPECT_LE(m, n);
    out.resize(size_t(m));
    return out;
}

struct Row {
    const char* alg;
    const char* key;     // OpenSSL key type or curve name
    const char* dgst;    // openssl dgst digest option, "" for EdDSA (pkeyutl -rawin)
    const char* sigopt;  // extra openssl options
    long options;
};

const Row kRows[] = {
    {"sha1WithRSAEncryption", "rsa", "-sha1", "", 0},
    {"sha224WithRSAEncryption", "rsa", "-sha224", "", 0},
    {"RSA-SHA256", "rsa", "-sha256", "", 0},
    {"sha384WithRSAEncryption", "rsa", "-sha384", "", 0},
    {"RSA-SHA512", "rsa", "-sha512", "", 0},
    {"md5WithRSAEncryption", "rsa", "-md5", "", 0},
    {"RSA-PSS-SHA1", "rsa", "-sha1", "-sigopt rsa_padding_mode:pss -sigopt rsa_pss_saltlen:-2", 0},
    {"RSA-PSS-SHA224", "rsa", "-sha224", "-sigopt rsa_padding_mode:pss -sigopt rsa_pss_saltlen:-2", 0},
    {"RSA-PSS-SHA256", "rsa", "-sha256", "-sigopt rsa_padding_mode:pss -sigopt rsa_pss_saltlen:-2", 0},
    {"RSA-PSS-SHA384", "rsa", "-sha384",
     "-sigopt rsa_padding_mode:pss -sigopt rsa_pss_saltlen:-2 -sigopt rsa_mgf1_md:sha1", VELT_MGF1_SHA1},
    {"RSA-PSS-SHA512", "rsa", "-sha512", "-sigopt rsa_padding_mode:pss -sigopt rsa_pss_saltlen:-2",
     VELT_PSS_SALTLEN_MAX},
    {"RSA-PSS-SHA256", "rsa", "-sha256", "-sigopt rsa_padding_mode:pss -sigopt rsa_pss_saltlen:-2",
     VELT_PSS_SALTLEN_ZERO},
    {"ecdsaWithSHA1", "prime256v1", "-sha1", "", 0},
    {"ecdsaWithSHA224", "secp224r1", "-sha224", "", 0},
    {"ecdsaWithSHA256", "prime256v1", "-sha256", "", 0},
    {"ecdsaWithSHA384", "secp384r1", "-sha384", "", 0},
    {"ecdsaWithSHA512", "secp521r1", "-sha512", "", 0},
    {"ecdsaWithSHA256", "prime192v1", "-sha256", "", 0},
    {"ecdsaWithSHA256", "secp256k1", "-sha256", "", 0},
    {"ecdsaWithSHA256", "brainpoolP256r1", "-sha256", "", 0},
    {"ecdsaWithSHA384", "brainpoolP384r1", "-sha384", "", 0},
    {"ecdsaWithSHA512", "brainpoolP512r1", "-sha512", "", VELT_SIG_DETERMINISTIC},
    {"Ed25519", "ed25519", "", "", 0},
    {"Ed448", "ed448", "", "", 0},
};

}  // namespace

TEST(SigApi, EveryRowBothWaysWithOpenSsl) {
    if (!have_openssl()) GTEST_SKIP() << "openssl command not found";
    const Bytes data = testutil::bytes_of("The quick brown fox jumps over the lazy dog\n");
    const std::string dataFile = testutil::temp_path("data.bin");
    const std::string sigFile = testutil::temp_path("sig.bin");
    testutil::write_file(dataFile, data);
    for (const Row& r : kRows) {
        SCOPED_TRACE(std::string(r.alg) + " " + r.key);
        const KeyFiles& k = key_for(r.key);
        const bool eddsa = *r.dgst == 0;
        const bool ecdsa = std::strncmp(r.alg, "ecdsa", 5) == 0;
        // Ours, verified by OpenSSL (ECDSA in DER form).
        std::string s = sign(data, k.priv, r.alg, r.options | (ecdsa ? VELT_SIG_ASN1DER : 0));
        ASSERT_EQ(s.rfind("error", 0), std::string::npos) << s;
        EXPECT_EQ(SIG_VerifyData(s.c_str(), data.data(), long(data.size()), k.pub.c_str(), r.alg, r.options),
                  0);
        testutil::write_file(sigFile, b64_bytes(s.c_str()));
        std::string cmd = eddsa ? "openssl pkeyutl -verify -rawin -pubin -inkey " + k.pub + " -in " +
                                      dataFile + " -sigfile " + sigFile
                                : std::string("openssl dgst ") + r.dgst + " " + r.sigopt + " -verify " +
                                      k.pub + " -signature " + sigFile + " " + dataFile;
        int st = -1;
        testutil::run_command(cmd + " >/dev/null 2>&1", &st);
        EXPECT_EQ(st, 0) << cmd;
        // OpenSSL's, verified by us.
        cmd = eddsa
                  ? "openssl pkeyutl -sign -rawin -inkey " + k.priv + " -in " + dataFile + " -out " + sigFile
                  : std::string("openssl dgst ") + r.dgst + " " + r.sigopt + " -sign " + k.priv + " -out " +
                        sigFile + " " + dataFile;
        testutil::run_command(cmd + " >/dev/null 2>&1", &st);
        ASSERT_EQ(st, 0) << cmd;
        Bytes theirs = testutil::read_file(sigFile);
        std::string b64 = b64_string(theirs.data(), theirs.size());
        EXPECT_EQ(
            SIG_VerifyData(b64.c_str(), data.data(), long(data.size()), k.pub.c_str(), r.alg, r.options), 0);
        // Files: sign and verify the same data through the digest path.
        if (!eddsa) {
            char out[2048];
            ASSERT_GT(
                SIG_SignFile(out, sizeof out - 1, dataFile.c_str(), k.priv.c_str(), "", r.alg, r.options), 0);
            EXPECT_EQ(SIG_VerifyFile(out, dataFile.c_str(), k.pub.c_str(), r.alg, r.options), 0);
            EXPECT_EQ(SIG_VerifyFile(b64.c_str(), dataFile.c_str(), k.pub.c_str(), r.alg, r.options), 0);
        }
        // A changed message fails.
        Bytes other = data;
        other[0] ^= 1;
        EXPECT_EQ(
            SIG_VerifyData(b64.c_str(), other.data(), long(other.size()), k.pub.c_str(), r.alg, r.options),
            -22);
    }
}

TEST(SigApi, ChoicesFormsAndErrors) {
    const KeyFiles& rsa = key_for("rsa");
    const KeyFiles& ec = key_for("prime256v1");
    const KeyFiles& ed = key_for("ed25519");
    const Bytes data = testutil::bytes_of("abc");
    const long n = long(data.size());
    char out[2048];

    // Lower-case name; empty name with the id in the options.
    std::string a = sign(data, rsa.priv, "rsa-sha256", 0);
    EXPECT_EQ(SIG_VerifyData(a.c_str(), data.data(), n, rsa.pub.c_str(), "", 0x03), 0);
    std::string b = sign(data, ec.priv, "", 0x30);
    EXPECT_EQ(SIG_VerifyData(b.c_str(), data.data(), n, ec.pub.c_str(), "ecdsaWithSHA256", 0), 0);
    EXPECT_EQ(SIG_SignData(out, 100, data.data(), n, rsa.priv.c_str(), "", "", 0x07), -17);
    EXPECT_EQ(SIG_SignData(out, 100, data.data(), n, rsa.priv.c_str(), "", "RSA-SHA999", 0), -21);
    EXPECT_EQ(SIG_SignData(out, 100, data.data(), n, "", "", "RSA-SHA256", 0), -6);
    EXPECT_EQ(SIG_SignData(out, 100, nullptr, 3, rsa.priv.c_str(), "", "RSA-SHA256", 0), -14);
    EXPECT_EQ(SIG_SignData(out, 10, data.data(), n, rsa.priv.c_str(), "", "RSA-SHA256", 0), -30);
    // DSA is refused in both directions.
    EXPECT_EQ(SIG_SignData(out, 1000, data.data(), n, rsa.priv.c_str(), "", "dsaWithSha1", 0), -19);
    EXPECT_EQ(SIG_SignData(out, 1000, data.data(), n, rsa.priv.c_str(), "", "", 0xD0), -19);
    EXPECT_EQ(SIG_VerifyData(a.c_str(), data.data(), n, rsa.pub.c_str(), "dsaWithSha1", 0), -19);
    // EdDSA takes no digest and signs no files.
    Bytes dig(64, 1);
    EXPECT_EQ(SIG_SignData(out, 1000, dig.data(), 64, ed.priv.c_str(), "", "Ed25519", VELT_SIG_USEDIGEST),
              -19);
    const std::string dataFile = testutil::temp_path("abc.txt");
    testutil::write_file(dataFile, data);
    EXPECT_EQ(SIG_SignFile(out, 1000, dataFile.c_str(), ed.priv.c_str(), "", "Ed25519", 0), -19);
    // The wrong key type for the row.
    EXPECT_EQ(SIG_SignData(out, 1000, data.data(), n, ec.priv.c_str(), "", "Ed25519", 0), -36);
    // Digest input of the wrong length.
    EXPECT_EQ(SIG_SignData(out, 1000, dig.data(), 31, rsa.priv.c_str(), "", "RSA-SHA256", VELT_SIG_USEDIGEST),
              -26);

    // A P-256 signature as 128 hex digits, base64 of r || s, base64 of DER.
    std::string hex = sign(data, ec.priv, "ecdsaWithSHA256", VELT_ENCODE_HEX | VELT_SIG_DETERMINISTIC);
    ASSERT_EQ(hex.size(), 128u);
    Bytes rs = testutil::from_hex(hex);
    std::string b64rs = b64_string(rs.data(), rs.size());
    std::string der = sign(data, ec.priv, "ecdsaWithSHA256", VELT_SIG_ASN1DER | VELT_SIG_DETERMINISTIC);
    for (const std::string& s : {hex, b64rs, der})
        EXPECT_EQ(SIG_VerifyData(s.c_str(), data.data(), n, ec.pub.c_str(), "ecdsaWithSHA256", 0), 0) << s;
    // Deterministic signatures repeat; random ones differ.
    EXPECT_EQ(hex, sign(data, ec.priv, "ecdsaWithSHA256", VELT_ENCODE_HEX | VELT_SIG_DETERMINISTIC));
    EXPECT_NE(sign(data, ec.priv, "ecdsaWithSHA256", 0), sign(data, ec.priv, "ecdsaWithSHA256", 0));
    // The null-buffer length of a DER signature bounds every signature: 72
    // octets for P-256, 96 base64 characters.
    EXPECT_EQ(
        SIG_SignData(nullptr, 0, data.data(), n, ec.priv.c_str(), "", "ecdsaWithSHA256", VELT_SIG_ASN1DER),
        96);
    // Not hex and not base64.
    EXPECT_EQ(SIG_VerifyData("**", data.data(), n, ec.pub.c_str(), "ecdsaWithSHA256", 0), -7);

    // Base64url output holds no "=", "+" or "/", and verifies.
    for (int i = 0; i < 8; i++) {
        std::string u = sign(data, rsa.priv, "RSA-PSS-SHA256", VELT_ENCODE_BASE64URL);
        EXPECT_EQ(u.find_first_of("=+/"), std::string::npos);
        EXPECT_EQ(SIG_VerifyData(u.c_str(), data.data(), n, rsa.pub.c_str(), "RSA-PSS-SHA256", 0), 0);
    }
    // A PSS salt given in the name signs deterministically; verifying needs
    // no salt length.
    std::string p1 = sign(data, rsa.priv, "RSA-PSS-SHA256/0102030405", 0);
    EXPECT_EQ(p1, sign(data, rsa.priv, "RSA-PSS-SHA256/0102030405", 0));
    EXPECT_EQ(SIG_VerifyData(p1.c_str(), data.data(), n, rsa.pub.c_str(), "RSA-PSS-SHA256", 0), 0);
    // A PKCS #1 v1.5 signature one octet short is invalid.
    Bytes sig = b64_bytes(a.c_str());
    sig.pop_back();
    std::string shortSig = b64_string(sig.data(), sig.size());
    EXPECT_EQ(SIG_VerifyData(shortSig.c_str(), data.data(), n, rsa.pub.c_str(), "RSA-SHA256", 0), -22);
    // A missing file.
    EXPECT_LT(SIG_SignFile(out, 1000, "/nonexistent/file", rsa.priv.c_str(), "", "RSA-SHA256", 0), 0);
}
