// The RSA key record and the raw operations of RFC 8017 (RSAEP, RSADP with
// the Chinese-remainder form), with CRT completion.
#include <algorithm>
#include <cstring>
#include <memory>

#include "bigd/limbs.h"
#include "bigd/modinv.h"
#include "bigd/mont52.h"
#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#define VELT_HAVE_MEMCHECK 1
#endif
#include "frame/error.h"
#include "rng/rng.h"
#include "rsa/rsa.h"
#include "rsa/rsa_int.h"
#include "util/ct.h"

using velt::SecureBytes;

RsaKey* rsaNew() {
    RsaKey* k = static_cast<RsaKey*>(ecalloc(1, sizeof(RsaKey)));
    k->n = bdNew();
    k->e = bdNew();
    k->d = bdNew();
    k->p = bdNew();
    k->q = bdNew();
    k->dP = bdNew();
    k->dQ = bdNew();
    k->qInv = bdNew();
    return k;
}

void rsaFree(RsaKey** key) {
    if (!key || !*key) return;
    RsaKey* k = *key;
    bdFree(&k->n);
    bdFree(&k->e);
    bdFree(&k->d);
    bdFree(&k->p);
    bdFree(&k->q);
    bdFree(&k->dP);
    bdFree(&k->dQ);
    bdFree(&k->qInv);
    ewipe(k, sizeof *k);
    efree_mem(k);
    *key = nullptr;
}

long rsaSetPublicKey(RsaKey* key, const unsigned char* n, size_t nlen, const unsigned char* e, size_t elen) {
    if (!key) return NULL_ERROR;
    bdConvFromOctets(key->n, n, nlen);
    bdConvFromOctets(key->e, e, elen);
    key->bits = bdBitLength(key->n);
    key->flags |= kRsaHasPublic;
    return 0;
}

long rsaSetPrivateKey(RsaKey* key, const unsigned char* n, size_t nlen, const unsigned char* e, size_t elen,
                      const unsigned char* d, size_t dlen) {
    if (!key) return NULL_ERROR;
    rsaSetPublicKey(key, n, nlen, e, elen);
    bdConvFromOctets(key->d, d, dlen);
    key->flags |= kRsaHasPublic | kRsaHasPrivate;
    return 0;
}

long rsaSetPrivateKeyEx(RsaKey* key, const unsigned char* n, size_t nlen, const unsigned char* e, size_t elen,
                        const unsigned char* d, size_t dlen, const unsigned char* p, size_t plen,
                        const unsigned char* q, size_t qlen, const unsigned char* dP, size_t dPlen,
                        const unsigned char* dQ, size_t dQlen, const unsigned char* qInv, size_t qInvlen) {
    if (!key) return NULL_ERROR;
    rsaSetPrivateKey(key, n, nlen, e, elen, d, dlen);
    bdConvFromOctets(key->p, p, plen);
    bdConvFromOctets(key->q, q, qlen);
    bdConvFromOctets(key->dP, dP, dPlen);
    bdConvFromOctets(key->dQ, dQ, dQlen);
    bdConvFromOctets(key->qInv, qInv, qInvlen);
    key->flags |= kRsaHasCrt;
    return 0;
}

namespace {

void get_octets(const BdNumber* b, unsigned char* buf, size_t* len) {
    if (!len) return;
    *len = bdConvToOctets(b, buf, buf ? *len : 0);
}

}  // namespace

long rsaGetPublicKeyOctets(const RsaKey* key, unsigned char* n, size_t* nlen, unsigned char* e,
                           size_t* elen) {
    if (!key) return NULL_ERROR;
    get_octets(key->n, n, nlen);
    get_octets(key->e, e, elen);
    return 0;
}

long rsaGetPrivateKeyOctets(const RsaKey* key, unsigned char* n, size_t* nlen, unsigned char* e, size_t* elen,
                            unsigned char* d, size_t* dlen, unsigned char* p, size_t* plen, unsigned char* q,
                            size_t* qlen, unsigned char* dP, size_t* dPlen, unsigned char* dQ, size_t* dQlen,
                            unsigned char* qInv, size_t* qInvlen) {
    if (!key) return NULL_ERROR;
    get_octets(key->n, n, nlen);
    get_octets(key->e, e, elen);
    get_octets(key->d, d, dlen);
    get_octets(key->p, p, plen);
    get_octets(key->q, q, qlen);
    get_octets(key->dP, dP, dPlen);
    get_octets(key->dQ, dQ, dQlen);
    get_octets(key->qInv, qInv, qInvlen);
    return 0;
}

