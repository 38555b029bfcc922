// Power-up known-answer tests, on the portable and the accelerated paths.
#include <gtest/gtest.h>

#include "hash/hash.h"
#include "util/cpu.h"

namespace {

class KnownAnswer : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { velt::cpu::restrict_features(GetParam() ? ~0u : 0u); }
    void TearDown() override { velt::cpu::restrict_features(~0u); }
};

TEST_P(KnownAnswer, EveryDigestAndHmacTestPasses) {
    EXPECT_EQ(selftest_sha1(), 0);
    EXPECT_EQ(selftest_sha224(), 0);
    EXPECT_EQ(selftest_sha256(), 0);
    EXPECT_EQ(selftest_sha384(), 0);
    EXPECT_EQ(selftest_sha512(), 0);
    EXPECT_EQ(selftest_sha3(), 0);
    EXPECT_EQ(selftest_md5(), 0);
    EXPECT_EQ(selftest_md2(), 0);
    EXPECT_EQ(selftest_hmac_sha1(), 0);
    EXPECT_EQ(selftest_hmac_md5(), 0);
    EXPECT_EQ(selftest_hmac_sha224(), 0);
    EXPECT_EQ(selftest_hmac_sha256(), 0);
    EXPECT_EQ(selftest_hmac_sha384(), 0);
    EXPECT_EQ(selftest_hmac_sha512(), 0);
}

INSTANTIATE_TEST_SUITE_P(Paths, KnownAnswer, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "accelerated" : "portable"; });

}  // namespace
