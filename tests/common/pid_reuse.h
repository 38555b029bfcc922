// A process that runs on the PID of a process that has ended, inside a new
// PID namespace (needs root; the caller skips when the namespace cannot be
// made).
//
// A "daemon" D runs `before`, forks a child C that runs nothing of the
// library, then runs `after` and exits. When D has been reaped, C sets the
// namespace's last PID so that its next child G receives D's PID, and G runs
// `after` too. The two results of `after` come back to the caller: state that
// a process keeps per PID would make them equal.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace testutil {

struct PidReuseRun {
    bool skipped = false;  // no namespace here (why says so)
    std::string why;       // failure or skip reason; empty when both ran
    std::vector<uint8_t> daemon, grandchild;
};

namespace pid_reuse_detail {

enum Exit : int {
    kOk = 0,
    kNoUnshare = 77,
    kNoLastPid = 78,
    kNoFork = 80,
    kPidNotReused = 81,
    kLost = 82,
};

inline bool write_blob(int fd, const std::vector<uint8_t>& b) {
    uint32_t n = uint32_t(b.size());
    return write(fd, &n, 4) == 4 && (n == 0 || write(fd, b.data(), n) == ssize_t(n));
}

inline bool read_exact(int fd, uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t r = read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= size_t(r);
    }
    return true;
}

inline bool read_blob(int fd, std::vector<uint8_t>& b) {
    uint32_t n = 0;
    if (!read_exact(fd, reinterpret_cast<uint8_t*>(&n), 4) || n > (1u << 20)) return false;
    b.resize(n);
    return read_exact(fd, b.data(), n);
}

inline int status_code(int st) {
    return WIFEXITED(st) ? WEXITSTATUS(st) : kLost;
}

// The grandchild's side, in C: wait until D is reaped, then fork onto its PID.
[[noreturn]] inline void child_c(int go, int out, pid_t daemon,
                                 const std::function<std::vector<uint8_t>()>& after) {
    char c;
    if (read(go, &c, 1) != 1) _exit(kLost);
    int fd = open("/proc/sys/kernel/ns_last_pid", O_WRONLY | O_CLOEXEC);
    if (fd < 0) _exit(kNoLastPid);
    std::string last = std::to_string(daemon - 1);
    bool set = write(fd, last.data(), last.size()) == ssize_t(last.size());
    close(fd);
    if (!set) _exit(kNoLastPid);
    pid_t g = fork();
    if (g < 0) _exit(kNoFork);
    if (g == 0) {
        if (getpid() != daemon) _exit(kPidNotReused);
        _exit(write_blob(out, after()) ? kOk : kLost);
    }
    int st = 0;
    waitpid(g, &st, 0);
    _exit(status_code(st));
}

// The namespace's first process (PID 1): runs D, lets C go once D is reaped
// and reaps C (orphaned to it); its exit code is C's.
[[noreturn]] inline void ns_init(int out, const std::function<void()>& before,
                                 const std::function<std::vector<uint8_t>()>& after) {
    int go[2];
    if (pipe(go) != 0) _exit(kLost);
    pid_t d = fork();
    if (d < 0) _exit(kNoFork);
    if (d == 0) {
        close(go[1]);
        before();
        pid_t self = getpid();
        pid_t c = fork();
        if (c < 0) _exit(kNoFork);
        if (c == 0) child_c(go[0], out, self, after);
        close(go[0]);
        _exit(write_blob(out, after()) ? kOk : kLost);
    }
    close(go[0]);
    int st = 0;
    waitpid(d, &st, 0);
    int result = status_code(st);
    if (write(go[1], "g", 1) != 1) result = kLost;
    close(go[1]);
    pid_t w;
    while ((w = wait(&st)) > 0 || (w < 0 && errno == EINTR)) {
        if (w > 0 && result == kOk) result = status_code(st);
    }
    _exit(result);
}

}  // namespace pid_reuse_detail

// Whether this process may make a PID namespace (a throw-away child tries).
inline bool pid_namespace_available() {
    fflush(nullptr);
    pid_t p = fork();
    if (p < 0) return false;
    if (p == 0) _exit(unshare(CLONE_NEWPID) == 0 ? 0 : 1);
    int st = 0;
    waitpid(p, &st, 0);
    return WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

inline PidReuseRun run_on_reused_pid(const std::function<void()>& before,
                                     const std::function<std::vector<uint8_t>()>& after) {
    using namespace pid_reuse_detail;
    PidReuseRun run;
    int data[2];
    if (pipe(data) != 0) {
        run.why = "pipe failed";
        return run;
    }
    fflush(nullptr);
    pid_t h = fork();
    if (h < 0) {
        close(data[0]);
        close(data[1]);
        run.why = "fork failed";
        return run;
    }
    if (h == 0) {
        // The caller's process stays in its namespace: a helper enters the
        // new one, whose first child becomes its PID 1.
        close(data[0]);
        if (unshare(CLONE_NEWPID) != 0) _exit(kNoUnshare);
        pid_t init = fork();
        if (init < 0) _exit(kNoFork);
        if (init == 0) ns_init(data[1], before, after);
        int st = 0;
        waitpid(init, &st, 0);
        _exit(status_code(st));
    }
    close(data[1]);
    int st = 0;
    waitpid(h, &st, 0);
    int code = status_code(st);
    bool got = read_blob(data[0], run.daemon) && read_blob(data[0], run.grandchild);
    close(data[0]);
    switch (code) {
        case kOk:
            if (!got) run.why = "results missing";
            break;
        case kNoUnshare:
            run.skipped = true;
            run.why = "unshare(CLONE_NEWPID) failed (not root?)";
            break;
        case kNoLastPid:
            run.skipped = true;
            run.why = "cannot write /proc/sys/kernel/ns_last_pid";
            break;
        case kPidNotReused:
            run.why = "the grandchild did not receive the daemon's PID";
            break;
        default:
            run.why = "a helper process failed (exit " + std::to_string(code) + ")";
    }
    return run;
}

}  // namespace testutil
