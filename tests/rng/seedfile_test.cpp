// Seed files: creation (0600, 128 bytes), update, locking against another
// process, and the keystroke prompt that RNG_MakeSeedFile runs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/test_util.h"
#include "morvanevelt.h"

namespace {

using testutil::Bytes;

mode_t mode_of(const std::string& p) {
    struct stat st;
    if (stat(p.c_str(), &st) != 0) return 0;
    return st.st_mode & 0777;
}

bool exists(const std::string& p) { return access(p.c_str(), F_OK) == 0; }

TEST(SeedFile, CreateUpdateAndMissing) {
    std::string path = testutil::temp_path("seed.dat");
    EXPECT_EQ(RNG_UpdateSeedFile(path.c_str(), 0), -201);
    EXPECT_EQ(VELT_ErrorCode(), 201);
    EXPECT_FALSE(exists(path));

    EXPECT_EQ(RNG_Initialize(path.c_str(), 0), 0);
    ASSERT_TRUE(exists(path));
    EXPECT_EQ(mode_of(path), mode_t(0600));
    Bytes first = testutil::read_file(path);
    EXPECT_EQ(first.size(), 128u);

    EXPECT_EQ(RNG_UpdateSeedFile(path.c_str(), 0), 0);
    Bytes second = testutil::read_file(path);
    EXPECT_EQ(second.size(), 128u);
    EXPECT_NE(first, second);

    // RNG_Initialize on an existing file updates it in place.
    EXPECT_EQ(RNG_Initialize(path.c_str(), 0), 0);
    EXPECT_NE(testutil::read_file(path), second);

    // A short file is accepted (the missing bytes count as zero) and grows to 128.
    testutil::write_file(path, Bytes(10, 0xAB));
    EXPECT_EQ(RNG_UpdateSeedFile(path.c_str(), 0), 0);
    EXPECT_EQ(testutil::read_file(path).size(), 128u);
    // Only the first 128 bytes are rewritten.
    testutil::write_file(path, Bytes(200, 0x11));
    EXPECT_EQ(RNG_UpdateSeedFile(path.c_str(), 0), 0);
    Bytes grown = testutil::read_file(path);
    ASSERT_EQ(grown.size(), 200u);
    EXPECT_EQ(Bytes(grown.begin() + 128, grown.end()), Bytes(72, 0x11));
}

TEST(SeedFile, NameChecksAreNotRecorded) {
    EXPECT_EQ(RNG_UpdateSeedFile("", 0), -6);
    EXPECT_EQ(VELT_ErrorCode(), 0);
    EXPECT_EQ(RNG_UpdateSeedFile(nullptr, 0), -6);
    EXPECT_EQ(RNG_MakeSeedFile("", nullptr, 0), -6);
    EXPECT_EQ(VELT_ErrorCode(), 0);
    std::string dir_path = testutil::temp_path("no-such-dir") + "/seed.dat";
    EXPECT_EQ(RNG_Initialize(dir_path.c_str(), 0), -202);
    EXPECT_EQ(VELT_ErrorCode(), 202);
}

// While another process holds the lock on the first 128 bytes, an update
// waits for it rather than read the shared contents.
TEST(SeedFile, UpdateWaitsForLock) {
    std::string path = testutil::temp_path("locked.dat");
    ASSERT_EQ(RNG_Initialize(path.c_str(), 0), 0);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(ready[0]);
        int fd = open(path.c_str(), O_RDWR);
        bool ok = fd >= 0 && lockf(fd, F_LOCK, 128) == 0;
        char c = ok ? 1 : 0;
        if (write(ready[1], &c, 1) != 1) _exit(1);
        usleep(400000);
        lockf(fd, F_ULOCK, 128);
        _exit(ok ? 0 : 1);
    }
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    ASSERT_EQ(c, 1);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RNG_UpdateSeedFile(path.c_str(), 0), 0);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 300);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// RNG_MakeSeedFile with the console prompt, keys fed on standard input in a
// child process: 150 differing keys reach 112 bits; an early end of input
// ends the prompt instead of waiting forever.
TEST(SeedFile, MakeSeedFileWithConsolePrompt) {
    for (size_t keys : {size_t(200), size_t(20)}) {
        std::string path = testutil::temp_path("made.dat");
        int in[2];
        ASSERT_EQ(pipe(in), 0);
        fflush(nullptr);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(in[1]);
            dup2(in[0], 0);
            if (!freopen("/dev/null", "w", stdout)) _exit(2);
            long r = RNG_MakeSeedFile(path.c_str(), "type", 0x100000);
            _exit(r == 0 ? 0 : 1);
        }
        close(in[0]);
        std::string typed;
        for (size_t i = 0; i < keys; ++i) typed += char('a' + i % 2);
        ASSERT_EQ(write(in[1], typed.data(), typed.size()), ssize_t(typed.size()));
        close(in[1]);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << keys;
        EXPECT_EQ(testutil::read_file(path).size(), 128u);
        EXPECT_EQ(mode_of(path), mode_t(0600));
    }
}

}  // namespace
