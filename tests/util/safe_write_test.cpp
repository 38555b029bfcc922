// The one writer of output files: atomic replacement, permissions, refusal
// of targets that are not regular files, and cleanup after every failure.
#include <gtest/gtest.h>
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <set>
#include <string>

#include "common/test_util.h"
#include "frame/error.h"
#include "util/safe_write.h"

namespace {

using testutil::read_file;
using testutil::temp_path;
using velt::SafeWriter;
using velt::WriteMode;

std::set<std::string> entries(const std::string& dir) {
    std::set<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") names.insert(n);
    }
    closedir(d);
    return names;
}

// A fresh, empty folder for one test.
std::string fresh_dir(const std::string& name) {
    std::string d = temp_path(name);
    EXPECT_EQ(mkdir(d.c_str(), 0700), 0);
    return d;
}

std::string text_of(const std::string& path) {
    auto b = read_file(path);
    return std::string(b.begin(), b.end());
}

mode_t mode_of(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// Runs op in a child process whose file-size limit is `limit` bytes (SIGXFSZ
// ignored, so an oversized write fails with EFBIG) and returns op's result.
long with_file_limit(rlim_t limit, const std::function<long()>& op) {
    int fds[2];
    if (pipe(fds) != 0) return -99999;
    fflush(nullptr);  // the child must not repeat buffered output
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        signal(SIGXFSZ, SIG_IGN);
        rlimit rl{limit, limit};
        setrlimit(RLIMIT_FSIZE, &rl);
        long r = op();
        ssize_t w = write(fds[1], &r, sizeof r);
        _exit(w == sizeof r ? 0 : 1);
    }
    close(fds[1]);
    long r = -99998;
    if (read(fds[0], &r, sizeof r) != sizeof r) r = -99997;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return r;
}