size_t rsaBitLength(const RsaKey* key) {
    return key ? key->bits : 0;
}
size_t rsaBlockLength(const RsaKey* key) {
    return key ? (key->bits + 7) / 8 : 0;
}

SecureBytes rsaNumberOctets(const BdNumber* b) {
    size_t n = bdConvToOctets(b, nullptr, 0);
    if (n == 0) n = 1;
    SecureBytes v(n);
    bdConvToOctets(b, v.data(), n);
    return v;
}

namespace {

// The low k octets of nl little-endian limbs, big-endian (the value fits).
void limbs_to_block(unsigned char* out, size_t k, const uint64_t* y, size_t nl) {
    for (size_t i = 0; i < k; ++i) {
        size_t bit = 8 * i;  // octet i from the end
        out[k - 1 - i] = bit / 64 < nl ? uint8_t(y[bit / 64] >> (bit % 64)) : 0;
    }
}

}  // namespace

long rsaPublicRaw(const RsaKey* key, unsigned char* out, size_t* outlen, const unsigned char* in,
                  size_t inlen) {
    if (!key) return NULL_ERROR;
    if (!(key->flags & kRsaHasPublic)) return BAD_PARAM_ERROR;
    Bd x, y;
    bdConvFromOctets(x, in, inlen);
    if (bdCompare(x, key->n) >= 0) return OUT_OF_RANGE_ERROR;
    size_t k = rsaBlockLength(key);
    if (bdIsOdd(key->n) && bdShortCmp(key->n, 3) >= 0) {
        // On limbs with one Montgomery context: no conversions between the
        // steps and no table for the short public exponent.
        using velt::bigd::limb;
        const size_t nn = (std::max<size_t>(mpSizeof(key->n->digits, key->n->ndigits), 1) + 1) / 2;
        const size_t ne = (std::max<size_t>(mpSizeof(key->e->digits, key->e->ndigits), 1) + 1) / 2;
        velt::bigd::LimbVec nl(nn), xl(nn), el(ne), ym(nn), yl(nn);
        velt::bigd::digits_to_limbs(nl.data(), nn, key->n->digits, std::min(key->n->ndigits, 2 * nn));
        velt::bigd::digits_to_limbs(xl.data(), nn, x.b->digits, std::min(x.b->ndigits, 2 * nn));
        velt::bigd::digits_to_limbs(el.data(), ne, key->e->digits, std::min(key->e->ndigits, 2 * ne));
        if (velt::bigd::Mont52::usable(nn)) {
            velt::bigd::Mont52(nl.data(), nn).exp_vartime(yl.data(), xl.data(), el.data(), ne);
        } else {
            velt::bigd::Mont mn(nl.data(), nn);
            velt::bigd::mont_exp(mn, ym.data(), xl.data(), el.data(), ne);
            mn.from(yl.data(), ym.data());
        }
        limbs_to_block(out, k, yl.data(), nn);
    } else {
        bdModExp(y, x, key->e, key->n);
        bdConvToOctets(y, out, k);
    }
    if (outlen) *outlen = k;
    return 0;
}

namespace {

using velt::bigd::limb;

// Marks a value derived from secrets as public for memcheck's
// constant-time check (a no-op outside valgrind): used only for outcomes
// that are public by design.
inline void declassify([[maybe_unused]] const void* p, [[maybe_unused]] size_t n) {
#ifdef VELT_HAVE_MEMCHECK
    VALGRIND_MAKE_MEM_DEFINED(p, n);
#endif
}
using velt::bigd::LimbVec;
using velt::bigd::Mont;
using velt::bigd::Mont52;

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
    declassify(&count, sizeof count);
    return (count + 1) / 2;
}

