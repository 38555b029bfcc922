// Number theory on digit arrays: inverse, gcd, Jacobi symbol, integer roots,
// and primality (small-prime table, trial division, Rabin-Miller).
#include <algorithm>
#include <cstring>

#include "bigd/bigdigits.h"
#include "bigd/limbs.h"
#include "bigd/primes.h"
#include "rng/rng.h"
#include "util/emem.h"

using namespace velt::bigd;

const BdDigit kSmallPrimes[167] = {
    3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53, 59, 61, 67, 71, 73, 79, 83, 89, 97,
    101, 103, 107, 109, 113, 127, 131, 137, 139, 149, 151, 157, 163, 167, 173, 179, 181, 191, 193,
    197, 199, 211, 223, 227, 229, 233, 239, 241, 251, 257, 263, 269, 271, 277, 281, 283, 293, 307,
    311, 313, 317, 331, 337, 347, 349, 353, 359, 367, 373, 379, 383, 389, 397, 401, 409, 419, 421,
    431, 433, 439, 443, 449, 457, 461, 463, 467, 479, 487, 491, 499, 503, 509, 521, 523, 541, 547,
    557, 563, 569, 571, 577, 587, 593, 599, 601, 607, 613, 617, 619, 631, 641, 643, 647, 653, 659,
    661, 673, 677, 683, 691, 701, 709, 719, 727, 733, 739, 743, 751, 757, 761, 769, 773, 787, 797,
    809, 811, 821, 823, 827, 829, 839, 853, 857, 859, 863, 877, 881, 883, 887, 907, 911, 919, 929,
    937, 941, 947, 953, 967, 971, 977, 983, 991, 997
};

namespace {

struct Tmp {
    DigitVec v;
    explicit Tmp(size_t n) : v(std::max<size_t>(n, 1), 0) {}
    BdDigit* p() { return v.data(); }
};

}  // namespace

int mpModInv(BdDigit inv[], const BdDigit u[], const BdDigit m[], size_t ndigits) {
    // Extended Euclid on magnitudes with a sign flag (the coefficients
    // alternate in sign, so |c1| and |d1| stay below m).
    size_t n = ndigits;
    Tmp c1(n), c3(n), d1(n), d3(n), q(n), e1(n), e3(n), prod(2 * n);
    mpSetDigit(c1.p(), 1, n);
    mpSetEqual(c3.p(), u, n);
    mpSetEqual(d3.p(), m, n);
    int negative = 0;
    while (!mpIsZero(d3.p(), n)) {
        mpDivide(q.p(), e3.p(), c3.p(), n, d3.p(), n);
        mpMultiply(prod.p(), q.p(), d1.p(), n);
        mpAdd(e1.p(), c1.p(), prod.p(), n);
        mpSetEqual(c1.p(), d1.p(), n);
        mpSetEqual(d1.p(), e1.p(), n);
        mpSetEqual(c3.p(), d3.p(), n);
        mpSetEqual(d3.p(), e3.p(), n);
        negative ^= 1;
    }
    if (mpShortCmp(c3.p(), 1, n) != 0 || mpIsZero(m, n)) {
        mpSetZero(inv, n);
        return 1;
    }
    if (negative)
        mpSubtract(inv, m, c1.p(), n);
    else
        mpSetEqual(inv, c1.p(), n);
    // m = 1: every value is its own inverse class 0.
    if (mpShortCmp(m, 1, n) == 0) mpSetZero(inv, n);
    return 0;
}

int mpGcd(BdDigit g[], const BdDigit x[], const BdDigit y[], size_t ndigits) {
    size_t n = ndigits;
    Tmp a(n), b(n), r(n);
    mpSetEqual(a.p(), x, n);
    mpSetEqual(b.p(), y, n);
    while (!mpIsZero(b.p(), n)) {
        mpModulo(r.p(), a.p(), n, b.p(), n);
        mpSetEqual(a.p(), b.p(), n);
        mpSetEqual(b.p(), r.p(), n);
    }
    mpSetEqual(g, a.p(), n);
    return 0;
}

