// What we make, openssl cms -verify accepts: every signer family, attached
// and detached, each signed-attribute option, the identifier and output
// forms, added signers, completed pseudo-signatures and streamed output.
#include <gtest/gtest.h>

#include "cms_fixture.h"
#include "morvanevelt.h"

namespace {

enum class Key { Rsa, Ec };
enum class Source { File, String, Bytes, Digest };

struct Case {
    const char* name;
    Key key;
    long options;
    Source source;
};

constexpr long kAttrs = VELT_CMS_INCLUDE_ATTRS;
constexpr long kAllAttrs = kAttrs | VELT_CMS_ADD_SIGNTIME | VELT_CMS_ADD_SMIMECAP | VELT_CMS_ADD_SIGNINGCERT |
                           VELT_CMS_ADD_ALGPROTECT;

const Case kCases[] = {
    {"defaults_sha1_rsaEncryption", Key::Rsa, 0, Source::File},
    {"sha256_no_attrs_string", Key::Rsa, VELT_SIG_SHA256WITHRSA, Source::String},
    {"sha256_sigalg_hash_form", Key::Rsa, VELT_SIG_SHA256WITHRSA | VELT_CMS_RSA_SIGALG_HASH, Source::Bytes},
    {"sha384_attrs", Key::Rsa, VELT_SIG_SHA384WITHRSA | kAttrs, Source::File},
    {"signtime", Key::Rsa, VELT_SIG_SHA256WITHRSA | kAttrs | VELT_CMS_ADD_SIGNTIME, Source::File},
    {"smimecap", Key::Rsa, VELT_SIG_SHA256WITHRSA | kAttrs | VELT_CMS_ADD_SMIMECAP, Source::File},
    {"ess_v1_sha1", Key::Rsa, VELT_SIG_SHA1WITHRSA | kAttrs | VELT_CMS_ADD_SIGNINGCERT, Source::File},
    {"ess_v2_sha256", Key::Rsa, VELT_SIG_SHA256WITHRSA | kAttrs | VELT_CMS_ADD_SIGNINGCERT, Source::File},
    {"ess_v2_sha512_with_alg", Key::Rsa, VELT_SIG_SHA512WITHRSA | kAttrs | VELT_CMS_ADD_SIGNINGCERT,
     Source::File},
    {"algprotect_pkcs1", Key::Rsa, VELT_SIG_SHA256WITHRSA | kAttrs | VELT_CMS_ADD_ALGPROTECT, Source::File},
    {"all_attrs_hash_form", Key::Rsa, VELT_SIG_SHA256WITHRSA | kAllAttrs | VELT_CMS_RSA_SIGALG_HASH,
     Source::File},
    {"pss_sha256_attrs", Key::Rsa, VELT_SIG_RSA_PSS_SHA256 | kAllAttrs, Source::File},
    {"pss_salt_zero", Key::Rsa, VELT_SIG_RSA_PSS_SHA256 | VELT_PSS_SALTLEN_ZERO, Source::File},
    {"pss_mgf1_sha1", Key::Rsa, VELT_SIG_RSA_PSS_SHA384 | VELT_MGF1_SHA1 | kAttrs | VELT_CMS_ADD_ALGPROTECT,
     Source::File},
    {"ecdsa_sha256", Key::Ec, VELT_SIG_ECDSA_SHA256, Source::File},
    {"ecdsa_sha384_all_attrs", Key::Ec, VELT_SIG_ECDSA_SHA384 | kAllAttrs, Source::File},
    {"use_ski", Key::Rsa, VELT_SIG_SHA256WITHRSA | VELT_CMS_USE_SKI | kAttrs, Source::File},
    {"use_ski_ecdsa", Key::Ec, VELT_SIG_ECDSA_SHA256 | VELT_CMS_USE_SKI, Source::File},
    {"base64_output", Key::Rsa, VELT_SIG_SHA256WITHRSA | kAttrs | VELT_CMS_FORMAT_BASE64, Source::File},
    {"detached", Key::Rsa, VELT_SIG_SHA256WITHRSA | kAttrs | VELT_CMS_EXCLUDE_DATA, Source::File},
    {"detached_ecdsa_no_attrs", Key::Ec, VELT_SIG_ECDSA_SHA256 | VELT_CMS_EXCLUDE_DATA, Source::File},
    {"detached_from_digest", Key::Rsa, VELT_SIG_SHA256WITHRSA | kAttrs, Source::Digest},
    {"detached_from_digest_pss", Key::Rsa, VELT_SIG_RSA_PSS_SHA256, Source::Digest},
    {"detached_from_digest_ecdsa", Key::Ec, VELT_SIG_ECDSA_SHA256 | kAllAttrs, Source::Digest},
};

class OpensslAccepts : public ::testing::TestWithParam<Case> {};

TEST_P(OpensslAccepts, Verifies) {
    CMSFX_REQUIRE();
    const Case& c = GetParam();
    const cmsfx::Signer& s = c.key == Key::Rsa ? F.rsa : F.ec;
    // The signer certificate second: it is moved first.
    std::string list = F.rsa2.cert + ";" + s.cert;
    std::string out = testutil::temp_path(std::string(c.name) + ".p7");
    testutil::Bytes content = testutil::read_file(F.content);
    std::string text(content.begin(), content.end());
    long rc = -1;
    switch (c.source) {
        case Source::File:
            rc = CMS_MakeSigData(out.c_str(), F.content.c_str(), list.c_str(), s.key.c_str(), c.options);
            break;
        case Source::String:
            rc = CMS_MakeSigDataFromString(out.c_str(), text.c_str(), list.c_str(), s.key.c_str(), c.options);
            break;
        case Source::Bytes:
            rc = CMS_MakeSigDataFromBytes(out.c_str(), content.data(), long(content.size()), list.c_str(),
                                          s.key.c_str(), c.options);
            break;
        case Source::Digest: {
            char hex[129] = {0};
            long hashAlg = (c.options & 0xF0) == 0x40 ? 4 : 3;
            ASSERT_GT(HASH_HexFromFile(hex, 128, F.content.c_str(), hashAlg), 0);
            rc = CMS_MakeDetachedSig(out.c_str(), hex, list.c_str(), s.key.c_str(), c.options);
            break;
        }
    }
    ASSERT_EQ(rc, 0) << cmsfx::last_error();
    const bool detached = c.source == Source::Digest || (c.options & VELT_CMS_EXCLUDE_DATA);
    std::string got;
    const bool der = !(c.options & VELT_CMS_FORMAT_BASE64);
    std::string in = out;
    if (!der) {
        // openssl reads base64 CMS only inside PEM armour.
        testutil::Bytes b = testutil::read_file(out);
        in = out + ".pem";
        testutil::write_file(
            in, "-----BEGIN CMS-----\n" + std::string(b.begin(), b.end()) + "-----END CMS-----\n");
    }
    ASSERT_EQ(cmsfx::openssl_verify(in, der, detached ? F.content : "", "", &got), 0);
    EXPECT_EQ(got, text);

    cmsfx::SignerParts p;
    ASSERT_TRUE(cmsfx::signer_parts(cmsfx::load_der(out), p));
    EXPECT_EQ(p.haveContent, !detached);
    EXPECT_EQ(p.certCount, 2);
    EXPECT_EQ(p.siVersion, (c.options & VELT_CMS_USE_SKI) ? 3 : 1);
    EXPECT_EQ(p.sdVersion, (c.options & VELT_CMS_USE_SKI) ? 3 : 1);
    EXPECT_EQ(p.signedAttrs.empty(), !(c.options & kAttrs));
}

INSTANTIATE_TEST_SUITE_P(Cases, OpensslAccepts, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OpensslAccepts, ExcludedCertificatesGivenSeparately) {
    CMSFX_REQUIRE();
    std::string out = testutil::temp_path("nocerts.p7");
    // USE_SKI without certificates: SignerInfo version 3 inside SignedData version 1.
    ASSERT_EQ(CMS_MakeSigData(out.c_str(), F.content.c_str(), F.rsa.cert.c_str(), F.rsa.key.c_str(),
                              VELT_SIG_SHA256WITHRSA | VELT_CMS_EXCLUDE_CERTS | VELT_CMS_USE_SKI),
              0);
    cmsfx::SignerParts p;
    ASSERT_TRUE(cmsfx::signer_parts(cmsfx::load_der(out), p));
    EXPECT_EQ(p.certCount, 0);
    EXPECT_EQ(p.siVersion, 3);
    EXPECT_EQ(p.sdVersion, 1);
    EXPECT_EQ(cmsfx::openssl_verify(out, true, "", F.rsa.cert), 0);
}

TEST(OpensslAccepts, NoOuterContentInfo) {
    CMSFX_REQUIRE();
    std::string out = testutil::temp_path("bare.p7");
    ASSERT_EQ(CMS_MakeSigData(out.c_str(), F.content.c_str(), F.rsa.cert.c_str(), F.rsa.key.c_str(),
                              VELT_SIG_SHA256WITHRSA | VELT_CMS_NO_OUTER),
              0);
    velt::cms::Der bare = cmsfx::load_der(out);
    ASSERT_GT(bare.size(), 4u);
    // SEQUENCE { INTEGER 1, SET ... }: the SignedData itself.
    velt::cms::DerTlv t;
    ASSERT_TRUE(velt::cms::der_parse_one(bare.data(), bare.size(), t));
    EXPECT_EQ(t.value[0], 0x02);
    // Wrapped in a ContentInfo by hand, openssl accepts it.
    velt::cms::Der oid = velt::cms::der_oid("signedData");
    velt::cms::Der e0 = velt::cms::der_tlv(0xA0, bare);
    velt::cms::Der ci = velt::cms::der_seq({&oid, &e0});
    std::string wrapped = out + ".ci";
    testutil::write_file(wrapped, testutil::Bytes(ci.begin(), ci.end()));
    EXPECT_EQ(cmsfx::openssl_verify(wrapped), 0);
}

TEST(OpensslAccepts, TwoSignersAfterAddSigner) {
    CMSFX_REQUIRE();
    std::string one = testutil::temp_path("one.p7"), two = testutil::temp_path("two.p7"),
                again = testutil::temp_path("again.p7");
    ASSERT_EQ(CMS_MakeSigData(one.c_str(), F.content.c_str(), F.rsa.cert.c_str(), F.rsa.key.c_str(),
                              VELT_SIG_SHA256WITHRSA | kAttrs),
              0);
    ASSERT_EQ(CMS_MakeSigData(two.c_str(), one.c_str(), F.ec.cert.c_str(), F.ec.key.c_str(),
                              VELT_SIG_ECDSA_SHA384 | kAttrs | VELT_CMS_ADD_SIGNER | VELT_CMS_USE_SKI),
              0)
        << cmsfx::last_error();
    cmsfx::SignerParts p;
    ASSERT_TRUE(cmsfx::signer_parts(cmsfx::load_der(two), p));
    EXPECT_EQ(p.signerCount, 2);
    EXPECT_EQ(p.certCount, 2);
    EXPECT_EQ(p.digestAlgCount, 2);
    EXPECT_EQ(p.sdVersion, 3);  // a version 3 SignerInfo is present
    std::string got;
    EXPECT_EQ(cmsfx::openssl_verify(two, true, "", "", &got), 0);
    EXPECT_EQ(got, std::string("Content to be signed.\r\nSecond line.\r\n"));

    // The same signer again: one copy of its certificate and digest algorithm.
    ASSERT_EQ(CMS_MakeSigData(again.c_str(), two.c_str(), F.ec.cert.c_str(), F.ec.key.c_str(),
                              VELT_SIG_ECDSA_SHA384 | VELT_CMS_ADD_SIGNER),
              0);
    ASSERT_TRUE(cmsfx::signer_parts(cmsfx::load_der(again), p));
    EXPECT_EQ(p.signerCount, 3);
    EXPECT_EQ(p.certCount, 2);
    EXPECT_EQ(p.digestAlgCount, 2);
    EXPECT_EQ(cmsfx::openssl_verify(again), 0);
}

TEST(OpensslAccepts, CompletedPseudoSignature) {
    CMSFX_REQUIRE();
    std::string pseudo = testutil::temp_path("pseudo.p7"), done = testutil::temp_path("done.p7");
    const long opts = VELT_SIG_SHA256WITHRSA | kAttrs | VELT_CMS_ADD_SIGNINGCERT;
    ASSERT_EQ(
        CMS_MakeSigData(pseudo.c_str(), F.content.c_str(), F.rsa.cert.c_str(), "", opts | VELT_CMS_PSEUDOSIG),
        0)
        << cmsfx::last_error();
    cmsfx::SignerParts p;
    ASSERT_TRUE(cmsfx::signer_parts(cmsfx::load_der(pseudo), p));
    ASSERT_EQ(p.signature, velt::cms::Der(256, 0xBB));
    // The real value: a PKCS #1 v1.5 signature of the signed attributes.
    std::string sigB64(1024, '\0');
    long n = SIG_SignData(sigB64.data(), 1023, p.signedAttrs.data(), long(p.signedAttrs.size()),
                          F.rsa.key.c_str(), "", "sha256WithRSAEncryption", 0);
    ASSERT_GT(n, 0);
    sigB64.resize(size_t(n));
    testutil::Bytes sig = testutil::Bytes(256);
    ASSERT_EQ(CNV_BytesFromB64Str(sig.data(), 256, sigB64.c_str()), 256);

    // One byte short: wrong length, nothing written.
    EXPECT_EQ(CMS_MakeSigDataFromSigValue(done.c_str(), sig.data(), 255, nullptr, 0, pseudo.c_str(),
                                          VELT_CMS_PSEUDOSIG),
              -26);
    testutil::Bytes bad = sig;
    bad[10] ^= 1;
    EXPECT_EQ(CMS_MakeSigDataFromSigValue(done.c_str(), bad.data(), 256, nullptr, 0, pseudo.c_str(),
                                          VELT_CMS_PSEUDOSIG),
              -22);
    EXPECT_TRUE(testutil::read_file(done).empty());
    ASSERT_EQ(CMS_MakeSigDataFromSigValue(done.c_str(), sig.data(), 256, nullptr, 0, pseudo.c_str(),
                                          VELT_CMS_PSEUDOSIG),
              0)
        << cmsfx::last_error();
    EXPECT_EQ(cmsfx::openssl_verify(done), 0);
}

TEST(OpensslPrintsCerts, CertificatesOnly) {
    CMSFX_REQUIRE();
    std::string der = testutil::temp_path("certs.p7c"), pem = testutil::temp_path("certs.p7b");
    std::string list = F.rsa.cert + ";" + F.ec.cert + ";" + F.ed.cert;
    ASSERT_EQ(CMS_MakeSigData(der.c_str(), "", list.c_str(), "", VELT_CMS_CERTS_ONLY), 0)
        << cmsfx::last_error();
    ASSERT_EQ(CMS_MakeSigDataFromString(pem.c_str(), "", list.c_str(), "",
                                        VELT_CMS_CERTS_ONLY | VELT_CMS_FORMAT_BASE64),
              0);
    for (const auto& [file, form] : {std::pair{der, "DER"}, std::pair{pem, "PEM"}}) {
        int st = 0;
        std::string out = testutil::run_command(
            "openssl pkcs7 -print_certs -noout -inform " + std::string(form) + " -in " + file + " 2>&1", &st);
        EXPECT_EQ(st, 0) << out;
        for (const char* cn : {"CN = rsa", "CN = ec", "CN = ed"})
            EXPECT_NE(out.find(cn), std::string::npos) << form << ": " << out;
    }
    testutil::Bytes p = testutil::read_file(pem);
    EXPECT_EQ(std::string(p.begin(), p.begin() + 21), "-----BEGIN PKCS7-----");
    // A chain as the certificate list gives its certificates back, and signs.
    std::string out = testutil::temp_path("fromchain.p7");
    ASSERT_EQ(
        CMS_MakeSigData(out.c_str(), F.content.c_str(), der.c_str(), F.ec.key.c_str(), VELT_SIG_ECDSA_SHA256),
        0)
        << cmsfx::last_error();
    cmsfx::SignerParts sp;
    ASSERT_TRUE(cmsfx::signer_parts(cmsfx::load_der(out), sp));
    EXPECT_EQ(sp.certCount, 3);
    EXPECT_EQ(cmsfx::openssl_verify(out), 0);
}

}  // namespace
