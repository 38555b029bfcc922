// Primality: the small-prime table, Rabin-Miller on composites that fool
// fixed bases, the Wycheproof primality vectors, random fills and prime
// generation checked by OpenSSL.
#include <openssl/bn.h>

#include <cstring>

#include "common/test_util.h"
#include "oracle.h"
#include "rng/rng.h"

using namespace bdtest;

namespace {

Bd from_dec(const char* s) {
    Bd b = make();
    bdConvFromDecimal(b.get(), s);
    return b;
}

TEST(BigdPrimes, SmallValuesAndTable) {
    struct Case {
        const char* n;
        int prime;
    };
    const Case cases[] = {{"0", 0}, {"1", 0}, {"2", 1}, {"3", 1}, {"4", 0}, {"9", 0}, {"997", 1}, {"999", 0},
                          {"1009", 1}, {"1011", 0}, {"994009", 0} /* 997^2 */, {"2147483647", 1}};
    for (const Case& c : cases) {
        Bd b = from_dec(c.n);
        EXPECT_EQ(bdIsPrime(b.get(), 20), c.prime) << c.n;
    }
    ASSERT_EQ(kNumSmallPrimes, 167u);
    EXPECT_EQ(kSmallPrimes[0], 3u);
    EXPECT_EQ(kSmallPrimes[166], 997u);
    // Rabin-Miller alone on the smallest values.
    for (unsigned v : {0u, 1u, 4u, 100u}) {
        Bd b = make();
        bdSetShort(b.get(), v);
        EXPECT_EQ(bdRabinMiller(b.get(), 10), 0) << v;
    }
    for (unsigned v : {2u, 3u, 5u, 7u, 997u}) {
        Bd b = make();
        bdSetShort(b.get(), v);
        EXPECT_EQ(bdRabinMiller(b.get(), 10), 1) << v;
    }
}

TEST(BigdPrimes, RabinMillerRejectsPseudoprimes) {
    // Carmichael numbers and strong pseudoprimes to the first prime bases
    // (3215031751 passes bases 2, 3, 5 and 7; the 397-digit-class values
    // below fool many fixed bases), which random bases in [2, w-2] catch.
    const char* composites[] = {
        "561", "41041", "2047", "1373653", "25326001", "3215031751", "2152302898747", "3474749660383",
        "341550071728321", "3825123056546413051",
        "318665857834031151167461",  // strong pseudoprime to the first 12 prime bases
        "3317044064679887385961981",
    };
    for (const char* c : composites) {
        Bd b = from_dec(c);
        EXPECT_EQ(bdRabinMiller(b.get(), 40), 0) << c;
        EXPECT_EQ(bdIsPrime(b.get(), 40), 0) << c;
    }
    // Products of two large primes agreed by OpenSSL.
    Ctx ctx(BN_CTX_new());
    Bn p = bn(), q = bn(), n = bn();
    BN_generate_prime_ex(p.get(), 256, 0, nullptr, nullptr, nullptr);
    BN_generate_prime_ex(q.get(), 256, 0, nullptr, nullptr, nullptr);
    BN_mul(n.get(), p.get(), q.get(), ctx.get());
    Bd bp = from_bn(p.get()), bnn = from_bn(n.get());
    EXPECT_EQ(bdIsPrime(bp.get(), 30), 1);
    EXPECT_EQ(bdIsPrime(bnn.get(), 30), 0);
}

TEST(BigdPrimes, Wycheproof) {
    VELT_LOAD_WYCHEPROOF(j, "primality_test.json");
    int tested = 0;
    for (const auto& group : j["testGroups"]) {
        for (const auto& t : group["tests"]) {
            std::string hex = t["value"];
            std::string result = t["result"];
            testutil::Bytes bytes = testutil::from_hex(hex);
            bool negative = !bytes.empty() && (bytes[0] & 0x80);
            if (negative) {
                // Two's-complement negative values are never prime.
                EXPECT_NE(result, "valid") << "tcId " << t["tcId"];
                continue;
            }
            Bd b = make();
            bdConvFromOctets(b.get(), bytes.data(), bytes.size());
            int want = result == "valid" ? 1 : 0;
            // A prime passes any number of rounds; composites get many.
            EXPECT_EQ(bdIsPrime(b.get(), want ? 2 : 32), want) << "tcId " << t["tcId"] << " " << t["comment"];
            ++tested;
        }
    }
    EXPECT_GT(tested, 250);
}

struct FillLog {
    std::vector<unsigned char> seed;
    long calls = 0;
};
FillLog g_log;

long logging_fill(unsigned char* out, long n, const unsigned char* seed, long seedlen) {
    g_log.calls++;
    g_log.seed.assign(seed, seed + seedlen);
    return rngFunc(out, n, seed, seedlen);
}

long failing_fill(unsigned char* out, long n, const unsigned char*, long) {
    std::memset(out, 0xAB, size_t(n));
    return -11;
}

TEST(BigdPrimes, RandomFillsAndGeneration) {
    Bd b = make();
    const unsigned char seed[] = {1, 2, 3};
    g_log = {};
    for (size_t bits : {1u, 31u, 32u, 33u, 1000u}) {
        ASSERT_EQ(bdRandomSeeded(b.get(), bits, seed, sizeof seed, logging_fill), 0);
        EXPECT_LE(bdBitLength(b.get()), bits);
        EXPECT_EQ(b->ndigits, (bits + 31) / 32);
    }
    EXPECT_EQ(g_log.calls, 5);
    EXPECT_EQ(g_log.seed, std::vector<unsigned char>(seed, seed + 3));

    // A failing generator is reported and never leaves its bytes behind.
    EXPECT_NE(bdRandomSeeded(b.get(), 256, nullptr, 0, failing_fill), 0);
    EXPECT_TRUE(bdIsZero(b.get()));
    EXPECT_EQ(bdGeneratePrime(b.get(), 256, 10, nullptr, 0, failing_fill), 1);

    Ctx ctx(BN_CTX_new());
    for (size_t bits : {2u, 5u, 10u, 11u, 64u, 512u, 1024u}) {
        ASSERT_EQ(bdGeneratePrime(b.get(), bits, 20, seed, sizeof seed, rngFunc), 0) << bits;
        EXPECT_EQ(bdBitLength(b.get()), bits);
        Bn p = to_bn(b.get());
        EXPECT_EQ(BN_check_prime(p.get(), ctx.get(), nullptr), 1) << bits << " " << hex_of(b.get());
    }

    for (size_t bits : {1u, 32u, 100u}) {
        EXPECT_EQ(bdQuickRandBits(b.get(), bits), (bits + 31) / 32);
        EXPECT_LE(bdBitLength(b.get()), bits);
    }
    for (int i = 0; i < 50; ++i) {
        size_t n = bdSetRandTest(b.get(), 8);
        EXPECT_GE(n, 1u);
        EXPECT_LE(n, 8u);
    }
}

}  // namespace
