// Seed files: creation (0600, 128 bytes), update, locking against another
// process, the keystroke prompt that RNG_MakeSeedFile runs, and what is
// refused: symbolic links, files that are not regular, another user's file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "common/test_util.h"
#include "morvanevelt.h"
#include "rng/internal.h"

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

// Writing a new seed file over an existing one waits for the lock before it
// changes anything: the holder of the lock still sees all 128 bytes.
TEST(SeedFile, WriteTruncatesOnlyUnderTheLock) {
    std::string path = testutil::temp_path("rewrite.dat");
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
        usleep(300000);
        struct stat st;
        ok = ok && fstat(fd, &st) == 0 && st.st_size == 128;
        lockf(fd, F_ULOCK, 128);
        _exit(ok ? 0 : 1);
    }
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    ASSERT_EQ(c, 1);
    EXPECT_EQ(velt::rng::WriteSeedFile(path.c_str(), nullptr, 0), 0);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the file was truncated while locked";
    EXPECT_EQ(testutil::read_file(path).size(), 128u);
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

// RNG_Initialize (which creates a missing file) and RNG_UpdateSeedFile.
struct SeedCall {
    const char* name;
    long (*call)(const char*);
};
const SeedCall kSeedCalls[] = {
    {"RNG_Initialize", [](const char* p) { return RNG_Initialize(p, 0); }},
    {"RNG_UpdateSeedFile", [](const char* p) { return RNG_UpdateSeedFile(p, 0); }},
};

bool is_symlink(const std::string& p) {
    struct stat st;
    return lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// A symbolic link is refused whether its target exists or not: the target
// keeps its contents and mode, a missing one is not created.
TEST(SeedFile, SymbolicLinkRefused) {
    for (const SeedCall& c : kSeedCalls) {
        SCOPED_TRACE(c.name);
        std::string target = testutil::temp_path("target.dat");
        std::string link = testutil::temp_path("link.dat");
        const Bytes precious = testutil::bytes_of("precious contents, not a seed");
        testutil::write_file(target, precious);
        ASSERT_EQ(chmod(target.c_str(), 0644), 0);
        ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
        EXPECT_EQ(c.call(link.c_str()), -201);
        EXPECT_EQ(VELT_ErrorCode(), 201);
        EXPECT_EQ(testutil::read_file(target), precious);
        EXPECT_EQ(mode_of(target), mode_t(0644));
        EXPECT_TRUE(is_symlink(link));

        // A dangling link: nothing is created at its target.
        unlink(target.c_str());
        EXPECT_EQ(c.call(link.c_str()), -201);
        EXPECT_FALSE(exists(target));
        unlink(link.c_str());
    }
}

// An existing seed file readable by others is narrowed to 0600 by the call
// that uses it.
TEST(SeedFile, ExistingFileMadePrivate) {
    for (const SeedCall& c : kSeedCalls) {
        SCOPED_TRACE(c.name);
        std::string path = testutil::temp_path("shared.dat");
        testutil::write_file(path, Bytes(128, 0x5C));
        ASSERT_EQ(chmod(path.c_str(), 0644), 0);
        EXPECT_EQ(c.call(path.c_str()), 0);
        EXPECT_EQ(mode_of(path), mode_t(0600));
        Bytes now = testutil::read_file(path);
        EXPECT_EQ(now.size(), 128u);
        EXPECT_NE(now, Bytes(128, 0x5C));
    }
}

// What is not a regular file of the caller's is refused and left as it was:
// a directory, a FIFO, a device, a file of another user.
TEST(SeedFile, NotARegularFileOfTheCallerRefused) {
    struct Case {
        const char* what;
        std::function<std::string()> make;  // the path, or "" to skip
        mode_t type;
    };
    const Case cases[] = {
        {"directory",
         [] {
             std::string p = testutil::temp_path("seed-dir");
             return mkdir(p.c_str(), 0700) == 0 ? p : "";
         },
         S_IFDIR},
        {"fifo",
         [] {
             std::string p = testutil::temp_path("seed-fifo");
             return mkfifo(p.c_str(), 0600) == 0 ? p : "";
         },
         S_IFIFO},
        {"device", [] { return std::string("/dev/null"); }, S_IFCHR},
        {"other user's file",
         [] {
             std::string p = testutil::temp_path("seed-other.dat");
             testutil::write_file(p, Bytes(128, 0x33));
             return chmod(p.c_str(), 0644) == 0 && chown(p.c_str(), 65534, 65534) == 0 ? p : "";
         },
         S_IFREG},
    };
    for (const Case& k : cases) {
        for (const SeedCall& c : kSeedCalls) {
            SCOPED_TRACE(std::string(k.what) + " " + c.name);
            std::string path = k.make();
            if (path.empty()) {
                ADD_FAILURE() << "cannot make the " << k.what << " (not root?)";
                continue;
            }
            struct stat before;
            ASSERT_EQ(lstat(path.c_str(), &before), 0);
            EXPECT_EQ(c.call(path.c_str()), -201);
            EXPECT_EQ(VELT_ErrorCode(), 201);
            struct stat after;
            ASSERT_EQ(lstat(path.c_str(), &after), 0);
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(after.st_mode & S_IFMT, k.type);
            EXPECT_EQ(after.st_size, before.st_size);
            if (k.type == S_IFREG) {
                EXPECT_EQ(testutil::read_file(path), Bytes(128, 0x33));
            }
            if (k.type == S_IFDIR) rmdir(path.c_str());
            if (k.type == S_IFIFO) unlink(path.c_str());
        }
    }
}

}  // namespace
