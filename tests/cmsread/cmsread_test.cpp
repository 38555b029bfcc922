// CMS signed-data reading and verification against objects made by the
// openssl command (and python-cryptography), hand-built signer infos for the
// attribute rules, queries against `openssl cms -cmsout -print`, streaming
// verification, certificates-only chains and hostile input.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/sha.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>
#include <string>

#include "cms/cms.h"
#include "common/test_util.h"
#include "morvanevelt.h"

using testutil::Bytes;

namespace {

// The fixture folder, built once per run; empty when the tools are missing.
const std::string& fx() {
    static std::string dir = [] {
        std::string d = "fixtures";
        int st = 0;
        testutil::run_command(std::string("sh ") + VELT_SOURCE_DIR + "/tests/cmsread/make_fixtures.sh " + d +
                                  " >fixtures.log 2>&1",
                              &st);
        FILE* f = std::fopen((d + "/done").c_str(), "rb");
        if (!f) return std::string();
        std::fclose(f);
        return d + "/";
    }();
    return dir;
}

#define NEED_FIXTURES() \
    if (fx().empty()) GTEST_SKIP() << "openssl or python3-cryptography not usable: fixtures not built"

std::string lasterr() {
    char buf[1024] = {0};
    VELT_LastError(buf, sizeof buf - 1);
    return buf;
}

std::string p(const std::string& name) {
    return fx() + name;
}

std::string sha256_hex(const Bytes& b) {
    uint8_t d[32];
    SHA256(b.data(), b.size(), d);
    return testutil::to_hex(d, 32);
}

std::string query(const std::string& file, const std::string& q) {
    char buf[8192] = {0};
    long n = CMS_QuerySigData(buf, sizeof buf - 1, file.c_str(), q.c_str(), 0);
    return n < 0 ? "ERR" + std::to_string(n) : std::string(buf, size_t(n));
}

// ---- Messages made by openssl ----

TEST(CmsReadOpenssl, VerifiesAndReadsEachForm) {
    NEED_FIXTURES();
    const Bytes content = testutil::read_file(p("content.txt"));
    const std::string hex = sha256_hex(content);
    struct Case {
        const char* file;
        const char* cert;  // relative to the fixtures, or ""
        bool digest;       // pass the content digest
        long options;
        long expected;
    } cases[] = {
        {"att.p7m", "", false, 0, 0},
        {"att.pem", "", false, 0, 0},
        {"det.p7s", "", true, 0, 0},
        {"det.p7s", "", false, 0, -20},  // detached without the digest
        {"stream.p7m", "", false, 0, 0},
        {"stream.p7m", "", false, VELT_CMS_BIGFILE, 0},
        {"att.p7m", "", false, VELT_CMS_BIGFILE, 0},
        {"noattr.p7m", "", false, 0, 0},
        {"nocerts.p7m", "rsa.crt", false, 0, 0},
        {"nocerts.p7m", "", false, 0, -10},
        {"keyid.p7m", "", false, 0, 0},
        {"sha384.p7m", "", false, 0, 0},
        {"pss.p7m", "", false, 0, 0},
        {"pss_mgf1.p7m", "", false, 0, 0},  // MGF1 under SHA-1 beside SHA-256
        {"ec.p7m", "", false, 0, 0},
        {"dsa.p7m", "", false, 0, 0},
        {"multi.p7m", "", false, 0, 0},
        {"multi.p7m", "ec.crt", false, 0, 0},
        {"multi.p7m", "rsa.crt", false, 0, 0},
        {"two.p7m", "ec.crt", false, 0, 0},
        {"ec.p7m", "rsa.crt", false, 0, -8},  // a certificate that does not match is used anyway
        {"att.pem", "", false, VELT_CMS_BIGFILE, -7},
    };
    for (const auto& c : cases) {
        std::string cert = *c.cert ? p(c.cert) : "";
        long rc = CMS_VerifySigData(p(c.file).c_str(), cert.c_str(), c.digest ? hex.c_str() : "", c.options);
        EXPECT_EQ(rc, c.expected) << c.file << " cert=" << c.cert << " opts=" << c.options << ": "
                                  << lasterr();
    }
    // The content comes back byte-equal, from files, PEM text and BIGFILE.
    for (const char* f : {"att.p7m", "att.pem", "stream.p7m", "noattr.p7m", "multi.p7m", "two.p7m"}) {
        std::string out = testutil::temp_path(std::string(f) + ".out");
        EXPECT_EQ(CMS_ReadSigData(out.c_str(), p(f).c_str(), 0), long(content.size())) << f;
        EXPECT_EQ(testutil::read_file(out), content) << f;
    }
    std::string out = testutil::temp_path("stream.big.out");
    EXPECT_EQ(CMS_ReadSigData(out.c_str(), p("stream.p7m").c_str(), VELT_CMS_BIGFILE), long(content.size()));
    EXPECT_EQ(testutil::read_file(out), content);
    EXPECT_EQ(CMS_ReadSigData(out.c_str(), p("det.p7s").c_str(), 0), -20);
    // PEM given as a string, into memory.
    Bytes pem = testutil::read_file(p("att.pem"));
    std::string pemText(pem.begin(), pem.end());
    char buf[64];
    EXPECT_EQ(CMS_ReadSigDataToString(nullptr, 0, pemText.c_str(), 0), long(content.size()));
    EXPECT_EQ(CMS_ReadSigDataToString(buf, 10, pemText.c_str(), 0), -30);
    ASSERT_EQ(CMS_ReadSigDataToString(buf, sizeof buf - 1, pemText.c_str(), 0), long(content.size()));
    EXPECT_STREQ(buf, "This is some sample content.");
    EXPECT_EQ(CMS_VerifySigData(pemText.c_str(), "", "", 0), 0);
}

TEST(CmsReadOpenssl, LargeStreamedContent) {
    NEED_FIXTURES();
    const Bytes big = testutil::read_file(p("big.bin"));
    EXPECT_EQ(CMS_VerifySigData(p("bigstream.p7m").c_str(), "", "", VELT_CMS_BIGFILE), 0) << lasterr();
    EXPECT_EQ(CMS_VerifySigData(p("bigstream.p7m").c_str(), "", "", 0), 0) << lasterr();
    std::string out = testutil::temp_path("big.out");
    ASSERT_EQ(CMS_ReadSigData(out.c_str(), p("bigstream.p7m").c_str(), VELT_CMS_BIGFILE), long(big.size()));
    EXPECT_EQ(testutil::read_file(out), big);
}

// Flips one byte of the content inside a copy of a message.
std::string tampered(const std::string& name) {
    Bytes b = testutil::read_file(p(name));
    const std::string needle = "sample";
    auto it = std::search(b.begin(), b.end(), needle.begin(), needle.end());
    EXPECT_NE(it, b.end());
    *it ^= 0x20;
    std::string out = testutil::temp_path("tampered-" + name);
    testutil::write_file(out, b);
    return out;
}

TEST(CmsReadOpenssl, TamperedContentFails) {
    NEED_FIXTURES();
    for (const char* f : {"att.p7m", "noattr.p7m", "stream.p7m", "ec.p7m", "pss.p7m", "dsa.p7m"}) {
        std::string t = tampered(f);
        EXPECT_EQ(CMS_VerifySigData(t.c_str(), "", "", 0), -22) << f;
    }
    EXPECT_EQ(CMS_VerifySigData(tampered("att.p7m").c_str(), "", "", 0), -22);
    EXPECT_NE(std::string(lasterr()).find("Message digests do not match"), std::string::npos);
    EXPECT_EQ(CMS_VerifySigData(tampered("stream.p7m").c_str(), "", "", VELT_CMS_BIGFILE), -22);
}

// Streaming verification chooses the digest of the signer it checks, not
// the first one listed: two signers, SHA-256 (RSA) and SHA-384 (P-256).
TEST(CmsReadStreaming, SignerDigestOtherThanFirstListed) {
    NEED_FIXTURES();
    EXPECT_EQ(CMS_QuerySigData(nullptr, 0, p("two.p7m").c_str(), "CountOfDigestAlgs", 0), 2);
    for (const char* cert : {"ec.crt", "rsa.crt", ""}) {
        EXPECT_EQ(CMS_VerifySigData(p("two.p7m").c_str(), *cert ? p(cert).c_str() : "", "", VELT_CMS_BIGFILE),
                  0)
            << cert << ": " << lasterr();
    }
    // The signer's algorithm missing from the SET (sha384 listed as sha512):
    // the content is read a second time with it.
    Bytes b = testutil::read_file(p("sha384.p7m"));
    const uint8_t sha384[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x02};
    auto it = std::search(b.begin(), b.end(), std::begin(sha384), std::end(sha384));
    ASSERT_NE(it, b.end());
    it[8] = 0x03;
    std::string f = testutil::temp_path("unlisted.p7m");
    testutil::write_file(f, b);
    EXPECT_EQ(CMS_VerifySigData(f.c_str(), "", "", VELT_CMS_BIGFILE), 0) << lasterr();
    EXPECT_EQ(CMS_VerifySigData(f.c_str(), "", "", 0), 0);
}

// ---- Queries ----

// The hex bytes of an `openssl cms -cmsout -print` dump that follows line i.
std::string dump_hex(const std::vector<std::string>& lines, size_t i) {
    std::string hex;
    // Rows look like "      0000 - bc c1 d2 ...-a4 49   ascii".
    auto row_body = [](const std::string& line, std::string& body) {
        size_t i = line.find_first_not_of(' ');
        if (i == std::string::npos || i == 0 || line.size() < i + 7 || line.compare(i + 4, 3, " - ") != 0)
            return false;
        for (size_t k = i; k < i + 4; ++k)
            if (!std::isxdigit(static_cast<unsigned char>(line[k]))) return false;
        body = line.substr(i + 7);
        return true;
    };
    for (++i; i < lines.size(); ++i) {
        std::string body;
        if (!row_body(lines[i], body)) {
            if (!hex.empty()) break;
            continue;
        }
        body = body.substr(0, body.find("  "));
        for (char c : body)
            if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
    }
    return hex;
}

TEST(CmsReadQuery, AgreesWithOpensslPrint) {
    NEED_FIXTURES();
    for (const char* f : {"att.p7m", "pss.p7m", "keyid.p7m", "sha384.p7m"}) {
        std::string printed = testutil::run_command("openssl cms -cmsout -print -inform DER -in " + p(f));
        std::vector<std::string> lines;
        size_t start = 0, nl;
        while ((nl = printed.find('\n', start)) != std::string::npos) {
            lines.push_back(printed.substr(start, nl - start));
            start = nl + 1;
        }
        std::string sigHex, mdHex, when, serial;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].find("        signature: ") == 0) sigHex = dump_hex(lines, i);
            if (lines[i].find("object: messageDigest") != std::string::npos) mdHex = dump_hex(lines, i);
            size_t u = lines[i].find("UTCTIME:");
            if (u != std::string::npos) when = lines[i].substr(u + 8);
            size_t s = lines[i].find("serialNumber: 0x");
            if (s != std::string::npos) serial = lines[i].substr(s + 16);
        }
        SCOPED_TRACE(f);
        EXPECT_EQ(query(p(f), "signatureValue"), sigHex);
        EXPECT_EQ(query(p(f), "messageDigest"), mdHex);
        EXPECT_EQ(query(p(f), "DigestOfeContent"), mdHex);
        struct tm t {};
        ASSERT_TRUE(strptime(when.c_str(), "%b %d %H:%M:%S %Y", &t)) << when;
        char iso[32];
        std::strftime(iso, sizeof iso, "%Y-%m-%d %H:%M:%S", &t);
        EXPECT_EQ(query(p(f), "SigningTime"), iso);
        std::transform(serial.begin(), serial.end(), serial.begin(), ::tolower);
        if (!serial.empty() && std::string(f) != "keyid.p7m") {
            EXPECT_NE(query(p(f), "signerIdentifier").find(serial), std::string::npos);
        }
    }
}

