// 64-bit limb kernels: carry chains through unsigned __int128 (the compiler
// emits mul/adc, or mulx with BMI2 enabled), Karatsuba above a threshold,
// Knuth division with the hardware 128-by-64 divide, and Montgomery
// multiplication (separated operand scanning) for the exponentiations.
#include "bigd/limbs.h"

#include <algorithm>

#include "bigd/mont52.h"
#include "util/ct.h"

namespace velt::bigd {

limb add_n(limb* r, const limb* a, const limb* b, size_t n) {
    limb c = 0;
    for (size_t i = 0; i < n; ++i) {
        u128 s = u128(a[i]) + b[i] + c;
        r[i] = limb(s);
        c = limb(s >> 64);
    }
    return c;
}

limb sub_n(limb* r, const limb* a, const limb* b, size_t n) {
    limb br = 0;
    for (size_t i = 0; i < n; ++i) {
        u128 d = u128(a[i]) - b[i] - br;
        r[i] = limb(d);
        br = limb(d >> 64) & 1;
    }
    return br;
}

limb mul_1(limb* r, const limb* a, size_t n, limb b) {
    limb c = 0;
    for (size_t i = 0; i < n; ++i) {
        u128 t = u128(a[i]) * b + c;
        r[i] = limb(t);
        c = limb(t >> 64);
    }
    return c;
}

limb addmul_1(limb* r, const limb* a, size_t n, limb b) {
    limb c = 0;
    for (size_t i = 0; i < n; ++i) {
        u128 t = u128(a[i]) * b + r[i] + c;
        r[i] = limb(t);
        c = limb(t >> 64);
    }
    return c;
}

limb submul_1(limb* r, const limb* a, size_t n, limb b) {
    limb c = 0;  // borrow, may exceed 1
    for (size_t i = 0; i < n; ++i) {
        u128 t = u128(a[i]) * b + c;
        limb lo = limb(t);
        limb hi = limb(t >> 64);
        limb x = r[i];
        r[i] = x - lo;
        c = hi + (x < lo);
    }
    return c;
}

static void mul_basecase(limb* r, const limb* a, size_t na, const limb* b, size_t nb) {
    r[na] = mul_1(r, a, na, b[0]);
    for (size_t i = 1; i < nb; ++i) r[na + i] = addmul_1(r + i, a, na, b[i]);
}

static void sqr_basecase(limb* r, const limb* a, size_t n) {
    if (n == 1) {
        u128 t = u128(a[0]) * a[0];
        r[0] = limb(t);
        r[1] = limb(t >> 64);
        return;
    }
    // Cross products a[i]*a[j], i < j, each once.
    r[0] = 0;
    r[n] = mul_1(r + 1, a + 1, n - 1, a[0]);
    for (size_t i = 1; i + 1 < n; ++i) r[n + i] = addmul_1(r + 2 * i + 1, a + i + 1, n - i - 1, a[i]);
    r[2 * n - 1] = 0;
    // Double them and add the squares on the diagonal.
    limb top = 0;
    for (size_t i = 0; i < 2 * n; ++i) {
        limb v = r[i];
        r[i] = (v << 1) | top;
        top = v >> 63;
    }
    limb c = 0;
    for (size_t i = 0; i < n; ++i) {
        u128 sq = u128(a[i]) * a[i];
        u128 s = u128(r[2 * i]) + limb(sq) + c;
        r[2 * i] = limb(s);
        s = u128(r[2 * i + 1]) + limb(sq >> 64) + limb(s >> 64);
        r[2 * i + 1] = limb(s);
        c = limb(s >> 64);
    }
}

// Karatsuba pays from about 48 limbs (3072 bits) on this kind of machine.
static constexpr size_t kKaratsubaLimbs = 48;

// r (2n limbs) = a * b, both n limbs: a = a0 + a1*B^h, z1 = (a0+a1)(b0+b1) - z0 - z2.
static void karatsuba(limb* r, const limb* a, const limb* b, size_t n) {
    if (n < kKaratsubaLimbs) {
        if (a == b)
            sqr_basecase(r, a, n);
        else
            mul_basecase(r, a, n, b, n);
        return;
    }
    size_t h = n / 2, hh = n - h;  // hh >= h
    LimbVec sa(hh + 1, 0), sb(hh + 1, 0), z1(2 * hh + 2, 0);
    // sa = a0 + a1, sb = b0 + b1 (hh limbs plus a carry limb); the carry
    // out of the low h limbs ripples into limb h when hh > h.
    {
        std::copy(a + h, a + n, sa.begin());
        limb c = add_n(sa.data(), sa.data(), a, h);
        for (size_t i = h; i < hh; ++i) {
            u128 s = u128(sa[i]) + c;
            sa[i] = limb(s);
            c = limb(s >> 64);
        }
        sa[hh] = c;
        std::copy(b + h, b + n, sb.begin());
        c = add_n(sb.data(), sb.data(), b, h);
        for (size_t i = h; i < hh; ++i) {
            u128 s = u128(sb[i]) + c;
            sb[i] = limb(s);
            c = limb(s >> 64);
        }
        sb[hh] = c;
    }
    karatsuba(r, a, b, h);                   // z0 into r[0, 2h)
    karatsuba(r + 2 * h, a + h, b + h, hh);  // z2 into r[2h, 2n)
    // z1 = sa * sb over hh+1 limbs, the top limbs being 0 or 1.
    karatsuba(z1.data(), sa.data(), a == b ? sa.data() : sb.data(), hh);
    size_t nz = 2 * hh + 2;
    z1[2 * hh] = 0;
    z1[2 * hh + 1] = 0;
    {
        limb c = 0;
        if (sa[hh]) c += add_n(z1.data() + hh, z1.data() + hh, sb.data(), hh);
        if (sb[hh]) c += add_n(z1.data() + hh, z1.data() + hh, sa.data(), hh);
        u128 s = u128(z1[2 * hh]) + c + (sa[hh] & sb[hh]);
        z1[2 * hh] = limb(s);
        z1[2 * hh + 1] += limb(s >> 64);
    }
    // z1 -= z0 (2h limbs) and z2 (2hh limbs).
    limb br = sub_n(z1.data(), z1.data(), r, 2 * h);
    for (size_t i = 2 * h; i < nz && br; ++i) br = (z1[i]-- == 0);
    br = sub_n(z1.data(), z1.data(), r + 2 * h, 2 * hh);
    for (size_t i = 2 * hh; i < nz && br; ++i) br = (z1[i]-- == 0);
    // r += z1 * B^h; z1 < 2^(64*(2hh+1)) so only its significant limbs matter.
    size_t len = std::min(nz, 2 * n - h);
    limb c = add_n(r + h, r + h, z1.data(), len);
    for (size_t i = h + len; i < 2 * n && c; ++i) c = (++r[i] == 0);
}

void mul(limb* r, const limb* a, size_t na, const limb* b, size_t nb) {
    if (na == nb && na >= kKaratsubaLimbs) {
        karatsuba(r, a, b, na);
        return;
    }
    if (a == b && na == nb) {
        sqr_basecase(r, a, na);
        return;
    }
    if (na >= nb)
        mul_basecase(r, a, na, b, nb);
    else
        mul_basecase(r, b, nb, a, na);
}

void sqr(limb* r, const limb* a, size_t n) {
    if (n >= kKaratsubaLimbs)
        karatsuba(r, a, a, n);
    else
        sqr_basecase(r, a, n);
}

// Quotient and remainder of hi:lo by d (hi < d) with one divq.
static inline limb div_2by1(limb hi, limb lo, limb d, limb* rem) {
    limb q, r;
    __asm__("divq %4" : "=a"(q), "=d"(r) : "a"(lo), "d"(hi), "rm"(d) : "cc");
    *rem = r;
    return q;
}

size_t normlen(const limb* a, size_t n) {
    while (n > 0 && a[n - 1] == 0) --n;
    return n;
}

int cmp(const limb* a, const limb* b, size_t n) {
    for (size_t i = n; i-- > 0;)
        if (a[i] != b[i]) return a[i] > b[i] ? 1 : -1;
    return 0;
}

void divrem(limb* q, limb* r, const limb* u, size_t nu, const limb* v, size_t nv) {
    if (nv == 1) {
        divrem(q, r, u, nu, v, nv, nullptr);
        return;
    }
    LimbVec scratch(nu + nv + 1);
    divrem(q, r, u, nu, v, nv, scratch.data());
}

void divrem(limb* q, limb* r, const limb* u, size_t nu, const limb* v, size_t nv, limb* scratch) {
    if (nv == 1) {
        limb rem = 0;
        for (size_t i = nu; i-- > 0;) q[i] = div_2by1(rem, u[i], v[0], &rem);
        r[0] = rem;
        return;
    }
    // D1: normalise copies so that the divisor's top bit is set.
    unsigned s = unsigned(__builtin_clzll(v[nv - 1]));
    limb* vn = scratch;
    limb* un = scratch + nv;
    if (s) {
        for (size_t i = nv - 1; i > 0; --i) vn[i] = (v[i] << s) | (v[i - 1] >> (64 - s));
        vn[0] = v[0] << s;
        un[nu] = u[nu - 1] >> (64 - s);
        for (size_t i = nu - 1; i > 0; --i) un[i] = (u[i] << s) | (u[i - 1] >> (64 - s));
        un[0] = u[0] << s;
    } else {
        std::copy(v, v + nv, vn);
        std::copy(u, u + nu, un);
        un[nu] = 0;
    }
    const limb vtop = vn[nv - 1], vnext = vn[nv - 2];
    for (size_t j = nu - nv + 1; j-- > 0;) {
        // D3: estimate qhat from the top two remainder limbs.
        limb u2 = un[j + nv], u1 = un[j + nv - 1], u0 = un[j + nv - 2];
        limb qhat, rhat;
        bool rhat_overflow = false;
        if (u2 >= vtop) {
            qhat = ~limb(0);
            u128 t = u128(u1) + vtop;
            rhat = limb(t);
            rhat_overflow = (t >> 64) != 0;
        } else {
            qhat = div_2by1(u2, u1, vtop, &rhat);
        }
        while (!rhat_overflow) {
            u128 lhs = u128(qhat) * vnext;
            u128 rhs = (u128(rhat) << 64) | u0;
            if (lhs <= rhs) break;
            --qhat;
            u128 t = u128(rhat) + vtop;
            rhat = limb(t);
            rhat_overflow = (t >> 64) != 0;
        }
        // D4-D6: multiply and subtract; add back once if it went negative.
        limb borrow = submul_1(un + j, vn, nv, qhat);
        limb top = un[j + nv];
        un[j + nv] = top - borrow;
        if (top < borrow) {
            --qhat;
            limb c = add_n(un + j, un + j, vn, nv);
            un[j + nv] += c;
        }
        q[j] = qhat;
    }
    // D8: unnormalise the remainder.
    if (s) {
        for (size_t i = 0; i + 1 < nv; ++i) r[i] = (un[i] >> s) | (un[i + 1] << (64 - s));
        r[nv - 1] = un[nv - 1] >> s;
    } else {
        std::copy(un, un + nv, r);
    }
}

void digits_to_limbs(limb* out, size_t nl, const BdDigit* a, size_t nd) {
    size_t take = std::min(nd, 2 * nl);
    std::memset(out, 0, nl * sizeof(limb));
    std::memcpy(out, a, take * sizeof(BdDigit));
}

void limbs_to_digits(BdDigit* out, size_t nd, const limb* a, size_t nl) {
    size_t take = std::min(nd, 2 * nl);
    std::memcpy(out, a, take * sizeof(BdDigit));
    std::memset(out + take, 0, (nd - take) * sizeof(BdDigit));
}

// ---------------------------------------------------------------------------
// Montgomery arithmetic

void mod_double_ct(limb* x, const limb* m, size_t n, limb* scratch) {
    limb top = x[n - 1] >> 63;
    for (size_t i = n - 1; i > 0; --i) x[i] = (x[i] << 1) | (x[i - 1] >> 63);
    x[0] <<= 1;
    limb br = sub_n(scratch, x, m, n);
    limb keep = ct::mask_nonzero(br & ~top & 1);  // 2x < m: keep it
    for (size_t i = 0; i < n; ++i) x[i] = ct::select(keep, x[i], scratch[i]);
}

Mont::Mont(const limb* m, size_t n, bool secret_modulus) : n_(n), m_(m, m + n), rr_(n), t_(2 * n + 2) {
    // k0 = -m^-1 mod 2^64 by Newton iteration: each step doubles the
    // correct low bits (x = m is correct to 3 bits for odd m).
    limb inv = m[0];
    for (int i = 0; i < 5; ++i) inv *= 2 - m[0] * inv;
    k0_ = limb(0) - inv;
    if (!secret_modulus) {
        // R^2 mod m by division of 2^(128n).
        LimbVec big(2 * n + 1, 0), q(n + 2);
        big[2 * n] = 1;
        divrem(q.data(), rr_.data(), big.data(), 2 * n + 1, m, n);
        return;
    }
    // R^2 mod m without division and without branches on m's value:
    // x = 2^(64(n-1)) is below m (m's top limb is nonzero, and m > 1 when
    // n = 1), doubling it 64 times modulo m gives R mod m and 64 more give
    // 2^64 R mod m, the Montgomery form of 2^64; Montgomery powers of that
    // (exponent n, public) give 2^(64n) R = R^2 mod m.
    LimbVec x(n, 0), d(n), a(n);
    if (n > 1)
        x[n - 1] = 1;
    else
        x[0] = 1 & ~ct::mask_eq(m[0], 1);  // 0 when m = 1
    for (int i = 0; i < 128; ++i) mod_double_ct(x.data(), m, n, d.data());
    // x = 2^64 R mod m; raise to the n-th power in Montgomery form, with
    // rr_ holding the Montgomery form of R mod m (one) to start.
    std::copy(x.begin(), x.end(), a.begin());
    rr_.assign(n, 0);
    bool started = false;
    for (int bit = 63; bit >= 0; --bit) {
        if (started) sqr(rr_.data(), rr_.data());
        if ((n >> bit) & 1) {
            if (started)
                mul(rr_.data(), rr_.data(), a.data());
            else
                std::copy(a.begin(), a.end(), rr_.begin());
            started = true;
        }
    }
}

// r = t / R mod m for t < m*R (2n limbs, destroyed); branch-free.
void Mont::redc(limb* r, limb* t) {
    const size_t n = n_;
    const limb* m = m_.data();
    limb carry = 0;
    for (size_t i = 0; i < n; ++i) {
        limb mq = t[i] * k0_;
        limb c = addmul_1(t + i, m, n, mq);
        u128 s = u128(t[i + n]) + c + carry;
        t[i + n] = limb(s);
        carry = limb(s >> 64);
    }
    // The value carry*R + t[n..2n) is below 2m: subtract m once unless that borrows.
    limb br = sub_n(r, t + n, m, n);
    limb keep = ct::mask_nonzero(br & ~carry & 1);  // all-ones: keep the unsubtracted value
    for (size_t i = 0; i < n; ++i) r[i] = ct::select(keep, t[n + i], r[i]);
}

namespace {

// (c2:c1:c0) += a * b
#define VELT_MAC(a, b)                          \
    do {                                        \
        u128 p_ = u128(a) * (b);                \
        u128 t_ = ((u128(c1) << 64) | c0) + p_; \
        c2 += limb(t_ < p_);                    \
        c0 = limb(t_);                          \
        c1 = limb(t_ >> 64);                    \
    } while (0)

// Final step shared by the fused products: r holds the low n limbs of a
// value below 2m whose top limb is `carry`; subtract m unless that borrows
// (masked select, no branch). d is n limbs of scratch.
inline void final_subtract(limb* r, limb carry, const limb* m, size_t n, limb* d) {
    limb br = sub_n(d, r, m, n);
    limb keep = ct::mask_nonzero(br & ~carry & 1);
    for (size_t i = 0; i < n; ++i) r[i] = ct::select(keep, r[i], d[i]);
}

// Montgomery product by product scanning with the reduction interleaved
// (Koc, Acar and Kaliski's "finely integrated product scanning"): column by
// column into a three-limb accumulator, so the partial product never goes
// to memory. N > 0 fixes the size at compile time so loops unroll; N = 0
// takes nrt. r may alias a or b (each r[k] is written after the last read
// of a[k] and b[k]). q is n limbs of scratch.
template <size_t N>
void mont_mul_fips(limb* r, const limb* a, const limb* b, const limb* m, limb k0, size_t nrt, limb* q,
                   limb* d) {
    const size_t n = N ? N : nrt;
    limb c0 = 0, c1 = 0, c2 = 0;
    for (size_t i = 0; i < n; ++i) {
#pragma GCC unroll 4
        for (size_t j = 0; j < i; ++j) {
            VELT_MAC(a[j], b[i - j]);
            VELT_MAC(q[j], m[i - j]);
        }
        VELT_MAC(a[i], b[0]);
        limb qi = c0 * k0;
        q[i] = qi;
        VELT_MAC(qi, m[0]);  // clears c0
        c0 = c1;
        c1 = c2;
        c2 = 0;
    }
    for (size_t i = n; i < 2 * n - 1; ++i) {
#pragma GCC unroll 4
        for (size_t j = i - n + 1; j < n; ++j) {
            VELT_MAC(a[j], b[i - j]);
            VELT_MAC(q[j], m[i - j]);
        }
        r[i - n] = c0;
        c0 = c1;
        c1 = c2;
        c2 = 0;
    }
    r[n - 1] = c0;
    final_subtract(r, c1, m, n, d);
}

// The same for a square: each cross product a[j]*a[i-j] (j < i-j) once,
// doubled, plus the square on the diagonal.
template <size_t N>
void mont_sqr_fips(limb* r, const limb* a, const limb* m, limb k0, size_t nrt, limb* q, limb* d) {
    const size_t n = N ? N : nrt;
    limb c0 = 0, c1 = 0, c2 = 0;
    auto add_cross = [&](size_t i, size_t lo) {
        limb s0 = c0, s1 = c1, s2 = c2;
        c0 = c1 = c2 = 0;
#pragma GCC unroll 4
        for (size_t j = lo; j < i - j; ++j) VELT_MAC(a[j], a[i - j]);
        // double the cross sum and add back the saved accumulator
        limb d2 = (c2 << 1) | (c1 >> 63), d1 = (c1 << 1) | (c0 >> 63), d0 = c0 << 1;
        u128 t = u128(d0) + s0;
        c0 = limb(t);
        t = u128(d1) + s1 + limb(t >> 64);
        c1 = limb(t);
        c2 = d2 + s2 + limb(t >> 64);
        if ((i & 1) == 0) VELT_MAC(a[i / 2], a[i / 2]);
    };
    for (size_t i = 0; i < n; ++i) {
        add_cross(i, 0);
#pragma GCC unroll 4
        for (size_t j = 0; j < i; ++j) VELT_MAC(q[j], m[i - j]);
        limb qi = c0 * k0;
        q[i] = qi;
        VELT_MAC(qi, m[0]);
        c0 = c1;
        c1 = c2;
        c2 = 0;
    }
    for (size_t i = n; i < 2 * n - 1; ++i) {
        add_cross(i, i - n + 1);
#pragma GCC unroll 4
        for (size_t j = i - n + 1; j < n; ++j) VELT_MAC(q[j], m[i - j]);
        r[i - n] = c0;
        c0 = c1;
        c1 = c2;
        c2 = 0;
    }
    r[n - 1] = c0;
    final_subtract(r, c1, m, n, d);
}

#undef VELT_MAC

}  // namespace

#define VELT_MONT_SIZES(X) X(4) X(6) X(8) X(9) X(12) X(16) X(24) X(32) X(48) X(64)

void Mont::mul(limb* r, const limb* a, const limb* b) {
    limb* q = t_.data();
    limb* d = t_.data() + n_;
    if (a == b) {
        sqr(r, a);
        return;
    }
    switch (n_) {
#define VELT_CASE(K)                                        \
    case K:                                                 \
        mont_mul_fips<K>(r, a, b, m_.data(), k0_, K, q, d); \
        return;
        VELT_MONT_SIZES(VELT_CASE)
#undef VELT_CASE
        default:
            mont_mul_fips<0>(r, a, b, m_.data(), k0_, n_, q, d);
    }
}

void Mont::sqr(limb* r, const limb* a) {
    limb* q = t_.data();
    limb* d = t_.data() + n_;
    switch (n_) {
#define VELT_CASE(K)                                     \
    case K:                                              \
        mont_sqr_fips<K>(r, a, m_.data(), k0_, K, q, d); \
        return;
        VELT_MONT_SIZES(VELT_CASE)
#undef VELT_CASE
        default:
            mont_sqr_fips<0>(r, a, m_.data(), k0_, n_, q, d);
    }
}

void Mont::to(limb* r, const limb* a) {
    mul(r, a, rr_.data());
}

void Mont::from(limb* r, const limb* a) {
    limb* t = t_.data();
    std::copy(a, a + n_, t);
    std::fill(t + n_, t + 2 * n_, 0);
    redc(r, t);
}

void Mont::reduce(limb* r, const limb* t, size_t nt) {
    limb* w = t_.data();
    std::copy(t, t + nt, w);
    std::fill(w + nt, w + 2 * n_, 0);
    redc(r, w);
}

void Mont::one(limb* r) {
    LimbVec o(n_, 0);
    o[0] = 1;
    to(r, o.data());
}

// ---------------------------------------------------------------------------
// Exponentiation

namespace {

// Plain reduction for an even modulus: full product, then division.
class DivReducer {
  public:
    DivReducer(const limb* m, size_t n) : n_(n), m_(m, m + n), t_(2 * n), q_(n + 1) {}
    void mul(limb* r, const limb* a, const limb* b) {
        bigd::mul(t_.data(), a, n_, b, n_);
        divrem(q_.data(), r, t_.data(), 2 * n_, m_.data(), n_);
    }
    void sqr(limb* r, const limb* a) {
        bigd::sqr(t_.data(), a, n_);
        divrem(q_.data(), r, t_.data(), 2 * n_, m_.data(), n_);
    }
    void to(limb* r, const limb* a) { std::copy(a, a + n_, r); }
    void from(limb* r, const limb* a) { std::copy(a, a + n_, r); }
    void one(limb* r) {
        // 1 mod m (m > 1 here: m = 1 is odd).
        std::fill(r, r + n_, 0);
        r[0] = 1;
    }

