// Object identifiers, distinguished names (text, building, printing and
// comparison) and broken-down times.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "asn1/asn1.h"
#include "asn_helpers.h"
#include "frame/error.h"
#include "openssl_fixtures.h"

using asntest::Chain;
using asntest::der_hex;
using asntest::parse_hex;
using testutil::from_hex;

TEST(Oid, DottedTextRules) {
    struct Case {
        const char* text;
        const char* hex;  // nullptr: rejected
    } cases[] = {
        {"2.5.4.3", "550403"},
        {"1.2.840.113549", "2a864886f70d"},
        {"2.175.1", "817f01"},
        {"2.176.1", "820001"},
        {"2.48.1", "810001"},
        {"2.999.1", "883701"},
        {"0.39.5", "2705"},
        {"1.2.268435456", "2a8180808000"},
        {"1.40.1", nullptr},
        {"3.1.1", nullptr},
        {"2.5", nullptr},
        {"2.5.4.", nullptr},
        {"2.5..4", nullptr},
        {"2.5.-4", nullptr},
        {"2.5.4a", nullptr},
        {"", nullptr},
        {".2.5.4", nullptr},
    };
    for (const auto& c : cases) {
        OidRec rec;
        int n = oid_SetOIDFromDotted(&rec, c.text);
        if (!c.hex) {
            EXPECT_LT(n, 0) << c.text;
            continue;
        }
        ASSERT_GT(n, 0) << c.text;
        EXPECT_EQ(testutil::to_hex(rec.oct, size_t(n)), c.hex) << c.text;
        EXPECT_STREQ(rec.name, c.text);
    }
    OidRec rec;
    EXPECT_EQ(oid_SetOIDFromDotted(&rec, "2.5.4x"), ~5);  // one's complement of the offset
    // 31 octets fit the record, 32 do not.
    std::string fits = "1.2", over = "1.2";
    for (int i = 0; i < 30; ++i) fits += ".1";
    for (int i = 0; i < 31; ++i) over += ".1";
    EXPECT_EQ(oid_SetOIDFromDotted(&rec, fits.c_str()), 31);
    EXPECT_LT(oid_SetOIDFromDotted(&rec, over.c_str()), 0);
}

TEST(Oid, TableLookupsTakeTheFirstRow) {
    EXPECT_EQ(oid_TableSize(), 179u);
    struct Case {
        const char* dotted;
        const char* name;
    } cases[] = {
        {"1.3.14.3.2.29", "sha1WithRSAEncryption"},
        {"1.2.840.10045.3.1.1", "secp192r1"},
        {"1.2.840.10045.3.1.7", "secp256r1"},
        {"2.5.29.31", "cRLDistributionPoints"},
        {"1.2.840.113549.1.9.16.13.3", "KEMRecipientInfo"},
        {"1.2.840.113549.1.1.1", "rsaEncryption"},
        {"2.5.8.1.1", "rsaEncryption"},
    };
    for (const auto& c : cases) {
        OidRec rec;
        ASSERT_GT(oid_SetOIDFromDotted(&rec, c.dotted), 0);
        EXPECT_EQ(oid_SetRef(&rec), 0);
        EXPECT_STREQ(oid_GetRef(&rec), c.name);
    }
    OidRec rec;
    EXPECT_GT(oid_SetOID(&rec, "RSAENCRYPTION"), 0);
    EXPECT_EQ(testutil::to_hex(rec.oct, size_t(rec.length)), "2a864886f70d010101");
    EXPECT_EQ(oid_MatchName(&rec, "rsaencryption"), 1);
    oid_SetOIDFromDotted(&rec, "1.2.3.4");
    EXPECT_EQ(oid_SetRef(&rec), -1);
    EXPECT_STREQ(oid_GetRef(&rec), "1.2.3.4");
    EXPECT_EQ(oid_SetOID(&rec, "no-such-name"), 0);
    // Every row encodes and reads back to its own dotted text.
    for (size_t i = 0; i < oid_TableSize(); ++i) {
        OidRec r;
        ASSERT_GT(oid_SetOID(&r, oid_TableName(i)), 0) << oid_TableName(i);
        char text[128];
        oid_OctetsToDotted(r.oct, size_t(r.length), text, sizeof text);
        OidRec first;
        oid_SetOID(&first, oid_TableName(i));
        EXPECT_EQ(memcmp(first.oct, r.oct, size_t(r.length)), 0);
    }
}

