#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>
#include <unistd.h>

#include "frame/error.h"
#include "frame/frame.h"
#include "morvanevelt.h"

namespace {

TEST(ErrorRecord, KeepsFirstCodeAndIgnoresZero) {
    errclear();
    errset(0);
    EXPECT_EQ(errnum(), 0);
    EXPECT_EQ(errset(-17), -17);
    errset(-5);
    EXPECT_EQ(errnum(), 17);
    errclear();
    EXPECT_EQ(errnum(), 0);
    EXPECT_STREQ(errmsg(), "");
}

TEST(ErrorRecord, MessagesReplaceAppendAndCut) {
    errclear();
    eprintcatf("first %d", 1);
    eprintcatf("%s", "second");
    EXPECT_STREQ(errmsg(), "first 1; second");
    eprintf("%s", std::string(1000, 'x').c_str());
    EXPECT_EQ(strlen(errmsg()), 646u);
    eprintcatf("%s", std::string(10, 'y').c_str());
    EXPECT_EQ(strlen(errmsg()), 647u);
    // User text is an argument, never a format.
    eprintf("%s", "100%s done");
    EXPECT_STREQ(errmsg(), "100%s done");
    errclear();
}

TEST(ErrorLookup, TextLengthAndTruncation) {
    char buf[64];
    EXPECT_EQ(errlookup(nullptr, 0, -30), 50);
    EXPECT_EQ(errlookup(buf, 0, 28), 0);
    EXPECT_EQ(errlookup(buf, 7, 17), 7);
    EXPECT_STREQ(buf, "Invalid");
    EXPECT_EQ(VELT_ErrorLookup(buf, 63, 17), 31);
    EXPECT_STREQ(buf, "Invalid option (BAD_FLAG_ERROR)");
    // Every code of the table answers; codes outside it do not.
    for (long c : {0L, 1L, 27L, 29L, 43L, 201L, 205L, 210L, 214L, 299L, 9745L, 9999L})
        EXPECT_GT(errlookup(nullptr, 0, c), 0) << c;
    for (long c : {28L, 32L, 41L, 44L, 200L, 206L, 209L, 215L, 298L, 300L, 9998L})
        EXPECT_EQ(errlookup(nullptr, 0, c), 0) << c;
}

TEST(ErrorFormat, CompositeLine) {
    char buf[512];
    errclear();
    EXPECT_EQ(errFormatErrorMessage(buf, 100, 0, nullptr), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(errFormatErrorMessage(buf, 100, 17, nullptr), 43);
    EXPECT_STREQ(buf, "ERROR (17): Invalid option (BAD_FLAG_ERROR)");
    strcpy(buf, "untouched");
    EXPECT_EQ(errFormatErrorMessage(buf, 42, 17, nullptr), -30);
    EXPECT_STREQ(buf, "untouched");

    errset(36);
    eprintf("%s", "Invalid Private Key");
    errFormatErrorMessage(buf, 511, -36, nullptr);
    EXPECT_STREQ(buf, "ERROR (36): Invalid key (BAD_KEY_ERROR): Invalid Private Key");
    errFormatErrorMessage(buf, 511, 6, "Signing");
    EXPECT_STREQ(buf,
                 "ERROR: Signing (6): Parameter is wrong or missing (BAD_PARAM_ERROR): (36) Invalid key "
                 "(BAD_KEY_ERROR): Invalid Private Key");
    EXPECT_EQ(VELT_FormatErrorMessage(nullptr, 0, 6, "Signing"), long(strlen(buf)));
    errclear();
}

// A non-null buffer with a length below 1 asks for the length, as a null one
// does, and is left alone.
TEST(ErrorFormat, LengthQueryWithEmptyBuffer) {
    char buf[8] = "keep";
    errclear();
    for (long declared : {0L, -1L}) {
        EXPECT_EQ(VELT_FormatErrorMessage(buf, declared, 17, nullptr), 43) << declared;
        EXPECT_STREQ(buf, "keep");
    }
}

TEST(ErrorLog, AppendsEntryInItsFormat) {
    remove("velterr.log");
    event_log_error("Failed Known Answer Test for SHA-256", -1073733817);
    std::ifstream in("velterr.log");
    std::string time_line, entry;
    std::getline(in, time_line);
    std::getline(in, entry);
    EXPECT_EQ(time_line.size(), 24u);
    EXPECT_EQ(entry, "Velmora (-1073733817) Failed Known Answer Test for SHA-256");
    remove("velterr.log");
}

TEST(ErrorRecord, OldMessageIsWiped) {
    // The record may hold user text: nothing of a replaced or cleared message
    // stays behind the new terminator.
    errclear();
    eprintf("%s", "secret-user-text-0123456789");
    eprintf("%s", "short");
    const char* m = errmsg();
    for (size_t i = strlen(m); i < 648; ++i) ASSERT_EQ(m[i], 0) << i;
    eprintf("%s", "secret-user-text-0123456789");
    errclear();
    for (size_t i = 0; i < 648; ++i) ASSERT_EQ(m[i], 0) << i;
}

TEST(General, LastErrorTruncationRule) {
    errclear();
    eprintf("%s", "Invalid Private Key");
    char buf[32];
    EXPECT_EQ(VELT_LastError(nullptr, 0), 19);
    EXPECT_EQ(VELT_LastError(buf, 7), 7);
    EXPECT_STREQ(buf, "Invalid");
    EXPECT_EQ(VELT_LastError(buf, 31), 19);
    EXPECT_STREQ(buf, "Invalid Private Key");
    errclear();
}

TEST(ErrorLog, AppendsAndNeverFollowsASymlink) {
    remove("velterr.log");
    event_log_error("one", -1);
    event_log_error("two", -2);
    std::ifstream in("velterr.log");
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(in, line)) lines.push_back(line);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "Velmora (-1) one");
    EXPECT_EQ(lines[3], "Velmora (-2) two");
    remove("velterr.log");

    // A link planted under the log's name is not written through.
    std::ofstream("victim.txt") << "intact";
    ASSERT_EQ(symlink("victim.txt", "velterr.log"), 0);
    event_log_error("Failed Known Answer Test for SHA-1", -1073733818);
    std::ifstream v("victim.txt");
    std::string content((std::istreambuf_iterator<char>(v)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "intact");
    remove("velterr.log");
    remove("victim.txt");
}

TEST(Frame, RecordsNegativeResultsAndCatchesExceptions) {
    errset(9);
    EXPECT_EQ(frame::run(frame::kStandard, [] { return frame::Result(-30); }), -30);
    EXPECT_EQ(VELT_ErrorCode(), 30);
    EXPECT_EQ(frame::run(frame::kStandard, [] { return frame::reject(); }), -6);
    EXPECT_EQ(errnum(), 0);
    EXPECT_EQ(frame::run(frame::kStandard, [] { return frame::bad_param(); }), -6);
    EXPECT_EQ(errnum(), 6);
    EXPECT_EQ(frame::run(frame::kStandard, []() -> frame::Result { throw 1; }), -9745);
    EXPECT_EQ(errnum(), 9745);
    errset(3);
    EXPECT_EQ(frame::run(frame::kBare, [] { return frame::Result(-8); }), -8);
    EXPECT_EQ(errnum(), 9745);  // kBare neither clears nor records
    errclear();
}

}  // namespace
