// Prepared keys and the raw operations on them: RSAEP, and RSADP in the
// Chinese-remainder form with base blinding and a check of the result with
// the public exponent (RFC 8017 5.1).
#include "rsa/rsa_prep.h"

#include <algorithm>
#include <cstring>

#include "bigd/modinv.h"
#include "frame/error.h"
#include "rng/rng.h"
#include "rsa/rsa_int.h"
#include "util/ct.h"

using velt::bigd::limb;
using velt::bigd::LimbVec;
using velt::bigd::Mont;
using velt::bigd::Mont52;

namespace {

// Significant 64-bit limbs of b (at least 1), read from its digit count.
size_t limb_count(const BdNumber* b) {
    size_t nd = std::max<size_t>(mpSizeof(b->digits, b->ndigits), 1);
    return (nd + 1) / 2;
}

// Significant limbs of a secret value (a prime), found without branching on
// its digits; the count itself (the value's size) is public.
size_t secret_limb_count(const BdNumber* b) {
    size_t count = 0;
    for (size_t i = 0; i < b->ndigits; ++i)
        count = size_t(velt::ct::select(velt::ct::mask_nonzero(b->digits[i]), i + 1, count));
    rsa_declassify(&count, sizeof count);
    return (count + 1) / 2;
}

// b's value as exactly nl limbs (zero padded; b must fit).
void to_limbs(LimbVec& out, size_t nl, const BdNumber* b) {
    out.assign(nl, 0);
    velt::bigd::digits_to_limbs(out.data(), nl, b->digits, std::min(b->ndigits, 2 * nl));
}

// A big-endian block as nl limbs; false when its value needs more.
bool block_to_limbs(limb* x, size_t nl, const unsigned char* in, size_t inlen) {
    std::fill(x, x + nl, 0);
    limb over = 0;
    for (size_t i = 0; i < inlen; ++i) {
        const size_t bit = 8 * i;  // octet i from the end
        const limb v = in[inlen - 1 - i];
        if (bit / 64 < nl)
            x[bit / 64] |= v << (bit % 64);
        else
            over |= v;
    }
    return over == 0;
}

// The low k octets of nl little-endian limbs, big-endian (the value fits).
void limbs_to_block(unsigned char* out, size_t k, const limb* y, size_t nl) {
    for (size_t i = 0; i < k; ++i) {
        size_t bit = 8 * i;  // octet i from the end
        out[k - 1 - i] = bit / 64 < nl ? uint8_t(y[bit / 64] >> (bit % 64)) : 0;
    }
}

// r = a mod m (m's context, a of na limbs) in time independent of a's and
// m's values, by Montgomery steps only. When a < m * R (a bound the caller
// knows from the sizes) two steps do it: a / R, then times R^2 / R.
// Otherwise a is folded in from the top, n limbs at a time: with acc < m,
// acc * R + chunk < m * R, and its reduction times R^2 / R is
// (acc * R + chunk) mod m.
void reduce_by(Mont& ctx, limb* r, const limb* a, size_t na, size_t a_bound_limbs) {
    const size_t n = ctx.size();
    LimbVec t(n);
    if (na <= 2 * n && a_bound_limbs <= n) {
        ctx.reduce(t.data(), a, na);
        ctx.mul(r, t.data(), ctx.rr());
        return;
    }
    LimbVec acc(n, 0), w(2 * n);
    for (size_t chunks = (na + n - 1) / n; chunks-- > 0;) {
        const size_t lo = chunks * n, take = std::min(n, na - lo);
        std::fill(w.begin(), w.end(), 0);
        std::copy(a + lo, a + lo + take, w.begin());
        std::copy(acc.begin(), acc.end(), w.begin() + std::ptrdiff_t(n));
        ctx.reduce(t.data(), w.data(), 2 * n);
        ctx.mul(acc.data(), t.data(), ctx.rr());
    }
    std::copy(acc.begin(), acc.end(), r);
}

// Whether the radix-2^52 contexts of n (and of p and q) serve now.
bool use52_n(const RsaPrepared& pk) {
    return pk.fn && Mont52::usable(pk.nn);
}
bool use52_crt(const RsaPrepared& pk) {
    return use52_n(pk) && pk.fp && pk.fq && Mont52::usable(pk.np) && Mont52::usable(pk.nq);
}

// r = a * b mod n (r may alias a or b).
void mul_mod_n(const RsaPrepared& pk, limb* r, const limb* a, const limb* b) {
    if (use52_n(pk)) {
        pk.fn->mul_mod(r, a, b);
        return;
    }
    Mont c = *pk.mn;
    LimbVec t(pk.nn);
    c.mul(t.data(), a, b);       // a b / R
    c.mul(r, t.data(), c.rr());  // a b
}

// y = x^e mod n (public exponent, variable time in e).
void pow_e(const RsaPrepared& pk, limb* y, const limb* x) {
    if (use52_n(pk)) {
        pk.fn->exp_vartime(y, x, pk.e.data(), pk.ne);
        return;
    }
    Mont c = *pk.mn;
    LimbVec ym(pk.nn);
    velt::bigd::mont_exp(c, ym.data(), x, pk.e.data(), pk.ne);
    c.from(y, ym.data());
}

}  // namespace