TEST(Dn, ParseSyntax) {
    DnList* l = dn_New();
    EXPECT_EQ(dn_parse(l, "cn=Alice;  O=Example Org ;c=AU"), 3);
    EXPECT_STREQ(dn_attribname(l, 0), "commonName");
    EXPECT_STREQ(dn_value(l, 1), "Example Org ");
    EXPECT_STREQ(dn_attribname(l, 2), "countryName");
    EXPECT_EQ(dn_value(l, 3), nullptr);
    dn_Free(&l);
    EXPECT_EQ(l, nullptr);

    struct Case {
        const char* text;
        const char* value;  // nullptr: parse fails
    } cases[] = {
        {"CN='a\\,b\\41c' ignored", "a,bAc"},
        {"CN='x;y'", "x;y"},
        {"CN=#x414243", "ABC"},
        {"CN=#x4 1-42", "AB"},
        {"CN=#x141", "\x01" "A"},
        {"CN=##x41", "#x41"},
        {"CN=a,b", "a,b"},
        {"CN =x", nullptr},
        {"XX=x", nullptr},
        {"CN=#xzz", nullptr},
        {"CNx", nullptr},
    };
    for (const auto& c : cases) {
        DnList* d = dn_New();
        long n = dn_parse(d, c.text);
        if (!c.value) {
            EXPECT_EQ(n, -1) << c.text;
        } else {
            ASSERT_EQ(n, 1) << c.text;
            EXPECT_STREQ(dn_value(d, 0), c.value) << c.text;
        }
        dn_Free(&d);
    }
}

TEST(Dn, BuildNames) {
    long err = 0;
    struct Case {
        const char* text;
        long options;
        const char* hex;
    } cases[] = {
        {"CN=abc", 0, "300e310c300a0603550403130361626 3"},
        {"CN=a@b", 0, "300e310c300a0603550403160361 4062"},
        {"CN=\xe9", 0, "300c310a300806035504031401e9"},
        {"CN=\xe9", 0x800000, "300d310b300906035504030c02c3a9"},
        {"2.5.4.3=#0C03616263", 0, "300e310c300a06035504030c03616263"},
        {"$", 0, "3000"},
    };
    for (const auto& c : cases) {
        Chain n(dn_MakeNameFromString(c.text, c.options, &err));
        ASSERT_TRUE(n) << c.text;
        std::string want = c.hex;
        want.erase(std::remove(want.begin(), want.end(), ' '), want.end());
        EXPECT_EQ(der_hex(n.get()), want) << c.text;
    }
    for (const char* bad : {"", "XX=1", "1.2=x", "2.5.4.3=#0C0361", "2.5.4.3=#0C03616263FF"}) {
        errclear();
        Chain n(dn_MakeNameFromString(bad, 0, &err));
        EXPECT_FALSE(n) << bad;
        EXPECT_EQ(err, -6) << bad;
        EXPECT_NE(std::string(errmsg()).find("Invalid distinguished name string"), std::string::npos);
    }
}

static std::string dn_text(AsnNode* name, const char* delim, long options) {
    long n = x509getDNStringFromAsn(nullptr, 0, name, delim, options);
    if (n < 0) return "error " + std::to_string(n);
    std::string s(size_t(n) + 1, '\0');
    EXPECT_EQ(x509getDNStringFromAsn(s.data(), n, name, delim, options), n);
    s.resize(size_t(n));
    return s;
}

