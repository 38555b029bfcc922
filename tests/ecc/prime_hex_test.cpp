// Points as hexadecimal and octet strings: round trips, compressed input,
// partial validation and the malformed forms that must fail.
#include <cstring>

#include "ecc/prime_fixture.h"

using namespace primetest;
using namespace velt::ecc;

namespace {

EC_point times(const EC_curve& c, uint64_t k) {
    uint64_t d[kMaxLimbs] = {k};
    EC_point R;
    EC_point_mult_base(c, &R, d);
    return R;
}

std::string hex_of(const EC_curve& c, const uint64_t* a) {
    Bytes b(EC_field_bytes(c));
    EC_num_to_bytes(b.data(), b.size(), a, c.nlimbs);
    return testutil::to_hex(b);
}

}  // namespace

TEST(PrimeHex, RoundTripsAndCompressedForms) {
    for (size_t i = 0; i < EC_curve_count(); ++i) {
        EC_curve c = curve(EC_curve_name(i));
        SCOPED_TRACE(c.name);
        EC_point P = times(c, 0x1234567 + i), Q;
        std::string hex = EC_point_tohex(c, P);
        ASSERT_EQ(hex.size(), 2 + 4 * EC_field_bytes(c));
        EXPECT_EQ(hex.substr(0, 2), "04");
        EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos);
        ASSERT_EQ(EC_point_fromhex(c, &Q, hex.c_str()), 0);
        EXPECT_TRUE(EC_point_equal(c, P, Q));
        // Upper case is read too.
        std::string upper = hex;
        for (char& ch : upper) ch = char(toupper(ch));
        ASSERT_EQ(EC_point_fromhex(c, &Q, upper.c_str()), 0);
        EXPECT_TRUE(EC_point_equal(c, P, Q));

        // Compressed: the right prefix gives P, the other one -P.
        std::string x = hex_of(c, P.X);
        bool odd = P.Y[0] & 1;
        ASSERT_EQ(EC_point_fromhex(c, &Q, ((odd ? "03" : "02") + x).c_str()), 0);
        EXPECT_TRUE(EC_point_equal(c, P, Q));
        ASSERT_EQ(EC_point_fromhex(c, &Q, ((odd ? "02" : "03") + x).c_str()), 0);
        EC_point sum;
        EC_point_add(c, &sum, P, Q);
        EXPECT_TRUE(EC_point_is_infinity(c, sum));
        EXPECT_NE(std::memcmp(P.Y, Q.Y, sizeof P.Y), 0);

        // Octet strings agree with the hex form.
        uint8_t oct[1 + 2 * 66];
        size_t n = EC_point_to_octets(c, oct, P);
        EXPECT_EQ(testutil::to_hex(oct, n), hex);
        ASSERT_EQ(EC_point_from_octets(c, &Q, oct, n), 0);
        EXPECT_TRUE(EC_point_equal(c, P, Q));
        oct[0] = odd ? 3 : 2;
        ASSERT_EQ(EC_point_from_octets(c, &Q, oct, 1 + EC_field_bytes(c)), 0);
        EXPECT_TRUE(EC_point_equal(c, P, Q));
    }
}

TEST(PrimeHex, InfinityForms) {
    EC_curve c = curve("secp256r1");
    EC_point inf, Q;
    EC_point_set_infinity(&inf);
    EXPECT_EQ(EC_point_tohex(c, inf), "00");
    for (const char* s : {"0", "00"}) {
        ASSERT_EQ(EC_point_fromhex(c, &Q, s), 0) << s;
        EXPECT_TRUE(EC_point_is_infinity(c, Q));
        EXPECT_FALSE(EC_partial_validation(c, Q));
    }
    uint8_t z = 0;
    EXPECT_LT(EC_point_from_octets(c, &Q, &z, 1), 0);
    EXPECT_EQ(EC_point_to_octets(c, &z, inf), 0u);
}

TEST(PrimeHex, MalformedAndInvalidPointsFail) {
    EC_curve c = curve("secp256r1");
    EC_point P = times(c, 99), Q;
    std::string hex = EC_point_tohex(c, P), x = hex.substr(2, 64), y = hex.substr(66);
    // The first small x with no square root of x^3 + a x + b: both
    // prefixes fail.
    std::string bad_x;
    for (unsigned v = 1; v < 100 && bad_x.empty(); ++v) {
        char buf[80];
        std::snprintf(buf, sizeof buf, "%064x", v);
        if (EC_point_fromhex(c, &Q, (std::string("02") + buf).c_str()) != 0) bad_x = buf;
    }
    ASSERT_FALSE(bad_x.empty());
    EXPECT_LT(EC_point_fromhex(c, &Q, ("03" + bad_x).c_str()), 0);

    const std::string cases[] = {
        "",                                                           // empty
        "4" + x + y,                                                  // first character not 0
        "04" + x + y.substr(0, 62),                                   // short
        "04" + x + y + "00",                                          // long
        "02" + x.substr(0, 62),                                       // short compressed
        "05" + x + y,                                                 // unknown prefix
        "04" + x + y.substr(0, 63) + "g",                             // not hex
        "04" + x + y.substr(0, 63) + char(y[63] == '0' ? '1' : '0'),  // off the curve
        "01",
        "000",
    };
    for (const std::string& s : cases) EXPECT_LT(EC_point_fromhex(c, &Q, s.c_str()), 0) << s;
}

TEST(PrimeHex, CoordinatePlusPFailsOnSecp521r1) {
    // x + p fits in 66 bytes on secp521r1: the encoding must be refused even
    // though it is congruent to a valid point (both the x and the y case).
    EC_curve c = curve("secp521r1");
    EC_point P = times(c, 5), Q;
    BnPtr p = to_bn(c.p, c.nlimbs);
    for (int which = 0; which < 2; ++which) {
        EC_point Pp = P;
        uint64_t* coord = which ? Pp.Y : Pp.X;
        BnPtr v = to_bn(coord, c.nlimbs);
        BN_add(v.get(), v.get(), p.get());
        ASSERT_LE(BN_num_bytes(v.get()), 66);
        from_bn(coord, v.get());
        std::string hex = "04" + hex_of(c, Pp.X) + hex_of(c, Pp.Y);
        ASSERT_EQ(hex.size(), 2u + 4 * 66);
        EXPECT_LT(EC_point_fromhex(c, &Q, hex.c_str()), 0);
        EXPECT_EQ(EC_partial_validation(c, Pp), 0);
        EXPECT_EQ(EC_point_isoncurve(c, Pp), 1);  // congruent to a curve point
        if (!which) {
            EXPECT_LT(EC_point_fromhex(c, &Q, ("02" + hex_of(c, Pp.X)).c_str()), 0);
        }
    }
    EXPECT_EQ(EC_point_tohex(c, P).size(), 2u + 4 * 66);
}
