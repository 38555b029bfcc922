// Hexadecimal encoders and decoders.
#include <cstring>

#include "encode/encode.h"

namespace {

constexpr char kUpper[] = "0123456789ABCDEF";
constexpr char kLower[] = "0123456789abcdef";

int hex_value(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

long encode_with(const char* digits, char* output, long size, const unsigned char* bytes, long count) {
    if (!output || size < 1) return 0;
    long pairs = (size - 1) / 2;
    if (count < pairs) pairs = count;
    if (pairs < 0) pairs = 0;
    for (long i = 0; i < pairs; ++i) {
        output[2 * i] = digits[bytes[i] >> 4];
        output[2 * i + 1] = digits[bytes[i] & 0x0F];
    }
    output[2 * pairs] = '\0';
    return 2 * pairs;
}

}  // namespace

long hexencode(char* output, long size, const unsigned char* bytes, long count) {
    return encode_with(kUpper, output, size, bytes, count);
}

long hexencodelc(char* output, long size, const unsigned char* bytes, long count) {
    return encode_with(kLower, output, size, bytes, count);
}

char* bytes2hexstr(char* output, const unsigned char* bytes, long count) {
    encode_with(kUpper, output, 2 * count + 1, bytes, count);
    return output;
}

char* bytes2hexstrlower(char* output, const unsigned char* bytes, long count) {
    encode_with(kLower, output, 2 * count + 1, bytes, count);
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
    const char* digits = upper ? kUpper : kLower;
    for (size_t i = 0; i < count; ++i) {
        s[2 * i] = digits[bytes[i] >> 4];
        s[2 * i + 1] = digits[bytes[i] & 0x0F];
    }
    return s;
}

std::vector<uint8_t> hex_bytes(const char* string) {
    if (!string) return {};
    std::vector<uint8_t> out(strlen(string) / 2 + 1);
    out.resize(size_t(hexdecode(out.data(), long(out.size()), string)));
    return out;
}