TEST(Dn, PrintBothForms) {
    long err = 0;
    Chain n(dn_MakeNameFromString("CN=Alice;O=Example Org;C=AU", 0, &err));
    EXPECT_EQ(dn_text(n.get(), nullptr, 0), "CN=Alice;O=Example Org;C=AU");
    EXPECT_EQ(dn_text(n.get(), ",x", 0), "CN=Alice,O=Example Org,C=AU");
    EXPECT_EQ(dn_text(n.get(), nullptr, 0x1000), "C=AU,O=Example Org,CN=Alice");
    char small[8] = "zzz";
    EXPECT_EQ(x509getDNStringFromAsn(small, 7, n.get(), nullptr, 0), -30);
    EXPECT_STREQ(small, "");

    Chain q(dn_MakeNameFromString("CN='a;b';2.5.4.46=x", 0, &err));
    EXPECT_EQ(dn_text(q.get(), nullptr, 0), "CN='a;b';dnQualifier=x");
    EXPECT_EQ(dn_text(q.get(), nullptr, 0x1000), "2.5.4.46=#130178,CN=a\\;b");

    Chain e(dn_MakeNameFromString("CN= #lead;O=tail ;OU=\xe9\x01", 0x800000, &err));
    EXPECT_EQ(dn_text(e.get(), nullptr, 0x1000), "OU=\\C3\\A9\\01,O=tail\\ ,CN=\\#lead");
    EXPECT_EQ(dn_text(e.get(), nullptr, 0x1000 | 0x800000), "OU=\xc3\xa9\\01,O=tail\\ ,CN=\\#lead");
    EXPECT_EQ(dn_text(e.get(), nullptr, 0x1000 | 0x400000), "OU=\xe9\\01,O=tail\\ ,CN=\\#lead");

    Chain badAva(parse_hex("3009" "3107" "3005" "0603550403"));
    EXPECT_EQ(dn_text(badAva.get(), nullptr, 0), "error -7");
}

TEST(Dn, MatchesOpensslRfc4514Text) {
    const std::string& dir = asntest::openssl_fixtures();
    if (dir.empty()) GTEST_SKIP() << "openssl command not usable";
    std::string want = testutil::run_command("openssl x509 -in " + dir +
                                             "/cert.pem -noout -subject -nameopt RFC2253");
    ASSERT_EQ(want.rfind("subject=", 0), 0u);
    want = want.substr(8);
    while (!want.empty() && (want.back() == '\n' || want.back() == '\r')) want.pop_back();
    testutil::Bytes der = testutil::read_file(dir + "/cert.der");
    Chain c(asn_ReadBytes(der.data(), der.size()));
    // Certificate: SEQ { tbs SEQ { [0] version, serial, sigAlg, issuer, validity, subject ... } }
    AsnNode* subject = asn_FindAtLevel(c.get(), 16, 4, 2);
    ASSERT_NE(subject, nullptr);
    EXPECT_EQ(dn_text(subject, nullptr, 0x1000), want);
    EXPECT_EQ(want, "C=AU,O=Example Org,CN=Test CA");
}

