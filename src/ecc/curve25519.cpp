// X25519 (RFC 7748 section 5): the Montgomery ladder over GF(2^255 - 19) with
// constant-time conditional swaps (four lanes at a time on AVX-512 IFMA, see
// curve25519_ifma.cpp), and the public key k * 9 through the
// edwards25519 fixed-base table (the two curves are birationally equivalent,
// u = (1 + y) / (1 - y), and 9 corresponds to the Ed25519 base point).
#include "ecc/curve25519_field.h"
#include "ecc/curve25519_ifma.h"
#include "ecc/ed25519_int.h"
#include "ecc/safecurve.h"
#include "frame/error.h"
#include "util/ct.h"
#include "util/emem.h"

namespace velt::ecc {

using namespace safe;

namespace {

void clamp(uint8_t k[32], const uint8_t priv[32]) {
    for (int i = 0; i < 32; ++i) k[i] = priv[i];
    k[0] &= 248;
    k[31] &= 127;
    k[31] |= 64;
}

// The projective result (x2 : z2) of the ladder of RFC 7748 section 5
// (a24 = 121665), portable code.
void ladder_portable(Fe25519& x2, Fe25519& z2, const uint8_t k[32], const uint8_t u[32]) {
    Fe25519 x1, x3, z3, a, aa, b, bb, e, c, d, da, cb, t;
    fe25519_frombytes(x1, u);
    fe25519_one(x2);
    fe25519_zero(z2);
    x3 = x1;
    fe25519_one(z3);
    uint64_t swap = 0;
    for (int pos = 254; pos >= 0; --pos) {
        uint64_t bit = (k[pos >> 3] >> (pos & 7)) & 1;
        swap ^= bit;
        uint64_t m = ct::mask_from_bit(swap);
        fe25519_cswap(x2, x3, m);
        fe25519_cswap(z2, z3, m);
        swap = bit;
        fe25519_add_nc(a, x2, z2);
        fe25519_sqr(aa, a);
        fe25519_sub_nc(b, x2, z2);
        fe25519_sqr(bb, b);
        fe25519_sub_nc(e, aa, bb);
        fe25519_add_nc(c, x3, z3);
        fe25519_sub_nc(d, x3, z3);
        fe25519_mul(da, d, a);
        fe25519_mul(cb, c, b);
        fe25519_add_nc(t, da, cb);
        fe25519_sqr(x3, t);
        fe25519_sub_nc(t, da, cb);
        fe25519_sqr(t, t);
        fe25519_mul(z3, x1, t);
        fe25519_mul(x2, aa, bb);
        fe25519_mul_small(t, e, 121665);
        fe25519_add_nc(t, aa, t);
        fe25519_mul(z2, e, t);
    }
    uint64_t m = ct::mask_from_bit(swap);
    fe25519_cswap(x2, x3, m);
    fe25519_cswap(z2, z3, m);
    Fe25519* all[] = {&x1, &x3, &z3, &a, &aa, &b, &bb, &e, &c, &d, &da, &cb, &t};
    for (Fe25519* f : all) ewipe(f, sizeof *f);
}

// x-coordinate of k * u: the ladder (on AVX-512 IFMA where present), then
// x2 / z2.
void ladder(uint8_t out[32], const uint8_t k[32], const uint8_t u[32]) {
    Fe25519 x2, z2;
    if (x25519_ifma_usable())
        x25519_ladder_ifma(x2, z2, k, u);
    else
        ladder_portable(x2, z2, k, u);
    fe25519_invert(z2, z2);
    fe25519_mul(x2, x2, z2);
    fe25519_tobytes(out, x2);
    ewipe(&x2, sizeof x2);
    ewipe(&z2, sizeof z2);
}

}  // namespace

long x25519_public_key(uint8_t pub[32], const uint8_t priv[32]) {
    uint8_t k[32];
    clamp(k, priv);
    ed25519_base_mul_u(pub, k);
    ewipe(k, sizeof k);
    return SUCCESS_NO_ERROR;
}

long x25519_shared_secret(uint8_t out[32], const uint8_t priv[32], const uint8_t pub[32]) {
    uint8_t k[32];
    clamp(k, priv);
    ladder(out, k, pub);
    ewipe(k, sizeof k);
    // The error code is chosen by a mask, so no branch depends on the secret.
    return long(
        ct::select(ct::mask_from_bit(uint64_t(ct::is_zero(out, 32))), OUT_OF_RANGE_ERROR, SUCCESS_NO_ERROR));
}

}  // namespace velt::ecc
