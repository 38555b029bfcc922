// Search, extraction, the Extensions walk, value conversions and the
// streaming OCTET STRING reader.
#include <gtest/gtest.h>

#include <cstring>

#include "asn1/asn1.h"
#include "bigd/bigd.h"
#include "asn_helpers.h"
#include "openssl_fixtures.h"

using asntest::Chain;
using asntest::der_hex;
using asntest::parse_hex;
using asntest::take_str;
using testutil::from_hex;

TEST(AsnSearch, SearchesCrossElementBoundaries) {
    Chain c(parse_hex("3010" "3006" "020101" "020102" "3006" "020103" "040100"));
    AsnNode* firstInt = c.get()->next->next;
    AsnNode* hit = asn_FindNextAtLevel(firstInt, 4, 2);
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(hit->data[0], 0);
    EXPECT_EQ(asn_FindAtLevel(c.get(), 2, 3, 2)->data[0], 3);
    EXPECT_EQ(asn_FindAnyAtLevel(c.get(), 2, 1)->next->data[0], 3);
    EXPECT_EQ(asn_Find(firstInt, 2)->data[0], 2);
    Chain e(asn_Extract(c.get(), 16, 2, 1));
    EXPECT_EQ(der_hex(e.get()), "3006020103040100");
    EXPECT_EQ(e.get()->level, 0u);
    EXPECT_EQ(e.get()->next->level, 1u);
}

TEST(AsnSearch, ExtractOfAnIndefiniteElementKeepsItsEnd) {
    Chain c(parse_hex("3080" "a080" "0401ff" "0000" "0500" "0000"));
    Chain e(asn_ExtractCurrent(c.get()->next));
    EXPECT_EQ(der_hex(e.get()), "a0800401ff0000");
}

TEST(AsnSearch, SeekOidOpensEncapsulatedContents) {
    // SEQ { SEQ { OID 2.5.4.3, OCTET STRING { SEQ { OID 2.5.29.15, INT 7 } } } }
    Chain c(asn_Sequence(asn_Sequence(asn_Link(
        asn_NewOIDFromDotted("2.5.4.3"),
        asn_NewOctetStringAsn(asn_Sequence(asn_Link(asn_NewOIDFromDotted("2.5.29.15"), asn_NewInteger(7))))))));
    testutil::Bytes der = from_hex(der_hex(c.get()));
    Chain parsed(asn_ReadBytes(der.data(), der.size()));
    OidRec cn, ku;
    oid_SetOIDFromDotted(&cn, "2.5.4.3");
    oid_SetOIDFromDotted(&ku, "2.5.29.15");
    Chain v(asn_SeekOIDExtractByTag(parsed.get(), &cn, 4));
    EXPECT_EQ(der_hex(v.get()), "040a30080603551d0f020107");
    Chain inner(asn_SeekOIDExtractByTag(parsed.get(), &ku, 2));
    EXPECT_EQ(der_hex(inner.get()), "020107");

    // Deeply nested wrappers end the search instead of recursing without bound.
    AsnNode* deep = asn_Sequence(asn_Link(asn_NewOIDFromDotted("2.5.29.15"), asn_NewInteger(1)));
    for (int i = 0; i < 100; ++i) {
        testutil::Bytes enc = from_hex(der_hex(deep));
        asn_Free(&deep);
        deep = asn_NewOctetString(enc.data(), enc.size());
    }
    Chain d(deep);
    Chain none(asn_SeekOIDExtractByTag(d.get(), &ku, 2));
    EXPECT_FALSE(none);
}

// A certificate-shaped chain whose certificatePolicies extension carries the
// keyUsage OID inside its value, before the real keyUsage extension.
static AsnNode* tricky_cert(bool withKeyUsage) {
    AsnNode* policies = asn_Sequence(asn_Link(
        asn_NewOID("certificatePolicies"),
        asn_NewOctetStringAsn(asn_Sequence(asn_Sequence(asn_NewOID("keyUsage"))))));
    AsnNode* exts = policies;
    if (withKeyUsage) {
        exts = asn_Link(exts, asn_Sequence(asn_LinkVar(asn_NewOID("keyUsage"), asn_NewBoolean(1),
                                                       asn_NewOctetString(from_hex("030205a0").data(), 4), nullptr)));
    }
    AsnNode* tbs = asn_Sequence(asn_LinkVar(asn_ConstrContext(0, asn_NewInteger(2)), asn_NewInteger(1),
                                            asn_Sequence(asn_NewOID("ecdsaWithSHA256")),
                                            asn_ConstrContext(3, asn_Sequence(exts)), nullptr));
    return asn_Sequence(asn_LinkVar(tbs, asn_Sequence(asn_NewOID("ecdsaWithSHA256")),
                                    asn_NewBitString(0, from_hex("00").data(), 1), nullptr));
}

