// The secp256r1 field kernels: the MULX/ADX path against the portable one
// on random and extreme operands, and whole multiplications through both.
#include <openssl/rand.h>

#include <cstring>

#include "ecc/ec_internal.h"
#include "ecc/ec_p256.h"
#include "ecc/prime_fixture.h"
#include "util/cpu.h"

using namespace primetest;
using namespace velt::ecc;

TEST(PrimeP256Paths, AdxKernelsMatchPortable) {
    if (!velt::cpu::has(velt::cpu::kBmi2 | velt::cpu::kAdx)) GTEST_SKIP() << "no BMI2/ADX";
    EC_curve c = curve("secp256r1");
    P256Field<false> port;
    P256Field<true> adx;
    port.init(c.p);
    adx.init(c.p);
    limb pm1[4];
    std::memcpy(pm1, c.p, sizeof pm1);
    pm1[0] -= 1;
    for (int round = 0; round < 2000; ++round) {
        limb a[4], b[4], r1[4], r2[4];
        RAND_bytes(reinterpret_cast<unsigned char*>(a), sizeof a);
        RAND_bytes(reinterpret_cast<unsigned char*>(b), sizeof b);
        // Operands below p; every 4th round the extremes p - 1 and 0.
        if (round % 4 == 1) std::memcpy(a, pm1, sizeof a);
        if (round % 4 == 2) std::memcpy(b, pm1, sizeof b);
        if (round % 4 == 3) std::memset(a, 0, sizeof a);
        port.to_mont(a, a);
        port.to_mont(b, b);
        port.mul(r1, a, b);
        adx.mul(r2, a, b);
        ASSERT_EQ(std::memcmp(r1, r2, sizeof r1), 0) << round;
        port.sqr(r1, a);
        adx.sqr(r2, a);
        ASSERT_EQ(std::memcmp(r1, r2, sizeof r1), 0) << round;
    }
    auto gp = make_p256_group(c, false), ga = make_p256_group(c, true);
    for (int round = 0; round < 4; ++round) {
        uint64_t d[kMaxLimbs], e[kMaxLimbs];
        random_limbs(d, c.nlimbs);
        random_limbs(e, c.nlimbs);
        EC_point S, R1, R2;
        gp->mult_base(&S, e);
        gp->mult(&R1, d, S);
        ga->mult(&R2, d, S);
        EXPECT_EQ(std::memcmp(&R1, &R2, sizeof R1), 0);
        gp->mul2_vartime(&R1, d, e, S);
        ga->mul2_vartime(&R2, d, e, S);
        EXPECT_EQ(std::memcmp(&R1, &R2, sizeof R1), 0);
    }
}
