// Certificates and requests made through the exported functions: the DER
// they carry, the failures they report, and the faults mended in the
// making code (each case here fails without its fix).
#include <gtest/gtest.h>

#include <string>

#include "mk_fixture.h"

using mkt::contains_hex;
using testutil::read_file;
using testutil::temp_path;

namespace {

const long kSha256Rsa = VELT_SIG_SHA256WITHRSA;
const char* kWindow = "notBefore=2020-01-01;notAfter=2040-12-31";

std::string with_window(const std::string& ext) {
    return std::string(kWindow) + (ext.empty() ? "" : ";" + ext);
}

long self_cert(const std::string& out, const std::string& key, const std::string& dn, const std::string& ext,
               long ku, long options) {
    return X509_MakeCertSelf(out.c_str(), key.c_str(), 0x80, 5, dn.c_str(), ext.c_str(), ku, "", options);
}

std::string last_error() {
    char buf[700] = "";
    VELT_LastError(buf, sizeof buf - 1);
    return buf;
}

class X509Make : public ::testing::Test {
  protected:
    void SetUp() override {
        MKT_NEED_OPENSSL();
        rsa = mkt::key("rsa");
        if (rsa.empty() || mkt::key("p256").empty()) GTEST_SKIP() << "openssl genpkey failed";
    }
    std::string rsa;
};

}  // namespace

TEST_F(X509Make, SelfSignedFields) {
    const std::string out = temp_path("self.cer");
    ASSERT_EQ(self_cert(out, rsa, "CN=Test;O=Velmora",
                        with_window("keyUsage=digitalSignature,keyEncipherment;serialNumber=#x80"), 0x20,
                        kSha256Rsa),
              0)
        << last_error();
    auto der = read_file(out);
    EXPECT_TRUE(contains_hex(der, "a00302010202020080"));              // v3, serial 00 80
    EXPECT_TRUE(contains_hex(der, "300d06092a864886f70d01010b0500"));  // sha256WithRSAEncryption
    EXPECT_TRUE(contains_hex(der, "170d3230303130313030303030315a"));  // 200101000001Z
    EXPECT_TRUE(contains_hex(der, "170d3430313233313233353935395a"));  // 401231235959Z
    EXPECT_TRUE(contains_hex(der, "0603551d130101ff040530030101ff"));  // basicConstraints cA
    EXPECT_TRUE(contains_hex(der, "0603551d0f0101ff0404030202a4"));    // keyUsage 0x25

    // noncritical is an explicit FALSE; version 1 drops every extension;
    // a validity ending in 2050 is a GeneralizedTime.
    ASSERT_EQ(self_cert(out, rsa, "CN=T",
                        "notBefore=2020-01-01;notAfter=2050-01-01;keyUsage=noncritical,"
                        "digitalSignature",
                        0, kSha256Rsa | VELT_X509_NO_BASIC),
              0);
    der = read_file(out);
    EXPECT_TRUE(contains_hex(der, "0603551d0f0101000404030207800"));
    EXPECT_TRUE(contains_hex(der, "180f32303530303130313233353935395a"));
    EXPECT_FALSE(contains_hex(der, "0603551d13"));
    ASSERT_EQ(self_cert(out, rsa, "CN=T", with_window("keyUsage=digitalSignature"), 0x4,
                        kSha256Rsa | VELT_X509_VERSION1),
              0);
    der = read_file(out);
    EXPECT_FALSE(contains_hex(der, "a003020102"));
    EXPECT_FALSE(contains_hex(der, "0603551d"));

    // An empty subject makes subjectAltName critical.
    ASSERT_EQ(self_cert(out, rsa, "$", with_window("dnsname=a.example;dnsname=b.example"), 0, kSha256Rsa), 0);
    der = read_file(out);
    EXPECT_TRUE(contains_hex(der, "30000"));
    EXPECT_TRUE(contains_hex(der,
                             "0603551d110101ff0418301682"
                             "0961"
                             "2e6578616d706c65"
                             "8209622e6578616d706c65"));
}

TEST_F(X509Make, ValidityRules) {
    const std::string out = temp_path("v.cer");
    EXPECT_EQ(X509_MakeCertSelf(out.c_str(), rsa.c_str(), 1, 0, "CN=T", "", 0, "", kSha256Rsa), 6);
    EXPECT_EQ(
        X509_MakeCertSelf(out.c_str(), rsa.c_str(), 1, 0, "CN=T", "notAfter=2030-12-31", 0, "", kSha256Rsa),
        0);
    EXPECT_TRUE(contains_hex(read_file(out), "170d3330313233313233353935395a"));
    // 29 February plus one year is 1 March.
    EXPECT_EQ(X509_MakeCertSelf(out.c_str(), rsa.c_str(), 1, 1, "CN=T", "notBefore=2024-02-29T12:00:00", 0,
                                "", kSha256Rsa),
              0);
    EXPECT_TRUE(contains_hex(read_file(out), "170d3235303330313132303030305a"));
    for (const char* bad : {"notBefore=2024-02-30", "notAfter=yesterday"})
        EXPECT_EQ(X509_MakeCertSelf(out.c_str(), rsa.c_str(), 1, 1, "CN=T", bad, 0, "", kSha256Rsa), 6)
            << bad;
}

