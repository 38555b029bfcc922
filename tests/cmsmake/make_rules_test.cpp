// The writer's own rules: signingTime forms, digest lengths of detached
// signatures, supplied signature values checked under the row's own hash,
// EdDSA values over the signed attributes, streamed output, and no output
// file after a failure.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>

#include <ctime>

#include "cms/sd_attrs.h"
#include "cms_fixture.h"
#include "morvanevelt.h"
#include "x509/x509.h"

namespace {

using velt::cms::Der;

std::string text_of(const Der& d) {
    velt::cms::DerTlv t;
    if (!velt::cms::der_parse_one(d.data(), d.size(), t)) return "?";
    return std::to_string(t.tag) + ":" + std::string(t.value, t.value + t.len);
}

time_t utc(int y, int mo, int d, int h, int mi, int s) {
    struct tm t {};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return timegm(&t);
}

// Resets the clock hook when a test ends.
struct FixedClock {
    explicit FixedClock(time_t t) : now(t) { x509setClockForTesting(&now); }
    ~FixedClock() { x509setClockForTesting(nullptr); }
    time_t now;
};

TEST(SigningTime, UtcTimeThrough2049GeneralizedFrom2050) {
    struct {
        time_t when;
        const char* expect;
    } cases[] = {
        {utc(1950, 1, 1, 0, 0, 0), "23:500101000000Z"},
        {utc(2049, 12, 31, 23, 59, 59), "23:491231235959Z"},
        {utc(2050, 1, 1, 0, 0, 0), "24:20500101000000Z"},
        {utc(2107, 6, 5, 4, 3, 2), "24:21070605040302Z"},
    };
    for (const auto& c : cases) EXPECT_EQ(text_of(velt::cms::signing_time(c.when)), c.expect);
}

TEST(SigningTime, WrittenWithTheClockAndReadBack) {
    CMSFX_REQUIRE();
    for (int year : {2049, 2050}) {
        FixedClock clock(utc(year, 12, 31, 12, 0, 0));
        std::string out = testutil::temp_path("st" + std::to_string(year) + ".p7");
        ASSERT_EQ(CMS_MakeSigData(out.c_str(), F.content.c_str(), F.rsa.cert.c_str(), F.rsa.key.c_str(),
                                  VELT_SIG_SHA256WITHRSA | VELT_CMS_INCLUDE_ATTRS | VELT_CMS_ADD_SIGNTIME),
                  0);
        cmsfx::SignerParts p;
        ASSERT_TRUE(cmsfx::signer_parts(cmsfx::load_der(out), p));
        // The tag that follows the signingTime attribute's SET header.
        static const uint8_t kOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x05};
        auto at = std::search(p.signedAttrs.begin(), p.signedAttrs.end(), std::begin(kOid), std::end(kOid));
        ASSERT_NE(at, p.signedAttrs.end());
        EXPECT_EQ(*(at + sizeof kOid + 2), year < 2050 ? 0x17 : 0x18);
        char buf[64] = {0};
        ASSERT_GT(CMS_QuerySigData(buf, 63, out.c_str(), "SigningTime", 0), 0);
        EXPECT_EQ(std::string(buf), std::to_string(year) + "-12-31 12:00:00");
        EXPECT_EQ(cmsfx::openssl_verify(out), 0);
    }
}

