// AES-GCM over files: the same bytes as the one-shot form (which matches
// libcrypto), across the 4096-byte chunk boundaries, and no output file left
// behind by any failure.
#include <sys/stat.h>

#include <random>

#include "cipher/aead.h"
#include "common/test_util.h"

using testutil::Bytes;

namespace {

bool exists(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

TEST(AeadFile, MatchesOneShotAcrossChunks) {
    std::mt19937 g(3);
    const std::string in = testutil::temp_path("gcm_in"), enc = testutil::temp_path("gcm_enc"),
                      dec = testutil::temp_path("gcm_dec");
    for (size_t len : {0, 1, 15, 16, 17, 4095, 4096, 4097, 8193, 12345}) {
        for (long prefix : {0L, velt::aead::kAeadIvPrefix}) {
            Bytes key(24), iv(12), pt(len);
            for (auto& b : key) b = uint8_t(g());
            for (auto& b : iv) b = uint8_t(g());
            for (auto& b : pt) b = uint8_t(g());
            testutil::write_file(in, pt);
            const long opt = 0x30 | prefix;  // AES-192 from the algorithm field
            ASSERT_EQ(0, velt::aead::gcmFileEncrypt(enc.c_str(), in.c_str(), key.data(), 24, iv.data(), 12, opt));
            Bytes expect(len + 28);
            long n = velt::aead::aeadEncrypt(expect.data(), long(expect.size()), pt.data(), long(len), key.data(), 24,
                                             iv.data(), 12, nullptr, 0, velt::aead::kAes192Gcm | prefix);
            expect.resize(size_t(n));
            ASSERT_EQ(testutil::to_hex(expect), testutil::to_hex(testutil::read_file(enc))) << len;
            ASSERT_EQ(0, velt::aead::gcmFileDecrypt(dec.c_str(), enc.c_str(), key.data(), 24,
                                                    prefix ? nullptr : iv.data(), prefix ? 0 : 12, opt));
            ASSERT_EQ(pt, testutil::read_file(dec)) << len;
        }
    }
}

TEST(AeadFile, FailuresLeaveNoOutput) {
    const std::string in = testutil::temp_path("f_in"), enc = testutil::temp_path("f_enc"),
                      out = testutil::temp_path("f_out");
    Bytes key(16, 1), iv(12, 2), pt(5000, 3);
    testutil::write_file(in, pt);
    ASSERT_EQ(0, velt::aead::gcmFileEncrypt(enc.c_str(), in.c_str(), key.data(), 16, iv.data(), 12, 0x20));

    // A changed last byte (the tag): decryption error 15, and the partly
    // written plaintext is removed.
    Bytes c = testutil::read_file(enc);
    c.back() ^= 0x01;
    testutil::write_file(enc, c);
    EXPECT_EQ(-15, velt::aead::gcmFileDecrypt(out.c_str(), enc.c_str(), key.data(), 16, iv.data(), 12, 0x20));
    EXPECT_FALSE(exists(out));
    // A changed ciphertext byte in the middle.
    c.back() ^= 0x01;
    c[2500] ^= 0x80;
    testutil::write_file(enc, c);
    EXPECT_EQ(-15, velt::aead::gcmFileDecrypt(out.c_str(), enc.c_str(), key.data(), 16, iv.data(), 12, 0x20));
    EXPECT_FALSE(exists(out));

    // Shorter than a tag (or tag plus IV with the prefix).
    testutil::write_file(enc, Bytes(15, 0));
    EXPECT_EQ(-26, velt::aead::gcmFileDecrypt(out.c_str(), enc.c_str(), key.data(), 16, iv.data(), 12, 0x20));
    EXPECT_FALSE(exists(out));
    testutil::write_file(enc, Bytes(27, 0));
    EXPECT_EQ(-26, velt::aead::gcmFileDecrypt(out.c_str(), enc.c_str(), key.data(), 16, nullptr, 0, 0x1020));
    EXPECT_FALSE(exists(out));

    // Argument errors.
    EXPECT_EQ(-38, velt::aead::gcmFileEncrypt(out.c_str(), in.c_str(), key.data(), 16, iv.data(), 11, 0x20));
    EXPECT_EQ(-19, velt::aead::gcmFileEncrypt(out.c_str(), in.c_str(), key.data(), 16, iv.data(), 12, 0x10));
    EXPECT_EQ(-33, velt::aead::gcmFileEncrypt(out.c_str(), in.c_str(), key.data(), 16, iv.data(), 12, 0x40));
    EXPECT_EQ(-12, velt::aead::gcmFileEncrypt(in.c_str(), in.c_str(), key.data(), 16, iv.data(), 12, 0x20));
    EXPECT_EQ(pt, testutil::read_file(in));  // the input is untouched
    EXPECT_EQ(-6, velt::aead::gcmFileEncrypt("", in.c_str(), key.data(), 16, iv.data(), 12, 0x20));
    EXPECT_EQ(-1, velt::aead::gcmFileEncrypt(out.c_str(), (in + ".none").c_str(), key.data(), 16, iv.data(), 12,
                                             0x20));
    EXPECT_EQ(-2, velt::aead::gcmFileEncrypt((out + ".d/x").c_str(), in.c_str(), key.data(), 16, iv.data(), 12, 0x20));
    EXPECT_FALSE(exists(out));
}

}  // namespace
