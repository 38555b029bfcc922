// The handle layer over the digit layer. Each operation reads its operands
// at a common length n (an operand shorter than n is read through a
// zero-padded temporary copy, so inputs are never touched), computes into a
// temporary and then stores into the output handle. Outputs may therefore be
// any of the inputs; the _s forms are the same operations.
#include "bigd/bigd.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bigd/limbs.h"
#include "bigd/primes.h"
#include "rng/rng.h"
#include "util/emem.h"

using velt::bigd::DigitVec;

namespace {

// Grows or trims b's storage as described at BdNumber: growth allocates
// exactly n digits and zero-fills from ndigits; a smaller n zeroes the
// digits from n up and sets ndigits to n.
void bd_resize(BdNumber* b, size_t n) {
    if (n >= b->ndigits) {
        if (b->allocdigits < n) {
            BdDigit* p = static_cast<BdDigit*>(std::calloc(n, sizeof(BdDigit)));
            if (!p) throw std::bad_alloc();  // b is left as it was
            std::memcpy(p, b->digits, b->allocdigits * sizeof(BdDigit));
            ewipe(b->digits, b->allocdigits * sizeof(BdDigit));
            std::free(b->digits);
            b->digits = p;
            b->allocdigits = n;
        }
        if (n > b->ndigits) std::memset(b->digits + b->ndigits, 0, (n - b->ndigits) * sizeof(BdDigit));
    } else {
        ewipe(b->digits + n, (b->ndigits - n) * sizeof(BdDigit));
        b->ndigits = n;
    }
}

// Stores the n digits of src into b, ndigits normalised (or exactly n with
// normalise false).
void store(BdNumber* b, const BdDigit* src, size_t n, bool normalise = true) {
    size_t len = normalise ? mpSizeof(src, n) : n;
    bd_resize(b, std::max<size_t>(len, 1));
    if (len) std::memmove(b->digits, src, len * sizeof(BdDigit));
    if (b->ndigits > len) ewipe(b->digits + len, (b->ndigits - len) * sizeof(BdDigit));
    b->ndigits = len;
}

// b's value as exactly n digits: its own array when long enough, else a
// zero-padded copy (so reading never resizes an input).
class View {
  public:
    View(const BdNumber* b, size_t n) {
        assert(b);
        if (b->ndigits >= n) {
            p_ = b->digits;
        } else {
            tmp_.assign(std::max<size_t>(n, 1), 0);
            std::copy(b->digits, b->digits + b->ndigits, tmp_.begin());
            p_ = tmp_.data();
        }
    }
    const BdDigit* get() const { return p_; }
    operator const BdDigit*() const { return p_; }

  private:
    const BdDigit* p_;
    DigitVec tmp_;
};

inline size_t nmax(std::initializer_list<const BdNumber*> list) {
    size_t n = 1;
    for (const BdNumber* b : list) n = std::max(n, b->ndigits);
    return n;
}

}  // namespace

// ---- life cycle ----

BdNumber* bdNew() {
    BdNumber* b = static_cast<BdNumber*>(std::calloc(1, sizeof(BdNumber)));
    BdDigit* d = static_cast<BdDigit*>(std::calloc(1, sizeof(BdDigit)));
    if (!b || !d) {
        std::free(b);
        std::free(d);
        throw std::bad_alloc();
    }
    b->digits = d;
    b->ndigits = 0;
    b->allocdigits = 1;
    return b;
}

void bdFree(BdNumber** pb) {
    if (!pb || !*pb) return;
    BdNumber* b = *pb;
    ewipe(b->digits, b->allocdigits * sizeof(BdDigit));
    std::free(b->digits);
    ewipe(b, sizeof(*b));
    std::free(b);
    *pb = nullptr;
}

// ---- conversions ----

size_t bdConvFromOctets(BdNumber* b, const unsigned char* octets, size_t nbytes) {
    size_t nd = (nbytes + 3) / 4;
    DigitVec t(std::max<size_t>(nd, 1));
    size_t filled = mpConvFromOctets(t.data(), nd, octets, nbytes);
    store(b, t.data(), nd);
    return filled;
}

