// Montgomery arithmetic modulo an odd m of exactly N 64-bit limbs, the
// generic field and scalar arithmetic of the prime curves. N is a template
// argument so that the loops unroll. Every operation except the square root
// helpers is branch-free in the operands' values: carries are folded into
// masks and the final subtractions are masked selects. Internal to src/ecc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <x86intrin.h>

#include "util/ct.h"
#include "util/emem.h"

#define VELT_EC_INLINE inline __attribute__((always_inline))

namespace velt::ecc {

using limb = uint64_t;
using u128 = unsigned __int128;

template <size_t N>
struct Fe {
    limb v[N];
};

template <size_t N>
inline limb fe_iszero_mask(const limb* a) {
    limb z = 0;
#pragma GCC unroll 16
    for (size_t i = 0; i < N; ++i) z |= a[i];
    return ct::mask_zero(z);
}

template <size_t N>
inline void fe_select(limb* r, limb mask, const limb* a, const limb* b) {
    // The barrier keeps each limb in a general register: vectorised selects
    // would reload limbs just stored as scalars (a store-forwarding stall).
#pragma GCC unroll 16
    for (size_t i = 0; i < N; ++i) r[i] = ct::value_barrier(ct::select(mask, a[i], b[i]));
}

// r = a^e in field f for a public exponent e of `bits` bits: sliding
// windows of up to 4 bits over odd powers of a. The sequence of squarings
// and multiplications depends on e only, never on a.
template <size_t N, class F>
void fe_pow(const F& f, limb* r, const limb* a, const limb* e, size_t bits) {
    limb odd[8][N], a2[N], acc[N];
    std::memcpy(odd[0], a, sizeof odd[0]);
    f.sqr(a2, a);
    for (size_t i = 1; i < 8; ++i) f.mul(odd[i], odd[i - 1], a2);
    auto bit = [&](size_t i) { return (e[i / 64] >> (i % 64)) & 1; };
    std::memcpy(acc, f.one, sizeof acc);
    for (size_t i = bits; i > 0;) {
        if (!bit(i - 1)) {
            f.sqr(acc, acc);
            --i;
            continue;
        }
        // Window [j, i) of at most 4 bits, its lowest bit set.
        size_t j = i >= 4 ? i - 4 : 0;
        while (!bit(j)) ++j;
        unsigned v = 0;
        for (size_t k = i; k > j; --k) {
            f.sqr(acc, acc);
            v = (v << 1) | unsigned(bit(k - 1));
        }
        f.mul(acc, acc, odd[v / 2]);
        i = j;
    }
    std::memcpy(r, acc, sizeof acc);
    ewipe(odd, sizeof odd);
    ewipe(a2, sizeof a2);
    ewipe(acc, sizeof acc);
}

template <size_t N>
class MontField {
  public:
    limb m[N];
    limb k0 = 0;  // -m^-1 mod 2^64
    limb rr[N];   // R^2 mod m, R = 2^(64 N)
    limb one[N];  // R mod m: 1 in Montgomery form
    limb mm2[N];  // m - 2, the public exponent of Fermat inversion
    size_t mbits = 0;

    void init(const limb* mod) {
        std::memcpy(m, mod, sizeof m);
        // Newton iteration for m^-1 mod 2^64 (each step doubles the correct bits).
        limb inv = 1;
        for (int i = 0; i < 7; ++i) inv *= 2 - m[0] * inv;
        k0 = limb(0) - inv;
        // R^2 mod m by 2 * 64 * N modular doublings of 1.
        limb x[N] = {1};
        for (size_t i = 0; i < 128 * N; ++i) add(x, x, x);
        std::memcpy(rr, x, sizeof rr);
        limb unit[N] = {1};
        mul(one, rr, unit);
        std::memcpy(mm2, m, sizeof mm2);
        limb two[N] = {2};
        sub_raw(mm2, mm2, two);
        mbits = 64 * N;
        while (mbits > 0 && !((m[(mbits - 1) / 64] >> ((mbits - 1) % 64)) & 1)) --mbits;
    }

