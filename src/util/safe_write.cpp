#include "util/safe_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "rng/rng.h"

namespace velt {
namespace {

constexpr int kCreateTries = 16;
// Room left for the temporary name's prefix and suffix under NAME_MAX.
constexpr size_t kBaseKeep = 200;

std::string errtext(int err) {
    char buf[128];
    // GNU strerror_r returns the text (in buf or a static string).
    return strerror_r(err, buf, sizeof buf);
}

const char* kind_of(mode_t m) {
    if (S_ISDIR(m)) return "a directory";
    if (S_ISLNK(m)) return "a symbolic link";
    if (S_ISFIFO(m)) return "a FIFO";
    if (S_ISCHR(m) || S_ISBLK(m)) return "a device";
    if (S_ISSOCK(m)) return "a socket";
    return "not a regular file";
}

// The folder part of a path ("." for a bare name) and the last component.
void split_path(const std::string& path, std::string* dir, std::string* base) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        *dir = ".";
        *base = path;
    } else {
        *dir = slash == 0 ? "/" : path.substr(0, slash);
        *base = path.substr(slash + 1);
    }
}

// A name beside the target: ".<target name>.<12 random characters>". The
// characters need no secrecy (O_EXCL makes a taken name fail, not follow),
// so they come from the non-cryptographic generator and leave the DRBG alone.
std::string temp_name(const std::string& dir, const std::string& base) {
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char r[12];
    pseudorand_bytes(r, sizeof r, pseudorand_seed());
    std::string name = dir == "." ? std::string() : (dir == "/" ? dir : dir + "/");
    name += ".";
    name += base.substr(0, kBaseKeep);
    name += ".";
    for (unsigned char c : r) name += kChars[c % (sizeof kChars - 1)];
    return name;
}

}  // namespace

long SafeWriter::fail(long code, const char* what, int err) {
    detail_ = what;
    if (!target_.empty() && target_.back() != '/') detail_ += " '" + target_ + "'";
    if (err) detail_ += ": " + errtext(err);
    eprintf("%s", detail_.c_str());
    abort();
    return code;
}

long SafeWriter::open(const char* target, WriteMode mode) {
    abort();
    target_ = target ? target : "";
    temp_.clear();
    detail_.clear();
    committed_ = finished_ = existed_ = false;
    if (target_.empty()) return fail(codes_.create, "No output file name", 0);

    struct stat st;
    if (lstat(target_.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            detail_ = "Output file '" + target_ + "' is " + kind_of(st.st_mode) + ": refused, left as it was";
            eprintf("%s", detail_.c_str());
            return codes_.create;
        }
        existed_ = true;
    } else if (errno != ENOENT) {
        return fail(codes_.create, "Cannot examine output file", errno);
    }

    std::string dir, base;
    split_path(target_, &dir, &base);
    if (base.empty()) return fail(codes_.create, "Output file name ends in '/'", 0);
    const mode_t perm = mode == WriteMode::kSecret ? 0600 : 0644;
    int err = 0;
    for (int i = 0; i < kCreateTries; ++i) {
        std::string name = temp_name(dir, base);
        fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, perm);
        if (fd_ >= 0) {
            temp_ = name;
            break;
        }
        err = errno;
        if (err != EEXIST) break;
    }
    if (fd_ < 0) return fail(codes_.create, "Cannot create a temporary file beside", err);
    open_ = true;
    // The file is new and ours; a secret one is narrowed explicitly so that
    // no umask setting can widen it.
    if (mode == WriteMode::kSecret && fchmod(fd_, 0600) != 0)
        return fail(codes_.create, "Cannot set the permissions of the temporary file for", errno);
    if (fstat(fd_, &st) != 0) return fail(codes_.create, "Cannot examine the temporary file for", errno);
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    return 0;
}

long SafeWriter::write(const void* data, size_t n) {
    if (!open_ || finished_) return fail(codes_.write, "Output file is not open", 0);
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t k = ::write(fd_, p, n);
        if (k < 0) {
            if (errno == EINTR) continue;
            return fail(codes_.write, "Cannot write output file", errno);
        }
        if (k == 0) return fail(codes_.write, "Cannot write output file", EIO);
        p += k;
        n -= size_t(k);
    }
    return 0;
}

long SafeWriter::finish() {
    if (!open_) return fail(codes_.flush, "Output file is not open", 0);
    if (finished_) return 0;
    if (fsync(fd_) != 0) return fail(codes_.flush, "Cannot flush output file", errno);
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return fail(codes_.flush, "Cannot close output file", errno);
    finished_ = true;
    return 0;
}

long SafeWriter::commit() {
    if (long r = finish()) return r;
    // The target is checked again: it may have changed since open().
    struct stat st;
    existed_ = false;
    if (lstat(target_.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            detail_ = "Output file '" + target_ + "' is " + kind_of(st.st_mode) + ": refused, left as it was";
            eprintf("%s", detail_.c_str());
            abort();
            return codes_.create;
        }
        existed_ = true;
    }
    if (rename(temp_.c_str(), target_.c_str()) != 0)
        return fail(codes_.create, "Cannot rename the temporary file to", errno);
    committed_ = true;
    open_ = false;
    return 0;
}

void SafeWriter::abort() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (open_ && !committed_ && !temp_.empty()) unlink(temp_.c_str());
    open_ = false;
}

void SafeWriter::undo_commit() {
    if (!committed_ || existed_) return;
    struct stat st;
    if (lstat(target_.c_str(), &st) == 0 && st.st_dev == dev_ && st.st_ino == ino_) unlink(target_.c_str());
    committed_ = false;
}

long safe_write_file(const char* target, const void* data, size_t n, WriteMode mode, WriteCodes codes) {
    SafeWriter w(codes);
    if (long r = w.open(target, mode)) return r;
    if (long r = w.write(data, n)) return r;
    return w.commit();
}

bool safe_same_file(const char* a, const char* b) {
    if (!a || !b) return false;
    if (strcmp(a, b) == 0) return true;
    struct stat sa, sb;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void eprint_headline(const char* format, ...) {
    std::string cause = errmsg();
    char head[512];
    va_list ap;
    va_start(ap, format);
    vsnprintf(head, sizeof head, format, ap);
    va_end(ap);
    eprintf("%s", head);
    if (!cause.empty()) eprintcatf("%s", cause.c_str());
}

}  // namespace velt
