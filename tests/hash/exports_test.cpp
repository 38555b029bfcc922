// The HASH_ and HMAC_ wrappers: their own checks are -6 and not recorded,
// operation failures are recorded.
#include <gtest/gtest.h>

#include "common/test_util.h"
#include "morvanevelt.h"

namespace {

TEST(HashExports, WrapperChecksAreUnrecordedFailuresAreRecorded) {
    unsigned char out[64];
    char hex[200];
    EXPECT_EQ(HASH_Bytes(out, 64, "abc", -1, 0), -6);
    EXPECT_EQ(VELT_ErrorCode(), 0);
    EXPECT_EQ(HASH_File(out, 64, "", 0), -6);
    EXPECT_EQ(HASH_HexFromFile(hex, 100, nullptr, 0), -6);
    EXPECT_EQ(HASH_HexFromHex(hex, 100, nullptr, 0), -6);
    EXPECT_EQ(HMAC_Bytes(out, 64, nullptr, 0, "k", 1, 3), -6);
    EXPECT_EQ(HMAC_HexFromBytes(hex, 100, "m", 1, nullptr, 0, 3), -6);
    EXPECT_EQ(HMAC_HexFromHex(hex, 100, "", nullptr, 3), -6);
    EXPECT_EQ(VELT_ErrorCode(), 0);

    EXPECT_EQ(HASH_File(out, 64, "/no/such/file", 0), -1);
    EXPECT_EQ(VELT_ErrorCode(), 1);
    EXPECT_EQ(HASH_Length(9), -17);
    EXPECT_EQ(VELT_ErrorCode(), 17);
    EXPECT_EQ(HASH_HexFromHex(hex, 100, "616", 0), -8);
    EXPECT_EQ(VELT_ErrorCode(), 8);
    EXPECT_EQ(HMAC_HexFromHex(hex, 100, "", "0g", 3), -7);
    EXPECT_EQ(VELT_ErrorCode(), 7);
}

TEST(HashExports, ResultsAndOutputConvention) {
    char hex[200];
    EXPECT_EQ(HASH_HexFromBytes(hex, 199, "abc", 3, VELT_HASH_SHA1), 40);
    EXPECT_STREQ(hex, "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(HASH_HexFromBytes(hex, 10, "abc", 3, VELT_HASH_SHA1), 10);
    EXPECT_STREQ(hex, "a9993e3647");
    EXPECT_EQ(HASH_HexFromBytes(nullptr, 0, "abc", 3, VELT_HASH_SHA512), 128);
    EXPECT_EQ(HASH_HexFromBytes(hex, -1, "abc", 3, VELT_HASH_SHA512), 128);
    EXPECT_EQ(HASH_HexFromHex(hex, 199, "", VELT_HASH_MD5), 32);
    EXPECT_STREQ(hex, "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(HASH_Length(VELT_HASH_SHA256), 32);
    EXPECT_EQ(HASH_Length(VELT_HASH_RMD160_SHA256), 20);
    EXPECT_EQ(HMAC_HexFromBytes(hex, 199, "what do ya want for nothing?", 28, "Jefe", 4, VELT_HASH_SHA256), 64);
    EXPECT_STREQ(hex, "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    unsigned char mac[64];
    EXPECT_EQ(HMAC_Bytes(mac, 64, "", 0, "", 0, VELT_HASH_MD2), -17);
    EXPECT_EQ(HMAC_Bytes(mac, 8, "", 0, "", 0, VELT_HASH_SHA3_256), 8);
    std::string path = testutil::temp_path("abc.txt");
    testutil::write_file(path, std::string("abc"));
    EXPECT_EQ(HASH_HexFromFile(hex, 199, path.c_str(), VELT_HASH_SHA256 | VELT_HASH_MODE_TEXT), 64);
    EXPECT_STREQ(hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(HashExports, PowerUpTestsPass) { EXPECT_EQ(VELT_PowerUpTests(0), 0); }

}  // namespace