TEST(DetachedFromDigest, RefusedBeforeAnythingIsWritten) {
    CMSFX_REQUIRE();
    const std::string sha256(64, 'a'), sha1(40, 'b'), tooLong(130, 'c');
    struct {
        const char* name;
        const std::string* hex;
        const cmsfx::Signer* signer;
        long options;
        long expect;
    } cases[] = {
        // A SHA-1 digest for a SHA-256 row, with attributes, PSS and ECDSA:
        // each would make a value that can never verify.
        {"pkcs1_attrs", &sha1, &F.rsa, VELT_SIG_SHA256WITHRSA | VELT_CMS_INCLUDE_ATTRS, -26},
        {"pss", &sha1, &F.rsa, VELT_SIG_RSA_PSS_SHA256, -26},
        {"ecdsa", &sha1, &F.ec, VELT_SIG_ECDSA_SHA256, -26},
        {"pkcs1", &sha256, &F.rsa, VELT_SIG_SHA1WITHRSA, -26},
        {"over_64_octets", &tooLong, &F.rsa, VELT_SIG_SHA256WITHRSA, -8},
        {"eddsa_without_attrs", &sha256, &F.ed, VELT_SIG_ED25519 | 0, -26},
    };
    for (const auto& c : cases) {
        std::string out = testutil::temp_path(std::string("det_") + c.name);
        EXPECT_EQ(CMS_MakeDetachedSig(out.c_str(), c.hex->c_str(), c.signer->cert.c_str(),
                                      c.signer->key.c_str(), c.options),
                  c.expect)
            << c.name;
        struct stat st;
        EXPECT_NE(stat(out.c_str(), &st), 0) << c.name << ": output written";
    }
    // Ed25519 takes a SHA-512 digest, and only with signed attributes.
    std::string out = testutil::temp_path("det_ed");
    const std::string sha512(128, 'd');
    EXPECT_EQ(CMS_MakeDetachedSig(out.c_str(), sha512.c_str(), F.ed.cert.c_str(), F.ed.key.c_str(),
                                  VELT_SIG_ED25519),
              -19);
    EXPECT_EQ(CMS_MakeDetachedSig(out.c_str(), sha512.c_str(), F.ed.cert.c_str(), F.ed.key.c_str(),
                                  VELT_SIG_ED25519 | VELT_CMS_INCLUDE_ATTRS),
              0)
        << cmsfx::last_error();
}

// EdDSA in CMS (RFC 8419), which the openssl command cannot make: the value
// is checked with python-cryptography over the signed-attribute DER, or over
// the content without attributes.
TEST(EdDSA, ValueVerifiesOverSignedAttributesOrContent) {
    CMSFX_REQUIRE();
    int st = 0;
    testutil::run_command("python3 -c 'import cryptography' 2>/dev/null", &st);
    if (st != 0) GTEST_SKIP() << "python3 cryptography not available";
    const std::string check = std::string("python3 -c \"import sys\nfrom cryptography import x509\n") +
                              "c = x509.load_pem_x509_certificate(open(sys.argv[1], 'rb').read())\n" +
                              "c.public_key().verify(open(sys.argv[2], 'rb').read(), open(sys.argv[3], " +
                              "'rb').read())\nprint('OK')\"";
    struct {
        const char* name;
        const cmsfx::Signer* signer;
        long options;
    } cases[] = {
        {"ed25519_attrs", &F.ed,
         VELT_SIG_ED25519 | VELT_CMS_INCLUDE_ATTRS | VELT_CMS_ADD_SIGNINGCERT | VELT_CMS_ADD_ALGPROTECT},
        {"ed25519_content", &F.ed, VELT_SIG_ED25519},
        {"ed448_attrs", &F.ed448, VELT_SIG_ED448 | VELT_CMS_INCLUDE_ATTRS},
        {"ed448_content", &F.ed448, VELT_SIG_ED448},
    };
    for (const auto& c : cases) {
        std::string out = testutil::temp_path(std::string(c.name) + ".p7");
        ASSERT_EQ(CMS_MakeSigData(out.c_str(), F.content.c_str(), c.signer->cert.c_str(),
                                  c.signer->key.c_str(), c.options),
                  0)
            << c.name << ": " << cmsfx::last_error();
        cmsfx::SignerParts p;
        ASSERT_TRUE(cmsfx::signer_parts(cmsfx::load_der(out), p));
        std::string sig = out + ".sig", msg = out + ".msg";
        testutil::write_file(sig, testutil::Bytes(p.signature.begin(), p.signature.end()));
        if (p.signedAttrs.empty())
            testutil::write_file(msg, testutil::read_file(F.content));
        else
            testutil::write_file(msg, testutil::Bytes(p.signedAttrs.begin(), p.signedAttrs.end()));
        std::string res =
            testutil::run_command(check + " " + c.signer->cert + " " + sig + " " + msg + " 2>&1", &st);
        EXPECT_EQ(res, "OK\n") << c.name;
        // And our own reader agrees.
        EXPECT_EQ(CMS_VerifySigData(out.c_str(), "", "", 0), 0) << c.name << ": " << cmsfx::last_error();
    }
}