int mpJacobi(const BdDigit a[], const BdDigit m[], size_t ndigits) {
    // Iterative form of the recursion J(a, m) = s * J(m mod a1, a1).
    size_t n = ndigits;
    Tmp x(n), y(n), t(n);
    mpSetEqual(x.p(), a, n);
    mpSetEqual(y.p(), m, n);
    if (mpShortCmp(y.p(), 1, n) > 0) {
        mpModulo(t.p(), x.p(), n, y.p(), n);
        mpSetEqual(x.p(), t.p(), n);
    }
    int s = 1;
    for (;;) {
        if (mpIsZero(x.p(), n)) return mpShortCmp(y.p(), 1, n) == 0 ? s : 0;
        if (mpShortCmp(x.p(), 1, n) == 0) return s;
        size_t e = 0;
        while ((x.p()[e / 32] >> (e % 32) & 1) == 0) ++e;
        mpShiftRight(x.p(), x.p(), e, n);
        BdDigit m8 = y.p()[0] & 7;
        if ((e & 1) && (m8 == 3 || m8 == 5)) s = -s;
        if ((y.p()[0] & 3) == 3 && (x.p()[0] & 3) == 3) s = -s;
        if (mpShortCmp(x.p(), 1, n) == 0) return s;
        // (x, y) <- (y mod x, x)
        mpModulo(t.p(), y.p(), n, x.p(), n);
        mpSetEqual(y.p(), x.p(), n);
        mpSetEqual(x.p(), t.p(), n);
    }
}

namespace {

// Newton iteration for the floor of the k-th root (k = 2 or 3), starting
// above the root at 2^ceil(bits/k) and stopping when the estimate stops
// decreasing.
void integer_root(BdDigit s[], const BdDigit x[], size_t n, unsigned k) {
    size_t bits = mpBitLength(x, n);
    if (bits <= 1) {
        mpSetEqual(s, x, n);
        return;
    }
    size_t n2 = n + 1;
    Tmp y(n2), xx(n2), t(n2), q(n2), r(n2);
    std::copy(x, x + n, xx.p());
    mpSetBit(y.p(), n2, (bits + k - 1) / k, 1);
    for (;;) {
        // t = (x div y^(k-1) + (k-1) y) / k
        mpDivide(q.p(), r.p(), xx.p(), n2, y.p(), n2);
        if (k == 3) {
            mpDivide(t.p(), r.p(), q.p(), n2, y.p(), n2);
            mpSetEqual(q.p(), t.p(), n2);
        }
        mpShortMult(t.p(), y.p(), k - 1, n2);
        mpAdd(t.p(), t.p(), q.p(), n2);
        mpShortDiv(t.p(), t.p(), k, n2);
        if (mpCompare(t.p(), y.p(), n2) >= 0) break;
        mpSetEqual(y.p(), t.p(), n2);
    }
    std::copy(y.p(), y.p() + n, s);
}

}  // namespace

int mpSqrt(BdDigit s[], const BdDigit x[], size_t ndigits) {
    integer_root(s, x, ndigits, 2);
    return 0;
}

int mpCubeRoot(BdDigit s[], const BdDigit x[], size_t ndigits) {
    integer_root(s, x, ndigits, 3);
    return 0;
}

// ---- primes ----

namespace velt::bigd {

const SmallPrimeGroups& small_prime_groups() {
    static const SmallPrimeGroups groups = [] {
        SmallPrimeGroups g{};
        size_t i = 0;
        while (i < kNumSmallPrimes) {
            uint64_t prod = 1;
            size_t start = i;
            while (i < kNumSmallPrimes && prod * kSmallPrimes[i] <= 0xFFFFFFFFu) prod *= kSmallPrimes[i++];
            g.group[g.count] = {BdDigit(prod), start, i};
            ++g.count;
        }
        return g;
    }();
    return groups;
}

void small_prime_residues(const BdDigit w[], size_t ndigits, BdDigit res[kNumSmallPrimes]) {
    const SmallPrimeGroups& g = small_prime_groups();
    for (size_t k = 0; k < g.count; ++k) {
        BdDigit r = mpShortMod(w, g.group[k].product, ndigits);
        for (size_t i = g.group[k].first; i < g.group[k].end; ++i) res[i] = r % kSmallPrimes[i];
    }
}

}  // namespace velt::bigd

