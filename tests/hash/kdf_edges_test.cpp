// Edge cases of the KDF_ and HPKE_ arguments: the salt parameter's digits
// and which KDFs take one, a missing pseudorandom key, the length-query
// convention of HPKE_LabeledExtract, and a huge declared output room.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "common/test_util.h"
#include "morvanevelt.h"

using testutil::Bytes;

namespace {

const unsigned char kZ[4] = {1, 2, 3, 4};

TEST(KdfParams, SaltDigitsAndKdfsWithoutSalt) {
    unsigned char out[32];
    struct {
        const char* params;
        long options;
        long expected;
    } cases[] = {
        {"salt=abc", 0x1003, -8},  // odd number of digits
        {"salt=0", 0x1003, -8},   {"salt=0g", 0x1003, -7},
        {"salt=00", 0x0003, -6},  // X9.63, KDF2 and KDF3 take no salt
        {"salt=00", 0x2003, -6},  {"SALT=0102", 0x3003, -6},
        {"salt=", 0x0003, 0},  // an empty salt is no salt
        {"salt=0102", 0x1003, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, KDF_Bytes(out, 32, kZ, 4, nullptr, 0, c.params, c.options)) << c.params;
        if (c.expected < 0) {
            EXPECT_EQ(-c.expected, VELT_ErrorCode()) << c.params;
        }
    }
}

TEST(Hpke, NullPrkAndLengthQueries) {
    unsigned char out[64];
    const unsigned char prk[32] = {7};
    // A null PRK with a non-zero length is a wrong parameter; a null empty one is allowed.
    EXPECT_EQ(-6, HPKE_LabeledExpand(out, 32, nullptr, 32, "exp", nullptr, 0, "X25519", nullptr, 0));
    EXPECT_EQ(0, HPKE_LabeledExpand(out, 32, nullptr, 0, "exp", nullptr, 0, "X25519", nullptr, 0));
    EXPECT_EQ(0, HPKE_LabeledExpand(out, 32, prk, 32, "exp", nullptr, 0, "X25519", nullptr, 0));
    // A non-null output of length 0 asks for Nh and writes nothing.
    memset(out, 0xAA, sizeof out);
    EXPECT_EQ(48, HPKE_LabeledExtract(out, 0, nullptr, 0, "l", kZ, 4, "P-384", nullptr, 0));
    EXPECT_EQ(48, HPKE_LabeledExtract(out, -1, nullptr, 0, "l", kZ, 4, "P-384", nullptr, 0));
    EXPECT_EQ(Bytes(64, 0xAA), Bytes(out, out + 64));
    EXPECT_EQ(-30, HPKE_LabeledExtract(out, 47, nullptr, 0, "l", kZ, 4, "P-384", nullptr, 0));
    // A declared room of LONG_MAX writes the whole key and its NUL.
    const Bytes ikm(32, 0x5A);
    char hex[80], want[80];
    ASSERT_EQ(64, HPKE_DerivePrivateKey(want, 64, ikm.data(), 32, "X25519", nullptr, 0x30000));
    EXPECT_EQ(64, HPKE_DerivePrivateKey(hex, LONG_MAX, ikm.data(), 32, "X25519", nullptr, 0x30000));
    EXPECT_STREQ(want, hex);
}

}  // namespace
