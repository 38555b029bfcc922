// The extension parameter string: items that parse, items that fail the
// string, and the DER the builders make of them.
#include <gtest/gtest.h>

#include "common/test_util.h"
#include "frame/error.h"
#include "x509/make.h"
#include "x509/make_int.h"

using namespace velt::x509;
using testutil::to_hex;

namespace {

long parse(ExtSettings& s, const char* text, ExtFor kind = ExtFor::kCertificate) {
    errclear();
    return make_ext_parse(s, text, kind);
}

}  // namespace

TEST(X509MakeExt, SerialNumbersAreMinimalNonNegativeIntegers) {
    struct Case {
        const char* value;
        const char* der;
    } cases[] = {
        {"0001", "020101"},     {"#d0", "020100"},
        {"#x80", "02020080"},   {"#d256", "02020100"},
        {"7f", "02017f"},       {"00ff", "020200ff"},
        {"#x0", "020100"},      {"0000", "020100"},
        {"#X1234", "02021234"}, {"#d18446744073709551616", "0209010000000000000000"},
    };
    for (const Case& c : cases) {
        ExtSettings s;
        ASSERT_EQ(parse(s, (std::string("serialNumber=") + c.value).c_str()), 0) << c.value;
        ASSERT_TRUE(s.hasSerial);
        EXPECT_EQ(to_hex(velt::der_uint(s.serial.data(), s.serial.size())), c.der) << c.value;
    }
    for (const char* bad : {"123", "#x", "#d", "#d12a", "12g4", "#y12", ""}) {
        ExtSettings s;
        EXPECT_EQ(parse(s, (std::string("serialNumber=") + bad).c_str()), BAD_PARAM_ERROR) << bad;
    }
    EXPECT_EQ(to_hex(velt::der_uint(uint64_t(0))), "020100");
    EXPECT_EQ(to_hex(velt::der_uint(uint64_t(0x80))), "02020080");
    EXPECT_EQ(to_hex(velt::der_uint(~uint64_t(0))), "020900ffffffffffffffff");
}

TEST(X509MakeExt, KeyUsageNamesAndBits) {
    ExtSettings s;
    ASSERT_EQ(parse(s, "keyUsage=digitalSignature, keyEncipherment;keyUsage=cRLSign"), 0);
    EXPECT_EQ(s.keyUsage, 0x45u);
    EXPECT_FALSE(s.keyUsageNonCritical);
    ASSERT_EQ(parse(s, "keyUsage=noncritical,digitalSignature"), 0);
    EXPECT_EQ(s.keyUsage, 0x1u);
    EXPECT_TRUE(s.keyUsageNonCritical);
    // A misspelt name fails the string, also after noncritical.
    for (const char* bad : {"keyUsage=digitalSignatur", "keyUsage=noncritical,digitalSignatur",
                            "keyUsage=digitalSignatur,noncritical", "extKeyUsage=serverAuth,webAuth"}) {
        EXPECT_EQ(parse(s, bad), BAD_PARAM_ERROR) << bad;
    }
    EXPECT_NE(std::string(errmsg()).find("webAuth"), std::string::npos);
    struct Bits {
        uint32_t bits;
        const char* der;
    } bits[] = {{0x25, "030202a4"},    {0x1, "03020780"},     {0x80, "03020001"},
                {0x100, "0303070080"}, {0x1FF, "030307ff80"}, {0x6, "03020560"}};
    for (const Bits& b : bits) EXPECT_EQ(to_hex(mk::key_usage_bits(b.bits)), b.der) << b.bits;
}

TEST(X509MakeExt, SubjectAltNamesKeepOrderAndCheckAddresses) {
    ExtSettings s;
    ASSERT_EQ(parse(s,
                    "dnsname=a.example;rfc822Name=x@y.z;DNSNAME=b.example;uri='http://u/;x';"
                    "ipaddress=10.0.0.255;ipaddress=2001:db8:0:0:0:0:0:1"),
              0);
    ASSERT_EQ(s.altNames.size(), 6u);
    EXPECT_EQ(to_hex(mk::general_names(s)),
              "3042"
              "8209612e6578616d706c65"
              "81057840792e7a"
              "8209622e6578616d706c65"
              "860b687474703a2f2f752f3b78"
              "87040a0000ff"
              "871020010db8000000000000000000000001");
    for (const char* bad : {"ipaddress=::1", "ipaddress=1.2.3", "ipaddress=1.2.3.256", "ipaddress=1.2.3.4.5",
                            "ipaddress=2001:db8:0:0:0:0:0", "ipaddress=2001:db8:0:0:0:0:0:10000",
                            "ipaddress=host", "dnsname="}) {
        EXPECT_EQ(parse(s, bad), BAD_PARAM_ERROR) << bad;
    }
    // No "=" at all: the whole string is one e-mail address.
    ASSERT_EQ(parse(s, "someone@example.com"), 0);
    ASSERT_EQ(s.altNames.size(), 1u);
    EXPECT_EQ(s.altNames[0].tag, kGnRfc822);
}

TEST(X509MakeExt, KeywordsByKindAndBadItems) {
    ExtSettings s;
    ASSERT_EQ(parse(s,
                    "notBefore=2020-01-01;notBefore=2021-01-01;subjectKeyIdentifier=0a0B;"
                    "certificatePolicies=2.5.29.32.0;cRLDistributionPoints=http://c/crl;"
                    "1.2.3.4=#0500,critical;sMIMECapabilities=300b0609608648016503040102, 3000"),
              0);
    EXPECT_EQ(s.notBefore, "2020-01-01");  // the first occurrence counts
    EXPECT_EQ(to_hex(s.subjectKeyId), "0a0b");
    ASSERT_EQ(s.extras.size(), 1u);
    EXPECT_TRUE(s.extras[0].critical);
    EXPECT_EQ(s.smimeCaps.size(), 2u);
    // Certificate-only keywords are unknown in a request string.
    EXPECT_EQ(parse(s, "notBefore=2020-01-01", ExtFor::kRequest), BAD_PARAM_ERROR);
    EXPECT_EQ(parse(s, "dnsname=a;keyUsage=keyCertSign", ExtFor::kRequest), 0);
    for (const char* bad : {"colour=blue", "certificatePolicies=notanoid", "1.2.3=#05", "1.2.3=#05000500",
                            "1.2.3=#0500,sometimes", "x.1=#0500", "sMIMECapabilities=0500",
                            "subjectKeyIdentifier=abc", "noequals;dnsname=a"}) {
        EXPECT_EQ(parse(s, bad), BAD_PARAM_ERROR) << bad;
    }
    // Every bad item is reported.
    EXPECT_EQ(parse(s, "colour=blue;ipaddress=1.2.3;dnsname=ok"), BAD_PARAM_ERROR);
    std::string msg = errmsg();
    EXPECT_NE(msg.find("colour"), std::string::npos);
    EXPECT_NE(msg.find("1.2.3"), std::string::npos);
}
