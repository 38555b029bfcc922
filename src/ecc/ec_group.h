// The point arithmetic of one prime curve over a field class F of N limbs
// (MontField<N> or a dedicated field with the same interface). Points are
// held in homogeneous projective coordinates (X : Y : Z), affine (X/Z, Y/Z),
// with the field's internal representation; infinity is (0 : 1 : 0). The
// addition and doubling are the complete formulas of Renes, Costello and
// Batina ("Complete addition formulas for prime order elliptic curves",
// EUROCRYPT 2016, algorithms 1, 3, 4 and 6): valid for every pair of inputs,
// infinity and equal points included, so the constant-time ladders need no
// special cases. Internal to src/ecc.
#pragma once

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "bigd/modinv.h"
#include "ecc/ec_field.h"
#include "ecc/ec_internal.h"
#include "util/emem.h"

namespace velt::ecc {

template <size_t N, class F = MontField<N>>
class GroupImpl final : public Group {
  public:
    struct P3 {
        limb X[N], Y[N], Z[N];
    };

    explicit GroupImpl(const EC_curve& c) : curve_(c) {
        f_.init(c.p);
        sn_.init(c.n);
        f_.to_mont(a_, c.a);
        f_.to_mont(b_, c.b);
        f_.add(b3_, b_, b_);
        f_.add(b3_, b3_, b_);
        am3_ = c.a_minus3 != 0;
        windows_ = (size_t(c.orderbits) + 3) / 4;
        // Signed windows of kBaseW bits over orderbits + 2 bits: the top
        // window then never carries out (see mult_base).
        bwindows_ = (size_t(c.orderbits) + 2 + kBaseW - 1) / kBaseW;
    }

    // ---- point formulas ----
    void set_inf(P3& R) const {
        std::memset(R.X, 0, sizeof R.X);
        std::memcpy(R.Y, f_.one, sizeof R.Y);
        std::memset(R.Z, 0, sizeof R.Z);
    }

    // R = P + Q, complete (RCB algorithm 4 for a = -3, algorithm 1 otherwise).
    void padd(P3& out, const P3& P, const P3& Q) const {
        limb t0[N], t1[N], t2[N], t3[N], t4[N], X3[N], Y3[N], Z3[N];
        const F& f = f_;
        if (am3_) {
            f.mul(t0, P.X, Q.X);
            f.mul(t1, P.Y, Q.Y);
            f.mul(t2, P.Z, Q.Z);
            f.add(t3, P.X, P.Y);
            f.add(t4, Q.X, Q.Y);
            f.mul(t3, t3, t4);
            f.add(t4, t0, t1);
            f.sub(t3, t3, t4);
            f.add(t4, P.Y, P.Z);
            f.add(X3, Q.Y, Q.Z);
            f.mul(t4, t4, X3);
            f.add(X3, t1, t2);
            f.sub(t4, t4, X3);
            f.add(X3, P.X, P.Z);
            f.add(Y3, Q.X, Q.Z);
            f.mul(X3, X3, Y3);
            f.add(Y3, t0, t2);
            f.sub(Y3, X3, Y3);
            f.mul(Z3, b_, t2);
            f.sub(X3, Y3, Z3);
            f.add(Z3, X3, X3);
            f.add(X3, X3, Z3);
            f.sub(Z3, t1, X3);
            f.add(X3, t1, X3);
            f.mul(Y3, b_, Y3);
            f.add(t1, t2, t2);
            f.add(t2, t1, t2);
            f.sub(Y3, Y3, t2);
            f.sub(Y3, Y3, t0);
            f.add(t1, Y3, Y3);
            f.add(Y3, t1, Y3);
            f.add(t1, t0, t0);
            f.add(t0, t1, t0);
            f.sub(t0, t0, t2);
            f.mul(t1, t4, Y3);
            f.mul(t2, t0, Y3);
            f.mul(Y3, X3, Z3);
            f.add(Y3, Y3, t2);
            f.mul(X3, t3, X3);
            f.sub(X3, X3, t1);
            f.mul(Z3, t4, Z3);
            f.mul(t1, t3, t0);
            f.add(Z3, Z3, t1);
        } else {
            limb t5[N];
            f.mul(t0, P.X, Q.X);
            f.mul(t1, P.Y, Q.Y);
            f.mul(t2, P.Z, Q.Z);
            f.add(t3, P.X, P.Y);
            f.add(t4, Q.X, Q.Y);
            f.mul(t3, t3, t4);
            f.add(t4, t0, t1);
            f.sub(t3, t3, t4);
            f.add(t4, P.X, P.Z);
            f.add(t5, Q.X, Q.Z);
            f.mul(t4, t4, t5);
            f.add(t5, t0, t2);
            f.sub(t4, t4, t5);
            f.add(t5, P.Y, P.Z);
            f.add(X3, Q.Y, Q.Z);
            f.mul(t5, t5, X3);
            f.add(X3, t1, t2);
            f.sub(t5, t5, X3);
            f.mul(Z3, a_, t4);
            f.mul(X3, b3_, t2);
            f.add(Z3, X3, Z3);
            f.sub(X3, t1, Z3);
            f.add(Z3, t1, Z3);
            f.mul(Y3, X3, Z3);
            f.add(t1, t0, t0);
            f.add(t1, t1, t0);
            f.mul(t2, a_, t2);
            f.mul(t4, b3_, t4);
            f.add(t1, t1, t2);
            f.sub(t2, t0, t2);
            f.mul(t2, a_, t2);
            f.add(t4, t4, t2);
            f.mul(t0, t1, t4);
            f.add(Y3, Y3, t0);
            f.mul(t0, t5, t4);
            f.mul(X3, t3, X3);
            f.sub(X3, X3, t0);
            f.mul(t0, t3, t1);
            f.mul(Z3, t5, Z3);
            f.add(Z3, Z3, t0);
        }
        std::memcpy(out.X, X3, sizeof X3);
        std::memcpy(out.Y, Y3, sizeof Y3);
        std::memcpy(out.Z, Z3, sizeof Z3);
    }