int mpIsPrime(const BdDigit w[], size_t ndigits, size_t t) {
    size_t n = mpSizeof(w, ndigits);
    if (n == 0) return 0;
    if (n == 1 && w[0] < 2) return 0;
    if (n == 1 && w[0] == 2) return 1;
    if ((w[0] & 1) == 0) return 0;
    if (n == 1 && w[0] <= 997) return std::binary_search(kSmallPrimes, kSmallPrimes + kNumSmallPrimes, w[0]);
    BdDigit res[kNumSmallPrimes];
    small_prime_residues(w, n, res);
    for (size_t i = 0; i < kNumSmallPrimes; ++i)
        if (res[i] == 0) return 0;
    return mpRabinMiller(w, n, t);
}

namespace {

// A uniformly chosen value in [2, w - 2] (nl limbs, w odd and >= 5) by
// rejection sampling on bit-length(w - 4) random bits. False if the
// generator fails.
bool random_base(limb* a, const limb* w, size_t nl) {
    LimbVec range(nl);  // w - 4, the largest offset
    std::copy(w, w + nl, range.begin());
    for (size_t i = 0; i < nl; ++i) {
        limb old = range[i];
        range[i] -= (i == 0 ? 4 : 1);
        if (old >= (i == 0 ? 4u : 1u)) break;
    }
    size_t rl = normlen(range.data(), nl);
    unsigned topbits = rl ? 64 - unsigned(__builtin_clzll(range[rl - 1])) : 0;
    limb topmask = topbits >= 64 ? ~limb(0) : ((limb(1) << topbits) - 1);
    for (;;) {
        std::fill(a, a + nl, 0);
        if (rl == 0) break;
        if (rngNonce(reinterpret_cast<unsigned char*>(a), long(rl * sizeof(limb))) != 0) return false;
        a[rl - 1] &= topmask;
        if (cmp(a, range.data(), nl) <= 0) break;
    }
    // a += 2
    limb c = 2;
    for (size_t i = 0; i < nl && c; ++i) {
        a[i] += c;
        c = a[i] < c;
    }
    return true;
}

}  // namespace

int mpRabinMiller(const BdDigit w[], size_t ndigits, size_t t) {
    size_t nd = mpSizeof(w, ndigits);
    if (nd == 0 || (nd == 1 && w[0] <= 1)) return 0;
    if (nd == 1 && (w[0] == 2 || w[0] == 3)) return 1;
    if ((w[0] & 1) == 0) return 0;
    if (t == 0) return 1;
    size_t nl = (nd + 1) / 2;
    LimbVec wl(nl), m(nl), a(nl), z(nl), one(nl), minus1(nl), wm1(nl);
    digits_to_limbs(wl.data(), nl, w, nd);
    // w - 1 = 2^k * m with m odd.
    std::copy(wl.begin(), wl.end(), wm1.begin());
    wm1[0] -= 1;  // w is odd: no borrow
    size_t k = 0;
    while (((wm1[k / 64] >> (k % 64)) & 1) == 0) ++k;
    for (size_t i = 0; i < nl; ++i) {
        limb lo = (k / 64 + i < nl) ? wm1[k / 64 + i] : 0;
        limb hi = (k / 64 + i + 1 < nl) ? wm1[k / 64 + i + 1] : 0;
        m[i] = (k % 64) ? (lo >> (k % 64)) | (hi << (64 - k % 64)) : lo;
    }
    Mont ctx(wl.data(), nl);
    ctx.one(one.data());
    ctx.to(minus1.data(), wm1.data());
    for (size_t round = 0; round < t; ++round) {
        if (!random_base(a.data(), wl.data(), nl)) return 0;
        mont_exp(ctx, z.data(), a.data(), m.data(), nl);
        if (cmp(z.data(), one.data(), nl) == 0 || cmp(z.data(), minus1.data(), nl) == 0) continue;
        bool passed = false;
        for (size_t j = 1; j < k; ++j) {
            ctx.sqr(z.data(), z.data());
            if (cmp(z.data(), minus1.data(), nl) == 0) {
                passed = true;
                break;
            }
            if (cmp(z.data(), one.data(), nl) == 0) return 0;
        }
        if (!passed) return 0;
    }
    return 1;
}
