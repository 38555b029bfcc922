// The digit layer: fixed-length arrays of 32-bit digits. Light operations
// work on digits directly; multiplication, division and exponentiation copy
// into 64-bit limb temporaries (limbs.h), which are wiped on release.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bigd/bigdigits.h"
#include "bigd/limbs.h"
#include "rng/rng.h"
#include "util/ct.h"
#include "util/emem.h"

using namespace velt::bigd;

namespace {
inline size_t limbs_for(size_t ndigits) {
    return (ndigits + 1) / 2;
}
}  // namespace

// ---- single-digit helpers ----

void spMultiply(BdDigit p[2], BdDigit x, BdDigit y) {
    uint64_t t = uint64_t(x) * y;
    p[0] = BdDigit(t);
    p[1] = BdDigit(t >> 32);
}

BdDigit spDivide(BdDigit* q, BdDigit* r, const BdDigit u[2], BdDigit v) {
    uint64_t n = (uint64_t(u[1]) << 32) | u[0];
    *q = BdDigit(n / v);
    *r = BdDigit(n % v);
    return *q;
}

BdDigit spRandBetween(BdDigit lower, BdDigit upper) {
    if (lower >= upper) return lower;
    BdDigit range = upper - lower;
    unsigned bits = 32 - unsigned(__builtin_clz(range));
    BdDigit mask = bits >= 32 ? kMaxDigit : ((BdDigit(1) << bits) - 1);
    BdDigit v;
    do {
        unsigned char b[4];
        if (rngNonce(b, 4) != 0) return lower;
        std::memcpy(&v, b, 4);
        v &= mask;
    } while (v > range);
    return lower + v;
}

// ---- storage ----

BdDigit* mpAlloc(size_t ndigits) {
    size_t n = std::max<size_t>(ndigits, 1);
    void* p = std::calloc(n, sizeof(BdDigit));
    if (!p) throw std::bad_alloc();
    return static_cast<BdDigit*>(p);
}

void mpFree(BdDigit** p, size_t ndigits) {
    if (!p || !*p) return;
    ewipe(*p, std::max<size_t>(ndigits, 1) * sizeof(BdDigit));
    std::free(*p);
    *p = nullptr;
}

// ---- assignment, size, comparison ----

void mpSetZero(BdDigit a[], size_t ndigits) {
    if (ndigits) ewipe(a, ndigits * sizeof(BdDigit));
}

void mpSetDigit(BdDigit a[], BdDigit d, size_t ndigits) {
    if (ndigits == 0) return;
    std::memset(a + 1, 0, (ndigits - 1) * sizeof(BdDigit));
    a[0] = d;
}

void mpSetEqual(BdDigit a[], const BdDigit b[], size_t ndigits) {
    if (a != b && ndigits) std::memmove(a, b, ndigits * sizeof(BdDigit));
}

BdDigit mpToShort(const BdDigit a[], size_t ndigits) {
    return ndigits ? a[0] : 0;
}

size_t mpSizeof(const BdDigit a[], size_t ndigits) {
    while (ndigits > 0 && a[ndigits - 1] == 0) --ndigits;
    return ndigits;
}

size_t mpBitLength(const BdDigit a[], size_t ndigits) {
    size_t n = mpSizeof(a, ndigits);
    if (n == 0) return 0;
    return 32 * (n - 1) + (32 - size_t(__builtin_clz(a[n - 1])));
}

int mpIsZero(const BdDigit a[], size_t ndigits) {
    return mpSizeof(a, ndigits) == 0;
}

int mpIsZero_ct(const BdDigit a[], size_t ndigits) {
    uint64_t acc = 0;
    for (size_t i = 0; i < ndigits; ++i) acc |= a[i];
    return int(velt::ct::mask_zero(acc) & 1);
}

int mpEqual(const BdDigit a[], const BdDigit b[], size_t ndigits) {
    for (size_t i = ndigits; i-- > 0;)
        if (a[i] != b[i]) return 0;
    return 1;
}

int mpEqual_ct(const BdDigit a[], const BdDigit b[], size_t ndigits) {
    uint64_t acc = 0;
    for (size_t i = 0; i < ndigits; ++i) acc |= a[i] ^ b[i];
    return int(velt::ct::mask_zero(acc) & 1);
}

