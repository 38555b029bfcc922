// Certificates and requests we make, checked by the openssl command and
// GnuTLS certtool: self-signed CAs with every extension keyword, requests,
// certificates issued to a key and from a request, for each issuer family.
#include <gtest/gtest.h>

#include <string>

#include "mk_fixture.h"

using testutil::temp_path;

namespace {

// Every extension keyword a certificate string may hold.
const char* kCaExtensions =
    "notBefore=2020-01-01;notAfter=2040-12-31;serialNumber=#x0123456789;"
    "keyUsage=keyCertSign,cRLSign,digitalSignature;extKeyUsage=serverAuth,clientAuth,emailProtection;"
    "sMIMECapabilities=300b0609608648016503040102;subjectKeyIdentifier="
    "00112233445566778899aabbccddeeff00112233;"
    "certificatePolicies=2.5.29.32.0;cRLDistributionPoints=http://crl.example/ca.crl;"
    "dnsname=ca.example;rfc822Name=ca@example.com;uri=http://ca.example/;ipaddress=192.0.2.1;"
    "ipaddress=2001:db8:0:0:0:0:0:1;1.2.3.4=#0c0568656c6c6f";

struct Issuer {
    const char* key;
    long options;
    // GnuTLS refuses every RSA-PSS signature with a salt shorter than the
    // digest (OpenSSL's own as well), so that row is checked by openssl alone.
    bool certtoolVerifies = true;
};

bool certtool_verify(const std::string& ca, const std::string& cert, std::string* out) {
    bool ok = mkt::ok("certtool --verify --load-ca-certificate " + ca + " --infile " + cert, out);
    return ok && out->find("Verified") != std::string::npos && out->find("Not verified") == std::string::npos;
}

std::string last_error() {
    char buf[700] = "";
    VELT_LastError(buf, sizeof buf - 1);
    return buf;
}

}  // namespace

TEST(X509MakeOracle, OpensslAndCerttoolAcceptWhatWeMake) {
    MKT_NEED_OPENSSL();
    const bool certtool = mkt::have_tool("certtool");
    if (!certtool) std::cerr << "certtool not found: GnuTLS checks skipped\n";
    const Issuer issuers[] = {
        {"rsa", VELT_SIG_SHA256WITHRSA},
        {"rsa", VELT_SIG_RSA_PSS_SHA256},
        {"rsa", VELT_SIG_RSA_PSS_SHA384 | VELT_PSS_SALTLEN_ZERO, false},
        {"p256", VELT_SIG_ECDSA_SHA256},
        {"p384", VELT_SIG_ECDSA_SHA384 | VELT_SIG_DETERMINISTIC},
        {"p521", VELT_SIG_ECDSA_SHA512},
        {"ed25519", VELT_SIG_ED25519},
        {"ed448", VELT_SIG_ED448},
    };
    const std::string subjectPub = temp_path("subject.pub");
    ASSERT_TRUE(mkt::ok("openssl pkey -in " + mkt::key("p384") + " -pubout -out " + subjectPub));
    int n = 0;
    for (const Issuer& is : issuers) {
        const std::string key = mkt::key(is.key);
        if (key.empty()) continue;
        const std::string tag = std::string(is.key) + "-" + std::to_string(n++);
        SCOPED_TRACE(tag);
        const std::string ca = temp_path(tag + "-ca.pem"), req = temp_path(tag + ".p10"),
                          leaf = temp_path(tag + "-leaf.pem"), fromReq = temp_path(tag + "-fromreq.pem");
        const long pem = is.options | VELT_X509_FORMAT_PEM;
        ASSERT_EQ(X509_MakeCertSelf(ca.c_str(), key.c_str(), 0, 0, "CN=Velmora CA;O=Test;C=NZ", kCaExtensions,
                                    0, "", pem),
                  0)
            << last_error();
        ASSERT_EQ(X509_CertRequest(req.c_str(), key.c_str(), "CN=Requester;O=Test",
                                   "dnsname=req.example;ipaddress=198.51.100.7;keyUsage=digitalSignature;"
                                   "extKeyUsage=clientAuth,critical;1.2.3.5=#0500",
                                   "", is.options),
                  0)
            << last_error();
        ASSERT_EQ(X509_MakeCert(leaf.c_str(), ca.c_str(), subjectPub.c_str(), key.c_str(), 1001, 20,
                                "CN=leaf.example;O=Test", "dnsname=leaf.example;notBefore=2021-06-01", 0x1,
                                "", pem | VELT_X509_AUTHKEYID),
                  0)
            << last_error();
        ASSERT_EQ(X509_MakeCert(fromReq.c_str(), ca.c_str(), req.c_str(), key.c_str(), 1002, 20, "",
                                "notBefore=2022-01-01", 0x4, "", pem | VELT_X509_AUTHKEYID),
                  0)
            << last_error();

        std::string out;
        EXPECT_TRUE(mkt::ok("openssl x509 -noout -text -in " + ca, &out)) << out;
        EXPECT_NE(out.find("IP Address:2001:DB8:0:0:0:0:0:1"), std::string::npos) << out;
        EXPECT_NE(out.find("X509v3 CRL Distribution Points"), std::string::npos) << out;
        EXPECT_NE(out.find("(0x123456789)"), std::string::npos) << out;
        EXPECT_TRUE(mkt::ok("openssl verify -x509_strict -CAfile " + ca + " " + ca, &out)) << out;
        EXPECT_TRUE(mkt::ok("openssl req -verify -noout -in " + req, &out)) << out;
        EXPECT_TRUE(mkt::ok("openssl verify -x509_strict -CAfile " + ca + " " + leaf, &out)) << out;
        EXPECT_TRUE(mkt::ok("openssl verify -x509_strict -CAfile " + ca + " " + fromReq, &out)) << out;
        // Issued from the request: its subject, SAN, key usage and critical
        // extKeyUsage are carried over (key usage OR-ed with the argument).
        EXPECT_TRUE(mkt::ok(
            "openssl x509 -noout -subject -ext subjectAltName,keyUsage,extendedKeyUsage -in " + fromReq,
            &out));
        EXPECT_NE(out.find("CN = Requester"), std::string::npos) << out;
        EXPECT_NE(out.find("DNS:req.example, IP Address:198.51.100.7"), std::string::npos) << out;
        EXPECT_NE(out.find("Digital Signature, Key Encipherment"), std::string::npos) << out;
        EXPECT_NE(out.find("X509v3 Extended Key Usage: critical"), std::string::npos) << out;
        if (certtool) {
            EXPECT_TRUE(mkt::ok("certtool --certificate-info --infile " + ca, &out)) << out;
            EXPECT_TRUE(mkt::ok("certtool --crq-info --infile " + req, &out)) << out;
            if (is.certtoolVerifies) {
                EXPECT_TRUE(certtool_verify(ca, ca, &out)) << out;
                EXPECT_TRUE(certtool_verify(ca, leaf, &out)) << out;
                EXPECT_TRUE(certtool_verify(ca, fromReq, &out)) << out;
            }
        }
    }
}

