// HMAC_DRBG (HMAC-SHA-512) through RNG_TestDRBGVS: published NIST CAVP known
// answers, an independent Python implementation on random inputs, and the
// health checks.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_util.h"
#include "morvanevelt.h"
#include "rng/rng.h"

namespace {

struct Vector {
    long bits;
    const char *entropy, *nonce, *pers, *add1, *reseed, *reseed_add, *add2, *expected;
};

// NIST CAVP HMAC_DRBG.rsp, [SHA-512], no reseed: COUNT 0 of the blocks without
// optional inputs, with a personalisation string, and with additional input.
const Vector kCavp[] = {
    {2048, "35049f389a33c0ecb1293238fd951f8ffd517dfde06041d32945b3e26914ba15", "f7328760be6168e6aa9fb54784989a11",
     "", "", "", "", "",
     "e76491b0260aacfded01ad39fbf1a66a88284caa5123368a2ad9330ee48335e3c9c9ba90e6cbc9429962d60c1a6661edcfaa31d972b8264b"
     "9d4562cf18494128a092c17a8da6f3113e8a7edfcd4427082bd390675e9662408144971717303d8dc352c9e8b95e7f35fa2ac9f549b292bc"
     "7c4bc7f01ee0a577859ef6e82d79ef23892d167c140d22aac32b64ccdfeee2730528a38763b24227f91ac3ffe47fb11538e435307e774818"
     "02b0f613f370ffb0dbeab774fe1efbb1a80d01154a9459e73ad361108bbc86b0914f095136cbe634555ce0bb263618dc5c367291ce082551"
     "8987154fe9ecb052b3f0a256fcc30cc14572531c9628973639beda456f2bddf6"},
    {2048, "73529bba71a3d4b4fcf9a7edeed269dbdc3748b90df68c0d00e245de54698c77", "22e2d6e24501212b6f058e7c54138007",
     "e2cc19e31595d0e4de9e8bd3b236dec2d4b032c3dd5bf9891c284cd1bac67bdb", "", "", "", "",
     "1a73d58b7342c3c933e3ba15eedd8270988691c3794b45aa358570391571881c0d9c4289e5b198db5534c3cb8466ab48250fa67f24cb19b7"
     "038e46af56687bab7e5de3c82fa7312f54dc0f1dc93f5b03fcaa6003cae28d3d4707368c144a7aa46091822da292f97f32caf90ae3dd3e48"
     "e808ae12e633aa0410106e1ab56bc0a0d80f438e9b3492e4a3bc88d73a3904f7dd060c48ae8d7b12bf89a19551b53b3f55a511d2820e9416"
     "40c845a8a0466432c5850c5b61bec5272602521125addf677e949b96782bc01a904491df08089bed004ad56e12f8ea1a200883ad72b3b9fa"
     "e12b4eb65d5c2bacb3ce46c7c48464c9c29142fb35e7bc267ce852296ac042f9"},
    {2048, "a3da06bc88e2f2ea5181292c194a10b3db38a11d02ac2f9c65951d0c71f63e36", "c74e5e3d7ba0193bcd6839e9ae93d70d", "",
     "dbb7270760d8d262557807ce746ff314fd06598143611ab69bfc7e10ca5784b3", "", "",
     "8cdea882f894e5fdc5f0a0b16b7d9ac8cde35ed17bcaf2665564d4ee74059e29",
     "cb706b90e88380e5c1864458454027821b571dfeba0da83f712efb107b8752099514ef87b4488fbfa3508a00954bb03090766d2bbd399e71"
     "c86c7967a4e8ded57095a29d4cfa01f8d28c97e81a4cd4fc5be7fb32a0d6c230cb8760e656b74fa7e18e2063ebee5787958b272fc5de93f0"
     "d6837e55f0c360dc593c88fff30a428cae37ded52f825646e04133a19790c304e4b1f040e10439c5edf454e6f71b23eeb43cdbe7b0634b8e"
     "283a97806073f7f28a43de2d0d969b3eda380c185b785b9101dc905025c9cdb499e594de0f0d3eb41922c20994fe2c403dd5bf01e4b2c3ee"
     "6654d6ab9cca7d4d5ae59525a796119547eae6a3cbf8ad0e9b1de3c4d5a804e4"},
};

std::string run_vs(const Vector& v, long options, long declared = -1) {
    std::string out(size_t(2 * ((v.bits + 7) / 8) + 1), '\0');
    if (declared < 0) declared = long(out.size() - 1);
    long r = RNG_TestDRBGVS(out.data(), declared, v.bits, v.entropy, v.nonce, v.pers, v.add1, v.reseed, v.reseed_add,
                            v.add2, options);
    EXPECT_GE(r, 0);
    out.resize(r < 0 ? 0 : size_t(r));
    return out;
}

TEST(Drbg, CavpKnownAnswers) {
    for (const Vector& v : kCavp) {
        EXPECT_EQ(run_vs(v, 0), v.expected);
        // With no reseed inputs the reseed-after option changes nothing.
        EXPECT_EQ(run_vs(v, 0x10000), v.expected);
    }
}

TEST(Drbg, TestDRBGVSArguments) {
    const Vector& v = kCavp[0];
    EXPECT_EQ(RNG_TestDRBGVS(nullptr, 0, 0, v.entropy, v.nonce, "", "", "", "", "", 0), -6);
    EXPECT_EQ(RNG_TestDRBGVS(nullptr, 0, 2048, v.entropy, v.nonce, "", "", "", "", "", 0), 512);
    EXPECT_EQ(RNG_TestDRBGVS(nullptr, 0, 9, v.entropy, v.nonce, nullptr, nullptr, nullptr, nullptr, nullptr, 0), 4);
    // Cut to whole bytes of the declared length: the output's first 7 bytes.
    std::string shorter = run_vs(v, 0, 15);
    EXPECT_EQ(shorter, std::string(v.expected).substr(0, 14));
}

std::string hex_random(std::mt19937& g, size_t n) {
    static const char* d = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < 2 * n; ++i) s += d[g() & 15];
    return s;
}

