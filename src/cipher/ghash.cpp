#include "cipher/ghash.h"

#include "util/bytes.h"
#include "util/cpu.h"
#include "util/emem.h"

namespace velt::ghash {
namespace {

// Carry-less 64x64 -> low 64 bits with ordinary multiplies: each operand is
// split into four interleaved bit sets with three-bit holes, so the carries
// of an integer product land in the holes and are masked away. Time does not
// depend on the operands.
inline uint64_t bmul64(uint64_t x, uint64_t y) {
    const uint64_t m1 = 0x1111111111111111ULL, m2 = m1 << 1, m4 = m1 << 2, m8 = m1 << 3;
    uint64_t x0 = x & m1, x1 = x & m2, x2 = x & m4, x3 = x & m8;
    uint64_t y0 = y & m1, y1 = y & m2, y2 = y & m4, y3 = y & m8;
    uint64_t z0 = (x0 * y0) ^ (x1 * y3) ^ (x2 * y2) ^ (x3 * y1);
    uint64_t z1 = (x0 * y1) ^ (x1 * y0) ^ (x2 * y3) ^ (x3 * y2);
    uint64_t z2 = (x0 * y2) ^ (x1 * y1) ^ (x2 * y0) ^ (x3 * y3);
    uint64_t z3 = (x0 * y3) ^ (x1 * y2) ^ (x2 * y1) ^ (x3 * y0);
    return (z0 & m1) | (z1 & m2) | (z2 & m4) | (z3 & m8);
}

inline uint64_t rev64(uint64_t x) {
    x = ((x >> 1) & 0x5555555555555555ULL) | ((x & 0x5555555555555555ULL) << 1);
    x = ((x >> 2) & 0x3333333333333333ULL) | ((x & 0x3333333333333333ULL) << 2);
    x = ((x >> 4) & 0x0F0F0F0F0F0F0F0FULL) | ((x & 0x0F0F0F0F0F0F0F0FULL) << 4);
    return __builtin_bswap64(x);
}

}  // namespace

void init(Key& key, const uint8_t h[16]) {
    key.h_hi = load_be64(h);
    key.h_lo = load_be64(h + 8);
    key.clmul = cpu::has(cpu::kPclmul | cpu::kSse41 | cpu::kSsse3);
    key.npow = 0;
    if (key.clmul) powers_pclmul(key, 1);
}

void ensure_powers(Key& key, int n) {
    if (key.clmul && key.npow < n) powers_pclmul(key, n);
}

void clear(Key& key) {
    ewipe(key.pow, 16 * size_t(key.npow));
    key.npow = 0;
    key.h_hi = key.h_lo = 0;
    ewipe(&key.h_hi, sizeof key.h_hi);
    ewipe(&key.h_lo, sizeof key.h_lo);
}

void update(Key& key, uint8_t y[16], const uint8_t* data, size_t nblocks) {
    if (key.clmul && cpu::has(cpu::kPclmul | cpu::kSse41 | cpu::kSsse3)) {
        if (nblocks >= 8) ensure_powers(key, 8);
        update_pclmul(key, y, data, nblocks);
    } else {
        update_portable(key, y, data, nblocks);
    }
}

// GF(2^128) multiplication in the bit-reflected convention of GCM: the
// 128x128 carry-less product is formed from 64-bit halves by Karatsuba, once
// on the operands and once on their bit reversals (giving the upper halves of
// the 64-bit products), shifted by one and reduced modulo
// x^128 + x^7 + x^2 + x + 1.
void update_portable(const Key& key, uint8_t y[16], const uint8_t* data, size_t nblocks) {
    // y1 and h1 are the first (lowest-degree) halves, y0 and h0 the second.
    uint64_t y1 = load_be64(y), y0 = load_be64(y + 8);
    const uint64_t h1 = key.h_hi, h0 = key.h_lo;
    const uint64_t h0r = rev64(h0), h1r = rev64(h1), h2 = h0 ^ h1, h2r = h0r ^ h1r;
    while (nblocks--) {
        y1 ^= load_be64(data);
        y0 ^= load_be64(data + 8);
        data += 16;
        uint64_t y0r = rev64(y0), y1r = rev64(y1), y2 = y0 ^ y1, y2r = y0r ^ y1r;
        uint64_t z0 = bmul64(y0, h0), z1 = bmul64(y1, h1), z2 = bmul64(y2, h2);
        uint64_t z0h = bmul64(y0r, h0r), z1h = bmul64(y1r, h1r), z2h = bmul64(y2r, h2r);
        z2 ^= z0 ^ z1;
        z2h ^= z0h ^ z1h;
        z0h = rev64(z0h) >> 1;
        z1h = rev64(z1h) >> 1;
        z2h = rev64(z2h) >> 1;
        uint64_t v0 = z0, v1 = z0h ^ z2, v2 = z1 ^ z2h, v3 = z1h;
        v3 = (v3 << 1) | (v2 >> 63);
        v2 = (v2 << 1) | (v1 >> 63);
        v1 = (v1 << 1) | (v0 >> 63);
        v0 = v0 << 1;
        v2 ^= v0 ^ (v0 >> 1) ^ (v0 >> 2) ^ (v0 >> 7);
        v1 ^= (v0 << 63) ^ (v0 << 62) ^ (v0 << 57);
        v3 ^= v1 ^ (v1 >> 1) ^ (v1 >> 2) ^ (v1 >> 7);
        v2 ^= (v1 << 63) ^ (v1 << 62) ^ (v1 << 57);
        y0 = v2;
        y1 = v3;
    }
    store_be64(y, y1);
    store_be64(y + 8, y0);
}

}  // namespace velt::ghash
