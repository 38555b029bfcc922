// The RSA key record and the raw operations of RFC 8017 (RSAEP, RSADP) on
// key records: the limb form on a key prepared for the one call (see
// rsa_prep.cpp), else the digit layer; with CRT completion.
#include <algorithm>
#include <cstring>
#include <memory>

#include "frame/error.h"
#include "rng/rng.h"
#include "rsa/rsa.h"
#include "rsa/rsa_int.h"
#include "rsa/rsa_prep.h"
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

long rsaPublicRaw(const RsaKey* key, unsigned char* out, size_t* outlen, const unsigned char* in,
                  size_t inlen) {
    if (!key) return NULL_ERROR;
    if (!(key->flags & kRsaHasPublic)) return BAD_PARAM_ERROR;
    Bd x, y;
    bdConvFromOctets(x, in, inlen);
    if (bdCompare(x, key->n) >= 0) return OUT_OF_RANGE_ERROR;
    size_t k = rsaBlockLength(key);
    RsaPrepared pk;
    long rc = rsaPreparePublic(pk, key);
    if (rc != 0) return rc;
    if (pk.pub_ready) {
        rc = rsaPreparedPublicRaw(pk, out, k, in, inlen);
        if (rc != 0) return rc;
    } else {
        bdModExp(y, x, key->e, key->n);
        bdConvToOctets(y, out, k);
    }
    if (outlen) *outlen = k;
    return 0;
}

namespace {

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

    RsaPrepared pk;
    long rc = rsaPreparePrivate(pk, key);
    if (rc != 0) return rc;
    if (pk.crt_ready) {
        // A pair of its own for this one operation.
        velt::bigd::LimbVec a(pk.nn), ai(pk.nn);
        rc = rsaBlindingDraw(pk, a.data(), ai.data(), nullptr, 0);
        if (rc == 0) rc = rsaPreparedPrivateRaw(pk, out, k, in, inlen, a.data(), ai.data());
        if (rc != 0) return rc;
        if (outlen) *outlen = k;
        return 0;
    }

    Bd rE, rInv, xb, y;
    rc = make_blinding(key, rE, rInv);
    if (rc != 0) return rc;
    bdModMult(xb, x, rE, key->n);
    bdModExp_ct(y, xb, key->d, key->n);
    // y = x^d r mod n is blinded by the uniform r: the steps below may
    // branch on it without revealing anything about d.
    rsa_declassify(y.b->digits, y.b->allocdigits * sizeof(BdDigit));

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