std::vector<RsaPrepared::Region> RsaPrepared::regions() {
    std::vector<Region> out;
    for (LimbVec* v : {&n, &e, &p, &q, &dP, &dQ, &qi})
        if (!v->empty()) out.push_back({v->data(), v->size() * sizeof(limb), v != &n && v != &e});
    for (Mont* m : {mp.get(), mq.get()}) {
        if (!m) continue;
        out.push_back({const_cast<limb*>(m->modulus()), m->size() * sizeof(limb), true});
        out.push_back({const_cast<limb*>(m->rr()), m->size() * sizeof(limb), true});
    }
    return out;
}

void RsaPrepared::wipe() {
    for (const Region& r : regions()) ewipe(r.p, r.n);
    mn.reset();
    mp.reset();
    mq.reset();
    fn.reset();
    fp.reset();
    fq.reset();
    pub_ready = crt_ready = false;
}

long rsaPreparePublic(RsaPrepared& pk, const RsaKey* key) {
    if (!key) return NULL_ERROR;
    pk.pub_ready = pk.crt_ready = false;
    if (!(key->flags & kRsaHasPublic) || !bdIsOdd(key->n) || bdShortCmp(key->n, 3) < 0) return 0;
    pk.nn = limb_count(key->n);
    pk.ne = limb_count(key->e);
    to_limbs(pk.n, pk.nn, key->n);
    to_limbs(pk.e, pk.ne, key->e);
    pk.mn = std::make_unique<Mont>(pk.n.data(), pk.nn);
    // R^2 for radix 2^52 from the 64-bit context's, without a division.
    if (Mont52::supported(pk.nn)) pk.fn = std::make_unique<Mont52>(*pk.mn);
    pk.pub_ready = true;
    return 0;
}