TEST(AsnExtensions, LookupWalksExtnIdsOnly) {
    OidRec ku;
    oid_SetOID(&ku, "keyUsage");
    Chain cert(tricky_cert(true));
    int critical = -1;
    Chain v(asn_FindExtension(cert.get(), &ku, &critical));
    EXPECT_EQ(der_hex(v.get()), "0404030205a0");
    EXPECT_EQ(critical, 1);
    Chain only(tricky_cert(false));
    Chain none(asn_FindExtension(only.get(), &ku, &critical));
    EXPECT_FALSE(none);
    EXPECT_EQ(critical, 0);
}

TEST(AsnExtensions, OpensslCertificateAndRequest) {
    const std::string& dir = asntest::openssl_fixtures();
    if (dir.empty()) GTEST_SKIP() << "openssl command not usable";
    OidRec ku, san, ski;
    oid_SetOID(&ku, "keyUsage");
    oid_SetOID(&san, "subjectAltName");
    oid_SetOID(&ski, "subjectKeyIdentifier");
    testutil::Bytes cert = testutil::read_file(dir + "/cert.der");
    Chain c(asn_ReadBytes(cert.data(), cert.size()));
    int critical = 0;
    Chain k(asn_FindExtension(c.get(), &ku, &critical));
    EXPECT_EQ(der_hex(k.get()), "04040302018" "6");
    EXPECT_EQ(critical, 1);
    Chain s(asn_FindExtension(c.get(), &san, &critical));
    EXPECT_EQ(der_hex(s.get()), "040d300b8209612e6578616d706c65");
    EXPECT_EQ(critical, 0);
    // The older OID search finds the same value.
    Chain s2(asn_SeekOIDExtractByTag(c.get(), &san, 4));
    EXPECT_EQ(der_hex(s2.get()), der_hex(s.get()));
    testutil::Bytes csr = testutil::read_file(dir + "/csr.der");
    Chain r(asn_ReadBytes(csr.data(), csr.size()));
    Chain rk(asn_FindExtension(r.get(), &ku, nullptr));
    EXPECT_EQ(der_hex(rk.get()), "0404030207" "80");
    Chain none(asn_FindExtension(r.get(), &ski, nullptr));
    EXPECT_FALSE(none);
}

TEST(AsnValues, Integers) {
    Chain nine(parse_hex("020900ffffffffffffffff"));
    EXPECT_EQ(asn_Integer2Long(nine.get()), ~uint64_t(0));
    Chain x80(parse_hex("020180"));
    EXPECT_EQ(asn_Integer2Long(x80.get()), 128u);
    Chain en(parse_hex("0a0102"));
    EXPECT_EQ(asn_Integer2Long(en.get()), 2u);
    uint8_t buf[8];
    EXPECT_EQ(asn_Integer2Bytes(nine.get(), buf, 8), 8);
    EXPECT_EQ(asn_Integer2Bytes(nine.get(), buf, 7), -1);  // output room checked
    EXPECT_EQ(asn_Integer2Bytes(x80.get(), nullptr, 8), -1);
    uint8_t field[4];
    const uint8_t mag[] = {0x00, 0x81, 0x02, 0x03, 0x04};
    EXPECT_EQ(asn_Oct2BigInt(field, 4, mag, 5), 4);
    EXPECT_EQ(testutil::to_hex(field, 4), "81020304");
    const uint8_t big[] = {0x01, 0x81, 0x02, 0x03, 0x04};
    EXPECT_EQ(asn_Oct2BigInt(field, 4, big, 5), -1);
    EXPECT_EQ(asn_Oct2BigInt(field, 4, mag + 3, 2), 4);
    EXPECT_EQ(testutil::to_hex(field, 4), "00000304");
}

TEST(AsnValues, BitStrings) {
    Chain ku(parse_hex("030205a0"));
    EXPECT_EQ(asn_BitString2Long(ku.get()), 5u);
    uint8_t o[4];
    int unused = -1;
    EXPECT_EQ(asn_Long2BitStringOcts(5, o, &unused), 1);
    EXPECT_EQ(o[0], 0xA0);
    EXPECT_EQ(unused, 5);
    EXPECT_EQ(asn_Long2BitStringOcts(0, o, &unused), 0);
    EXPECT_EQ(unused, 0);
    int64_t n = 0;
    Chain bits(parse_hex("030304ffff"));
    uint8_t* b = asn_BitString2Bytes(bits.get(), &n);
    EXPECT_EQ(testutil::to_hex(b, size_t(n)), "fff0");
    efree_mem(b);
    // No unused-bit octet, more than 7 unused bits, or unused bits with no bits.
    for (const char* bad : {"0300", "030208ff", "030101"}) {
        AsnNode hand{};
        testutil::Bytes c = from_hex(bad);
        hand.tag = 3;
        hand.length = int64_t(c.size()) - 2;
        hand.data = c.data() + 2;
        hand.hdrSize = 2;
        EXPECT_EQ(asn_BitString2Long(&hand), 0u) << bad;
        EXPECT_EQ(asn_BitString2Bytes(&hand, &n), nullptr) << bad;
        EXPECT_EQ(n, 0);
    }
    Chain five(parse_hex("030600ffffffffff"));
    EXPECT_EQ(asn_BitString2Long(five.get()), 0u);
}