TEST(CmsReadQuery, NumbersStringsAndIndices) {
    NEED_FIXTURES();
    auto num = [](const std::string& f, const char* q) {
        return CMS_QuerySigData(nullptr, 0, p(f).c_str(), q, 0);
    };
    EXPECT_EQ(num("att.p7m", "Version"), 1);
    EXPECT_EQ(num("keyid.p7m", "Version"), 3);
    EXPECT_EQ(num("keyid.p7m", "signerInfoVersion"), 3);
    EXPECT_EQ(num("keyid.p7m", "HASsubjectKeyIdentifier"), 1);
    EXPECT_EQ(num("att.p7m", "HASsubjectKeyIdentifier"), 0);
    EXPECT_EQ(num("att.p7m", "HASeContent"), 1);
    EXPECT_EQ(num("det.p7s", "HASeContent"), 0);
    EXPECT_EQ(num("multi.p7m", "CountOfSigners"), 2);
    EXPECT_EQ(num("multi.p7m", "countofcertificates"), 2);
    EXPECT_EQ(num("noattr.p7m", "HASsignedAttrs"), 0);
    EXPECT_EQ(num("att.p7m", "HASsignedAttributes"), 1);
    EXPECT_EQ(query(p("att.p7m"), "eContentType"), "data");
    EXPECT_EQ(query(p("sha384.p7m"), "digestAlgorithm"), "sha384");
    EXPECT_EQ(query(p("pss.p7m"), "signatureAlgorithm"), "rsaPSS");
    EXPECT_FALSE(query(p("pss.p7m"), "pssParams").empty());
    EXPECT_EQ(query(p("ec.p7m"), "signatureAlgorithm"), "ecdsaWithSHA256");
    EXPECT_EQ(num("noattr.p7m", "messageDigest"), 0);
    EXPECT_EQ(num("noattr.p7m", "SigningTime"), 0);
    EXPECT_EQ(num("nocerts.p7m", "certificate"), 0);
    EXPECT_EQ(num("nocerts.p7m", "CountOfCerts"), 0);
    // certificate N is the N-th of the certificates field.
    Bytes rsa = testutil::read_file(p("rsa.der")), ec = testutil::read_file(p("ec.der"));
    std::set<std::string> want = {testutil::to_hex(rsa), testutil::to_hex(ec)}, got;
    for (const char* q : {"certificate", "certificate/2"}) {
        char buf[4096];
        long n = CMS_QuerySigData(buf, sizeof buf - 1, p("multi.p7m").c_str(), q, 0);
        ASSERT_GT(n, 0) << q;
        Bytes der(n);
        der.resize(size_t(CNV_BytesFromB64Str(der.data(), n, buf)));
        got.insert(testutil::to_hex(der));
    }
    EXPECT_EQ(got, want);
    // Indices and keywords refused.
    struct {
        const char* file;
        const char* q;
        long expected;
    } errs[] = {
        {"att.p7m", "signatureAlgorithm/2", -11},
        {"att.p7m", "certificate/2", -11},
        {"att.p7m", "signatureAlgorithm/0", -29},
        {"att.p7m", "signatureAlgorithm/-1", -29},
        {"att.p7m", "signatureAlgorithm/x", -29},
        {"att.p7m", "signatureAlgorithm/", -29},
        {"att.p7m", "recipientInfoVersion", -29},
        {"att.p7m", "nonsense", -29},
        {"att.p7m", "", -6},
    };
    for (const auto& e : errs) EXPECT_EQ(num(e.file, e.q), e.expected) << e.q;
    EXPECT_EQ(CMS_QuerySigData(nullptr, 0, "", "signatureValue", VELT_QUERY_GETTYPE), 2);
    EXPECT_EQ(CMS_QuerySigData(nullptr, 0, "", "CountOfCerts", VELT_QUERY_GETTYPE), 1);
    char small[4];
    EXPECT_EQ(CMS_QuerySigData(small, 3, p("att.p7m").c_str(), "signatureValue", 0), -30);
}

