// X448 (RFC 7748 section 5): the Montgomery ladder over GF(2^448 - 2^224 - 1)
// with constant-time conditional swaps (a24 = 39081, base point u = 5).
#include "ecc/curve448_field.h"
#include "ecc/safecurve.h"
#include "frame/error.h"
#include "util/ct.h"
#include "util/emem.h"

namespace velt::ecc {

using namespace safe;

namespace {

void clamp(uint8_t k[56], const uint8_t priv[56]) {
    for (int i = 0; i < 56; ++i) k[i] = priv[i];
    k[0] &= 252;
    k[55] |= 128;
}

void ladder(uint8_t out[56], const uint8_t k[56], const uint8_t u[56]) {
    Fe448 x1, x2, z2, x3, z3, a, aa, b, bb, e, c, d, da, cb, t;
    fe448_frombytes(x1, u);
    fe448_one(x2);
    fe448_zero(z2);
    x3 = x1;
    fe448_one(z3);
    uint64_t swap = 0;
    for (int pos = 447; pos >= 0; --pos) {
        uint64_t bit = (k[pos >> 3] >> (pos & 7)) & 1;
        swap ^= bit;
        uint64_t m = ct::mask_from_bit(swap);
        fe448_cswap(x2, x3, m);
        fe448_cswap(z2, z3, m);
        swap = bit;
        fe448_add(a, x2, z2);
        fe448_sqr(aa, a);
        fe448_sub(b, x2, z2);
        fe448_sqr(bb, b);
        fe448_sub(e, aa, bb);
        fe448_add(c, x3, z3);
        fe448_sub(d, x3, z3);
        fe448_mul(da, d, a);
        fe448_mul(cb, c, b);
        fe448_add(t, da, cb);
        fe448_sqr(x3, t);
        fe448_sub(t, da, cb);
        fe448_sqr(t, t);
        fe448_mul(z3, x1, t);
        fe448_mul(x2, aa, bb);
        fe448_mul_small(t, e, 39081);
        fe448_add(t, aa, t);
        fe448_mul(z2, e, t);
    }
    uint64_t m = ct::mask_from_bit(swap);
    fe448_cswap(x2, x3, m);
    fe448_cswap(z2, z3, m);
    fe448_invert(z2, z2);
    fe448_mul(x2, x2, z2);
    fe448_tobytes(out, x2);
    Fe448* all[] = {&x1, &x2, &z2, &x3, &z3, &a, &aa, &b, &bb, &e, &c, &d, &da, &cb, &t};
    for (Fe448* f : all) ewipe(f, sizeof *f);
}

}  // namespace

long x448_public_key(uint8_t pub[56], const uint8_t priv[56]) {
    uint8_t k[56], base[56] = {5};
    clamp(k, priv);
    ladder(pub, k, base);
    ewipe(k, sizeof k);
    return SUCCESS_NO_ERROR;
}

long x448_shared_secret(uint8_t out[56], const uint8_t priv[56], const uint8_t pub[56]) {
    uint8_t k[56];
    clamp(k, priv);
    ladder(out, k, pub);
    ewipe(k, sizeof k);
    // The error code is chosen by a mask, so no branch depends on the secret.
    return long(
        ct::select(ct::mask_from_bit(uint64_t(ct::is_zero(out, 56))), OUT_OF_RANGE_ERROR, SUCCESS_NO_ERROR));
}

}  // namespace velt::ecc
