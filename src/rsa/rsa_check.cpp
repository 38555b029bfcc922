// Consistency of an RSA private key's values (RFC 8017 section 3.2): the
// primes multiply to the modulus and the CRT exponents and coefficient
// belong to them. Used by the key check before its pair-wise test, which
// alone would pass a key with p = 1 and q = n.
#include "frame/error.h"
#include "rsa/rsa.h"
#include "rsa/rsa_int.h"

namespace {

// a = b, with the comparison in constant time (the values are secret).
bool equal(const BdNumber* a, const BdNumber* b) {
    return bdIsEqual_ct(a, b) != 0;
}

// CRT values of a key with flag 4: 1 < p, 1 < q, p q = n, dP = d mod (p - 1),
// dQ = d mod (q - 1), qInv < p and qInv q = 1 mod p.
bool crt_consistent(const RsaKey* key) {
    if (bdShortCmp(key->p, 1) <= 0 || bdShortCmp(key->q, 1) <= 0) return false;
    Bd t, m, r;
    bdMultiply(t, key->p, key->q);
    bool ok = equal(t, key->n);
    bdShortSub(m, key->p, 1);
    bdModulo(r, key->d, m);
    ok = equal(r, key->dP) && ok;
    bdShortSub(m, key->q, 1);
    bdModulo(r, key->d, m);
    ok = equal(r, key->dQ) && ok;
    ok = bdCompare_ct(key->qInv, key->p) < 0 && ok;
    bdModMult(r, key->qInv, key->q, key->p);
    ok = bdShortIsEqual(r, 1) && ok;
    return ok;
}

}  // namespace

long rsaCheckPrivateValues(const RsaKey* key) {
    if (!key) return NULL_ERROR;
    if (!(key->flags & kRsaHasCrt)) {
        // Without CRT values the five fields must be zero: one-octet values
        // that are not are refused rather than ignored.
        if (!bdIsZero(key->p) || !bdIsZero(key->q) || !bdIsZero(key->dP) || !bdIsZero(key->dQ) ||
            !bdIsZero(key->qInv)) {
            eprintf("Invalid private key: CRT fields present but not usable");
            return TEST_FAILED_ERROR;
        }
        return 0;
    }
    if (!crt_consistent(key)) {
        eprintf("Invalid private key: p, q and the CRT values do not match n and d");
        return TEST_FAILED_ERROR;
    }
    return 0;
}
