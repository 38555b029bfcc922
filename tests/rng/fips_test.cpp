// RNG_Test: the FIPS 140-2 statistical tests and their report file.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "common/test_util.h"
#include "morvanevelt.h"
#include "rng/internal.h"

namespace {

std::vector<std::string> lines_of(const std::string& path) {
    std::ifstream f(path);
    std::vector<std::string> v;
    for (std::string s; std::getline(f, s);) v.push_back(s);
    return v;
}

// Truly random samples fail the FIPS 140-2 tests about once in 1,250 (the
// same rate as /dev/urandom's output), so a run passes when one of three
// fresh samples does: a broken generator fails all three.
long rng_test_passes(const char* report) {
    long r = 1;
    for (int i = 0; i < 3 && r == 1; ++i) r = RNG_Test(report, 0);
    return r;
}

TEST(Fips140, RngTestPassesWithReport) {
    EXPECT_EQ(rng_test_passes(nullptr), 0);
    std::string path = testutil::temp_path("fips.txt");
    ASSERT_EQ(rng_test_passes(path.c_str()), 0);
    std::vector<std::string> l = lines_of(path);
    ASSERT_EQ(l.size(), 120u);
    EXPECT_EQ(l[0].rfind("FIPS140-2 test for 20000 bits (2500 bytes) at ", 0), 0u) << l[0];
    EXPECT_EQ(l[1], "");  // the time text ends in its own newline
    EXPECT_EQ(l[2].rfind("1. Monobits test n1 = ", 0), 0u);
    EXPECT_NE(l[2].find(" (9725 - 10275)"), std::string::npos);
    EXPECT_EQ(l[3], "   Passed Monobits test.");
    EXPECT_EQ(l[4].rfind("2. Poker test X = ", 0), 0u);
    EXPECT_NE(l[4].find(" (2.16 - 46.17)"), std::string::npos);
    EXPECT_EQ(l[5], "   Passed Poker test.");
    EXPECT_EQ(l[6], "3. Runs test:");
    EXPECT_EQ(l[7], "     Run len:   1    2    3    4    5    6+");
    EXPECT_EQ(l[8].rfind("     Gaps:   ", 0), 0u);
    EXPECT_EQ(l[9].rfind("     Blocks: ", 0), 0u);
    EXPECT_EQ(l[10], "     Min:   (2315, 1114, 527, 240, 103, 103)");
    EXPECT_EQ(l[11], "     Avg:   (2500, 1250, 625, 312, 156, 156)");
    EXPECT_EQ(l[12], "     Max:   (2685, 1386, 723, 384, 209, 209)");
    EXPECT_EQ(l[13], "     Pass:      Y    Y    Y    Y    Y    Y");
    EXPECT_EQ(l[14], "   Passed Runs test.");
    EXPECT_EQ(l[15].rfind("4. Long runs test: Gmax = ", 0), 0u);
    EXPECT_NE(l[15].find(" (26)"), std::string::npos);
    EXPECT_EQ(l[16], "   Passed Long Run test.");
    EXPECT_EQ(l[17], "Passed FIPS140-2 test.");
    EXPECT_EQ(l[18], "Test sample was:-");
    for (size_t i = 19; i < 119; ++i) {
        ASSERT_EQ(l[i].size(), 50u) << i;
        EXPECT_EQ(l[i].find_first_not_of("0123456789ABCDEF"), std::string::npos) << l[i];
    }
    EXPECT_EQ(l[119], std::string(50, '*'));
}

TEST(Fips140, BadSamplesFail) {
    std::string path = testutil::temp_path("bad.txt");
    // All zeros: every test fails.
    std::vector<uint8_t> zeros(2500, 0);
    FILE* fp = fopen(path.c_str(), "w");
    ASSERT_TRUE(fp);
    EXPECT_FALSE(velt::rng::fips140_test(zeros.data(), zeros.size(), fp));
    fclose(fp);
    std::vector<std::string> l = lines_of(path);
    ASSERT_GE(l.size(), 19u);
    EXPECT_EQ(l[2], "1. Monobits test n1 = 0 (9725 - 10275)");
    EXPECT_EQ(l[3], "   FAILED! Monobits test.");
    EXPECT_EQ(l[4], "2. Poker test X = 75000.00 (2.16 - 46.17)");
    EXPECT_EQ(l[15], "4. Long runs test: Gmax = 20000 Bmax = 0 (26)");
    EXPECT_EQ(l[17], "FAILED! FIPS140-2 test.");

    // Alternating bits pass the monobit test but fail the runs tests.
    std::vector<uint8_t> alt(2500, 0x55);
    EXPECT_FALSE(velt::rng::fips140_test(alt.data(), alt.size(), nullptr));
    // A wrong sample size is warned about.
    std::vector<uint8_t> small(100, 0x5A);
    fp = fopen(path.c_str(), "w");
    velt::rng::fips140_test(small.data(), small.size(), fp);
    fclose(fp);
    l = lines_of(path);
    ASSERT_GE(l.size(), 4u);
    EXPECT_EQ(l[2], "** WARNING: FIPS140 test expects 20000 bits!");
}

TEST(Fips140, ReportFileErrors) {
    std::string path = testutil::temp_path("missing-dir") + "/report.txt";
    EXPECT_EQ(RNG_Test(path.c_str(), 0), -202);
    EXPECT_EQ(VELT_ErrorCode(), 202);
}

}  // namespace