int mpCompare(const BdDigit a[], const BdDigit b[], size_t ndigits) {
    for (size_t i = ndigits; i-- > 0;)
        if (a[i] != b[i]) return a[i] > b[i] ? 1 : -1;
    return 0;
}

int mpCompare_ct(const BdDigit a[], const BdDigit b[], size_t ndigits) {
    // From the top digit down; the first difference latches a flag and the
    // `done` mask stops later digits from changing either flag.
    uint64_t gt = 0, lt = 0;
    for (size_t i = ndigits; i-- > 0;) {
        uint64_t done = gt | lt;
        gt |= ~done & velt::ct::mask_lt(b[i], a[i]);
        lt |= ~done & velt::ct::mask_lt(a[i], b[i]);
    }
    return int(gt & 1) - int(lt & 1);
}

int mpShortCmp(const BdDigit a[], BdDigit d, size_t ndigits) {
    if (mpSizeof(a, ndigits) > 1) return 1;
    BdDigit a0 = ndigits ? a[0] : 0;
    return a0 > d ? 1 : a0 < d ? -1 : 0;
}

int mpShortEqual(const BdDigit a[], BdDigit d, size_t ndigits) {
    return mpShortCmp(a, d, ndigits) == 0;
}

// ---- addition and subtraction ----

BdDigit mpAdd(BdDigit w[], const BdDigit u[], const BdDigit v[], size_t ndigits) {
    uint64_t c = 0;
    for (size_t i = 0; i < ndigits; ++i) {
        c += uint64_t(u[i]) + v[i];
        w[i] = BdDigit(c);
        c >>= 32;
    }
    return BdDigit(c);
}

BdDigit mpSubtract(BdDigit w[], const BdDigit u[], const BdDigit v[], size_t ndigits) {
    uint64_t br = 0;
    for (size_t i = 0; i < ndigits; ++i) {
        uint64_t d = uint64_t(u[i]) - v[i] - br;
        w[i] = BdDigit(d);
        br = (d >> 32) & 1;
    }
    return BdDigit(br);
}

BdDigit mpShortAdd(BdDigit w[], const BdDigit u[], BdDigit d, size_t ndigits) {
    uint64_t c = d;
    for (size_t i = 0; i < ndigits; ++i) {
        c += u[i];
        w[i] = BdDigit(c);
        c >>= 32;
    }
    return BdDigit(c);
}

BdDigit mpShortSub(BdDigit w[], const BdDigit u[], BdDigit d, size_t ndigits) {
    uint64_t br = d;
    for (size_t i = 0; i < ndigits; ++i) {
        uint64_t t = uint64_t(u[i]) - br;
        w[i] = BdDigit(t);
        br = (t >> 32) & 1;
    }
    return BdDigit(br);
}

// ---- multiplication ----

int mpMultiply(BdDigit w[], const BdDigit u[], const BdDigit v[], size_t ndigits) {
    if (ndigits == 0) return 0;
    size_t nl = limbs_for(ndigits);
    Scratch<limb> a(nl), b(nl), r(2 * nl);
    digits_to_limbs(a.data(), nl, u, ndigits);
    digits_to_limbs(b.data(), nl, v, ndigits);
    size_t na = std::max<size_t>(normlen(a.data(), nl), 1), nb = std::max<size_t>(normlen(b.data(), nl), 1);
    if (u == v) {
        sqr(r.data(), a.data(), na);
    } else if (2 * std::min(na, nb) >= std::max(na, nb)) {
        // Close sizes: pad to equal length so that Karatsuba can apply.
        size_t n = std::max(na, nb);
        mul(r.data(), a.data(), n, b.data(), n);
        na = nb = n;
    } else {
        mul(r.data(), a.data(), na, b.data(), nb);
    }
    std::fill(r.data() + na + nb, r.data() + 2 * nl, 0);
    limbs_to_digits(w, 2 * ndigits, r.data(), 2 * nl);
    return 0;
}

int mpSquare(BdDigit w[], const BdDigit x[], size_t ndigits) {
    if (ndigits == 0) return 0;
    size_t nl = limbs_for(ndigits);
    Scratch<limb> a(nl), r(2 * nl);
    digits_to_limbs(a.data(), nl, x, ndigits);
    size_t na = std::max<size_t>(normlen(a.data(), nl), 1);
    sqr(r.data(), a.data(), na);
    limbs_to_digits(w, 2 * ndigits, r.data(), 2 * nl);
    return 0;
}

