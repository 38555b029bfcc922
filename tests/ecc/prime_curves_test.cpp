// The curve table: parameters against OpenSSL's built-in groups, the alias
// table, the canonical-name test and the curve OIDs.
#include <cstring>

#include "ecc/prime_fixture.h"

using namespace primetest;
using namespace velt::ecc;

TEST(PrimeCurves, ParametersMatchOpenssl) {
    ASSERT_EQ(EC_curve_count(), 9u);
    for (size_t i = 0; i < EC_curve_count(); ++i) {
        std::string name = EC_curve_name(i);
        SCOPED_TRACE(name);
        EC_curve c = curve(name);
        GroupPtr g = openssl_group(name);
        ASSERT_TRUE(g);
        BnPtr p(BN_new()), a(BN_new()), b(BN_new());
        ASSERT_EQ(EC_GROUP_get_curve(g.get(), p.get(), a.get(), b.get(), nullptr), 1);
        EXPECT_EQ(BN_cmp(to_bn(c.p, c.nlimbs).get(), p.get()), 0);
        EXPECT_EQ(BN_cmp(to_bn(c.a, c.nlimbs).get(), a.get()), 0);
        EXPECT_EQ(BN_cmp(to_bn(c.b, c.nlimbs).get(), b.get()), 0);
        EXPECT_EQ(BN_cmp(to_bn(c.n, c.nlimbs).get(), EC_GROUP_get0_order(g.get())), 0);
        EC_point G = from_openssl(g.get(), EC_GROUP_get0_generator(g.get()));
        EXPECT_EQ(std::memcmp(&G, &c.G, sizeof G), 0);
        EXPECT_EQ(c.fieldbits, BN_num_bits(p.get()));
        EXPECT_EQ(c.orderbits, BN_num_bits(EC_GROUP_get0_order(g.get())));
        EXPECT_EQ(c.words, (c.fieldbits + 31) / 32);
        EXPECT_EQ(c.h, 1);
        // a = -3 flag exactly when a + 3 = p.
        BnPtr a3(BN_dup(a.get()));
        BN_add_word(a3.get(), 3);
        EXPECT_EQ(c.a_minus3 != 0, BN_cmp(a3.get(), p.get()) == 0);
        EXPECT_TRUE(EC_partial_validation(c, c.G));
    }
    EC_curve c;
    EXPECT_EQ(EC_curve_getbyname(&c, "SECP256R1"), 0);  // exact match only
    EXPECT_EQ(EC_curve_getbyname(&c, "P-256"), 0);
}

TEST(PrimeCurves, AliasesAndCanonicalNames) {
    const struct {
        const char* in;
        const char* out;
    } kCases[] = {
        {"P-256", "secp256r1"},
        {"p-256", "secp256r1"},
        {"PRIME256V1", "secp256r1"},
        {"SECP256R1", "secp256r1"},
        {"P_521", "secp521r1"},
        {"prime192v1", "secp192r1"},
        {"p_224", "secp224r1"},
        {"p-384", "secp384r1"},
        {"ed25519", "Ed25519"},
        {"x448", "X448"},
        {"BRAINPOOLP512R1", "brainpoolP512r1"},
        {"secp256k1", "secp256k1"},
        {"P-255", "P-255"},
        {"nistp256", "nistp256"},
    };
    for (const auto& k : kCases) EXPECT_STREQ(EC_curve_alias(k.in), k.out) << k.in;

    EC_curve c;
    ASSERT_EQ(EC_curve_lookup(&c, "p-256"), 1);
    EXPECT_STREQ(c.name, "secp256r1");
    EXPECT_EQ(EC_curve_lookup(&c, "Ed25519"), 0);  // a safe curve, not in the prime table
    EXPECT_EQ(EC_curve_lookup(&c, "P-255"), 0);

    EXPECT_EQ(EC_curve_is_canonical("secp384r1"), 1);
    EXPECT_EQ(EC_curve_is_canonical("X25519"), 1);
    EXPECT_EQ(EC_curve_is_canonical("prime256v1"), 0);
    EXPECT_EQ(EC_curve_is_canonical("SECP384R1"), 0);
    EXPECT_EQ(EC_curve_is_canonical("P-384"), 0);
}

TEST(PrimeCurves, OidsBothWays) {
    const struct {
        const char* name;
        const char* dotted;
    } kCases[] = {
        {"secp192r1", "1.2.840.10045.3.1.1"},
        {"secp224r1", "1.3.132.0.33"},
        {"secp256r1", "1.2.840.10045.3.1.7"},
        {"secp384r1", "1.3.132.0.34"},
        {"secp521r1", "1.3.132.0.35"},
        {"secp256k1", "1.3.132.0.10"},
        {"brainpoolP256r1", "1.3.36.3.3.2.8.1.1.7"},
        {"brainpoolP384r1", "1.3.36.3.3.2.8.1.1.11"},
        {"brainpoolP512r1", "1.3.36.3.3.2.8.1.1.13"},
    };
    for (const auto& k : kCases) {
        SCOPED_TRACE(k.name);
        EC_curve c = curve(k.name);
        OidRec rec, want;
        ASSERT_EQ(EC_curve_oid(c, &rec), 0);
        ASSERT_GT(oid_SetOIDFromDotted(&want, k.dotted), 0);
        ASSERT_EQ(rec.length, want.length);
        EXPECT_EQ(std::memcmp(rec.oct, want.oct, size_t(rec.length)), 0);
        EC_curve back;
        ASSERT_EQ(EC_curve_from_oid(&back, &want), 1);
        EXPECT_STREQ(back.name, k.name);
    }
    OidRec ed;
    ASSERT_GT(oid_SetOIDFromDotted(&ed, "1.3.101.112"), 0);
    EC_curve c;
    EXPECT_EQ(EC_curve_from_oid(&c, &ed), 0);
}