// b's value as exactly nl limbs (zero padded; b must fit).
void to_limbs(limb* out, size_t nl, const BdNumber* b) {
    velt::bigd::digits_to_limbs(out, nl, b->digits, std::min(b->ndigits, 2 * nl));
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

// Draws the blinding factor: r uniform in [1, n) and invertible, with
// rInv = r^-1 mod n (n of nn limbs). Candidates are drawn at n's bit length
// and kept when below n (rejection sampling: uniform, at most two draws on
// average); the comparison and the inversion are constant time, and only
// their accept/reject outcomes are public. A failed draw from the
// generator is reported, never replaced by a fixed value.
long draw_blinding(const limb* n, size_t nn, limb* r, limb* rinv) {
    const size_t bytes = 8 * nn;
    const size_t top_bits = 64 - size_t(__builtin_clzll(n[nn - 1]));
    const limb top_mask = top_bits == 64 ? ~limb(0) : (limb(1) << top_bits) - 1;
    LimbVec diff(nn);
    for (int attempt = 0; attempt < 128; ++attempt) {
        if (rngNonce(reinterpret_cast<unsigned char*>(r), long(bytes)) != 0) {
            std::memset(r, 0, bytes);
            eprintf("Random generator failed");
            return KEYGEN_FAILED_ERROR;
        }
        r[nn - 1] &= top_mask;
        limb below = limb(0) - velt::bigd::sub_n(diff.data(), r, n, nn);  // all-ones when r < n
        limb ok = below & velt::bigd::modinv_odd_ct(rinv, r, n, nn);      // 0 and non-invertible values fail
        bool accepted = ok != 0;
        declassify(&accepted, sizeof accepted);
        if (accepted) return 0;
    }
    return KEYGEN_FAILED_ERROR;
}

// The private operation on limbs with the Chinese remainder theorem,
// blinded (RFC 8017 base blinding) and checked with e. One Montgomery
// context per modulus serves the reductions and the exponentiations; the
// reductions by p and q are Montgomery steps (branch-free) for keys whose
// primes have the same limb count.
long private_crt(const RsaKey* key, const limb* x, size_t nn, size_t np, size_t nq, limb* out) {
    LimbVec n(nn), e(nn), p(np), q(nq), dP(np), dQ(nq), qinv(np);
    to_limbs(n.data(), nn, key->n);
    size_t ne = limb_count(key->e);
    e.resize(ne);
    to_limbs(e.data(), ne, key->e);
    to_limbs(p.data(), np, key->p);
    to_limbs(q.data(), nq, key->q);
    // Oversized private values (only from odd imports) are refused; the
    // digit counts are read first so a normal key's values are not scanned.
    auto too_long = [](const BdNumber* b, size_t nl) { return b->ndigits > 2 * nl && limb_count(b) > nl; };
    if (too_long(key->dP, np) || too_long(key->dQ, nq) || too_long(key->qInv, std::max(np, nq)))
        return BAD_PARAM_ERROR;
    to_limbs(dP.data(), np, key->dP);
    to_limbs(dQ.data(), nq, key->dQ);
    LimbVec qinv_w(std::max(np, nq));
    to_limbs(qinv_w.data(), qinv_w.size(), key->qInv);
    // Odd moduli (public for any valid key).
    bool odd = (n[0] & p[0] & q[0] & 1) != 0;
    declassify(&odd, sizeof odd);
    if (!odd) return BAD_PARAM_ERROR;

    Mont mp(p.data(), np, true), mq(q.data(), nq, true);
    LimbVec r(nn), rinv(nn);
    long rc = draw_blinding(n.data(), nn, r.data(), rinv.data());
    if (rc != 0) return rc;

    // With AVX-512 IFMA the exponentiations run in radix 2^52, the two
    // halves interleaved; otherwise on the 64-bit contexts.
    std::unique_ptr<Mont52> fn, fp, fq;
    std::unique_ptr<Mont> mn_holder;
    if (Mont52::usable(nn) && Mont52::usable(np) && Mont52::usable(nq)) {
        fn = std::make_unique<Mont52>(n.data(), nn);
        fp = std::make_unique<Mont52>(mp);
        fq = std::make_unique<Mont52>(mq);
    } else {
        mn_holder = std::make_unique<Mont>(n.data(), nn);
    }

    // xb = x * r^e mod n.
    LimbVec xb(nn);
    if (fn) {
        LimbVec re(nn);
        fn->exp_vartime(re.data(), r.data(), e.data(), ne);
        fn->mul_mod(xb.data(), x, re.data());
    } else {
        // r^e is left in Montgomery form, so one product gives xb in
        // ordinary form.
        LimbVec re_m(nn);
        velt::bigd::mont_exp(*mn_holder, re_m.data(), r.data(), e.data(), ne);
        mn_holder->mul(xb.data(), x, re_m.data());
    }

    // m1 = xb^dP mod p, m2 = xb^dQ mod q.
    LimbVec xp(np), xq(nq), m1(np), m2(nq);
    reduce_by(mp, xp.data(), xb.data(), nn, nq);
    reduce_by(mq, xq.data(), xb.data(), nn, np);
    if (fn) {
        Mont52::exp_consttime_x2(*fp, m1.data(), xp.data(), dP.data(), np, *fq, m2.data(), xq.data(),
                                 dQ.data(), nq);
    } else {
        velt::bigd::mont_exp_consttime(mp, m1.data(), xp.data(), dP.data(), np);
        velt::bigd::mont_exp_consttime(mq, m2.data(), xq.data(), dQ.data(), nq);
    }

    // h = qInv (m1 - m2) mod p, with m2 reduced mod p first so the order of
    // the primes does not matter; the difference is corrected by a masked
    // addition of p.
    LimbVec m2p(np), t(np), qi(np), h(np);
    reduce_by(mp, m2p.data(), m2.data(), nq, nq);
    limb borrow = velt::bigd::sub_n(t.data(), m1.data(), m2p.data(), np);
    LimbVec padd(np);
    limb mask = limb(0) - borrow;
    for (size_t i = 0; i < np; ++i) padd[i] = p[i] & mask;
    velt::bigd::add_n(t.data(), t.data(), padd.data(), np);
    reduce_by(mp, qi.data(), qinv_w.data(), qinv_w.size(), qinv_w.size());
    // (t * qi / R) * R^2 / R = t * qi mod p.
    mp.mul(h.data(), t.data(), qi.data());
    mp.mul(h.data(), h.data(), mp.rr());

    // y = m2 + h q (below p q = n). The carry runs through every top limb
    // and the checks below accumulate into one flag, so nothing here
    // branches on the (blinded) values.
    LimbVec y(std::max(np + nq, nn) + 1, 0);
    velt::bigd::mul(y.data(), h.data(), np, q.data(), nq);
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
    bad |= ~(limb(0) - velt::bigd::sub_n(tmp.data(), y.data(), n.data(), nn));

    // A fault in the private values (or in the computation) must not release
    // a result that would leak a factor of n: check y^e = xb mod n first.
    LimbVec v(nn);
    if (fn) {
        fn->exp_vartime(v.data(), y.data(), e.data(), ne);
    } else {
        LimbVec vm(nn);
        velt::bigd::mont_exp(*mn_holder, vm.data(), y.data(), e.data(), ne);
        mn_holder->from(v.data(), vm.data());
    }
    for (size_t i = 0; i < nn; ++i) bad |= v[i] ^ xb[i];
    // Whether the check failed is public (a fault, not a key bit).
    bool failed = velt::ct::mask_nonzero(bad) != 0;
    declassify(&failed, sizeof failed);
    if (failed) {
        eprintf("RSA private result failed the public-exponent check");
        return TEST_FAILED_ERROR;
    }
    // out = y * r^-1 mod n.
    if (fn) {
        fn->mul_mod(out, y.data(), rinv.data());
        return 0;
    }
    LimbVec ri_m(nn);
    mn_holder->to(ri_m.data(), rinv.data());
    mn_holder->mul(out, y.data(), ri_m.data());
    return 0;
}

// A blinding pair for RFC 8017's recommended base blinding: r uniform in
// [1, n) with r invertible, rE = r^e mod n and rInv = r^-1 mod n. A failed
// draw from the generator is reported, never replaced by a fixed value.
long make_blinding(const RsaKey* key, BdNumber* rE, BdNumber* rInv) {
    size_t k = rsaBlockLength(key);
    SecureBytes buf(k + 16);
    Bd r, t;
    for (int attempt = 0; attempt < 16; ++attempt) {
        if (rngNonce(buf.data(), long(buf.size())) != 0) {
            eprintf("Random generator failed");
            return KEYGEN_FAILED_ERROR;
        }
        // k + 16 octets reduced mod n: the bias is below 2^-128.
        bdConvFromOctets(t, buf.data(), buf.size());
        bdModulo(r, t, key->n);
        if (bdIsZero(r)) continue;
        if (bdModInv(rInv, r, key->n) != 0) continue;
        bdModExp(rE, r, key->e, key->n);
        return 0;
    }
    return KEYGEN_FAILED_ERROR;
}

}  // namespace