BdDigit mpShortMult(BdDigit w[], const BdDigit u[], BdDigit d, size_t ndigits) {
    uint64_t c = 0;
    for (size_t i = 0; i < ndigits; ++i) {
        c += uint64_t(u[i]) * d;
        w[i] = BdDigit(c);
        c >>= 32;
    }
    return BdDigit(c);
}

// ---- division ----

int mpDivide(BdDigit q[], BdDigit r[], const BdDigit u[], size_t udigits, const BdDigit v[], size_t vdigits) {
    size_t nvd = mpSizeof(v, vdigits);
    size_t nud = mpSizeof(u, udigits);
    if (nvd == 0) {
        mpSetZero(q, udigits);
        mpSetZero(r, udigits);
        return -1;
    }
    if (nud < nvd || (nud == nvd && mpCompare(u, v, nud) < 0)) {
        Scratch<BdDigit> keep(udigits);  // u may alias q
        std::copy(u, u + udigits, keep.data());
        mpSetZero(q, udigits);
        std::copy(keep.data(), keep.data() + udigits, r);
        return 0;
    }
    size_t nu = limbs_for(nud), nv = limbs_for(nvd);
    Scratch<limb> ul(nu), vl(nv), ql(nu - nv + 1), rl(nv), work(nu + nv + 1);
    digits_to_limbs(ul.data(), nu, u, nud);
    digits_to_limbs(vl.data(), nv, v, nvd);
    divrem(ql.data(), rl.data(), ul.data(), nu, vl.data(), nv, work.data());
    limbs_to_digits(q, udigits, ql.data(), ql.size());
    limbs_to_digits(r, udigits, rl.data(), nv);
    return 0;
}

int mpModulo(BdDigit r[], const BdDigit u[], size_t udigits, const BdDigit v[], size_t vdigits) {
    size_t nvd = mpSizeof(v, vdigits);
    size_t nud = mpSizeof(u, udigits);
    if (nvd == 0) {
        mpSetZero(r, vdigits);
        return -1;
    }
    if (nud < nvd || (nud == nvd && mpCompare(u, v, nud) < 0)) {
        Scratch<BdDigit> keep(nud);
        std::copy(u, u + nud, keep.data());
        mpSetZero(r, vdigits);
        std::copy(keep.data(), keep.data() + nud, r);
        return 0;
    }
    size_t nu = limbs_for(nud), nv = limbs_for(nvd);
    Scratch<limb> ul(nu), vl(nv), ql(nu - nv + 1), rl(nv), work(nu + nv + 1);
    digits_to_limbs(ul.data(), nu, u, nud);
    digits_to_limbs(vl.data(), nv, v, nvd);
    divrem(ql.data(), rl.data(), ul.data(), nu, vl.data(), nv, work.data());
    limbs_to_digits(r, vdigits, rl.data(), nv);
    return 0;
}

BdDigit mpShortDiv(BdDigit q[], const BdDigit u[], BdDigit d, size_t ndigits) {
    if (d == 0) {
        mpSetZero(q, ndigits);
        return 0;
    }
    uint64_t rem = 0;
    for (size_t i = ndigits; i-- > 0;) {
        uint64_t n = (rem << 32) | u[i];
        q[i] = BdDigit(n / d);
        rem = n % d;
    }
    return BdDigit(rem);
}

BdDigit mpShortMod(const BdDigit a[], BdDigit d, size_t ndigits) {
    if (d == 0) return 0;
    uint64_t rem = 0;
    for (size_t i = ndigits; i-- > 0;) rem = ((rem << 32) | a[i]) % d;
    return BdDigit(rem);
}

// ---- modular arithmetic ----