long rsaPreparePrivate(RsaPrepared& pk, const RsaKey* key) {
    long rc = rsaPreparePublic(pk, key);
    if (rc != 0) return rc;
    if (!pk.pub_ready || (key->flags & (kRsaHasPrivate | kRsaHasCrt)) != (kRsaHasPrivate | kRsaHasCrt))
        return 0;
    const size_t np = secret_limb_count(key->p), nq = secret_limb_count(key->q);
    if (np == 0 || nq == 0) return 0;
    // Oversized private values (only from odd imports) are refused; the
    // digit counts are read first so a normal key's values are not scanned.
    auto too_long = [](const BdNumber* b, size_t nl) { return b->ndigits > 2 * nl && limb_count(b) > nl; };
    if (too_long(key->dP, np) || too_long(key->dQ, nq) || too_long(key->qInv, std::max(np, nq)))
        return BAD_PARAM_ERROR;
    pk.np = np;
    pk.nq = nq;
    to_limbs(pk.p, np, key->p);
    to_limbs(pk.q, nq, key->q);
    to_limbs(pk.dP, np, key->dP);
    to_limbs(pk.dQ, nq, key->dQ);
    // Odd moduli (public for any valid key).
    bool odd = (pk.p[0] & pk.q[0] & 1) != 0;
    rsa_declassify(&odd, sizeof odd);
    if (!odd) return BAD_PARAM_ERROR;
    pk.mp = std::make_unique<Mont>(pk.p.data(), np, true);
    pk.mq = std::make_unique<Mont>(pk.q.data(), nq, true);
    LimbVec qinv_w;
    to_limbs(qinv_w, std::max(np, nq), key->qInv);
    pk.qi.assign(np, 0);
    reduce_by(*pk.mp, pk.qi.data(), qinv_w.data(), qinv_w.size(), qinv_w.size());
    if (pk.fn && Mont52::supported(np) && Mont52::supported(nq)) {
        pk.fp = std::make_unique<Mont52>(*pk.mp);
        pk.fq = std::make_unique<Mont52>(*pk.mq);
    }
    pk.crt_ready = true;
    return 0;
}

// Candidates for r are drawn at n's bit length and kept when below n
// (rejection sampling: uniform, at most two draws on average); the
// comparison and the inversion are constant time, and only their
// accept/reject outcomes are public. A failed draw from the generator is
// reported, never replaced by a fixed value.
long rsaBlindingDraw(const RsaPrepared& pk, limb* a, limb* ai, const unsigned char* extra, size_t extra_len) {
    const size_t nn = pk.nn;
    const limb* n = pk.n.data();
    const size_t bytes = 8 * nn;
    const size_t top_bits = 64 - size_t(__builtin_clzll(n[nn - 1]));
    const limb top_mask = top_bits == 64 ? ~limb(0) : (limb(1) << top_bits) - 1;
    LimbVec r(nn), diff(nn);
    for (int attempt = 0; attempt < 128; ++attempt) {
        if (rngFunc(reinterpret_cast<unsigned char*>(r.data()), long(bytes), extra, long(extra_len)) != 0) {
            eprintf("Random generator failed");
            return KEYGEN_FAILED_ERROR;
        }
        r[nn - 1] &= top_mask;
        limb below = limb(0) - velt::bigd::sub_n(diff.data(), r.data(), n, nn);  // all-ones when r < n
        limb ok = below & velt::bigd::modinv_odd_ct(ai, r.data(), n, nn);        // 0 and non-invertible fail
        bool accepted = ok != 0;
        rsa_declassify(&accepted, sizeof accepted);
        if (accepted) {
            pow_e(pk, a, r.data());
            return 0;
        }
    }
    return KEYGEN_FAILED_ERROR;
}

void rsaBlindingSquare(const RsaPrepared& pk, limb* a, limb* ai) {
    mul_mod_n(pk, a, a, a);
    mul_mod_n(pk, ai, ai, ai);
}

long rsaPreparedPublicRaw(const RsaPrepared& pk, unsigned char* out, size_t k, const unsigned char* in,
                          size_t inlen) {
    const size_t nn = pk.nn;
    LimbVec x(nn), y(nn);
    if (!block_to_limbs(x.data(), nn, in, inlen) || velt::bigd::cmp(x.data(), pk.n.data(), nn) >= 0)
        return OUT_OF_RANGE_ERROR;
    // On limbs with one Montgomery context: no conversions between the
    // steps and no table for the short public exponent.
    pow_e(pk, y.data(), x.data());
    limbs_to_block(out, k, y.data(), nn);
    return 0;
}

