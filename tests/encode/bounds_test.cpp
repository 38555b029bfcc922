// Inputs whose size the converters must not trust or must bound: the UTF-8
// file check on pipes and on characters cut by its read pieces, and base58's
// length limit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "common/test_util.h"
#include "encode/encode.h"
#include "morvanevelt.h"

namespace {

long check_bytes(const std::string& s) {
    return CNV_CheckUTF8Bytes(reinterpret_cast<const unsigned char*>(s.data()), long(s.size()));
}

// Through a FIFO the file size is 0; the content decides.
TEST(Utf8File, PipeIsReadToTheEnd) {
    const std::string contents[] = {"plain", "caf\xC3\xA9", "\xE2\x82\xAC sign", "bad \xFF byte", ""};
    for (const std::string& c : contents) {
        std::string fifo = testutil::temp_path("utf8.fifo");
        unlink(fifo.c_str());
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        std::thread writer([&] {
            int fd = open(fifo.c_str(), O_WRONLY);
            if (fd >= 0) {
                if (!c.empty() && write(fd, c.data(), c.size()) < 0) {
                }
                close(fd);
            }
        });
        long got = CNV_CheckUTF8File(fifo.c_str());
        writer.join();
        EXPECT_EQ(got, check_bytes(c)) << c;
    }
}

// Devices and directories are refused rather than read for ever.
TEST(Utf8File, DevicesAndDirectoriesRefused) {
    std::string dir = testutil::temp_path("utf8.dir");
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    for (const std::string& name : {std::string("/dev/zero"), std::string("/dev/null"), dir})
        EXPECT_EQ(CNV_CheckUTF8File(name.c_str()), -1) << name;
}

// A multi-byte character (or a bad one) placed across the file reader's
// 64 KiB pieces gives the same answer as the whole-buffer check.
TEST(Utf8File, CharactersAcrossReadPieces) {
    const std::string chars[] = {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xF8\x88\x80\x80\x80",
                                 "\xE2\x82", "\xED\xA0\x80", "\xE0\x80\x80",     "\xC3"};
    std::string p = testutil::temp_path("pieces.txt");
    for (const std::string& ch : chars) {
        for (size_t at = 65536 - 5; at <= 65536 + 1; ++at) {
            std::string text(at, 'a');
            text += ch;
            text += "tail";
            testutil::write_file(p, text);
            EXPECT_EQ(CNV_CheckUTF8File(p.c_str()), check_bytes(text))
                << testutil::to_hex(testutil::bytes_of(ch)) << " at " << at;
        }
    }
}

TEST(Base58, LengthLimit) {
    std::vector<unsigned char> bytes(kBase58MaxInput + 1, 0x5A);
    char out[8];
    EXPECT_EQ(CNV_Base58FromBytes(out, 0, bytes.data(), long(bytes.size())), -26);
    std::string text(kBase58MaxInput + 1, 'z');
    EXPECT_EQ(CNV_Base58ToBytes(nullptr, 0, text.c_str()), -26);
    EXPECT_EQ(VELT_ErrorCode(), 26);

    // At the limit both directions work, round-trip, and stay fast.
    auto t0 = std::chrono::steady_clock::now();
    std::string enc;
    long n = base58_Encode(enc, bytes.data(), kBase58MaxInput);
    ASSERT_GT(n, 0);
    std::vector<uint8_t> back;
    long m = base58_Decode(back, enc.substr(0, kBase58MaxInput).c_str());
    EXPECT_GT(m, 0);
    EXPECT_EQ(m, long(back.size()));
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(secs, 5.0);
    std::string small;
    base58_Encode(small, bytes.data(), 1000);
    EXPECT_EQ(base58_Decode(back, small.c_str()), 1000);
    EXPECT_EQ(back, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 1000));
}

// The word-at-a-time conversion against the plain digit-at-a-time
// definition, over lengths that leave every remainder of the word groups.
TEST(Base58, MatchesDigitAtATimeReference) {
    const char* alphabet = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
    auto reference = [&](const std::vector<uint8_t>& b) {
        std::vector<uint8_t> num(b.begin(), b.end());
        std::string s;
        size_t start = 0;
        while (start < num.size() && num[start] == 0) ++start;
        size_t zeros = start;
        while (start < num.size()) {
            unsigned rem = 0;
            for (size_t i = start; i < num.size(); ++i) {
                unsigned cur = rem * 256 + num[i];
                num[i] = uint8_t(cur / 58);
                rem = cur % 58;
            }
            s += alphabet[rem];
            while (start < num.size() && num[start] == 0) ++start;
        }
        return std::string(zeros, '1') + std::string(s.rbegin(), s.rend());
    };
    uint32_t x = 12345;
    for (size_t len = 0; len < 80; ++len) {
        for (int lead = 0; lead < 3; ++lead) {
            std::vector<uint8_t> b(len);
            for (size_t i = 0; i < len; ++i) {
                x = x * 1103515245u + 12345u;
                b[i] = i < size_t(lead) ? 0 : uint8_t(x >> 16);
            }
            if (len == 79) std::fill(b.begin(), b.end(), 0xFF);
            std::string enc;
            base58_Encode(enc, b.data(), b.size());
            ASSERT_EQ(enc, reference(b)) << len << "/" << lead;
            std::vector<uint8_t> back;
            ASSERT_EQ(base58_Decode(back, enc.c_str()), long(len));
            ASSERT_EQ(back, b) << len << "/" << lead;
        }
    }
}

}  // namespace
