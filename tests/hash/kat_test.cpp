// Power-up known-answer tests, on the portable and the accelerated paths.
#include <gtest/gtest.h>

#include <cstring>

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

// The accelerated compression functions against the portable ones on the
// same random blocks and states, called directly (skipped where the
// processor lacks the instructions).
#include <random>

#include "hash/blocks.h"

namespace {

template <class W, size_t N, class F, class G>
void compare_compress(size_t block_bytes, F fast, G portable) {
    std::mt19937_64 rng(5);
    std::vector<uint8_t> data(block_bytes * 37);
    for (auto& b : data) b = uint8_t(rng());
    for (size_t blocks : {size_t(1), size_t(2), size_t(37)}) {
        for (int trial = 0; trial < 20; trial++) {
            W h1[N], h2[N];
            for (size_t i = 0; i < N; i++) h1[i] = h2[i] = W(rng());
            fast(h1, data.data(), blocks);
            portable(h2, data.data(), blocks);
            ASSERT_EQ(memcmp(h1, h2, sizeof h1), 0) << blocks << " blocks, trial " << trial;
        }
    }
}

TEST(FastPaths, MatchPortableCompression) {
    using namespace velt::hash;
    namespace cpu = velt::cpu;
    bool ran = false;
    if (cpu::has(cpu::kShaNi | cpu::kSse41 | cpu::kSsse3)) {
        compare_compress<uint32_t, 5>(64, sha1_blocks_shani, sha1_blocks_portable);
        compare_compress<uint32_t, 8>(64, sha256_blocks_shani, sha256_blocks_portable);
        ran = true;
    }
    if (cpu::has(cpu::kAvx2 | cpu::kBmi2)) {
        compare_compress<uint64_t, 8>(128, sha512_blocks_avx2, sha512_blocks_portable);
        std::mt19937_64 rng(6);
        for (int trial = 0; trial < 50; trial++) {
            uint64_t s1[25], s2[25];
            for (int i = 0; i < 25; i++) s1[i] = s2[i] = rng();
            keccak_f1600_bmi(s1);
            keccak_f1600_portable(s2);
            ASSERT_EQ(memcmp(s1, s2, sizeof s1), 0) << trial;
        }
        ran = true;
    }
    if (!ran) GTEST_SKIP() << "no SHA-NI or AVX2 on this processor";
}

}  // namespace