size_t bdConvToOctets(const BdNumber* b, unsigned char* out, size_t len) {
    size_t bits = mpBitLength(b->digits, b->ndigits);
    size_t sig = (bits + 7) / 8;
    if (!out || len == 0) return std::max<size_t>(sig, 1);
    mpConvToOctets(b->digits, b->ndigits, out, len);
    return sig;
}

size_t bdConvFromHex(BdNumber* b, const char* s) {
    size_t nhex = 0;
    for (const char* p = s; p && *p; ++p) nhex += std::isxdigit(static_cast<unsigned char>(*p)) ? 1 : 0;
    size_t nd = (nhex + 7) / 8;
    DigitVec t(std::max<size_t>(nd, 1));
    mpConvFromHex(t.data(), nd, s);
    store(b, t.data(), nd);
    return b->ndigits;
}

size_t bdConvFromDecimal(BdNumber* b, const char* s) {
    size_t ndec = 0;
    for (const char* p = s; p && *p; ++p) ndec += (*p >= '0' && *p <= '9') ? 1 : 0;
    // log2(10) < 3.33 bits per decimal digit.
    size_t nd = (ndec * 3322 / 1000 + 1) / 32 + 1;
    DigitVec t(nd);
    mpConvFromDecimal(t.data(), nd, s);
    store(b, t.data(), nd);
    return b->ndigits;
}

size_t bdConvToHex(const BdNumber* b, char* s, size_t smax) {
    return mpConvToHex(b->digits, b->ndigits, s, smax);
}

size_t bdConvToDecimal(const BdNumber* b, char* s, size_t smax) {
    return mpConvToDecimal(b->digits, b->ndigits, s, smax);
}

int bdSetShort(BdNumber* b, BdDigit d) {
    store(b, &d, 1);
    return 0;
}

BdDigit bdToShort(const BdNumber* b) {
    return b->ndigits ? b->digits[0] : 0;
}

// ---- size ----

size_t bdBitLength(const BdNumber* b) {
    return mpBitLength(b->digits, b->ndigits);
}
size_t bdSizeof(const BdNumber* b) {
    return mpSizeof(b->digits, b->ndigits);
}

// ---- tests ----

int bdIsZero(const BdNumber* a) {
    return mpIsZero(a->digits, a->ndigits);
}
int bdIsZero_ct(const BdNumber* a) {
    return mpIsZero_ct(a->digits, a->ndigits);
}

int bdIsEqual(const BdNumber* a, const BdNumber* b) {
    return bdCompare(a, b) == 0;
}

int bdIsEqual_ct(const BdNumber* a, const BdNumber* b) {
    size_t n = nmax({a, b});
    View x(a, n), y(b, n);
    return mpEqual_ct(x, y, n);
}

int bdCompare(const BdNumber* a, const BdNumber* b) {
    size_t na = mpSizeof(a->digits, a->ndigits), nb = mpSizeof(b->digits, b->ndigits);
    if (na != nb) return na > nb ? 1 : -1;
    return mpCompare(a->digits, b->digits, na);
}

int bdCompare_ct(const BdNumber* a, const BdNumber* b) {
    size_t n = nmax({a, b});
    View x(a, n), y(b, n);
    return mpCompare_ct(x, y, n);
}

int bdShortCmp(const BdNumber* a, BdDigit d) {
    return mpShortCmp(a->digits, d, a->ndigits);
}
int bdShortIsEqual(const BdNumber* a, BdDigit d) {
    return bdShortCmp(a, d) == 0;
}
int bdIsEven(const BdNumber* a) {
    return a->ndigits == 0 || (a->digits[0] & 1) == 0;
}
int bdIsOdd(const BdNumber* a) {
    return !bdIsEven(a);
}

// ---- assignment ----

int bdSetEqual(BdNumber* a, const BdNumber* b) {
    if (a == b) return 0;
    store(a, b->digits, b->ndigits);
    return 0;
}

