// Keystroke entropy through a pseudo-terminal: the prompt, the progress bar
// sized from the window width, the final line and the raw-mode reads.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "morvanevelt.h"

namespace {

// Reads from fd until `needle` has appeared or the deadline passes.
bool read_until(int fd, std::string& seen, const std::string& needle, int timeout_ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (seen.find(needle) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        struct pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, int(left.count())) <= 0) continue;
        char buf[512];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) return false;
        seen.append(buf, size_t(n));
    }
    return true;
}

TEST(KeystrokePrompt, TerminalProgressAndFinalLine) {
    struct winsize ws{};
    ws.ws_col = 40;  // bar width 33
    ws.ws_row = 24;
    int master = -1;
    fflush(nullptr);
    pid_t pid = forkpty(&master, nullptr, nullptr, &ws);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        unsigned char out[32];
        long r = RNG_BytesWithPrompt(out, 32, nullptr, 1);  // 128 bits: 171 differing keys
        _exit(r == 0 ? 0 : 1);
    }
    std::string seen;
    bool prompted = read_until(master, seen, "Please hit random keys until you reach 100%:", 20000);
    EXPECT_TRUE(prompted) << seen;
    if (prompted) {
        read_until(master, seen, "] 0%", 5000);
        std::string keys;
        for (int i = 0; i < 200; ++i) keys += char('a' + i % 2);
        ASSERT_EQ(write(master, keys.data(), keys.size()), ssize_t(keys.size()));
    }
    std::string final_line = "\r[" + std::string(33, '=') + "] 100%\r\n";
    EXPECT_TRUE(read_until(master, seen, final_line, 20000)) << seen.substr(seen.size() > 300 ? seen.size() - 300 : 0);
    // Progress lines: the bar partly drawn, with the marker after it.
    EXPECT_NE(seen.find("\r[================>                ] 50%"), std::string::npos);
    int status = 0;
    for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i) {
        std::string more;
        read_until(master, more, "\x01", 100);
    }
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