long rsaPrivateRaw(const RsaKey* key, unsigned char* out, size_t* outlen, const unsigned char* in,
                   size_t inlen) {
    if (!key) return NULL_ERROR;
    if (!(key->flags & kRsaHasPrivate)) return BAD_PARAM_ERROR;
    Bd x;
    bdConvFromOctets(x, in, inlen);
    if (bdCompare(x, key->n) >= 0) return OUT_OF_RANGE_ERROR;
    if (bdIsZero(key->e) || bdIsZero(key->n)) return BAD_PARAM_ERROR;
    size_t k = rsaBlockLength(key);

    const size_t np = secret_limb_count(key->p), nq = secret_limb_count(key->q);
    if ((key->flags & kRsaHasCrt) && bdIsOdd(key->n) && np > 0 && nq > 0) {
        const size_t nn = limb_count(key->n);
        LimbVec xl(nn), yl(nn);
        to_limbs(xl.data(), nn, x);
        long rc = private_crt(key, xl.data(), nn, np, nq, yl.data());
        if (rc != 0) return rc;
        limbs_to_block(out, k, yl.data(), nn);
        if (outlen) *outlen = k;
        return 0;
    }

    Bd rE, rInv, xb, y;
    long rc = make_blinding(key, rE, rInv);
    if (rc != 0) return rc;
    bdModMult(xb, x, rE, key->n);
    bdModExp_ct(y, xb, key->d, key->n);
    // y = x^d r mod n is blinded by the uniform r: the steps below may
    // branch on it without revealing anything about d.
    declassify(y.b->digits, y.b->allocdigits * sizeof(BdDigit));

    // A fault in the private values (or in the computation) must not release
    // a result that would leak a factor of n: check y^e = xb mod n first.
    Bd v;
    bdModExp(v, y, key->e, key->n);
    if (!bdIsEqual_ct(v, xb)) {
        eprintf("RSA private result failed the public-exponent check");
        return TEST_FAILED_ERROR;
    }
    Bd res;
    bdModMult(res, y, rInv, key->n);
    bdConvToOctets(res, out, k);
    if (outlen) *outlen = k;
    return 0;
}

int rsaComputeCRT(SecureBytes& dP, SecureBytes& dQ, SecureBytes& qInv, const unsigned char* d, size_t dlen,
                  const unsigned char* p, size_t plen, const unsigned char* q, size_t qlen) {
    Bd bd, bp, bq, t, r;
    bdConvFromOctets(bd, d, dlen);
    bdConvFromOctets(bp, p, plen);
    bdConvFromOctets(bq, q, qlen);
    if (bdShortCmp(bd, 2) < 0 || bdShortCmp(bp, 2) < 0 || bdShortCmp(bq, 2) < 0) return -1;
    if (bdCompare(bp, bq) < 0) std::swap(bp.b, bq.b);
    bdShortSub(t, bp, 1);
    bdModulo(r, bd, t);
    dP = rsaNumberOctets(r);
    bdShortSub(t, bq, 1);
    bdModulo(r, bd, t);
    dQ = rsaNumberOctets(r);
    if (bdModInv(r, bq, bp) != 0) return -1;
    qInv = rsaNumberOctets(r);
    return 0;
}
