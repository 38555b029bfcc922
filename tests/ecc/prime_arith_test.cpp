// Point and scalar arithmetic of every table curve against OpenSSL:
// constant-time variable-base and fixed-base multiplication, the
// variable-time double multiplication, complete addition on its special
// cases, scalar arithmetic modulo n and square roots modulo p.
#include <openssl/err.h>
#include <openssl/rand.h>

#include <cstring>

#include "ecc/ec_internal.h"
#include "ecc/prime_fixture.h"

using namespace primetest;
using namespace velt::ecc;

namespace {

class EachCurve : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        c = curve(GetParam());
        g = openssl_group(GetParam());
        ASSERT_TRUE(g);
    }
    // OpenSSL's u1 * G + u2 * Q (either factor may be null).
    EC_point ref_mul(const uint64_t* u1, const uint64_t* u2, const EC_point* Q) {
        PointPtr r(EC_POINT_new(g.get()));
        BnPtr b1 = u1 ? to_bn(u1, c.nlimbs) : nullptr, b2 = u2 ? to_bn(u2, c.nlimbs) : nullptr;
        PointPtr q = Q ? to_openssl(g.get(), c, *Q) : nullptr;
        EXPECT_EQ(EC_POINT_mul(g.get(), r.get(), b1.get(), q.get(), b2.get(), nullptr), 1);
        return from_openssl(g.get(), r.get());
    }
    EC_point random_point() {
        uint64_t k[kMaxLimbs];
        random_limbs(k, c.nlimbs);
        return ref_mul(k, nullptr, nullptr);
    }
    EC_curve c;
    GroupPtr g;
};

void expect_same(const EC_point& a, const EC_point& b) {
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
}

TEST_P(EachCurve, MultiplicationsMatchOpenssl) {
    for (int round = 0; round < 6; ++round) {
        EC_point S = random_point();
        uint64_t d[kMaxLimbs], e[kMaxLimbs];
        random_limbs(d, c.nlimbs);
        random_limbs(e, c.nlimbs);
        EC_point R;
        EC_point_mult(c, &R, d, S);
        expect_same(R, ref_mul(nullptr, d, &S));
        EC_point_mult_base(c, &R, d);
        expect_same(R, ref_mul(d, nullptr, nullptr));
        EC_point_mul2_vartime(c, &R, d, e, S);
        expect_same(R, ref_mul(d, e, &S));
    }
}

TEST_P(EachCurve, EdgeScalars) {
    EC_point S = random_point();
    // 0, 1, 2, n - 1, n, n + 1 and the largest value the limbs hold.
    uint64_t cases[7][kMaxLimbs] = {};
    cases[1][0] = 1;
    cases[2][0] = 2;
    std::memcpy(cases[3], c.n, sizeof c.n);
    cases[3][0] -= 1;
    std::memcpy(cases[4], c.n, sizeof c.n);
    std::memcpy(cases[5], c.n, sizeof c.n);
    cases[5][0] += 1;
    for (size_t i = 0; i < c.nlimbs; ++i) cases[6][i] = ~uint64_t(0);
    for (auto& d : cases) {
        EC_point R, B, want = ref_mul(nullptr, d, &S);
        EC_point_mult(c, &R, d, S);
        expect_same(R, want);
        EC_point_mult_base(c, &B, d);
        expect_same(B, ref_mul(d, nullptr, nullptr));
        EC_point_mul2_vartime(c, &R, d, d, S);
        expect_same(R, ref_mul(d, d, &S));
    }
    uint64_t zero[kMaxLimbs] = {}, one[kMaxLimbs] = {1};
    EC_point R;
    EC_point_mult(c, &R, zero, S);
    EXPECT_TRUE(EC_point_is_infinity(c, R));
    EXPECT_EQ(R.X[0], 1u);
    EXPECT_EQ(R.Y[0], 1u);
    // Infinity as the base gives infinity; a non-normalised base is read as
    // Jacobian: (X l^2, Y l^3, l) is the same point.
    EC_point inf;
    EC_point_set_infinity(&inf);
    EC_point_mult(c, &R, one, inf);
    EXPECT_TRUE(EC_point_is_infinity(c, R));
    EC_point J = S;
    uint64_t l[kMaxLimbs] = {7};
    uint64_t l2[kMaxLimbs], l3[kMaxLimbs];
    EC_scalar_mul(c, l2, l, l);  // small values: the same modulo n and p
    EC_scalar_mul(c, l3, l2, l);
    PointPtr tmp(EC_POINT_new(g.get()));
    BnPtr p = to_bn(c.p, c.nlimbs), X = to_bn(S.X, c.nlimbs), Y = to_bn(S.Y, c.nlimbs);
    BnPtr bl2 = to_bn(l2, c.nlimbs), bl3 = to_bn(l3, c.nlimbs);
    BN_CTX* ctx = BN_CTX_new();
    BN_mod_mul(X.get(), X.get(), bl2.get(), p.get(), ctx);
    BN_mod_mul(Y.get(), Y.get(), bl3.get(), p.get(), ctx);
    BN_CTX_free(ctx);
    from_bn(J.X, X.get());
    from_bn(J.Y, Y.get());
    std::memcpy(J.Z, l, sizeof l);
    EC_point_mult(c, &R, one, J);
    expect_same(R, S);
    EXPECT_TRUE(EC_point_equal(c, J, S));
}

