// Constant-time check of the RSA private operation under valgrind memcheck:
// the primes p and q, the CRT exponents dP, dQ and the coefficient qInv are
// marked undefined, so memcheck reports any conditional branch or memory
// address that depends on them through the Montgomery set-up for p and q,
// the reductions modulo p and q, the exponentiations, the recombination, the
// public-exponent check and the unblinding. Built without sanitizers; run by
// scripts/ct-check.sh (exit status 0 when clean, memcheck's error exit
// status otherwise).
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "bigd/bigd.h"
#include "rng/rng.h"
#include "rsa/rsa.h"

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAIL: %s\n", what);
        ++failures;
    }
}

void poison(const BdNumber* b) { VALGRIND_MAKE_MEM_UNDEFINED(b->digits, b->allocdigits * sizeof(BdDigit)); }
void unpoison(const BdNumber* b) { VALGRIND_MAKE_MEM_DEFINED(b->digits, b->allocdigits * sizeof(BdDigit)); }

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

}  // namespace

int main() {
    if (!RUNNING_ON_VALGRIND) std::printf("note: not running under valgrind; only results are checked\n");
    for (size_t bits : {1024u, 2048u}) private_case(bits);
    std::printf("%s\n", failures ? "RSA constant-time check: results wrong" : "RSA constant-time check: done");
    return failures ? 1 : 0;
}