TEST(SuppliedValue, CheckedUnderTheRowsOwnHash) {
    CMSFX_REQUIRE();
    testutil::Bytes content = testutil::read_file(F.content);
    struct {
        const char* name;
        const cmsfx::Signer* signer;
        const char* alg;
        long options;
    } cases[] = {
        {"ecdsa_sha256", &F.ec, "ecdsaWithSHA256", VELT_SIG_ECDSA_SHA256},
        {"rsa_sha384", &F.rsa, "sha384WithRSAEncryption", VELT_SIG_SHA384WITHRSA},
        {"pss_sha256", &F.rsa, "RSA-PSS-SHA256", VELT_SIG_RSA_PSS_SHA256},
        {"ed25519", &F.ed, "Ed25519", VELT_SIG_ED25519},
    };
    for (const auto& c : cases) {
        // SIG_SignData signs the content with the named algorithm (ECDSA in DER form).
        std::string b64(2048, '\0');
        long n = SIG_SignData(b64.data(), 2047, content.data(), long(content.size()), c.signer->key.c_str(),
                              "", c.alg, VELT_SIG_ASN1DER);
        ASSERT_GT(n, 0) << c.name;
        b64.resize(size_t(n));
        testutil::Bytes sig(1024);
        long sl = CNV_BytesFromB64Str(sig.data(), 1024, b64.c_str());
        ASSERT_GT(sl, 0);
        std::string out = testutil::temp_path(std::string("sv_") + c.name);
        ASSERT_EQ(CMS_MakeSigDataFromSigValue(out.c_str(), sig.data(), sl, content.data(),
                                              long(content.size()), c.signer->cert.c_str(), c.options),
                  0)
            << c.name << ": " << cmsfx::last_error();
        EXPECT_EQ(CMS_VerifySigData(out.c_str(), "", "", 0), 0) << c.name << ": " << cmsfx::last_error();
        if (c.signer != &F.ed) {
            EXPECT_EQ(cmsfx::openssl_verify(out), 0) << c.name;
        }
        // A value over other content does not verify, and nothing is written.
        std::string bad = out + ".bad";
        testutil::Bytes other = content;
        other[0] ^= 1;
        EXPECT_EQ(CMS_MakeSigDataFromSigValue(bad.c_str(), sig.data(), sl, other.data(), long(other.size()),
                                              c.signer->cert.c_str(), c.options),
                  -22)
            << c.name;
        EXPECT_TRUE(testutil::read_file(bad).empty());
    }
}

// Offsets of the content segments of a streamed object, and what follows.
struct Segments {
    size_t count = 0;
    bool eocsAfter = false;
};
Segments segments_of(const testutil::Bytes& b) {
    Segments s;
    static const uint8_t kOpen[] = {0xA0, 0x80, 0x24, 0x80};
    auto it = std::search(b.begin(), b.end(), std::begin(kOpen), std::end(kOpen));
    if (it == b.end()) return s;
    size_t pos = size_t(it - b.begin()) + 4;
    while (pos + 2 <= b.size() && b[pos] == 0x04) {
        size_t len = b[pos + 1], hdr = 2;
        if (len & 0x80) {
            size_t k = len & 0x7F;
            len = 0;
            for (size_t i = 0; i < k; i++) len = (len << 8) | b[pos + 2 + i];
            hdr += k;
        }
        pos += hdr + len;
        s.count++;
    }
    s.eocsAfter = pos + 6 <= b.size() && std::all_of(b.begin() + long(pos), b.begin() + long(pos + 6),
                                                     [](uint8_t x) { return x == 0; });
    return s;
}