// The private operation on limbs with the Chinese remainder theorem,
// blinded and checked with e. The reductions by p and q are Montgomery
// steps (branch-free) for keys whose primes have the same limb count.
long rsaPreparedPrivateRaw(const RsaPrepared& pk, unsigned char* out, size_t k, const unsigned char* in,
                           size_t inlen, const limb* a, const limb* ai) {
    const size_t nn = pk.nn, np = pk.np, nq = pk.nq;
    LimbVec x(nn);
    if (!block_to_limbs(x.data(), nn, in, inlen) || velt::bigd::cmp(x.data(), pk.n.data(), nn) >= 0)
        return OUT_OF_RANGE_ERROR;
    // Private copies of the 64-bit contexts (their products write scratch).
    Mont mp = *pk.mp, mq = *pk.mq;
    const bool fast = use52_crt(pk);

    // xb = x * r^e mod n.
    LimbVec xb(nn);
    mul_mod_n(pk, xb.data(), x.data(), a);

    // m1 = xb^dP mod p, m2 = xb^dQ mod q: with AVX-512 IFMA in radix 2^52,
    // the two halves interleaved; otherwise on the 64-bit contexts.
    LimbVec xp(np), xq(nq), m1(np), m2(nq);
    reduce_by(mp, xp.data(), xb.data(), nn, nq);
    reduce_by(mq, xq.data(), xb.data(), nn, np);
    if (fast) {
        Mont52::exp_consttime_x2(*pk.fp, m1.data(), xp.data(), pk.dP.data(), np, *pk.fq, m2.data(), xq.data(),
                                 pk.dQ.data(), nq);
    } else {
        velt::bigd::mont_exp_consttime(mp, m1.data(), xp.data(), pk.dP.data(), np);
        velt::bigd::mont_exp_consttime(mq, m2.data(), xq.data(), pk.dQ.data(), nq);
    }

    // h = qInv (m1 - m2) mod p, with m2 reduced mod p first so the order of
    // the primes does not matter; the difference is corrected by a masked
    // addition of p.
    LimbVec m2p(np), t(np), h(np), padd(np);
    reduce_by(mp, m2p.data(), m2.data(), nq, nq);
    limb borrow = velt::bigd::sub_n(t.data(), m1.data(), m2p.data(), np);
    limb mask = limb(0) - borrow;
    for (size_t i = 0; i < np; ++i) padd[i] = pk.p[i] & mask;
    velt::bigd::add_n(t.data(), t.data(), padd.data(), np);
    // (t * qi / R) * R^2 / R = t * qi mod p.
    mp.mul(h.data(), t.data(), pk.qi.data());
    mp.mul(h.data(), h.data(), mp.rr());

    // y = m2 + h q (below p q = n). The carry runs through every top limb
    // and the checks below accumulate into one flag, so nothing here
    // branches on the (blinded) values.
    LimbVec y(std::max(np + nq, nn) + 1, 0);
    velt::bigd::mul(y.data(), h.data(), np, pk.q.data(), nq);
    limb c = velt::bigd::add_n(y.data(), y.data(), m2.data(), nq);
    for (size_t i = nq; i < y.size(); ++i) {
        velt::bigd::u128 s = velt::bigd::u128(y[i]) + c;
        y[i] = limb(s);
        c = limb(s >> 64);
    }
    limb bad = 0;
    for (size_t i = nn; i < y.size(); ++i) bad |= y[i];
    // y < n, else the operation went wrong.
    LimbVec tmp(nn);
    bad |= ~(limb(0) - velt::bigd::sub_n(tmp.data(), y.data(), pk.n.data(), nn));

    // A fault in the private values (or in the computation) must not release
    // a result that would leak a factor of n: check y^e = xb mod n first.
    LimbVec v(nn);
    pow_e(pk, v.data(), y.data());
    for (size_t i = 0; i < nn; ++i) bad |= v[i] ^ xb[i];
    // Whether the check failed is public (a fault, not a key bit).
    bool failed = velt::ct::mask_nonzero(bad) != 0;
    rsa_declassify(&failed, sizeof failed);
    if (failed) {
        eprintf("RSA private result failed the public-exponent check");
        return TEST_FAILED_ERROR;
    }
    // out = y * r^-1 mod n.
    LimbVec res(nn);
    mul_mod_n(pk, res.data(), y.data(), ai);
    limbs_to_block(out, k, res.data(), nn);
    return 0;
}