TEST(CmsReadDigest, RecoversSignedDigest) {
    NEED_FIXTURES();
    const std::string hex = sha256_hex(testutil::read_file(p("content.txt")));
    for (const char* f : {"att.p7m", "noattr.p7m", "det.p7s"}) {
        char buf[129];
        EXPECT_EQ(CMS_GetSigDataDigest(buf, 128, p(f).c_str(), "", 0), 3) << f;
        EXPECT_EQ(std::string(buf), hex) << f;
    }
    char buf[129];
    uint8_t d1[20];
    const Bytes content = testutil::read_file(p("content.txt"));
    SHA1(content.data(), content.size(), d1);
    EXPECT_EQ(CMS_GetSigDataDigest(buf, 128, p("dsa.p7m").c_str(), "", 0), 0);
    EXPECT_EQ(std::string(buf), testutil::to_hex(d1, 20));
    EXPECT_EQ(CMS_GetSigDataDigest(buf, 128, p("ec.p7m").c_str(), "", 0), -19);
    EXPECT_EQ(CMS_GetSigDataDigest(buf, 128, "", "", 0), -6);
}

// ---- Hand-built signer infos: the attribute rules ----

Bytes tlv(uint8_t tag, const Bytes& body) {
    Bytes out{tag};
    size_t n = body.size();
    if (n < 0x80) {
        out.push_back(uint8_t(n));
    } else if (n < 0x100) {
        out.insert(out.end(), {0x81, uint8_t(n)});
    } else {
        out.insert(out.end(), {0x82, uint8_t(n >> 8), uint8_t(n)});
    }
    out.insert(out.end(), body.begin(), body.end());
    return out;
}
Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& x : parts) out.insert(out.end(), x.begin(), x.end());
    return out;
}
Bytes oid(const char* hex) {
    return tlv(0x06, testutil::from_hex(hex));
}
Bytes attr(const char* oidHex, const Bytes& value) {
    return tlv(0x30, cat({oid(oidHex), tlv(0x31, value)}));
}
Bytes ascii(const char* s) {
    return Bytes(s, s + std::strlen(s));
}

