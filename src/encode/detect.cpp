// Character classes, format detectors and filters. The classes come from the
// library's own table so that the result never depends on the C locale;
// bytes 128 to 255 belong to no class.
#include "encode/encode.h"

namespace {

enum : uint8_t { kHex = 1, kSpace = 2, kPunct = 4, kB64 = 8, kB64Url = 16 };

constexpr auto kClassTable = [] {
    struct Table {
        uint8_t c[256];
    } t{};
    for (int i = '0'; i <= '9'; ++i) t.c[i] |= kHex | kB64 | kB64Url;
    for (int i = 'A'; i <= 'Z'; ++i) t.c[i] |= kB64 | kB64Url;
    for (int i = 'a'; i <= 'z'; ++i) t.c[i] |= kB64 | kB64Url;
    for (int i = 'A'; i <= 'F'; ++i) t.c[i] |= kHex;
    for (int i = 'a'; i <= 'f'; ++i) t.c[i] |= kHex;
    for (int i : {' ', '\t', '\n', '\v', '\f', '\r'}) t.c[i] |= kSpace;
    // Printable ASCII that is neither a letter, a digit nor the blank.
    for (int i = 0x21; i <= 0x7E; ++i)
        if (!(t.c[i] & kB64)) t.c[i] |= kPunct;
    t.c[int('+')] |= kB64;
    t.c[int('/')] |= kB64;
    t.c[int('-')] |= kB64Url;
    t.c[int('_')] |= kB64Url;
    return t;
}();

inline uint8_t cls(char c) { return kClassTable.c[static_cast<unsigned char>(c)]; }

// True when every character of s has one of the class bits in mask, or is
// one of the extra characters (at most two, NUL for none).
bool all_in(const char* s, uint8_t mask, char extra = '\0') {
    if (!s) return true;
    for (; *s; ++s)
        if (!(cls(*s) & mask) && !(extra && *s == extra)) return false;
    return true;
}

// Copies the characters of input accepted by keep(), stopping at input_len
// characters or the input's NUL, into a buffer of size bytes (NUL included).
template <class Keep>
long filter(char* output, long size, const char* input, long input_len, Keep keep) {
    if (!output || size < 1) return 0;
    long out = 0;
    if (input) {
        for (long i = 0; i < input_len && input[i] && out < size - 1; ++i)
            if (keep(input[i])) output[out++] = input[i];
    }
    output[out] = '\0';
    return out;
}

}  // namespace

bool is_hexdigit(char c) { return cls(c) & kHex; }
bool is_space(char c) { return cls(c) & kSpace; }
bool is_punct(char c) { return cls(c) & kPunct; }

bool detect_isbase64(const char* s) { return all_in(s, kB64 | kSpace, '='); }
bool detect_isbase64url(const char* s) { return all_in(s, kB64Url | kSpace, '='); }
bool detect_ishexstrict(const char* s) { return all_in(s, kHex); }
bool detect_ishexloose(const char* s) { return all_in(s, kHex | kSpace | kPunct); }

bool dataIs7bit(const unsigned char* bytes, long count) {
    for (long i = 0; bytes && i < count; ++i)
        if (bytes[i] & 0x80) return false;
    return true;
}

long hexfilter(char* output, long size, const char* input, long input_len) {
    return filter(output, size, input, input_len, [](char c) { return is_hexdigit(c); });
}

long b64filter(char* output, long size, const char* input, long input_len) {
    return filter(output, size, input, input_len, [](char c) { return (cls(c) & kB64) || c == '='; });
}
