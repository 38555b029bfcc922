// CNV_ functions at absurd lengths: an input length whose encoded size would
// not fit in a long is refused with a recorded -26 before anything is read
// (the buffers passed are small and real), and a huge declared output room
// is never turned into a negative size.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>

#include "morvanevelt.h"

namespace {

const unsigned char kIn[4] = {0x01, 0xAB, 0xFF, 0x00};

struct Case {
    const char* name;
    std::function<long()> call;
    long expected;
};

TEST(CnvLengths, RefusedBeforeReadingOrExact) {
    char out[16];
    const Case cases[] = {
        {"hex size", [] { return CNV_HexStrFromBytes(nullptr, 0, kIn, LONG_MAX / 2 + 8); }, -26},
        {"hex small output", [&] { return CNV_HexStrFromBytes(out, 15, kIn, LONG_MAX / 2 + 8); }, -26},
        {"hex size at the limit", [] { return CNV_HexStrFromBytes(nullptr, 0, kIn, LONG_MAX / 2); },
         LONG_MAX - 1},
        {"hex filter", [&] { return CNV_HexFilter(out, "12:3G", LONG_MAX); }, -26},
        {"hex filter at the limit", [&] { return CNV_HexFilter(out, "12:3G", LONG_MAX - 1); }, 3},
        {"base64 size", [] { return CNV_B64StrFromBytes(nullptr, 0, kIn, LONG_MAX - 1); }, -26},
        {"base64 size at the limit", [] { return CNV_B64StrFromBytes(nullptr, 0, kIn, LONG_MAX / 4 * 3); },
         LONG_MAX / 4 * 4},
        {"base64 filter", [&] { return CNV_B64Filter(out, "YW*Jj", LONG_MAX); }, -26},
        {"base58", [&] { return CNV_Base58FromBytes(out, 15, kIn, LONG_MAX); }, -26},
        {"latin-1 to utf-8", [&] { return CNV_ByteEncoding(nullptr, 0, kIn, LONG_MAX / 2 + 1, 1); }, -26},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, c.call()) << c.name;
        if (c.expected < 0) {
            EXPECT_EQ(-c.expected, VELT_ErrorCode()) << c.name;
        }
    }
}

// A declared room of LONG_MAX writes what the input needs.
TEST(CnvLengths, HugeDeclaredRoom) {
    char out[16];
    memset(out, 'x', sizeof out);
    EXPECT_EQ(6, CNV_HexStrFromBytes(out, LONG_MAX, kIn, 3));
    EXPECT_STREQ("01ABFF", out);
    memset(out, 'x', sizeof out);
    EXPECT_EQ(4, CNV_B64StrFromBytes(out, LONG_MAX, kIn, 3));
    EXPECT_STREQ("Aav/", out);
}

}  // namespace