    // R = 2P, complete (RCB algorithm 6 for a = -3, algorithm 3 otherwise).
    void pdbl(P3& out, const P3& P) const {
        limb t0[N], t1[N], t2[N], t3[N], X3[N], Y3[N], Z3[N];
        const F& f = f_;
        if (am3_) {
            f.sqr(t0, P.X);
            f.sqr(t1, P.Y);
            f.sqr(t2, P.Z);
            f.mul(t3, P.X, P.Y);
            f.add(t3, t3, t3);
            f.mul(Z3, P.X, P.Z);
            f.add(Z3, Z3, Z3);
            f.mul(Y3, b_, t2);
            f.sub(Y3, Y3, Z3);
            f.add(X3, Y3, Y3);
            f.add(Y3, X3, Y3);
            f.sub(X3, t1, Y3);
            f.add(Y3, t1, Y3);
            f.mul(Y3, X3, Y3);
            f.mul(X3, X3, t3);
            f.add(t3, t2, t2);
            f.add(t2, t2, t3);
            f.mul(Z3, b_, Z3);
            f.sub(Z3, Z3, t2);
            f.sub(Z3, Z3, t0);
            f.add(t3, Z3, Z3);
            f.add(Z3, Z3, t3);
            f.add(t3, t0, t0);
            f.add(t0, t3, t0);
            f.sub(t0, t0, t2);
            f.mul(t0, t0, Z3);
            f.add(Y3, Y3, t0);
            f.mul(t0, P.Y, P.Z);
            f.add(t0, t0, t0);
            f.mul(Z3, t0, Z3);
            f.sub(X3, X3, Z3);
            f.mul(Z3, t0, t1);
            f.add(Z3, Z3, Z3);
            f.add(Z3, Z3, Z3);
        } else {
            f.sqr(t0, P.X);
            f.sqr(t1, P.Y);
            f.sqr(t2, P.Z);
            f.mul(t3, P.X, P.Y);
            f.add(t3, t3, t3);
            f.mul(Z3, P.X, P.Z);
            f.add(Z3, Z3, Z3);
            f.mul(X3, a_, Z3);
            f.mul(Y3, b3_, t2);
            f.add(Y3, X3, Y3);
            f.sub(X3, t1, Y3);
            f.add(Y3, t1, Y3);
            f.mul(Y3, X3, Y3);
            f.mul(X3, t3, X3);
            f.mul(Z3, b3_, Z3);
            f.mul(t2, a_, t2);
            f.sub(t3, t0, t2);
            f.mul(t3, a_, t3);
            f.add(t3, t3, Z3);
            f.add(Z3, t0, t0);
            f.add(t0, Z3, t0);
            f.add(t0, t0, t2);
            f.mul(t0, t0, t3);
            f.add(Y3, Y3, t0);
            f.mul(t2, P.Y, P.Z);
            f.add(t2, t2, t2);
            f.mul(t0, t2, t3);
            f.sub(X3, X3, t0);
            f.mul(Z3, t2, t1);
            f.add(Z3, Z3, Z3);
            f.add(Z3, Z3, Z3);
        }
        std::memcpy(out.X, X3, sizeof X3);
        std::memcpy(out.Y, Y3, sizeof Y3);
        std::memcpy(out.Z, Z3, sizeof Z3);
    }

    // Jacobian (X, Y, Z), plain numbers below 2^(64 N), to projective:
    // (X Z : Y : Z^3). Infinity (Z = 0 mod p) becomes (0 : 1 : 0) by mask.
    void from_jacobian(P3& R, const EC_point& S) const {
        limb x[N], y[N], z[N], z2[N];
        f_.to_mont(x, S.X);
        f_.to_mont(y, S.Y);
        f_.to_mont(z, S.Z);
        f_.mul(R.X, x, z);
        f_.sqr(z2, z);
        f_.mul(R.Z, z2, z);
        limb inf = fe_iszero_mask<N>(R.Z);
        fe_select<N>(R.Y, inf, f_.one, y);
        limb zero[N] = {0};
        fe_select<N>(R.X, inf, zero, R.X);
    }

    // Projective to a normalised Jacobian point (Z = 1, or (1, 1, 0) for
    // infinity); constant time (Fermat inversion).
    void to_affine(EC_point* out, const P3& P) const {
        limb zi[N], x[N], y[N];
        inv_ct(zi, P.Z);
        f_.mul(x, P.X, zi);
        f_.mul(y, P.Y, zi);
        f_.from_mont(x, x);
        f_.from_mont(y, y);
        limb inf = fe_iszero_mask<N>(P.Z);
        limb unit[N] = {1};
        std::memset(out, 0, sizeof *out);
        fe_select<N>(out->X, inf, unit, x);
        fe_select<N>(out->Y, inf, unit, y);
        out->Z[0] = ct::select(inf, 0, 1);
        ewipe(x, sizeof x);
        ewipe(y, sizeof y);
    }

    // ---- Jacobian formulas of the variable-base ladder ----
    // (X, Y, Z) with affine (X/Z^2, Y/Z^3); infinity has Z = 0.
    using J3 = P3;

