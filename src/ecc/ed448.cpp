// Ed448 (RFC 8032 section 5.2): key derivation, signing and strict
// verification on edwards448, x^2 + y^2 = 1 - 39081 x^2 y^2 over
// GF(2^448 - 2^224 - 1), with SHAKE256 and the dom4 prefix. Secret scalars go
// through the fixed-base table with masked scans; verification uses a
// variable-time double-scalar multiplication.
#include <cstring>

#include "ecc/curve448_field.h"
#include "ecc/safecurve.h"
#include "ecc/safecurve_int.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "util/emem.h"

namespace velt::ecc {

using namespace safe;

namespace {

struct F448 {
    using Fe = Fe448;
    static constexpr int kA = 1;
    static void add(Fe& r, const Fe& a, const Fe& b) { fe448_add(r, a, b); }
    static void sub(Fe& r, const Fe& a, const Fe& b) { fe448_sub(r, a, b); }
    static void mul(Fe& r, const Fe& a, const Fe& b) { fe448_mul(r, a, b); }
    static void sqr(Fe& r, const Fe& a) { fe448_sqr(r, a); }
    static void neg(Fe& r, const Fe& a) { fe448_neg(r, a); }
    static void cmov(Fe& r, const Fe& a, uint64_t m) { fe448_cmov(r, a, m); }
    static void zero(Fe& r) { fe448_zero(r); }
    static void one(Fe& r) { fe448_one(r); }
    static void invert(Fe& r, const Fe& a) { fe448_invert(r, a); }
};

using Point = EdPoint<F448>;

// L = 2^446 - 13818066809895115352007386748515426880336692474882178609894547503885.
constexpr ScalarField<7> kOrder = {
    {0x2378c292ab5844f3ULL, 0x216cc2728dc58f55ULL, 0xc44edb49aed63690ULL, 0xffffffff7cca23e9ULL,
     0xffffffffffffffffULL, 0xffffffffffffffffULL, 0x3fffffffffffffffULL},
    0x3bd440fae918bc5ULL,
    {0xe3539257049b9b60ULL, 0x7af32c4bc1b195d9ULL, 0x0d66de2388ea1859ULL, 0xae17cf725ee4d838ULL,
     0x1a9cc14ba3c47c44ULL, 0x2052bcb7e4d070afULL, 0x3402a939f823b729ULL}};

// The encoding of the base point B of RFC 8032 section 5.2.
constexpr uint8_t kBase[57] = {0x14, 0xfa, 0x30, 0xf2, 0x5b, 0x79, 0x08, 0x98, 0xad, 0xc8, 0xd7, 0x4e,
                               0x2c, 0x13, 0xbd, 0xfd, 0xc4, 0x39, 0x7c, 0xe6, 0x1c, 0xff, 0xd3, 0x3a,
                               0xd7, 0xc2, 0xa0, 0x05, 0x1e, 0x9c, 0x78, 0x87, 0x40, 0x98, 0xa3, 0x6c,
                               0x73, 0x73, 0xea, 0x4b, 0x62, 0xc7, 0xc9, 0x56, 0x37, 0x20, 0x76, 0x88,
                               0x24, 0xbc, 0xb6, 0x6e, 0x71, 0x46, 0x3f, 0x69, 0x00};

Fe448 curve_d() {
    Fe448 d, k;
    fe448_zero(k);
    k.v[0] = 39081;
    fe448_neg(d, k);
    return d;
}

// Decodes a point (section 5.2.3): the bits of the last octet other than the
// sign must be 0, y below p, x^2 = (y^2 - 1) / (d y^2 - 1) a square, and
// x = 0 only with sign 0. Variable time (public points only).
bool decode_point(Point& p, const uint8_t s[57]) {
    if (s[56] & 0x7F) return false;
    uint8_t chk[56];
    Fe448 y;
    fe448_frombytes(y, s);
    fe448_tobytes(chk, y);
    if (std::memcmp(chk, s, 56) != 0) return false;  // y >= p
    const int sign = s[56] >> 7;
    const Fe448 d = curve_d();
    Fe448 one, u, v, y2, t, x, u2, u3, u5, v3, vxx;
    fe448_one(one);
    fe448_sqr(y2, y);
    fe448_sub(u, y2, one);
    fe448_mul(v, y2, d);
    fe448_sub(v, v, one);
    // x = u^3 v (u^5 v^3)^((p - 3) / 4)
    fe448_sqr(u2, u);
    fe448_mul(u3, u2, u);
    fe448_mul(u5, u3, u2);
    fe448_sqr(v3, v);
    fe448_mul(v3, v3, v);
    fe448_mul(t, u5, v3);
    fe448_pow_p34(t, t);
    fe448_mul(t, t, u3);
    fe448_mul(x, t, v);
    fe448_sqr(vxx, x);
    fe448_mul(vxx, vxx, v);
    Fe448 diff;
    fe448_sub(diff, vxx, u);
    if (!fe448_iszero(diff)) return false;
    if (fe448_iszero(x) && sign) return false;
    if (fe448_isnegative(x) != sign) fe448_neg(x, x);
    p.X = x;
    p.Y = y;
    fe448_one(p.Z);
    fe448_mul(p.T, x, y);
    return true;
}

void encode_point(uint8_t s[57], const Point& p) {
    Fe448 zi, x, y;
    fe448_invert(zi, p.Z);
    fe448_mul(x, p.X, zi);
    fe448_mul(y, p.Y, zi);
    fe448_tobytes(s, y);
    s[56] = uint8_t(fe448_isnegative(x) << 7);
}

struct Tables {
    EdFixedTable<F448, 57> fixed;
    EdAffine<F448> odd[64];  // (2 j + 1) B
    Fe448 d;
};

// Built once on first use and kept for the life of the process.
const Tables& tables() {
    static const Tables* const t = [] {
        Tables* r = new Tables;
        r->d = curve_d();
        Point b;
        decode_point(b, kBase);
        r->fixed.build(b, r->d);
        Point pts[64];
        EdCached<F448> c[64];
        ed_odd_multiples<F448>(c, b, 64, r->d);
        for (size_t j = 0; j < 64; ++j) {
            pts[j].X = c[j].X;
            pts[j].Y = c[j].Y;
            pts[j].Z = c[j].Z;
        }
        ed_batch_affine<F448>(r->odd, pts, 64, r->d);
        return r;
    }();
    return *t;
}

// SHAKE256(dom4(0, ctx) || a || b || c, 114) (section 5.2).
void hash_dom4(uint8_t out[114], const uint8_t* ctx, size_t ctx_len, const uint8_t* a, size_t na,
               const uint8_t* b, size_t nb, const uint8_t* c, size_t nc) {
    hash::KeccakCtx h;
    hash::shake_init(h, 256);
    static const uint8_t kDom[8] = {'S', 'i', 'g', 'E', 'd', '4', '4', '8'};
    const uint8_t head[2] = {0, uint8_t(ctx_len)};
    hash::keccak_absorb(h, kDom, 8);
    hash::keccak_absorb(h, head, 2);
    if (ctx_len) hash::keccak_absorb(h, ctx, ctx_len);
    if (na) hash::keccak_absorb(h, a, na);
    if (nb) hash::keccak_absorb(h, b, nb);
    if (nc) hash::keccak_absorb(h, c, nc);
    hash::keccak_squeeze(h, out, 114);
    ewipe(&h, sizeof h);
}

// The secret scalar s (clamped, bytes 0..56) and prefix (57..113) of a key.
void expand_key(uint8_t h[114], const uint8_t priv[57]) {
    hash::KeccakCtx c;
    hash::shake_init(c, 256);
    hash::keccak_absorb(c, priv, 57);
    hash::keccak_squeeze(c, h, 114);
    ewipe(&c, sizeof c);
    h[0] &= 0xFC;
    h[56] = 0;
    h[55] |= 0x80;
}

}  // namespace

long ed448_public_key(uint8_t pub[57], const uint8_t priv[57]) {
    uint8_t h[114];
    expand_key(h, priv);
    Point a;
    tables().fixed.mul(a, h, 57);
    encode_point(pub, a);
    ewipe(h, sizeof h);
    ewipe(&a, sizeof a);
    return SUCCESS_NO_ERROR;
}

long ed448_sign(uint8_t sig[114], const uint8_t* msg, size_t msg_len, const uint8_t priv[57],
                const uint8_t* pub, const uint8_t* ctx, size_t ctx_len) {
    if (ctx_len > 255) return BAD_PARAM_ERROR;
    uint8_t h[114], rh[114], r[57], kh[114], k[57], a_enc[57];
    expand_key(h, priv);
    const Tables& tb = tables();
    if (pub) {
        std::memcpy(a_enc, pub, 57);
    } else {
        Point a;
        tb.fixed.mul(a, h, 57);
        encode_point(a_enc, a);
        ewipe(&a, sizeof a);
    }
    // r = SHAKE256(dom4 || prefix || M) mod L; R = [r]B.
    hash_dom4(rh, ctx, ctx_len, h + 57, 57, msg, msg_len, nullptr, 0);
    sc_reduce<7>(kOrder, r, 57, rh, 114);
    Point rp;
    tb.fixed.mul(rp, r, 57);
    encode_point(sig, rp);
    // k = SHAKE256(dom4 || R || A || M) mod L; S = r + k s mod L.
    hash_dom4(kh, ctx, ctx_len, sig, 57, a_enc, 57, msg, msg_len);
    sc_reduce<7>(kOrder, k, 57, kh, 114);
    sc_muladd<7>(kOrder, sig + 57, 57, r, k, h, 57);
    ewipe(h, sizeof h);
    ewipe(rh, sizeof rh);
    ewipe(r, sizeof r);
    ewipe(&rp, sizeof rp);
    return SUCCESS_NO_ERROR;
}

long ed448_verify(const uint8_t sig[114], const uint8_t* msg, size_t msg_len, const uint8_t pub[57],
                  const uint8_t* ctx, size_t ctx_len) {
    if (ctx_len > 255) return BAD_PARAM_ERROR;
    if (!sc_is_canonical<7>(kOrder, sig + 57, 57)) return SIGNATURE_ERROR;
    Point a;
    if (!decode_point(a, pub)) return SIGNATURE_ERROR;
    const Tables& tb = tables();
    uint8_t kh[114], k[57], check[57];
    hash_dom4(kh, ctx, ctx_len, sig, 57, pub, 57, msg, msg_len);
    sc_reduce<7>(kOrder, k, 57, kh, 114);
    // R' = [S]B + [k](-A) must encode to R.
    fe448_neg(a.X, a.X);
    fe448_neg(a.T, a.T);
    Point rp;
    ed_double_mul_vartime<F448>(rp, sig + 57, tb.odd, k, a, 446, tb.d);
    encode_point(check, rp);
    return std::memcmp(check, sig, 57) == 0 ? SUCCESS_NO_ERROR : SIGNATURE_ERROR;
}

}  // namespace velt::ecc