namespace {

// The modulus as significant limbs; nm = 0 for a zero modulus.
struct LimbModulus {
    LimbVec m;
    size_t nm = 0;
    LimbModulus(const BdDigit* md, size_t ndigits) {
        size_t nd = mpSizeof(md, ndigits);
        nm = limbs_for(nd);
        m.resize(std::max<size_t>(nm, 1));
        digits_to_limbs(m.data(), m.size(), md, nd);
    }
};

// x mod m as nm limbs (x of ndigits digits).
void reduce_to_limbs(limb* out, const BdDigit* x, size_t ndigits, const LimbModulus& mod) {
    size_t nxd = mpSizeof(x, ndigits);
    size_t nx = limbs_for(nxd);
    LimbVec xl(std::max(nx, mod.nm), 0);
    digits_to_limbs(xl.data(), xl.size(), x, nxd);
    if (nx < mod.nm || (nx == mod.nm && cmp(xl.data(), mod.m.data(), mod.nm) < 0)) {
        std::copy(xl.begin(), xl.begin() + std::ptrdiff_t(mod.nm), out);
        return;
    }
    LimbVec q(nx - mod.nm + 1);
    divrem(q.data(), out, xl.data(), nx, mod.m.data(), mod.nm);
}

template <class Op>
int modexp_common(BdDigit y[], const BdDigit x[], const BdDigit e[], const BdDigit m[], size_t ndigits, Op op,
                  bool secret_base = false) {
    LimbModulus mod(m, ndigits);
    if (mod.nm == 0) {
        mpSetZero(y, ndigits);
        return 0;
    }
    size_t ne = limbs_for(ndigits);
    LimbVec xl(std::max(mod.nm, ne)), el(ne), yl(mod.nm);
    if (secret_base && (mod.m[0] & 1) && ne <= mod.nm) {
        // The array fits the modulus' limbs: no reduction, which would
        // branch on the base. The Montgomery conversion (x * R^2 / R) is
        // exact for any x below R, so the base need not be below m.
        digits_to_limbs(xl.data(), mod.nm, x, ndigits);
    } else {
        reduce_to_limbs(xl.data(), x, ndigits, mod);
    }
    digits_to_limbs(el.data(), ne, e, ndigits);
    op(yl.data(), xl.data(), el.data(), ne, mod.m.data(), mod.nm);
    limbs_to_digits(y, ndigits, yl.data(), mod.nm);
    return 0;
}

}  // namespace

namespace {

// a = x * y mod m (x * x with y null) through one scratch block: operands,
// product, quotient, remainder and division workspace side by side, so the
// small field sizes cost one stack buffer and one wipe.
void mod_product(BdDigit a[], const BdDigit x[], const BdDigit y[], const BdDigit m[], size_t ndigits) {
    size_t nmd = mpSizeof(m, ndigits);
    if (nmd == 0) {
        mpSetZero(a, ndigits);
        return;
    }
    size_t nl = limbs_for(ndigits), ml = limbs_for(nmd);
    Scratch<limb> buf(2 * nl + 2 * nl + ml + (2 * nl + 1) + ml + (3 * nl + 1));
    limb* xl = buf.data();
    limb* yl = xl + nl;
    limb* prod = yl + nl;
    limb* mlimbs = prod + 2 * nl;
    limb* q = mlimbs + ml;
    limb* r = q + 2 * nl + 1;
    limb* work = r + ml;
    digits_to_limbs(xl, nl, x, ndigits);
    digits_to_limbs(mlimbs, ml, m, nmd);
    size_t nx = std::max<size_t>(normlen(xl, nl), 1);
    if (!y) {
        sqr(prod, xl, nx);
    } else {
        digits_to_limbs(yl, nl, y, ndigits);
        size_t ny = std::max<size_t>(normlen(yl, nl), 1);
        mul(prod, xl, nx, yl, ny);
    }
    size_t plen = normlen(prod, 2 * nl);
    if (plen < ml || (plen == ml && cmp(prod, mlimbs, ml) < 0))
        std::copy(prod, prod + ml, r);
    else
        divrem(q, r, prod, plen, mlimbs, ml, work);
    limbs_to_digits(a, ndigits, r, ml);
}

}  // namespace

int mpModMult(BdDigit a[], const BdDigit x[], const BdDigit y[], const BdDigit m[], size_t ndigits) {
    if (ndigits) mod_product(a, x, y, m, ndigits);
    return 0;
}

int mpModSquare(BdDigit a[], const BdDigit x[], const BdDigit m[], size_t ndigits) {
    if (ndigits) mod_product(a, x, nullptr, m, ndigits);
    return 0;
}

int mpModExp(BdDigit y[], const BdDigit x[], const BdDigit e[], const BdDigit m[], size_t ndigits) {
    if (ndigits == 0) return 0;
    return modexp_common(y, x, e, m, ndigits, modexp_vartime);
}