// The signer of a hand-built SignedData: fixture key and certificate names,
// signatureAlgorithm, digest OID and the libcrypto digest (null for EdDSA).
struct HandSigner {
    const char* name;
    Bytes sigAlg;
    const char* digestOid;
    const EVP_MD* (*md)();
};
const HandSigner kRsaSigner = {"rsa", Bytes(), "608648016503040201", EVP_sha256};

// A SignedData over content with one signer whose signed attributes are
// attrs (none when noAttrs); the signature is made with libcrypto.
std::string build_signed(const std::string& name, const std::vector<Bytes>& attrs,
                         const HandSigner& who = kRsaSigner, bool noAttrs = false) {
    Bytes content = ascii("hand-built content");
    Bytes certDer = testutil::read_file(p(std::string(who.name) + ".der"));
    const uint8_t* cp = certDer.data();
    X509* x = d2i_X509(nullptr, &cp, long(certDer.size()));
    unsigned char* q = nullptr;
    int n = i2d_X509_NAME(X509_get_issuer_name(x), &q);
    Bytes issuer(q, q + n);
    OPENSSL_free(q);
    q = nullptr;
    n = i2d_ASN1_INTEGER(X509_get_serialNumber(x), &q);
    Bytes serial(q, q + n);
    OPENSSL_free(q);
    X509_free(x);
    Bytes set;
    for (const auto& a : attrs) set.insert(set.end(), a.begin(), a.end());
    Bytes signedAttrs = tlv(0x31, set);
    FILE* kf = std::fopen(p(std::string(who.name) + ".key").c_str(), "rb");
    EVP_PKEY* key = PEM_read_PrivateKey(kf, nullptr, nullptr, nullptr);
    std::fclose(kf);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    size_t siglen = 512;
    Bytes sig(siglen);
    EVP_DigestSignInit(ctx, nullptr, who.md ? who.md() : nullptr, nullptr, key);
    const Bytes& tbs = noAttrs ? content : signedAttrs;
    EVP_DigestSign(ctx, sig.data(), &siglen, tbs.data(), tbs.size());
    sig.resize(siglen);
    EVP_MD_CTX_free(ctx);
    EVP_PKEY_free(key);
    Bytes implicitAttrs = signedAttrs;
    implicitAttrs[0] = 0xA0;
    if (noAttrs) implicitAttrs.clear();
    Bytes digestAlg = tlv(0x30, oid(who.digestOid));
    Bytes sigAlg =
        who.sigAlg.empty() ? tlv(0x30, cat({oid("2a864886f70d010101"), tlv(0x05, {})})) : who.sigAlg;
    Bytes signer = tlv(0x30, cat({tlv(0x02, {1}), tlv(0x30, cat({issuer, serial})), digestAlg, implicitAttrs,
                                  sigAlg, tlv(0x04, sig)}));
    Bytes sd = tlv(0x30, cat({tlv(0x02, {1}), tlv(0x31, digestAlg),
                              tlv(0x30, cat({oid("2a864886f70d010701"), tlv(0xA0, tlv(0x04, content))})),
                              tlv(0xA0, certDer), tlv(0x31, signer)}));
    Bytes ci = tlv(0x30, cat({oid("2a864886f70d010702"), tlv(0xA0, sd)}));
    std::string path = testutil::temp_path(name);
    testutil::write_file(path, ci);
    return path;
}