TEST_F(X509Make, RequestAttributesAndFormats) {
    const std::string out = temp_path("r.p10");
    ASSERT_EQ(X509_CertRequest(out.c_str(), rsa.c_str(), "CN=R", "", "", kSha256Rsa), 0) << last_error();
    auto text = read_file(out);
    EXPECT_EQ(std::string(text.begin(), text.begin() + 35), "-----BEGIN CERTIFICATE REQUEST-----");
    ASSERT_EQ(X509_CertRequest(out.c_str(), rsa.c_str(), "CN=R", "", "", kSha256Rsa | VELT_X509_FORMAT_BIN),
              0);
    auto der = read_file(out);
    EXPECT_EQ(der[0], 0x30);
    EXPECT_TRUE(contains_hex(der, "0203010001a000300d"));  // key, empty attributes, algorithm
    ASSERT_EQ(X509_CertRequest(out.c_str(), rsa.c_str(), "CN=R", "", "",
                               kSha256Rsa | VELT_X509_FORMAT_BIN | VELT_X509_REQ_NO_ATTRS),
              0);
    der = read_file(out);
    EXPECT_TRUE(contains_hex(der, "0203010001300d"));
    ASSERT_EQ(
        X509_CertRequest(out.c_str(), rsa.c_str(), "CN=R", "keyUsage=digitalSignature;dnsname=r.example", "",
                         kSha256Rsa | VELT_X509_FORMAT_BIN),
        0);
    der = read_file(out);
    // extensionRequest { subjectAltName, keyUsage without a critical field }
    EXPECT_TRUE(contains_hex(der, "06092a864886f70d01090e"));
    EXPECT_TRUE(contains_hex(der, "0603551d0f040403020780"));
    EXPECT_EQ(X509_CertRequest(out.c_str(), rsa.c_str(), "CN=R", "serialNumber=01", "", kSha256Rsa), 6);
}

TEST_F(X509Make, PssParametersFollowTheRowOnly) {
    // VELT_X509_UTF8 shares its bit with the signer's MGF1-SHA1 flag and
    // VELT_X509_REQ_NO_ATTRS lies in its salt-length field: neither may
    // change the signature, whose parameters are the row's hash, MGF1 with
    // that hash, a salt of the digest length (or 0) and trailer field 1.
    const std::string out = temp_path("pss.cer");
    const long opts = VELT_SIG_RSA_PSS_SHA256 | VELT_X509_UTF8 | VELT_X509_REQ_NO_ATTRS;
    const std::string params =
        "a00f300d06096086480165030402010500"
        "a11c301a06092a864886f70d010108300d06096086480165030402010500";
    ASSERT_EQ(self_cert(out, rsa, "CN=pss", kWindow, 0, opts), 0) << last_error();
    auto der = read_file(out);
    EXPECT_TRUE(contains_hex(der, params + "a203020120a303020101"));
    std::string o;
    const std::string pem = temp_path("pss.pem");
    ASSERT_TRUE(mkt::ok("openssl x509 -inform DER -in " + out + " -out " + pem));
    EXPECT_TRUE(mkt::ok("openssl verify -CAfile " + pem + " " + pem, &o)) << o;
    ASSERT_EQ(self_cert(out, rsa, "CN=pss", kWindow, 0, opts | VELT_PSS_SALTLEN_ZERO), 0);
    der = read_file(out);
    EXPECT_TRUE(contains_hex(der, params + "a203020100a303020101"));
    ASSERT_TRUE(mkt::ok("openssl x509 -inform DER -in " + out + " -out " + pem));
    EXPECT_TRUE(mkt::ok("openssl verify -CAfile " + pem + " " + pem, &o)) << o;
    const std::string req = temp_path("pss.p10");
    ASSERT_EQ(X509_CertRequest(req.c_str(), rsa.c_str(), "CN=pss", "dnsname=p.example", "",
                               VELT_SIG_RSA_PSS_SHA384 | VELT_X509_UTF8 | VELT_X509_REQ_NO_ATTRS),
              0);
    EXPECT_TRUE(mkt::ok("openssl req -verify -noout -in " + req, &o)) << o;
}

