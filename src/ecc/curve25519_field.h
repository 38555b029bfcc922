// Arithmetic modulo p = 2^255 - 19 in radix 2^51: five 64-bit limbs, products
// in unsigned __int128. Every operation is branch-free and its memory access
// pattern is fixed, so secret operands take the same path as public ones.
//
// Limb bounds: fe25519_mul/sqr/add/sub/carry return limbs below 2^51 + 2^14;
// they accept limbs below 2^54. fe25519_tobytes gives the unique encoding in
// [0, p).
#pragma once

#include <cstdint>

#include "util/bytes.h"
#include "util/ct.h"

namespace velt::ecc::safe {

using u128 = unsigned __int128;

struct Fe25519 {
    uint64_t v[5];
};

inline constexpr uint64_t kMask51 = (uint64_t(1) << 51) - 1;

inline void fe25519_zero(Fe25519& r) {
    r = Fe25519{{0, 0, 0, 0, 0}};
}
inline void fe25519_one(Fe25519& r) {
    r = Fe25519{{1, 0, 0, 0, 0}};
}

// One carry pass; the carry out of the top limb re-enters as 19 (2^255 = 19).
inline void fe25519_carry(Fe25519& r) {
    uint64_t c;
    c = r.v[0] >> 51, r.v[0] &= kMask51, r.v[1] += c;
    c = r.v[1] >> 51, r.v[1] &= kMask51, r.v[2] += c;
    c = r.v[2] >> 51, r.v[2] &= kMask51, r.v[3] += c;
    c = r.v[3] >> 51, r.v[3] &= kMask51, r.v[4] += c;
    c = r.v[4] >> 51, r.v[4] &= kMask51, r.v[0] += 19 * c;
}

inline void fe25519_add(Fe25519& r, const Fe25519& a, const Fe25519& b) {
    for (int i = 0; i < 5; ++i) r.v[i] = a.v[i] + b.v[i];
    fe25519_carry(r);
}

// a - b + 4p keeps every limb positive for b below 2^53.
inline void fe25519_sub(Fe25519& r, const Fe25519& a, const Fe25519& b) {
    r.v[0] = a.v[0] + 0x1FFFFFFFFFFFB4 - b.v[0];
    for (int i = 1; i < 5; ++i) r.v[i] = a.v[i] + 0x1FFFFFFFFFFFFC - b.v[i];
    fe25519_carry(r);
}

// Sums and differences without the carry pass, for operands that come
// straight from a multiplication (limbs below 2^51 + 2^14): the results stay
// below 2^54 and go only into a multiplication (the Montgomery ladder).
inline void fe25519_add_nc(Fe25519& r, const Fe25519& a, const Fe25519& b) {
    for (int i = 0; i < 5; ++i) r.v[i] = a.v[i] + b.v[i];
}
inline void fe25519_sub_nc(Fe25519& r, const Fe25519& a, const Fe25519& b) {
    r.v[0] = a.v[0] + 0x1FFFFFFFFFFFB4 - b.v[0];
    for (int i = 1; i < 5; ++i) r.v[i] = a.v[i] + 0x1FFFFFFFFFFFFC - b.v[i];
}

inline void fe25519_neg(Fe25519& r, const Fe25519& a) {
    Fe25519 z;
    fe25519_zero(z);
    fe25519_sub(r, z, a);
}

// Reduces five 128-bit column sums to limbs below 2^51 + 2^14.
inline void fe25519_reduce_wide(Fe25519& r, u128 t0, u128 t1, u128 t2, u128 t3, u128 t4) {
    t1 += uint64_t(t0 >> 51);
    uint64_t r0 = uint64_t(t0) & kMask51;
    t2 += uint64_t(t1 >> 51);
    uint64_t r1 = uint64_t(t1) & kMask51;
    t3 += uint64_t(t2 >> 51);
    uint64_t r2 = uint64_t(t2) & kMask51;
    t4 += uint64_t(t3 >> 51);
    uint64_t r3 = uint64_t(t3) & kMask51;
    uint64_t c = uint64_t(t4 >> 51);
    uint64_t r4 = uint64_t(t4) & kMask51;
    r0 += c * 19;
    r1 += r0 >> 51;
    r0 &= kMask51;
    r.v[0] = r0, r.v[1] = r1, r.v[2] = r2, r.v[3] = r3, r.v[4] = r4;
}

inline void fe25519_mul(Fe25519& r, const Fe25519& a, const Fe25519& b) {
    const uint64_t a0 = a.v[0], a1 = a.v[1], a2 = a.v[2], a3 = a.v[3], a4 = a.v[4];
    const uint64_t b0 = b.v[0], b1 = b.v[1], b2 = b.v[2], b3 = b.v[3], b4 = b.v[4];
    const uint64_t b1_19 = 19 * b1, b2_19 = 19 * b2, b3_19 = 19 * b3, b4_19 = 19 * b4;
    u128 t0 = u128(a0) * b0 + u128(a1) * b4_19 + u128(a2) * b3_19 + u128(a3) * b2_19 + u128(a4) * b1_19;
    u128 t1 = u128(a0) * b1 + u128(a1) * b0 + u128(a2) * b4_19 + u128(a3) * b3_19 + u128(a4) * b2_19;
    u128 t2 = u128(a0) * b2 + u128(a1) * b1 + u128(a2) * b0 + u128(a3) * b4_19 + u128(a4) * b3_19;
    u128 t3 = u128(a0) * b3 + u128(a1) * b2 + u128(a2) * b1 + u128(a3) * b0 + u128(a4) * b4_19;
    u128 t4 = u128(a0) * b4 + u128(a1) * b3 + u128(a2) * b2 + u128(a3) * b1 + u128(a4) * b0;
    fe25519_reduce_wide(r, t0, t1, t2, t3, t4);
}

inline void fe25519_sqr(Fe25519& r, const Fe25519& a) {
    const uint64_t a0 = a.v[0], a1 = a.v[1], a2 = a.v[2], a3 = a.v[3], a4 = a.v[4];
    const uint64_t d0 = 2 * a0, d1 = 2 * a1, d2 = 2 * a2;
    const uint64_t a3_19 = 19 * a3, a4_19 = 19 * a4;
    u128 t0 = u128(a0) * a0 + u128(d1) * a4_19 + u128(d2) * a3_19;
    u128 t1 = u128(d0) * a1 + u128(d2) * a4_19 + u128(a3) * a3_19;
    u128 t2 = u128(d0) * a2 + u128(a1) * a1 + u128(2 * a3) * a4_19;
    u128 t3 = u128(d0) * a3 + u128(d1) * a2 + u128(a4) * a4_19;
    u128 t4 = u128(d0) * a4 + u128(d1) * a3 + u128(a2) * a2;
    fe25519_reduce_wide(r, t0, t1, t2, t3, t4);
}

// a squared n times (n >= 1).
inline void fe25519_sqrn(Fe25519& r, const Fe25519& a, int n) {
    fe25519_sqr(r, a);
    for (int i = 1; i < n; ++i) fe25519_sqr(r, r);
}

inline void fe25519_mul_small(Fe25519& r, const Fe25519& a, uint32_t k) {
    fe25519_reduce_wide(r, u128(a.v[0]) * k, u128(a.v[1]) * k, u128(a.v[2]) * k, u128(a.v[3]) * k,
                        u128(a.v[4]) * k);
}

// Replaces r by a when mask is all-ones.
inline void fe25519_cmov(Fe25519& r, const Fe25519& a, uint64_t mask) {
    for (int i = 0; i < 5; ++i) r.v[i] = ct::select(mask, a.v[i], r.v[i]);
}

// Exchanges a and b when mask is all-ones.
inline void fe25519_cswap(Fe25519& a, Fe25519& b, uint64_t mask) {
    for (int i = 0; i < 5; ++i) {
        uint64_t t = mask & (a.v[i] ^ b.v[i]);
        a.v[i] ^= t;
        b.v[i] ^= t;
    }
}

// Reads 32 little-endian bytes; bit 255 is ignored (RFC 7748 section 5).
// Values in [p, 2^255) are accepted and reduced by the arithmetic.
inline void fe25519_frombytes(Fe25519& r, const uint8_t s[32]) {
    r.v[0] = load_le64(s) & kMask51;
    r.v[1] = (load_le64(s + 6) >> 3) & kMask51;
    r.v[2] = (load_le64(s + 12) >> 6) & kMask51;
    r.v[3] = (load_le64(s + 19) >> 1) & kMask51;
    r.v[4] = (load_le64(s + 24) >> 12) & kMask51;
}

// Writes the canonical encoding (value in [0, p)).
inline void fe25519_tobytes(uint8_t s[32], const Fe25519& a) {
    Fe25519 t = a;
    fe25519_carry(t);
    fe25519_carry(t);
    fe25519_carry(t);
    // t < 2^255 now; t >= p exactly when t + 19 carries out of bit 255.
    uint64_t w[5];
    uint64_t c = 19;
    for (int i = 0; i < 5; ++i) {
        w[i] = t.v[i] + c;
        c = w[i] >> 51;
        w[i] &= kMask51;
    }
    uint64_t m = ct::mask_from_bit(c);
    for (int i = 0; i < 5; ++i) t.v[i] = ct::select(m, w[i], t.v[i]);
    store_le64(s, t.v[0] | (t.v[1] << 51));
    store_le64(s + 8, (t.v[1] >> 13) | (t.v[2] << 38));
    store_le64(s + 16, (t.v[2] >> 26) | (t.v[3] << 25));
    store_le64(s + 24, (t.v[3] >> 39) | (t.v[4] << 12));
}

// 1 when a is zero mod p, 0 otherwise; constant time.
inline int fe25519_iszero(const Fe25519& a) {
    uint8_t s[32];
    fe25519_tobytes(s, a);
    return ct::is_zero(s, 32);
}

// Low bit of the canonical value (the "sign" of RFC 8032).
inline int fe25519_isnegative(const Fe25519& a) {
    uint8_t s[32];
    fe25519_tobytes(s, a);
    return s[0] & 1;
}

// a^(2^250 - 1) and a^11, the common prefix of the inversion and square-root chains.
inline void fe25519_pow_2_250_1(Fe25519& r, Fe25519& z11, const Fe25519& z) {
    Fe25519 t0, t1, t2, z9;
    fe25519_sqr(t0, z);        // z^2
    fe25519_sqrn(t1, t0, 2);   // z^8
    fe25519_mul(z9, t1, z);    // z^9
    fe25519_mul(z11, z9, t0);  // z^11
    fe25519_sqr(t0, z11);      // z^22
    fe25519_mul(t0, t0, z9);   // z^31 = z^(2^5 - 1)
    fe25519_sqrn(t1, t0, 5);
    fe25519_mul(t0, t1, t0);  // 2^10 - 1
    fe25519_sqrn(t1, t0, 10);
    fe25519_mul(t1, t1, t0);  // 2^20 - 1
    fe25519_sqrn(t2, t1, 20);
    fe25519_mul(t1, t2, t1);  // 2^40 - 1
    fe25519_sqrn(t1, t1, 10);
    fe25519_mul(t0, t1, t0);  // 2^50 - 1
    fe25519_sqrn(t1, t0, 50);
    fe25519_mul(t1, t1, t0);  // 2^100 - 1
    fe25519_sqrn(t2, t1, 100);
    fe25519_mul(t1, t2, t1);  // 2^200 - 1
    fe25519_sqrn(t1, t1, 50);
    fe25519_mul(r, t1, t0);  // 2^250 - 1
}

// a^(p - 2) = a^-1 (0 for a = 0), by a fixed chain.
inline void fe25519_invert(Fe25519& r, const Fe25519& a) {
    Fe25519 t, z11;
    fe25519_pow_2_250_1(t, z11, a);
    fe25519_sqrn(t, t, 5);   // 2^255 - 32
    fe25519_mul(r, t, z11);  // 2^255 - 21 = p - 2
}

// a^((p - 5) / 8) = a^(2^252 - 3), used for square roots.
inline void fe25519_pow22523(Fe25519& r, const Fe25519& a) {
    Fe25519 t, z11;
    fe25519_pow_2_250_1(t, z11, a);
    fe25519_sqrn(t, t, 2);  // 2^252 - 4
    fe25519_mul(r, t, a);   // 2^252 - 3
}

}  // namespace velt::ecc::safe
