#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/test_util.h"
#include "util/inp.h"

namespace {

const unsigned char kData[] = {0x30, 0x03, 0x02, 0x01, 0x7F, 0xFF, 0x00, 0x80};
constexpr long kLen = long(sizeof kData);

// One script of operations, run over a memory stream and a file stream of the
// same bytes: both must give the same trace, since the parser relies on it.
std::vector<long> run_script(InpStream& s) {
    std::vector<long> t;
    unsigned char buf[16];
    t.push_back(s.getc());              // 0x30
    t.push_back(s.tell());              // 1
    t.push_back(long(s.read(buf, 3)));  // 3
    t.push_back(buf[0] | buf[1] << 8 | buf[2] << 16);
    t.push_back(s.seekcur(-2));
    t.push_back(s.getc());  // 0x02
    t.push_back(s.seekset(5));
    t.push_back(s.getc());                       // 0xFF
    t.push_back(long(s.read(buf, sizeof buf)));  // short read: 2
    t.push_back(s.getc());                       // end: -1
    t.push_back(s.eof());
    s.rewind();
    t.push_back(s.tell());
    t.push_back(s.getc());
    return t;
}

TEST(InpStream, MemoryAndFileReadAlike) {
    InpStream mem;
    ASSERT_EQ(mem.init(nullptr, kData, sizeof kData), 0);
    std::vector<long> m = run_script(mem);
    EXPECT_EQ(m, (std::vector<long>{0x30, 1, 3, 0x010203, 0, 0x02, 0, 0xFF, 2, -1, 1, 0, 0x30}));

    FILE* fp = tmpfile();
    ASSERT_NE(fp, nullptr);
    fwrite(kData, 1, sizeof kData, fp);
    rewind(fp);
    InpStream file;
    ASSERT_EQ(file.init(fp, nullptr, 0), 0);
    EXPECT_EQ(file.stream(), fp);
    EXPECT_EQ(run_script(file), m);
    fclose(fp);
}

TEST(InpStream, MemorySeeksClampToTheBlock) {
    InpStream s;
    ASSERT_EQ(s.init(nullptr, kData, sizeof kData), 0);
    EXPECT_EQ(s.stream(), nullptr);
    EXPECT_EQ(s.seekset(kLen + 100), 0);
    EXPECT_EQ(s.tell(), kLen);
    EXPECT_EQ(s.getc(), -1);
    EXPECT_TRUE(s.eof());
    EXPECT_EQ(s.seekcur(-3), 0);
    EXPECT_EQ(s.tell(), kLen - 3);
    EXPECT_EQ(s.seekcur(-1000), 0);
    EXPECT_EQ(s.tell(), 0);
    EXPECT_EQ(s.seekcur(LONG_MIN), 0);
    EXPECT_EQ(s.tell(), 0);
    EXPECT_EQ(s.seekcur(LONG_MAX), 0);
    EXPECT_EQ(s.tell(), kLen);
    EXPECT_EQ(s.seekset(-5), 0);
    EXPECT_EQ(s.tell(), 0);
}

TEST(InpStream, InitNeedsFileOrMemory) {
    InpStream s;
    EXPECT_EQ(s.init(nullptr, nullptr, 4), -1);
    EXPECT_EQ(s.init(nullptr, kData, 0), -1);
    // A stream with neither answers -1 and reads nothing.
    EXPECT_EQ(s.tell(), -1);
    EXPECT_EQ(s.seekset(0), -1);
    EXPECT_EQ(s.seekcur(1), -1);
    EXPECT_EQ(s.getc(), -1);
    unsigned char b;
    EXPECT_EQ(s.read(&b, 1), 0u);
}

TEST(InpStream, CFormNewInitFree) {
    InpStream* s = INP_new();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(INP_init(s, nullptr, kData, sizeof kData), 0);
    EXPECT_EQ(INP_getc(s), 0x30);
    EXPECT_EQ(INP_seekcur(s, 2), 0);
    EXPECT_EQ(INP_tell(s), 3);
    INP_free(&s);
    EXPECT_EQ(s, nullptr);
    INP_free(&s);  // freeing null is harmless
}

}  // namespace
