// Detectors, filters, UTF-8 checks and the 8-bit and UCS conversions, checked
// against python3's codecs where an independent answer exists.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/test_util.h"
#include "encode/encode.h"

namespace {

using testutil::Bytes;

TEST(Detect, Classes) {
    struct {
        const char* s;
        bool b64, b64url, hexstrict, hexloose;
    } cases[] = {
        {"", true, true, true, true},
        {"YWJj", true, true, false, false},
        {"YW Jj\r\n==", true, true, false, false},
        {"+/==", true, false, false, true},
        {"-_", false, true, false, true},
        {"DEADbeef", true, true, true, true},
        {"DE:AD BE-EF", false, false, false, true},
        {"DEADBEEG", true, true, false, false},
        {"\xC3\xA9", false, false, false, false},
        {"ab*", false, false, false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(detect_isbase64(c.s), c.b64) << c.s;
        EXPECT_EQ(detect_isbase64url(c.s), c.b64url) << c.s;
        EXPECT_EQ(detect_ishexstrict(c.s), c.hexstrict) << c.s;
        EXPECT_EQ(detect_ishexloose(c.s), c.hexloose) << c.s;
    }
    const unsigned char b[] = {0x00, 0x7F, 0x80};
    EXPECT_TRUE(dataIs7bit(b, 2));
    EXPECT_FALSE(dataIs7bit(b, 3));
    EXPECT_TRUE(dataIs7bit(b, 0));
}

TEST(Filters, KeepAlphabetAndStopAtNul) {
    char out[32];
    EXPECT_EQ(hexfilter(out, sizeof out, "de:AD zz 0", 10), 5);
    EXPECT_STREQ(out, "deAD0");
    EXPECT_EQ(b64filter(out, sizeof out, "YW*Jj\n=!", 8), 5);
    EXPECT_STREQ(out, "YWJj=");
    // A length past the NUL stops at the NUL.
    const char withnul[] = "AB\0CD";
    EXPECT_EQ(hexfilter(out, sizeof out, withnul, 5), 2);
    EXPECT_STREQ(out, "AB");
    EXPECT_EQ(hexfilter(out, 3, "ABCDEF", 6), 2);  // room for 2 and the NUL
    EXPECT_STREQ(out, "AB");
    EXPECT_EQ(hexfilter(out, 4, "ABCDEF", 2), 2);
}

TEST(Utf8, CheckTable) {
    struct {
        Bytes b;
        int want;
    } cases[] = {
        {{}, 1},
        {{'a', 'b', 'c'}, 1},
        {{0xC3, 0xA9}, 2},
        {{0xC2, 0x80, 'x'}, 2},
        {{0xE2, 0x82, 0xAC}, 3},
        {{0xC3, 0xA9, 0xE2, 0x82, 0xAC}, 3},
        {{0xF0, 0x9F, 0x98, 0x80}, 3},
        {{0xF8, 0x88, 0x80, 0x80, 0x80}, 3},        // 5-byte form accepted
        {{0xFC, 0x84, 0x80, 0x80, 0x80, 0x80}, 3},  // 6-byte form accepted
        {{0xC0, 0x80}, 0},
        {{0xC1, 0xBF}, 0},
        {{0x80}, 0},
        {{'a', 0xBF}, 0},
        {{0xFE}, 0},
        {{0xFF}, 0},
        {{0xC3}, 0},
        {{0xE2, 0x82}, 0},
        {{0xE2, 0x41, 0x41}, 0},
        {{0xE0, 0x9F, 0xBF}, 0},
        {{0xF0, 0x8F, 0xBF, 0xBF}, 0},
        {{0xF8, 0x87, 0x80, 0x80, 0x80}, 0},
        {{0xFC, 0x83, 0x80, 0x80, 0x80, 0x80}, 0},
        {{0xEF, 0xBF, 0xBE}, 0},
        {{0xEF, 0xBF, 0xBF}, 0},
        {{0xEF, 0xBF, 0xBD}, 3},
        {{0xED, 0xA0, 0x80}, 0},
        {{0xED, 0x9F, 0xBF}, 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(check_utf8_bytes(c.b.data(), c.b.size()), c.want) << testutil::to_hex(c.b);
    EXPECT_EQ(check_utf8_bytes(nullptr, 5), 1);
    EXPECT_EQ(check_utf8(nullptr), 1);
    EXPECT_EQ(check_utf8(""), 1);
    EXPECT_EQ(check_utf8("\xE2\x82\xAC"), 3);
}

TEST(Utf8, ToLatin1) {
    struct {
        Bytes in;
        long want;
        Bytes out;
    } cases[] = {
        {{'a', 0xC3, 0xA9}, 2, {'a', 0xE9}},
        {{0xC2, 0x80, 0xC3, 0xBF}, 2, {0x80, 0xFF}},
        {{0xE2, 0x82, 0xAC}, -11, {}},
        {{0xC4, 0x80}, -11, {}},
        {{0x80}, -11, {}},
        {{0xC3}, -8, {}},
        {{0xC3, 0x41}, -8, {}},
        {{0xC0, 0x80}, -8, {}},
        {{0xFE}, -8, {}},
        {{'a', 'b', 0xFF}, -8, {}},
    };
    for (const auto& c : cases) {
        unsigned char out[8];
        long n = utf8_to_latin1(out, sizeof out, c.in.data(), long(c.in.size()));
        EXPECT_EQ(n, c.want) << testutil::to_hex(c.in);
        if (n > 0) {
            EXPECT_EQ(Bytes(out, out + n), c.out);
        }
        EXPECT_EQ(utf8_to_latin1(nullptr, 0, c.in.data(), long(c.in.size())), c.want);
    }
    unsigned char out[2];
    const unsigned char in[] = {'a', 0xC3, 0xA9, 'b'};
    EXPECT_EQ(utf8_to_latin1(out, 2, in, 4), 2);  // cut at the room
}

// Every byte of the three 8-bit sets against python's codecs (the five
// positions Windows-1252 leaves undefined are taken as Latin-1).
TEST(Utf8, EightBitSetsMatchPython) {
    Bytes all(128);
    for (int i = 0; i < 128; ++i) all[size_t(i)] = uint8_t(128 + i);
    int status = 0;
    std::string out = testutil::run_command(
        "python3 -c 'import codecs\n"
        "r=bytes(range(128,256))\n"
        "print(r.decode(\"latin-1\").encode().hex())\n"
        "print(r.decode(\"iso8859-15\").encode().hex())\n"
        "print(\"\".join(bytes([b]).decode(\"cp1252\",errors=\"ignore\") or chr(b) for b in r).encode().hex())'",
        &status);
    ASSERT_EQ(status, 0);
    std::vector<std::string> lines;
    for (size_t p = 0, q; (q = out.find('\n', p)) != std::string::npos; p = q + 1) lines.push_back(out.substr(p, q - p));
    ASSERT_EQ(lines.size(), 3u);
    for (int set = 0; set < 3; ++set) {
        long n = eightbit_to_utf8(nullptr, 0, all.data(), 128, set);
        Bytes buf(size_t(n) + 1);
        EXPECT_EQ(eightbit_to_utf8(buf.data(), n, all.data(), 128, set), n);
        buf.resize(size_t(n));
        EXPECT_EQ(testutil::to_hex(buf), lines[size_t(set)]) << "set " << set;
    }
    // Any other number is Latin-1.
    EXPECT_EQ(eightbit_to_utf8(nullptr, 0, all.data(), 128, 7), 256);
}

TEST(Utf8, WholeCharactersOnly) {
    const unsigned char in[] = {'a', 0xE9, 'b'};
    unsigned char out[4];
    EXPECT_EQ(latin1_to_utf8(out, 2, in, 3), 1);  // C3 A9 does not fit after 'a'
    EXPECT_EQ(latin1_to_utf8(out, 3, in, 3), 3);
    EXPECT_EQ(latin1_to_utf8(nullptr, 0, in, 3), 4);
    const unsigned char euro = 0x80;
    EXPECT_EQ(eightbit_to_utf8(out, 2, &euro, 1, 2), 0);  // three bytes do not fit in two
    EXPECT_EQ(eightbit_to_utf8(out, 3, &euro, 1, 2), 3);
}

TEST(Ucs, BmpAndUniversalStrings) {
    std::string s;
    const unsigned char bmp[] = {0x00, 'A', 0x00, 0xE9, 0x20, 0xAC};
    EXPECT_EQ(ucs2_to_utf8(s, bmp, 6), 6);
    EXPECT_EQ(s, "A\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(ucs2_to_latin1(s, bmp, 4), 2);
    EXPECT_EQ(s, "A\xE9");
    EXPECT_EQ(ucs2_to_latin1(s, bmp, 6), -11);
    EXPECT_EQ(ucs2_to_utf8(s, bmp, 5), -26);
    const unsigned char univ[] = {0, 0x01, 0xF6, 0x00, 0, 0, 0, 'B', 0, 0x11, 0, 0};
    EXPECT_EQ(ucs4_to_utf8(s, univ, 12), 5);  // nothing for 0x110000
    EXPECT_EQ(s, "\xF0\x9F\x98\x80" "B");
    EXPECT_EQ(ucs4_to_latin1(s, univ + 4, 4), 1);
    EXPECT_EQ(ucs4_to_latin1(s, univ, 8), -11);
    EXPECT_EQ(ucs4_to_utf8(s, univ, 6), -26);
    EXPECT_EQ(ucs2_to_utf8(s, bmp, 0), 0);

    const uint32_t wide[] = {'a', 0xE9, 0x1F600};
    EXPECT_EQ(wide_to_utf8(s, wide, 3), 7);
    const uint32_t sur[] = {'a', 0xD800};
    EXPECT_EQ(wide_to_utf8(s, sur, 2), -39);
    const uint32_t big[] = {0x110000};
    EXPECT_EQ(wide_to_utf8(s, big, 1), -39);
}

}  // namespace
