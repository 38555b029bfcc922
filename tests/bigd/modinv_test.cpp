// The constant-time modular inverse on limbs against OpenSSL's
// BN_mod_inverse, on the portable and the accelerated paths: random odd
// moduli of 1 to 64 limbs (full top limb, short top limb, leading zero
// limbs), the special operands 0, 1, m - 1 and multiples of a factor of m,
// m = 3 at every size, extreme moduli, and an RSA modulus.
#include <openssl/bn.h>
#include <openssl/err.h>

#include <random>
#include <vector>

#include "bigd/modinv.h"
#include "oracle.h"
#include "util/cpu.h"

using namespace bdtest;
using velt::bigd::limb;
using velt::bigd::modinv_odd_ct;

namespace {

using Limbs = std::vector<limb>;

Limbs limbs_of(const BIGNUM* x, size_t n) {
    std::vector<unsigned char> buf(8 * n);
    EXPECT_GE(BN_bn2lebinpad(x, buf.data(), int(buf.size())), 0) << "operand wider than " << n << " limbs";
    Limbs out(n);
    for (size_t i = 0; i < 8 * n; ++i) out[i / 8] |= limb(buf[i]) << (8 * (i % 8));
    return out;
}

Bn bn_of(const Limbs& a) {
    std::vector<unsigned char> buf(8 * a.size());
    for (size_t i = 0; i < buf.size(); ++i) buf[i] = (unsigned char)(a[i / 8] >> (8 * (i % 8)));
    return Bn(BN_lebin2bn(buf.data(), int(buf.size()), nullptr));
}

class ModInv : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        before_ = velt::cpu::enabled();
        velt::cpu::restrict_features(GetParam() ? before_ : 0u);
    }
    void TearDown() override { velt::cpu::restrict_features(before_); }
    uint32_t before_ = 0;

    // Inverts a modulo m (both held in n limbs) and checks the result and
    // the returned mask against OpenSSL, also with the output written over
    // each input.
    void check(const BIGNUM* a, const BIGNUM* m, size_t n, const char* what) {
        SCOPED_TRACE(testing::Message()
                     << what << ", " << n << " limbs, m = " << hex_of(m) << ", a = " << hex_of(a));
        Limbs la = limbs_of(a, n), lm = limbs_of(m, n), r(n, 0x5a5a5a5a5a5a5a5aull);
        Bn want = bn();
        ERR_set_mark();
        bool invertible = BN_mod_inverse(want.get(), a, m, ctx.get()) != nullptr;
        ERR_pop_to_mark();
        if (!invertible) BN_zero(want.get());

        limb mask = modinv_odd_ct(r.data(), la.data(), lm.data(), n);
        EXPECT_EQ(mask, invertible ? ~limb(0) : 0);
        EXPECT_EQ(hex_of(bn_of(r).get()), hex_of(want.get()));

        Limbs ra = la, rm = lm;
        modinv_odd_ct(ra.data(), ra.data(), lm.data(), n);
        EXPECT_EQ(ra, r) << "output over a";
        modinv_odd_ct(rm.data(), la.data(), rm.data(), n);
        EXPECT_EQ(rm, r) << "output over m";
    }

    Bn random_below(const BIGNUM* m) {
        Bn a = bn();
        BN_rand_range(a.get(), m);
        return a;
    }

    Ctx ctx{BN_CTX_new()};
};

TEST_P(ModInv, RandomOddModuliAgainstOpenSSL) {
    std::mt19937_64 rng(7);
    for (size_t n : {1u, 2u, 3u, 16u, 17u, 32u, 48u, 64u}) {
        for (int it = 0; it < 12; ++it) {
            // Full-width moduli, then a short top limb, then leading zero limbs.
            int bits = 64 * int(n);
            if (it % 3 == 1) bits -= 1 + int(rng() % 63);
            if (it % 3 == 2) bits = 2 + int(rng() % (64 * n - 1));
            Bn m = bn();
            BN_rand(m.get(), bits, BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ODD);
            if (BN_is_one(m.get())) BN_set_word(m.get(), 3);

            check(random_below(m.get()).get(), m.get(), n, "random a");
            Bn a = bn();
            BN_zero(a.get());
            check(a.get(), m.get(), n, "a = 0");
            BN_one(a.get());
            check(a.get(), m.get(), n, "a = 1");
            BN_sub(a.get(), m.get(), BN_value_one());
            check(a.get(), m.get(), n, "a = m - 1");
            BN_zero(a.get());
            BN_set_bit(a.get(), BN_num_bits(m.get()) - 2);  // long runs of even g
            check(a.get(), m.get(), n, "a = 2^(bits - 2)");
        }
    }
}

