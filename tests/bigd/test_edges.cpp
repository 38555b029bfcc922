// Edge cases of the handle and digit layers: conversions, borrows, trivial
// exponents, missing inverses, division by zero, bit access beyond the
// array, the constant-time tests, two's-complement helpers and printing.
#include <algorithm>
#include <cstring>

#include "bigd/limbs.h"
#include "oracle.h"

using namespace bdtest;

namespace {

std::string dec_of(const BdNumber* b) {
    size_t n = bdConvToDecimal(b, nullptr, 0);
    std::string s(n + 1, '\0');
    bdConvToDecimal(b, s.data(), s.size());
    s.resize(n);
    return s;
}

Bd from_dec(const char* s) {
    Bd b = make();
    bdConvFromDecimal(b.get(), s);
    return b;
}

TEST(BigdConversions, OctetsOfZeroAndShortBuffers) {
    Bd z = make();
    EXPECT_EQ(bdConvToOctets(z.get(), nullptr, 0), 1u);
    unsigned char buf[4] = {1, 2, 3, 4};
    EXPECT_EQ(bdConvToOctets(z.get(), buf, 4), 0u);
    EXPECT_EQ(std::vector<unsigned char>(buf, buf + 4), std::vector<unsigned char>(4, 0));

    // A short buffer keeps the least significant bytes; the result still
    // tells the full length.
    Bd x = make();
    const unsigned char in[] = {0x01, 0x02, 0x03, 0x04, 0x05};
    EXPECT_EQ(bdConvFromOctets(x.get(), in, sizeof in), 2u);
    unsigned char out[3];
    EXPECT_EQ(bdConvToOctets(x.get(), out, 3), 5u);
    EXPECT_EQ(std::vector<unsigned char>(out, out + 3), (std::vector<unsigned char>{0x03, 0x04, 0x05}));
    // Leading zero octets do not count.
    const unsigned char padded[] = {0, 0, 0, 0, 0, 0x7f};
    bdConvFromOctets(x.get(), padded, sizeof padded);
    EXPECT_EQ(bdConvToOctets(x.get(), nullptr, 0), 1u);
    EXPECT_EQ(bdSizeof(x.get()), 1u);
}

TEST(BigdConversions, TextForms) {
    Bd x = make();
    EXPECT_EQ(hex_of(x.get()), "0");
    EXPECT_EQ(bdConvToHex(x.get(), nullptr, 0), 1u);
    EXPECT_EQ(dec_of(x.get()), "0");
    bdSetShort(x.get(), 1);
    bdShiftLeft(x.get(), x.get(), 32);
    EXPECT_EQ(hex_of(x.get()), "100000000");
    EXPECT_EQ(dec_of(x.get()), "4294967296");

    // Characters outside the base are skipped; the zero before the x counts.
    bdConvFromHex(x.get(), "0x1F");
    EXPECT_EQ(bdToShort(x.get()), 31u);
    bdConvFromHex(x.get(), "de:ad be-ef");
    EXPECT_EQ(bdToShort(x.get()), 0xdeadbeefu);
    bdConvFromDecimal(x.get(), "1,000,000 ");
    EXPECT_EQ(bdToShort(x.get()), 1000000u);
    bdConvFromDecimal(x.get(), "");
    EXPECT_TRUE(bdIsZero(x.get()));
    bdConvFromHex(x.get(), "");
    EXPECT_TRUE(bdIsZero(x.get()));

    // A buffer of size n receives the first n - 1 characters and a NUL.
    x = from_dec("123456789012345678901234567890");
    char buf[8];
    std::memset(buf, 'z', sizeof buf);
    EXPECT_EQ(bdConvToDecimal(x.get(), buf, sizeof buf), 30u);
    EXPECT_STREQ(buf, "1234567");
    EXPECT_EQ(bdConvToHex(x.get(), buf, 1), hex_of(x.get()).size());
    EXPECT_STREQ(buf, "");
}

TEST(BigdArithmetic, BorrowsCarriesAndShortForms) {
    Bd a = make(), b = make(), w = make();
    bdSetShort(a.get(), 5);
    bdSetShort(b.get(), 7);
    EXPECT_EQ(bdSubtract(w.get(), a.get(), b.get()), 1u);
    EXPECT_EQ(hex_of(w.get()), "fffffffe");

    bdSetShort(a.get(), kMaxDigit);
    EXPECT_EQ(bdAdd(w.get(), a.get(), a.get()), 1u);
    EXPECT_EQ(hex_of(w.get()), "1fffffffe");  // the carry becomes a top digit
    EXPECT_EQ(bdIncrement(a.get()), 1u);
    EXPECT_EQ(hex_of(a.get()), "100000000");
    EXPECT_EQ(bdDecrement(a.get()), 0u);
    EXPECT_EQ(hex_of(a.get()), "ffffffff");
    bdSetZero(a.get());
    EXPECT_EQ(bdDecrement(a.get()), 1u);
    EXPECT_EQ(hex_of(a.get()), "ffffffff");

    // Values equal although their ndigits differ.
    Bd c = make();
    bdSetShort(c.get(), 42);
    Bd d = make();
    bdSetShort(d.get(), 42);
    bdSetBit(d.get(), 200, 1);
    bdSetBit(d.get(), 200, 0);
    d->ndigits = 7;  // an upper bound, not normalised
    EXPECT_TRUE(bdIsEqual(c.get(), d.get()));
    EXPECT_TRUE(bdIsEqual_ct(c.get(), d.get()));
    EXPECT_EQ(bdCompare(c.get(), d.get()), 0);
    EXPECT_EQ(bdCompare_ct(c.get(), d.get()), 0);
    EXPECT_EQ(bdBitLength(d.get()), 6u);
    EXPECT_TRUE(bdShortIsEqual(d.get(), 42));
    EXPECT_EQ(bdShortCmp(d.get(), 43), -1);
    EXPECT_TRUE(bdIsEven(d.get()));
    EXPECT_FALSE(bdIsOdd(d.get()));
}

TEST(BigdArithmetic, DivisionByZeroLeavesZeros) {
    Bd u = from_dec("123456789123456789"), z = make(), q = make(), r = make();
    bdSetShort(q.get(), 9);
    bdSetShort(r.get(), 9);
    bdDivide(q.get(), r.get(), u.get(), z.get());
    EXPECT_TRUE(bdIsZero(q.get()));
    EXPECT_TRUE(bdIsZero(r.get()));
    bdModulo(r.get(), u.get(), z.get());
    EXPECT_TRUE(bdIsZero(r.get()));
    bdShortDiv(q.get(), r.get(), u.get(), 0);
    EXPECT_TRUE(bdIsZero(q.get()));
    EXPECT_TRUE(bdIsZero(r.get()));

    BdDigit qd[2] = {7, 7}, rd[2] = {7, 7};
    const BdDigit ud[2] = {5, 1}, vd[2] = {0, 0};
    EXPECT_EQ(mpDivide(qd, rd, ud, 2, vd, 2), -1);
    EXPECT_EQ(qd[0] | qd[1] | rd[0] | rd[1], 0u);
    EXPECT_EQ(mpShortDiv(qd, ud, 0, 2), 0u);
}

TEST(BigdModular, TrivialExponentsAndInverses) {
    Bd x = from_dec("1234567"), e = make(), m = make(), y = make();
    bdSetShort(m.get(), 1000);
    for (auto modexp : {bdModExp, bdModExp_ct}) {
        bdSetZero(e.get());
        modexp(y.get(), x.get(), e.get(), m.get());
        EXPECT_EQ(dec_of(y.get()), "1");
        bdSetShort(e.get(), 1);
        modexp(y.get(), x.get(), e.get(), m.get());
        EXPECT_EQ(dec_of(y.get()), "567");
        // Every residue modulo 1 is 0, x^0 included.
        bdSetShort(m.get(), 1);
        bdSetZero(e.get());
        modexp(y.get(), x.get(), e.get(), m.get());
        EXPECT_TRUE(bdIsZero(y.get()));
        bdSetShort(m.get(), 1000);
    }

    Bd a = make(), inv = make();
    bdSetShort(a.get(), 6);
    bdSetShort(m.get(), 9);
    EXPECT_EQ(bdModInv(inv.get(), a.get(), m.get()), 1);
    EXPECT_TRUE(bdIsZero(inv.get()));
    bdSetShort(a.get(), 3);
    bdSetShort(m.get(), 7);
    EXPECT_EQ(bdModInv(inv.get(), a.get(), m.get()), 0);
    EXPECT_EQ(bdToShort(inv.get()), 5u);
}

TEST(BigdModular, ConstantTimeBaseAtOrAboveTheModulus) {
    // A base of the modulus' digit count but not below it (m + 5, and all
    // ones) goes through the Montgomery conversion unreduced.
    Ctx ctx(BN_CTX_new());
    Gen g(21);
    for (size_t bits : {64u, 96u, 1024u, 2080u}) {
        Bd m = make(), x = make(), y = make(), e = g.number(bits);
        bdQuickRandBits(m.get(), bits);
        bdSetBit(m.get(), 0, 1);
        bdSetBit(m.get(), bits - 1, 1);
        for (int shape = 0; shape < 2; ++shape) {
            if (shape == 0) {
                bdShortAdd(x.get(), m.get(), 5);
            } else {
                bdSetZero(x.get());
                for (size_t i = 0; i < bits; ++i) bdSetBit(x.get(), i, 1);
            }
            Bn bm = to_bn(m.get()), bx = to_bn(x.get()), be = to_bn(e.get()), r = bn();
            BN_mod_exp(r.get(), bx.get(), be.get(), bm.get(), ctx.get());
            bdModExp_ct(y.get(), x.get(), e.get(), m.get());
            EXPECT_EQ(hex_of(y.get()), hex_of(r.get())) << bits << " shape " << shape;
        }
    }
}

TEST(BigdModular, SecretInputsAreNotModified) {
    // A modulus with a small top digit (maximal normalisation shift) and an
    // exponent read at full length: both must be left exactly as they were.
    Bd m = from_dec("340282366920938463463374607431768211507"), x = from_dec("98765432109876543210");
    Bd e = from_dec("170141183460469231731687303715884105727"), y = make();
    BdNumber before_m = *m, before_e = *e;
    std::vector<BdDigit> md(m->digits, m->digits + m->ndigits), ed(e->digits, e->digits + e->ndigits);
    bdModExp_ct(y.get(), x.get(), e.get(), m.get());
    bdModExp(y.get(), x.get(), e.get(), m.get());
    bdModMult(y.get(), x.get(), e.get(), m.get());
    bdModulo(y.get(), x.get(), m.get());
    EXPECT_EQ(m->ndigits, before_m.ndigits);
    EXPECT_EQ(e->ndigits, before_e.ndigits);
    EXPECT_EQ(std::vector<BdDigit>(m->digits, m->digits + m->ndigits), md);
    EXPECT_EQ(std::vector<BdDigit>(e->digits, e->digits + e->ndigits), ed);
}

TEST(BigdBits, AccessBeyondTheNumber) {
    Bd a = make(), b = make();
    EXPECT_EQ(bdGetBit(a.get(), 1000), 0);
    bdSetBit(a.get(), 100, 1);
    EXPECT_EQ(bdBitLength(a.get()), 101u);
    EXPECT_EQ(bdSizeof(a.get()), 4u);

    BdDigit d[2] = {0, 0};
    EXPECT_EQ(mpSetBit(d, 2, 64, 1), -1);
    EXPECT_EQ(mpGetBit(d, 2, 64), -1);
    EXPECT_EQ(mpSetBit(d, 2, 63, 1), 0);
    EXPECT_EQ(mpGetBit(d, 2, 63), 1);

    // Shifts return the bits moved out of the array.
    BdDigit s[2] = {0x80000001u, 0xF0000000u}, t[2];
    EXPECT_EQ(mpShiftLeft(t, s, 4, 2), 0xFu);
    EXPECT_EQ(t[1], 0x00000008u);
    EXPECT_EQ(t[0], 0x00000010u);
    EXPECT_EQ(mpShiftRight(t, s, 4, 2), 0x10000000u);
    EXPECT_EQ(t[0], 0x08000000u);

    // Complement within the operand's current digit count.
    bdSetShort(b.get(), 0x0000FFFFu);
    bdNotBits(a.get(), b.get());
    EXPECT_EQ(hex_of(a.get()), "ffff0000");
    bdSetShort(b.get(), 0x12345678u);
    bdModPowerOf2(b.get(), 12);
    EXPECT_EQ(hex_of(b.get()), "678");
}

TEST(BigdDigits, ConstantTimeTestsAndSignedForms) {
    struct Case {
        BdDigit a[3], b[3];
        int cmp;
    };
    const Case cases[] = {
        {{0, 0, 0}, {0, 0, 0}, 0},
        {{1, 0, 0}, {0, 0, 0}, 1},
        {{0, 0, 1}, {kMaxDigit, kMaxDigit, 0}, 1},
        {{5, 7, 9}, {5, 7, 9}, 0},
        {{6, 7, 9}, {5, 8, 9}, -1},
        {{kMaxDigit, 0, 0}, {0, 1, 0}, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mpCompare_ct(c.a, c.b, 3), c.cmp);
        EXPECT_EQ(mpCompare(c.a, c.b, 3), c.cmp);
        EXPECT_EQ(mpEqual_ct(c.a, c.b, 3), c.cmp == 0);
        EXPECT_EQ(mpEqual(c.a, c.b, 3), c.cmp == 0);
        EXPECT_EQ(mpIsZero_ct(c.a, 3), mpIsZero(c.a, 3));
    }

    BdDigit five[2] = {5, 0}, neg[2], back[2];
    mpChs(neg, five, 2);
    EXPECT_EQ(neg[0], 0xFFFFFFFBu);
    EXPECT_EQ(neg[1], kMaxDigit);
    EXPECT_TRUE(mpIsNegative(neg, 2));
    mpAbs(back, neg, 2);
    EXPECT_EQ(back[0], 5u);
    EXPECT_EQ(back[1], 0u);
    testing::internal::CaptureStdout();
    mpPrintDecimalSigned("v=", neg, 2, "\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "v=-5\n");
}

TEST(BigdDigits, OddDigitCountsMatchTheHandleLayer) {
    // The digit layer pads odd counts to whole limbs internally.
    Gen g(11);
    for (int it = 0; it < 100; ++it) {
        size_t n = 1 + 2 * g.below(12);  // odd
        std::vector<BdDigit> x(n), e(n), m(n), y1(n), y2(n), w(2 * n), q(n), r(n);
        for (size_t i = 0; i < n; ++i) x[i] = BdDigit(g.u64()), e[i] = BdDigit(g.u64()), m[i] = BdDigit(g.u64());
        m[0] |= 1;
        mpModExp(y1.data(), x.data(), e.data(), m.data(), n);
        mpModExp_ct(y2.data(), x.data(), e.data(), m.data(), n);
        ASSERT_EQ(y1, y2);
        // x^e * x mod m == x^(e+1) mod m
        mpModMult(y2.data(), y1.data(), x.data(), m.data(), n);
        std::vector<BdDigit> e1(n), x_red(n);
        BdDigit carry = mpShortAdd(e1.data(), e.data(), 1, n);
        if (carry) continue;
        mpModExp(y1.data(), x.data(), e1.data(), m.data(), n);
        ASSERT_EQ(y1, y2);
        // q*m + r == x
        mpDivide(q.data(), r.data(), x.data(), n, m.data(), n);
        mpMultiply(w.data(), q.data(), m.data(), n);
        mpAdd(w.data(), w.data(), r.data(), n);
        ASSERT_TRUE(mpEqual(w.data(), x.data(), n));
    }
}

TEST(BigdPrinting, Formats) {
    Bd x = make();
    bdConvFromHex(x.get(), "1 00000002 0000000a");
    testing::internal::CaptureStdout();
    bdPrint(x.get(), 0);
    bdPrintHex("h=", x.get(), ";");
    bdPrintDecimal("d=", x.get(), ";");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "00000001 00000002 0000000a h=1000000020000000a;d=18446744082299486218;");

    bdSetShort(x.get(), 5);
    x->ndigits = 3;  // upper bound with zero top digits
    testing::internal::CaptureStdout();
    bdPrint(x.get(), 2);
    bdPrint(x.get(), 1);
    bdPrintBits("", x.get(), "|");
    bdSetZero(x.get());
    bdPrintBits("", x.get(), "|");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "00000005 00000000 00000000 00000005 \n101|0|");

