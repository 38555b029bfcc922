// WIPE_File, WIPE_Data and the password prompt.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "common/test_util.h"
#include "frame/pwd.h"
#include "morvanevelt.h"

namespace {

TEST(Wipe, DataAndFileCodesArePositiveAndRecorded) {
    unsigned char secret[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(WIPE_Data(secret, 5), 0);
    EXPECT_EQ(testutil::to_hex(secret, 5), "0000000000");
    EXPECT_EQ(WIPE_Data(secret, 0), 6);
    EXPECT_EQ(VELT_ErrorCode(), 6);
    EXPECT_EQ(WIPE_Data(nullptr, 5), 6);

    EXPECT_EQ(WIPE_File(nullptr, 0), 14);
    EXPECT_EQ(VELT_ErrorCode(), 14);
    EXPECT_EQ(WIPE_File(testutil::temp_path("none.bin").c_str(), 0), 1);
    EXPECT_EQ(VELT_ErrorCode(), 1);
    for (long opt : {0L, long(VELT_WIPEFILE_FAST)}) {
        std::string p = testutil::temp_path("w.bin");
        testutil::write_file(p, std::string(10000, 'k'));
        EXPECT_EQ(WIPE_File(p.c_str(), opt), 0);
        EXPECT_EQ(VELT_ErrorCode(), 0);
        EXPECT_EQ(access(p.c_str(), F_OK), -1);
    }
}

// Runs pwd_GetPassword with standard input and output redirected to files.
struct Redirected {
    long result;
    std::string password;
    std::string shown;
    std::string rest;  // what the application reads from standard input next
};

Redirected prompt_with_input(const std::string& input, long size, const char* prompt, const char* caption) {
    std::string in = testutil::temp_path("pwd.in"), out = testutil::temp_path("pwd.out");
    testutil::write_file(in, input);
    fflush(stdout);
    int saved_in = dup(0), saved_out = dup(1);
    int fi = open(in.c_str(), O_RDONLY), fo = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fi, 0);
    dup2(fo, 1);
    close(fi);
    close(fo);
    clearerr(stdin);
    char buf[64];
    memset(buf, 'Z', sizeof buf);
    Redirected r;
    r.result = size > 0 && size <= long(sizeof buf) ? pwd_GetPassword(buf, size, prompt, caption)
                                                    : pwd_GetPassword(nullptr, size, prompt, caption);
    fflush(stdout);
    char line[256];
    while (fgets(line, sizeof line, stdin)) r.rest += line;
    dup2(saved_in, 0);
    dup2(saved_out, 1);
    close(saved_in);
    close(saved_out);
    // Drop whatever stdio buffered from the file.
    fseek(stdin, 0, SEEK_END);
    clearerr(stdin);
    if (size > 0 && size <= long(sizeof buf)) r.password = buf;
    auto shown = testutil::read_file(out);
    r.shown.assign(shown.begin(), shown.end());
    return r;
}

std::string last_error() {
    char buf[700] = {};
    VELT_LastError(buf, 650);
    return buf;
}

// The buffer size counts the NUL: size - 1 characters are kept, the rest of
// the line is read and dropped (the next line is the application's), and a
// dropped rest is reported in the detail message.
TEST(Password, ReadsOneLine) {
    struct {
        std::string input;
        long size;
        long want;
        std::string password;
        std::string rest;
        bool truncated;
    } cases[] = {
        {"secret\nrest", 64, 6, "secret", "rest", false},
        {"secret\r\n", 64, 6, "secret", "\n", false},
        {"ab\bc\n", 64, 2, "ac", "", false},
        {"\b\bx\n", 64, 1, "x", "", false},
        {"longpassword\nnext line\n", 5, 4, "long", "next line\n", true},
        {"12345678\n", 9, 8, "12345678", "", false},  // exactly fits
        {"123456789\n", 9, 8, "12345678", "", true},
        {"abcdefgh\b\b\b\bij\nz", 5, 4, "abcd", "z", true},  // backspace takes dropped characters first
        {"abcdef\b\b\b\bxy\n", 5, 4, "abxy", "", false},     // back within the buffer: nothing lost
        {"no newline", 64, 10, "no newline", "", false},     // end of input ends the text
        {"", 64, 0, "", "", false},
        {"x\nmore", 1, 0, "", "more", true},
        {"\nmore", 1, 0, "", "more", false},
    };
    for (const auto& c : cases) {
        VELT_Version(nullptr, nullptr);  // clears the record
        Redirected r = prompt_with_input(c.input, c.size, nullptr, "");
        EXPECT_EQ(r.result, c.want) << c.input;
        EXPECT_EQ(r.password, c.password) << c.input;
        EXPECT_EQ(r.shown, "Enter password: \n");
        EXPECT_EQ(r.rest, c.rest) << c.input;
        std::string m = last_error();
        EXPECT_EQ(m.find("Password truncated") != std::string::npos, c.truncated) << c.input << ": " << m;
        EXPECT_EQ(VELT_ErrorCode(), 0);  // the result stays the count of characters stored
    }
}

TEST(Password, CaptionPromptAndBadBuffer) {
    Redirected r = prompt_with_input("pw\n", 64, "Key: ", "Unlock");
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(r.shown, "Unlock\nKey: \n");
    // A null buffer or a size below 1 writes nothing, prompts nothing, returns 0.
    for (long size : {0L, -5L, 100L}) {
        Redirected z = prompt_with_input("pw\n", size, nullptr, nullptr);
        EXPECT_EQ(z.result, 0) << size;
        EXPECT_EQ(z.shown, "") << size;
    }
}

// On a terminal the password is not echoed, and echo is back on afterwards.
TEST(Password, TerminalEchoOffWhileTyping) {
    int master, slave;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) GTEST_SKIP() << "no pseudo-terminal";
    struct termios t;
    ASSERT_EQ(tcgetattr(slave, &t), 0);
    ASSERT_TRUE(t.c_lflag & ECHO);

