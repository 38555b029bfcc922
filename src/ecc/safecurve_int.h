// Shared internals of Ed25519 and Ed448: arithmetic modulo the group order L
// (Montgomery multiplication with 64-bit limbs, constant time), Edwards-curve
// point formulas over either field, and the width-w NAF of a public scalar.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/bytes.h"
#include "util/ct.h"
#include "util/emem.h"

namespace velt::ecc::safe {

using u128 = unsigned __int128;

// ---------------------------------------------------------------------------
// Scalars modulo a prime order L of N 64-bit limbs, R = 2^(64 N).

template <size_t N>
struct ScalarField {
    uint64_t L[N];
    uint64_t n0;     // -L^-1 mod 2^64
    uint64_t R2[N];  // R^2 mod L
};

template <size_t N>
inline void sc_load(uint64_t r[N], const uint8_t* s, size_t len) {
    for (size_t i = 0; i < N; ++i) r[i] = 0;
    for (size_t i = 0; i < len && i < 8 * N; ++i) r[i / 8] |= uint64_t(s[i]) << (8 * (i % 8));
}

template <size_t N>
inline void sc_store(uint8_t* s, size_t len, const uint64_t a[N]) {
    for (size_t i = 0; i < len; ++i) s[i] = i < 8 * N ? uint8_t(a[i / 8] >> (8 * (i % 8))) : 0;
}

// r = t - L when t (N + 1 limbs, t < 2L) is at least L, else t; masked.
template <size_t N>
inline void sc_final_sub(const ScalarField<N>& f, uint64_t r[N], const uint64_t t[N + 1]) {
    uint64_t d[N];
    uint64_t borrow = 0;
    for (size_t i = 0; i < N; ++i) {
        u128 x = u128(t[i]) - f.L[i] - borrow;
        d[i] = uint64_t(x);
        borrow = uint64_t(x >> 64) & 1;
    }
    borrow = (t[N] - borrow) >> 63;  // 1 exactly when t < L
    uint64_t keep = ct::mask_from_bit(borrow);
    for (size_t i = 0; i < N; ++i) r[i] = ct::select(keep, t[i], d[i]);
    ewipe(d, sizeof d);
}

// r = a b R^-1 mod L for a b < L R (CIOS Montgomery multiplication).
template <size_t N>
inline void sc_montmul(const ScalarField<N>& f, uint64_t r[N], const uint64_t a[N], const uint64_t b[N]) {
    uint64_t t[N + 2] = {};
    for (size_t i = 0; i < N; ++i) {
        uint64_t c = 0;
        for (size_t j = 0; j < N; ++j) {
            u128 x = u128(a[j]) * b[i] + t[j] + c;
            t[j] = uint64_t(x);
            c = uint64_t(x >> 64);
        }
        u128 x = u128(t[N]) + c;
        t[N] = uint64_t(x);
        t[N + 1] = uint64_t(x >> 64);
        uint64_t m = t[0] * f.n0;
        x = u128(m) * f.L[0] + t[0];
        c = uint64_t(x >> 64);
        for (size_t j = 1; j < N; ++j) {
            x = u128(m) * f.L[j] + t[j] + c;
            t[j - 1] = uint64_t(x);
            c = uint64_t(x >> 64);
        }
        x = u128(t[N]) + c;
        t[N - 1] = uint64_t(x);
        t[N] = t[N + 1] + uint64_t(x >> 64);
    }
    sc_final_sub<N>(f, r, t);
    ewipe(t, sizeof t);
}

// r = (a + b) mod L for a, b < L.
template <size_t N>
inline void sc_add(const ScalarField<N>& f, uint64_t r[N], const uint64_t a[N], const uint64_t b[N]) {
    uint64_t t[N + 1];
    uint64_t c = 0;
    for (size_t i = 0; i < N; ++i) {
        u128 x = u128(a[i]) + b[i] + c;
        t[i] = uint64_t(x);
        c = uint64_t(x >> 64);
    }
    t[N] = c;
    sc_final_sub<N>(f, r, t);
    ewipe(t, sizeof t);
}

// out (outlen bytes) = the little-endian integer in[0..inlen) mod L.
// Horner's rule over N-limb chunks, kept in the Montgomery domain.
template <size_t N>
inline void sc_reduce(const ScalarField<N>& f, uint8_t* out, size_t outlen, const uint8_t* in, size_t inlen) {
    const size_t chunk = 8 * N;
    uint64_t acc[N] = {}, c[N], m[N];
    size_t nchunks = (inlen + chunk - 1) / chunk;
    for (size_t k = nchunks; k-- > 0;) {
        size_t off = k * chunk;
        sc_load<N>(c, in + off, inlen - off < chunk ? inlen - off : chunk);
        sc_montmul<N>(f, m, c, f.R2);      // chunk R
        sc_montmul<N>(f, acc, acc, f.R2);  // acc R (acc was already in the domain)
        sc_add<N>(f, acc, acc, m);
    }
    uint64_t one[N] = {1};
    sc_montmul<N>(f, acc, acc, one);
    sc_store<N>(out, outlen, acc);
    ewipe(acc, sizeof acc);
    ewipe(c, sizeof c);
    ewipe(m, sizeof m);
}

// S = (r + k s) mod L with r, k < L and s < R, all little-endian bytes.
template <size_t N>
inline void sc_muladd(const ScalarField<N>& f, uint8_t* out, size_t outlen, const uint8_t* r,
                      const uint8_t* k, const uint8_t* s, size_t inlen) {
    uint64_t a[N], b[N], c[N], t[N];
    sc_load<N>(a, k, inlen);
    sc_load<N>(b, s, inlen);
    sc_load<N>(c, r, inlen);
    sc_montmul<N>(f, t, a, b);     // k s R^-1
    sc_montmul<N>(f, t, t, f.R2);  // k s
    sc_add<N>(f, t, t, c);
    sc_store<N>(out, outlen, t);
    ewipe(a, sizeof a);
    ewipe(b, sizeof b);
    ewipe(c, sizeof c);
    ewipe(t, sizeof t);
}

// 1 when the little-endian value s (len bytes) is below L; variable time
// (used on public signature values only).
template <size_t N>
inline bool sc_is_canonical(const ScalarField<N>& f, const uint8_t* s, size_t len) {
    for (size_t i = 8 * N; i < len; ++i)
        if (s[i] != 0) return false;
    uint64_t a[N];
    sc_load<N>(a, s, len);
    for (size_t i = N; i-- > 0;) {
        if (a[i] < f.L[i]) return true;
        if (a[i] > f.L[i]) return false;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Width-w non-adjacent form of a public little-endian scalar of `bits` bits:
// naf[i] is 0 or odd with |naf[i]| < 2^(w-1), and sum naf[i] 2^i equals the
// scalar; naf has bits + w entries. Variable time.
inline void wnaf(int8_t* naf, const uint8_t* s, size_t bits, int w) {
    const size_t n = bits + size_t(w);
    auto bit = [&](size_t i) -> int { return i < bits ? (s[i / 8] >> (i % 8)) & 1 : 0; };
    for (size_t i = 0; i < n; ++i) naf[i] = 0;
    const int width = 1 << w, half = 1 << (w - 1);
    int carry = 0;
    for (size_t i = 0; i < n;) {
        if (bit(i) == carry) {
            ++i;
            continue;
        }
        int word = carry;
        for (int j = 0; j < w; ++j) word += bit(i + size_t(j)) << j;
        if (word & half) {
            naf[i] = int8_t(word - width);
            carry = 1;
        } else {
            naf[i] = int8_t(word);
            carry = 0;
        }
        i += size_t(w);
    }
}

// ---------------------------------------------------------------------------
// Points of an Edwards curve a x^2 + y^2 = 1 + d x^2 y^2 (a = F::kA, 1 or -1)
// in extended coordinates (X : Y : Z : T), x = X/Z, y = Y/Z, x y = T/Z
// (Hisil, Wong, Carter, Dawson 2008). With a a square and d a non-square the
// unified addition is complete: it has no exceptional inputs, so it serves
// secret operands without branches. F supplies the field element type Fe and
// add, sub, mul, sqr, neg, cmov, zero, one.

template <class F>
struct EdPoint {
    typename F::Fe X, Y, Z, T;
};
// A point prepared as an addend: Td = d T.
template <class F>
struct EdCached {
    typename F::Fe X, Y, Z, Td;
};
// An affine addend (Z = 1): td = d x y.
template <class F>
struct EdAffine {
    typename F::Fe x, y, td;
};

template <class F>
inline void ed_identity(EdPoint<F>& p) {
    F::zero(p.X);
    F::one(p.Y);
    F::one(p.Z);
    F::zero(p.T);
}

template <class F>
inline void ed_affine_identity(EdAffine<F>& p) {
    F::zero(p.x);
    F::one(p.y);
    F::zero(p.td);
}

template <class F>
inline void ed_to_cached(EdCached<F>& r, const EdPoint<F>& p, const typename F::Fe& d) {
    r.X = p.X;
    r.Y = p.Y;
    r.Z = p.Z;
    F::mul(r.Td, p.T, d);
}

// The common tail of both additions: A = X1 X2, B = Y1 Y2, C = T1 d T2,
// D = Z1 Z2 and E = (X1 + Y1)(X2 + Y2) - A - B given.
template <class F>
inline void ed_add_tail(EdPoint<F>& r, const typename F::Fe& A, const typename F::Fe& B,
                        const typename F::Fe& C, const typename F::Fe& D, const typename F::Fe& E) {
    typename F::Fe Fv, G, H;
    F::sub(Fv, D, C);
    F::add(G, D, C);
    if constexpr (F::kA == 1)
        F::sub(H, B, A);
    else
        F::add(H, B, A);
    F::mul(r.X, E, Fv);
    F::mul(r.Y, G, H);
    F::mul(r.T, E, H);
    F::mul(r.Z, Fv, G);
}

template <class F>
inline void ed_add(EdPoint<F>& r, const EdPoint<F>& p, const EdCached<F>& q) {
    typename F::Fe A, B, C, D, E, s1, s2;
    F::mul(A, p.X, q.X);
    F::mul(B, p.Y, q.Y);
    F::mul(C, p.T, q.Td);
    F::mul(D, p.Z, q.Z);
    F::add(s1, p.X, p.Y);
    F::add(s2, q.X, q.Y);
    F::mul(E, s1, s2);
    F::sub(E, E, A);
    F::sub(E, E, B);
    ed_add_tail<F>(r, A, B, C, D, E);
}

template <class F>
inline void ed_add_affine(EdPoint<F>& r, const EdPoint<F>& p, const EdAffine<F>& q) {
    typename F::Fe A, B, C, E, s1, s2;
    F::mul(A, p.X, q.x);
    F::mul(B, p.Y, q.y);
    F::mul(C, p.T, q.td);
    F::add(s1, p.X, p.Y);
    F::add(s2, q.x, q.y);
    F::mul(E, s1, s2);
    F::sub(E, E, A);
    F::sub(E, E, B);
    typename F::Fe D = p.Z;
    ed_add_tail<F>(r, A, B, C, D, E);
}

// Doubling does not read T; kWithT = false skips computing it when the next
// operation is another doubling.
template <class F, bool kWithT = true>
inline void ed_dbl(EdPoint<F>& r, const EdPoint<F>& p) {
    typename F::Fe A, B, C, D, E, G, Fv, H, s;
    F::sqr(A, p.X);
    F::sqr(B, p.Y);
    F::sqr(C, p.Z);
    F::add(C, C, C);
    if constexpr (F::kA == 1)
        D = A;
    else
        F::neg(D, A);
    F::add(s, p.X, p.Y);
    F::sqr(E, s);
    F::sub(E, E, A);
    F::sub(E, E, B);
    F::add(G, D, B);
    F::sub(Fv, G, C);
    F::sub(H, D, B);
    F::mul(r.X, E, Fv);
    F::mul(r.Y, G, H);
    if constexpr (kWithT) F::mul(r.T, E, H);
    F::mul(r.Z, Fv, G);
}

template <class F>
inline void ed_neg_affine(EdAffine<F>& r, const EdAffine<F>& p) {
    F::neg(r.x, p.x);
    r.y = p.y;
    F::neg(r.td, p.td);
}

template <class F>
inline void ed_neg_cached(EdCached<F>& r, const EdCached<F>& p) {
    F::neg(r.X, p.X);
    r.Y = p.Y;
    r.Z = p.Z;
    F::neg(r.Td, p.Td);
}

// Affine forms of n points with one inversion (Montgomery's trick); public
// points only (table building).
template <class F>
inline void ed_batch_affine(EdAffine<F>* out, const EdPoint<F>* in, size_t n, const typename F::Fe& d) {
    using Fe = typename F::Fe;
    std::vector<Fe> acc(n);
    Fe run;
    F::one(run);
    for (size_t i = 0; i < n; ++i) {
        acc[i] = run;
        F::mul(run, run, in[i].Z);
    }
    Fe inv;
    F::invert(inv, run);
    for (size_t i = n; i-- > 0;) {
        Fe zi;
        F::mul(zi, inv, acc[i]);
        F::mul(inv, inv, in[i].Z);
        F::mul(out[i].x, in[i].X, zi);
        F::mul(out[i].y, in[i].Y, zi);
        F::mul(out[i].td, out[i].x, out[i].y);
        F::mul(out[i].td, out[i].td, d);
    }
}

// Table for fixed-base multiplication in signed radix 16:
// row[i][j] = (j + 1) 256^i B, affine. ROWS rows cover 8 ROWS scalar bits.
template <class F, size_t ROWS>
struct EdFixedTable {
    EdAffine<F> row[ROWS][8];

    void build(const EdPoint<F>& base, const typename F::Fe& d) {
        std::vector<EdPoint<F>> pts(ROWS * 8);
        EdPoint<F> b = base;
        for (size_t i = 0; i < ROWS; ++i) {
            EdCached<F> bc;
            ed_to_cached<F>(bc, b, d);
            pts[8 * i] = b;
            for (size_t j = 1; j < 8; ++j) ed_add<F>(pts[8 * i + j], pts[8 * i + j - 1], bc);
            for (int k = 0; k < 8; ++k) ed_dbl<F>(b, b);
        }
        ed_batch_affine<F>(&row[0][0], pts.data(), ROWS * 8, d);
    }

    // t = e row[pos] for a secret digit e in [-8, 8], by a full masked scan.
    void select(EdAffine<F>& t, size_t pos, int8_t e) const {
        const uint64_t neg = uint64_t(uint8_t(e)) >> 7;
        const uint64_t abs = uint64_t(int64_t(e) - ((-int64_t(neg) & int64_t(e)) << 1));
        ed_affine_identity<F>(t);
        for (uint64_t j = 0; j < 8; ++j) {
            uint64_t m = ct::mask_eq(abs, j + 1);
            F::cmov(t.x, row[pos][j].x, m);
            F::cmov(t.y, row[pos][j].y, m);
            F::cmov(t.td, row[pos][j].td, m);
        }
        EdAffine<F> n;
        ed_neg_affine<F>(n, t);
        uint64_t m = ct::mask_from_bit(neg);
        F::cmov(t.x, n.x, m);
        F::cmov(t.td, n.td, m);
    }

    // r = a B for a little-endian scalar a of nbytes <= ROWS bytes whose top
    // byte (byte ROWS - 1) is at most 127, in signed radix 16: the odd digits
    // are added first, the sum multiplied by 16, then the even digits added.
    // Constant time: every digit selects its entry by a full masked scan.
    void mul(EdPoint<F>& r, const uint8_t* a, size_t nbytes) const {
        int8_t e[2 * ROWS];
        for (size_t i = 0; i < ROWS; ++i) {
            uint8_t v = i < nbytes ? a[i] : 0;
            e[2 * i] = int8_t(v & 15);
            e[2 * i + 1] = int8_t(v >> 4);
        }
        // Digits into [-8, 8): carry the excess into the next digit.
        int8_t carry = 0;
        for (size_t i = 0; i + 1 < 2 * ROWS; ++i) {
            e[i] = int8_t(e[i] + carry);
            carry = int8_t((e[i] + 8) >> 4);
            e[i] = int8_t(e[i] - (carry << 4));
        }
        e[2 * ROWS - 1] = int8_t(e[2 * ROWS - 1] + carry);
        EdAffine<F> t;
        ed_identity<F>(r);
        for (size_t i = 1; i < 2 * ROWS; i += 2) {
            select(t, i / 2, e[i]);
            ed_add_affine<F>(r, r, t);
        }
        for (int k = 0; k < 3; ++k) ed_dbl<F, false>(r, r);
        ed_dbl<F>(r, r);
        for (size_t i = 0; i < 2 * ROWS; i += 2) {
            select(t, i / 2, e[i]);
            ed_add_affine<F>(r, r, t);
        }
        ewipe(e, sizeof e);
        ewipe(&t, sizeof t);
    }
};

// Odd multiples (2 j + 1) P, j < n, as cached addends.
template <class F>
inline void ed_odd_multiples(EdCached<F>* out, const EdPoint<F>& p, size_t n, const typename F::Fe& d) {
    EdPoint<F> p2, acc = p;
    ed_dbl<F>(p2, p);
    EdCached<F> c2;
    ed_to_cached<F>(c2, p2, d);
    ed_to_cached<F>(out[0], acc, d);
    for (size_t j = 1; j < n; ++j) {
        ed_add<F>(acc, acc, c2);
        ed_to_cached<F>(out[j], acc, d);
    }
}

// r = s B + k P for public scalars (variable time): wNAF of width 8 for s over
// the precomputed odd multiples of B (64 affine entries) and width 5 for k
// over eight odd multiples of P. `bits` bounds both scalars.
inline constexpr size_t kMaxScalarBits = 456;

template <class F>
inline void ed_double_mul_vartime(EdPoint<F>& r, const uint8_t* s, const EdAffine<F>* btab, const uint8_t* k,
                                  const EdPoint<F>& p, size_t bits, const typename F::Fe& d) {
    int8_t ns[kMaxScalarBits + 8], nk[kMaxScalarBits + 8];
    if (bits > kMaxScalarBits) bits = kMaxScalarBits;
    wnaf(ns, s, bits, 8);
    wnaf(nk, k, bits, 5);
    EdCached<F> ptab[8];
    ed_odd_multiples<F>(ptab, p, 8, d);
    size_t top = bits + 8;
    while (top > 0 && ns[top - 1] == 0 && (top > bits + 5 || nk[top - 1] == 0)) --top;
    ed_identity<F>(r);
    for (size_t i = top; i-- > 0;) {
        if (ns[i] != 0 || (i < bits + 5 && nk[i] != 0))
            ed_dbl<F>(r, r);
        else
            ed_dbl<F, false>(r, r);
        if (ns[i] > 0) {
            ed_add_affine<F>(r, r, btab[ns[i] / 2]);
        } else if (ns[i] < 0) {
            EdAffine<F> n;
            ed_neg_affine<F>(n, btab[-ns[i] / 2]);
            ed_add_affine<F>(r, r, n);
        }
        if (i < bits + 5 && nk[i] > 0) {
            ed_add<F>(r, r, ptab[nk[i] / 2]);
        } else if (i < bits + 5 && nk[i] < 0) {
            EdCached<F> n;
            ed_neg_cached<F>(n, ptab[-nk[i] / 2]);
            ed_add<F>(r, r, n);
        }
    }
}

}  // namespace velt::ecc::safe
