#include "util/futil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "frame/error.h"
#include "rng/rng.h"
#include "util/emem.h"

long futil_filesize(const char* name) {
    if (!name) return -1;
    struct stat st;
    if (stat(name, &st) != 0) return -1;
    return long(st.st_size);
}

long futil_filesizefp(FILE* fp) {
    if (!fp) return -1;
    struct stat st;
    if (fstat(fileno(fp), &st) != 0) return -1;
    return long(st.st_size);
}

bool futil_samefile(const char* a, const char* b) {
    if (!a || !b) return false;
    char* ra = realpath(a, nullptr);
    char* rb = realpath(b, nullptr);
    bool same = ra && rb && strcmp(ra, rb) == 0;
    free(ra);
    free(rb);
    return same;
}

bool futil_exists(const char* name) {
    if (!name) return false;
    FILE* fp = fopen(name, "rb");
    if (!fp) return false;
    fclose(fp);
    return true;
}

std::string describe_input(const char* s) {
    struct stat st;
    if (s && *s && stat(s, &st) == 0) return std::string("'") + s + "'";
    return "(string)";
}

FILE* futil_open_input(const char* name, size_t limit, long* error) {
    auto refuse = [&](long code) -> FILE* {
        if (error) *error = code;
        return nullptr;
    };
    if (!name || !*name) return refuse(OPEN_ERROR);
    // O_NONBLOCK keeps open() from waiting for a FIFO's writer; it is
    // switched off again before reading.
    int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return refuse(OPEN_ERROR);
    struct stat st;
    if (fstat(fd, &st) != 0) {
        ::close(fd);
        return refuse(OPEN_ERROR);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        eprintf("Input file '%s' is not a regular file", name);
        return refuse(OPEN_ERROR);
    }
    if (st.st_size < 0 || uint64_t(st.st_size) > uint64_t(limit)) {
        ::close(fd);
        eprintf("Input file '%s' is larger than %zu bytes", name, limit);
        return refuse(BAD_LENGTH_ERROR);
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return refuse(OPEN_ERROR);
    }
    FILE* f = fdopen(fd, "rb");
    if (!f) {
        ::close(fd);
        return refuse(OPEN_ERROR);
    }
    if (error) *error = 0;
    return f;
}

namespace {

template <class Container>
long read_stream(FILE* f, Container& out, size_t limit) {
    out.clear();
    if (!f) return READ_ERROR;
    char buf[16384];
    velt::WipeOnExit guard(buf, sizeof buf);
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, f)) > 0) {
        if (got > limit - out.size()) {
            out.clear();
            out.shrink_to_fit();
            return BAD_LENGTH_ERROR;
        }
        out.insert(out.end(), buf, buf + got);
    }
    return ferror(f) ? long(READ_ERROR) : 0L;
}

}  // namespace

long futil_read_stream(FILE* f, velt::SecureBytes& out, size_t limit) {
    return read_stream(f, out, limit);
}
long futil_read_stream(FILE* f, velt::SecureString& out, size_t limit) {
    return read_stream(f, out, limit);
}

namespace {

constexpr char kNameChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr int kNameLen = 10;
constexpr int kTriesPerDir = 10;

bool is_directory(const char* d) {
    struct stat st;
    return d && *d && stat(d, &st) == 0 && S_ISDIR(st.st_mode);
}

// Ten name characters drawn uniformly from the library's generator.
std::string random_name_part() {
    std::string s(kNameLen, 'x');
    for (char& c : s) c = kNameChars[rngRange(0, long(sizeof kNameChars) - 2)];
    return s;
}

}  // namespace