    // R = 2P (EFD dbl-2001-b for a = -3, dbl-2007-bl otherwise). Z = 0 in
    // gives Z = 0 out, so infinity doubles to infinity.
    void jdbl(J3& out, const J3& P) const {
        const F& f = f_;
        limb t0[N], t1[N], t2[N], t3[N], X3[N], Y3[N], Z3[N];
        if (am3_) {
            f.sqr(t0, P.Z);      // delta
            f.sqr(t1, P.Y);      // gamma
            f.mul(t2, P.X, t1);  // beta
            f.sub(t3, P.X, t0);
            f.add(X3, P.X, t0);
            f.mul(t3, t3, X3);
            f.add(X3, t3, t3);
            f.add(t3, X3, t3);  // alpha = 3 (X - delta)(X + delta)
            f.add(Z3, P.Y, P.Z);
            f.sqr(Z3, Z3);
            f.sub(Z3, Z3, t1);
            f.sub(Z3, Z3, t0);  // (Y + Z)^2 - gamma - delta
            f.add(t2, t2, t2);
            f.add(t2, t2, t2);  // 4 beta
            f.sqr(X3, t3);
            f.sub(X3, X3, t2);
            f.sub(X3, X3, t2);  // alpha^2 - 8 beta
            f.sub(Y3, t2, X3);
            f.mul(Y3, Y3, t3);
            f.sqr(t1, t1);
            f.add(t1, t1, t1);
            f.add(t1, t1, t1);
            f.add(t1, t1, t1);  // 8 gamma^2
            f.sub(Y3, Y3, t1);
        } else {
            limb t4[N];
            f.sqr(t0, P.X);  // XX
            f.sqr(t1, P.Y);  // YY
            f.sqr(t2, t1);   // YYYY
            f.sqr(t3, P.Z);  // ZZ
            f.add(X3, P.X, t1);
            f.sqr(X3, X3);
            f.sub(X3, X3, t0);
            f.sub(X3, X3, t2);
            f.add(X3, X3, X3);  // S
            f.sqr(t4, t3);
            f.mul(t4, t4, a_);
            f.add(Y3, t0, t0);
            f.add(Y3, Y3, t0);
            f.add(t4, t4, Y3);  // M = 3 XX + a ZZ^2
            f.add(Z3, P.Y, P.Z);
            f.sqr(Z3, Z3);
            f.sub(Z3, Z3, t1);
            f.sub(Z3, Z3, t3);  // (Y + Z)^2 - YY - ZZ
            f.sqr(t0, t4);
            f.sub(t0, t0, X3);
            f.sub(t0, t0, X3);  // T = M^2 - 2 S
            f.sub(Y3, X3, t0);
            f.mul(Y3, Y3, t4);
            f.add(t2, t2, t2);
            f.add(t2, t2, t2);
            f.add(t2, t2, t2);
            f.sub(Y3, Y3, t2);  // M (S - T) - 8 YYYY
            std::memcpy(X3, t0, sizeof X3);
        }
        std::memcpy(out.X, X3, sizeof X3);
        std::memcpy(out.Y, Y3, sizeof Y3);
        std::memcpy(out.Z, Z3, sizeof Z3);
    }

    // R = P + Q (EFD add-2007-bl) with infinity on either side handled by
    // masked selects. P = Q and P = -Q are not handled: the fixed-window
    // ladder never meets them (its partial sums are m S and 16 m S + d S
    // with 0 < 16 m + d below the order, so neither 16 m = d nor
    // 16 m = -d modulo n can hold unless both are zero, which is infinity).
    void jadd(J3& out, const J3& P, const J3& Q) const {
        const F& f = f_;
        limb z1z1[N], z2z2[N], u1[N], u2[N], s1[N], s2[N], h[N], i[N], j[N], r[N], v[N];
        limb X3[N], Y3[N], Z3[N];
        f.sqr(z1z1, P.Z);
        f.sqr(z2z2, Q.Z);
        f.mul(u1, P.X, z2z2);
        f.mul(u2, Q.X, z1z1);
        f.mul(s1, P.Y, Q.Z);
        f.mul(s1, s1, z2z2);
        f.mul(s2, Q.Y, P.Z);
        f.mul(s2, s2, z1z1);
        f.sub(h, u2, u1);
        f.add(i, h, h);
        f.sqr(i, i);
        f.mul(j, h, i);
        f.sub(r, s2, s1);
        f.add(r, r, r);
        f.mul(v, u1, i);
        f.sqr(X3, r);
        f.sub(X3, X3, j);
        f.sub(X3, X3, v);
        f.sub(X3, X3, v);
        f.sub(Y3, v, X3);
        f.mul(Y3, Y3, r);
        f.mul(s1, s1, j);
        f.add(s1, s1, s1);
        f.sub(Y3, Y3, s1);
        f.add(Z3, P.Z, Q.Z);
        f.sqr(Z3, Z3);
        f.sub(Z3, Z3, z1z1);
        f.sub(Z3, Z3, z2z2);
        f.mul(Z3, Z3, h);
        limb pinf = fe_iszero_mask<N>(P.Z), qinf = fe_iszero_mask<N>(Q.Z);
        fe_select<N>(X3, pinf, Q.X, X3);
        fe_select<N>(Y3, pinf, Q.Y, Y3);
        fe_select<N>(Z3, pinf, Q.Z, Z3);
        fe_select<N>(out.X, qinf, P.X, X3);
        fe_select<N>(out.Y, qinf, P.Y, Y3);
        fe_select<N>(out.Z, qinf, P.Z, Z3);
    }

    // Jacobian to a normalised EC_point; constant time.
    void jac_to_affine(EC_point* out, const J3& P) const {
        limb zi[N], zi2[N], x[N], y[N];
        inv_ct(zi, P.Z);
        f_.sqr(zi2, zi);
        f_.mul(x, P.X, zi2);
        f_.mul(zi2, zi2, zi);
        f_.mul(y, P.Y, zi2);
        f_.from_mont(x, x);
        f_.from_mont(y, y);
        limb inf = fe_iszero_mask<N>(P.Z);
        limb unit[N] = {1};
        std::memset(out, 0, sizeof *out);
        fe_select<N>(out->X, inf, unit, x);
        fe_select<N>(out->Y, inf, unit, y);
        out->Z[0] = ct::select(inf, 0, 1);
        ewipe(x, sizeof x);
        ewipe(y, sizeof y);
    }

