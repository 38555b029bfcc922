// Constant-time check of the RSA private operation under valgrind memcheck:
// the primes p and q, the CRT exponents dP, dQ and the coefficient qInv are
// marked undefined, so memcheck reports any conditional branch or memory
// address that depends on them through the Montgomery set-up for p and q,
// the reductions modulo p and q, the exponentiations, the recombination, the
// public-exponent check and the unblinding; for generated keys, for a key
// whose primes differ in limb count, and for a key without CRT values (d
// poisoned); and for a key string held in the key cache, with the entry's
// secret arrays (p, q, the CRT values, the contexts' moduli and R^2 values
// and the blinding pair) poisoned. Built without sanitizers; run by
// scripts/ct-check.sh (exit status 0 when clean, memcheck's error exit
// status otherwise).
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "bigd/bigd.h"
#include "morvanevelt.h"
#include "rng/rng.h"
#include "rsa/rsa.h"
#include "rsa/rsa_cache.h"

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAIL: %s\n", what);
        ++failures;
    }
}

void poison(const BdNumber* b) {
    VALGRIND_MAKE_MEM_UNDEFINED(b->digits, b->allocdigits * sizeof(BdDigit));
}
void unpoison(const BdNumber* b) {
    VALGRIND_MAKE_MEM_DEFINED(b->digits, b->allocdigits * sizeof(BdDigit));
}

void private_case(size_t bits) {
    RsaKey* key = rsaNew();
    long grc = rsaGenerateKeys(key, bits, 5, 64, nullptr, 0, rngFunc, 0);
    if (grc != 0) {
        std::printf("key generation returned %ld\n", grc);
        check(false, "key generation");
        rsaFree(&key);
        return;
    }
    size_t k = rsaBlockLength(key);
    std::vector<unsigned char> x(k), y(k), back(k);
    for (int round = 0; round < 2; ++round) {
        rngNonce(x.data(), long(k));
        x[0] = 0;  // below n
        size_t len = 0;
        poison(key->dP);
        poison(key->dQ);
        poison(key->qInv);
        poison(key->p);
        poison(key->q);
        long rc = rsaPrivateRaw(key, y.data(), &len, x.data(), k);
        unpoison(key->dP);
        unpoison(key->dQ);
        unpoison(key->qInv);
        unpoison(key->p);
        unpoison(key->q);
        VALGRIND_MAKE_MEM_DEFINED(y.data(), k);
        VALGRIND_MAKE_MEM_DEFINED(&rc, sizeof rc);
        check(rc == 0, "private operation");
        check(rsaPublicRaw(key, back.data(), &len, y.data(), k) == 0 && back == x, "round trip");
    }
    rsaFree(&key);
}

// One prime of about `bits` bits: the first factor of a generated key.
bool make_prime(BdNumber* out, size_t bits) {
    RsaKey* key = rsaNew();
    bool ok = rsaGenerateKeys(key, 2 * bits, 5, 64, nullptr, 0, rngFunc, 0) == 0;
    if (ok) bdSetEqual(out, key->p);
    rsaFree(&key);
    return ok;
}

// Runs the private operation twice with the named secret values poisoned.
void run_poisoned(RsaKey* key, std::vector<const BdNumber*> secrets, const char* what) {
    size_t k = rsaBlockLength(key);
    std::vector<unsigned char> x(k), y(k), back(k);
    for (int round = 0; round < 2; ++round) {
        rngNonce(x.data(), long(k));
        x[0] = 0;  // below n
        size_t len = 0;
        for (const BdNumber* b : secrets) poison(b);
        long rc = rsaPrivateRaw(key, y.data(), &len, x.data(), k);
        for (const BdNumber* b : secrets) unpoison(b);
        VALGRIND_MAKE_MEM_DEFINED(y.data(), k);
        VALGRIND_MAKE_MEM_DEFINED(&rc, sizeof rc);
        check(rc == 0, what);
        check(rsaPublicRaw(key, back.data(), &len, y.data(), k) == 0 && back == x, what);
    }
}

