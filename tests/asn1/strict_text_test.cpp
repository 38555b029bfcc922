// Text from hostile input: DER times with impossible dates or times,
// offsets or no Z are refused, and printed names escape NUL and control
// characters so that a value can neither hide nor forge text.
#include <gtest/gtest.h>

#include <string>

#include "asn1/asn_helpers.h"

using asntest::Chain;

namespace {

// One primitive element from its tag and contents.
AsnNode* element(uint8_t tag, const std::string& contents) {
    testutil::Bytes der{tag, uint8_t(contents.size())};
    der.insert(der.end(), contents.begin(), contents.end());
    return asn_ReadBytes(der.data(), der.size());
}

// Name { RDN { commonName = value } } with the value as a string of the
// given tag.
AsnNode* name_with_cn(uint8_t tag, const std::string& value) {
    std::string atv = std::string("\x06\x03\x55\x04\x03", 5) + char(tag) + char(value.size()) + value;
    std::string set = std::string("\x30") + char(atv.size()) + atv;
    std::string rdn = std::string("\x31") + char(set.size()) + set;
    std::string name = std::string("\x30") + char(rdn.size()) + rdn;
    return asn_ReadBytes(reinterpret_cast<const uint8_t*>(name.data()), name.size());
}

std::string dn_text(AsnNode* name, long options) {
    long n = x509getDNStringFromAsn(nullptr, 0, name, nullptr, options);
    if (n < 0) return "error " + std::to_string(n);
    std::string s(size_t(n) + 1, '\0');
    EXPECT_EQ(x509getDNStringFromAsn(s.data(), n, name, nullptr, options), n);
    s.resize(size_t(n));
    return s;
}

}  // namespace