// m = f * k with a small or large odd factor f; a multiple of f has no
// inverse, a neighbour of it usually does.
TEST_P(ModInv, CommonFactorHasNoInverse) {
    for (size_t n : {1u, 2u, 3u, 16u, 17u, 32u, 48u, 64u}) {
        for (int fbits : {2, 17, 32 * int(n)}) {
            Bn f = bn(), k = bn(), m = bn(), a = bn(), t = bn();
            BN_rand(f.get(), fbits, BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ODD);
            BN_rand(k.get(), 64 * int(n) - fbits - 1, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ODD);
            if (BN_is_zero(k.get())) BN_set_word(k.get(), 5);
            BN_mul(m.get(), f.get(), k.get(), ctx.get());
            BN_rand_range(t.get(), k.get());
            BN_mul(a.get(), t.get(), f.get(), ctx.get());
            check(a.get(), m.get(), n, "a = t f");
            BN_add_word(a.get(), 2);
            if (BN_cmp(a.get(), m.get()) < 0) check(a.get(), m.get(), n, "a = t f + 2");
        }
    }
}

// m = 3 held in every size (all leading limbs zero), and moduli at the
// ends of the range: all ones and 2^(64n-1) + 1.
TEST_P(ModInv, ExtremeModuli) {
    for (size_t n : {1u, 2u, 3u, 16u, 17u, 32u, 48u, 64u}) {
        Bn m = bn(), a = bn();
        BN_set_word(m.get(), 3);
        for (unsigned long v : {0ul, 1ul, 2ul}) {
            BN_set_word(a.get(), v);
            check(a.get(), m.get(), n, "m = 3");
        }
        BN_zero(m.get());
        BN_set_bit(m.get(), 64 * int(n));
        BN_sub_word(m.get(), 1);
        check(random_below(m.get()).get(), m.get(), n, "m all ones");
        BN_set_word(a.get(), 2);
        check(a.get(), m.get(), n, "m all ones, a = 2");
        BN_zero(m.get());
        BN_set_bit(m.get(), 64 * int(n) - 1);
        BN_add_word(m.get(), 1);
        check(random_below(m.get()).get(), m.get(), n, "m = 2^(64n-1) + 1");
        BN_rshift1(a.get(), m.get());
        check(a.get(), m.get(), n, "a = (m - 1) / 2");
    }
}

// An operand of n limbs at or above m is inverted modulo m all the same.
TEST_P(ModInv, OperandAboveModulus) {
    for (size_t n : {1u, 3u, 32u}) {
        Bn m = bn(), a = bn();
        BN_rand(m.get(), 64 * int(n) - 3, BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ODD);
        BN_rand(a.get(), 64 * int(n), BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ANY);
        check(a.get(), m.get(), n, "a > m");
        check(m.get(), m.get(), n, "a = m");
    }
}

// An even modulus is outside the domain: no inverse is claimed.
TEST_P(ModInv, EvenModulusIsRefused) {
    for (size_t n : {1u, 17u, 32u}) {
        Limbs m(n, 0x9e3779b97f4a7c15ull), a(n, 0), r(n, 1);
        m[0] = 0x9e3779b97f4a7c14ull;
        a[0] = 3;
        EXPECT_EQ(modinv_odd_ct(r.data(), a.data(), m.data(), n), 0u) << n << " limbs";
        EXPECT_EQ(r, Limbs(n, 0)) << n << " limbs";
    }
}

// The RSA blinding case: a 2048-bit modulus p q, random blinding factors
// and multiples of p.
TEST_P(ModInv, RsaModulus) {
    Bn p = bn(), q = bn(), m = bn(), a = bn();
    ASSERT_TRUE(BN_generate_prime_ex(p.get(), 1024, 0, nullptr, nullptr, nullptr));
    ASSERT_TRUE(BN_generate_prime_ex(q.get(), 1024, 0, nullptr, nullptr, nullptr));
    BN_mul(m.get(), p.get(), q.get(), ctx.get());
    for (int it = 0; it < 20; ++it) check(random_below(m.get()).get(), m.get(), 32, "random a");
    BN_mul_word(p.get(), 12345);
    check(p.get(), m.get(), 32, "a = 12345 p");
    check(q.get(), m.get(), 32, "a = q");
}

INSTANTIATE_TEST_SUITE_P(Paths, ModInv, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "accelerated" : "portable"; });

}  // namespace