int bdSetZero(BdNumber* a) {
    mpSetZero(a->digits, a->ndigits);
    a->ndigits = 0;
    return 0;
}

// ---- addition and subtraction ----

BdDigit bdAdd(BdNumber* w, const BdNumber* u, const BdNumber* v) {
    size_t n = nmax({u, v});
    View x(u, n), y(v, n);
    DigitVec t(n + 1);
    BdDigit carry = mpAdd(t.data(), x, y, n);
    t[n] = carry;
    store(w, t.data(), n + 1);
    return carry;
}
BdDigit bdAdd_s(BdNumber* w, const BdNumber* u, const BdNumber* v) {
    return bdAdd(w, u, v);
}

BdDigit bdShortAdd(BdNumber* w, const BdNumber* u, BdDigit d) {
    size_t n = nmax({u});
    View x(u, n);
    DigitVec t(n + 1);
    BdDigit carry = mpShortAdd(t.data(), x, d, n);
    t[n] = carry;
    store(w, t.data(), n + 1);
    return carry;
}

BdDigit bdIncrement(BdNumber* a) {
    return bdShortAdd(a, a, 1);
}

BdDigit bdSubtract(BdNumber* w, const BdNumber* u, const BdNumber* v) {
    size_t n = nmax({u, v});
    View x(u, n), y(v, n);
    DigitVec t(n);
    BdDigit borrow = mpSubtract(t.data(), x, y, n);
    store(w, t.data(), n);
    return borrow;
}
BdDigit bdSubtract_s(BdNumber* w, const BdNumber* u, const BdNumber* v) {
    return bdSubtract(w, u, v);
}

BdDigit bdShortSub(BdNumber* w, const BdNumber* u, BdDigit d) {
    size_t n = nmax({u});
    View x(u, n);
    DigitVec t(n);
    BdDigit borrow = mpShortSub(t.data(), x, d, n);
    store(w, t.data(), n);
    return borrow;
}

BdDigit bdDecrement(BdNumber* a) {
    return bdShortSub(a, a, 1);
}

// ---- multiplication ----

int bdMultiply(BdNumber* w, const BdNumber* u, const BdNumber* v) {
    size_t nu = std::max<size_t>(mpSizeof(u->digits, u->ndigits), 1);
    size_t nv = std::max<size_t>(mpSizeof(v->digits, v->ndigits), 1);
    if (nu == 1 || nv == 1) {
        // One single-digit operand: a short multiplication.
        const BdNumber* big = nu == 1 ? v : u;
        BdDigit d = (nu == 1 ? u : v)->ndigits ? (nu == 1 ? u : v)->digits[0] : 0;
        return bdShortMult(w, big, d);
    }
    size_t n = std::max(nu, nv);
    View x(u, n), y(v, n);
    DigitVec t(2 * n);
    mpMultiply(t.data(), x, y, n);
    store(w, t.data(), 2 * n);
    return 0;
}
int bdMultiply_s(BdNumber* w, const BdNumber* u, const BdNumber* v) {
    return bdMultiply(w, u, v);
}

int bdShortMult(BdNumber* w, const BdNumber* u, BdDigit d) {
    size_t n = nmax({u});
    View x(u, n);
    DigitVec t(n + 1);
    t[n] = mpShortMult(t.data(), x, d, n);
    store(w, t.data(), n + 1);
    return 0;
}

int bdSquare(BdNumber* w, const BdNumber* x) {
    size_t n = std::max<size_t>(mpSizeof(x->digits, x->ndigits), 1);
    View a(x, n);
    DigitVec t(2 * n);
    mpSquare(t.data(), a, n);
    store(w, t.data(), 2 * n);
    return 0;
}
int bdSquare_s(BdNumber* w, const BdNumber* x) {
    return bdSquare(w, x);
}