TEST(BigFile, SegmentsEndOfContentsAndOpensslVerify) {
    CMSFX_REQUIRE();
    struct {
        size_t size;
        size_t segments;
    } cases[] = {{8192, 1}, {8193, 2}, {100000, 13}};
    for (const auto& c : cases) {
        std::string in = testutil::temp_path("big_in_" + std::to_string(c.size));
        testutil::Bytes data(c.size);
        for (size_t i = 0; i < c.size; i++) data[i] = uint8_t(i * 31 + 7);
        testutil::write_file(in, data);
        std::string out = in + ".p7";
        ASSERT_EQ(CMS_MakeSigData(out.c_str(), in.c_str(), F.rsa.cert.c_str(), F.rsa.key.c_str(),
                                  VELT_SIG_SHA256WITHRSA | VELT_CMS_BIGFILE | VELT_CMS_INCLUDE_ATTRS |
                                      VELT_CMS_ADD_SIGNINGCERT),
                  0)
            << cmsfx::last_error();
        testutil::Bytes b = testutil::read_file(out);
        Segments s = segments_of(b);
        EXPECT_EQ(s.count, c.segments) << c.size;
        EXPECT_TRUE(s.eocsAfter) << "three 00 00 markers close the content";
        ASSERT_GE(b.size(), 6u);
        EXPECT_TRUE(std::all_of(b.end() - 6, b.end(), [](uint8_t x) { return x == 0; }));
        std::string got;
        ASSERT_EQ(cmsfx::openssl_verify(out, true, "", "", &got), 0);
        EXPECT_EQ(got, std::string(data.begin(), data.end()));
    }
}

TEST(BigFile, FiftyMegabytes) {
    CMSFX_REQUIRE();
    std::string in = testutil::temp_path("big50");
    testutil::Bytes data(size_t(50) << 20);
    for (size_t i = 0; i < data.size(); i++) data[i] = uint8_t((i >> 13) ^ i);
    testutil::write_file(in, data);
    std::string out = in + ".p7";
    ASSERT_EQ(CMS_MakeSigData(out.c_str(), in.c_str(), F.rsa.cert.c_str(), F.rsa.key.c_str(),
                              VELT_SIG_SHA256WITHRSA | VELT_CMS_BIGFILE | VELT_CMS_INCLUDE_ATTRS),
              0);
    EXPECT_EQ(cmsfx::openssl_verify(out), 0);
    std::remove(out.c_str());
    std::remove((out + ".out").c_str());
    std::remove(in.c_str());
}