    // ---- Group interface ----
    void mult(EC_point* R, const uint64_t* d, const EC_point& S) const override {
        // Fixed 4-bit windows over all bits of the order, in Jacobian
        // coordinates: T[i] = i S, read by a full masked scan.
        J3 T[16];
        std::memcpy(T[0].X, f_.one, sizeof T[0].X);
        std::memcpy(T[0].Y, f_.one, sizeof T[0].Y);
        std::memset(T[0].Z, 0, sizeof T[0].Z);
        f_.to_mont(T[1].X, S.X);
        f_.to_mont(T[1].Y, S.Y);
        f_.to_mont(T[1].Z, S.Z);
        for (size_t i = 2; i < 16; ++i) {
            if (i % 2 == 0)
                jdbl(T[i], T[i / 2]);
            else
                jadd(T[i], T[i - 1], T[1]);
        }
        limb k[N];
        scalar_reduce(k, d);
        J3 acc, e;
        lookup16(acc, T, digit(k, windows_ - 1));
        for (size_t w = windows_ - 1; w-- > 0;) {
            for (int j = 0; j < 4; ++j) jdbl(acc, acc);
            lookup16(e, T, digit(k, w));
            jadd(acc, acc, e);
        }
        jac_to_affine(R, acc);
        ewipe(T, sizeof T);
        ewipe(k, sizeof k);
        ewipe(&acc, sizeof acc);
        ewipe(&e, sizeof e);
    }

    void mult_base(EC_point* R, const uint64_t* d) const override {
        // k = sum of d_w 2^(kBaseW w) with signed digits |d_w| <= 2^(kBaseW-1):
        // each window adds |d_w| 2^(kBaseW w) G from its row (a full masked
        // scan), negated by mask when d_w < 0; no doublings at all.
        constexpr size_t kRow = size_t(1) << (kBaseW - 1);
        const limb* table = base_table();
        limb k[N];
        scalar_reduce(k, d);
        P3 acc, e;
        set_inf(acc);
        limb carry = 0;
        for (size_t w = 0; w < bwindows_; ++w) {
            // v in [0, 2^kBaseW]; v >= 2^(kBaseW-1) becomes v - 2^kBaseW with a
            // carry into the next window. Arithmetic only, no branch on k.
            limb v = bits_at(k, w * kBaseW, kBaseW) + carry;
            carry = ((v >> (kBaseW - 1)) + 1) >> 1;
            limb sd = v - (carry << kBaseW);  // two's complement digit
            limb neg = ct::mask_from_bit(sd >> 63);
            limb mag = (sd ^ neg) - neg;  // |digit|, 0..2^(kBaseW-1)
            std::memset(e.X, 0, sizeof e.X);
            std::memset(e.Y, 0, sizeof e.Y);
            const limb* row = table + w * kRow * 2 * N;
            for (size_t j = 0; j < kRow; ++j) {
                limb m = ct::mask_eq(j + 1, mag);
                for (size_t i = 0; i < N; ++i) {
                    e.X[i] |= m & row[(2 * j) * N + i];
                    e.Y[i] |= m & row[(2 * j + 1) * N + i];
                }
            }
            limb ny[N];
            f_.neg(ny, e.Y);
            fe_select<N>(e.Y, neg, ny, e.Y);
            limb nz = ct::mask_nonzero(mag);
            fe_select<N>(e.Y, nz, e.Y, f_.one);
            limb zero[N] = {0};
            fe_select<N>(e.Z, nz, f_.one, zero);
            padd(acc, acc, e);
        }
        to_affine(R, acc);
        ewipe(k, sizeof k);
        ewipe(&carry, sizeof carry);
        ewipe(&acc, sizeof acc);
        ewipe(&e, sizeof e);
    }

    void mul2_vartime(EC_point* R, const uint64_t* u1, const uint64_t* u2, const EC_point& Q) const override {
        J3 acc;
        straus_vt(acc, u1, u2, Q);
        jac_to_affine(R, acc);
    }

    int mul2_check_x(const uint64_t* u1, const uint64_t* u2, const EC_point& Q,
                     const uint64_t* r) const override {
        J3 acc;
        straus_vt(acc, u1, u2, Q);
        return check_x(acc, r);
    }

    std::vector<uint64_t> verify_table(const EC_point& Q) const override {
        // Rows of 2^(kQW-1) points, entry j - 1 of row w being
        // j * 2^(kQW w) * Q, in the fixed-base table's layout.
        constexpr size_t kRow = size_t(1) << (kQW - 1);
        const size_t rows = qrows(), count = rows * kRow;
        std::vector<J3> pts(count);
        J3 base;
        f_.to_mont(base.X, Q.X);
        f_.to_mont(base.Y, Q.Y);
        f_.to_mont(base.Z, Q.Z);
        for (size_t w = 0; w < rows; ++w) {
            J3* row = &pts[w * kRow];
            row[0] = base;
            for (size_t j = 1; j < kRow; ++j) jadd_vt(row[j], row[j - 1], base);
            jdbl(base, row[kRow - 1]);  // 2^kQW * base
        }
        std::vector<uint64_t> out;
        normalize_batch(out, pts);
        return out;
    }

    int mul2_check_x_table(const uint64_t* u1, const uint64_t* u2, const std::vector<uint64_t>& qtable,
                           const uint64_t* r) const override {
        if (qtable.size() != qrows() * (size_t(1) << (kQW - 1)) * 2 * N) return 0;
        limb k1[N], k2[N];
        scalar_reduce(k1, u1);
        scalar_reduce(k2, u2);
        J3 acc;
        set_inf_j(acc);
        comb_vt(acc, base_table(), kBaseW, bwindows_, k1);
        comb_vt(acc, qtable.data(), kQW, qrows(), k2);
        return check_x(acc, r);
    }