TEST_P(EachCurve, CompleteAdditionSpecialCases) {
    EC_point P = random_point(), Q = random_point(), R, inf, negP = P;
    EC_point_set_infinity(&inf);
    uint64_t two[kMaxLimbs] = {2}, one[kMaxLimbs] = {1};
    EC_point_add(c, &R, P, P);  // doubling through the addition
    expect_same(R, ref_mul(nullptr, two, &P));
    EC_point_add(c, &R, P, inf);
    expect_same(R, P);
    EC_point_add(c, &R, inf, Q);
    expect_same(R, Q);
    EC_point_add(c, &R, inf, inf);
    EXPECT_TRUE(EC_point_is_infinity(c, R));
    // P + (-P) = infinity.
    BnPtr y = to_bn(P.Y, c.nlimbs), p = to_bn(c.p, c.nlimbs);
    BN_sub(y.get(), p.get(), y.get());
    from_bn(negP.Y, y.get());
    EC_point_add(c, &R, P, negP);
    EXPECT_TRUE(EC_point_is_infinity(c, R));
    // P + Q against OpenSSL.
    PointPtr a = to_openssl(g.get(), c, P), b = to_openssl(g.get(), c, Q), s(EC_POINT_new(g.get()));
    EC_POINT_add(g.get(), s.get(), a.get(), b.get(), nullptr);
    EC_point_add(c, &R, P, Q);
    expect_same(R, from_openssl(g.get(), s.get()));
    // u1 G + u2 Q meeting infinity: u2 Q = -u1 G.
    uint64_t nm1[kMaxLimbs];
    std::memcpy(nm1, c.n, sizeof nm1);
    nm1[0] -= 1;
    EC_point_mul2_vartime(c, &R, one, one, ref_mul(nm1, nullptr, nullptr));
    EXPECT_TRUE(EC_point_is_infinity(c, R));
}

