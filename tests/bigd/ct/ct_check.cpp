// Constant-time check under valgrind memcheck: the secret inputs are marked
// undefined, so memcheck reports any conditional branch or memory address
// that depends on them. Built without sanitizers; run by scripts/ct-check.sh
// (exit status 0 when clean, memcheck's error exit status otherwise).
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "bigd/bigd.h"

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAIL: %s\n", what);
        ++failures;
    }
}

void poison(const void* p, size_t n) { VALGRIND_MAKE_MEM_UNDEFINED(p, n); }
void unpoison(const void* p, size_t n) { VALGRIND_MAKE_MEM_DEFINED(p, n); }

void modexp_case(size_t bits) {
    BdNumber *m = bdNew(), *x = bdNew(), *e = bdNew(), *y = bdNew(), *ref = bdNew();
    bdQuickRandBits(m, bits);
    bdSetBit(m, bits - 1, 1);
    bdSetBit(m, 0, 1);
    bdQuickRandBits(x, bits - 1);
    bdQuickRandBits(e, bits);
    bdModExp(ref, x, e, m);

    // The exponent is secret, and so is a (blinded) base below the modulus.
    poison(e->digits, e->ndigits * sizeof(BdDigit));
    poison(x->digits, x->ndigits * sizeof(BdDigit));
    bdModExp_ct(y, x, e, m);
    unpoison(y->digits, y->ndigits * sizeof(BdDigit));
    unpoison(e->digits, e->ndigits * sizeof(BdDigit));
    unpoison(x->digits, x->ndigits * sizeof(BdDigit));
    check(bdIsEqual(y, ref), "bdModExp_ct result");

    // The digit layer directly, with an exponent of ones and zeros.
    size_t n = m->ndigits;
    BdDigit* ed = mpAlloc(n);
    BdDigit* yd = mpAlloc(n);
    BdDigit* xd = mpAlloc(n);
    std::memcpy(xd, x->digits, x->ndigits * sizeof(BdDigit));
    for (size_t i = 0; i < n; ++i) ed[i] = (i % 3 == 0) ? 0 : kMaxDigit;
    poison(ed, n * sizeof(BdDigit));
    mpModExp_ct(yd, xd, ed, m->digits, n);
    unpoison(yd, n * sizeof(BdDigit));
    unpoison(ed, n * sizeof(BdDigit));
    mpFree(&ed, n);
    mpFree(&yd, n);
    mpFree(&xd, n);

    bdFree(&m);
    bdFree(&x);
    bdFree(&e);
    bdFree(&y);
    bdFree(&ref);
}

void comparison_case() {
    BdDigit a[8], b[8];
    for (int i = 0; i < 8; ++i) a[i] = b[i] = BdDigit(0x9e3779b9u * unsigned(i + 1));
    b[3] ^= 1;
    poison(a, sizeof a);
    poison(b, sizeof b);
    int eq = mpEqual_ct(a, b, 8);
    int cmp = mpCompare_ct(a, b, 8);
    int zero = mpIsZero_ct(a, 8);
    unpoison(&eq, sizeof eq);
    unpoison(&cmp, sizeof cmp);
    unpoison(&zero, sizeof zero);
    check(eq == 0 && cmp == -1 && zero == 0, "digit comparisons");

    BdNumber *u = bdNew(), *v = bdNew();
    bdQuickRandBits(u, 512);
    bdSetEqual(v, u);
    poison(u->digits, u->ndigits * sizeof(BdDigit));
    poison(v->digits, v->ndigits * sizeof(BdDigit));
    int beq = bdIsEqual_ct(u, v);
    int bcmp = bdCompare_ct(u, v);
    int bzero = bdIsZero_ct(u);
    unpoison(&beq, sizeof beq);
    unpoison(&bcmp, sizeof bcmp);
    unpoison(&bzero, sizeof bzero);
    check(beq == 1 && bcmp == 0 && bzero == 0, "handle comparisons");
    unpoison(u->digits, u->ndigits * sizeof(BdDigit));
    unpoison(v->digits, v->ndigits * sizeof(BdDigit));
    bdFree(&u);
    bdFree(&v);
}

}  // namespace

int main() {
    if (!RUNNING_ON_VALGRIND) std::printf("note: not running under valgrind; only results are checked\n");
    for (size_t bits : {256u, 1024u, 2048u}) modexp_case(bits);
    comparison_case();
    std::printf("%s\n", failures ? "constant-time check: results wrong" : "constant-time check: done");
    return failures ? 1 : 0;
}
