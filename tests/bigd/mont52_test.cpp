// The radix-2^52 IFMA Montgomery code against OpenSSL's BN_mod_exp and
// BN_mod_mul, over modulus sizes around the digit boundaries (52-bit digits
// and 64-bit limbs), moduli just below a power of two (where 2m no longer
// fits the limbs), and edge operands.
#include <gtest/gtest.h>
#include <openssl/bn.h>

#include <random>
#include <vector>

#include "bigd/limbs.h"
#include "bigd/mont52.h"
#include "oracle.h"
#include "util/cpu.h"

namespace {

using velt::bigd::limb;
using velt::bigd::Mont;
using velt::bigd::Mont52;
using Limbs = std::vector<limb>;

bdtest::Bn bn_of(const Limbs& a) {
    std::vector<unsigned char> be(a.size() * 8);
    for (size_t i = 0; i < a.size(); ++i)
        for (size_t b = 0; b < 8; ++b) be[be.size() - 1 - (8 * i + b)] = uint8_t(a[i] >> (8 * b));
    return bdtest::Bn(BN_bin2bn(be.data(), int(be.size()), nullptr));
}

Limbs limbs_of(const BIGNUM* x, size_t n) {
    std::vector<unsigned char> le(n * 8);
    EXPECT_GT(BN_bn2lebinpad(x, le.data(), int(le.size())), 0);
    Limbs a(n);
    for (size_t i = 0; i < n; ++i)
        for (size_t b = 0; b < 8; ++b) a[i] |= limb(le[8 * i + b]) << (8 * b);
    return a;
}

// A random odd modulus of exactly `bits` bits; with `high` its top 40 bits are all ones.
Limbs random_modulus(std::mt19937_64& rng, size_t bits, bool high) {
    size_t n = (bits + 63) / 64;
    Limbs m(n);
    for (auto& v : m) v = rng();
    size_t top = bits - 64 * (n - 1);
    if (top < 64) m[n - 1] &= (limb(1) << top) - 1;
    m[n - 1] |= limb(1) << (top - 1);
    if (high && bits >= 64) {
        for (size_t i = 0; i < 40; ++i) {
            size_t b = bits - 1 - i;
            m[b / 64] |= limb(1) << (b % 64);
        }
    }
    m[0] |= 1;
    return m;
}

Limbs random_below(std::mt19937_64& rng, const Limbs& m) {
    bdtest::Bn r = bdtest::bn();
    BN_rand_range(r.get(), bn_of(m).get());
    (void)rng;
    return limbs_of(r.get(), m.size());
}

Limbs expect_modexp(const Limbs& x, const Limbs& e, const Limbs& m) {
    bdtest::Ctx ctx(BN_CTX_new());
    bdtest::Bn y = bdtest::bn();
    BN_mod_exp(y.get(), bn_of(x).get(), bn_of(e).get(), bn_of(m).get(), ctx.get());
    return limbs_of(y.get(), m.size());
}

class Mont52Test : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!Mont52::usable(16)) GTEST_SKIP() << "AVX-512 IFMA not available on this processor";
    }
};

TEST_F(Mont52Test, ExponentiationAndProductsMatchOracle) {
    std::mt19937_64 rng(52);
    // 769 to 1040 bits: 17 to 20 digits, the sizes the 256-bit product serves.
    const size_t sizes[] = {3,    52,   64,   65,   100,  127,  128,  511,  512,  769,
                            832,  900,  960,  1023, 1024, 1038, 1039, 1040, 1041, 1090,
                            1536, 2047, 2048, 2078, 2079, 3072, 4094, 4096};
    for (size_t bits : sizes) {
        for (bool high : {false, true}) {
            SCOPED_TRACE(testing::Message() << bits << " bits" << (high ? ", top bits set" : ""));
            Limbs m = random_modulus(rng, bits, high);
            const size_t n = m.size();
            Mont ctx(m.data(), n, true);
            Mont52 c(ctx), public_ctx(m.data(), n);
            Limbs mm1 = m;
            mm1[0] -= 1;
            Limbs zero(n, 0), one(n, 0);
            one[0] = 1;
            std::vector<Limbs> xs = {zero, one, mm1, random_below(rng, m), random_below(rng, m)};
            for (const Limbs& x : xs) {
                Limbs e(n), y(n);
                for (auto& v : e) v = rng();
                c.exp_consttime(y.data(), x.data(), e.data(), n);
                EXPECT_EQ(y, expect_modexp(x, e, m));
                Limbs e_short = {65537};
                c.exp_vartime(y.data(), x.data(), e_short.data(), 1);
                EXPECT_EQ(y, expect_modexp(x, e_short, m));
                public_ctx.exp_vartime(y.data(), x.data(), e_short.data(), 1);  // R^2 by division
                EXPECT_EQ(y, expect_modexp(x, e_short, m));
                Limbs b = random_below(rng, m);
                c.mul_mod(y.data(), x.data(), b.data());
                bdtest::Ctx bctx(BN_CTX_new());
                bdtest::Bn p = bdtest::bn();
                BN_mod_mul(p.get(), bn_of(x).get(), bn_of(b).get(), bn_of(m).get(), bctx.get());
                EXPECT_EQ(y, limbs_of(p.get(), n));
            }
            // Exponents 0, 1 and m - 1.
            Limbs x = random_below(rng, m), y(n);
            for (const Limbs& e : {zero, one, mm1}) {
                c.exp_consttime(y.data(), x.data(), e.data(), n);
                EXPECT_EQ(y, expect_modexp(x, e, m));
                c.exp_vartime(y.data(), x.data(), e.data(), n);
                EXPECT_EQ(y, expect_modexp(x, e, m));
            }
        }
    }
}

TEST_F(Mont52Test, PairedExponentiationsMatchSingles) {
    std::mt19937_64 rng(7);
    // Equal digit counts run interleaved; unequal ones fall back to singles.
    const std::pair<size_t, size_t> sizes[] = {{1024, 1024}, {1024, 1000}, {900, 900},
                                               {2048, 2048}, {1536, 1536}, {1024, 1100}};
    for (auto [b1, b2] : sizes) {
        SCOPED_TRACE(testing::Message() << b1 << "/" << b2 << " bits");
        Limbs m1 = random_modulus(rng, b1, false), m2 = random_modulus(rng, b2, false);
        Mont c1(m1.data(), m1.size(), true), c2(m2.data(), m2.size(), true);
        Mont52 d1(c1), d2(c2);
        Limbs x1 = random_below(rng, m1), x2 = random_below(rng, m2), e1(m1.size()), e2(m2.size());
        for (auto& v : e1) v = rng();
        for (auto& v : e2) v = rng();
        Limbs y1(m1.size()), y2(m2.size());
        Mont52::exp_consttime_x2(d1, y1.data(), x1.data(), e1.data(), e1.size(), d2, y2.data(), x2.data(),
                                 e2.data(), e2.size());
        EXPECT_EQ(y1, expect_modexp(x1, e1, m1));
        EXPECT_EQ(y2, expect_modexp(x2, e2, m2));
    }
}

TEST(Mont52Dispatch, DisabledFeaturesTurnItOff) {
    const uint32_t before = velt::cpu::enabled();
    velt::cpu::restrict_features(0);
    EXPECT_FALSE(Mont52::usable(16));
    velt::cpu::restrict_features(before);
}

}  // namespace