    fflush(stdout);
    int saved_in = dup(0), saved_out = dup(1);
    std::string out = testutil::temp_path("pty.out");
    int fo = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(slave, 0);
    dup2(fo, 1);
    close(fo);
    clearerr(stdin);

    char buf[32] = {};
    long result = -1;
    std::thread reader([&] { result = PWD_Prompt(buf, 8, ""); });
    // Type only once echo is off.
    bool off = false;
    for (int i = 0; i < 500 && !off; ++i) {
        struct termios now;
        if (tcgetattr(slave, &now) == 0 && !(now.c_lflag & ECHO))
            off = true;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(off);
    // A password longer than the buffer: the rest of its line must not reach
    // the application's next read of the terminal.
    ASSERT_EQ(write(master, "hunter2-and-much-more\n", 22), 22);
    reader.join();
    ASSERT_EQ(write(master, "next\n", 5), 5);
    char line[64] = {};
    if (!fgets(line, sizeof line, stdin)) line[0] = '\0';

    fflush(stdout);
    dup2(saved_in, 0);
    dup2(saved_out, 1);
    close(saved_in);
    close(saved_out);
    clearerr(stdin);

    EXPECT_EQ(result, 7);
    EXPECT_STREQ(buf, "hunter2");
    EXPECT_STREQ(line, "next\n");
    ASSERT_EQ(tcgetattr(slave, &t), 0);
    EXPECT_TRUE(t.c_lflag & ECHO);
    // Nothing of the password came back on the terminal.
    std::string echoed;
    struct pollfd pfd = {master, POLLIN, 0};
    char tmp[64];
    while (poll(&pfd, 1, 50) > 0) {
        ssize_t n = read(master, tmp, sizeof tmp);
        if (n <= 0) break;
        echoed.append(tmp, size_t(n));
    }
    EXPECT_EQ(echoed.find("hunter2"), std::string::npos) << echoed;
    EXPECT_EQ(echoed.find("much-more"), std::string::npos) << echoed;
    close(master);
    close(slave);
}

}  // namespace
