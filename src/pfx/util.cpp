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

void pkcs12_derive_hash(long alg, uint8_t* out, size_t n, const uint8_t* bmpPassword, size_t pwLen,
                        const uint8_t* salt, size_t saltLen, uint32_t count, int id) {
    if (alg == hash::kSha1) {
        pkcs12_derive(out, n, bmpPassword, pwLen, salt, saltLen, count, id);
        return;
    }
    hash::Hasher h;
    h.init(alg);
    const size_t u = h.length();
    const size_t v = (alg == hash::kSha384 || alg == hash::kSha512) ? 128 : 64;
    // I = S || P, each its input repeated to a whole number of v-octet blocks.
    const size_t slen = (saltLen + v - 1) / v * v, plen = (pwLen + v - 1) / v * v;
    SecureBytes I(slen + plen), D(v, uint8_t(id)), B(v);
    for (size_t i = 0; i < slen; i++) I[i] = salt[i % saltLen];
    for (size_t i = 0; i < plen; i++) I[slen + i] = bmpPassword[i % pwLen];
    uint8_t A[hash::kMaxDigest];
    WipeOnExit wipe_a(A, sizeof A);
    if (count < 1) count = 1;
    for (size_t done = 0; done < n;) {
        h.init(alg);
        h.update(D.data(), v);
        h.update(I.data(), I.size());
        h.final(A);
        for (uint32_t j = 1; j < count; j++) {
            h.init(alg);
            h.update(A, u);
            h.final(A);
        }
        const size_t take = n - done < u ? n - done : u;
        std::memcpy(out + done, A, take);
        done += take;
        if (done >= n) break;
        // I_j = (I_j + B + 1) mod 2^(8v) for every v-octet block of I.
        for (size_t i = 0; i < v; i++) B[i] = A[i % u];
        for (size_t j = 0; j < I.size(); j += v) {
            unsigned carry = 1;
            for (size_t k = v; k-- > 0;) {
                carry += unsigned(I[j + k]) + B[k];
                I[j + k] = uint8_t(carry);
                carry >>= 8;
            }
        }
    }
}

}  // namespace velt::pfx