    void add(EC_point* R, const EC_point& P, const EC_point& Q) const override {
        P3 a, b;
        from_jacobian(a, P);
        from_jacobian(b, Q);
        padd(a, a, b);
        to_affine(R, a);
    }

    void normalize(EC_point* P) const override {
        limb x[N], y[N], z[N], zi[N], zi2[N];
        f_.to_mont(x, P->X);
        f_.to_mont(y, P->Y);
        f_.to_mont(z, P->Z);
        limb inf = fe_iszero_mask<N>(z);
        f_.inv(zi, z);
        f_.sqr(zi2, zi);
        f_.mul(x, x, zi2);
        f_.mul(zi2, zi2, zi);
        f_.mul(y, y, zi2);
        f_.from_mont(x, x);
        f_.from_mont(y, y);
        limb unit[N] = {1};
        std::memset(P, 0, sizeof *P);
        fe_select<N>(P->X, inf, unit, x);
        fe_select<N>(P->Y, inf, unit, y);
        P->Z[0] = ct::select(inf, 0, 1);
    }

    void rhs(uint64_t* r, const uint64_t* x) const override {
        limb xm[N], t[N], u[N];
        f_.to_mont(xm, x);
        f_.sqr(t, xm);
        f_.add(t, t, a_);
        f_.mul(t, t, xm);
        f_.add(u, t, b_);
        f_.from_mont(r, u);
    }

    int on_curve(const EC_point& P) const override {
        limb y[N], y2[N], r[N];
        rhs(r, P.X);
        f_.to_mont(y, P.Y);
        f_.sqr(y2, y);
        f_.from_mont(y2, y2);
        return std::memcmp(y2, r, sizeof r) == 0 ? 1 : 0;
    }

    int sqrt(uint64_t* out, const uint64_t* v) const override {
        limb vm[N], r[N], e[N], t[N];
        f_.to_mont(vm, v);
        if ((curve_.p[0] & 3) == 3) {
            // p = 3 mod 4: r = v^((p + 1) / 4).
            limb unit[N] = {1};
            F::add_raw(e, curve_.p, unit);
            shr(e, 2);
            f_.pow(r, vm, e);
        } else {
            tonelli_shanks(r, vm);
        }
        f_.sqr(t, r);
        if (std::memcmp(t, vm, sizeof t) != 0) return 0;
        f_.from_mont(out, r);
        for (size_t i = N; i < kMaxLimbs; ++i) out[i] = 0;
        return 1;
    }

    void scalar_reduce(uint64_t* r, const uint64_t* a) const override {
        limb t[N];
        sn_.mul(t, a, sn_.rr);  // a * R mod n (a < 2^(64 N) = R, rr < n)
        sn_.from_mont(r, t);
        ewipe(t, sizeof t);
    }
    void scalar_add(uint64_t* r, const uint64_t* a, const uint64_t* b) const override { sn_.add(r, a, b); }
    void scalar_mul(uint64_t* r, const uint64_t* a, const uint64_t* b) const override {
        limb t[N];
        sn_.mul(t, a, b);
        sn_.mul(r, t, sn_.rr);
        ewipe(t, sizeof t);
    }
    void scalar_inv(uint64_t* r, const uint64_t* a) const override {
        // Constant-time binary-GCD inverse (divsteps): a few times quicker
        // than the Fermat power for these sizes; 0 for a = 0.
        bigd::modinv_odd_ct(r, a, sn_.m, N);
    }

  private:
    // ---- Variable-time Jacobian arithmetic (public inputs only) ----
    // A point of the fixed-base verification table: affine, Z = 1 implied.
    struct A2 {
        limb X[N], Y[N];
    };
    // Width of the generator's NAF in verification (2^(w-2) odd multiples
    // precomputed once) and of the other point's (computed per call).
    static constexpr unsigned kWnafG = 7;
    static constexpr unsigned kWnafQ = 5;

    static bool fe_zero_vt(const limb* a) {
        limb z = 0;
        for (size_t i = 0; i < N; ++i) z |= a[i];
        return z == 0;
    }

    void set_inf_j(J3& R) const {
        std::memcpy(R.X, f_.one, sizeof R.X);
        std::memcpy(R.Y, f_.one, sizeof R.Y);
        std::memset(R.Z, 0, sizeof R.Z);
    }

    // R = P + Q for any P and Q (EFD add-2007-bl; equal points double,
    // opposite points give infinity). R may alias P or Q.
    void jadd_vt(J3& R, const J3& P, const J3& Q) const {
        if (fe_zero_vt(P.Z)) {
            R = Q;
            return;
        }
        if (fe_zero_vt(Q.Z)) {
            R = P;
            return;
        }
        const F& f = f_;
        limb z1z1[N], z2z2[N], u1[N], u2[N], s1[N], s2[N], h[N], i[N], j[N], r[N], v[N];
        f.sqr(z1z1, P.Z);
        f.sqr(z2z2, Q.Z);
        f.mul(u1, P.X, z2z2);
        f.mul(u2, Q.X, z1z1);
        f.mul(s1, P.Y, Q.Z);
        f.mul(s1, s1, z2z2);
        f.mul(s2, Q.Y, P.Z);
        f.mul(s2, s2, z1z1);
        f.sub(h, u2, u1);
        f.sub(r, s2, s1);
        if (fe_zero_vt(h)) {
            if (fe_zero_vt(r))
                jdbl(R, P);
            else
                set_inf_j(R);
            return;
        }
        limb Z3[N];
        f.add(Z3, P.Z, Q.Z);
        f.sqr(Z3, Z3);
        f.sub(Z3, Z3, z1z1);
        f.sub(Z3, Z3, z2z2);
        f.mul(R.Z, Z3, h);
        f.add(i, h, h);
        f.sqr(i, i);
        f.mul(j, h, i);
        f.add(r, r, r);
        f.mul(v, u1, i);
        f.sqr(R.X, r);
        f.sub(R.X, R.X, j);
        f.sub(R.X, R.X, v);
        f.sub(R.X, R.X, v);
        f.sub(R.Y, v, R.X);
        f.mul(R.Y, R.Y, r);
        f.mul(s1, s1, j);
        f.add(s1, s1, s1);
        f.sub(R.Y, R.Y, s1);
    }

