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

namespace {

// A number on limbs with its significant length, in a buffer owned elsewhere.
struct Num {
    limb* p;
    size_t len;
};

// q = a div b, r = a mod b for b != 0; q has room for a.len limbs, r for
// b.len, and neither overlaps a or b.
void divmod(Num& q, Num& r, const Num& a, const Num& b, limb* scratch) {
    if (a.len < b.len || (a.len == b.len && cmp(a.p, b.p, a.len) < 0)) {
        q.len = 0;
        std::copy(a.p, a.p + a.len, r.p);
        r.len = a.len;
        return;
    }
    divrem(q.p, r.p, a.p, a.len, b.p, b.len, scratch);
    q.len = normlen(q.p, a.len - b.len + 1);
    r.len = normlen(r.p, b.len);
}

Num load(limb* buf, size_t nl, const BdDigit* a, size_t nd) {
    digits_to_limbs(buf, nl, a, nd);
    return {buf, normlen(buf, nl)};
}

}  // namespace

int mpModInv(BdDigit inv[], const BdDigit u[], const BdDigit m[], size_t ndigits) {
    // Extended Euclid on magnitudes with a sign flag: the coefficients
    // alternate in sign, so |c1| and |d1| stay at most m.
    const size_t nl = (ndigits + 1) / 2 + 1;
    LimbVec store(9 * nl + 2, 0);
    limb* buf = store.data();
    Num c1{buf, 0}, d1{buf + nl, 0}, e1{buf + 2 * nl, 0};
    Num c3 = load(buf + 3 * nl, nl, u, ndigits), d3 = load(buf + 4 * nl, nl, m, ndigits), e3{buf + 5 * nl, 0};
    Num q{buf + 6 * nl, 0};
    limb* prod = buf + 7 * nl;  // 2 nl limbs
    LimbVec scratch(2 * nl + 1);
    const Num mod = d3;
    LimbVec mcopy(mod.p, mod.p + nl);
    c1.p[0] = 1;
    c1.len = 1;
    int negative = 0;
    while (d3.len) {
        divmod(q, e3, c3, d3, scratch.data());
        // e1 = c1 + q * d1
        std::fill(e1.p, e1.p + nl, 0);
        std::copy(c1.p, c1.p + c1.len, e1.p);
        if (q.len && d1.len) {
            size_t plen = q.len + d1.len;
            mul(prod, q.p, q.len, d1.p, d1.len);
            limb c = add_n(e1.p, e1.p, prod, std::min(plen, nl));
            for (size_t i = plen; i < nl && c; ++i) c = (++e1.p[i] == 0);
        }
        e1.len = normlen(e1.p, nl);
        Num t = c1;
        c1 = d1, d1 = e1, e1 = t;
        t = c3;
        c3 = d3, d3 = e3, e3 = t;
        negative ^= 1;
    }
    if (c3.len != 1 || c3.p[0] != 1 || mod.len == 0) {
        mpSetZero(inv, ndigits);
        return 1;
    }
    if (mod.len == 1 && mcopy[0] == 1) {  // modulo 1 every residue is 0
        mpSetZero(inv, ndigits);
        return 0;
    }
    LimbVec out(nl, 0);
    if (negative)
        sub_n(out.data(), mcopy.data(), c1.p, nl);  // m - c1, with c1 zero-padded to nl
    else
        std::copy(c1.p, c1.p + nl, out.begin());
    limbs_to_digits(inv, ndigits, out.data(), nl);
    return 0;
}

int mpGcd(BdDigit g[], const BdDigit x[], const BdDigit y[], size_t ndigits) {
    const size_t nl = (ndigits + 1) / 2;
    if (nl == 0) return 0;
    LimbVec store(4 * nl + 1, 0), scratch(2 * nl + 1);
    limb* buf = store.data();
    Num a = load(buf, nl, x, ndigits), b = load(buf + nl, nl, y, ndigits), r{buf + 2 * nl, 0};
    Num q{buf + 3 * nl, 0};
    while (b.len) {
        divmod(q, r, a, b, scratch.data());
        Num t = a;
        a = b, b = r, r = t;
    }
    std::fill(a.p + a.len, a.p + nl, 0);
    limbs_to_digits(g, ndigits, a.p, nl);
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