// The verification check u1 G + u2 Q against r: the x-coordinate of the
// sum reduced modulo n, infinity refused, and x-coordinates from n up to p
// (where the curve has them) matched through r = x - n.
TEST_P(EachCurve, Mul2CheckX) {
    for (int round = 0; round < 4; ++round) {
        EC_point S = random_point();
        uint64_t u1[kMaxLimbs], u2[kMaxLimbs], r[kMaxLimbs] = {};
        random_limbs(u1, c.nlimbs);
        random_limbs(u2, c.nlimbs);
        EC_point want = ref_mul(u1, u2, &S);
        EC_scalar_reduce(c, r, want.X);
        const std::vector<uint64_t> table = EC_point_verify_table(c, S);
        EXPECT_EQ(EC_point_mul2_check_x(c, u1, u2, S, r), 1);
        EXPECT_EQ(EC_point_mul2_check_x_table(c, u1, u2, table, r), 1);
        EXPECT_EQ(EC_point_mul2_check_x_table(c, u1, u2, std::vector<uint64_t>(table.size() / 2), r), 0);
        // Edge factors through the table: n - 1 and 1 on either side.
        uint64_t nm1[kMaxLimbs], one[kMaxLimbs] = {1}, r2[kMaxLimbs] = {};
        std::memcpy(nm1, c.n, sizeof nm1);
        nm1[0] -= 1;
        EC_scalar_reduce(c, r2, ref_mul(nm1, one, &S).X);
        EXPECT_EQ(EC_point_mul2_check_x_table(c, nm1, one, table, r2), 1);
        EC_scalar_reduce(c, r2, ref_mul(one, nm1, &S).X);
        EXPECT_EQ(EC_point_mul2_check_x_table(c, one, nm1, table, r2), 1);
        r[0] ^= 1;
        EXPECT_EQ(EC_point_mul2_check_x(c, u1, u2, S, r), 0);
        EXPECT_EQ(EC_point_mul2_check_x_table(c, u1, u2, table, r), 0);
    }
    uint64_t zero[kMaxLimbs] = {}, one[kMaxLimbs] = {1}, nm1[kMaxLimbs];
    std::memcpy(nm1, c.n, sizeof nm1);
    nm1[0] -= 1;
    // G + (n - 1) G is infinity, whose affine form (1, 1) must not match r = 1.
    EC_point minus_g = ref_mul(nm1, nullptr, nullptr);
    EXPECT_EQ(EC_point_mul2_check_x(c, one, one, minus_g, one), 0);
    EXPECT_EQ(EC_point_mul2_check_x_table(c, one, one, EC_point_verify_table(c, minus_g), one), 0);
    // A point with n <= x < p, reached as 0 G + 1 P.
    uint64_t x[kMaxLimbs] = {}, rhs[kMaxLimbs], y[kMaxLimbs];
    std::memcpy(x, c.n, sizeof x);
    for (uint64_t t = 1; t < 200; ++t) {
        x[0] = c.n[0] + t;  // no carry: the low limb of every order is far below 2^64 - 200
        if (num_cmp(x, c.p, c.nlimbs) >= 0) break;
        EC_point P = {};
        std::memcpy(P.X, x, sizeof x);
        group_of(c).rhs(rhs, x);
        if (!EC_field_sqrt(c, y, rhs)) continue;
        std::memcpy(P.Y, y, sizeof y);
        P.Z[0] = 1;
        ASSERT_TRUE(EC_partial_validation(c, P));
        uint64_t r[kMaxLimbs] = {t};
        EXPECT_EQ(EC_point_mul2_check_x(c, zero, one, P, r), 1);
        EXPECT_EQ(EC_point_mul2_check_x(c, one, zero, P, r), 0);
        EXPECT_EQ(EC_point_mul2_check_x_table(c, zero, one, EC_point_verify_table(c, P), r), 1);
        break;
    }
}