  private:
    size_t n_;
    LimbVec m_, t_, q_;
};

size_t bit_length(const limb* e, size_t ne) {
    size_t n = normlen(e, ne);
    if (n == 0) return 0;
    return 64 * (n - 1) + (64 - size_t(__builtin_clzll(e[n - 1])));
}

inline unsigned get_bit(const limb* e, size_t i) {
    return unsigned(e[i / 64] >> (i % 64)) & 1;
}

// Window sizes by exponent length: the count of thresholds 5, 16, 64, 240,
// 768, 1024, 2048, 4096 not above the bit length (at most 8).
unsigned sliding_window(size_t bits) {
    static const size_t kThresholds[] = {5, 16, 64, 240, 768, 1024, 2048, 4096};
    unsigned w = 0;
    for (size_t t : kThresholds)
        if (t <= bits) ++w;
    return w;
}

// Left-to-right sliding window over odd powers x, x^3, ..., x^(2^w - 1).
template <class Red>
void exp_sliding(Red& red, limb* y, const limb* x, const limb* e, size_t ne, size_t n,
                 bool convert_back = true) {
    size_t bits = bit_length(e, ne);
    LimbVec acc(n), xm(n);
    red.to(xm.data(), x);
    if (bits == 0) {
        red.one(acc.data());
        if (convert_back)
            red.from(y, acc.data());
        else
            std::copy(acc.begin(), acc.end(), y);
        return;
    }
    unsigned w = std::max(1u, sliding_window(bits));
    // A short sparse exponent (the public 3, 17, 65537...): plain square and
    // multiply, as a table would cost more products than it saves.
    if (bits <= 64 && __builtin_popcountll(e[0]) <= 4) w = 1;
    size_t count = size_t(1) << (w - 1);
    LimbVec table(count * n), x2(n);
    std::copy(xm.begin(), xm.end(), table.begin());
    if (count > 1) {
        red.sqr(x2.data(), xm.data());
        for (size_t i = 1; i < count; ++i) red.mul(&table[i * n], &table[(i - 1) * n], x2.data());
    }
    bool started = false;
    size_t i = bits;  // bits not yet consumed: positions i-1 .. 0
    while (i > 0) {
        if (!get_bit(e, i - 1)) {
            if (started) red.sqr(acc.data(), acc.data());
            --i;
            continue;
        }
        // Open a window of up to w bits ending at a 1 bit.
        size_t len = std::min<size_t>(w, i);
        while (!get_bit(e, i - len)) --len;
        size_t val = 0;
        for (size_t k = 0; k < len; ++k) val = (val << 1) | get_bit(e, i - 1 - k);
        const limb* g = &table[(val >> 1) * n];
        if (started) {
            for (size_t k = 0; k < len; ++k) red.sqr(acc.data(), acc.data());
            red.mul(acc.data(), acc.data(), g);
        } else {
            std::copy(g, g + n, acc.begin());
            started = true;
        }
        i -= len;
    }
    if (convert_back)
        red.from(y, acc.data());
    else
        std::copy(acc.begin(), acc.end(), y);
}

// Fixed-window ladder: the same squarings and multiplications for every
// exponent of ne limbs; each table entry is fetched by reading all entries.
template <class Red>
void exp_fixed(Red& red, limb* y, const limb* x, const limb* e, size_t ne, size_t n) {
    size_t bits = 64 * ne;
    unsigned w = fixed_window(bits);
    size_t count = size_t(1) << w;
    LimbVec table(count * n), acc(n), tmp(n);
    red.one(&table[0]);
    red.to(&table[n], x);
    for (size_t i = 2; i < count; ++i) {
        if (i % 2 == 0)
            red.sqr(&table[i * n], &table[(i / 2) * n]);
        else
            red.mul(&table[i * n], &table[(i - 1) * n], &table[n]);
    }
    auto lookup = [&](limb* out, limb idx) {
        std::fill(out, out + n, 0);
        for (size_t i = 0; i < count; ++i) {
            limb mask = ct::mask_eq(i, idx);
            const limb* t = &table[i * n];
            for (size_t j = 0; j < n; ++j) out[j] |= t[j] & mask;
        }
    };
    size_t nwin = (bits + w - 1) / w;
    // The top window holds the leftover bits when w does not divide bits.
    size_t pos = (nwin - 1) * w;
    lookup(acc.data(), window_bits(e, ne, pos, w));
    while (pos > 0) {
        pos -= w;
        for (unsigned k = 0; k < w; ++k) red.sqr(acc.data(), acc.data());
        lookup(tmp.data(), window_bits(e, ne, pos, w));
        red.mul(acc.data(), acc.data(), tmp.data());
    }
    red.from(y, acc.data());
}

}  // namespace

void modexp_vartime(limb* y, const limb* x, const limb* e, size_t ne, const limb* m, size_t nm) {
    if ((m[0] & 1) && Mont52::usable(nm) && !(nm == 1 && m[0] == 1)) {
        Mont52(m, nm).exp_vartime(y, x, e, ne);
        return;
    }
    if (m[0] & 1) {
        Mont red(m, nm);
        exp_sliding(red, y, x, e, ne, nm);
    } else {
        DivReducer red(m, nm);
        exp_sliding(red, y, x, e, ne, nm);
    }
}

void mont_exp(Mont& ctx, limb* y_mont, const limb* x, const limb* e, size_t ne) {
    exp_sliding(ctx, y_mont, x, e, ne, ctx.size(), false);
}

void modexp_consttime(limb* y, const limb* x, const limb* e, size_t ne, const limb* m, size_t nm) {
    if ((m[0] & 1) && Mont52::usable(nm) && !(nm == 1 && m[0] == 1)) {
        Mont52(m, nm).exp_consttime(y, x, e, ne);
        return;
    }
    if (m[0] & 1) {
        Mont red(m, nm);
        exp_fixed(red, y, x, e, ne, nm);
    } else {
        // Even moduli do not occur with secret exponents in the library
        // (RSA and the prime curves have odd moduli); division is not
        // constant time in the operands, the window schedule still is.
        DivReducer red(m, nm);
        exp_fixed(red, y, x, e, ne, nm);
    }
}

void mont_exp_consttime(Mont& ctx, limb* y, const limb* x, const limb* e, size_t ne) {
    if (Mont52::usable(ctx.size())) {
        Mont52(ctx).exp_consttime(y, x, e, ne);
        return;
    }
    exp_fixed(ctx, y, x, e, ne, ctx.size());
}

}  // namespace velt::bigd