    // R = P + (x, y) for an affine point (EFD madd-2007-bl), any P. R may
    // alias P.
    void jadd_affine_vt(J3& R, const J3& P, const limb* x, const limb* y) const {
        const F& f = f_;
        if (fe_zero_vt(P.Z)) {
            std::memcpy(R.X, x, sizeof R.X);
            std::memcpy(R.Y, y, sizeof R.Y);
            std::memcpy(R.Z, f.one, sizeof R.Z);
            return;
        }
        limb z1z1[N], u2[N], s2[N], h[N], hh[N], i[N], j[N], r[N], v[N];
        f.sqr(z1z1, P.Z);
        f.mul(u2, x, z1z1);
        f.mul(s2, y, P.Z);
        f.mul(s2, s2, z1z1);
        f.sub(h, u2, P.X);
        f.sub(r, s2, P.Y);
        if (fe_zero_vt(h)) {
            if (fe_zero_vt(r))
                jdbl(R, P);
            else
                set_inf_j(R);
            return;
        }
        f.sqr(hh, h);
        f.add(i, hh, hh);
        f.add(i, i, i);
        f.mul(j, h, i);
        f.add(r, r, r);
        f.mul(v, P.X, i);
        limb Y1[N];
        std::memcpy(Y1, P.Y, sizeof Y1);
        f.add(R.Z, P.Z, h);
        f.sqr(R.Z, R.Z);
        f.sub(R.Z, R.Z, z1z1);
        f.sub(R.Z, R.Z, hh);
        f.sqr(R.X, r);
        f.sub(R.X, R.X, j);
        f.sub(R.X, R.X, v);
        f.sub(R.X, R.X, v);
        f.sub(R.Y, v, R.X);
        f.mul(R.Y, R.Y, r);
        f.mul(Y1, Y1, j);
        f.add(Y1, Y1, Y1);
        f.sub(R.Y, R.Y, Y1);
    }

    // Window width of the per-point verification tables (verify_table).
    static constexpr unsigned kQW = 4;
    size_t qrows() const { return (size_t(curve_.orderbits) + 2 + kQW - 1) / kQW; }

    // 1 when acc is finite and its x-coordinate modulo n equals r. x =
    // X / Z^2 is compared without an inversion: x mod n = r holds when
    // X = x' Z^2 for x' = r or (when below p) x' = r + n.
    int check_x(const J3& acc, const uint64_t* r) const {
        if (fe_zero_vt(acc.Z)) return 0;
        limb z2[N], cand[N], t[N], xm[N];
        f_.sqr(z2, acc.Z);
        std::memcpy(cand, r, sizeof cand);
        for (int round = 0; round < 2; ++round) {
            f_.to_mont(xm, cand);
            f_.mul(t, xm, z2);
            if (std::memcmp(t, acc.X, sizeof t) == 0) return 1;
            if (F::add_raw(cand, cand, curve_.n) != 0 || num_cmp(cand, curve_.p, N) >= 0) break;
        }
        return 0;
    }

    // acc += k * P from a table of rows of 2^(w-1) affine points (entry
    // j - 1 of row i being j * 2^(w i) * P) by signed w-bit digits of k
    // (k < n; w * rows >= orderbits + 2, so the top digit never carries).
    // Variable time: k is public.
    void comb_vt(J3& acc, const limb* table, unsigned w, size_t rows, const limb* k) const {
        const size_t row_len = size_t(1) << (w - 1);
        limb ny[N];
        int carry = 0;
        for (size_t i = 0; i < rows; ++i) {
            int v = int(bits_at(k, i * w, w)) + carry;
            carry = v >= (1 << (w - 1)) ? 1 : 0;
            int d = v - (carry << w);
            if (d == 0) continue;
            const limb* e = table + (i * row_len + size_t(d > 0 ? d : -d) - 1) * 2 * N;
            if (d > 0) {
                jadd_affine_vt(acc, acc, e, e + N);
            } else {
                f_.neg(ny, e + N);
                jadd_affine_vt(acc, acc, e, ny);
            }
        }
    }

    // Affine x, y (field representation) of finite Jacobian points, one
    // inversion for all (Montgomery's trick).
    void normalize_batch(std::vector<uint64_t>& out, const std::vector<J3>& pts) const {
        const size_t count = pts.size();
        std::vector<Fe<N>> prefix(count);
        limb acc[N], inv[N];
        std::memcpy(acc, f_.one, sizeof acc);
        for (size_t i = 0; i < count; ++i) {
            std::memcpy(prefix[i].v, acc, sizeof acc);
            f_.mul(acc, acc, pts[i].Z);
        }
        f_.inv(inv, acc);
        out.assign(count * 2 * N, 0);
        for (size_t i = count; i-- > 0;) {
            limb zi[N], zi2[N];
            f_.mul(zi, inv, prefix[i].v);
            f_.mul(inv, inv, pts[i].Z);
            f_.sqr(zi2, zi);
            f_.mul(&out[2 * i * N], pts[i].X, zi2);
            f_.mul(zi2, zi2, zi);
            f_.mul(&out[(2 * i + 1) * N], pts[i].Y, zi2);
        }
    }