TEST(CmsReadAttributes, MessageDigestSigningCertificateAndTimes) {
    NEED_FIXTURES();
    uint8_t md[32];
    const Bytes content = ascii("hand-built content");
    SHA256(content.data(), content.size(), md);
    const Bytes contentType = attr("2a864886f70d010903", oid("2a864886f70d010701"));
    const Bytes messageDigest = attr("2a864886f70d010904", tlv(0x04, Bytes(md, md + 32)));
    const Bytes genTime = attr("2a864886f70d010905", tlv(0x18, ascii("20510304050607Z")));
    const Bytes utcTime = attr("2a864886f70d010905", tlv(0x17, ascii("490102030405Z")));
    // SigningCertificateV2 with no ESSCertID, and one without certHash.
    const Bytes noEssCertId = attr("2a864886f70d010910022f", tlv(0x30, tlv(0x30, {})));
    const Bytes noCertHash = attr("2a864886f70d010910022f", tlv(0x30, tlv(0x30, tlv(0x30, {}))));
    Bytes certDer = testutil::read_file(p("rsa.der"));
    uint8_t ch[32];
    SHA256(certDer.data(), certDer.size(), ch);
    const std::string goodHash = testutil::to_hex(ch, 32);
    const Bytes goodSigningCert =
        attr("2a864886f70d010910022f", tlv(0x30, tlv(0x30, tlv(0x30, tlv(0x04, Bytes(ch, ch + 32))))));
    ch[0] ^= 1;
    const Bytes wrongSigningCert =
        attr("2a864886f70d010910022f", tlv(0x30, tlv(0x30, tlv(0x30, tlv(0x04, Bytes(ch, ch + 32))))));
    struct Case {
        const char* name;
        std::vector<Bytes> attrs;
        long verify;
        const char* time;
    } cases[] = {
        {"gentime", {contentType, genTime, messageDigest}, 0, "2051-03-04 05:06:07"},
        {"utctime", {contentType, utcTime, messageDigest}, 0, "2049-01-02 03:04:05"},
        {"no-md", {contentType, genTime}, -22, "2051-03-04 05:06:07"},
        {"no-esscertid", {contentType, messageDigest, noEssCertId}, -22, ""},
        {"no-certhash", {contentType, messageDigest, noCertHash}, -22, ""},
        {"signing-cert", {contentType, messageDigest, goodSigningCert}, 0, ""},
        {"wrong-signing-cert", {contentType, messageDigest, wrongSigningCert}, -22, ""},
    };
    for (const auto& c : cases) {
        std::string f = build_signed(std::string(c.name) + ".p7m", c.attrs);
        EXPECT_EQ(CMS_VerifySigData(f.c_str(), "", "", 0), c.verify) << c.name << ": " << lasterr();
        if (*c.time) {
            EXPECT_EQ(query(f, "SigningTime"), c.time) << c.name;
        }
    }
    std::string f = build_signed("hash.p7m", {contentType, messageDigest, goodSigningCert});
    EXPECT_EQ(query(f, "signingCertHash"), goodHash);
    EXPECT_EQ(CMS_QuerySigData(nullptr, 0, f.c_str(), "HASsigningCertificate", 0), 1);
}

