// Base58 with the alphabet that leaves out 0, O, I and l; each leading zero
// byte is written as "1".
#include <cstring>

#include "encode/encode.h"
#include "frame/error.h"

namespace {

constexpr char kAlphabet[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";

int b58_value(unsigned char c) {
    static constexpr auto table = [] {
        struct T {
            int8_t v[256];
        } t{};
        for (auto& x : t.v) x = -1;
        for (int i = 0; i < 58; ++i) t.v[static_cast<unsigned char>(kAlphabet[i])] = int8_t(i);
        return t;
    }();
    return table.v[c];
}

bool b58_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

long base58_Encode(std::string& out, const unsigned char* bytes, size_t count) {
    out.clear();
    if (count > kBase58MaxInput) return -BAD_LENGTH_ERROR;
    size_t z = 0;
    while (z < count && bytes[z] == 0) ++z;
    // log(256) / log(58) < 1.38: enough base-58 digits for the rest.
    std::vector<uint8_t> digits((count - z) * 138 / 100 + 1, 0);
    size_t used = 0;  // digits in use, counted from the end of the buffer
    for (size_t i = z; i < count; ++i) {
        uint32_t carry = bytes[i];
        size_t j = 0;
        for (size_t k = digits.size(); k-- > 0 && (carry != 0 || j < used); ++j) {
            carry += 256u * digits[k];
            digits[k] = uint8_t(carry % 58);
            carry /= 58;
        }
        used = j;
    }
    out.assign(z, '1');
    size_t start = digits.size() - used;
    while (start < digits.size() && digits[start] == 0) ++start;
    for (size_t k = start; k < digits.size(); ++k) out += kAlphabet[digits[k]];
    return long(out.size());
}

long base58_Decode(std::vector<uint8_t>& out, const char* string) {
    out.clear();
    if (!string) return 0;
    if (strnlen(string, kBase58MaxInput + 1) > kBase58MaxInput) return -BAD_LENGTH_ERROR;
    const char* p = string;
    while (b58_space(*p)) ++p;
    size_t z = 0;
    while (*p == '1') {
        ++z;
        ++p;
    }
    // log(58) / log(256) < 0.733: enough bytes for the value.
    std::vector<uint8_t> work(strlen(p) * 733 / 1000 + 1, 0);
    size_t used = 0;
    for (; *p; ++p) {
        if (b58_space(*p)) continue;
        int v = b58_value(static_cast<unsigned char>(*p));
        if (v < 0) return -INVALID_DATA_ERROR;
        uint32_t carry = uint32_t(v);
        size_t j = 0;
        for (size_t k = work.size(); k-- > 0 && (carry != 0 || j < used); ++j) {
            carry += 58u * work[k];
            work[k] = uint8_t(carry);
            carry >>= 8;
        }
        used = j;
    }
    size_t start = work.size() - used;
    while (start < work.size() && work[start] == 0) ++start;
    out.assign(z, 0);
    out.insert(out.end(), work.begin() + long(start), work.end());
    return long(out.size());
}
