// The generator across fork: a child starts a new fork generation and reseeds
// before its first output, even when it receives the process ID of a process
// that has ended.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "common/pid_reuse.h"
#include "common/test_util.h"
#include "morvanevelt.h"
#include "rng/rng.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes draw(long n) {
    Bytes b(static_cast<size_t>(n));
    if (RNG_Bytes(b.data(), n, nullptr, 0) != 0) return {};
    return b;
}

// A daemon draws, forks a child that draws nothing and exits; the child's
// child on the daemon's PID must not draw what the daemon drew after the
// fork.
TEST(GeneratorFork, ProcessOnReusedPidDiffers) {
    testutil::PidReuseRun run = testutil::run_on_reused_pid([] { draw(16); }, [] { return draw(32); });
    if (run.skipped) GTEST_SKIP() << run.why;
    ASSERT_TRUE(run.why.empty()) << run.why;
    ASSERT_EQ(run.daemon.size(), 32u);
    ASSERT_EQ(run.grandchild.size(), 32u);
    EXPECT_NE(testutil::to_hex(run.daemon), testutil::to_hex(run.grandchild));
}

// Each fork adds one to the generation in the child only; the per-thread
// TinyMT32 seed state is drawn afresh in the child rather than replayed.
TEST(GeneratorFork, ChildStartsNewGeneration) {
    uint64_t before = rng_fork_generation();
    (void)pseudorand_seed();  // the thread's state exists before the fork
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fds[0]);
        uint32_t seed = pseudorand_seed();
        bool ok = rng_fork_generation() == before + 1 && write(fds[1], &seed, 4) == 4;
        pid_t g = fork();  // and once more in a grandchild
        if (g == 0) _exit(rng_fork_generation() == before + 2 ? 0 : 1);
        int st = 0;
        ok = ok && g > 0 && waitpid(g, &st, 0) == g && WIFEXITED(st) && WEXITSTATUS(st) == 0;
        _exit(ok ? 0 : 1);
    }
    close(fds[1]);
    uint32_t child_seed = 0;
    ssize_t got = read(fds[0], &child_seed, 4);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(got, 4);
    EXPECT_EQ(rng_fork_generation(), before);
    EXPECT_NE(pseudorand_seed(), child_seed);
}

}  // namespace
