// Differential tests of the handle layer against OpenSSL's BIGNUM over
// thousands of random operands of assorted sizes and shapes.
#include <openssl/bn.h>

#include "oracle.h"

using namespace bdtest;

namespace {

constexpr size_t kMaxBits = 16384;

#define EXPECT_SAME(ours, theirs, what) \
    ASSERT_EQ(hex_of(ours), hex_of(theirs)) << what << " at iteration " << it

TEST(BigdDifferential, AddSubtractMultiplySquare) {
    Gen g(1);
    Ctx ctx(BN_CTX_new());
    for (int it = 0; it < 1000; ++it) {
        Bd u = g.number(kMaxBits), v = g.number(it % 10 == 0 ? 64 : kMaxBits), w = make();
        Bn bu = to_bn(u.get()), bv = to_bn(v.get()), r = bn();

        bdAdd(w.get(), u.get(), v.get());
        BN_add(r.get(), bu.get(), bv.get());
        EXPECT_SAME(w.get(), r.get(), "add");

        BdDigit borrow = bdSubtract(w.get(), u.get(), v.get());
        ASSERT_EQ(borrow, BN_cmp(bu.get(), bv.get()) < 0 ? 1u : 0u);
        if (borrow) {
            // u - v + 2^(32n), n the common digit count.
            size_t n = std::max({u->ndigits, v->ndigits, size_t(1)});
            Bn p = bn();
            BN_set_bit(p.get(), int(32 * n));
            BN_add(r.get(), bu.get(), p.get());
            BN_sub(r.get(), r.get(), bv.get());
        } else {
            BN_sub(r.get(), bu.get(), bv.get());
        }
        EXPECT_SAME(w.get(), r.get(), "subtract");

        bdMultiply(w.get(), u.get(), v.get());
        BN_mul(r.get(), bu.get(), bv.get(), ctx.get());
        EXPECT_SAME(w.get(), r.get(), "multiply");

        bdSquare(w.get(), u.get());
        BN_sqr(r.get(), bu.get(), ctx.get());
        EXPECT_SAME(w.get(), r.get(), "square");

        // Output aliasing an input.
        Bd a = make();
        bdSetEqual(a.get(), u.get());
        bdMultiply_s(a.get(), a.get(), v.get());
        BN_mul(r.get(), bu.get(), bv.get(), ctx.get());
        EXPECT_SAME(a.get(), r.get(), "multiply_s aliased");
        bdSetEqual(a.get(), u.get());
        bdAdd_s(a.get(), v.get(), a.get());
        BN_add(r.get(), bu.get(), bv.get());
        EXPECT_SAME(a.get(), r.get(), "add_s aliased");
    }
}

TEST(BigdDifferential, ShortOperations) {
    Gen g(2);
    for (int it = 0; it < 2000; ++it) {
        Bd u = g.number(it % 4 == 0 ? 64 : 4096), w = make(), r = make();
        BdDigit d = BdDigit(g.u64());
        if (it % 5 == 0) d = BdDigit(1) << (it % 32);
        if (it % 7 == 0) d = kMaxDigit;
        Bn bu = to_bn(u.get()), res = bn();

        bdShortAdd(w.get(), u.get(), d);
        BN_copy(res.get(), bu.get());
        BN_add_word(res.get(), d);
        EXPECT_SAME(w.get(), res.get(), "short add");

        bdShortMult(w.get(), u.get(), d);
        BN_copy(res.get(), bu.get());
        BN_mul_word(res.get(), d);
        EXPECT_SAME(w.get(), res.get(), "short mult");

        if (d == 0) continue;
        bdShortDiv(w.get(), r.get(), u.get(), d);
        BN_copy(res.get(), bu.get());
        BN_ULONG rem = BN_div_word(res.get(), d);
        EXPECT_SAME(w.get(), res.get(), "short div");
        ASSERT_EQ(bdToShort(r.get()), BdDigit(rem));
        ASSERT_EQ(bdShortMod(r.get(), u.get(), d), BdDigit(rem));

        if (BN_cmp(bu.get(), BN_value_one()) >= 0 && BN_num_bits(bu.get()) > 32) {
            bdShortSub(w.get(), u.get(), d);
            BN_copy(res.get(), bu.get());
            BN_sub_word(res.get(), d);
            EXPECT_SAME(w.get(), res.get(), "short sub");
        }
    }
}

TEST(BigdDifferential, DivideAndModulo) {
    Gen g(3);
    Ctx ctx(BN_CTX_new());
    for (int it = 0; it < 2000; ++it) {
        Bd u = g.number(kMaxBits), v = g.number(it % 3 == 0 ? 256 : kMaxBits), q = make(), r = make();
        if (bdIsZero(v.get())) bdSetShort(v.get(), 3);
        if (it % 4 == 0) {
            // u = v * k + small so that the quotient has a known shape.
            Bd k = g.number(2048), t = make();
            bdMultiply(t.get(), v.get(), k.get());
            bdShortAdd(u.get(), t.get(), BdDigit(it));
        }
        Bn bu = to_bn(u.get()), bv = to_bn(v.get()), bq = bn(), br = bn();
        std::string vhex = hex_of(v.get());
        bdDivide(q.get(), r.get(), u.get(), v.get());
        ASSERT_EQ(1, BN_div(bq.get(), br.get(), bu.get(), bv.get(), ctx.get()));
        EXPECT_SAME(q.get(), bq.get(), "quotient");
        EXPECT_SAME(r.get(), br.get(), "remainder");
        ASSERT_EQ(hex_of(v.get()), vhex) << "the divisor must not change";

        bdModulo(r.get(), u.get(), v.get());
        EXPECT_SAME(r.get(), br.get(), "modulo");

        // Quotient and remainder into the dividend's own handle.
        Bd a = make();
        bdSetEqual(a.get(), u.get());
        bdDivide_s(a.get(), r.get(), a.get(), v.get());
        EXPECT_SAME(a.get(), bq.get(), "divide_s aliased");
    }
}

TEST(BigdDifferential, ModularOperations) {
    Gen g(4);
    Ctx ctx(BN_CTX_new());
    for (int it = 0; it < 400; ++it) {
        size_t mbits = it % 100 == 0 ? 8192 : 2048;
        Bd m = g.number(mbits), x = g.number(mbits + 64), y = g.number(mbits), a = make();
        if (bdShortCmp(m.get(), 1) <= 0) bdSetShort(m.get(), 1000003);
        Bn bm = to_bn(m.get()), bx = to_bn(x.get()), by = to_bn(y.get()), r = bn();

        bdModMult(a.get(), x.get(), y.get(), m.get());
        BN_mod_mul(r.get(), bx.get(), by.get(), bm.get(), ctx.get());
        EXPECT_SAME(a.get(), r.get(), "modmult");

        bdModSquare(a.get(), x.get(), m.get());
        BN_mod_sqr(r.get(), bx.get(), bm.get(), ctx.get());
        EXPECT_SAME(a.get(), r.get(), "modsquare");

        int inv_ret = bdModInv(a.get(), x.get(), m.get());
        Bn gcd = bn();
        BN_gcd(gcd.get(), bx.get(), bm.get(), ctx.get());
        if (BN_is_one(gcd.get())) {
            ASSERT_EQ(0, inv_ret);
            ASSERT_TRUE(BN_mod_inverse(r.get(), bx.get(), bm.get(), ctx.get()));
            EXPECT_SAME(a.get(), r.get(), "modinv");
        } else {
            ASSERT_EQ(1, inv_ret);
            ASSERT_TRUE(bdIsZero(a.get()));
        }

        bdGcd(a.get(), x.get(), m.get());
        EXPECT_SAME(a.get(), gcd.get(), "gcd");

        if (BN_is_odd(bm.get())) {
            int j = bdJacobi(x.get(), m.get());
            ASSERT_EQ(j, BN_kronecker(bx.get(), bm.get(), ctx.get())) << "jacobi at iteration " << it;
        }
    }
}

TEST(BigdDifferential, ModularExponentiation) {
    Gen g(5);
    Ctx ctx(BN_CTX_new());
    for (int it = 0; it < 400; ++it) {
        size_t mbits = it % 40 == 0 ? 4096 : it % 3 == 0 ? 256 : 1024;
        Bd m = g.number(mbits), x = g.number(mbits + 100), e = make(), y = make();
        if (it % 2 == 0) bdSetBit(m.get(), 0, 1);  // mostly odd moduli, some even
        if (bdIsZero(m.get())) bdSetShort(m.get(), 7);
        switch (it % 6) {
            case 0: bdSetShort(e.get(), BdDigit(it % 12 == 0 ? 0 : 1)); break;
            case 1: bdSetBit(e.get(), g.below(300), 1); break;  // 2^k
            case 2: bdSetShort(e.get(), 65537); break;
            default: e = g.number(mbits); break;
        }
        Bn bm = to_bn(m.get()), bx = to_bn(x.get()), be = to_bn(e.get()), r = bn();
        ASSERT_TRUE(BN_mod_exp(r.get(), bx.get(), be.get(), bm.get(), ctx.get()));

        bdModExp(y.get(), x.get(), e.get(), m.get());
        EXPECT_SAME(y.get(), r.get(), "modexp");
        bdModExp_ct(y.get(), x.get(), e.get(), m.get());
        EXPECT_SAME(y.get(), r.get(), "modexp_ct");
    }
}

TEST(BigdDifferential, BitsAndShifts) {
    Gen g(6);
    Ctx ctx(BN_CTX_new());
    for (int it = 0; it < 2000; ++it) {
        Bd u = g.number(4096), v = g.number(4096), w = make();
        Bn bu = to_bn(u.get()), r = bn();
        size_t s = g.below(700);

        bdShiftLeft(w.get(), u.get(), s);
        BN_lshift(r.get(), bu.get(), int(s));
        EXPECT_SAME(w.get(), r.get(), "shift left");

        bdShiftRight(w.get(), u.get(), s);
        BN_rshift(r.get(), bu.get(), int(s));
        EXPECT_SAME(w.get(), r.get(), "shift right");

        bdSetEqual(w.get(), u.get());
        bdModPowerOf2(w.get(), s);
        BN_copy(r.get(), bu.get());
        if (size_t(BN_num_bits(r.get())) > s) BN_mask_bits(r.get(), int(s));
        EXPECT_SAME(w.get(), r.get(), "mod power of 2");

        size_t bit = g.below(5000);
        ASSERT_EQ(bdGetBit(u.get(), bit), BN_is_bit_set(bu.get(), int(bit)));
        bdSetEqual(w.get(), u.get());
        bdSetBit(w.get(), bit, 1);
        BN_copy(r.get(), bu.get());
        BN_set_bit(r.get(), int(bit));
        EXPECT_SAME(w.get(), r.get(), "set bit");
        bdSetBit(w.get(), bit, 0);
        BN_clear_bit(r.get(), int(bit));
        EXPECT_SAME(w.get(), r.get(), "clear bit");

        // Bitwise operations against byte-wise computation on equal-length octets.
        size_t len = std::max(bdConvToOctets(u.get(), nullptr, 0), bdConvToOctets(v.get(), nullptr, 0));
        std::vector<unsigned char> a(len), b(len), want(len), got(len);
        bdConvToOctets(u.get(), a.data(), len);
        bdConvToOctets(v.get(), b.data(), len);
        for (size_t i = 0; i < len; ++i) want[i] = a[i] ^ b[i];
        bdXorBits(w.get(), u.get(), v.get());
        bdConvToOctets(w.get(), got.data(), len);
        ASSERT_EQ(got, want) << "xor at iteration " << it;
        for (size_t i = 0; i < len; ++i) want[i] = a[i] | b[i];
        bdOrBits(w.get(), u.get(), v.get());
        bdConvToOctets(w.get(), got.data(), len);
        ASSERT_EQ(got, want) << "or at iteration " << it;
        for (size_t i = 0; i < len; ++i) want[i] = a[i] & b[i];
        bdAndBits(w.get(), u.get(), v.get());
        bdConvToOctets(w.get(), got.data(), len);
        ASSERT_EQ(got, want) << "and at iteration " << it;

        ASSERT_EQ(bdBitLength(u.get()), size_t(BN_num_bits(bu.get())));
        Bn bv = to_bn(v.get());
        int c = BN_cmp(bu.get(), bv.get());
        ASSERT_EQ(bdCompare(u.get(), v.get()), c);
        ASSERT_EQ(bdCompare_ct(u.get(), v.get()), c);
        ASSERT_EQ(bdIsEqual_ct(u.get(), v.get()), c == 0);
        ASSERT_EQ(bdIsEqual_ct(u.get(), u.get()), 1);
    }
}

TEST(BigdDifferential, RootsAndPower) {
    Gen g(7);
    Ctx ctx(BN_CTX_new());
    for (int it = 0; it < 300; ++it) {
        Bd x = g.number(it % 20 == 0 ? 4096 : 600), s = make();
        Bn bx = to_bn(x.get()), t = bn(), t1 = bn();
        bdSqrt(s.get(), x.get());
        Bn bs = to_bn(s.get());
        BN_sqr(t.get(), bs.get(), ctx.get());
        ASSERT_LE(BN_cmp(t.get(), bx.get()), 0) << "sqrt too large at " << it;
        BN_add(t1.get(), bs.get(), BN_value_one());
        BN_sqr(t.get(), t1.get(), ctx.get());
        ASSERT_GT(BN_cmp(t.get(), bx.get()), 0) << "sqrt too small at " << it;

        bdCubeRoot(s.get(), x.get());
        bs = to_bn(s.get());
        BN_sqr(t.get(), bs.get(), ctx.get());
        BN_mul(t.get(), t.get(), bs.get(), ctx.get());
        ASSERT_LE(BN_cmp(t.get(), bx.get()), 0) << "cube root too large at " << it;
        BN_add(t1.get(), bs.get(), BN_value_one());
        BN_sqr(t.get(), t1.get(), ctx.get());
        BN_mul(t.get(), t.get(), t1.get(), ctx.get());
        ASSERT_GT(BN_cmp(t.get(), bx.get()), 0) << "cube root too small at " << it;

        Bd base = g.number(100), y = make();
        uint32_t n = uint32_t(g.below(40));
        bdPower(y.get(), base.get(), n);
        Bn bb = to_bn(base.get()), bn_n = bn();
        BN_set_word(bn_n.get(), n);
        BN_exp(t.get(), bb.get(), bn_n.get(), ctx.get());
        EXPECT_SAME(y.get(), t.get(), "power");
    }
}

TEST(BigdDifferential, TextAndOctetConversions) {
    Gen g(8);
    for (int it = 0; it < 1500; ++it) {
        Bd x = g.number(it % 10 == 0 ? kMaxBits : 2048), y = make();
        Bn bx = to_bn(x.get());

        char* dec = BN_bn2dec(bx.get());
        size_t dlen = bdConvToDecimal(x.get(), nullptr, 0);
        std::string ours(dlen + 1, '\0');
        ASSERT_EQ(bdConvToDecimal(x.get(), ours.data(), ours.size()), dlen);
        ours.resize(dlen);
        ASSERT_EQ(ours, std::string(dec)) << "to decimal at " << it;
        bdConvFromDecimal(y.get(), dec);
        ASSERT_EQ(bdCompare(x.get(), y.get()), 0) << "from decimal at " << it;
        OPENSSL_free(dec);

        std::string hex = hex_of(bx.get());
        ASSERT_EQ(hex_of(x.get()), hex) << "to hex at " << it;
        bdConvFromHex(y.get(), hex.c_str());
        ASSERT_EQ(bdCompare(x.get(), y.get()), 0) << "from hex at " << it;

        size_t n = bdConvToOctets(x.get(), nullptr, 0);
        ASSERT_EQ(n, std::max<size_t>(size_t(BN_num_bytes(bx.get())), 1));
        std::vector<unsigned char> ours_b(n + 3), bn_b(n + 3);
        bdConvToOctets(x.get(), ours_b.data(), ours_b.size());
        BN_bn2binpad(bx.get(), bn_b.data(), int(bn_b.size()));
        ASSERT_EQ(ours_b, bn_b) << "to octets at " << it;
    }
}

}  // namespace