// An independent HMAC_DRBG in Python (hmac/hashlib) on random inputs of
// varied lengths (additional input beyond 64 bytes is cut in generate but
// not in reseed), with the reseed before and after the first generate.
TEST(Drbg, MatchesIndependentImplementation) {
    std::mt19937 g(20261210);
    const std::string script = std::string(VELT_SOURCE_DIR) + "/tests/rng/hmac_drbg.py";
    const size_t lens[][7] = {{32, 16, 0, 0, 32, 0, 0},     {32, 16, 32, 32, 32, 32, 32}, {48, 8, 100, 80, 0, 7, 65},
                              {64, 32, 5, 1, 40, 200, 64},  {20, 0, 0, 63, 0, 0, 130},    {55, 16, 1, 0, 24, 0, 0}};
    const long bits[] = {512, 1024, 2048, 1, 777, 4096};
    struct Case {
        long bits, options;
        std::string in[7];
    };
    std::vector<Case> cases;
    std::string batch;
    for (size_t n = 0; n < 6; ++n) {
        for (long opt : {0L, 0x10000L}) {
            Case c{bits[n], opt, {}};
            batch += std::to_string(c.bits);
            for (int i = 0; i < 7; ++i) {
                c.in[i] = hex_random(g, lens[n][i]);
                batch += " " + (c.in[i].empty() ? std::string("-") : c.in[i]);
            }
            batch += opt ? " after\n" : "\n";
            cases.push_back(c);
        }
    }
    std::string file = testutil::temp_path("drbg-cases.txt");
    testutil::write_file(file, batch);
    int status = 0;
    std::string out = testutil::run_command("python3 " + script + " --batch " + file, &status);
    ASSERT_EQ(status, 0);
    std::istringstream lines(out);
    for (const Case& c : cases) {
        std::string want;
        ASSERT_TRUE(std::getline(lines, want));
        Vector v{c.bits,         c.in[0].c_str(), c.in[1].c_str(), c.in[2].c_str(), c.in[3].c_str(),
                 c.in[4].c_str(), c.in[5].c_str(), c.in[6].c_str(), nullptr};
        EXPECT_EQ(run_vs(v, c.options), want) << "bits " << c.bits << " option " << c.options;
    }
}

TEST(Drbg, HealthChecksPass) {
    for (int level : {0, 1, 2}) EXPECT_EQ(prngHealthCheck(level), 0) << "level " << level;
    EXPECT_EQ(VELT_PowerUpTests(0), 0);
}

}  // namespace
