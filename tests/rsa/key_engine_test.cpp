// Key engine: generation, raw operations against OpenSSL, CRT with either
// prime order, fault detection, RSA2 mode, checks and key strings.
#include <openssl/bn.h>
#include <openssl/rsa.h>

#include <cstring>

#include "frame/error.h"
#include "hash/hash.h"
#include "morvanevelt.h"
#include "rng/rng.h"
#include "rsa/rsa_fixture.h"
#include "rsa/rsa_int.h"
#include "util/cpu.h"

using namespace rsatest;
using testutil::Bytes;

namespace {

Bytes random_below_top(size_t k) {
    Bytes b(k);
    rngNonce(b.data(), long(k));
    b[0] = 0x00;
    return b;
}

std::string with_components(Components c) {
    return private_string(c);
}

}  // namespace

TEST(RsaKeyEngine, GeneratedKeyIsWellFormedAndAcceptedByOpenssl) {
    const KeyStrings& k = our_key();
    RsaKey* key = private_record(k.priv);
    EXPECT_EQ(key->flags, 7u);
    EXPECT_EQ(key->bits, 1024u);
    EXPECT_GT(bdCompare(key->p, key->q), 0);
    EXPECT_EQ(bdBitLength(key->p), 512u);
    EXPECT_EQ(bdBitLength(key->q), 512u);
    EXPECT_TRUE(bdShortIsEqual(key->e, 65537));
    rsaFree(&key);
    int status = 0;
    std::string out =
        testutil::run_command("openssl pkey -check -noout -in " + k.pem_path + " 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("valid"), std::string::npos) << out;
    out = testutil::run_command("openssl rsa -check -noout -in " + k.pem_path + " 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
}

TEST(RsaKeyEngine, ZeroTestCountStillYieldsPrimes) {
    // A caller asking for no Rabin-Miller rounds still gets prime factors and a
    // key that passes its pair-wise test.
    for (int i = 0; i < 4; ++i) {
        RsaKeyHolder key;
        ASSERT_EQ(rsaGenerateKeys(key.get(), 512, 7, 0, nullptr, 0, rngFunc, 0), 0);
        EXPECT_EQ(bdIsPrime(key->p, 32), 1);
        EXPECT_EQ(bdIsPrime(key->q, 32), 1);
    }
}

TEST(RsaKeyEngine, SmallKeysHaveExactSizesAndExponentTable) {
    // 97 bits: p of 49 bits, q of 48, n of exactly 97; index 7 means 65537.
    for (long idx : {0L, 2L, 7L}) {
        RsaKeyHolder key;
        ASSERT_EQ(rsaGenerateKeys(key.get(), 97, idx, 20, nullptr, 0, rngFunc, 0), 0);
        EXPECT_EQ(key->bits, 97u);
        EXPECT_EQ(bdBitLength(key->p), 49u);
        EXPECT_EQ(bdBitLength(key->q), 48u);
        EXPECT_TRUE(bdShortIsEqual(key->e, idx == 0 ? 3 : idx == 2 ? 17 : 65537));
    }
    EXPECT_EQ(rsaExponentFromIndex(4), 65537u);
}

namespace {

long failing_rng(unsigned char*, long, const unsigned char*, long) {
    return -PRNG_ERR_FAILURE;
}

}  // namespace

TEST(RsaKeyEngine, GeneratorFailureFailsGeneration) {
    RsaKeyHolder key;
    EXPECT_EQ(rsaGenerateKeys(key.get(), 512, 4, 8, nullptr, 0, failing_rng, 0), KEYGEN_FAILED_ERROR);
    EXPECT_EQ(key->flags, 0u);
    EXPECT_EQ(rsaGenerateKeys(key.get(), 3, 4, 8, nullptr, 0, rngFunc, 0), OUT_OF_RANGE_ERROR);
    EXPECT_EQ(rsaGenerateKeys(key.get(), 512, 4, 8, nullptr, 0, nullptr, 0), NULL_ERROR);
}

TEST(RsaKeyEngine, RawPrivateMatchesOpensslAndRoundTrips) {
    const KeyStrings& k = openssl_key();
    for (int i = 0; i < 4; ++i) {
        Bytes x = random_below_top(256);
        Bytes ours = x;
        ASSERT_EQ(RSA_RawPrivate(ours.data(), long(ours.size()), k.priv.c_str(), 0), 0);
        EXPECT_EQ(ours, openssl_raw_private(openssl_pkey(), x));
        ASSERT_EQ(RSA_RawPublic(ours.data(), long(ours.size()), k.pub.c_str(), 0), 0);
        EXPECT_EQ(ours, x);
    }
}

TEST(RsaKeyEngine, ImportedKeyWithPSmallerThanQ) {
    // Swap the primes (and the CRT exponents), recompute qInv for the new
    // order: the private result must not change.
    Components c = components(openssl_pkey());
    Components s = c;
    std::swap(s.p, s.q);
    std::swap(s.dP, s.dQ);
    BIGNUM* p = BN_bin2bn(s.p.data(), int(s.p.size()), nullptr);
    BIGNUM* q = BN_bin2bn(s.q.data(), int(s.q.size()), nullptr);
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM* inv = BN_mod_inverse(nullptr, q, p, ctx);
    s.qInv.assign(BN_num_bytes(inv), 0);
    BN_bn2bin(inv, s.qInv.data());
    ASSERT_LT(BN_cmp(p, q), 0);
    BN_free(p);
    BN_free(q);
    BN_free(inv);
    BN_CTX_free(ctx);
    std::string swapped = with_components(s);
    for (int i = 0; i < 8; ++i) {
        Bytes x = random_below_top(256);
        Bytes a = x, b = x;
        ASSERT_EQ(RSA_RawPrivate(a.data(), 256, openssl_key().priv.c_str(), 0), 0);
        ASSERT_EQ(RSA_RawPrivate(b.data(), 256, swapped.c_str(), 0), 0);
        EXPECT_EQ(a, b);
    }
    EXPECT_EQ(RSA_CheckKey(swapped.c_str(), 0), 0);
}

TEST(RsaKeyEngine, FaultyCrtValueIsCaughtNotReleased) {
    Components c = components(openssl_pkey());
    c.dP.back() ^= 0x02;
    std::string bad = with_components(c);
    Bytes x = random_below_top(256), y = x;
    EXPECT_EQ(RSA_RawPrivate(y.data(), 256, bad.c_str(), 0), TEST_FAILED_ERROR);
    EXPECT_EQ(y, x);  // the caller's data is untouched
    EXPECT_EQ(RSA_CheckKey(bad.c_str(), 0), -TEST_FAILED_ERROR);
}

TEST(RsaKeyEngine, KeyWithoutCrtValuesUsesD) {
    Components c = components(openssl_pkey());
    RsaKeyHolder key;
    rsaSetPrivateKey(key.get(), c.n.data(), c.n.size(), c.e.data(), c.e.size(), c.d.data(), c.d.size());
    std::string s(rsaPrivateKeyString(key.get(), 0).c_str());
    Bytes x = random_below_top(256), y = x;
    ASSERT_EQ(RSA_RawPrivate(y.data(), 256, s.c_str(), 0), 0);
    EXPECT_EQ(y, openssl_raw_private(openssl_pkey(), x));
}

TEST(RsaKeyEngine, RawArgumentAndRangeErrors) {
    const KeyStrings& k = openssl_key();
    Bytes x = random_below_top(256);
    Bytes shorter(x.begin(), x.end() - 1), keep = shorter;
    EXPECT_EQ(RSA_RawPrivate(shorter.data(), 255, k.priv.c_str(), 0), OUT_OF_RANGE_ERROR);
    EXPECT_EQ(shorter, keep);
    EXPECT_EQ(VELT_ErrorCode(), OUT_OF_RANGE_ERROR);
    Components c = components(openssl_pkey());
    Bytes n = c.n;
    EXPECT_EQ(RSA_RawPublic(n.data(), 256, k.pub.c_str(), 0), OUT_OF_RANGE_ERROR);
    EXPECT_EQ(RSA_RawPrivate(n.data(), 256, k.priv.c_str(), 0), OUT_OF_RANGE_ERROR);
    EXPECT_EQ(RSA_RawPublic(nullptr, 256, k.pub.c_str(), 0), BAD_PARAM_ERROR);
    EXPECT_EQ(RSA_RawPublic(x.data(), 256, "", 0), BAD_PARAM_ERROR);
    // A private operation needs a private key string.
    EXPECT_NE(RSA_RawPrivate(x.data(), 256, k.pub.c_str(), 0), 0);
}

TEST(RsaKeyEngine, Rsa2ModeTwelve) {
    const KeyStrings& k = openssl_key();
    Components c = components(openssl_pkey());
    int replaced = 0;
    for (int i = 0; i < 12; ++i) {
        Bytes m = random_below_top(256);
        m[1] = 0x6B;
        m.back() = uint8_t((m.back() & 0xF0) | 0x0C);
        Bytes s = m;
        ASSERT_EQ(RSA_RawPrivate(s.data(), 256, k.priv.c_str(), 12), 0);
        // s is the smaller of the two candidates: s <= n/2.
        BIGNUM* bs = BN_bin2bn(s.data(), 256, nullptr);
        BIGNUM* bn = BN_bin2bn(c.n.data(), int(c.n.size()), nullptr);
        BIGNUM* half = BN_new();
        BN_rshift1(half, bn);
        EXPECT_LE(BN_cmp(bs, half), 0);
        Bytes plain = s;
        ASSERT_EQ(RSA_RawPrivate(plain.data(), 256, k.priv.c_str(), 0), 0);
        if (plain != s) ++replaced;
        BN_free(bs);
        BN_free(bn);
        BN_free(half);
        Bytes v = s;
        ASSERT_EQ(RSA_RawPublic(v.data(), 256, k.pub.c_str(), 12), 0);
        EXPECT_EQ(v.back() & 0x0F, 0x0C);
        EXPECT_EQ(v, m);
    }
    // Last nibble 5 is not 0 mod 12.
    Bytes m = random_below_top(256);
    m.back() = 0x05;
    EXPECT_EQ(RSA_RawPrivate(m.data(), 256, k.priv.c_str(), 12), BAD_FORMAT_ERROR);
    // Above n/2 for the public direction.
    Bytes big = c.n;
    big.back() ^= 1;
    EXPECT_EQ(RSA_RawPublic(big.data(), 256, k.pub.c_str(), 12), OUT_OF_RANGE_ERROR);
}

TEST(RsaKeyEngine, CheckKeyRules) {
    EXPECT_EQ(RSA_CheckKey(our_key().priv.c_str(), 0), 0);
    EXPECT_EQ(RSA_CheckKey(our_key().pub.c_str(), 0), 1);
    EXPECT_LT(RSA_CheckKey("not a key", 0), 0);
    EXPECT_EQ(RSA_CheckKey("", 0), -BAD_PARAM_ERROR);
    Components c = components(openssl_pkey());
    struct Case {
        const char* what;
        Bytes n, e;
    } cases[] = {
        {"even n",
         [&] {
             Bytes n = c.n;
             n.back() &= 0xFE;
             return n;
         }(),
         c.e},
        {"e = 1", c.n, Bytes{0x01}},
        {"even e", c.n, Bytes{0x01, 0x00, 0x00}},
        {"e >= n", c.n,
         [&] {
             Bytes e = c.n;
             e.back() |= 1;
             return e;
         }()},
    };
    for (const Case& t : cases) {
        Components bad = c;
        bad.n = t.n;
        bad.e = t.e;
        EXPECT_LT(RSA_CheckKey(public_string(bad).c_str(), 0), 0) << t.what;
    }
}

TEST(RsaKeyEngine, KeyMatchHashCodeAndSizes) {
    const KeyStrings& a = our_key();
    const KeyStrings& b = openssl_key();
    EXPECT_EQ(RSA_KeyMatch(a.priv.c_str(), a.pub.c_str()), 0);
    EXPECT_EQ(RSA_KeyMatch(a.priv.c_str(), b.pub.c_str()), -NO_MATCH_ERROR);
    EXPECT_EQ(RSA_KeyBits(b.pub.c_str()), 2048);
    EXPECT_EQ(RSA_KeyBits(b.priv.c_str()), 2048);
    EXPECT_EQ(RSA_KeyBytes(a.pub.c_str()), 128);
    EXPECT_EQ(RSA_KeyBits(""), -BAD_PARAM_ERROR);

    // Hash code: first four octets of SHA-1 over the RSAPublicKey DER.
    RsaKey* key = private_record(a.priv);
    std::vector<uint8_t> der = rsaPublicKeyDer(key);
    rsaFree(&key);
    uint8_t dig[20];
    velt::hash::digest(velt::hash::kSha1, der.data(), der.size(), dig);
    long expect = long(int32_t((uint32_t(dig[0]) << 24) | (dig[1] << 16) | (dig[2] << 8) | dig[3]));
    EXPECT_EQ(RSA_KeyHashCode(a.priv.c_str()), expect);
    EXPECT_EQ(RSA_KeyHashCode(a.pub.c_str()), expect);
    EXPECT_EQ(RSA_KeyHashCode("garbage"), 0);
    EXPECT_EQ(VELT_ErrorCode(), INVALID_DATA_ERROR);

    long need = RSA_PublicKeyFromPrivate(nullptr, 0, a.priv.c_str(), 0);
    ASSERT_GT(need, 0);
    std::string pub(size_t(need) + 1, '\0');
    EXPECT_EQ(RSA_PublicKeyFromPrivate(pub.data(), need, a.priv.c_str(), 0), need);
    pub.resize(size_t(need));
    EXPECT_EQ(pub.substr(0, 4), "PUBR");
    EXPECT_EQ(RSA_KeyMatch(a.priv.c_str(), pub.c_str()), 0);
    EXPECT_EQ(RSA_PublicKeyFromPrivate(pub.data(), need - 1, a.priv.c_str(), 0), -SHORT_BUF_ERROR);
}

TEST(RsaKeyEngine, MakeKeysArgumentChecks) {
    std::string pub = testutil::temp_path("mk.pub"), pri = testutil::temp_path("mk.p8");
    EXPECT_EQ(RSA_MakeKeys(pub.c_str(), pri.c_str(), 96, 4, 8, 1000, "pw", nullptr, 0, 0),
              -OUT_OF_RANGE_ERROR);
    EXPECT_EQ(RSA_MakeKeys(pub.c_str(), pri.c_str(), 512, 4, 8, 1000, "", nullptr, 0, 0), -BAD_PARAM_ERROR);
    EXPECT_EQ(RSA_MakeKeysXtd(pub.c_str(), pri.c_str(), "pw", 512, 4, "bogus=1", 0), -BAD_PARAM_ERROR);
    EXPECT_EQ(RSA_MakeKeysXtd(pub.c_str(), pri.c_str(), "pw", 512, 4, "count=abc", 0), -INVALID_DATA_ERROR);
    EXPECT_EQ(RSA_MakeKeysXtd(pub.c_str(), pri.c_str(), "pw", 512, 4, "prf=hmacWithMD5", 0),
              -INVALID_DATA_ERROR);
}

TEST(RsaKeyEngine, PowerUpSelfTest) {
    EXPECT_EQ(rsaSelfTest(), 0);
    EXPECT_EQ(VELT_PowerUpTests(0), 0);
}

TEST(RsaKeyEngine, ComputeCrtEitherOrder) {
    Components c = components(openssl_pkey());
    velt::SecureBytes dP, dQ, qInv;
    ASSERT_EQ(
        rsaComputeCRT(dP, dQ, qInv, c.d.data(), c.d.size(), c.p.data(), c.p.size(), c.q.data(), c.q.size()),
        0);
    // The values are those of the larger prime first.
    Bytes a(dP.begin(), dP.end()), b(dQ.begin(), dQ.end());
    EXPECT_TRUE((a == c.dP && b == c.dQ) || (a == c.dQ && b == c.dP));
    velt::SecureBytes dP2, dQ2, qInv2;
    ASSERT_EQ(rsaComputeCRT(dP2, dQ2, qInv2, c.d.data(), c.d.size(), c.q.data(), c.q.size(), c.p.data(),
                            c.p.size()),
              0);
    EXPECT_EQ(dP, dP2);
    EXPECT_EQ(qInv, qInv2);
    uint8_t one = 1;
    EXPECT_EQ(rsaComputeCRT(dP, dQ, qInv, c.d.data(), c.d.size(), &one, 1, c.q.data(), c.q.size()), -1);
}

TEST(RsaKeyEngine, HostileKeyValuesFailCleanly) {
    // Imported values that are not a key: even or zero primes, zero
    // exponents. The operations must fail (or compute) without crashing and
    // never release an unchecked private result.
    Components c = components(openssl_pkey());
    struct Case {
        const char* what;
        Components k;
    };
    std::vector<Case> cases;
    Components a = c;
    a.p = Bytes{0x04};
    cases.push_back({"p = 4", a});
    Components b = c;
    b.q.back() &= 0xFE;
    cases.push_back({"even q", b});
    Components z = c;
    z.dQ = Bytes{0x00};
    cases.push_back({"dQ = 0", z});
    Components m = c;
    m.qInv = Bytes{0x00};
    cases.push_back({"qInv = 0", m});
    for (const Case& t : cases) {
        std::string s = private_string(t.k);
        Bytes x = random_below_top(256), y = x;
        EXPECT_NE(RSA_RawPrivate(y.data(), 256, s.c_str(), 0), 0) << t.what;
        EXPECT_EQ(y, x) << t.what;
    }
    Components e = c;
    e.n.back() &= 0xFE;
    Bytes x = random_below_top(256);
    RSA_RawPublic(x.data(), 256, public_string(e).c_str(), 0);  // computes something; must not crash
}

namespace {

Bytes bn_bytes(const BIGNUM* b) {
    Bytes out(size_t(BN_num_bytes(b)));
    BN_bn2bin(b, out.data());
    return out;
}

// Components of a key built from two fresh primes of the given sizes.
Components key_of_primes(int pbits, int qbits) {
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM *p = BN_new(), *q = BN_new(), *n = BN_new(), *e = BN_new(), *d = BN_new(), *t = BN_new(),
           *phi = BN_new(), *r = BN_new();
    BN_set_word(e, 65537);
    for (;;) {
        BN_generate_prime_ex(p, pbits, 0, nullptr, nullptr, nullptr);
        BN_generate_prime_ex(q, qbits, 0, nullptr, nullptr, nullptr);
        BN_sub(t, p, BN_value_one());
        BN_sub(r, q, BN_value_one());
        BN_mul(phi, t, r, ctx);
        if (BN_mod_inverse(d, e, phi, ctx)) break;
    }
    BN_mul(n, p, q, ctx);
    Components c;
    c.n = bn_bytes(n);
    c.e = bn_bytes(e);
    c.d = bn_bytes(d);
    c.p = bn_bytes(p);
    c.q = bn_bytes(q);
    BN_mod(r, d, t, ctx);
    c.dP = bn_bytes(r);
    BN_sub(t, q, BN_value_one());
    BN_mod(r, d, t, ctx);
    c.dQ = bn_bytes(r);
    BN_mod_inverse(r, q, p, ctx);
    c.qInv = bn_bytes(r);
    for (BIGNUM* b : {p, q, n, e, d, t, phi, r}) BN_free(b);
    BN_CTX_free(ctx);
    return c;
}

}  // namespace

TEST(RsaKeyEngine, RawOperationsAgreeOnEveryPathAndKeyShape) {
    // Equal and unequal prime sizes, sizes on and off the 64-bit limb and
    // 52-bit digit boundaries, on the accelerated and the portable paths,
    // through the key cache (the first call fills it) and without it.
    const std::pair<int, int> shapes[] = {{256, 256}, {520, 520},   {512, 500},
                                          {700, 324}, {1024, 1024}, {1536, 1536}};
    const uint32_t before = velt::cpu::enabled();
    for (auto [pb, qb] : shapes) {
        Components c = key_of_primes(pb, qb);
        std::string priv = private_string(c), pub = public_string(c);
        const size_t k = c.n.size();
        BN_CTX* ctx = BN_CTX_new();
        BIGNUM *n = BN_bin2bn(c.n.data(), int(k), nullptr),
               *d = BN_bin2bn(c.d.data(), int(c.d.size()), nullptr);
        BIGNUM *x = BN_new(), *y = BN_new();
        BN_rand_range(x, n);
        BN_mod_exp(y, x, d, n, ctx);
        Bytes in(k), want(k);
        BN_bn2binpad(x, in.data(), int(k));
        BN_bn2binpad(y, want.data(), int(k));
        for (uint32_t features : {before, 0u}) {
            SCOPED_TRACE(testing::Message() << pb << "/" << qb << " bits, features " << features);
            velt::cpu::restrict_features(features);
            Bytes out = in;
            ASSERT_EQ(RSA_RawPrivate(out.data(), long(k), priv.c_str(), 0), 0);
            EXPECT_EQ(out, want);
            ASSERT_EQ(RSA_RawPublic(out.data(), long(k), pub.c_str(), 0), 0);
            EXPECT_EQ(out, in);
            // The same on a key record, prepared for the one call.
            RsaKey* rec = private_record(priv);
            size_t len = 0;
            ASSERT_EQ(rsaPrivateRaw(rec, out.data(), &len, in.data(), k), 0);
            EXPECT_EQ(out, want);
            rsaFree(&rec);
        }
        velt::cpu::restrict_features(before);
        for (BIGNUM* b : {n, d, x, y}) BN_free(b);
        BN_CTX_free(ctx);
    }
}