TEST(AsnValues, OctetStrings) {
    int64_t n = 0;
    Chain c(parse_hex("24800401410401420000"));
    uint8_t* b = asn_OctetString2Bytes(c.get(), &n);
    EXPECT_EQ(testutil::to_hex(b, size_t(n)), "4142");
    efree_mem(b);
    Chain nested(parse_hex("2480" "2406" "040141" "040142" "040143" "0000"));
    b = asn_OctetString2Bytes(nested.get(), &n);
    EXPECT_EQ(testutil::to_hex(b, size_t(n)), "414243");
    efree_mem(b);
    Chain t(parse_hex("a0800401410401420000"));
    b = asn_TaggedOctetString2Bytes(t.get(), &n);
    EXPECT_EQ(testutil::to_hex(b, size_t(n)), "4142");
    efree_mem(b);
    Chain built(asn_NewOctetStringAsn(asn_Sequence(asn_NewNull())));
    b = asn_OctetString2Bytes(built.get(), &n);
    EXPECT_EQ(testutil::to_hex(b, size_t(n)), "30020500");
    efree_mem(b);
    // Segments nested in another type do not count.
    Chain mixed(parse_hex("2480" "3003040143" "040144" "0000"));
    b = asn_OctetString2Bytes(mixed.get(), &n);
    EXPECT_EQ(testutil::to_hex(b, size_t(n)), "44");
    efree_mem(b);
}

TEST(AsnValues, Times) {
    struct Case {
        const char* hex;
        const char* iso;
        int rc;
    } cases[] = {
        {"170d3439313233313233353935395a", "2049-12-31T23:59:59Z", 0},
        {"170d3530303130313030303030305a", "1950-01-01T00:00:00Z", 0},
        {"181332303234303232393132333435362e3132335a", "2024-02-29T12:34:56Z", 0},
        {"1706343931323331", "", -1},                          // too short
        {"170d34393132333132333539353a5a", "", -1},            // a non-digit
        {"0c0d3439313233313233353935395a", "", 1},              // another type
    };
    for (const auto& c : cases) {
        Chain n(parse_hex(c.hex));
        ASSERT_TRUE(n) << c.hex;
        struct tm t;
        EXPECT_EQ(asn_ZuluTime2tm(n.get(), &t), c.rc) << c.hex;
        char buf[32];
        EXPECT_STREQ(asn_ZuluTime2IsoString(buf, n.get()), c.iso);
    }
}

TEST(AsnValues, DisplayStrings) {
    int64_t n = 0;
    Chain bmp(parse_hex("1e0400410042"));
    EXPECT_EQ(take_str(asn_StoreUTF8String(bmp.get(), &n)), "AB");
    EXPECT_EQ(n, 2);
    Chain i(parse_hex("020105"));
    EXPECT_EQ(take_str(asn_StoreUTF8String(i.get(), &n)), "#020105");
    EXPECT_LT(n, 0);
    Chain o(parse_hex("0402abcd"));
    EXPECT_EQ(take_str(asn_StoreDataString(o.get(), 0)), "#xABCD");
    Chain u(parse_hex("0c02c3a9"));
    EXPECT_EQ(take_str(asn_StoreDataString(u.get(), 1)), "\xe9");
    EXPECT_EQ(take_str(asn_StoreDataString(u.get(), 0)), "\xc3\xa9");
    Chain t61(parse_hex("1401e9"));
    EXPECT_EQ(take_str(asn_StoreUTF8String(t61.get(), &n)), "\xc3\xa9");
    Chain euro(parse_hex("0c03e282ac"));
    EXPECT_EQ(take_str(asn_StoreDataString(euro.get(), 1)), "#xE282AC");
}

