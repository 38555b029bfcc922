// ISO/IEC 9796-1 message redundancy for signatures with message recovery:
// the message is repeated to fill half the block, each octet interleaved
// with its shadow (the nibble permutation of the standard), the padding
// indicator XORed at the start of the message, 6 in the last nibble and the
// top bit of a (kbits - 1)-bit value set.
#include <cstring>
#include <vector>

#include "frame/error.h"
#include "rsa/rsa.h"

namespace {

constexpr uint8_t kShadow[16] = {0xE, 0x3, 0x5, 0x8, 0x9, 0x4, 0x2, 0xF, 0x0, 0xD, 0xB, 0x6, 0x7, 0xA, 0xC, 0x1};
constexpr uint8_t kInverse[16] = {0x8, 0xF, 0x6, 0x1, 0x5, 0x2, 0xB, 0xC, 0x3, 0x4, 0xD, 0xA, 0xE, 0x9, 0x0, 0x7};

uint8_t shadow(uint8_t v) { return uint8_t((kShadow[v >> 4] << 4) | kShadow[v & 0x0F]); }

// The encoded value in L = (kbits + 7) / 8 octets; false when the sizes do
// not allow it.
bool encode_block(std::vector<uint8_t>& block, const uint8_t* m, size_t z, size_t kbits) {
    const long L = long((kbits + 7) / 8), t = long((kbits + 13) / 16), zl = long(z);
    if (kbits < 16 || z == 0 || zl > t || 2 * t > L) return false;
    block.assign(size_t(L), 0);
    for (long i = 0; i < t; i += zl) {
        if (i > t - zl) {
            std::memcpy(&block[size_t(L - t)], m + (zl - (t - i)), size_t(t - i));
        } else {
            std::memcpy(&block[size_t(L - (i + zl))], m, z);
        }
    }
    for (long i = L - 2 * t; i != L; i += 2) {
        uint8_t val = block[size_t(L - t + i / 2)];
        block[size_t(i)] = shadow(val);
        block[size_t(i + 1)] = val;
    }
    block[size_t(L - 2 * zl)] ^= 1;  // padding indicator r = 1: whole octets
    block[size_t(L - 1)] = uint8_t((block[size_t(L - 1)] << 4) | 0x06);
    const size_t maxBit = 8 - (kbits - 1) % 8;
    if (maxBit != 8) {
        block[0] &= uint8_t(0xFF >> maxBit);
        block[0] |= uint8_t(0x80 >> maxBit);
    } else {
        block[0] = 0x00;
        block[1] |= 0x80;
    }
    return true;
}

}  // namespace

long rsaIso9796Encode(uint8_t* out, size_t k, const uint8_t* msg, size_t mlen, size_t kbits) {
    if (kbits == 0) kbits = 8 * k;
    std::vector<uint8_t> block;
    if (2 * mlen > k || kbits > 8 * k || !encode_block(block, msg, mlen, kbits)) return BAD_PARAM_ERROR;
    std::memset(out, 0, k);
    std::memcpy(out + (k - block.size()), block.data(), block.size());
    return 0;
}

long rsaIso9796Decode(uint8_t* out, size_t outlen, const uint8_t* blk, size_t blen, size_t kbits) {
    if (kbits == 0) kbits = 8 * blen;
    if (kbits < 16 || kbits > 8 * blen) return -BAD_PARAM_ERROR;
    const size_t L = (kbits + 7) / 8;
    // The value must have exactly kbits - 1 bits and end in the nibble 6.
    for (size_t i = 0; i + L < blen; ++i) {
        if (blk[i]) return -SIGNATURE_ERROR;
    }
    const uint8_t* v = blk + (blen - L);
    size_t bitlen = 0;
    for (size_t i = 0; i < L; ++i) {
        if (v[i]) {
            uint8_t c = v[i];
            size_t nb = 0;
            while (c) {
                ++nb;
                c >>= 1;
            }
            bitlen = (L - i - 1) * 8 + nb;
            break;
        }
    }
    if (bitlen != kbits - 1 || (v[L - 1] & 0x0F) != 0x06) return -SIGNATURE_ERROR;
    // Recover on the value's own octets (kbits - 1 bits).
    const size_t n = (kbits - 1 + 7) / 8;
    std::vector<uint8_t> b(v + (L - n), v + L);
    const long t = long((kbits + 13) / 16), len = long(n);
    b[n - 1] = uint8_t((b[n - 1] >> 4) | (kInverse[b[n - 2] >> 4] << 4));
    b[0] = shadow(b[1]);
    long boundary = -1;
    uint8_t r = 0;
    for (long i = len - 1; i >= len - 2 * t && i >= 1; i -= 2) {
        uint8_t d = uint8_t(b[size_t(i - 1)] ^ shadow(b[size_t(i)]));
        if (d != 0) {
            if (boundary >= 0) return -SIGNATURE_ERROR;
            boundary = i - 1;
            r = d;
        }
    }
    // A message filling half the block has its indicator in the first
    // octet, which the top bits overwrite: no boundary means the whole.
    if (boundary < 0) {
        boundary = 0;
        r = 1;
    }
    if (r < 1 || r > 8) return -SIGNATURE_ERROR;
    const size_t mlen = size_t(len - boundary) / 2;
    std::vector<uint8_t> m(mlen);
    for (size_t i = 0; i < mlen; ++i) m[i] = b[size_t(boundary) + 1 + 2 * i];
    // Re-encode and compare: every octet of redundancy must agree.
    std::vector<uint8_t> again;
    if (!encode_block(again, m.data(), mlen, kbits) || std::memcmp(again.data(), v, L) != 0)
        return -SIGNATURE_ERROR;
    if (out && outlen > 0) {
        if (outlen < mlen) {
            std::memset(out, 0, outlen);
            return -SHORT_BUF_ERROR;
        }
        std::memcpy(out, m.data(), mlen);
    }
    return long(mlen);
}