// CMSAlgorithmProtection (RFC 6211): the attribute must name the signer's
// own digest and signature algorithms; a value that does not parse is a
// format error, one naming other algorithms a signature failure.
TEST(CmsReadAttributes, AlgorithmProtection) {
    NEED_FIXTURES();
    uint8_t md[32];
    const Bytes content = ascii("hand-built content");
    SHA256(content.data(), content.size(), md);
    const Bytes contentType = attr("2a864886f70d010903", oid("2a864886f70d010701"));
    const Bytes messageDigest = attr("2a864886f70d010904", tlv(0x04, Bytes(md, md + 32)));
    const Bytes sha256 = tlv(0x30, oid("608648016503040201"));
    const Bytes sha384 = tlv(0x30, oid("608648016503040202"));
    const Bytes rsaEnc = tlv(0xA1, cat({oid("2a864886f70d010101"), tlv(0x05, {})}));
    const Bytes sha256Rsa = tlv(0xA1, cat({oid("2a864886f70d01010b"), tlv(0x05, {})}));
    auto protect = [](const Bytes& value) { return attr("2a864886f70d010934", value); };
    struct Case {
        const char* name;
        Bytes value;
        long verify;
    } cases[] = {
        {"ap-good", tlv(0x30, cat({sha256, rsaEnc})), 0},
        {"ap-other-digest", tlv(0x30, cat({sha384, rsaEnc})), -22},
        {"ap-other-signature", tlv(0x30, cat({sha256, sha256Rsa})), -22},
        {"ap-not-sequence", tlv(0x04, cat({sha256, rsaEnc})), -7},
        {"ap-no-signature-alg", tlv(0x30, sha256), -7},
        {"ap-digest-not-sequence", tlv(0x30, cat({oid("608648016503040201"), rsaEnc})), -7},
    };
    for (const auto& c : cases) {
        std::string f =
            build_signed(std::string(c.name) + ".p7m", {contentType, messageDigest, protect(c.value)});
        EXPECT_EQ(CMS_VerifySigData(f.c_str(), "", "", 0), c.verify) << c.name << ": " << lasterr();
    }
}