    // acc = u1 G + u2 Q (Straus: one doubling chain, width-w NAF digits of
    // both scalars; the generator's odd multiples come from a table built
    // once). Variable time: every input is public.
    void straus_vt(J3& acc, const uint64_t* u1, const uint64_t* u2, const EC_point& Q) const {
        const A2* TG = g_odd_table();
        J3 TQ[1u << (kWnafQ - 2)], two;
        f_.to_mont(TQ[0].X, Q.X);
        f_.to_mont(TQ[0].Y, Q.Y);
        f_.to_mont(TQ[0].Z, Q.Z);
        if (fe_zero_vt(TQ[0].Z)) set_inf_j(TQ[0]);
        jdbl(two, TQ[0]);
        for (size_t i = 1; i < (1u << (kWnafQ - 2)); ++i) jadd_vt(TQ[i], TQ[i - 1], two);
        limb k1[N], k2[N];
        scalar_reduce(k1, u1);
        scalar_reduce(k2, u2);
        int naf1[64 * N + 1], naf2[64 * N + 1];
        size_t l1 = wnaf(naf1, k1, kWnafG), l2 = wnaf(naf2, k2, kWnafQ);
        size_t len = l1 > l2 ? l1 : l2;
        set_inf_j(acc);
        limb ny[N];
        J3 e;
        for (size_t i = len; i-- > 0;) {
            jdbl(acc, acc);
            if (i < l1 && naf1[i]) {
                const A2& g = TG[size_t(naf1[i] > 0 ? naf1[i] : -naf1[i]) / 2];
                if (naf1[i] > 0) {
                    jadd_affine_vt(acc, acc, g.X, g.Y);
                } else {
                    f_.neg(ny, g.Y);
                    jadd_affine_vt(acc, acc, g.X, ny);
                }
            }
            if (i < l2 && naf2[i]) {
                const J3& q = TQ[size_t(naf2[i] > 0 ? naf2[i] : -naf2[i]) / 2];
                if (naf2[i] > 0) {
                    jadd_vt(acc, acc, q);
                } else {
                    e = q;
                    f_.neg(e.Y, e.Y);
                    jadd_vt(acc, acc, e);
                }
            }
        }
    }

    // The odd multiples G, 3G, ..., (2^(kWnafG - 1) - 1) G, affine in the
    // field's representation; built on first use.
    const A2* g_odd_table() const {
        std::call_once(vonce_, [this] {
            constexpr size_t count = size_t(1) << (kWnafG - 2);
            std::vector<J3> pts(count);
            J3 two;
            f_.to_mont(pts[0].X, curve_.G.X);
            f_.to_mont(pts[0].Y, curve_.G.Y);
            f_.to_mont(pts[0].Z, curve_.G.Z);
            jdbl(two, pts[0]);
            for (size_t i = 1; i < count; ++i) jadd_vt(pts[i], pts[i - 1], two);
            // Batch normalisation: one inversion for all.
            std::vector<Fe<N>> prefix(count);
            limb acc[N], inv[N];
            std::memcpy(acc, f_.one, sizeof acc);
            for (size_t i = 0; i < count; ++i) {
                std::memcpy(prefix[i].v, acc, sizeof acc);
                f_.mul(acc, acc, pts[i].Z);
            }
            f_.inv(inv, acc);
            vtable_.resize(count);
            for (size_t i = count; i-- > 0;) {
                limb zi[N], zi2[N];
                f_.mul(zi, inv, prefix[i].v);
                f_.mul(inv, inv, pts[i].Z);
                f_.sqr(zi2, zi);
                f_.mul(vtable_[i].X, pts[i].X, zi2);
                f_.mul(zi2, zi2, zi);
                f_.mul(vtable_[i].Y, pts[i].Y, zi2);
            }
        });
        return vtable_.data();
    }

    static void shr(limb* a, unsigned s) {
        for (size_t i = 0; i < N; ++i) a[i] = (a[i] >> s) | (i + 1 < N ? a[i + 1] << (64 - s) : 0);
    }

    // r = a^-1 in the field's representation (0 for 0), constant time: the
    // binary-GCD inverse of bigd, a few times quicker than the Fermat power.
    void inv_ct(limb* r, const limb* a) const {
        limb t[N];
        f_.from_mont(t, a);
        bigd::modinv_odd_ct(t, t, curve_.p, N);
        f_.to_mont(r, t);
        ewipe(t, sizeof t);
    }

    // Window width of the fixed-base multiplication.
    static constexpr unsigned kBaseW = 6;

    // The `width` bits of k from bit pos (zero above the top limb); pos is
    // public, so only shifts by public amounts.
    static limb bits_at(const limb* k, size_t pos, unsigned width) {
        size_t li = pos / 64, sh = pos % 64;
        limb v = li < N ? k[li] >> sh : 0;
        if (sh + width > 64 && li + 1 < N) v |= k[li + 1] << (64 - sh);
        return v & ((limb(1) << width) - 1);
    }

    // 4-bit digit w of k (shifts by public amounts only).
    static limb digit(const limb* k, size_t w) {
        size_t pos = 4 * w, li = pos / 64, sh = pos % 64;
        return (k[li] >> sh) & 15;
    }

    // R = T[idx] by a scan of all 16 entries.
    static void lookup16(P3& R, const P3* T, limb idx) {
        std::memset(&R, 0, sizeof R);
        for (size_t j = 0; j < 16; ++j) {
            limb m = ct::mask_eq(j, idx);
            for (size_t i = 0; i < N; ++i) {
                R.X[i] |= m & T[j].X[i];
                R.Y[i] |= m & T[j].Y[i];
                R.Z[i] |= m & T[j].Z[i];
            }
        }
    }