// A detached signature of a file digests it in blocks; the output must be
// the same octets as from the content in memory (no signed attributes, so
// nothing depends on the clock), across block boundaries and hashes.
TEST(Detached, FileInBlocksEqualsContentInMemory) {
    CMSFX_REQUIRE();
    const struct {
        size_t size;
        long alg;
    } cases[] = {
        {1, VELT_SIG_SHA256WITHRSA},
        {(size_t(1) << 20) + 77, VELT_SIG_SHA256WITHRSA},
        {(size_t(3) << 20), VELT_SIG_SHA384WITHRSA},
        {100000, VELT_SIG_SHA1WITHRSA},
    };
    std::string in = testutil::temp_path("detblocks");
    std::string a = in + ".file.p7", b = in + ".mem.p7";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        testutil::Bytes data(c.size);
        for (size_t i = 0; i < data.size(); i++) data[i] = uint8_t((i * 7) ^ (i >> 11));
        testutil::write_file(in, data);
        const long opts = c.alg | VELT_CMS_EXCLUDE_DATA;
        ASSERT_EQ(CMS_MakeSigData(a.c_str(), in.c_str(), F.rsa.cert.c_str(), F.rsa.key.c_str(), opts), 0);
        ASSERT_EQ(CMS_MakeSigDataFromBytes(b.c_str(), data.data(), long(data.size()), F.rsa.cert.c_str(),
                                           F.rsa.key.c_str(), opts),
                  0);
        EXPECT_EQ(testutil::read_file(a), testutil::read_file(b));
    }
    EXPECT_EQ(cmsfx::openssl_verify(a, true, in), 0);
    testutil::write_file(in, std::string());
    EXPECT_EQ(CMS_MakeSigData(a.c_str(), in.c_str(), F.rsa.cert.c_str(), F.rsa.key.c_str(),
                              VELT_SIG_SHA256WITHRSA | VELT_CMS_EXCLUDE_DATA | VELT_CMS_INCLUDE_ATTRS),
              -20);
    for (const std::string& f : {in, a, b, a + ".out"}) std::remove(f.c_str());
}

// Files in a folder whose names start with prefix.
size_t count_entries(const std::string& dir, const std::string& prefix) {
    size_t n = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name).rfind(prefix, 0) == 0) n++;
        closedir(d);
    }
    return n;
}

TEST(Failures, LeaveNoOutputFile) {
    CMSFX_REQUIRE();
    const std::string dir = testutil::temp_path("faildir");
    mkdir(dir.c_str(), 0700);
    const std::string out = dir + "/out.p7";
    const long sha256 = VELT_SIG_SHA256WITHRSA;
    struct {
        const char* name;
        const char* in;
        const cmsfx::Signer* certOf;
        const cmsfx::Signer* keyOf;
        long options;
        long expect;
    } cases[] = {
        // The input is read only after the output was opened: a directory
        // fails at its first read.
        {"bigfile_read_error", "/", &F.rsa, &F.rsa, sha256 | VELT_CMS_BIGFILE, -3},
        {"bigfile_ecdsa", F.content.c_str(), &F.ec, &F.ec, VELT_SIG_ECDSA_SHA256 | VELT_CMS_BIGFILE, -19},
        {"bigfile_base64", F.content.c_str(), &F.rsa, &F.rsa,
         sha256 | VELT_CMS_BIGFILE | VELT_CMS_FORMAT_BASE64, -17},
        {"bigfile_pseudo", F.content.c_str(), &F.rsa, &F.rsa, sha256 | VELT_CMS_BIGFILE | VELT_CMS_PSEUDOSIG,
         -17},
        {"key_matches_no_cert", F.content.c_str(), &F.rsa2, &F.rsa, sha256, -21},
        {"no_ski", F.content.c_str(), &F.noski, &F.noski, sha256 | VELT_CMS_USE_SKI, -10},
        {"bad_alg_id", F.content.c_str(), &F.rsa, &F.rsa, 0x99, -17},
        {"add_signer_certs_only", F.content.c_str(), &F.rsa, &F.rsa,
         VELT_CMS_ADD_SIGNER | VELT_CMS_CERTS_ONLY, -17},
        {"add_signer_to_non_cms", F.content.c_str(), &F.rsa, &F.rsa, sha256 | VELT_CMS_ADD_SIGNER, -8},
        {"pseudo_with_ecdsa", F.content.c_str(), &F.ec, &F.ec, VELT_SIG_ECDSA_SHA256 | VELT_CMS_PSEUDOSIG,
         -19},
        {"pseudo_excluding_data", F.content.c_str(), &F.rsa, &F.rsa,
         sha256 | VELT_CMS_PSEUDOSIG | VELT_CMS_EXCLUDE_DATA, -17},
        {"missing_input", "/nonexistent/file", &F.rsa, &F.rsa, sha256, -1},
        {"bigfile_missing_input", "/nonexistent/file", &F.rsa, &F.rsa, sha256 | VELT_CMS_BIGFILE, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CMS_MakeSigData(out.c_str(), c.in, c.certOf->cert.c_str(), c.keyOf->key.c_str(), c.options),
                  c.expect)
            << c.name << ": " << cmsfx::last_error();
        EXPECT_EQ(count_entries(dir, ""), 2u) << c.name << ": only . and .. may remain";
    }
    // An unreadable certificate list: 1, or 6 from the streaming writer.
    EXPECT_EQ(CMS_MakeSigData(out.c_str(), F.content.c_str(), "/nonexistent.crt", F.rsa.key.c_str(), sha256),
              -1);
    EXPECT_EQ(CMS_MakeSigData(out.c_str(), F.content.c_str(), "/nonexistent.crt", F.rsa.key.c_str(),
                              sha256 | VELT_CMS_BIGFILE),
              -6);
    EXPECT_EQ(count_entries(dir, ""), 2u);
    // An existing output is left as it was.
    testutil::write_file(out, std::string("keep"));
    EXPECT_EQ(
        CMS_MakeSigData(out.c_str(), "/", F.rsa.cert.c_str(), F.rsa.key.c_str(), sha256 | VELT_CMS_BIGFILE),
        -3);
    testutil::Bytes kept = testutil::read_file(out);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep");
}

