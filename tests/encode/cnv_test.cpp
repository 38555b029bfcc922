// The exported CNV_ functions: output convention, error record, and the
// conversions checked against python3 and openssl.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/test_util.h"
#include "morvanevelt.h"

namespace {

using testutil::Bytes;

// The error record after a call: the code and whether it matches the result.
void expect_recorded(long result, long code) {
    EXPECT_EQ(result, -code);
    EXPECT_EQ(VELT_ErrorCode(), code);
}

TEST(CnvHex, EncodeConventionAndTruncation) {
    const unsigned char b[] = {0x01, 0xAB, 0xFF};
    char buf[16];
    EXPECT_EQ(CNV_HexStrFromBytes(nullptr, 0, b, 3), 6);
    EXPECT_EQ(CNV_HexStrFromBytes(buf, 0, b, 3), 6);
    struct {
        long declared;
        long want;
        const char* text;
    } cases[] = {{15, 6, "01ABFF"}, {6, 6, "01ABFF"}, {5, 4, "01AB"}, {1, 0, ""}};
    for (const auto& c : cases) {
        memset(buf, 'x', sizeof buf);
        EXPECT_EQ(CNV_HexStrFromBytes(buf, c.declared, b, 3), c.want) << c.declared;
        EXPECT_STREQ(buf, c.text);
    }
    EXPECT_EQ(CNV_HexStrFromBytes(buf, 15, b, 0), 0);
    EXPECT_STREQ(buf, "");
    expect_recorded(CNV_HexStrFromBytes(buf, 15, nullptr, 3), 6);
    expect_recorded(CNV_HexStrFromBytes(buf, 15, b, -1), 6);
}

TEST(CnvHex, DecodeLooseTextOnly) {
    struct {
        const char* in;
        long want;
        const char* hex;
    } cases[] = {
        {"01ab", 2, "01ab"},        {"01 AB", 2, "01ab"}, {"01ABC", 2, "01ab"}, {"DE:AD BE-EF", 4, "deadbeef"},
        {"", 0, ""},                {"DEADBEEG", -8, ""}, {"01\xC3\xA9", -8, ""},
    };
    for (const auto& c : cases) {
        unsigned char out[16];
        EXPECT_EQ(CNV_BytesFromHexStr(nullptr, 0, c.in), c.want) << c.in;
        long n = CNV_BytesFromHexStr(out, sizeof out, c.in);
        EXPECT_EQ(n, c.want) << c.in;
        if (n >= 0) {
            EXPECT_EQ(testutil::to_hex(out, size_t(n)), c.hex);
        }
        EXPECT_EQ(VELT_ErrorCode(), n < 0 ? -n : 0);
    }
    unsigned char out[2];
    EXPECT_EQ(CNV_BytesFromHexStr(out, 2, "010203"), 2);  // truncation rule
    expect_recorded(CNV_BytesFromHexStr(out, 2, nullptr), 6);
}

TEST(CnvBase64, EncodeDecodeAndConvention) {
    char buf[16];
    const unsigned char abc[] = {'a', 'b', 'c'}, ff = 0xFF;
    EXPECT_EQ(CNV_B64StrFromBytes(nullptr, 0, abc, 3), 4);
    EXPECT_EQ(CNV_B64StrFromBytes(nullptr, 0, abc, 4 - 3), 4);
    EXPECT_EQ(CNV_B64StrFromBytes(nullptr, 0, abc, 0), 0);
    EXPECT_EQ(CNV_B64StrFromBytes(buf, 15, abc, 3), 4);
    EXPECT_STREQ(buf, "YWJj");
    EXPECT_EQ(CNV_B64StrFromBytes(buf, 15, &ff, 1), 4);
    EXPECT_STREQ(buf, "/w==");
    EXPECT_EQ(CNV_B64StrFromBytes(buf, 3, abc, 3), 0);  // whole groups only
    EXPECT_STREQ(buf, "");

    unsigned char out[8];
    EXPECT_EQ(CNV_BytesFromB64Str(nullptr, 0, "YW Jj"), 3);
    EXPECT_EQ(CNV_BytesFromB64Str(out, 8, "YW Jj"), 3);
    EXPECT_EQ(memcmp(out, "abc", 3), 0);
    expect_recorded(CNV_BytesFromB64Str(out, 8, "YWJj*"), 8);
    expect_recorded(CNV_BytesFromB64Str(out, 8, nullptr), 6);
    EXPECT_EQ(CNV_BytesFromB64Str(out, 8, ""), 0);
}

TEST(CnvBase64, RoundTripsWithOpenssl) {
    Bytes data(301);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7 + 3);
    std::string bin = testutil::temp_path("cnv.bin"), txt = testutil::temp_path("cnv.b64");
    testutil::write_file(bin, data);
    long n = CNV_B64StrFromBytes(nullptr, 0, data.data(), long(data.size()));
    std::string ours(size_t(n), '\0');
    ASSERT_EQ(CNV_B64StrFromBytes(ours.data(), n, data.data(), long(data.size())), n);
    int status = 0;
    std::string theirs = testutil::run_command("openssl base64 -A -in " + bin, &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(ours, theirs);
    // openssl decodes ours; we decode openssl's wrapped form.
    testutil::write_file(txt, ours + "\n");
    std::string back = testutil::run_command("openssl base64 -d -A -in " + txt + " | od -An -v -tx1 | tr -d ' \\n'");
    EXPECT_EQ(back, testutil::to_hex(data));
    std::string wrapped = testutil::run_command("openssl base64 -in " + bin);
    Bytes out(data.size());
    EXPECT_EQ(CNV_BytesFromB64Str(out.data(), long(out.size()), wrapped.c_str()), long(data.size()));
    EXPECT_EQ(out, data);
}

TEST(CnvFilters, NullOutputNegativeLengthAndNul) {
    char out[16];
    EXPECT_EQ(CNV_HexFilter(out, "12:3G-4", 7), 4);
    EXPECT_STREQ(out, "1234");
    EXPECT_EQ(CNV_B64Filter(out, "Y W*J\nj=", 8), 5);
    EXPECT_STREQ(out, "YWJj=");
    // Filtering stops at the NUL even when the length goes past it.
    const char s[] = "AB\0CD";
    EXPECT_EQ(CNV_HexFilter(out, s, 5), 2);
    EXPECT_STREQ(out, "AB");
    EXPECT_EQ(CNV_B64Filter(out, s, 5), 2);
    EXPECT_EQ(CNV_HexFilter(out, "ABCD", 0), 0);
    EXPECT_STREQ(out, "");
    // A null output or a negative length is a wrong parameter, not a crash.
    expect_recorded(CNV_HexFilter(nullptr, "AB", 2), 6);
    expect_recorded(CNV_B64Filter(nullptr, "AB", 2), 6);
    expect_recorded(CNV_HexFilter(out, "AB", -1), 6);
    expect_recorded(CNV_B64Filter(out, "AB", -1), 6);
    expect_recorded(CNV_HexFilter(out, nullptr, 2), 6);
}

TEST(CnvBase58, ExactFitBothWays) {
    const unsigned char b[] = {0, 0, 1};
    char text[8];
    EXPECT_EQ(CNV_Base58FromBytes(nullptr, 0, b, 3), 3);
    strcpy(text, "zzzz");
    expect_recorded(CNV_Base58FromBytes(text, 2, b, 3), 30);
    EXPECT_STREQ(text, "zzzz");
    EXPECT_EQ(CNV_Base58FromBytes(text, 3, b, 3), 3);
    EXPECT_STREQ(text, "112");
    EXPECT_EQ(CNV_Base58FromBytes(text, 7, b, 3), 3);

    unsigned char out[6];
    EXPECT_EQ(CNV_Base58ToBytes(nullptr, 0, "112"), 3);
    memset(out, 0xEE, sizeof out);
    expect_recorded(CNV_Base58ToBytes(out, 2, "112"), 30);
    EXPECT_EQ(testutil::to_hex(out, 6), "eeeeeeeeeeee");  // untouched on -30
    expect_recorded(CNV_Base58ToBytes(out, 6, "11O"), 8);
    EXPECT_EQ(testutil::to_hex(out, 6), "eeeeeeeeeeee");  // untouched on -8
    EXPECT_EQ(CNV_Base58ToBytes(out, 6, "112"), 3);
    EXPECT_EQ(testutil::to_hex(out, 6), "000001000000");  // the whole declared length is cleared
    expect_recorded(CNV_Base58ToBytes(out, 6, nullptr), 6);
}

TEST(CnvUtf8, Latin1Conversions) {
    char s[16];
    unsigned char b[16];
    EXPECT_EQ(CNV_UTF8FromLatin1(nullptr, 0, "a\xE9"), 3);
    EXPECT_EQ(CNV_UTF8FromLatin1(s, 15, "a\xE9"), 3);
    EXPECT_STREQ(s, "a\xC3\xA9");
    EXPECT_EQ(CNV_UTF8FromLatin1(s, 2, "a\xE9"), 1);  // whole characters only
    EXPECT_STREQ(s, "a");
    EXPECT_EQ(CNV_Latin1FromUTF8(s, 15, "a\xC3\xA9"), 2);
    EXPECT_STREQ(s, "a\xE9");
    EXPECT_EQ(CNV_Latin1FromUTF8(nullptr, 0, "a\xC3\xA9"), 2);
    expect_recorded(CNV_Latin1FromUTF8(s, 15, "\xE2\x82\xAC"), 11);
    expect_recorded(CNV_Latin1FromUTF8(s, 15, "\xC3"), 8);
    EXPECT_EQ(CNV_UTF8BytesFromLatin1(b, 16, "\xFF"), 2);
    EXPECT_EQ(b[0], 0xC3);
    EXPECT_EQ(b[1], 0xBF);
    const unsigned char u[] = {'x', 0xC3, 0xBF};
    EXPECT_EQ(CNV_Latin1FromUTF8Bytes(s, 15, u, 3), 2);
    EXPECT_STREQ(s, "x\xFF");
    // Empty inputs are wrong parameters for these five.
    expect_recorded(CNV_UTF8FromLatin1(s, 15, ""), 6);
    expect_recorded(CNV_Latin1FromUTF8(s, 15, ""), 6);
    expect_recorded(CNV_UTF8BytesFromLatin1(b, 15, ""), 6);
    expect_recorded(CNV_UTF8BytesFrom8Bit(b, 15, "", 0), 6);
    const unsigned char zero = 0;
    expect_recorded(CNV_Latin1FromUTF8Bytes(s, 15, &zero, 1), 6);
}

TEST(CnvUtf8, EightBitSets) {
    struct {
        const char* in;
        long option;
        const char* hex;
    } cases[] = {
        {"\x80", 2, "e282ac"}, {"\x80", 0, "c280"}, {"\x83", 2, "c692"}, {"\x81", 2, "c281"},
        {"\xA4", 1, "e282ac"}, {"\xA4", 0, "c2a4"}, {"\xA4", 5, "c2a4"}, {"\xBE", 0x11, "c5b8"},
    };
    for (const auto& c : cases) {
        unsigned char out[8];
        long n = CNV_UTF8BytesFrom8Bit(out, sizeof out, c.in, c.option);
        ASSERT_GT(n, 0);
        EXPECT_EQ(testutil::to_hex(out, size_t(n)), c.hex) << c.option;
        EXPECT_EQ(CNV_UTF8BytesFrom8Bit(nullptr, 0, c.in, c.option), n);
    }
}

TEST(CnvUtf8, Checks) {
    struct {
        const char* s;
        long want;
    } cases[] = {{"abc", 1}, {"", 1}, {"\xC3\xA9", 2}, {"\xE2\x82\xAC", 3}, {"\xC0\x80", 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(CNV_CheckUTF8(c.s), c.want) << c.s;
        EXPECT_EQ(CNV_CheckUTF8Bytes(reinterpret_cast<const unsigned char*>(c.s), long(strlen(c.s))), c.want);
        std::string p = testutil::temp_path("utf8.txt");
        testutil::write_file(p, std::string(c.s));
        EXPECT_EQ(CNV_CheckUTF8File(p.c_str()), c.want);
    }
    expect_recorded(CNV_CheckUTF8(nullptr), 6);
    expect_recorded(CNV_CheckUTF8File(""), 6);
    expect_recorded(CNV_CheckUTF8File(testutil::temp_path("absent.txt").c_str()), 1);
}

TEST(CnvUtf8, ByteEncodingAndWide) {
    unsigned char out[8];
    const unsigned char l1[] = {'a', 0xE9};
    EXPECT_EQ(CNV_ByteEncoding(out, 8, l1, 2, 1), 3);
    EXPECT_EQ(testutil::to_hex(out, 3), "61c3a9");
    EXPECT_EQ(CNV_ByteEncoding(nullptr, 0, l1, 2, 1), 3);
    EXPECT_EQ(CNV_ByteEncoding(out, 8, out, 3, 2), 2);
    EXPECT_EQ(testutil::to_hex(out, 2), "61e9");
    expect_recorded(CNV_ByteEncoding(out, 8, l1, 2, 3), 17);
    expect_recorded(CNV_ByteEncoding(out, 8, l1, 2, 0), 17);

    char s[16];
    EXPECT_EQ(CNV_Utf8FromWide(nullptr, 0, L"a\u00e9\u20ac"), 6);
    EXPECT_EQ(CNV_Utf8FromWide(s, 15, L"a\u00e9\u20ac"), 6);
    EXPECT_STREQ(s, "a\xC3\xA9\xE2\x82\xAC");
    strcpy(s, "keep");
    EXPECT_EQ(CNV_Utf8FromWide(s, 5, L"a\u00e9\u20ac"), -30);
    EXPECT_STREQ(s, "keep");
    EXPECT_EQ(CNV_Utf8FromWide(s, 15, L""), 0);
    EXPECT_STREQ(s, "");
    EXPECT_EQ(CNV_Utf8FromWide(s, 15, nullptr), 0);
    const wchar_t bad[] = {L'a', wchar_t(0xD800), 0};
    EXPECT_EQ(CNV_Utf8FromWide(s, 15, bad), -39);
    // Neither clears nor records: a previous record survives.
    EXPECT_EQ(CNV_CheckUTF8(nullptr), -6);
    EXPECT_EQ(CNV_Utf8FromWide(s, 15, bad), -39);
    EXPECT_EQ(CNV_ShortPathName(s, 15, "/tmp"), -19);
    EXPECT_EQ(VELT_ErrorCode(), 6);
}

TEST(CnvBytes, ReverseAndNumbers) {
    unsigned char b[] = {1, 2, 3};
    EXPECT_EQ(CNV_ReverseBytes(b, b, 3), 0);
    EXPECT_EQ(testutil::to_hex(b, 3), "030201");
    EXPECT_EQ(CNV_ReverseBytes(b, b, 0), 0);
    EXPECT_EQ(testutil::to_hex(b, 3), "030201");
    unsigned char o[4] = {};
    EXPECT_EQ(CNV_ReverseBytes(o, b, 2), 0);
    EXPECT_EQ(testutil::to_hex(o, 2), "0203");
    expect_recorded(CNV_ReverseBytes(nullptr, b, 2), 6);

    struct {
        long declared, option;
        const char* hex;
    } to[] = {{4, 0, "01020304"}, {4, 1, "04030201"}, {2, 0, "0102"}, {2, 1, "0403"}, {8, 0, "01020304"}};
    for (const auto& t : to) {
        unsigned char out[8];
        EXPECT_EQ(CNV_NumToBytes(out, t.declared, 0x01020304, t.option), 0);
        EXPECT_EQ(testutil::to_hex(out, strlen(t.hex) / 2), t.hex);
    }
    expect_recorded(CNV_NumToBytes(o, 0, 1, 0), 6);

    const unsigned char in[] = {0x01, 0x02, 0xFF, 0xFE, 0x99};
    EXPECT_EQ(CNV_NumFromBytes(in, 2, 0), 0x01020000);
    EXPECT_EQ(CNV_NumFromBytes(in, 2, 1), 0x0201);
    EXPECT_EQ(CNV_NumFromBytes(in + 2, 3, 0), 0xFFFE9900L);  // unsigned 32-bit value
    EXPECT_EQ(CNV_NumFromBytes(in, 5, 1), 0xFEFF0201L);
    // Inverses on the same prefix.
    unsigned char two[2];
    CNV_NumToBytes(two, 2, 0x01020000, 0);
    EXPECT_EQ(testutil::to_hex(two, 2), "0102");
    EXPECT_EQ(CNV_NumFromBytes(nullptr, 4, 0), 0);
    EXPECT_EQ(VELT_ErrorCode(), 6);
    EXPECT_EQ(CNV_NumFromBytes(in, 0, 0), 0);
    EXPECT_EQ(VELT_ErrorCode(), 6);
}

}  // namespace

namespace {

// Hostile input: random strings through every decoder. Buffers are sized
// exactly (heap vectors, so the sanitizer build catches a write past them),
// the length query agrees with the full result, and a buffer one short of it
// is handled by truncation or -30, never by writing past the end.
TEST(CnvRandomInput, LengthQueryAgreesAndBuffersHold) {
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    using Fn = long (*)(unsigned char*, long, const char*);
    const Fn byte_outputs[] = {CNV_BytesFromHexStr, CNV_BytesFromB64Str, CNV_Base58ToBytes,
                               CNV_UTF8BytesFromLatin1};
    using Sfn = long (*)(char*, long, const char*);
    const Sfn string_outputs[] = {CNV_UTF8FromLatin1, CNV_Latin1FromUTF8};
    const char alphabet[] = "0123456789abcdefABCDEF+/=-_ \n:1OIlz\xC3\xA9\xE2\x82\xAC\x80\xFF";
    for (int iter = 0; iter < 3000; ++iter) {
        std::string s(next() % 48, ' ');
        for (char& c : s) c = (next() & 1) ? alphabet[next() % (sizeof alphabet - 1)] : char(1 + next() % 255);
        for (Fn f : byte_outputs) {
            long n = f(nullptr, 0, s.c_str());
            if (n <= 0) continue;
            std::vector<unsigned char> full(static_cast<size_t>(n));
            EXPECT_EQ(f(full.data(), n, s.c_str()), n) << s;
            if (n == 1) continue;  // declared 0 would be a length query
            std::vector<unsigned char> shorter(size_t(n - 1));
            long r = f(shorter.data(), n - 1, s.c_str());
            EXPECT_TRUE(r == -30 || (r >= 0 && r <= n - 1)) << r;
        }
        for (Sfn f : string_outputs) {
            long n = f(nullptr, 0, s.c_str());
            if (n <= 0) continue;
            std::vector<char> full(size_t(n) + 1);
            EXPECT_EQ(f(full.data(), n, s.c_str()), n) << s;
            EXPECT_LE(strlen(full.data()), size_t(n));
            if (n == 1) continue;
            std::vector<char> shorter(static_cast<size_t>(n));
            long r = f(shorter.data(), n - 1, s.c_str());
            EXPECT_TRUE(r >= 0 && r <= n - 1) << r;
        }
        long k = CNV_CheckUTF8(s.c_str());
        EXPECT_TRUE(k >= 0 && k <= 3);
        std::vector<char> hex(s.size() + 1);
        EXPECT_LE(CNV_HexFilter(hex.data(), s.c_str(), long(s.size())), long(s.size()));
        EXPECT_LE(CNV_B64Filter(hex.data(), s.c_str(), long(s.size())), long(s.size()));
    }
}

}  // namespace
