// The dedicated fields of secp256r1, secp384r1 and secp521r1: the MULX/ADX kernels
// against the portable ones on random and extreme operands, and whole
// multiplications through both.
#include <openssl/rand.h>

#include <cstring>
#include <thread>
#include <vector>

#include "ecc/ec_internal.h"
#include "ecc/ec_p256.h"
#include "ecc/ec_p384.h"
#include "ecc/ec_p521.h"
#include "ecc/prime_fixture.h"
#include "util/cpu.h"

using namespace primetest;
using namespace velt::ecc;

namespace {

template <size_t N, class Port, class Adx>
void compare_fields(const EC_curve& c) {
    Port port;
    Adx adx;
    port.init(c.p);
    adx.init(c.p);
    limb pm1[N];
    std::memcpy(pm1, c.p, sizeof pm1);
    pm1[0] -= 1;
    for (int round = 0; round < 2000; ++round) {
        limb a[N], b[N], r1[N], r2[N];
        RAND_bytes(reinterpret_cast<unsigned char*>(a), sizeof a);
        RAND_bytes(reinterpret_cast<unsigned char*>(b), sizeof b);
        // Operands reduced below p; every 4th round the extremes p - 1 and 0.
        port.to_mont(a, a);
        port.to_mont(b, b);
        if (round % 4 == 1) std::memcpy(a, pm1, sizeof a);
        if (round % 4 == 2) std::memcpy(b, pm1, sizeof b);
        if (round % 4 == 3) std::memset(a, 0, sizeof a);
        port.mul(r1, a, b);
        adx.mul(r2, a, b);
        ASSERT_EQ(std::memcmp(r1, r2, sizeof r1), 0) << round;
        port.sqr(r1, a);
        adx.sqr(r2, a);
        ASSERT_EQ(std::memcmp(r1, r2, sizeof r1), 0) << round;
    }
}

void compare_groups(const EC_curve& c) {
    auto gp = make_special_group(c, false), ga = make_special_group(c, true);
    for (int round = 0; round < 4; ++round) {
        uint64_t d[kMaxLimbs], e[kMaxLimbs];
        random_limbs(d, c.nlimbs);
        random_limbs(e, c.nlimbs);
        EC_point S, R1, R2;
        gp->mult_base(&S, e);
        ga->mult_base(&R2, e);
        EXPECT_EQ(std::memcmp(&S, &R2, sizeof S), 0);
        gp->mult(&R1, d, S);
        ga->mult(&R2, d, S);
        EXPECT_EQ(std::memcmp(&R1, &R2, sizeof R1), 0);
        gp->mul2_vartime(&R1, d, e, S);
        ga->mul2_vartime(&R2, d, e, S);
        EXPECT_EQ(std::memcmp(&R1, &R2, sizeof R1), 0);
    }
}

}  // namespace

TEST(PrimeFieldPaths, AdxKernelsMatchPortable) {
    if (!velt::cpu::has(velt::cpu::kBmi2 | velt::cpu::kAdx)) GTEST_SKIP() << "no BMI2/ADX";
    EC_curve p256 = curve("secp256r1"), p384 = curve("secp384r1"), p521 = curve("secp521r1");
    compare_fields<4, P256Field<false>, P256Field<true>>(p256);
    compare_fields<6, P384Field<false>, P384Field<true>>(p384);
    compare_fields<9, P521Field<false>, P521Field<true>>(p521);
    for (const EC_curve* c : {&p256, &p384, &p521}) compare_groups(*c);
}

TEST(PrimeFieldPaths, FixedBaseTableBuiltOnceUnderConcurrentFirstUse) {
    // A fresh group: its table is built by whichever thread comes first
    // while the others wait; every thread gets the same, correct result.
    EC_curve c = curve("secp256r1");
    auto g = make_special_group(c, false);
    uint64_t d[kMaxLimbs];
    random_limbs(d, c.nlimbs);
    EC_point want;
    EC_point_mult(c, &want, d, c.G);
    EC_point got[4];
    std::vector<std::thread> threads;
    for (auto& r : got) threads.emplace_back([&g, &d, &r] { g->mult_base(&r, d); });
    for (auto& t : threads) t.join();
    for (const auto& r : got) EXPECT_EQ(std::memcmp(&r, &want, sizeof r), 0);
}

TEST(PrimeFieldPaths, P521ReductionMatchesOpenssl) {
    // Both P-521 kernels share one reduction; check it against BN_mod_mul
    // and BN_nnmod where its final correction is decided: entering values
    // around p and 2^521 and the top of nine limbs, products of p - 1 and of
    // values near 2^520, and random operands.
    EC_curve c = curve("secp521r1");
    P521Field<false> port;
    P521Field<true> adx;
    port.init(c.p);
    adx.init(c.p);
    bool has_adx = velt::cpu::has(velt::cpu::kBmi2 | velt::cpu::kAdx);
    BnPtr p = to_bn(c.p, 9), want(BN_new());
    CtxPtr ctx(BN_CTX_new());
    auto from_p = [&](long delta) {
        BnPtr v = to_bn(c.p, 9);
        if (delta < 0)
            BN_sub_word(v.get(), limb(-delta));
        else
            BN_add_word(v.get(), limb(delta));
        std::vector<limb> out(9, 0);
        from_bn(out.data(), v.get());
        return out;
    };
    std::vector<std::vector<limb>> in;
    for (long d : {-2L, -1L, 0L, 1L, 2L}) in.push_back(from_p(d));
    in.push_back(std::vector<limb>(9, ~limb(0)));  // 2^576 - 1
    std::vector<limb> half(9, 0);
    half[8] = limb(1) << 8;  // 2^520
    in.push_back(half);
    for (const auto& x : in) {
        limb r[9];
        port.to_mont(r, x.data());
        BN_nnmod(want.get(), to_bn(x.data(), 9).get(), p.get(), ctx.get());
        EXPECT_EQ(BN_cmp(to_bn(r, 9).get(), want.get()), 0);
    }
    std::vector<std::vector<limb>> ops = {from_p(-1), from_p(-2), half, std::vector<limb>(9, 0)};
    for (int round = 0; round < 500; ++round) {
        std::vector<limb> a(9), b(9);
        RAND_bytes(reinterpret_cast<unsigned char*>(a.data()), 72);
        RAND_bytes(reinterpret_cast<unsigned char*>(b.data()), 72);
        a[8] &= 0x1ff;
        b[8] &= 0x1ff;
        if (round < 16) {
            a = ops[size_t(round) % 4];
            b = ops[size_t(round) / 4];
        }
        if (BN_cmp(to_bn(a.data(), 9).get(), p.get()) >= 0 || BN_cmp(to_bn(b.data(), 9).get(), p.get()) >= 0)
            continue;
        BN_mod_mul(want.get(), to_bn(a.data(), 9).get(), to_bn(b.data(), 9).get(), p.get(), ctx.get());
        limb r[9];
        port.mul(r, a.data(), b.data());
        EXPECT_EQ(BN_cmp(to_bn(r, 9).get(), want.get()), 0) << round;
        if (has_adx) {
            adx.mul(r, a.data(), b.data());
            EXPECT_EQ(BN_cmp(to_bn(r, 9).get(), want.get()), 0) << round;
        }
        BN_mod_mul(want.get(), to_bn(a.data(), 9).get(), to_bn(a.data(), 9).get(), p.get(), ctx.get());
        port.sqr(r, a.data());
        EXPECT_EQ(BN_cmp(to_bn(r, 9).get(), want.get()), 0) << round;
    }
}