TEST(StrictTime, DerTimesRefuseImpossibleValuesAndOffsets) {
    struct Case {
        uint8_t tag;  // 23 UTCTime, 24 GeneralizedTime
        const char* text;
        const char* iso;  // "" when refused
    } cases[] = {
        {23, "491231235959Z", "2049-12-31T23:59:59Z"},
        {23, "240229120000Z", "2024-02-29T12:00:00Z"},
        {23, "230229120000Z", ""},  // 2023 is not a leap year
        {23, "241301000000Z", ""},  // month 13
        {23, "240001000000Z", ""},  // month 0
        {23, "240231000000Z", ""},  // 31 February
        {23, "240431000000Z", ""},  // 31 April
        {23, "240100000000Z", ""},  // day 0
        {23, "240101240000Z", ""},  // hour 24
        {23, "240101126000Z", ""},  // minute 60
        {23, "240101125960Z", ""},  // second 60
        {23, "240101120000+0100", ""},
        {23, "240101120000Z0100", ""},
        {23, "240101120000", ""},  // no Z
        {23, "2401011200Z", ""},   // no seconds
        {24, "20240229123456.123Z", "2024-02-29T12:34:56Z"},
        {24, "20240229123456Z", "2024-02-29T12:34:56Z"},
        {24, "20000229000000Z", "2000-02-29T00:00:00Z"},
        {24, "21000229000000Z", ""},  // 2100 is not a leap year
        {24, "00000101000000Z", ""},  // year 0
        {24, "20240101120000.Z", ""},
        {24, "20240101120000.50Z", ""},  // DER fractions end in a non-zero digit
        {24, "20240101120000.5", ""},
        {24, "20240101120000-0500", ""},
        {24, "20240101120000Z ", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Chain n(element(c.tag, c.text));
        ASSERT_TRUE(n);
        struct tm t;
        EXPECT_EQ(asn_ZuluTime2tm(n.get(), &t), *c.iso ? 0 : -1);
        char buf[32];
        EXPECT_STREQ(asn_ZuluTime2IsoString(buf, n.get()), c.iso);
    }
}

TEST(StrictTime, IsoTextRefusesDaysTheMonthLacks) {
    struct Case {
        const char* text;
        int rc;
    } cases[] = {
        {"2024-02-29", 0},       {"2023-02-29", 1},          {"2024-02-30", 1},
        {"2024-04-31", 1},       {"2024-12-31", 0},          {"2024-06-01T23:59:59Z", 0},
        {"2024-06-01T23:60", 1}, {"2024-06-01T23:59:60", 1}, {"2024-06-01T24:00", 1},
    };
    for (const auto& c : cases) {
        struct tm t;
        EXPECT_EQ(isotime_iso2tmgmt(&t, c.text, nullptr), c.rc) << c.text;
    }
}

TEST(DnPrinting, ControlCharactersAreEscaped) {
    const std::string nul("good.example\0.evil.com", 22);
    struct Case {
        uint8_t tag;
        std::string value;
        long options;
        const char* text;
    } cases[] = {
        // A NUL no longer cuts the value: both forms show it.
        {0x0C, nul, 0, "CN='good.example\\00.evil.com'"},
        {0x0C, nul, 0x1000, "CN=good.example\\00.evil.com"},
        {0x14, nul, 0, "CN='good.example\\00.evil.com'"},
        {0x16, nul, 0x1000, "CN=good.example\\00.evil.com"},
        {0x0C, nul, 0x800000, "CN='good.example\\00.evil.com'"},
        {0x0C, nul, 0x400000, "CN='good.example\\00.evil.com'"},
        // Line breaks, escape sequences and DEL in both forms.
        {0x0C, "a\nCN=forged", 0, "CN='a\\0ACN=forged'"},
        {0x0C, "a\r\nb", 0x1000, "CN=a\\0D\\0Ab"},
        {0x13, "\x1b[31mred", 0, "CN='\\1B[31mred'"},
        {0x16, "del\x7f", 0, "CN='del\\7F'"},
        {0x16, "del\x7f", 0x1000, "CN=del\\7F"},
        {0x0C, "it's\t", 0, "CN='it\\'s\\09'"},
        // C1 controls: U+009B as UTF-8, and as Latin-1 after conversion.
        {0x0C, "x\xc2\x9b", 0, "CN='x\\C2\\9B'"},
        {0x0C, "x\xc2\x9b", 0x1000, "CN=x\\C2\\9B"},
        {0x0C, "x\xc2\x9b", 0x1000 | 0x800000, "CN=x\\C2\\9B"},
        {0x0C, "x\xc2\x9b", 0x400000, "CN='x\\9B'"},
        {0x0C, "x\xc2\x9b", 0x1000 | 0x400000, "CN=x\\9B"},
        // Ordinary text is unchanged.
        {0x0C, "caf\xc3\xa9", 0, "CN=caf\xc3\xa9"},
        {0x0C, "caf\xc3\xa9", 0x1000 | 0x800000, "CN=caf\xc3\xa9"},
        {0x0C, "caf\xc3\xa9", 0x400000, "CN=caf\xe9"},
        {0x13, "Test CA", 0, "CN=Test CA"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testutil::to_hex(testutil::bytes_of(c.value)) + " options " + std::to_string(c.options));
        Chain n(name_with_cn(c.tag, c.value));
        ASSERT_TRUE(n);
        EXPECT_EQ(dn_text(n.get(), c.options), c.text);
    }
}

TEST(DnPrinting, EscapedNamesReadBackAndCompareWhole) {
    const std::string nul("good.example\0.evil.com", 22);
    Chain printed(name_with_cn(0x14, nul));
    std::string text = dn_text(printed.get(), 0);
    // The library form parses back to the same octets.
    long err = 0;
    Chain parsed(dn_MakeNameFromString(text.c_str(), 0, &err));
    ASSERT_TRUE(parsed) << text;
    EXPECT_EQ(asntest::der_hex(parsed.get()), asntest::der_hex(printed.get()));
    // Names that differ after a NUL do not match.
    Chain shorter(name_with_cn(0x14, "good.example"));
    Chain utf8(name_with_cn(0x0C, nul));
    EXPECT_EQ(x509matchNames(printed.get(), shorter.get()), 0);
    EXPECT_EQ(x509matchNames(printed.get(), utf8.get()), 1);
}
