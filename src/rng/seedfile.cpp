// The seed file: 128 bytes of generator output, created 0600, read and
// rewritten under a lockf lock on its first 128 bytes so that processes
// sharing it never read the same contents twice. Only a regular file owned
// by the caller is used, never through a symbolic link, and its mode is
// narrowed to 0600.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "frame/error.h"
#include "rng/internal.h"
#include "rng/rng.h"
#include "util/bytes.h"
#include "util/emem.h"

namespace velt::rng {
namespace {

constexpr size_t kSeedBytes = 128;

bool write_all_at(int fd, const uint8_t* p, size_t n) {
    size_t done = 0;
    while (done < n) {
        ssize_t w = pwrite(fd, p + done, n - done, off_t(done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        done += size_t(w);
    }
    return true;
}

size_t read_up_to(int fd, uint8_t* p, size_t n) {
    size_t done = 0;
    while (done < n) {
        ssize_t r = pread(fd, p + done, n - done, off_t(done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += size_t(r);
    }
    return done;
}

// Takes the lock on the first 128 bytes (waiting for another holder).
bool lock_seed(int fd) {
    if (lseek(fd, 0, SEEK_SET) != 0) return false;
    while (lockf(fd, F_LOCK, off_t(kSeedBytes)) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

void unlock_seed(int fd) {
    if (lseek(fd, 0, SEEK_SET) == 0) lockf(fd, F_ULOCK, off_t(kSeedBytes));
}

// Opens the seed file with flags (O_WRONLY | O_CREAT or O_RDWR), never
// following a symbolic link in the last component (nor blocking on a FIFO),
// and checks what was opened: a regular file owned by the caller, made
// private (0600) if it was not. Returns the descriptor; or -1 with errno set
// by the failed open (ENOENT: no such file), or -1 with errno 0 when the file
// was refused (the reason recorded).
int open_seed(const char* file, int flags) {
    int fd = open(file, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    errno = 0;
    struct stat st;
    const char* why = nullptr;
    if (fstat(fd, &st) != 0)
        why = "cannot be examined";
    else if (!S_ISREG(st.st_mode))
        why = "is not a regular file";
    else if (st.st_uid != geteuid())
        why = "belongs to another user";
    else if ((st.st_mode & 07777) != 0600 && fchmod(fd, 0600) != 0)
        why = "cannot be restricted to its owner";
    if (why) {
        close(fd);
        eprintf("seed file '%s' %s", file, why);
        errno = 0;
        return -1;
    }
    return fd;
}

}  // namespace

// Generates 128 bytes with the additional input and writes them as a new
// seed file (created with permissions 0600, or replacing the contents of an
// existing one once it is locked).
long WriteSeedFile(const char* file, const uint8_t* additional, size_t additional_len) {
    uint8_t seed[kSeedBytes];
    velt::WipeOnExit w(seed, sizeof seed);
    long r = process_generate(seed, sizeof seed, additional, additional_len);
    if (r != 0) return r;
    int fd = open_seed(file, O_WRONLY | O_CREAT);
    if (fd < 0) {
        if (errno != 0) eprintf("cannot create seed file '%s'", file);
        return -PRNG_ERR_FILE_CREATE;
    }
    if (!lock_seed(fd)) {
        close(fd);
        eprintf("cannot lock seed file '%s'", file);
        return -PRNG_ERR_FILE_LOCK;
    }
    // Truncated only under the lock, after the new contents are in place: a
    // process waiting for the lock never reads an emptied file.
    bool ok = write_all_at(fd, seed, sizeof seed) && ftruncate(fd, off_t(kSeedBytes)) == 0;
    unlock_seed(fd);
    if (close(fd) != 0) ok = false;
    if (!ok) {
        eprintf("cannot write seed file '%s'", file);
        return -PRNG_ERR_FILE_WRITE;
    }
    return 0;
}

// Reseeds the process generator from the seed file and rewrites the file
// with fresh output. Without the file: a new one when create is set, else -201.
long UpdateSeedFile(const char* file, bool create) {
    int fd = open_seed(file, O_RDWR);
    if (fd < 0) {
        // Only a missing file is made anew; a refused one stays refused.
        if (create && errno == ENOENT) return WriteSeedFile(file, nullptr, 0);
        if (errno != 0) eprintf("cannot open seed file '%s'", file);
        return -PRNG_ERR_FILE_OPEN;
    }
    if (!lock_seed(fd)) {
        close(fd);
        eprintf("cannot lock seed file '%s'", file);
        return -PRNG_ERR_FILE_LOCK;
    }
    uint8_t seed[kSeedBytes] = {0};
    velt::WipeOnExit w(seed, sizeof seed);
    read_up_to(fd, seed, sizeof seed);

    struct timeval tv;
    gettimeofday(&tv, nullptr);
    uint8_t stamp[8];
    store_le32(stamp, uint32_t(tv.tv_sec));
    store_le32(stamp + 4, uint32_t(tv.tv_usec));

    long r = with_process_instance([&](Drbg& d) -> long {
        Span parts[2] = {{seed, sizeof seed}, {stamp, sizeof stamp}};
        drbg_reseed(d, parts, 2);
        return prngGenerateRandomData(d, seed, sizeof seed, stamp, sizeof stamp);
    });
    bool ok = r == 0 && write_all_at(fd, seed, sizeof seed);
    unlock_seed(fd);
    if (close(fd) != 0) ok = false;
    if (r != 0) return r;
    if (!ok) {
        eprintf("cannot write seed file '%s'", file);
        return -PRNG_ERR_FILE_WRITE;
    }
    return 0;
}

}  // namespace velt::rng

using namespace velt::rng;

long rngInitialize(const char* seed_file, long options) {
    Control& ctl = control();
    if (options & kRngNoHardware) ctl.hardware = -1;
    long r = process_ensure_instantiated();
    if (r != 0) return r;
    if (seed_file && *seed_file) return UpdateSeedFile(seed_file, true);
    if (ctl.hardware == -1) return -PRNG_ERR_NOTAVAIL;
    return ctl.hardware;
}

long rngUpdateSeedFile(const char* seed_file, long) {
    long r = process_ensure_instantiated();
    if (r != 0) return r;
    return UpdateSeedFile(seed_file, false);
}

long rngMakeSeedFile(const char* seed_file, const char* prompt, long options) {
    uint8_t extra[64];
    velt::WipeOnExit w(extra, sizeof extra);
    long r = rng_bytes_prompt(extra, sizeof extra, prompt, options);
    if (r != 0) return r > 0 ? -r : r;
    return WriteSeedFile(seed_file, extra, sizeof extra);
}