// EdDSA signers (RFC 8419): the signature covers the signed attributes, or
// without them the content itself; the digest algorithm is SHA-512.
TEST(CmsReadAttributes, Ed25519Signer) {
    NEED_FIXTURES();
    const HandSigner ed = {"ed25519", tlv(0x30, oid("2b6570")), "608648016503040203", nullptr};
    const Bytes content = ascii("hand-built content");
    uint8_t md[64];
    SHA512(content.data(), content.size(), md);
    const Bytes contentType = attr("2a864886f70d010903", oid("2a864886f70d010701"));
    const Bytes good = attr("2a864886f70d010904", tlv(0x04, Bytes(md, md + 64)));
    md[5] ^= 1;
    const Bytes bad = attr("2a864886f70d010904", tlv(0x04, Bytes(md, md + 64)));
    struct {
        std::string file;
        long expected;
    } cases[] = {
        {build_signed("ed-attrs.p7m", {contentType, good}, ed), 0},
        {build_signed("ed-bad-md.p7m", {contentType, bad}, ed), -22},
        {build_signed("ed-noattrs.p7m", {}, ed, true), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(CMS_VerifySigData(c.file.c_str(), "", "", 0), c.expected) << c.file;
    EXPECT_EQ(CMS_VerifySigData(cases[0].file.c_str(), "", "00", 0), -19);
    EXPECT_EQ(CMS_VerifySigData(cases[0].file.c_str(), "", "", VELT_CMS_BIGFILE), -19);
}

// ---- Certificates-only chains ----

TEST(CmsReadChain, CountAndCertificatesOfCrl2pkcs7) {
    NEED_FIXTURES();
    std::set<std::string> want = {testutil::to_hex(testutil::read_file(p("rsa.der"))),
                                  testutil::to_hex(testutil::read_file(p("ec.der")))};
    Bytes pem = testutil::read_file(p("chain.p7c"));
    std::string pemText(pem.begin(), pem.end());
    for (const std::string& in : {p("chain.p7b"), p("chain.p7c"), pemText}) {
        EXPECT_EQ(X509_GetCertCountInP7Chain(in.c_str(), 0), 2);
        EXPECT_EQ(X509_GetCertFromP7Chain("", in.c_str(), 0, 0), 2);
        std::set<std::string> got, gotStr;
        for (long i = 1; i <= 2; ++i) {
            std::string out = testutil::temp_path("chain" + std::to_string(i) + ".cer");
            Bytes der;
            long n = X509_GetCertFromP7Chain(out.c_str(), in.c_str(), i, 0);
            der = testutil::read_file(out);
            EXPECT_EQ(n, long(der.size()));
            got.insert(testutil::to_hex(der));
            char buf[4096];
            long m = X509_ReadCertStringFromP7Chain(buf, sizeof buf - 1, in.c_str(), i, 0);
            ASSERT_GT(m, 0);
            EXPECT_EQ(X509_ReadCertStringFromP7Chain(nullptr, 0, in.c_str(), i, 0), m);
            Bytes d(static_cast<size_t>(m), 0);
            d.resize(size_t(CNV_BytesFromB64Str(d.data(), m, buf)));
            gotStr.insert(testutil::to_hex(d));
        }
        EXPECT_EQ(got, want);
        EXPECT_EQ(gotStr, want);
        EXPECT_EQ(X509_GetCertFromP7Chain(testutil::temp_path("none.cer").c_str(), in.c_str(), 3, 0), 0);
        char tiny[8];
        EXPECT_EQ(X509_ReadCertStringFromP7Chain(tiny, 7, in.c_str(), 1, 0), -30);
        EXPECT_EQ(X509_ReadCertStringFromP7Chain(tiny, -1, in.c_str(), 1, 0), -6);
        EXPECT_EQ(X509_ReadCertStringFromP7Chain(nullptr, 5, in.c_str(), 1, 0), -6);
    }
    // A signed message is read the same way; the signer summary refuses the chain.
    EXPECT_EQ(X509_GetCertCountInP7Chain(p("multi.p7m").c_str(), 0), 2);
    EXPECT_EQ(CMS_QuerySigData(nullptr, 0, p("chain.p7b").c_str(), "CountOfCerts", 0), -8);
    EXPECT_EQ(X509_GetCertCountInP7Chain("", 0), -6);
    EXPECT_EQ(X509_GetCertCountInP7Chain("no-such-file.p7b", 0), -1);
}

// ---- Hostile input ----

TEST(CmsReadHostile, MalformedObjectsFailCleanly) {
    std::vector<Bytes> inputs;
    Bytes deep;
    for (int i = 0; i < 5000; ++i) deep.insert(deep.end(), {0x30, 0x80});
    inputs.push_back(deep);
    inputs.push_back(testutil::from_hex("3084ffffffff06092a864886f70d010702"));
    inputs.push_back(testutil::from_hex("308006092a864886f70d010702a080308002010131"));
    inputs.push_back(testutil::from_hex("3089ffffffffffffffffff"));
    inputs.push_back(testutil::from_hex("301306092a864886f70d010702a0063004020101"));
    inputs.push_back(testutil::from_hex("30"));
    if (!fx().empty()) {
        // Every truncation of a streamed message.
        Bytes s = testutil::read_file(p("stream.p7m"));
        for (size_t n = 1; n < s.size(); n += 7) inputs.push_back(Bytes(s.begin(), s.begin() + long(n)));
    }
    std::string f = testutil::temp_path("hostile.p7m"), out = testutil::temp_path("hostile.out");
    for (const auto& in : inputs) {
        testutil::write_file(f, in);
        for (long opt : {0L, long(VELT_CMS_BIGFILE)}) {
            EXPECT_LT(CMS_VerifySigData(f.c_str(), "", "", opt), 0) << in.size() << " opt " << opt;
            CMS_ReadSigData(out.c_str(), f.c_str(), opt);
        }
        EXPECT_LT(CMS_QuerySigData(nullptr, 0, f.c_str(), "signatureValue", 0), 0);
        X509_GetCertCountInP7Chain(f.c_str(), 0);
    }
}

}  // namespace