    // r = a - b over N limbs; returns the borrow (0 or 1).
    VELT_EC_INLINE static limb sub_raw(limb* r, const limb* a, const limb* b) {
        unsigned char borrow = 0;
#pragma GCC unroll 16
        for (size_t i = 0; i < N; ++i) {
            unsigned long long d;
            borrow = _subborrow_u64(borrow, a[i], b[i], &d);
            r[i] = d;
        }
        return borrow;
    }
    VELT_EC_INLINE static limb add_raw(limb* r, const limb* a, const limb* b) {
        unsigned char carry = 0;
#pragma GCC unroll 16
        for (size_t i = 0; i < N; ++i) {
            unsigned long long v;
            carry = _addcarry_u64(carry, a[i], b[i], &v);
            r[i] = v;
        }
        return carry;
    }

    // r = a + b mod m for a, b < m.
    VELT_EC_INLINE void add(limb* r, const limb* a, const limb* b) const {
        limb s[N], t[N];
        limb carry = add_raw(s, a, b);
        limb borrow = sub_raw(t, s, m);
        // Use s - m when the sum overflowed or s >= m.
        limb use_t = ct::mask_nonzero(carry | (borrow ^ 1));
        fe_select<N>(r, use_t, t, s);
    }
    // r = a - b mod m for a, b < m.
    VELT_EC_INLINE void sub(limb* r, const limb* a, const limb* b) const {
        limb d[N], t[N];
        limb borrow = sub_raw(d, a, b);
        add_raw(t, d, m);
        fe_select<N>(r, ct::mask_from_bit(borrow), t, d);
    }
    void neg(limb* r, const limb* a) const {
        limb z[N] = {0};
        sub(r, z, a);
    }

    // r = a * b / R mod m (CIOS), for a * b < m * R; r may alias a or b.
    void mul(limb* r, const limb* a, const limb* b) const {
        limb t[N + 2] = {0};
        for (size_t i = 0; i < N; ++i) {
            u128 c = 0;
#pragma GCC unroll 16
            for (size_t j = 0; j < N; ++j) {
                c = u128(a[j]) * b[i] + t[j] + (c >> 64);
                t[j] = limb(c);
            }
            c = u128(t[N]) + (c >> 64);
            t[N] = limb(c);
            t[N + 1] = limb(c >> 64);
            limb q = t[0] * k0;
            c = u128(q) * m[0] + t[0];
#pragma GCC unroll 16
            for (size_t j = 1; j < N; ++j) {
                c = u128(q) * m[j] + t[j] + (c >> 64);
                t[j - 1] = limb(c);
            }
            c = u128(t[N]) + (c >> 64);
            t[N - 1] = limb(c);
            t[N] = t[N + 1] + limb(c >> 64);
        }
        // t < 2m: subtract m unless that borrows past t[N].
        limb s[N];
        limb borrow = sub_raw(s, t, m);
        limb keep = ct::mask_from_bit(borrow & (t[N] ^ 1));
        fe_select<N>(r, keep, t, s);
    }
    void sqr(limb* r, const limb* a) const {
        mul(r, a, a);
    }

    void to_mont(limb* r, const limb* a) const {
        mul(r, a, rr);
    }
    void from_mont(limb* r, const limb* a) const {
        limb unit[N] = {1};
        mul(r, a, unit);
    }

    // r = a^e for a public exponent e of at most mbits bits.
    void pow(limb* r, const limb* a, const limb* e) const {
        fe_pow<N>(*this, r, a, e, mbits);
    }
    // r = a^-1 (Montgomery form) by Fermat's little theorem for prime m; 0
    // maps to 0. Constant time in a.
    void inv(limb* r, const limb* a) const {
        pow(r, a, mm2);
    }
};

}  // namespace velt::ecc