TEST(SafeWrite, WritesAndReplacesWithFreshFile) {
    std::string dir = fresh_dir("sw_basic");
    std::string t = dir + "/out.bin";
    mode_t old_mask = umask(022);
    ASSERT_EQ(velt::safe_write_file(t.c_str(), "hello", 5, WriteMode::kPublic), 0);
    EXPECT_EQ(text_of(t), "hello");
    EXPECT_EQ(mode_of(t) & 0777, 0644u);

    // An existing world-readable file (as if made by someone else) is
    // replaced by a new inode, 0600 even with umask 0.
    struct stat before;
    ASSERT_EQ(chmod(t.c_str(), 0644), 0);
    ASSERT_EQ(stat(t.c_str(), &before), 0);
    umask(0);
    ASSERT_EQ(velt::safe_write_file(t.c_str(), "secret", 6, WriteMode::kSecret), 0);
    umask(old_mask);
    struct stat after;
    ASSERT_EQ(stat(t.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 0777, 0600u);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(text_of(t), "secret");
    EXPECT_EQ(entries(dir), std::set<std::string>{"out.bin"});

    // A bare name writes into the current folder; an empty buffer gives an
    // empty file.
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    ASSERT_EQ(chdir(dir.c_str()), 0);
    EXPECT_EQ(velt::safe_write_file("bare.txt", "", 0, WriteMode::kPublic), 0);
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(text_of(dir + "/bare.txt"), "");
    EXPECT_EQ(entries(dir), (std::set<std::string>{"bare.txt", "out.bin"}));
}

TEST(SafeWrite, RefusesTargetsThatAreNotRegularFiles) {
    std::string dir = fresh_dir("sw_refuse");
    std::string sub = dir + "/sub", fifo = dir + "/fifo", victim = dir + "/victim", link = dir + "/link";
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    testutil::write_file(victim, std::string("keep me"));
    ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
    std::string dangling = dir + "/dangling";
    ASSERT_EQ(symlink((dir + "/nowhere").c_str(), dangling.c_str()), 0);
    // A private null device (root only), never the system's /dev/null.
    std::string dev = dir + "/null";
    const bool have_dev = mknod(dev.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    const auto before = entries(dir);

    struct Case {
        std::string target;
        mode_t type;
        const char* kind;
    } cases[] = {
        {sub, S_IFDIR, "a directory"},      {fifo, S_IFIFO, "a FIFO"},
        {link, S_IFLNK, "a symbolic link"}, {dangling, S_IFLNK, "a symbolic link"},
        {dev, S_IFCHR, "a device"},
    };
    for (const Case& c : cases) {
        if (c.target == dev && !have_dev) continue;
        errclear();
        EXPECT_EQ(velt::safe_write_file(c.target.c_str(), "x", 1, WriteMode::kPublic), CREATE_ERROR)
            << c.target;
        EXPECT_EQ(mode_of(c.target) & S_IFMT, c.type) << c.target;
        EXPECT_NE(std::string(errmsg()).find(c.kind), std::string::npos) << errmsg();
    }
    EXPECT_EQ(text_of(victim), "keep me");
    EXPECT_EQ(entries(dir), before);
    EXPECT_EQ(entries(sub).size(), 0u);
    EXPECT_EQ(access((dir + "/nowhere").c_str(), F_OK), -1);

    // A missing folder and an empty name fail at creation.
    EXPECT_EQ(velt::safe_write_file((dir + "/no/such").c_str(), "x", 1, WriteMode::kPublic), CREATE_ERROR);
    EXPECT_EQ(velt::safe_write_file("", "x", 1, WriteMode::kPublic), CREATE_ERROR);
    EXPECT_EQ(velt::safe_write_file((dir + "/").c_str(), "x", 1, WriteMode::kPublic), CREATE_ERROR);
}

TEST(SafeWrite, FailureHalfWayLeavesTargetAndNoTemporaryFile) {
    std::string dir = fresh_dir("sw_limit");
    std::string t = dir + "/out.bin";
    testutil::write_file(t, std::string("previous content"));
    const std::string big(100000, 'z');
    for (bool streaming : {false, true}) {
        long r = with_file_limit(300, [&]() -> long {
            if (!streaming)
                return velt::safe_write_file(t.c_str(), big.data(), big.size(), WriteMode::kSecret);
            SafeWriter w(velt::WriteCodes{21, 22, 23});
            if (long e = w.open(t.c_str(), WriteMode::kPublic)) return e;
            for (int i = 0; i < 10; ++i) {
                if (long e = w.write(big.data(), 100)) return e;
            }
            return w.commit();
        });
        EXPECT_EQ(r, streaming ? 22L : long(WRITE_ERROR));
        EXPECT_EQ(text_of(t), "previous content");
        EXPECT_EQ(entries(dir), std::set<std::string>{"out.bin"});
    }
    // The same write without the limit succeeds.
    EXPECT_EQ(velt::safe_write_file(t.c_str(), big.data(), big.size(), WriteMode::kPublic), 0);
    EXPECT_EQ(text_of(t), big);
}

TEST(SafeWrite, StreamingAbortCommitAndUndo) {
    std::string dir = fresh_dir("sw_stream");
    std::string t = dir + "/out.bin";
    {
        SafeWriter w;
        ASSERT_EQ(w.open(t.c_str(), WriteMode::kPublic), 0);
        ASSERT_EQ(w.write("abc", 3), 0);
        EXPECT_EQ(entries(dir).size(), 1u);  // the temporary file only
        EXPECT_EQ(access(t.c_str(), F_OK), -1);
    }  // destroyed uncommitted
    EXPECT_TRUE(entries(dir).empty());

    // The target turns into a directory between open and commit: refused.
    {
        SafeWriter w;
        ASSERT_EQ(w.open(t.c_str(), WriteMode::kPublic), 0);
        ASSERT_EQ(w.write("abc", 3), 0);
        ASSERT_EQ(mkdir(t.c_str(), 0700), 0);
        EXPECT_EQ(w.commit(), CREATE_ERROR);
        EXPECT_EQ(mode_of(t) & S_IFMT, unsigned(S_IFDIR));
        EXPECT_EQ(entries(dir), std::set<std::string>{"out.bin"});
        ASSERT_EQ(rmdir(t.c_str()), 0);
    }

    // undo_commit removes a file this writer created, never one that was there.
    {
        SafeWriter w;
        ASSERT_EQ(w.open(t.c_str(), WriteMode::kSecret), 0);
        ASSERT_EQ(w.write("new", 3), 0);
        ASSERT_EQ(w.commit(), 0);
        EXPECT_EQ(text_of(t), "new");
        w.undo_commit();
        EXPECT_EQ(access(t.c_str(), F_OK), -1);
    }
    testutil::write_file(t, std::string("old"));
    {
        SafeWriter w;
        ASSERT_EQ(w.open(t.c_str(), WriteMode::kSecret), 0);
        ASSERT_EQ(w.write("new", 3), 0);
        ASSERT_EQ(w.commit(), 0);
        w.undo_commit();
        EXPECT_EQ(text_of(t), "new");
    }
    EXPECT_EQ(entries(dir), std::set<std::string>{"out.bin"});
}

TEST(SafeWrite, DetailNamesTheFailedStep) {
    std::string dir = fresh_dir("sw_detail");
    std::string t = dir + "/out.bin";
    long w = with_file_limit(10, [&]() -> long {
        errclear();
        SafeWriter sw;
        if (sw.open(t.c_str(), WriteMode::kPublic)) return -1;
        long e = sw.write(std::string(100, 'a').data(), 100);
        std::string msg = errmsg();
        bool named =
            msg.find("Cannot write output file") != std::string::npos && msg.find(t) != std::string::npos;
        return e && named ? e : -2;
    });
    EXPECT_EQ(w, WRITE_ERROR);

    if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    ASSERT_EQ(chmod(dir.c_str(), 0500), 0);
    errclear();
    long r = velt::safe_write_file(t.c_str(), "x", 1, WriteMode::kPublic);
    chmod(dir.c_str(), 0700);
    EXPECT_EQ(r, CREATE_ERROR);
    std::string msg = errmsg();
    EXPECT_NE(msg.find("Cannot create a temporary file"), std::string::npos) << msg;
    EXPECT_NE(msg.find(t), std::string::npos) << msg;
}

TEST(SafeWrite, SameFile) {
    std::string a = temp_path("sw_same_a"), l = temp_path("sw_same_l");
    testutil::write_file(a, std::string("a"));
    ASSERT_EQ(symlink(a.c_str(), l.c_str()), 0);
    EXPECT_TRUE(velt::safe_same_file(a.c_str(), a.c_str()));
    EXPECT_TRUE(velt::safe_same_file(a.c_str(), l.c_str()));
    EXPECT_TRUE(velt::safe_same_file("missing-x", "missing-x"));
    EXPECT_FALSE(velt::safe_same_file(a.c_str(), temp_path("sw_same_b").c_str()));
}

}  // namespace