TEST_F(X509Make, FailuresArePositiveAndLeaveNoFile) {
    const std::string out = temp_path("fail.cer");
    struct Case {
        const char* what;
        long options;
        const char* ext;
        const char* key;
        long want;
    } cases[] = {
        {"dsaWithSha1 row", 0xD0, "", "rsa", 17},
        {"unknown id", 0x99, "", "rsa", 17},
        {"SAN twice", kSha256Rsa, "dnsname=a;2.5.29.17=#3000", "rsa", 6},
        {"basicConstraints twice", kSha256Rsa, "2.5.29.19=#3000", "rsa", 6},
        {"one OID twice", kSha256Rsa, "1.2.3=#0500;1.2.3=#0500", "rsa", 6},
        {"bad keyUsage", kSha256Rsa, "keyUsage=noncritical,digitalSignatur", "rsa", 6},
        {"rsassaPss key", kSha256Rsa, "", "rsapss", 19},
        {"EC key on RSA row", kSha256Rsa, "", "p256", 15},
        {"RSA key on ECDSA row", VELT_SIG_ECDSA_SHA256, "", "rsa", 8},
        {"Ed448 key on Ed25519 row", VELT_SIG_ED25519, "", "ed448", 36},
    };
    for (const Case& c : cases) {
        const std::string key = mkt::key(c.key);
        if (key.empty()) continue;
        long rc = self_cert(out, key, "CN=F", with_window(c.ext), 0, c.options);
        EXPECT_EQ(rc, c.want) << c.what << ": " << last_error();
        EXPECT_EQ(VELT_ErrorCode(), c.want) << c.what;
        EXPECT_FALSE(mkt::exists(out)) << c.what;
    }
    // Without the noncritical name the bad name fails too; with a name that
    // is fine, the same string succeeds.
    EXPECT_EQ(self_cert(out, rsa, "CN=F", with_window("2.5.29.19=#3000"), 0, kSha256Rsa | VELT_X509_NO_BASIC),
              0);
    // A failed call leaves an existing output untouched.
    auto before = read_file(out);
    EXPECT_EQ(self_cert(out, rsa, "CN=F", "colour=blue", 0, kSha256Rsa), 6);
    EXPECT_EQ(read_file(out), before);
    EXPECT_EQ(X509_MakeCertSelf(out.c_str(), "", 1, 1, "CN=F", "", 0, "", 0), 6);
    EXPECT_EQ(X509_MakeCertSelf(out.c_str(), rsa.c_str(), 1, 1, "CN=F", "", 0, nullptr, 0), 6);
    EXPECT_EQ(X509_MakeCertSelf(out.c_str(), "no-such-key.pem", 1, 1, "CN=F", "", 0, "", 0), 1);
    EXPECT_EQ(X509_CertRequest(out.c_str(), rsa.c_str(), "CN=F", "", "", 0xD0), 17);
}

TEST_F(X509Make, IssuerKeyMustMatchIssuerCertificate) {
    const std::string ca = temp_path("ca.cer"), leaf = temp_path("leaf.cer");
    const std::string other = mkt::key("rsa2");
    ASSERT_FALSE(other.empty());
    ASSERT_EQ(self_cert(ca, rsa, "CN=CA", kWindow, 0, kSha256Rsa), 0);
    const std::string pub = temp_path("p256.pub");
    ASSERT_TRUE(mkt::ok("openssl pkey -in " + mkt::key("p256") + " -pubout -out " + pub));
    EXPECT_EQ(X509_MakeCert(leaf.c_str(), ca.c_str(), pub.c_str(), other.c_str(), 7, 1, "CN=leaf", kWindow, 0,
                            "", kSha256Rsa),
              21);
    EXPECT_FALSE(mkt::exists(leaf));
    // The issuer certificate has no subjectKeyIdentifier.
    EXPECT_EQ(X509_MakeCert(leaf.c_str(), ca.c_str(), pub.c_str(), rsa.c_str(), 7, 1, "CN=leaf", kWindow, 0,
                            "", kSha256Rsa | VELT_X509_AUTHKEYID),
              25);
    EXPECT_EQ(X509_MakeCert(leaf.c_str(), ca.c_str(), pub.c_str(), rsa.c_str(), 7, 1, "CN=leaf", kWindow, 0,
                            "", kSha256Rsa),
              0);
    EXPECT_TRUE(contains_hex(read_file(leaf), "0603551d130101ff04023000"));  // not a CA
}

TEST_F(X509Make, EncryptedPrivateKeys) {
    // PKCS #8 keys encrypted with PBES2: the password opens them for
    // certificates and requests of either family; a wrong one is refused.
    const std::string out = temp_path("enc.cer");
    struct Case {
        const char* key;
        long options;
        long wrongPasswordCode;
    } cases[] = {{"rsa", kSha256Rsa, 15}, {"p256", VELT_SIG_ECDSA_SHA256, 8}, {"ed25519", VELT_SIG_ED25519, 8}};
    for (const Case& c : cases) {
        const std::string enc = temp_path(std::string(c.key) + "-enc.pem");
        ASSERT_TRUE(mkt::ok("openssl pkcs8 -topk8 -v2 aes-256-cbc -passout pass:s3cret -in " + mkt::key(c.key) +
                            " -out " + enc));
        EXPECT_EQ(X509_MakeCertSelf(out.c_str(), enc.c_str(), 5, 1, "CN=E", "", 0, "s3cret", c.options), 0)
            << c.key << ": " << last_error();
        EXPECT_EQ(X509_CertRequest(out.c_str(), enc.c_str(), "CN=E", "", "s3cret", c.options), 0) << c.key;
        EXPECT_EQ(X509_MakeCertSelf(out.c_str(), enc.c_str(), 5, 1, "CN=E", "", 0, "wrong", c.options),
                  c.wrongPasswordCode)
            << c.key;
    }
}
