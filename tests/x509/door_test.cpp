// The internal operations other subsystems call: readers with their shape
// tests, issuer-and-serial, the subject key identifier, public keys, and the
// structural extension finder.
#include "morvanevelt.h"
#include "rsa/rsa.h"
#include "sig/sig.h"
#include "x509/fixture.h"
#include "x509/x509.h"

using testutil::Bytes;

namespace {

Bytes der_of(AsnNode* chain) {
    int64_t n = 0;
    uint8_t* p = asn_Store(chain, &n);
    Bytes out(p, p + n);
    efree_mem(p);
    return out;
}

TEST(X509Door, ReadersApplyTheirShapeTests) {
    X509_NEED_FIXTURES();
    struct Case {
        const char* file;
        long cert, crl, csr;  // expected error of each reader (0 = read)
    } cases[] = {
        {"leaf.pem", 0, 7, 7},
        {"ca.crl", 7, 0, 7},
        {"req.pem", 7, 7, 0},
        {"rsa.key", 7, 7, 7},
    };
    for (const Case& c : cases) {
        const std::string f = x509fx::path(c.file);
        long e1 = -1, e2 = -1, e3 = -1;
        AsnNode* a = x509readCertFromFileOrString(f.c_str(), &e1);
        AsnNode* b = x509readCrlFromFileOrString(f.c_str(), &e2);
        AsnNode* d = x509readCsrFromFileOrString(f.c_str(), &e3);
        EXPECT_EQ(e1, c.cert) << c.file;
        EXPECT_EQ(e2, c.crl) << c.file;
        EXPECT_EQ(e3, c.csr) << c.file;
        EXPECT_EQ(a != nullptr, c.cert == 0);
        asn_Free(&a);
        asn_Free(&b);
        asn_Free(&d);
    }
    long e = 0;
    EXPECT_EQ(x509readCertFromFileOrString(x509fx::path("none.pem").c_str(), &e), nullptr);
    EXPECT_EQ(e, 1);
    EXPECT_EQ(x509readCertFromFileOrString("", &e), nullptr);
    EXPECT_EQ(e, 14);
}

TEST(X509Door, IssuerAndSerialAndKeyIdentifier) {
    X509_NEED_FIXTURES();
    const std::string f = x509fx::path("leaf.pem");
    long e = 0;
    AsnNode* ias = x509getIssuerAndSNFromFile(f.c_str(), &e);
    ASSERT_NE(ias, nullptr);
    AsnNode* issuer = x509getIssuerDNFromFile(x509fx::path("leaf.der").c_str(), &e);
    AsnNode* serial = asn_NewIntegerBig(Bytes{0x00, 0x80}.data(), 2);
    AsnNode* made = x509makeIssuerAndSN(issuer, serial);
    EXPECT_EQ(der_of(ias), der_of(made));
    Bytes d = der_of(ias);
    EXPECT_EQ(d[0], 0x30);
    EXPECT_EQ(Bytes(d.end() - 4, d.end()), (Bytes{0x02, 0x02, 0x00, 0x80}));
    asn_Free(&ias);
    asn_Free(&issuer);
    asn_Free(&serial);
    asn_Free(&made);

    AsnNode* ski = x509getSubjectKeyIdFromFile(f.c_str(), &e);
    ASSERT_NE(ski, nullptr);
    EXPECT_EQ(ski->tag, 4u);
    char hex[64] = "";
    X509_QueryCert(hex, sizeof hex - 1, f.c_str(), "subjectKeyIdentifier", 0);
    EXPECT_EQ(testutil::to_hex(ski->data, size_t(ski->length)), hex);
    asn_Free(&ski);
    EXPECT_EQ(x509getSubjectKeyIdFromFile(x509fx::path("v1.pem").c_str(), &e), nullptr);
    EXPECT_EQ(e, 10);
}

TEST(X509Door, PublicKeys) {
    X509_NEED_FIXTURES();
    RsaKey* key = rsaNew();
    EXPECT_EQ(x509getRSAPublicKeyFromFile(key, x509fx::path("rsa.pem").c_str()), 0);
    EXPECT_EQ(rsaBitLength(key), 2048u);
    rsaFree(&key);
    key = rsaNew();
    EXPECT_EQ(x509getRSAPublicKeyFromFile(key, x509fx::path("p256.pem").c_str()), 19);
    rsaFree(&key);
    velt::sig::DsaKey* dsa = velt::sig::dsaNew();
    EXPECT_EQ(x509getDSAPublicKeyFromFile(dsa, x509fx::path("dsa.pem").c_str()), 0);
    EXPECT_EQ(dsa->pbits, 1024u);
    velt::sig::dsaFree(&dsa);
    std::string s;
    EXPECT_EQ(x509getECCPublicKeyFromFile(s, x509fx::path("p521.pem").c_str()), 0);
    EXPECT_EQ(s, x509fx::openssl("pkey -in p521.key -pubout -outform DER | base64 -w0"));
    EXPECT_EQ(x509getECCPublicKeyFromFile(s, x509fx::path("rsa.pem").c_str()), 36);
    AsnNode* cert = x509readCertFromFileOrString(x509fx::path("pss.pem").c_str());
    X509Parts p;
    ASSERT_EQ(x509locate(cert, &p), 0);
    EXPECT_EQ(x509getAlgorithmName(p.outerSigAlg), "rsaPSS");
    asn_Free(&cert);
}

// Extensions are found by extnID at the Extensions level only: an
// extension whose value carries the bytes of another extension's OID
// followed by an OCTET STRING is not taken for that extension; in a request
// only the extensionRequest attribute counts.
TEST(X509Door, ExtensionsFoundStructurally) {
    X509_NEED_FIXTURES();
    // 1.2.3.4 = SEQUENCE { OID 2.5.29.14, OCTET STRING 01 02 03 04 }
    int st = 0;
    std::string out = testutil::run_command(
        "cd " + x509fx::dir() +
            " && openssl req -x509 -key p256.key -subj /CN=decoy -days 1 -out decoy.pem"
            " -addext 1.2.3.4=DER:300b0603551d0e0404010203040000 -addext basicConstraints=CA:FALSE"
            " -addext subjectKeyIdentifier=none 2>&1"
            " && openssl req -new -key p256.key -subj /CN=decoyreq -out decoy.csr"
            " -addext 1.2.3.4=DER:300b0603551d0e0404010203040000 2>&1",
        &st);
    ASSERT_EQ(st, 0) << out;
    AsnNode* cert = x509readCertFromFileOrString(x509fx::path("decoy.pem").c_str());
    ASSERT_NE(cert, nullptr);
    AsnNode* v = x509findExtension(cert, "subjectKeyIdentifier");
    EXPECT_EQ(v, nullptr);
    asn_Free(&v);
    v = x509findExtension(cert, "1.2.3.4");
    EXPECT_NE(v, nullptr);
    asn_Free(&v);
    int critical = -1;
    v = x509findExtension(cert, "basicConstraints", &critical);
    EXPECT_NE(v, nullptr);
    EXPECT_EQ(critical, 0);
    asn_Free(&v);
    asn_Free(&cert);
    char hex[64] = "x";
    EXPECT_EQ(
        X509_QueryCert(hex, sizeof hex - 1, x509fx::path("decoy.pem").c_str(), "subjectKeyIdentifier", 0), 0);

    AsnNode* csr = x509readCsrFromFileOrString(x509fx::path("leaf.csr").c_str());
    ASSERT_NE(csr, nullptr);
    v = x509findExtension(csr, "subjectAltName");
    EXPECT_NE(v, nullptr);  // inside extensionRequest
    asn_Free(&v);
    asn_Free(&csr);
    csr = x509readCsrFromFileOrString(x509fx::path("decoy.csr").c_str());
    v = x509findExtension(csr, "subjectKeyIdentifier");
    EXPECT_EQ(v, nullptr);
    asn_Free(&v);
    asn_Free(&csr);
}

}  // namespace
