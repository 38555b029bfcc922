// Base58 with the alphabet that leaves out 0, O, I and l; each leading zero
// byte is written as "1".
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

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

// Both directions convert between radices with schoolbook arithmetic on
// wide limbs: base-58^5 limbs fed 32 bits at a time (encoding) and base-2^32
// limbs fed five base-58 digits at a time (decoding). Every step stays below
// 2^63: a limb below 2^32 times 58^5 (< 2^30), or a limb below 58^5 times
// 2^32, plus a carry below 2^32.
namespace {

constexpr uint64_t kPow58_5 = 58ull * 58 * 58 * 58 * 58;  // 656356768

}  // namespace

long base58_Encode(std::string& out, const unsigned char* bytes, size_t count) {
    out.clear();
    if (count > kBase58MaxInput) return -BAD_LENGTH_ERROR;
    size_t z = 0;
    while (z < count && bytes[z] == 0) ++z;
    // Little-endian limbs of base 58^5; log(2^32) / log(58^5) < 1.093.
    std::vector<uint64_t> limbs;
    limbs.reserve((count - z) / 4 * 1093 / 1000 + 2);
    size_t i = z;
    while (i < count) {
        size_t take = (count - i) % 4 ? (count - i) % 4 : 4;  // a short first group, then whole words
        uint64_t carry = 0;
        for (size_t k = 0; k < take; ++k) carry = (carry << 8) | bytes[i + k];
        const unsigned shift = unsigned(8 * take);
        i += take;
        for (uint64_t& limb : limbs) {
            uint64_t x = (limb << shift) | carry;
            limb = x % kPow58_5;
            carry = x / kPow58_5;
        }
        while (carry) {
            limbs.push_back(carry % kPow58_5);
            carry /= kPow58_5;
        }
    }
    std::string digits;
    digits.reserve(limbs.size() * 5);
    for (uint64_t limb : limbs) {
        for (int k = 0; k < 5; ++k) {
            digits += kAlphabet[limb % 58];
            limb /= 58;
        }
    }
    while (!digits.empty() && digits.back() == '1') digits.pop_back();  // leading zeros of the value
    out.assign(z, '1');
    out.append(digits.rbegin(), digits.rend());
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
    std::vector<uint8_t> values;
    values.reserve(strlen(p));
    for (; *p; ++p) {
        if (b58_space(*p)) continue;
        int v = b58_value(static_cast<unsigned char>(*p));
        if (v < 0) return -INVALID_DATA_ERROR;
        values.push_back(uint8_t(v));
    }
    // Little-endian limbs of base 2^32; log(58^5) / log(2^32) < 0.916.
    std::vector<uint64_t> limbs;
    limbs.reserve(values.size() / 5 * 916 / 1000 + 2);
    size_t i = 0;
    while (i < values.size()) {
        size_t take = (values.size() - i) % 5 ? (values.size() - i) % 5 : 5;
        uint64_t carry = 0, mul = 1;
        for (size_t k = 0; k < take; ++k) {
            carry = carry * 58 + values[i + k];
            mul *= 58;
        }
        i += take;
        for (uint64_t& limb : limbs) {
            uint64_t x = limb * mul + carry;
            limb = x & 0xFFFFFFFFu;
            carry = x >> 32;
        }
        while (carry) {
            limbs.push_back(carry & 0xFFFFFFFFu);
            carry >>= 32;
        }
    }
    out.assign(z, 0);
    bool started = false;
    for (size_t k = limbs.size(); k-- > 0;) {
        for (int b = 3; b >= 0; --b) {
            uint8_t byte = uint8_t(limbs[k] >> (8 * b));
            if (!started && byte == 0) continue;
            started = true;
            out.push_back(byte);
        }
    }
    return long(out.size());
}
