// Internal key strings across fork: a child keeps its parent's wrapping key,
// a wrapping key a process makes for itself never repeats another process's
// (even on a reused PID), and a generator failure while making the key keeps
// the generator's error code.
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <string>

#include "common/pid_reuse.h"
#include "morvanevelt.h"
#include "rsa/rsa.h"
#include "rsa_fixture.h"

namespace {

using testutil::Bytes;

constexpr char kPublicPem[] =
    "-----BEGIN PUBLIC KEY-----\n"
    "MIGfMA0GCSqGSIb3DQEBAQUAA4GNADCBiQKBgQCxX7XwkWFY6W+LC8sYaEOJZZa5\n"
    "VXqL1gHAIaGkeswlLO9MJdGweN6bZ1BV7OuyKrxqUXiGMp/RnoWD6ce7opqu/sjL\n"
    "ARrYzdGLvnFiSK9+tG21SLjmdDlcEnrkJjkFuhxMD2EL6S1yU7AQKYr3hERPtzK+\n"
    "pEv2sIjNEsK3nX6UAwIDAQAB\n"
    "-----END PUBLIC KEY-----\n";

// From now on getrandom fails with EIO in the calling process.
bool deny_getrandom() {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_getrandom, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog prog{static_cast<unsigned short>(std::size(filter)), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &prog) == 0;
}

// Key strings made before a fork work in the child, and one the child makes
// works in the parent: both hold the same wrapping key.
TEST(KeyStringFork, ChildKeepsTheWrappingKey) {
    const rsatest::KeyStrings& k = rsatest::our_key();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fds[0]);
        char pub[1024];
        long n = RSA_PublicKeyFromPrivate(pub, sizeof pub, k.priv.c_str(), 0);
        bool ok = RSA_KeyBits(k.priv.c_str()) == 1024 && RSA_KeyBits(k.pub.c_str()) == 1024 && n > 0 &&
                  write(fds[1], pub, size_t(n)) == ssize_t(n);
        _exit(ok ? 0 : 1);
    }
    close(fds[1]);
    std::string from_child;
    char buf[512];
    ssize_t r;
    while ((r = read(fds[0], buf, sizeof buf)) > 0) from_child.append(buf, size_t(r));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(RSA_KeyBits(from_child.c_str()), 1024);
}

// Processes that make their wrapping key after a fork (here a daemon and a
// process given its PID later) get distinct keys. Run in a fresh copy of
// this program, which has no wrapping key yet.
TEST(KeyStringFork, KeyMadeOnReusedPidDiffers) {
    if (!testutil::pid_namespace_available()) GTEST_SKIP() << "no PID namespace here (not root?)";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            testutil::PidReuseRun run = testutil::run_on_reused_pid(
                [] {
                    uint8_t b[16];
                    (void)RNG_Bytes(b, sizeof b, nullptr, 0);
                },
                [] {
                    const uint8_t* key = IK_GetKeyPtr();
                    return key ? Bytes(key, key + 24) : Bytes();
                });
            bool ok = run.why.empty() && run.daemon.size() == 24 && run.daemon != run.grandchild;
            fprintf(stderr, "%s\n",
                    ok                ? "distinct keys"
                    : run.why.empty() ? "same or no key"
                                      : run.why.c_str());
            _exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "distinct keys");
}

// With the operating system's generator failing, no wrapping key can be made:
// making a key string and reading one both give -212, not invalid data.
TEST(KeyStringFork, GeneratorFailureKeepsItsCode) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (!deny_getrandom()) {
                fprintf(stderr, "seccomp unavailable\n");
                _exit(2);
            }
            char out[1024];
            long made = RSA_ReadAnyPublicKey(out, sizeof out, kPublicPem, 0);
            long read = RSA_KeyBits("PUBRAAAAAAAAAAAAAAAAAAAAAAAAAAAA");
            fprintf(stderr, "codes %ld %ld\n", made, read);
            _exit(0);
        },
        testing::ExitedWithCode(0), "codes -212 -212");
}

}  // namespace
