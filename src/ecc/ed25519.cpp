// Ed25519 (RFC 8032 section 5.1): key derivation, signing and strict
// verification on edwards25519, -x^2 + y^2 = 1 + d x^2 y^2 over GF(2^255 - 19).
// Secret scalars go through the fixed-base table with masked scans;
// verification uses a variable-time double-scalar multiplication.
#include <cstring>

#include "ecc/curve25519_field.h"
#include "ecc/ed25519_int.h"
#include "ecc/safecurve.h"
#include "ecc/safecurve_int.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "util/emem.h"

namespace velt::ecc {

using namespace safe;

namespace {

struct F25519 {
    using Fe = Fe25519;
    static constexpr int kA = -1;
    static void add(Fe& r, const Fe& a, const Fe& b) { fe25519_add(r, a, b); }
    static void sub(Fe& r, const Fe& a, const Fe& b) { fe25519_sub(r, a, b); }
    static void mul(Fe& r, const Fe& a, const Fe& b) { fe25519_mul(r, a, b); }
    static void sqr(Fe& r, const Fe& a) { fe25519_sqr(r, a); }
    static void neg(Fe& r, const Fe& a) { fe25519_neg(r, a); }
    static void cmov(Fe& r, const Fe& a, uint64_t m) { fe25519_cmov(r, a, m); }
    static void zero(Fe& r) { fe25519_zero(r); }
    static void one(Fe& r) { fe25519_one(r); }
    static void invert(Fe& r, const Fe& a) { fe25519_invert(r, a); }
};

using Point = EdPoint<F25519>;

// The group order L = 2^252 + 27742317777372353535851937790883648493.
constexpr ScalarField<4> kOrder = {
    {0x5812631a5cf5d3edULL, 0x14def9dea2f79cd6ULL, 0x0000000000000000ULL, 0x1000000000000000ULL},
    0xd2b51da312547e1bULL,
    {0xa40611e3449c0f01ULL, 0xd00e1ba768859347ULL, 0xceec73d217f5be65ULL, 0x0399411b7c309a3dULL}};

// d = -121665/121666 and sqrt(-1) = 2^((p-1)/4), little-endian.
constexpr uint8_t kD[32] = {0xa3, 0x78, 0x59, 0x13, 0xca, 0x4d, 0xeb, 0x75, 0xab, 0xd8, 0x41,
                            0x41, 0x4d, 0x0a, 0x70, 0x00, 0x98, 0xe8, 0x79, 0x77, 0x79, 0x40,
                            0xc7, 0x8c, 0x73, 0xfe, 0x6f, 0x2b, 0xee, 0x6c, 0x03, 0x52};
constexpr uint8_t kSqrtM1[32] = {0xb0, 0xa0, 0x0e, 0x4a, 0x27, 0x1b, 0xee, 0xc4, 0x78, 0xe4, 0x2f,
                                 0xad, 0x06, 0x18, 0x43, 0x2f, 0xa7, 0xd7, 0xfb, 0x3d, 0x99, 0x00,
                                 0x4d, 0x2b, 0x0b, 0xdf, 0xc1, 0x4f, 0x80, 0x24, 0x83, 0x2b};
// The base point B: y = 4/5, x even.
constexpr uint8_t kBase[32] = {0x58, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66,
                               0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66,
                               0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66};

Fe25519 fe_const(const uint8_t b[32]) {
    Fe25519 r;
    fe25519_frombytes(r, b);
    return r;
}

// Decodes a point (section 5.1.3): y must be below p, x^2 = (y^2 - 1) /
// (d y^2 + 1) must have a root, and x = 0 must come with sign bit 0.
// Variable time (public points only).
bool decode_point(Point& p, const uint8_t s[32]) {
    uint8_t chk[32];
    Fe25519 y;
    fe25519_frombytes(y, s);
    fe25519_tobytes(chk, y);
    chk[31] |= uint8_t(s[31] & 0x80);
    if (std::memcmp(chk, s, 32) != 0) return false;  // y >= p
    const int sign = s[31] >> 7;
    const Fe25519 d = fe_const(kD);
    Fe25519 one, u, v, y2, v3, x, t, vxx;
    fe25519_one(one);
    fe25519_sqr(y2, y);
    fe25519_sub(u, y2, one);
    fe25519_mul(v, y2, d);
    fe25519_add(v, v, one);
    // x = u v^3 (u v^7)^((p - 5) / 8)
    fe25519_sqr(v3, v);
    fe25519_mul(v3, v3, v);
    fe25519_sqr(t, v3);
    fe25519_mul(t, t, v);
    fe25519_mul(t, t, u);
    fe25519_pow22523(t, t);
    fe25519_mul(t, t, v3);
    fe25519_mul(x, t, u);
    fe25519_sqr(vxx, x);
    fe25519_mul(vxx, vxx, v);
    Fe25519 diff, sum;
    fe25519_sub(diff, vxx, u);
    fe25519_add(sum, vxx, u);
    if (!fe25519_iszero(diff)) {
        if (!fe25519_iszero(sum)) return false;
        fe25519_mul(x, x, fe_const(kSqrtM1));
    }
    if (fe25519_iszero(x) && sign) return false;
    if (fe25519_isnegative(x) != sign) fe25519_neg(x, x);
    p.X = x;
    p.Y = y;
    fe25519_one(p.Z);
    fe25519_mul(p.T, x, y);
    return true;
}

void encode_point(uint8_t s[32], const Point& p) {
    Fe25519 zi, x, y;
    fe25519_invert(zi, p.Z);
    fe25519_mul(x, p.X, zi);
    fe25519_mul(y, p.Y, zi);
    fe25519_tobytes(s, y);
    s[31] = uint8_t(s[31] | (fe25519_isnegative(x) << 7));
}

struct Tables {
    EdFixedTable<F25519, 32> fixed;
    EdAffine<F25519> odd[64];  // (2 j + 1) B
    Fe25519 d;
};

// Built once on first use and kept for the life of the process.
const Tables& tables() {
    static const Tables* const t = [] {
        Tables* r = new Tables;
        r->d = fe_const(kD);
        Point b;
        decode_point(b, kBase);
        r->fixed.build(b, r->d);
        Point pts[64];
        EdCached<F25519> c[64];
        ed_odd_multiples<F25519>(c, b, 64, r->d);
        for (size_t j = 0; j < 64; ++j) {
            pts[j].X = c[j].X;
            pts[j].Y = c[j].Y;
            pts[j].Z = c[j].Z;
        }
        ed_batch_affine<F25519>(r->odd, pts, 64, r->d);
        return r;
    }();
    return *t;
}

// SHA-512 of the concatenation of up to three byte strings.
void sha512_3(uint8_t out[64], const uint8_t* a, size_t na, const uint8_t* b, size_t nb, const uint8_t* c,
              size_t nc) {
    hash::Sha512Ctx h;
    hash::sha512_init(h);
    hash::sha512_update(h, a, na);
    if (nb) hash::sha512_update(h, b, nb);
    if (nc) hash::sha512_update(h, c, nc);
    hash::sha512_final(h, out);
    ewipe(&h, sizeof h);
}

// The secret scalar s (clamped, bytes 0..31) and prefix (32..63) of a key.
void expand_key(uint8_t h[64], const uint8_t priv[32]) {
    sha512_3(h, priv, 32, nullptr, 0, nullptr, 0);
    h[0] &= 248;
    h[31] &= 127;
    h[31] |= 64;
}

}  // namespace

void safe::ed25519_base_mul_u(uint8_t u[32], const uint8_t k[32]) {
    Point p;
    tables().fixed.mul(p, k, 32);
    Fe25519 n, den;
    fe25519_add(n, p.Z, p.Y);
    fe25519_sub(den, p.Z, p.Y);
    fe25519_invert(den, den);
    fe25519_mul(n, n, den);
    fe25519_tobytes(u, n);
    ewipe(&p, sizeof p);
    ewipe(&n, sizeof n);
    ewipe(&den, sizeof den);
}

long ed25519_public_key(uint8_t pub[32], const uint8_t priv[32]) {
    uint8_t h[64];
    expand_key(h, priv);
    Point a;
    tables().fixed.mul(a, h, 32);
    encode_point(pub, a);
    ewipe(h, sizeof h);
    ewipe(&a, sizeof a);
    return SUCCESS_NO_ERROR;
}

long ed25519_sign(uint8_t sig[64], const uint8_t* msg, size_t msg_len, const uint8_t priv[32],
                  const uint8_t* pub) {
    uint8_t h[64], rh[64], r[32], kh[64], k[32], a_enc[32];
    expand_key(h, priv);
    const Tables& tb = tables();
    if (pub) {
        std::memcpy(a_enc, pub, 32);
    } else {
        Point a;
        tb.fixed.mul(a, h, 32);
        encode_point(a_enc, a);
        ewipe(&a, sizeof a);
    }
    // r = SHA-512(prefix || M) mod L; R = [r]B.
    sha512_3(rh, h + 32, 32, msg, msg_len, nullptr, 0);
    sc_reduce<4>(kOrder, r, 32, rh, 64);
    Point rp;
    tb.fixed.mul(rp, r, 32);
    encode_point(sig, rp);
    // k = SHA-512(R || A || M) mod L; S = r + k s mod L.
    sha512_3(kh, sig, 32, a_enc, 32, msg, msg_len);
    sc_reduce<4>(kOrder, k, 32, kh, 64);
    sc_muladd<4>(kOrder, sig + 32, 32, r, k, h, 32);
    ewipe(h, sizeof h);
    ewipe(rh, sizeof rh);
    ewipe(r, sizeof r);
    ewipe(&rp, sizeof rp);
    return SUCCESS_NO_ERROR;
}

long ed25519_verify(const uint8_t sig[64], const uint8_t* msg, size_t msg_len, const uint8_t pub[32]) {
    if (!sc_is_canonical<4>(kOrder, sig + 32, 32)) return SIGNATURE_ERROR;
    Point a;
    if (!decode_point(a, pub)) return SIGNATURE_ERROR;
    const Tables& tb = tables();
    uint8_t kh[64], k[32], check[32];
    sha512_3(kh, sig, 32, pub, 32, msg, msg_len);
    sc_reduce<4>(kOrder, k, 32, kh, 64);
    // R' = [S]B + [k](-A) must encode to R.
    fe25519_neg(a.X, a.X);
    fe25519_neg(a.T, a.T);
    Point rp;
    ed_double_mul_vartime<F25519>(rp, sig + 32, tb.odd, k, a, 253, tb.d);
    encode_point(check, rp);
    return std::memcmp(check, sig, 32) == 0 ? SUCCESS_NO_ERROR : SIGNATURE_ERROR;
}

}  // namespace velt::ecc