int bdPower(BdNumber* y, const BdNumber* g, uint32_t n) {
    // Right-to-left square-and-multiply.
    BdNumber* base = bdNew();
    BdNumber* acc = bdNew();
    bdSetEqual(base, g);
    bdSetShort(acc, 1);
    while (n) {
        if (n & 1) bdMultiply(acc, acc, base);
        n >>= 1;
        if (n) bdSquare(base, base);
    }
    bdSetEqual(y, acc);
    bdFree(&base);
    bdFree(&acc);
    return 0;
}

// ---- division ----

int bdDivide(BdNumber* q, BdNumber* r, const BdNumber* u, const BdNumber* v) {
    size_t nu = std::max<size_t>(mpSizeof(u->digits, u->ndigits), 1);
    size_t nv = std::max<size_t>(mpSizeof(v->digits, v->ndigits), 1);
    View x(u, nu), y(v, nv);
    DigitVec tq(nu), tr(nu);
    mpDivide(tq.data(), tr.data(), x, nu, y, nv);  // zero divisor: both stay 0
    store(q, tq.data(), nu);
    store(r, tr.data(), nu);
    return 0;
}
int bdDivide_s(BdNumber* q, BdNumber* r, const BdNumber* u, const BdNumber* v) {
    return bdDivide(q, r, u, v);
}

int bdShortDiv(BdNumber* q, BdNumber* r, const BdNumber* u, BdDigit d) {
    size_t n = nmax({u});
    View x(u, n);
    DigitVec t(n);
    BdDigit rem = mpShortDiv(t.data(), x, d, n);
    store(q, t.data(), n);
    store(r, &rem, 1);
    return 0;
}

int bdModulo(BdNumber* r, const BdNumber* u, const BdNumber* m) {
    size_t nu = std::max<size_t>(mpSizeof(u->digits, u->ndigits), 1);
    size_t nm = std::max<size_t>(mpSizeof(m->digits, m->ndigits), 1);
    View x(u, nu), y(m, nm);
    DigitVec t(nm);
    mpModulo(t.data(), x, nu, y, nm);
    store(r, t.data(), nm);
    return 0;
}
int bdModulo_s(BdNumber* r, const BdNumber* u, const BdNumber* m) {
    return bdModulo(r, u, m);
}

BdDigit bdShortMod(BdNumber* r, const BdNumber* u, BdDigit d) {
    BdDigit rem = mpShortMod(u->digits, d, u->ndigits);
    store(r, &rem, 1);
    return rem;
}

// ---- roots ----

int bdSqrt(BdNumber* s, const BdNumber* x) {
    size_t n = nmax({x});
    View a(x, n);
    DigitVec t(n);
    mpSqrt(t.data(), a, n);
    store(s, t.data(), n);
    return 0;
}

int bdCubeRoot(BdNumber* s, const BdNumber* x) {
    size_t n = nmax({x});
    View a(x, n);
    DigitVec t(n);
    mpCubeRoot(t.data(), a, n);
    store(s, t.data(), n);
    return 0;
}

// ---- bits ----

int bdSetBit(BdNumber* a, size_t n, int value) {
    size_t need = n / 32 + 1;
    if (need > a->ndigits) {
        if (!value) return 0;  // bits beyond the number are already 0
        bd_resize(a, need);
        a->ndigits = need;
    }
    mpSetBit(a->digits, a->ndigits, n, value);
    a->ndigits = mpSizeof(a->digits, a->ndigits);
    return 0;
}

int bdGetBit(const BdNumber* a, size_t n) {
    int bit = mpGetBit(a->digits, a->ndigits, n);
    return bit < 0 ? 0 : bit;
}

int bdShiftLeft(BdNumber* a, const BdNumber* b, size_t s) {
    size_t nb = mpSizeof(b->digits, b->ndigits);
    size_t n = nb + (s + 31) / 32;
    if (nb == 0) return bdSetZero(a);
    DigitVec t(n, 0);
    std::copy(b->digits, b->digits + nb, t.begin());
    mpShiftLeft(t.data(), t.data(), s, n);
    store(a, t.data(), n);
    return 0;
}