TEST_P(EachCurve, ScalarArithmetic) {
    BnPtr n = to_bn(c.n, c.nlimbs);
    BN_CTX* ctx = BN_CTX_new();
    for (int round = 0; round < 4; ++round) {
        uint64_t a[kMaxLimbs] = {}, b[kMaxLimbs] = {}, r[kMaxLimbs] = {}, t[kMaxLimbs] = {};
        random_limbs(a, c.nlimbs);
        random_limbs(b, c.nlimbs);
        BnPtr ba = to_bn(a, c.nlimbs), bb = to_bn(b, c.nlimbs), want(BN_new());
        EC_scalar_reduce(c, a, a);
        EC_scalar_reduce(c, b, b);
        BN_nnmod(want.get(), ba.get(), n.get(), ctx);
        EXPECT_EQ(BN_cmp(to_bn(a, c.nlimbs).get(), want.get()), 0);
        EC_scalar_mul(c, r, a, b);
        BN_mod_mul(want.get(), ba.get(), bb.get(), n.get(), ctx);
        EXPECT_EQ(BN_cmp(to_bn(r, c.nlimbs).get(), want.get()), 0);
        EC_scalar_add(c, r, a, b);
        BN_mod_add(want.get(), ba.get(), bb.get(), n.get(), ctx);
        EXPECT_EQ(BN_cmp(to_bn(r, c.nlimbs).get(), want.get()), 0);
        EC_scalar_inv(c, r, a);
        EC_scalar_mul(c, t, r, a);
        uint64_t one[kMaxLimbs] = {1};
        EXPECT_EQ(std::memcmp(t, one, 8 * c.nlimbs), 0);
        EXPECT_EQ(EC_scalar_in_range(c, a), ~uint64_t(0));
    }
    BN_CTX_free(ctx);
    uint64_t zero[kMaxLimbs] = {}, r[kMaxLimbs];
    std::memset(r, 0xff, sizeof r);
    EC_scalar_inv(c, r, zero);
    EXPECT_EQ(std::memcmp(r, zero, 8 * c.nlimbs), 0);
    EXPECT_EQ(EC_scalar_in_range(c, zero), 0u);
    EXPECT_EQ(EC_scalar_in_range(c, c.n), 0u);
}

TEST_P(EachCurve, SquareRoots) {
    BnPtr p = to_bn(c.p, c.nlimbs);
    BN_CTX* ctx = BN_CTX_new();
    for (int round = 0; round < 8; ++round) {
        uint64_t x[kMaxLimbs], r[kMaxLimbs];
        random_limbs(x, c.nlimbs);
        BnPtr bx = to_bn(x, c.nlimbs), sq(BN_new());
        BN_nnmod(bx.get(), bx.get(), p.get(), ctx);
        from_bn(x, bx.get());
        BN_mod_sqr(sq.get(), bx.get(), p.get(), ctx);
        uint64_t s[kMaxLimbs];
        from_bn(s, sq.get());
        ASSERT_EQ(EC_field_sqrt(c, r, s), 1);
        BnPtr br = to_bn(r, c.nlimbs);
        EXPECT_TRUE(BN_cmp(br.get(), bx.get()) == 0 ||
                    (BN_sub(br.get(), p.get(), br.get()) && BN_cmp(br.get(), bx.get()) == 0));
        // A random value has a root about half of the time; when OpenSSL
        // finds none, neither may we.
        random_limbs(x, c.nlimbs);
        bx = to_bn(x, c.nlimbs);
        BN_nnmod(bx.get(), bx.get(), p.get(), ctx);
        from_bn(x, bx.get());
        BnPtr root(BN_mod_sqrt(nullptr, bx.get(), p.get(), ctx));
        ERR_clear_error();
        EXPECT_EQ(EC_field_sqrt(c, r, x), root ? 1 : 0);
    }
    BN_CTX_free(ctx);
    uint64_t zero[kMaxLimbs] = {}, r[kMaxLimbs];
    EXPECT_EQ(EC_field_sqrt(c, r, zero), 1);
    EXPECT_EQ(EC_field_sqrt(c, r, c.p), 0);  // not below p
}

INSTANTIATE_TEST_SUITE_P(Curves, EachCurve,
                         ::testing::Values("secp192r1", "secp224r1", "secp256r1", "secp384r1", "secp521r1",
                                           "secp256k1", "brainpoolP256r1", "brainpoolP384r1",
                                           "brainpoolP512r1"));

}  // namespace
