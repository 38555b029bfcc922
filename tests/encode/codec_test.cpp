// Hex, base64 and base58 internals, checked against python3 and openssl as
// independent encoders.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "common/test_util.h"
#include "encode/encode.h"

namespace {

using testutil::Bytes;
using testutil::run_command;

// Deterministic test data of every length 0..n-1 concatenated differently.
Bytes sample(size_t n, uint32_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        b[i] = uint8_t(seed >> 16);
    }
    return b;
}

std::string py(const std::string& program) {
    int status = 0;
    std::string out = run_command("python3 -c '" + program + "'", &status);
    EXPECT_EQ(status, 0) << program;
    return out;
}

TEST(Hex, EncodeWholePairsAndDecodeLeniently) {
    const unsigned char b[] = {0x01, 0xAB, 0xFF};
    char buf[16];
    struct {
        long size;
        const char* want;
    } cases[] = {{16, "01ABFF"}, {7, "01ABFF"}, {6, "01AB"}, {5, "01AB"}, {2, ""}, {1, ""}};
    for (const auto& c : cases) {
        memset(buf, 'x', sizeof buf);
        EXPECT_EQ(hexencode(buf, c.size, b, 3), long(strlen(c.want))) << c.size;
        EXPECT_STREQ(buf, c.want) << c.size;
    }
    EXPECT_EQ(hexencodelc(buf, 16, b, 3), 6);
    EXPECT_STREQ(buf, "01abff");

    struct {
        const char* in;
        const char* hex;
    } dec[] = {{"01ab", "01ab"}, {"01 AB", "01ab"}, {"01ABC", "01ab"}, {"DE:AD BE-EF", "deadbeef"},
               {"", ""},         {"zz", ""},        {"0", ""}};
    for (const auto& d : dec) EXPECT_EQ(testutil::to_hex(hex_bytes(d.in)), d.hex) << d.in;
    unsigned char out[4];
    EXPECT_EQ(hexdecode(out, 2, "0102030405"), 2);
    EXPECT_EQ(hexstr2bytes_strict(out, "0102", 4), 2);
    EXPECT_EQ(hexstr2bytes_strict(out, "010", 4), -1);
    EXPECT_EQ(hexstr2bytes_strict(out, "01 2", 4), -1);
    EXPECT_EQ(hexstr2bytes(out, "0g", 4), 0);
}

TEST(Base64, MatchesPythonOnEveryTailLength) {
    std::string expected =
        py("import base64\nfor n in range(0, 40): "
           "print(base64.b64encode(bytes((i*37+n)%256 for i in range(n))).decode())");
    std::string ours;
    for (size_t n = 0; n < 40; ++n) {
        Bytes b(n);
        for (size_t i = 0; i < n; ++i) b[i] = uint8_t((i * 37 + n) % 256);
        std::string enc = b64_string(b.data(), n);
        ours += enc + "\n";
        EXPECT_EQ(b64_bytes(enc.c_str()), b) << n;
    }
    EXPECT_EQ(ours, expected);
}

TEST(Base64, DecodesOpensslWrappedOutput) {
    Bytes data = sample(1000, 7);
    std::string in = testutil::temp_path("b64.bin");
    testutil::write_file(in, data);
    int status = 0;
    std::string wrapped = run_command("openssl base64 -in " + in, &status);
    ASSERT_EQ(status, 0);
    ASSERT_NE(wrapped.find('\n'), std::string::npos);  // 64-column lines
    EXPECT_EQ(b64_bytes(wrapped.c_str()), data);
}

TEST(Base64, ShortOutputAndDecoderLimits) {
    const unsigned char abc[] = {'a', 'b', 'c', 'd'};
    char buf[16];
    struct {
        long count, size;
        const char* want;
    } enc[] = {{3, 5, "YWJj"}, {3, 4, ""}, {4, 9, "YWJjZA=="}, {4, 8, "YWJj"}, {1, 5, "YQ=="}, {1, 4, ""}};
    for (const auto& e : enc) {
        EXPECT_EQ(b64encode(buf, e.size, abc, e.count), long(strlen(e.want)));
        EXPECT_STREQ(buf, e.want);
    }
    unsigned char out[8];
    EXPECT_EQ(b64decode(out, 8, "YW Jj\r\n"), 3);
    EXPECT_EQ(b64decode(out, 2, "YWJj"), 0);      // a group needs 3 bytes of room
    EXPECT_EQ(b64decode(out, 8, "YWJjZA"), 4);    // no padding needed
    EXPECT_EQ(b64decode(out, 8, "YWJjZ"), 3);     // one pending symbol is dropped
    EXPECT_EQ(b64decode(out, 8, "YQ==YWJj"), 1);  // stops at "="
    EXPECT_EQ(b64decode(out, 4, "YWJjZGU="), 3);  // 2 bytes pending, only 1 room: dropped
}

