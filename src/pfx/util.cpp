// Helpers of the PKCS #12 module: inputs, iteration counts, the password
// form and the PKCS #12 key derivation over the SHA-1 and SHA-2 digests.
#include <sys/stat.h>

#include <cstring>

#include "encode/encode.h"
#include "encode/pem.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "pbe/pbe.h"
#include "pfx/pfx_int.h"
#include "rng/rng.h"
#include "util/futil.h"

namespace velt::pfx {
namespace {

// Base64 text (line breaks and blanks skipped) into octets; false when a
// character is outside the alphabet or nothing decodes.
bool decode_b64(const char* text, size_t n, SecureBytes* out) {
    SecureString clean;
    for (size_t i = 0; i < n; i++) {
        char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
                  c == '/' || c == '=';
        if (!ok) return false;
        clean += c;
    }
    if (clean.empty()) return false;
    out->assign(clean.size() / 4 * 3 + 3, 0);
    long got = b64decode(out->data(), long(out->size()), clean.c_str());
    if (got <= 0) return false;
    out->resize(size_t(got));
    return true;
}

// PEM text: the body of its first block.
bool decode_pem(const char* text, size_t n, SecureBytes* out) {
    size_t body_len = 0;
    const char* body = PEM_FindEncoded(text, n, &body_len);
    return body && body_len && decode_b64(body, body_len, out);
}

}  // namespace

long read_count(const Tlv* integer, uint32_t* count) {
    *count = 1;
    if (!integer) return 0;
    uint64_t v = 0;
    int r = ber_integer(*integer, &v);
    if (r <= 0) {
        eprintf("Iteration count is %s", r < 0 ? "negative" : "malformed");
        return BAD_FORMAT_ERROR;
    }
    if (!pbe_CountAcceptable(v)) {
        eprintf("Iteration count exceeds the limit of %llu", (unsigned long long)kPbeMaxIterations);
        return INVALID_DATA_ERROR;
    }
    *count = clamp_count(v ? uint32_t(v) : 1);
    return 0;
}

uint32_t fresh_count() {
    return uint32_t(rngRange(kPfxCountBase, kPfxCountBase + kPfxCountSpread - 1));
}

long read_input(const char* fileOrString, SecureBytes* der) {
    der->clear();
    long err = 0;
    FILE* f = futil_open_input(fileOrString, kMaxInputFileSize, &err);
    if (f) {
        SecureBytes data;
        long rc = futil_read_stream(f, data, kMaxInputFileSize);
        std::fclose(f);
        if (rc != 0) return rc;
        if (!data.empty() && data[0] == 0x30) {
            der->swap(data);
            return 0;
        }
        SecureString text(data.begin(), data.end());
        if (decode_pem(text.c_str(), text.size(), der) || decode_b64(text.c_str(), text.size(), der))
            return 0;
        eprintf("File %s is not DER, PEM or base64", describe_input(fileOrString).c_str());
        return INVALID_DATA_ERROR;
    }
    // A file that exists but was refused (not a regular file, too large) is
    // not read as text.
    struct stat st;
    if (stat(fileOrString, &st) == 0) return err ? err : OPEN_ERROR;
    const size_t n = std::strlen(fileOrString);
    if (decode_pem(fileOrString, n, der) || decode_b64(fileOrString, n, der)) return 0;
    errclear();
    eprintf("Cannot read %s", describe_input(fileOrString).c_str());
    return INVALID_DATA_ERROR;
}

SecureBytes bmp_password(const char* password) {
    const size_t n = password ? std::strlen(password) : 0;
    SecureBytes bmp(2 * n + 2, 0);
    for (size_t i = 0; i < n; i++) bmp[2 * i + 1] = uint8_t(password[i]);
    return bmp;
}

}  // namespace velt::pfx