int bdShiftRight(BdNumber* a, const BdNumber* b, size_t s) {
    size_t n = nmax({b});
    View x(b, n);
    DigitVec t(n);
    mpShiftRight(t.data(), x, s, n);
    store(a, t.data(), n);
    return 0;
}

template <void (*Op)(BdDigit[], const BdDigit[], const BdDigit[], size_t)>
static int bitwise(BdNumber* a, const BdNumber* b, const BdNumber* c) {
    size_t n = nmax({b, c});
    View x(b, n), y(c, n);
    DigitVec t(n);
    Op(t.data(), x, y, n);
    store(a, t.data(), n);
    return 0;
}

int bdXorBits(BdNumber* a, const BdNumber* b, const BdNumber* c) {
    return bitwise<mpXorBits>(a, b, c);
}
int bdOrBits(BdNumber* a, const BdNumber* b, const BdNumber* c) {
    return bitwise<mpOrBits>(a, b, c);
}
int bdAndBits(BdNumber* a, const BdNumber* b, const BdNumber* c) {
    return bitwise<mpAndBits>(a, b, c);
}

int bdNotBits(BdNumber* a, const BdNumber* b) {
    size_t n = b->ndigits;
    if (n == 0) return bdSetZero(a);
    DigitVec t(n);
    mpNotBits(t.data(), b->digits, n);
    store(a, t.data(), n);
    return 0;
}

int bdModPowerOf2(BdNumber* a, size_t L) {
    mpModPowerOf2(a->digits, a->ndigits, L);
    a->ndigits = mpSizeof(a->digits, a->ndigits);
    return 0;
}

// ---- modular arithmetic ----

int bdModExp(BdNumber* y, const BdNumber* x, const BdNumber* e, const BdNumber* m) {
    size_t n = nmax({x, e, m});
    View a(x, n), b(e, n), c(m, n);
    DigitVec t(n);
    mpModExp(t.data(), a, b, c, n);
    store(y, t.data(), n);
    return 0;
}

int bdModExp_ct(BdNumber* y, const BdNumber* x, const BdNumber* e, const BdNumber* m) {
    size_t n = nmax({x, e, m});
    View a(x, n), b(e, n), c(m, n);
    DigitVec t(n);
    mpModExp_ct(t.data(), a, b, c, n);
    // The result is below m: keep m's digit count without looking at the
    // value (normalising would branch on digits derived from the exponent).
    size_t keep = std::max<size_t>(std::min(n, m->ndigits), 1);
    store(y, t.data(), keep, false);
    return 0;
}

int bdModMult(BdNumber* a, const BdNumber* x, const BdNumber* y, const BdNumber* m) {
    size_t n = nmax({x, y, m});
    View u(x, n), v(y, n), w(m, n);
    DigitVec t(n);
    mpModMult(t.data(), u, v, w, n);
    store(a, t.data(), n);
    return 0;
}

int bdModSquare(BdNumber* a, const BdNumber* x, const BdNumber* m) {
    size_t n = nmax({x, m});
    View u(x, n), w(m, n);
    DigitVec t(n);
    mpModSquare(t.data(), u, w, n);
    store(a, t.data(), n);
    return 0;
}

int bdModInv(BdNumber* x, const BdNumber* a, const BdNumber* m) {
    size_t n = nmax({a, m});
    View u(a, n), w(m, n);
    DigitVec t(n);
    int ret = mpModInv(t.data(), u, w, n);
    store(x, t.data(), n);
    return ret;
}

int bdGcd(BdNumber* g, const BdNumber* x, const BdNumber* y) {
    size_t n = nmax({x, y});
    View u(x, n), v(y, n);
    DigitVec t(n);
    mpGcd(t.data(), u, v, n);
    store(g, t.data(), n);
    return 0;
}

int bdJacobi(const BdNumber* a, const BdNumber* m) {
    size_t n = nmax({a, m});
    View u(a, n), w(m, n);
    return mpJacobi(u, w, n);
}