// Keys from primes of unequal limb counts (CRT with different Montgomery
// sizes and wide reductions), and the same key without CRT values (the
// private exponent d directly).
void imported_cases() {
    BdNumber *p = bdNew(), *q = bdNew(), *n = bdNew(), *e = bdNew(), *d = bdNew(), *phi = bdNew(),
             *p1 = bdNew(), *q1 = bdNew();
    bool ok = make_prime(p, 640) && make_prime(q, 448);
    check(ok, "prime generation");
    if (ok) {
        bdSetShort(e, 65537);
        bdMultiply(n, p, q);
        bdShortSub(p1, p, 1);
        bdShortSub(q1, q, 1);
        bdMultiply(phi, p1, q1);
        ok = bdModInv(d, e, phi) == 0;
        check(ok, "private exponent");
    }
    if (ok) {
        velt::SecureBytes on = rsaNumberOctets(n), oe = rsaNumberOctets(e), od = rsaNumberOctets(d),
                          op = rsaNumberOctets(p), oq = rsaNumberOctets(q), dP, dQ, qInv;
        check(rsaComputeCRT(dP, dQ, qInv, od.data(), od.size(), op.data(), op.size(), oq.data(), oq.size()) ==
                  0,
              "CRT values");
        RsaKey* crt = rsaNew();
        rsaSetPrivateKeyEx(crt, on.data(), on.size(), oe.data(), oe.size(), od.data(), od.size(), op.data(),
                           op.size(), oq.data(), oq.size(), dP.data(), dP.size(), dQ.data(), dQ.size(),
                           qInv.data(), qInv.size());
        run_poisoned(crt, {crt->p, crt->q, crt->dP, crt->dQ, crt->qInv}, "unequal primes");
        rsaFree(&crt);
        RsaKey* plain = rsaNew();
        rsaSetPrivateKey(plain, on.data(), on.size(), oe.data(), oe.size(), od.data(), od.size());
        run_poisoned(plain, {plain->d}, "no CRT values");
        rsaFree(&plain);
    }
    for (BdNumber* b : {p, q, n, e, d, phi, p1, q1}) bdFree(&b);
}

// The in-place private operation on a cached key string: the first call
// reads and prepares the key and draws the entry's blinding pair; the next
// ones run with the entry's secrets poisoned.
void cached_case() {
    RsaKey* key = rsaNew();
    bool ok = rsaGenerateKeys(key, 2048, 5, 64, nullptr, 0, rngFunc, 0) == 0;
    check(ok, "key generation");
    if (!ok) {
        rsaFree(&key);
        return;
    }
    velt::SecureString priv = rsaPrivateKeyString(key, 0);
    size_t k = rsaBlockLength(key);
    std::vector<unsigned char> x(k), y(k), back(k);
    for (int round = 0; round < 3; ++round) {
        rngNonce(x.data(), long(k));
        x[0] = 0;  // below n
        y = x;
        std::vector<RsaCacheRegion> secrets = rsaCacheRegions(priv.c_str(), true);
        check(round == 0 || !secrets.empty(), "key cached");
        for (const RsaCacheRegion& r : secrets)
            if (r.secret) VALGRIND_MAKE_MEM_UNDEFINED(r.p, r.n);
        long rc = RSA_RawPrivate(y.data(), long(k), priv.c_str(), 0);
        for (const RsaCacheRegion& r : secrets)
            if (r.secret) VALGRIND_MAKE_MEM_DEFINED(r.p, r.n);
        VALGRIND_MAKE_MEM_DEFINED(y.data(), k);
        VALGRIND_MAKE_MEM_DEFINED(&rc, sizeof rc);
        check(rc == 0, "cached private operation");
        size_t len = 0;
        check(rsaPublicRaw(key, back.data(), &len, y.data(), k) == 0 && back == x, "cached round trip");
    }
    rsaFree(&key);
}

}  // namespace

int main() {
    if (!RUNNING_ON_VALGRIND) std::printf("note: not running under valgrind; only results are checked\n");
    for (size_t bits : {1024u, 2048u}) private_case(bits);
    imported_cases();
    cached_case();
    std::printf("%s\n",
                failures ? "RSA constant-time check: results wrong" : "RSA constant-time check: done");
    return failures ? 1 : 0;
}