TEST(X509MakeOracle, OpensslRequestWithSanIssuedByUs) {
    MKT_NEED_OPENSSL();
    const std::string caKey = mkt::key("rsa"), subjKey = mkt::key("p256");
    ASSERT_FALSE(caKey.empty());
    const std::string ca = temp_path("ossl-ca.pem"), req = temp_path("ossl.csr"),
                      cert = temp_path("ossl.pem");
    ASSERT_EQ(X509_MakeCertSelf(ca.c_str(), caKey.c_str(), 1, 10, "CN=Issuing CA",
                                "subjectKeyIdentifier=0102030405;keyUsage=keyCertSign", 0, "",
                                VELT_SIG_SHA256WITHRSA | VELT_X509_FORMAT_PEM),
              0);
    std::string out;
    ASSERT_TRUE(
        mkt::ok("openssl req -new -key " + subjKey +
                    " -subj /CN=ossl.example -addext "
                    "'subjectAltName=DNS:ossl.example,DNS:www.ossl.example,email:a@ossl.example' -out " +
                    req,
                &out))
        << out;
    ASSERT_EQ(X509_MakeCert(cert.c_str(), ca.c_str(), req.c_str(), caKey.c_str(), 77, 1, "", "", 0, "",
                            VELT_SIG_SHA256WITHRSA | VELT_X509_FORMAT_PEM | VELT_X509_AUTHKEYID),
              0)
        << last_error();
    EXPECT_TRUE(mkt::ok("openssl verify -CAfile " + ca + " " + cert, &out)) << out;
    ASSERT_TRUE(mkt::ok("openssl x509 -noout -ext subjectAltName -in " + cert, &out));
    EXPECT_NE(out.find("DNS:ossl.example, DNS:www.ossl.example, email:a@ossl.example"), std::string::npos)
        << out;
    // A request whose signature does not verify is refused (22).
    const std::string bad = temp_path("bad.csr");
    ASSERT_TRUE(mkt::ok("openssl req -in " + req + " -outform DER -out " + bad));
    auto der = testutil::read_file(bad);
    der[der.size() - 5] ^= 1;
    testutil::write_file(bad, der);
    EXPECT_EQ(X509_MakeCert(cert.c_str(), ca.c_str(), bad.c_str(), caKey.c_str(), 78, 1, "", "", 0, "",
                            VELT_SIG_SHA256WITHRSA),
              22);
}
