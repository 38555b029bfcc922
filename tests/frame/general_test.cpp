#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <string>

#include "morvanevelt.h"

namespace {

TEST(General, VersionAndNames) {
    int dummy;
    EXPECT_EQ(VELT_Version(nullptr, nullptr), 230100);
    EXPECT_EQ(VELT_Version(&dummy, &dummy), 230100);

    char buf[64];
    EXPECT_EQ(VELT_ModuleName(buf, 63, 0), 7);
    EXPECT_STREQ(buf, "Velmora");
    EXPECT_EQ(VELT_ModuleName(buf, 63, 64), 5);
    EXPECT_STREQ(buf, "Linux");
    EXPECT_EQ(VELT_ModuleName(buf, 63, 1), -17);
    EXPECT_EQ(VELT_ErrorCode(), 0);  // not recorded

    strcpy(buf, "xyz");
    EXPECT_EQ(VELT_Platform(buf, 0), 5);
    EXPECT_STREQ(buf, "xyz");
    EXPECT_EQ(VELT_Platform(buf, 3), 3);
    EXPECT_STREQ(buf, "Lin");
}

TEST(General, CompileTimeForm) {
    char buf[32];
    EXPECT_EQ(VELT_CompileTime(nullptr, 0), 20);
    EXPECT_EQ(VELT_CompileTime(buf, 31), 20);
    // "Mmm dd yyyy hh:mm:ss": check the shape character by character.
    const std::string shape = "Aaa _9 9999 99:99:99";
    for (size_t i = 0; i < shape.size(); ++i) {
        char c = buf[i];
        switch (shape[i]) {
            case 'A': EXPECT_TRUE(isupper(c)) << buf; break;
            case 'a': EXPECT_TRUE(islower(c)) << buf; break;
            case '9': EXPECT_TRUE(isdigit(c)) << buf; break;
            case '_': EXPECT_TRUE(c == ' ' || isdigit(c)) << buf; break;
            default: EXPECT_EQ(c, shape[i]) << buf;
        }
    }
    char cut[8];
    EXPECT_EQ(VELT_CompileTime(cut, 5), 5);
    EXPECT_EQ(std::string(cut), std::string(buf, 5));
}

TEST(General, PowerUpTestsPassAndLogNothing) {
    remove("velterr.log");
    EXPECT_EQ(VELT_PowerUpTests(0), 0);
    std::ifstream in("velterr.log");
    EXPECT_FALSE(in.good());
}

}  // namespace
