// Arithmetic modulo the Goldilocks prime p = 2^448 - 2^224 - 1 in radix 2^56:
// eight 64-bit limbs, products in unsigned __int128. Reduction uses
// 2^448 = 2^224 + 1 (mod p): a column of weight 2^(56 k), k >= 8, is added
// back at k - 8 and k - 4. Every operation is branch-free with a fixed memory
// access pattern.
//
// Loops over limbs are unrolled explicitly: at -O2 they would stay loops and
// the products would go through memory.
//
// Limb bounds: every operation returns limbs below 2^56 + 2^10 and accepts
// limbs below 2^58. fe448_tobytes gives the unique encoding in [0, p).
#pragma once

#include <cstdint>

#include "util/bytes.h"
#include "util/ct.h"

namespace velt::ecc::safe {

using u128 = unsigned __int128;

struct Fe448 {
    uint64_t v[8];
};

inline constexpr uint64_t kMask56 = (uint64_t(1) << 56) - 1;

inline void fe448_zero(Fe448& r) {
    r = Fe448{{0, 0, 0, 0, 0, 0, 0, 0}};
}
inline void fe448_one(Fe448& r) {
    r = Fe448{{1, 0, 0, 0, 0, 0, 0, 0}};
}

// One carry pass; the carry out of the top limb re-enters at limbs 0 and 4.
inline void fe448_carry(Fe448& r) {
#pragma GCC unroll 16
    for (int i = 0; i < 7; ++i) {
        r.v[i + 1] += r.v[i] >> 56;
        r.v[i] &= kMask56;
    }
    uint64_t c = r.v[7] >> 56;
    r.v[7] &= kMask56;
    r.v[0] += c;
    r.v[4] += c;
}

inline void fe448_add(Fe448& r, const Fe448& a, const Fe448& b) {
#pragma GCC unroll 16
    for (int i = 0; i < 8; ++i) r.v[i] = a.v[i] + b.v[i];
    fe448_carry(r);
}

// a - b + 4p keeps every limb positive for b below 2^58 - 8.
inline void fe448_sub(Fe448& r, const Fe448& a, const Fe448& b) {
#pragma GCC unroll 16
    for (int i = 0; i < 8; ++i) r.v[i] = a.v[i] + (i == 4 ? 0x3FFFFFFFFFFFFF8 : 0x3FFFFFFFFFFFFFC) - b.v[i];
    fe448_carry(r);
}

inline void fe448_neg(Fe448& r, const Fe448& a) {
    Fe448 z;
    fe448_zero(z);
    fe448_sub(r, z, a);
}

// Folds the 128-bit columns c[0..10] (c[11..15] unused) into eight limbs.
inline void fe448_reduce_wide(Fe448& r, u128 c[16]) {
#pragma GCC unroll 16
    for (int k = 10; k >= 8; --k) {
        c[k - 8] += c[k];
        c[k - 4] += c[k];
    }
#pragma GCC unroll 16
    for (int i = 0; i < 7; ++i) {
        c[i + 1] += c[i] >> 56;
        c[i] &= kMask56;
    }
    u128 t = c[7] >> 56;
    c[7] &= kMask56;
    c[0] += t;
    c[4] += t;
    c[1] += c[0] >> 56;
    c[0] &= kMask56;
    c[5] += c[4] >> 56;
    c[4] &= kMask56;
#pragma GCC unroll 16
    for (int i = 0; i < 8; ++i) r.v[i] = uint64_t(c[i]);
}

// Karatsuba on the halves, with phi = 2^224 and phi^2 = phi + 1 (mod p):
// (a0 + a1 phi)(b0 + b1 phi) = (a0 b0 + a1 b1) + ((a0 + a1)(b0 + b1) - a0 b0) phi,
// three 4x4-limb products instead of four. Every column of (a0 + a1)(b0 + b1)
// is at least that of a0 b0, so the difference stays non-negative.
inline void fe448_mul(Fe448& r, const Fe448& a, const Fe448& b) {
    uint64_t as[4], bs[4];
    u128 p0[7] = {}, p1[7] = {}, p2[7] = {};
#pragma GCC unroll 16
    for (int i = 0; i < 4; ++i) {
        as[i] = a.v[i] + a.v[i + 4];
        bs[i] = b.v[i] + b.v[i + 4];
    }
#pragma GCC unroll 16
    for (int i = 0; i < 4; ++i)
#pragma GCC unroll 16
        for (int j = 0; j < 4; ++j) {
            p0[i + j] += u128(a.v[i]) * b.v[j];
            p1[i + j] += u128(a.v[i + 4]) * b.v[j + 4];
            p2[i + j] += u128(as[i]) * bs[j];
        }
    u128 c[16] = {};
#pragma GCC unroll 16
    for (int k = 0; k < 7; ++k) {
        c[k] += p0[k] + p1[k];
        c[k + 4] += p2[k] - p0[k];
    }
    fe448_reduce_wide(r, c);
}

inline void fe448_sqr(Fe448& r, const Fe448& a) {
    uint64_t as[4];
    u128 p0[7] = {}, p1[7] = {}, p2[7] = {};
#pragma GCC unroll 16
    for (int i = 0; i < 4; ++i) as[i] = a.v[i] + a.v[i + 4];
#pragma GCC unroll 16
    for (int i = 0; i < 4; ++i) {
        p0[2 * i] += u128(a.v[i]) * a.v[i];
        p1[2 * i] += u128(a.v[i + 4]) * a.v[i + 4];
        p2[2 * i] += u128(as[i]) * as[i];
#pragma GCC unroll 16
        for (int j = i + 1; j < 4; ++j) {
            p0[i + j] += u128(2 * a.v[i]) * a.v[j];
            p1[i + j] += u128(2 * a.v[i + 4]) * a.v[j + 4];
            p2[i + j] += u128(2 * as[i]) * as[j];
        }
    }
    u128 c[16] = {};
#pragma GCC unroll 16
    for (int k = 0; k < 7; ++k) {
        c[k] += p0[k] + p1[k];
        c[k + 4] += p2[k] - p0[k];
    }
    fe448_reduce_wide(r, c);
}

inline void fe448_sqrn(Fe448& r, const Fe448& a, int n) {
    fe448_sqr(r, a);
#pragma GCC unroll 16
    for (int i = 1; i < n; ++i) fe448_sqr(r, r);
}

inline void fe448_mul_small(Fe448& r, const Fe448& a, uint32_t k) {
    u128 c[16] = {};
#pragma GCC unroll 16
    for (int i = 0; i < 8; ++i) c[i] = u128(a.v[i]) * k;
    fe448_reduce_wide(r, c);
}

inline void fe448_cmov(Fe448& r, const Fe448& a, uint64_t mask) {
#pragma GCC unroll 16
    for (int i = 0; i < 8; ++i) r.v[i] = ct::select(mask, a.v[i], r.v[i]);
}

inline void fe448_cswap(Fe448& a, Fe448& b, uint64_t mask) {
#pragma GCC unroll 16
    for (int i = 0; i < 8; ++i) {
        uint64_t t = mask & (a.v[i] ^ b.v[i]);
        a.v[i] ^= t;
        b.v[i] ^= t;
    }
}

// Reads 56 little-endian bytes; values in [p, 2^448) are accepted and
// reduced by the arithmetic (RFC 7748 section 5).
inline void fe448_frombytes(Fe448& r, const uint8_t s[56]) {
#pragma GCC unroll 16
    for (int i = 0; i < 8; ++i) {
        uint64_t w = 0;
#pragma GCC unroll 16
        for (int j = 6; j >= 0; --j) w = (w << 8) | s[7 * i + j];
        r.v[i] = w;
    }
}

// Writes the canonical encoding (value in [0, p)) as 56 bytes.
inline void fe448_tobytes(uint8_t s[56], const Fe448& a) {
    Fe448 t = a;
    fe448_carry(t);
    fe448_carry(t);
    fe448_carry(t);
    // t < 2^448; t >= p exactly when t + 2^224 + 1 carries out of bit 448.
    uint64_t w[8];
    uint64_t c = 1;
#pragma GCC unroll 16
    for (int i = 0; i < 8; ++i) {
        w[i] = t.v[i] + c + (i == 4 ? 1 : 0);
        c = w[i] >> 56;
        w[i] &= kMask56;
    }
    uint64_t m = ct::mask_from_bit(c);
#pragma GCC unroll 16
    for (int i = 0; i < 8; ++i) {
        uint64_t x = ct::select(m, w[i], t.v[i]);
#pragma GCC unroll 16
        for (int j = 0; j < 7; ++j) s[7 * i + j] = uint8_t(x >> (8 * j));
    }
}

inline int fe448_iszero(const Fe448& a) {
    uint8_t s[56];
    fe448_tobytes(s, a);
    return ct::is_zero(s, 56);
}

inline int fe448_isnegative(const Fe448& a) {
    uint8_t s[56];
    fe448_tobytes(s, a);
    return s[0] & 1;
}

// a^(2^222 - 1) and a^(2^223 - 1), the common part of the inversion and
// square-root exponents.
inline void fe448_pow_2_223_1(Fe448& r222, Fe448& r223, const Fe448& a) {
    Fe448 t1, t2, t3, t6, t24, t30, t;
    fe448_sqr(t, a);
    fe448_mul(t2, t, a);  // 2^2 - 1
    fe448_sqr(t, t2);
    fe448_mul(t3, t, a);  // 2^3 - 1
    fe448_sqrn(t, t3, 3);
    fe448_mul(t6, t, t3);  // 2^6 - 1
    fe448_sqrn(t, t6, 6);
    fe448_mul(t1, t, t6);  // 2^12 - 1
    fe448_sqrn(t, t1, 12);
    fe448_mul(t24, t, t1);  // 2^24 - 1
    fe448_sqrn(t, t24, 6);
    fe448_mul(t30, t, t6);  // 2^30 - 1
    fe448_sqrn(t, t24, 24);
    fe448_mul(t1, t, t24);  // 2^48 - 1
    fe448_sqrn(t, t1, 48);
    fe448_mul(t1, t, t1);  // 2^96 - 1
    fe448_sqrn(t, t1, 96);
    fe448_mul(t1, t, t1);  // 2^192 - 1
    fe448_sqrn(t, t1, 30);
    fe448_mul(r222, t, t30);  // 2^222 - 1
    fe448_sqr(t, r222);
    fe448_mul(r223, t, a);  // 2^223 - 1
}

// a^(p - 2) = a^-1; p - 2 = (2^223 - 1) 2^225 + (2^222 - 1) 4 + 1.
inline void fe448_invert(Fe448& r, const Fe448& a) {
    Fe448 r222, r223, t;
    fe448_pow_2_223_1(r222, r223, a);
    fe448_sqrn(t, r223, 223);
    fe448_mul(t, t, r222);
    fe448_sqrn(t, t, 2);
    fe448_mul(r, t, a);
}

// a^((p - 3) / 4) with (p - 3) / 4 = (2^223 - 1) 2^223 + 2^222 - 1.
inline void fe448_pow_p34(Fe448& r, const Fe448& a) {
    Fe448 r222, r223, t;
    fe448_pow_2_223_1(r222, r223, a);
    fe448_sqrn(t, r223, 223);
    fe448_mul(r, t, r222);
}

}  // namespace velt::ecc::safe