TEST(Dn, Comparison) {
    long err = 0;
    auto name = [&](const char* t, long opt = 0) { return dn_MakeNameFromString(t, opt, &err); };
    Chain a(name("CN=Alice;O=Org;C=AU"));
    Chain reordered(name("C=AU;CN=Alice;O=Org"));
    Chain utf8(name("CN=Alice;O=Org;C=AU", 0x800000));
    Chain lower(name("CN=alice;O=Org;C=AU"));
    EXPECT_EQ(x509matchNames(a.get(), reordered.get()), 1);
    EXPECT_EQ(x509matchNames(a.get(), utf8.get()), 1);
    EXPECT_EQ(x509matchNames(a.get(), lower.get()), 0);

    // Multi-valued RDNs: every attribute takes part, not only the first.
    Chain m1(parse_hex("3021" "311f" "300a06035504030c03616263" "3011060355040b0c0a4f7267556e69744f6e65"));
    Chain m2(parse_hex("3021" "311f" "300a06035504030c03616263" "3011060355040b0c0a4f7267556e697454776f"));
    EXPECT_EQ(x509matchNames(m1.get(), m2.get()), 0);
    EXPECT_EQ(x509matchNames(m1.get(), m1.get()), 1);

    // Values with no Latin-1 form compare by their octets, not as equal empty text.
    Chain e1(parse_hex("3010" "310e" "300c06035504030c05e282ac3132"));
    Chain e2(parse_hex("3010" "310e" "300c06035504030c05e282ac3133"));
    Chain bmp1(parse_hex("300f" "310d" "300b06035504031e0420ac0031"));
    Chain bmp2(parse_hex("300f" "310d" "300b06035504031e0420ac0032"));
    EXPECT_EQ(x509matchNames(e1.get(), e2.get()), 0);
    EXPECT_EQ(x509matchNames(bmp1.get(), bmp2.get()), 0);
    // ... and such a value never equals the text of its hexadecimal display form.
    Chain hexText(parse_hex("3013" "3111" "300f0603550403130823784532383241433132"));
    EXPECT_EQ(x509matchNames(e1.get(), hexText.get()), 0);

    // IssuerAndSerialNumber.
    Chain ias1(asn_Sequence(asn_Link(asn_ExtractCurrent(a.get()), asn_NewInteger(5))));
    Chain ias2(asn_Sequence(asn_Link(asn_ExtractCurrent(reordered.get()), asn_NewInteger(5))));
    Chain ias3(asn_Sequence(asn_Link(asn_ExtractCurrent(reordered.get()), asn_NewInteger(6))));
    EXPECT_EQ(x509matchIssuerAndSN(ias1.get(), ias2.get()), 1);
    EXPECT_EQ(x509matchIssuerAndSN(ias1.get(), ias3.get()), 0);
}

TEST(Time, NormaliseAndIso) {
    struct tm t;
    // 30 February is refused as text; as broken-down fields it normalises
    // to 1 March.
    EXPECT_EQ(isotime_iso2tmgmt(&t, "2024-02-30", nullptr), 1);
    EXPECT_EQ(isotime_iso2tmgmt(&t, "2024-02-29", nullptr), 0);
    t.tm_mday = 30;
    gt_normalizetm(&t);
    char buf[32];
    isotime_tm2isostring(buf, &t);
    EXPECT_STREQ(buf, "2024-03-01T00:00:00Z");
    EXPECT_EQ(t.tm_wday, 5);
    EXPECT_EQ(isotime_iso2tmgmt(&t, "2024-13-01", nullptr), 1);
    EXPECT_EQ(isotime_iso2tmgmt(&t, "1899-12-31", nullptr), 1);
    EXPECT_EQ(isotime_iso2tmgmt(&t, "2024/06/01T12:30Z", nullptr), 0);
    isotime_tm2isostring(buf, &t);
    EXPECT_STREQ(buf, "2024-06-01T12:30:00Z");
    EXPECT_EQ(isotime_iso2tmgmt(&t, "2024-06-01", "08:09:10 extra"), 0);
    EXPECT_EQ(t.tm_hour, 8);
    EXPECT_EQ(t.tm_sec, 10);
    EXPECT_EQ(isotime_iso2tmgmt(&t, "2024-06-01T24:00", nullptr), 1);
    EXPECT_EQ(isotime_iso2tmgmt(&t, "24-06-01", nullptr), 1);

    struct tm c {};
    c.tm_year = 124;
    c.tm_mon = 11;
    c.tm_mday = 31;
    c.tm_hour = 23;
    c.tm_min = 59;
    c.tm_sec = 61;
    gt_normalizetm(&c);
    isotime_tm2isostring(buf, &c);
    EXPECT_STREQ(buf, "2025-01-01T00:00:01Z");
    EXPECT_EQ(c.tm_yday, 0);
    struct tm far {};
    far.tm_year = 10000 - 1900;
    gt_normalizetm(&far);
    EXPECT_EQ(far.tm_year, -1900);
    EXPECT_EQ(far.tm_mon, -1);
}