FILE* tmpfileplus(const char* directory, const char* prefix, std::string* path, bool keep) {
    const char* dirs[] = {directory, getenv("TMPDIR"), "/tmp", "."};
    if (!prefix) prefix = "tmp.";
    for (const char* dir : dirs) {
        if (!is_directory(dir)) continue;
        for (int i = 0; i < kTriesPerDir; ++i) {
            std::string name = std::string(dir) + "/" + prefix + random_name_part();
            int fd = open(name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
            if (fd < 0) {
                if (errno == EEXIST) continue;
                break;  // this directory does not take new files
            }
            FILE* fp = fdopen(fd, "w+b");
            if (!fp) {
                close(fd);
                unlink(name.c_str());
                break;
            }
            if (!keep) unlink(name.c_str());
            if (path) *path = name;
            return fp;
        }
    }
    errno = ENOENT;
    return nullptr;
}

namespace {

constexpr size_t kWipeBlock = 4096;

// Writes `pattern` over the whole file (the last block cut to the file's
// length) and flushes it to the device.
bool write_pass(FILE* fp, long size, const unsigned char* pattern) {
    if (fseek(fp, 0, SEEK_SET) != 0) return false;
    long left = size;
    while (left > 0) {
        size_t n = left < long(kWipeBlock) ? size_t(left) : kWipeBlock;
        if (fwrite(pattern, 1, n, fp) != n) return false;
        left -= long(n);
    }
    if (fflush(fp) != 0) return false;
    return fsync(fileno(fp)) == 0;
}

// Reads the file back and compares every block with `pattern`.
bool check_pass(FILE* fp, long size, const unsigned char* pattern) {
    if (fseek(fp, 0, SEEK_SET) != 0) return false;
    unsigned char buf[kWipeBlock];
    long left = size;
    while (left > 0) {
        size_t n = left < long(kWipeBlock) ? size_t(left) : kWipeBlock;
        if (fread(buf, 1, n, fp) != n) return false;
        if (memcmp(buf, pattern, n) != 0) return false;
        left -= long(n);
    }
    return true;
}

long wipe_passes(FILE* fp, long size, long options) {
    unsigned char pattern[kWipeBlock];
    velt::WipeOnExit guard(pattern, sizeof pattern);
    if (size == 0) return 0;

    memset(pattern, 0, sizeof pattern);
    if (!write_pass(fp, size, pattern) || !check_pass(fp, size, pattern)) return WIPE_ERROR;
    if (options & 1) return 0;

    for (unsigned char fill : {0xFF, 0xAA, 0x55}) {
        memset(pattern, fill, sizeof pattern);
        if (!write_pass(fp, size, pattern)) return WIPE_ERROR;
    }
    for (int i = 0; i < 2; ++i) {
        if (rngNonce(pattern, long(sizeof pattern)) != 0) return WIPE_ERROR;
        if (!write_pass(fp, size, pattern)) return WIPE_ERROR;
    }
    if (!check_pass(fp, size, pattern)) return WIPE_ERROR;
    memset(pattern, 0, sizeof pattern);
    if (!write_pass(fp, size, pattern)) return WIPE_ERROR;
    return 0;
}

}  // namespace

long wipe_file_ex(const char* name, long options) {
    if (!name) return OPEN_ERROR;
    // O_NOFOLLOW: a symbolic link is refused rather than followed, so its
    // target is never overwritten. O_NONBLOCK: opening a FIFO with no writer
    // returns at once instead of waiting; it is then refused below.
    int fd = open(name, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        if (err == ELOOP) {
            eprintf("Cannot wipe '%s': it is a symbolic link", name);
        } else {
            eprintf("Cannot open '%s' for wiping: %s", name, strerror(err));
        }
        return OPEN_ERROR;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        eprintf("Cannot wipe '%s': not a regular file", name);
        return OPEN_ERROR;
    }
    int fl = fcntl(fd, F_GETFL);
    if (fl < 0 || fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0) {
        close(fd);
        return OPEN_ERROR;
    }
    FILE* fp = fdopen(fd, "r+b");
    if (!fp) {
        close(fd);
        return OPEN_ERROR;
    }
    long r = wipe_passes(fp, long(st.st_size), options);
    // Truncate through the open descriptor (never by name, which could now
    // point elsewhere), then remove the name if it still is this file.
    if (r == 0 && (fflush(fp) != 0 || ftruncate(fileno(fp), 0) != 0 || fsync(fileno(fp)) != 0))
        r = WIPE_ERROR;
    if (fclose(fp) != 0 && r == 0) r = WIPE_ERROR;
    if (r != 0) {
        eprintf("Failed to wipe '%s'", name);
        return r;
    }
    struct stat now;
    if (lstat(name, &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino || unlink(name) != 0) {
        eprintf("Wiped '%s' but could not remove it", name);
        return WIPE_ERROR;
    }
    return 0;
}