    // Width-w NAF of k (public): digits odd in (-2^(w-1), 2^(w-1)) or 0;
    // returns the digit count.
    static size_t wnaf(int* naf, const limb* kin, unsigned w) {
        limb k[N + 1];
        std::memcpy(k, kin, N * sizeof(limb));
        k[N] = 0;
        const int full = 1 << w, half = 1 << (w - 1);
        size_t i = 0;
        auto nonzero = [&]() {
            for (size_t j = 0; j <= N; ++j)
                if (k[j]) return true;
            return false;
        };
        while (nonzero()) {
            int z = 0;
            if (k[0] & 1) {
                z = int(k[0] & limb(full - 1));
                if (z >= half) z -= full;
                if (z > 0) {
                    limb borrow = limb(z);
                    for (size_t j = 0; j <= N && borrow; ++j) {
                        limb old = k[j];
                        k[j] -= borrow;
                        borrow = old < borrow;
                    }
                } else {
                    limb carry = limb(-z);
                    for (size_t j = 0; j <= N && carry; ++j) {
                        k[j] += carry;
                        carry = k[j] < carry;
                    }
                }
            }
            naf[i++] = z;
            for (size_t j = 0; j < N; ++j) k[j] = (k[j] >> 1) | (k[j + 1] << 63);
            k[N] >>= 1;
        }
        return i;
    }

    void tonelli_shanks(limb* r, const limb* vm) const {
        // p - 1 = q 2^s with q odd.
        limb q[N], e[N], unit[N] = {1};
        F::sub_raw(q, curve_.p, unit);
        unsigned s = 0;
        while (!(q[0] & 1)) {
            shr(q, 1);
            ++s;
        }
        // Smallest non-residue z from 2 upwards: z^((p-1)/2) = -1.
        limb pm1[N], half[N], minus1[N];
        F::sub_raw(pm1, curve_.p, unit);
        std::memcpy(half, pm1, sizeof half);
        shr(half, 1);
        f_.neg(minus1, f_.one);
        limb z[N], zm[N], t[N];
        for (limb cand = 2;; ++cand) {
            std::memset(z, 0, sizeof z);
            z[0] = cand;
            f_.to_mont(zm, z);
            f_.pow(t, zm, half);
            if (std::memcmp(t, minus1, sizeof t) == 0) break;
        }
        limb c[N], tt[N], b[N];
        f_.pow(c, zm, q);
        f_.pow(tt, vm, q);
        std::memcpy(e, q, sizeof e);
        F::add_raw(e, e, unit);
        shr(e, 1);
        f_.pow(r, vm, e);
        unsigned M = s;
        limb zero[N] = {0};
        if (std::memcmp(vm, zero, sizeof zero) == 0) {
            std::memset(r, 0, N * sizeof(limb));
            return;
        }
        while (std::memcmp(tt, f_.one, sizeof tt) != 0) {
            unsigned i = 0;
            std::memcpy(t, tt, sizeof t);
            while (i < M && std::memcmp(t, f_.one, sizeof t) != 0) {
                f_.sqr(t, t);
                ++i;
            }
            if (i == M) return;  // no root; the caller's check fails
            std::memcpy(b, c, sizeof b);
            for (unsigned j = 0; j + i + 1 < M; ++j) f_.sqr(b, b);
            M = i;
            f_.sqr(c, b);
            f_.mul(tt, tt, c);
            f_.mul(r, r, b);
        }
    }

    // The fixed-base table: bwindows_ rows of 2^(kBaseW-1) affine points
    // (x, y in the field's representation), entry j - 1 of row w being
    // j * 2^(kBaseW w) * G. Built on first use; std::call_once makes
    // concurrent first calls safe.
    const limb* base_table() const {
        std::call_once(once_, [this] { build_base_table(); });
        return base_.data();
    }

    void build_base_table() const {
        constexpr size_t kRow = size_t(1) << (kBaseW - 1);
        size_t count = bwindows_ * kRow;
        std::vector<P3> pts(count);
        P3 base;
        from_jacobian(base, curve_.G);
        for (size_t w = 0; w < bwindows_; ++w) {
            P3* row = &pts[w * kRow];
            row[0] = base;
            for (size_t j = 1; j < kRow; ++j) padd(row[j], row[j - 1], base);
            padd(base, row[kRow - 1], row[kRow - 1]);  // 2^kBaseW * base
        }
        // Batch normalisation (Montgomery's trick): one inversion for all.
        std::vector<Fe<N>> prefix(count);
        limb acc[N];
        std::memcpy(acc, f_.one, sizeof acc);
        for (size_t i = 0; i < count; ++i) {
            std::memcpy(prefix[i].v, acc, sizeof acc);
            f_.mul(acc, acc, pts[i].Z);
        }
        limb inv[N];
        f_.inv(inv, acc);
        base_.assign(count * 2 * N, 0);
        for (size_t i = count; i-- > 0;) {
            limb zi[N];
            f_.mul(zi, inv, prefix[i].v);
            f_.mul(inv, inv, pts[i].Z);
            f_.mul(&base_[(2 * i) * N], pts[i].X, zi);
            f_.mul(&base_[(2 * i + 1) * N], pts[i].Y, zi);
        }
    }

    EC_curve curve_;
    F f_;
    MontField<N> sn_;
    limb a_[N], b_[N], b3_[N];
    bool am3_ = false;
    size_t windows_ = 0;
    size_t bwindows_ = 0;
    mutable std::once_flag once_;
    mutable std::vector<limb> base_;
    mutable std::once_flag vonce_;
    mutable std::vector<A2> vtable_;
};

// Group factories, one file each so that the instantiations compile apart:
// the generic Montgomery field for the curve's limb count, and the
// dedicated fields with portable (adx false) or MULX/ADX kernels.
std::unique_ptr<Group> make_generic_group(const EC_curve& c);
std::unique_ptr<Group> make_p256_group(const EC_curve& c, bool adx);
std::unique_ptr<Group> make_p384_group(const EC_curve& c, bool adx);
std::unique_ptr<Group> make_p521_group(const EC_curve& c, bool adx);

}  // namespace velt::ecc
