// Writing key files: a temporary file beside the target, renamed over it.
#include "ecc/ec_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "encode/encode.h"
#include "frame/error.h"
#include "rng/rng.h"
#include "util/emem.h"

namespace velt::ecc {

namespace {

SecureString pem_text(const uint8_t* der, size_t len, const char* label) {
    SecureString b64(4 * ((len + 2) / 3) + 1, '\0');
    long n = b64encode(b64.data(), long(b64.size()), der, long(len));
    b64.resize(n > 0 ? size_t(n) : 0);
    SecureString out = "-----BEGIN ";
    out += label;
    out += "-----\n";
    for (size_t i = 0; i < b64.size(); i += 64) {
        out.append(b64, i, 64);
        out += '\n';
    }
    out += "-----END ";
    out += label;
    out += "-----\n";
    return out;
}

bool write_all(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

long create_error(const char* path) {
    eprintf("Unable to create file '%s'", path);
    return -CREATE_ERROR;
}

}  // namespace

long ecWriteKeyFile(const char* path, const uint8_t* der, size_t len, const char* label, bool secret) {
    if (!path || !*path) return -BAD_PARAM_ERROR;
    struct stat st;
    if (::lstat(path, &st) == 0 && !S_ISREG(st.st_mode)) return create_error(path);
    SecureString text;
    const char* data = reinterpret_cast<const char*>(der);
    size_t n = len;
    if (label) {
        text = pem_text(der, len, label);
        data = text.data();
        n = text.size();
    }
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 10 && fd < 0; ++attempt) {
        uint8_t r[8];
        if (rngNonce(r, sizeof r) != 0) return create_error(path);
        tmp = std::string(path) + ".tmp.";
        for (uint8_t b : r) tmp += kChars[b % 36];
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, secret ? 0600 : 0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return create_error(path);
    bool ok = write_all(fd, data, n);
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        ::unlink(tmp.c_str());
        eprintf("Unable to write file '%s'", path);
        return -WRITE_ERROR;
    }
    if (::rename(tmp.c_str(), path) != 0) {
        ::unlink(tmp.c_str());
        return create_error(path);
    }
    return 0;
}

}  // namespace velt::ecc
