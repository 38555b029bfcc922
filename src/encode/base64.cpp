// Base64 (RFC 4648 section 4) and the base64url conversions (section 5).
#include <cstring>

#include "encode/encode.h"
#include "util/ct.h"

namespace {

// Base64 carries PEM private keys, so symbols are computed rather than looked
// up in a table, and decoding is branch-free on the character's value; only
// whether a character belongs to the alphabet steers the decoder (white space
// and line breaks are public).

// Six bits to a symbol of "A-Za-z0-9+/".
char b64_symbol(uint32_t v) {
    using namespace velt::ct;
    uint64_t c = 'A' + v;
    c += mask_le(26, v) & uint64_t('a' - 'A' - 26);
    c += mask_le(52, v) & uint64_t(int64_t('0') - 'a' - 26);
    c += mask_eq(62, v) & uint64_t(int64_t('+') - '0' - 10);
    c += mask_eq(63, v) & uint64_t(int64_t('/') - '0' - 11);
    return char(c);
}

// 0-63 for a symbol of the alphabet, -1 otherwise.
int b64_value(unsigned char ch) {
    using namespace velt::ct;
    uint64_t c = ch;
    uint64_t up = c - 'A', lo = c - 'a', dg = c - '0';
    uint64_t is_up = mask_lt(up, 26), is_lo = mask_lt(lo, 26), is_dg = mask_lt(dg, 10);
    uint64_t is_plus = mask_eq(c, '+'), is_slash = mask_eq(c, '/');
    uint64_t v = (is_up & up) | (is_lo & (lo + 26)) | (is_dg & (dg + 52)) | (is_plus & 62) | (is_slash & 63);
    uint64_t any = is_up | is_lo | is_dg | is_plus | is_slash;
    return int(int64_t(v | ~any));
}

}  // namespace

long b64encode(char* output, long size, const unsigned char* bytes, long count) {
    if (!output || size < 1) return 0;
    long in = 0, out = 0;
    // Whole groups while at least 3 bytes remain and more than 4 bytes of
    // output space remain (room for the group and the NUL).
    while (count - in >= 3 && size - out > 4) {
        uint32_t v = (uint32_t(bytes[in]) << 16) | (uint32_t(bytes[in + 1]) << 8) | bytes[in + 2];
        output[out++] = b64_symbol((v >> 18) & 63);
        output[out++] = b64_symbol((v >> 12) & 63);
        output[out++] = b64_symbol((v >> 6) & 63);
        output[out++] = b64_symbol(v & 63);
        in += 3;
    }
    long rest = count - in;
    if ((rest == 1 || rest == 2) && size - out >= 5) {
        uint32_t v = uint32_t(bytes[in]) << 16;
        if (rest == 2) v |= uint32_t(bytes[in + 1]) << 8;
        output[out++] = b64_symbol((v >> 18) & 63);
        output[out++] = b64_symbol((v >> 12) & 63);
        output[out++] = rest == 2 ? b64_symbol((v >> 6) & 63) : '=';
        output[out++] = '=';
    }
    output[out] = '\0';
    return out;
}

long b64decode(unsigned char* output, long max_bytes, const char* string) {
    if (!string) return 0;
    long n = 0;
    uint32_t acc = 0;
    int pending = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(string); *p && *p != '='; ++p) {
        int v = b64_value(*p);
        if (v < 0) continue;
        acc = (acc << 6) | uint32_t(v);
        if (++pending == 4) {
            if (max_bytes - n < 3) {
                pending = 0;
                break;
            }
            if (output) {
                output[n] = uint8_t(acc >> 16);
                output[n + 1] = uint8_t(acc >> 8);
                output[n + 2] = uint8_t(acc);
            }
            n += 3;
            acc = 0;
            pending = 0;
        }
    }
    if (pending == 2 && max_bytes - n >= 1) {
        if (output) output[n] = uint8_t(acc >> 4);
        n += 1;
    } else if (pending == 3 && max_bytes - n >= 2) {
        if (output) {
            output[n] = uint8_t(acc >> 10);
            output[n + 1] = uint8_t(acc >> 2);
        }
        n += 2;
    }
    return n;
}

long b64tobase64url(char* string) {
    if (!string) return 0;
    char* w = string;
    for (char* r = string; *r; ++r) {
        if (*r == '=') continue;
        *w++ = *r == '+' ? '-' : (*r == '/' ? '_' : *r);
    }
    *w = '\0';
    return long(w - string);
}

long b64frombase64url(char* string) {
    if (!string) return 0;
    char* p = string;
    for (; *p; ++p) {
        if (*p == '-') *p = '+';
        else if (*p == '_') *p = '/';
    }
    return long(p - string);
}

std::string b64_string(const unsigned char* bytes, size_t count) {
    std::string s(4 * ((count + 2) / 3) + 1, '\0');
    long n = b64encode(s.data(), long(s.size()), bytes, long(count));
    s.resize(size_t(n));
    return s;
}

std::vector<uint8_t> b64_bytes(const char* string) {
    if (!string) return {};
    std::vector<uint8_t> out((strlen(string) + 3) / 4 * 3 + 1);
    out.resize(size_t(b64decode(out.data(), long(out.size()), string)));
    return out;
}