// ---- primes and random numbers ----

int bdIsPrime(const BdNumber* b, size_t ntests) {
    return mpIsPrime(b->digits, b->ndigits, ntests);
}
int bdRabinMiller(const BdNumber* b, size_t ntests) {
    return mpRabinMiller(b->digits, b->ndigits, ntests);
}

int bdRandomSeeded(BdNumber* b, size_t nbits, const unsigned char* seed, size_t seedlen,
                   BdRandFunc randFunc) {
    size_t nd = (nbits + 31) / 32;
    if (nd == 0) {
        bdSetZero(b);
        return 0;
    }
    if (!randFunc) randFunc = rngFunc;
    bd_resize(b, nd);
    b->ndigits = nd;
    long rc = randFunc(reinterpret_cast<unsigned char*>(b->digits), long(nd * sizeof(BdDigit)), seed,
                       long(seedlen));
    if (rc != 0) {
        // A failed fill is not random: never let it pass as a number.
        bdSetZero(b);
        return int(std::clamp<long>(rc, INT_MIN, INT_MAX));
    }
    mpModPowerOf2(b->digits, nd, nbits);
    return 0;
}

int bdGeneratePrime(BdNumber* b, size_t nbits, size_t ntests, const unsigned char* seed, size_t seedlen,
                    BdRandFunc randFunc) {
    if (nbits < 2) {
        bdSetZero(b);
        return 1;
    }
    const size_t nd = (nbits + 31) / 32;
    BdDigit res[kNumSmallPrimes];
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (bdRandomSeeded(b, nbits, seed, seedlen, randFunc) != 0) return 1;
        bd_resize(b, nd);
        b->ndigits = nd;
        BdDigit* w = b->digits;
        mpSetBit(w, nd, nbits - 1, 1);
        mpSetBit(w, nd, 0, 1);
        // Candidates above the table (nbits > 10) keep their residues modulo
        // the table primes up to date while stepping by 2, which gives the
        // same verdicts as mpIsPrime without dividing each candidate again.
        const bool sieve = nbits > 10;
        if (sieve) velt::bigd::small_prime_residues(w, nd, res);
        for (size_t k = 0; k < 100 * nbits; ++k) {
            bool candidate = true;
            if (sieve) {
                for (size_t i = 0; i < kNumSmallPrimes; ++i)
                    if (res[i] == 0) {
                        candidate = false;
                        break;
                    }
                if (candidate && mpRabinMiller(w, nd, ntests)) return 0;
            } else if (mpIsPrime(w, nd, ntests)) {
                return 0;
            }
            mpShortAdd(w, w, 2, nd);
            if (mpGetBit(w, nd, nbits - 1) != 1 || mpBitLength(w, nd) != nbits) break;
            if (sieve)
                for (size_t i = 0; i < kNumSmallPrimes; ++i) {
                    res[i] += 2;
                    if (res[i] >= kSmallPrimes[i]) res[i] -= kSmallPrimes[i];
                }
        }
    }
    return 1;
}

size_t bdQuickRandBits(BdNumber* b, size_t nbits) {
    size_t nd = (nbits + 31) / 32;
    bd_resize(b, std::max<size_t>(nd, 1));
    b->ndigits = nd;
    return mpQuickRandBits(b->digits, nd, nbits);
}

size_t bdSetRandTest(BdNumber* b, size_t maxdigits) {
    if (maxdigits == 0) maxdigits = 1;
    size_t n = spRandBetween(1, BdDigit(std::min<size_t>(maxdigits, kMaxDigit)));
    bd_resize(b, n);
    b->ndigits = n;
    mpQuickRandBits(b->digits, n, 32 * n);
    BdDigit s = spRandBetween(0, 64);
    if (s > 0 && s < 32) b->digits[n - 1] &= kMaxDigit >> s;
    return n;
}

// ---- version ----

int bdVersion() {
    return 2612;
}
const char* bdCompileTime() {
    return __DATE__ " " __TIME__;
}