int mpModExp_ct(BdDigit y[], const BdDigit x[], const BdDigit e[], const BdDigit m[], size_t ndigits) {
    if (ndigits == 0) return 0;
    return modexp_common(y, x, e, m, ndigits, modexp_consttime, true);
}

// ---- bits ----

BdDigit mpShiftLeft(BdDigit a[], const BdDigit b[], size_t shift, size_t ndigits) {
    if (ndigits == 0) return 0;
    size_t ds = shift / 32;
    unsigned bs = unsigned(shift % 32);
    BdDigit out = 0;
    if (ds == 0 && bs) out = b[ndigits - 1] >> (32 - bs);
    if (ds >= ndigits) {
        mpSetZero(a, ndigits);
        return 0;
    }
    for (size_t i = ndigits; i-- > ds;) {
        BdDigit hi = b[i - ds] << bs;
        BdDigit lo = (bs && i - ds > 0) ? b[i - ds - 1] >> (32 - bs) : 0;
        a[i] = hi | lo;
    }
    for (size_t i = 0; i < ds; ++i) a[i] = 0;
    return out;
}

BdDigit mpShiftRight(BdDigit a[], const BdDigit b[], size_t shift, size_t ndigits) {
    if (ndigits == 0) return 0;
    size_t ds = shift / 32;
    unsigned bs = unsigned(shift % 32);
    BdDigit out = 0;
    if (ds == 0 && bs) out = b[0] << (32 - bs);
    if (ds >= ndigits) {
        mpSetZero(a, ndigits);
        return 0;
    }
    for (size_t i = 0; i + ds < ndigits; ++i) {
        BdDigit lo = b[i + ds] >> bs;
        BdDigit hi = (bs && i + ds + 1 < ndigits) ? b[i + ds + 1] << (32 - bs) : 0;
        a[i] = lo | hi;
    }
    for (size_t i = ndigits - ds; i < ndigits; ++i) a[i] = 0;
    return out;
}

int mpSetBit(BdDigit a[], size_t ndigits, size_t n, int value) {
    if (n / 32 >= ndigits) return -1;
    BdDigit bit = BdDigit(1) << (n % 32);
    if (value)
        a[n / 32] |= bit;
    else
        a[n / 32] &= ~bit;
    return 0;
}

int mpGetBit(const BdDigit a[], size_t ndigits, size_t n) {
    if (n / 32 >= ndigits) return -1;
    return int((a[n / 32] >> (n % 32)) & 1);
}

void mpXorBits(BdDigit a[], const BdDigit b[], const BdDigit c[], size_t ndigits) {
    for (size_t i = 0; i < ndigits; ++i) a[i] = b[i] ^ c[i];
}
void mpOrBits(BdDigit a[], const BdDigit b[], const BdDigit c[], size_t ndigits) {
    for (size_t i = 0; i < ndigits; ++i) a[i] = b[i] | c[i];
}
void mpAndBits(BdDigit a[], const BdDigit b[], const BdDigit c[], size_t ndigits) {
    for (size_t i = 0; i < ndigits; ++i) a[i] = b[i] & c[i];
}
void mpNotBits(BdDigit a[], const BdDigit b[], size_t ndigits) {
    for (size_t i = 0; i < ndigits; ++i) a[i] = ~b[i];
}

void mpModPowerOf2(BdDigit a[], size_t ndigits, size_t L) {
    size_t full = L / 32;
    if (full >= ndigits) return;
    unsigned rem = unsigned(L % 32);
    a[full] &= rem ? ((BdDigit(1) << rem) - 1) : 0;
    for (size_t i = full + 1; i < ndigits; ++i) a[i] = 0;
}

// ---- two's complement ----

int mpIsNegative(const BdDigit a[], size_t ndigits) {
    return ndigits ? int(a[ndigits - 1] >> 31) : 0;
}

void mpChs(BdDigit a[], const BdDigit b[], size_t ndigits) {
    uint64_t c = 1;
    for (size_t i = 0; i < ndigits; ++i) {
        c += BdDigit(~b[i]);
        a[i] = BdDigit(c);
        c >>= 32;
    }
}

void mpAbs(BdDigit a[], const BdDigit b[], size_t ndigits) {
    if (mpIsNegative(b, ndigits))
        mpChs(a, b, ndigits);
    else
        mpSetEqual(a, b, ndigits);
}

int mpVersion() {
    return 2612;
}