    Bd big = make();
    bdSetBit(big.get(), 9 * 32 - 1, 1);
    testing::internal::CaptureStdout();
    bdPrint(big.get(), 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2);
    EXPECT_EQ(bdVersion(), 2612);
    EXPECT_EQ(mpVersion(), 2612);
    EXPECT_NE(std::strlen(bdCompileTime()), 0u);
}

}  // namespace

// The Montgomery set-up for secret moduli (masked doublings, no division)
// must give the same R^2 mod m as the division, from one limb (m = 1, 3,
// all ones) to sizes whose top limb is small or full.
TEST(BigdMontgomery, DivisionFreeSetUpMatchesDivision) {
    using velt::bigd::limb;
    std::vector<std::vector<limb>> moduli = {{1}, {3}, {~limb(0)}, {0x8000000000000001ull},
                                             {~limb(0), 1}, {5, 0x8000000000000000ull}};
    uint64_t s = 0x9e3779b97f4a7c15ull;
    for (size_t n : {2u, 3u, 16u, 17u, 32u}) {
        std::vector<limb> m(n);
        for (auto& v : m) v = (s = s * 6364136223846793005ull + 1442695040888963407ull);
        m[0] |= 1;
        moduli.push_back(m);
        m[n - 1] = 1 + (m[n - 1] >> 61);  // small top limb
        moduli.push_back(m);
    }
    for (const auto& m : moduli) {
        velt::bigd::Mont a(m.data(), m.size(), false), b(m.data(), m.size(), true);
        EXPECT_TRUE(std::equal(a.rr(), a.rr() + m.size(), b.rr())) << "limbs " << m.size() << " low " << m[0];
    }
}
