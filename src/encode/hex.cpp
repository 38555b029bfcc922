// Hexadecimal encoders and decoders.
#include <cstring>

#include "encode/encode.h"
#include "util/ct.h"

namespace {

// Hex text often carries keys, so digits are computed rather than looked up
// in a table and decoding is branch-free on the character's value; only
// whether a character is a hex digit at all steers the decoder.

// Nibble to digit: '0' + n, plus the gap to the letters when n > 9
// (7 up to 'A', 39 up to 'a').
char digit(uint32_t n, uint32_t gap) {
    uint32_t above9 = uint32_t(velt::ct::mask_lt(9, n));
    return char('0' + n + (above9 & gap));
}

constexpr uint32_t kUpperGap = 7;
constexpr uint32_t kLowerGap = 39;

// 0-15 for a hex digit, -1 otherwise.
int hex_value(unsigned char c) {
    using namespace velt::ct;
    uint64_t d = uint64_t(c) - '0';
    uint64_t l = (uint64_t(c) | 0x20) - 'a';  // folds A-F onto a-f
    uint64_t is_d = mask_lt(d, 10);
    uint64_t is_l = mask_lt(l, 6);
    uint64_t v = (is_d & d) | (is_l & (l + 10)) | ~(is_d | is_l);
    return int(int64_t(v));
}

long encode_with(uint32_t gap, char* output, long size, const unsigned char* bytes, long count) {
    if (!output || size < 1) return 0;
    long pairs = (size - 1) / 2;
    if (count < pairs) pairs = count;
    if (pairs < 0) pairs = 0;
    for (long i = 0; i < pairs; ++i) {
        output[2 * i] = digit(bytes[i] >> 4, gap);
        output[2 * i + 1] = digit(bytes[i] & 0x0F, gap);
    }
    output[2 * pairs] = '\0';
    return 2 * pairs;
}

}  // namespace

long hexencode(char* output, long size, const unsigned char* bytes, long count) {
    return encode_with(kUpperGap, output, size, bytes, count);
}

long hexencodelc(char* output, long size, const unsigned char* bytes, long count) {
    return encode_with(kLowerGap, output, size, bytes, count);
}

char* bytes2hexstr(char* output, const unsigned char* bytes, long count) {
    encode_with(kUpperGap, output, 2 * count + 1, bytes, count);
    return output;
}

char* bytes2hexstrlower(char* output, const unsigned char* bytes, long count) {
    encode_with(kLowerGap, output, 2 * count + 1, bytes, count);
    return output;
}

long hexdecode(unsigned char* output, long max_bytes, const char* string) {
    if (!string) return 0;
    long n = 0;
    int high = -1;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(string); *p && n < max_bytes; ++p) {
        int v = hex_value(*p);
        if (v < 0) continue;
        if (high < 0) {
            high = v;
        } else {
            if (output) output[n] = static_cast<unsigned char>((high << 4) | v);
            ++n;
            high = -1;
        }
    }
    return n;
}

long hexstr2bytes_strict(unsigned char* output, const char* string, long max_bytes) {
    if (!string) return -1;
    size_t len = strlen(string);
    if (len % 2 != 0) return -1;
    for (size_t i = 0; i < len; ++i)
        if (hex_value(static_cast<unsigned char>(string[i])) < 0) return -1;
    long pairs = long(len / 2);
    for (long i = 0; i < pairs && i < max_bytes; ++i) {
        if (output)
            output[i] = static_cast<unsigned char>((hex_value(static_cast<unsigned char>(string[2 * i])) << 4) |
                                                   hex_value(static_cast<unsigned char>(string[2 * i + 1])));
    }
    return pairs;
}

long hexstr2bytes(unsigned char* output, const char* string, long max_bytes) {
    long r = hexstr2bytes_strict(output, string, max_bytes);
    return r < 0 ? 0 : r;
}

std::string hex_string(const unsigned char* bytes, size_t count, bool upper) {
    std::string s(2 * count, '\0');
    uint32_t gap = upper ? kUpperGap : kLowerGap;
    for (size_t i = 0; i < count; ++i) {
        s[2 * i] = digit(bytes[i] >> 4, gap);
        s[2 * i + 1] = digit(bytes[i] & 0x0F, gap);
    }
    return s;
}

std::vector<uint8_t> hex_bytes(const char* string) {
    if (!string) return {};
    std::vector<uint8_t> out(strlen(string) / 2 + 1);
    out.resize(size_t(hexdecode(out.data(), long(out.size()), string)));
    return out;
}