TEST(Base64, UrlConversionsInPlace) {
    char s[] = "+/8=";
    EXPECT_EQ(b64tobase64url(s), 3);
    EXPECT_STREQ(s, "-_8");
    EXPECT_EQ(b64frombase64url(s), 3);
    EXPECT_STREQ(s, "+/8");
    Bytes want = {0xFB, 0xFF};
    EXPECT_EQ(b64_bytes(s), want);
}

// Base58 against a tiny independent encoder in python (integer arithmetic).
TEST(Base58, MatchesPythonAndRoundTrips) {
    std::vector<Bytes> inputs = {
        {}, {0}, {0, 0, 1}, {0xFF}, {0, 0xFF, 0xFE}, sample(32, 1), sample(57, 2), Bytes(5, 0)};
    std::string prog =
        "import sys\nA=\"123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz\"\n"
        "for h in sys.argv[1:]:\n"
        " b=bytes.fromhex(h[1:]); z=len(b)-len(b.lstrip(bytes(1))); n=int.from_bytes(b,\"big\"); s=\"\"\n"
        " while n: n,r=divmod(n,58); s=A[r]+s\n"
        " print(\"1\"*z+s)";
    std::string cmd = "python3 -c '" + prog + "'";
    for (const Bytes& b : inputs) cmd += " x" + testutil::to_hex(b);
    int status = 0;
    std::string expected = run_command(cmd, &status);
    ASSERT_EQ(status, 0);
    std::string ours;
    for (const Bytes& b : inputs) {
        std::string t;
        long n = base58_Encode(t, b.data(), b.size());
        EXPECT_EQ(n, long(t.size()));
        ours += t + "\n";
        std::vector<uint8_t> back;
        EXPECT_EQ(base58_Decode(back, t.c_str()), long(b.size()));
        EXPECT_EQ(back, b) << t;
    }
    EXPECT_EQ(ours, expected);
}

TEST(Base58, DecodeSkipsSpaceAndRejectsOthers) {
    std::vector<uint8_t> out;
    EXPECT_EQ(base58_Decode(out, " \t112\r\n"), 3);
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 0, 1}));
    EXPECT_EQ(base58_Decode(out, "1 2"), 2);  // white space skipped anywhere after the ones
    for (const char* bad : {"0", "O", "I", "l", "11+", "2 x!"}) EXPECT_EQ(base58_Decode(out, bad), -8) << bad;
    EXPECT_EQ(base58_Decode(out, ""), 0);
}

}  // namespace

namespace {

// The decoders' character values are computed branch-free; compare them with
// the plain definitions for every byte value.
TEST(CharValues, EveryByteAgainstPlainDefinition) {
    const std::string b64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::string hex = "0123456789abcdef";
    for (int c = 1; c < 256; ++c) {
        // Hex: "c0" pairs c with 0 when c is a digit, else nothing pairs.
        char hs[3] = {char(c), '0', '\0'};
        unsigned char out[4] = {};
        long n = hexdecode(out, 4, hs);
        size_t hv = hex.find(char(tolower(c)));
        if (hv != std::string::npos && c < 128) {
            EXPECT_EQ(n, 1) << c;
            EXPECT_EQ(out[0], hv << 4) << c;
        } else {
            EXPECT_EQ(n, 0) << c;
        }
        // Base64: c followed by "AAA" decodes to c's six bits on top.
        char bs[5] = {char(c), 'A', 'A', 'A', '\0'};
        n = b64decode(out, 4, bs);
        size_t bv = b64.find(char(c));
        if (bv != std::string::npos) {
            EXPECT_EQ(n, 3) << c;
            EXPECT_EQ(out[0], uint8_t(bv << 2)) << c;
        } else {
            EXPECT_LE(n, 2) << c;  // c skipped: three symbols give two bytes
        }
    }
    // Every symbol from the encoders.
    std::string enc;
    for (uint32_t v = 0; v < 64; ++v) {
        unsigned char three[3] = {uint8_t(v << 2), 0, 0};
        enc += b64_string(three, 3).substr(0, 1);
    }
    EXPECT_EQ(enc, b64);
    unsigned char nib[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(hex_string(nib, 8, true), "0123456789ABCDEF");
    EXPECT_EQ(hex_string(nib, 8, false), hex);
}

}  // namespace