TEST(Structure, SignerCertificateMovedFirstAndSetsSorted) {
    CMSFX_REQUIRE();
    std::string a = testutil::temp_path("order_a"), b = testutil::temp_path("order_b");
    std::string l1 = F.rsa.cert + ";" + F.rsa2.cert + ";" + F.ec.cert;
    std::string l2 = F.ec.cert + ";" + F.rsa2.cert + ";" + F.rsa.cert;
    ASSERT_EQ(
        CMS_MakeSigData(a.c_str(), F.content.c_str(), l1.c_str(), F.rsa2.key.c_str(), VELT_SIG_SHA256WITHRSA),
        0);
    ASSERT_EQ(
        CMS_MakeSigData(b.c_str(), F.content.c_str(), l2.c_str(), F.rsa2.key.c_str(), VELT_SIG_SHA256WITHRSA),
        0);
    // Deterministic PKCS #1 v1.5 over the same content and signer: the same
    // object whatever the order of the list.
    EXPECT_EQ(testutil::read_file(a), testutil::read_file(b));
    cmsfx::SignerParts p;
    ASSERT_TRUE(cmsfx::signer_parts(cmsfx::load_der(a), p));
    EXPECT_EQ(p.certCount, 3);
    // Options 0: SHA-1, rsaEncryption, version 1, no attributes.
    ASSERT_EQ(CMS_MakeSigData(a.c_str(), F.content.c_str(), F.rsa.cert.c_str(), F.rsa.key.c_str(), 0), 0);
    ASSERT_TRUE(cmsfx::signer_parts(cmsfx::load_der(a), p));
    EXPECT_EQ(p.sdVersion, 1);
    EXPECT_TRUE(p.signedAttrs.empty());
    Der rsaEnc = velt::cms::der_oid("rsaEncryption"), null = velt::cms::der_null();
    EXPECT_EQ(p.sigAlg, velt::cms::der_seq({&rsaEnc, &null}));
    // ADD_SIGNTIME without INCLUDE_ATTRS adds nothing.
    ASSERT_EQ(CMS_MakeSigData(a.c_str(), F.content.c_str(), F.rsa.cert.c_str(), F.rsa.key.c_str(),
                              VELT_CMS_ADD_SIGNTIME),
              0);
    ASSERT_TRUE(cmsfx::signer_parts(cmsfx::load_der(a), p));
    EXPECT_TRUE(p.signedAttrs.empty());
}

}  // namespace
