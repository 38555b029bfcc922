// Certificate queries compared with `openssl x509 -noout -<field>` by value
// (letter case, a leading 00 and text forms aside), and the output
// convention of the string functions.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "morvanevelt.h"
#include "x509/fixture.h"

namespace {

std::string lower_hex(std::string s) {
    std::string out;
    for (char c : s) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            out += char(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string after_eq(const std::string& s) {
    size_t p = s.find('=');
    return p == std::string::npos ? s : s.substr(p + 1);
}

// The value lines of one extension in `openssl x509 -ext` output.
std::string ext_value(const std::string& cert, const std::string& ext) {
    std::string out = x509fx::openssl("x509 -in " + cert + " -noout -ext " + ext);
    size_t nl = out.find('\n');
    out = nl == std::string::npos ? "" : out.substr(nl + 1);
    out.erase(0, out.find_first_not_of(' '));
    return out;
}

std::string query(const std::string& cert, const char* q, long options = 0) {
    const std::string path = x509fx::path(cert);
    long n = X509_QueryCert(nullptr, 0, path.c_str(), q, options);
    if (n < 0) return "error " + std::to_string(n);
    std::string out(size_t(n) + 1, '\0');
    long m = X509_QueryCert(out.data(), n, path.c_str(), q, options);
    if (m != n) return "error on second call " + std::to_string(m);
    out.resize(size_t(n));
    return out;
}

long number(const std::string& cert, const char* q) {
    return X509_QueryCert(nullptr, 0, x509fx::path(cert).c_str(), q, 0);
}

TEST(X509Query, StringsAgreeWithOpenssl) {
    X509_NEED_FIXTURES();
    const std::string leaf = "leaf.pem";
    std::string serial = lower_hex(after_eq(x509fx::openssl("x509 -in leaf.pem -noout -serial")));
    EXPECT_EQ(query(leaf, "serialNumber"), "00" + serial);  // the content octets keep their 00
    EXPECT_EQ(query(leaf, "serialNumber", VELT_X509_DECIMAL), "128");
    for (const char* which : {"startdate", "enddate"}) {
        std::string d =
            after_eq(x509fx::openssl(std::string("x509 -in leaf.pem -noout -dateopt iso_8601 -") + which));
        std::replace(d.begin(), d.end(), ' ', 'T');
        EXPECT_EQ(query(leaf, std::strcmp(which, "startdate") == 0 ? "notBefore" : "notAfter"), d);
    }
    EXPECT_EQ(query(leaf, "rfc822Name"), x509fx::openssl("x509 -in leaf.pem -noout -email"));
    EXPECT_EQ(query(leaf, "subjectKeyIdentifier"), lower_hex(ext_value(leaf, "subjectKeyIdentifier")));
    EXPECT_EQ(query(leaf, "authorityKeyIdentifier"), lower_hex(ext_value(leaf, "authorityKeyIdentifier")));
    EXPECT_EQ(query(leaf, "keyUsageString"), "digitalSignature,keyEncipherment,dataEncipherment");
    EXPECT_EQ(number(leaf, "keyUsageFlags"), 0x1 | 0x4 | 0x8);
    EXPECT_EQ(X509_KeyUsageFlags(x509fx::path(leaf).c_str()), 0xD);
    EXPECT_EQ(X509_KeyUsageFlags(x509fx::path("rsa.pem").c_str()), 0x20 | 0x40);
    EXPECT_EQ(query(leaf, "extKeyUsageString"), "serverAuth,clientAuth,emailProtection");
    EXPECT_EQ(ext_value(leaf, "extendedKeyUsage"),
              "TLS Web Server Authentication, TLS Web Client Authentication, E-mail Protection");
    EXPECT_EQ(query(leaf, "subjectAltName"),
              "rfc882Name=alice@example.com;dNSName=www.example.com;iPAddress=10.0.0.1;"
              "iPAddress=2001:0db8:0000:0000:0000:0000:0000:0001;uRI=http://example.com/x");
    EXPECT_EQ(query(leaf, "cRLDistributionPointsURI"), "http://crl.example.com/ca.crl");
    EXPECT_EQ(query(leaf, "authorityInfoAccessURI"), "http://ocsp.example.com/");
    EXPECT_EQ(query(leaf, "signatureAlgorithm"), "sha256WithRSAEncryption");
    EXPECT_EQ(query(leaf, "hashAlgorithm"), "sha256");
    EXPECT_EQ(query(leaf, "subjectPublicKeyAlgorithm"), "ecPublicKey");
    EXPECT_EQ(query("rsa.pem", "subjectPublicKeyAlgorithm"), "rsaEncryption");
    EXPECT_EQ(query("ed25519.pem", "subjectPublicKeyAlgorithm"), "Ed25519");
    EXPECT_EQ(query(leaf, "pssParams"), "");
    EXPECT_EQ(query("pss.pem", "pssParams"), "SHA256/mgf1SHA256/32/trailerFieldBC");
    EXPECT_EQ(query("pss.pem", "hashAlgorithm"), "sha256");
    EXPECT_EQ(query("dsa.pem", "hashAlgorithm"), "sha1");
    // signatureValue: the BIT STRING's octets without the unused-bits octet.
    std::string sig = x509fx::openssl(
        "x509 -in leaf.pem -outform DER | python3 -c \"import sys; from cryptography import x509; "
        "print(x509.load_der_x509_certificate(sys.stdin.buffer.read()).signature.hex())\"");
    EXPECT_EQ(query(leaf, "signatureValue"), sig);
    // Names: the RFC 4514 form equals OpenSSL's RFC2253 output.
    // (emailAddress has no RFC 4514 keyword: it is written as OID=#hex.)
    const std::string subj = query(leaf, "subjectName", VELT_X509_LDAP);
    EXPECT_EQ(subj.substr(subj.find(",CN=")),
              "," + after_eq(x509fx::openssl("x509 -in leaf.pem -noout -subject -nameopt RFC2253"))
                        .substr(std::strlen("emailAddress=alice@example.com,")));
    EXPECT_EQ(query(leaf, "issuerName", VELT_X509_LDAP),
              after_eq(x509fx::openssl("x509 -in leaf.pem -noout -issuer -nameopt RFC2253")));
    EXPECT_EQ(query(leaf, "issuerName"), "C=US;O=Velt Test;CN=Test CA RSA");
}

TEST(X509Query, Numbers) {
    X509_NEED_FIXTURES();
    EXPECT_EQ(number("leaf.pem", "version"), 3);
    EXPECT_EQ(number("v1.pem", "version"), 1);
    EXPECT_EQ(number("rsa.pem", "isCA"), 1);
    EXPECT_EQ(number("leaf.pem", "isCA"), 0);
    EXPECT_EQ(number("v1.pem", "isCA"), 0);  // no basicConstraints at all
    EXPECT_EQ(number("v1.pem", "keyUsageFlags"), 0);
    EXPECT_EQ(number("leaf.pem", "sigAlgID"), 0x03);
    EXPECT_EQ(number("pss.pem", "sigAlgID"), 0xB3);
    EXPECT_EQ(number("pss384.pem", "sigAlgID"), 0xB4);
    EXPECT_EQ(number("p384.pem", "sigAlgID"), 0x40);
    EXPECT_EQ(number("ed448.pem", "sigAlgID"), 0xC1);
    EXPECT_EQ(number("dsa.pem", "sigAlgID"), 0xD0);
    EXPECT_EQ(query("v1.pem", "subjectKeyIdentifier"), "");  // missing extension: empty
}

TEST(X509Query, KeywordParsing) {
    X509_NEED_FIXTURES();
    const std::string f = x509fx::path("leaf.pem");
    struct Case {
        const char* q;
        long expect;
    } cases[] = {
        {"VERSION", 3},       {"version/1", 3}, {"  isca", 0},     {"version/0", -29},
        {"nosuchthing", -29}, {"vers", -29},    {"versionXYZ", 3},
    };
    for (const Case& c : cases) EXPECT_EQ(X509_QueryCert(nullptr, 0, f.c_str(), c.q, 0), c.expect) << c.q;
    EXPECT_EQ(X509_QueryCert(nullptr, 0, "", "subjectName", VELT_QUERY_GETTYPE), 2);
    EXPECT_EQ(X509_QueryCert(nullptr, 0, "", "isCA", VELT_QUERY_GETTYPE), 1);
    EXPECT_EQ(X509_QueryCert(nullptr, 0, "", "isCA", 0), -6);
    EXPECT_EQ(X509_QueryCert(nullptr, 0, f.c_str(), "", 0), -6);
    EXPECT_EQ(X509_QueryCert(nullptr, 0, x509fx::path("req.pem").c_str(), "version", 0), -7);
}

TEST(X509Query, DigestsAndExactFitOutputs) {
    X509_NEED_FIXTURES();
    const std::string f = x509fx::path("leaf.pem");
    std::string fp = lower_hex(after_eq(x509fx::openssl("x509 -in leaf.pem -noout -fingerprint -sha256")));
    char buf[200];
    long n = 0;
    EXPECT_EQ(X509_CertThumb(f.c_str(), buf, sizeof buf - 1, 3), 64);
    EXPECT_EQ(std::string(buf), fp);
    fp = lower_hex(after_eq(x509fx::openssl("x509 -in leaf.pem -noout -fingerprint -sha1")));
    EXPECT_EQ(X509_CertThumb(f.c_str(), buf, sizeof buf - 1, 0), 40);
    EXPECT_EQ(std::string(buf), fp);
    // Too short by one: -30 and an empty buffer, never a truncated digest.
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(X509_CertThumb(f.c_str(), buf, 39, 0), -30);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(X509_CertThumb(f.c_str(), buf, 40, 0), 40);
    EXPECT_EQ(X509_CertThumb(f.c_str(), nullptr, 0, 0), 40);

    // Issuer and serial: SHA-256 of SEQUENCE { issuer Name, serialNumber }.
    std::string ias = x509fx::openssl(
        "x509 -in leaf.pem -outform DER | python3 -c \"import sys,hashlib; from cryptography import x509; "
        "c = x509.load_der_x509_certificate(sys.stdin.buffer.read()); "
        "b = c.issuer.public_bytes() + bytes([2, 2, 0, 0x80]); "
        "print(hashlib.sha256(bytes([0x30, len(b)]) + b).hexdigest())\"");
    EXPECT_EQ(X509_HashIssuerAndSN(f.c_str(), buf, sizeof buf - 1, 3), 64);
    EXPECT_EQ(std::string(buf), ias);
    EXPECT_EQ(X509_HashIssuerAndSN(f.c_str(), buf, 63, 3), -30);
    EXPECT_EQ(X509_HashIssuerAndSN(f.c_str(), buf, -1, 3), -6);

    // Dates: 20 characters, also as the length asked for.
    EXPECT_EQ(X509_CertIssuedOn(f.c_str(), nullptr, 0, 0), 20);
    EXPECT_EQ(X509_CertExpiresOn(f.c_str(), buf, 19, 0), -30);
    EXPECT_EQ(X509_CertExpiresOn(f.c_str(), buf, 20, 0), 20);
    EXPECT_EQ(X509_CertSerialNumber(f.c_str(), buf, 4, 0), 4);
    EXPECT_EQ(std::string(buf), "0080");
    EXPECT_EQ(X509_CertSerialNumber(f.c_str(), buf, 3, 0), -30);
    EXPECT_EQ(X509_CertSerialNumber(f.c_str(), buf, 3, VELT_X509_DECIMAL), 3);
    EXPECT_EQ(std::string(buf), "128");
    n = X509_CertSubjectName(f.c_str(), buf, sizeof buf - 1, "|", 0);
    EXPECT_EQ(n, long(std::strlen(buf)));
    EXPECT_EQ(std::string(buf), "C=GB|O=Leaf Org|OU=Unit|CN=leaf.example.com|E=alice@example.com");
}

TEST(X509Query, StringFileRoundTrip) {
    X509_NEED_FIXTURES();
    const std::string f = x509fx::path("leaf.pem");
    long n = X509_ReadStringFromFile(nullptr, 0, f.c_str(), 0);
    ASSERT_GT(n, 0);
    std::string b64(size_t(n) + 1, '\0');
    EXPECT_EQ(X509_ReadStringFromFile(b64.data(), n - 1, f.c_str(), 0), -30);
    ASSERT_EQ(X509_ReadStringFromFile(b64.data(), n, f.c_str(), 0), n);
    b64.resize(size_t(n));
    const std::string der = testutil::temp_path("out.cer"), pem = testutil::temp_path("out.pem");
    EXPECT_EQ(X509_SaveFileFromString(der.c_str(), b64.c_str(), 0), 0);
    EXPECT_EQ(testutil::read_file(der), x509fx::bytes("leaf.der"));
    EXPECT_EQ(X509_SaveFileFromString(pem.c_str(), b64.c_str(), VELT_X509_FORMAT_PEM), 0);
    int st = 0;
    std::string out = testutil::run_command("openssl x509 -in " + pem + " -noout -serial 2>&1", &st);
    EXPECT_EQ(st, 0) << out;
    // A request is not certificate data.
    n = X509_ReadStringFromFile(nullptr, 0, x509fx::path("req.pem").c_str(), 0);
    EXPECT_EQ(n, -7);
    std::string reqB64 = x509fx::openssl("req -in req.pem -outform DER | base64 -w0");
    EXPECT_EQ(X509_SaveFileFromString(der.c_str(), reqB64.c_str(), 0), -8);
}

}  // namespace