TEST(AsnValues, OidText) {
    Chain c(parse_hex("0603550403"));
    char buf[64];
    EXPECT_EQ(asn_OidDotString(c.get(), buf, sizeof buf), 7);
    EXPECT_STREQ(buf, "2.5.4.3");
    EXPECT_EQ(asn_OidDotString(c.get(), buf, 4), 7);  // truncated copy, full length
    EXPECT_STREQ(buf, "2.5");
    OidRec rec;
    EXPECT_EQ(asn_SetOid(&rec, c.get()), 0);
    EXPECT_STREQ(rec.name, "commonName");
    // More octets than the record holds is refused, not cut.
    std::string longOid = "0620" + std::string(62, '1') + "01";
    Chain l(parse_hex(longOid));
    ASSERT_TRUE(l);
    EXPECT_EQ(asn_SetOid(&rec, l.get()), -1);
    EXPECT_EQ(rec.length, 0);
    Chain t(parse_hex("0603550483"));  // last arc left open
    EXPECT_EQ(asn_OidDotString(t.get(), buf, sizeof buf), -1);
}

TEST(AsnValues, DigestAlgorithms) {
    Chain a(asn_MakeDigestAlg(3));
    EXPECT_EQ(der_hex(a.get()), "300d06096086480165030402010500");
    Chain s(asn_MakeDigestAlgStrict(3));
    EXPECT_EQ(der_hex(s.get()), "300b0609608648016503040201");
    Chain sha1(asn_MakeDigestAlgStrict(0));
    EXPECT_EQ(der_hex(sha1.get()), "300906052b0e03021a0500");
    Chain shake(asn_MakeDigestAlgStrict(0x9F));
    EXPECT_EQ(der_hex(shake.get()), "300b060960864801650304020c");
}

TEST(AsnStream, SegmentedOctetString) {
    // After the outer 24 80 header: a primitive segment, a nested
    // indefinite string with one segment, a definite constructed one, EOC.
    testutil::Bytes b = from_hex("04024142" "2480" "040143" "0000" "2403" "040144" "0000");
    std::string path = testutil::temp_path("seg.ber");
    testutil::write_file(path, b);
    FILE* f = fopen(path.c_str(), "rb");
    AsnInput in = AsnInput::file(f);
    RdoReader* r = rdo_New();
    rdo_Init(r, -1, 0);
    std::string got;
    uint8_t buf[1];
    long k;
    int guard = 0;
    while ((k = rdo_ReadOctetString_Part(r, buf, sizeof buf, &in)) != -1 && guard++ < 100) {
        ASSERT_GE(k, 0);
        got.append(reinterpret_cast<char*>(buf), size_t(k));
    }
    EXPECT_EQ(got, "ABCD");
    EXPECT_EQ(rdo_ReadOctetString_Part(r, buf, 1, &in), -1);
    // Known outer length, a wrong inner tag: error, and error stays.
    testutil::Bytes bad = from_hex("04014102014200");
    AsnInput in2 = AsnInput::memory(bad.data(), bad.size());
    rdo_Init(r, 7, 0);
    EXPECT_EQ(rdo_ReadOctetString_Part(r, buf, 1, &in2), 0);
    EXPECT_EQ(rdo_ReadOctetString_Part(r, buf, 1, &in2), 1);
    EXPECT_EQ(rdo_ReadOctetString_Part(r, buf, 1, &in2), -2);
    EXPECT_EQ(rdo_ReadOctetString_Part(r, buf, 1, &in2), -2);
    rdo_Free(&r);
    EXPECT_EQ(r, nullptr);
    fclose(f);
}

TEST(AsnValues, HashOfEncodingAndBigIntegers) {
    Chain c(parse_hex("3003020105"));
    char hex[129];
    EXPECT_EQ(asn_HashToHex(c.get(), hex, 64, 3), 64);
    // SHA-256 of 30 03 02 01 05.
    testutil::Bytes der = from_hex("3003020105");
    std::string want = testutil::run_command("printf '\\060\\003\\002\\001\\005' | openssl dgst -sha256 -r");
    EXPECT_EQ(std::string(hex), want.substr(0, 64));
    uint8_t out[32];
    EXPECT_EQ(asn_HashToBytes(c.get(), out, 32, 3), 32);
    EXPECT_EQ(testutil::to_hex(out, 32), want.substr(0, 64));
    EXPECT_EQ(asn_HashToBytes(nullptr, out, 32, 3), -1);

    Chain big(parse_hex("021100ffeeddccbbaa99887766554433221100"));
    BdNumber* b = bdNew();
    ASSERT_EQ(asn_Integer2BigD(big.get(), b), 0);
    uint8_t mag[16];
    EXPECT_EQ(bdConvToOctets(b, mag, sizeof mag), 16u);
    EXPECT_EQ(testutil::to_hex(mag, 16), "ffeeddccbbaa99887766554433221100");
    EXPECT_EQ(asn_Integer2BigD(c.get(), b), -1);
    bdFree(&b);
}
