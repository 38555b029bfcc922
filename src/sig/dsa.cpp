// DSA signature verification (FIPS 186-4 section 4.7). The library makes no
// DSA signatures; certificates and CMS signers use this to check them.
#include "frame/error.h"
#include "sig/sig.h"

namespace velt::sig {

namespace {

// Frees every number on scope exit (bdFree wipes).
struct Nums {
    BdNumber* v[8] = {};
    Nums() {
        for (auto& b : v) b = bdNew();
    }
    ~Nums() {
        for (auto& b : v) bdFree(&b);
    }
    bool ok() const {
        for (auto* b : v)
            if (!b) return false;
        return true;
    }
};

bool q_bits_allowed(size_t bits) {
    return bits == 160 || bits == 224 || bits == 256;
}

}  // namespace

DsaKey* dsaNew() {
    auto* k = new (std::nothrow) DsaKey{};
    if (!k) return nullptr;
    k->p = bdNew();
    k->q = bdNew();
    k->g = bdNew();
    k->y = bdNew();
    k->x = bdNew();
    if (!k->p || !k->q || !k->g || !k->y || !k->x) dsaFree(&k);
    return k;
}

void dsaFree(DsaKey** key) {
    if (!key || !*key) return;
    DsaKey* k = *key;
    bdFree(&k->p);
    bdFree(&k->q);
    bdFree(&k->g);
    bdFree(&k->y);
    bdFree(&k->x);
    delete k;
    *key = nullptr;
}

long dsaSetParams(DsaKey* key, const uint8_t* p, size_t plen, const uint8_t* q, size_t qlen, const uint8_t* g,
                  size_t glen) {
    if (!key || !p || !q || !g) return NULL_ERROR;
    bdConvFromOctets(key->p, p, plen);
    bdConvFromOctets(key->q, q, qlen);
    bdConvFromOctets(key->g, g, glen);
    key->flags &= ~(kDsaHasParams | kDsaHasPublic);
    if (bdShortCmp(key->p, 3) < 0 || bdIsEven(key->p) || bdIsEven(key->q) ||
        !q_bits_allowed(bdBitLength(key->q)) || bdShortCmp(key->g, 1) <= 0 || bdCompare(key->g, key->p) >= 0)
        return INVALID_DATA_ERROR;
    key->pbits = bdBitLength(key->p);
    key->flags |= kDsaHasParams;
    return 0;
}

long dsaSetPublicKey(DsaKey* key, const uint8_t* y, size_t ylen) {
    if (!key || !y) return NULL_ERROR;
    bdConvFromOctets(key->y, y, ylen);
    key->flags &= ~kDsaHasPublic;
    if (!(key->flags & kDsaHasParams) || bdShortCmp(key->y, 1) <= 0 || bdCompare(key->y, key->p) >= 0)
        return INVALID_DATA_ERROR;
    key->flags |= kDsaHasPublic;
    return 0;
}

long dsaGetPublicKeyOctets(const DsaKey* key, std::vector<uint8_t>& p, std::vector<uint8_t>& q,
                           std::vector<uint8_t>& g, std::vector<uint8_t>& y) {
    if (!key || (key->flags & (kDsaHasParams | kDsaHasPublic)) != (kDsaHasParams | kDsaHasPublic))
        return BAD_FORMAT_ERROR;
    auto octets = [](const BdNumber* b, std::vector<uint8_t>& out) {
        SecureBytes s = rsaNumberOctets(b);
        out.assign(s.begin(), s.end());
    };
    octets(key->p, p);
    octets(key->q, q);
    octets(key->g, g);
    octets(key->y, y);
    return 0;
}

int dsaVerify(const DsaKey* key, const uint8_t* digest, size_t dlen, const uint8_t* r, size_t rlen,
              const uint8_t* s, size_t slen) {
    if (!key || !digest || !r || !s) return 0;
    if ((key->flags & (kDsaHasParams | kDsaHasPublic)) != (kDsaHasParams | kDsaHasPublic)) return 0;
    const size_t qbits = bdBitLength(key->q);
    const size_t qbytes = (qbits + 7) / 8;
    if (rlen == 0 || slen == 0 || rlen > qbytes || slen > qbytes) return 0;
    Nums n;
    if (!n.ok()) return 0;
    BdNumber *R = n.v[0], *S = n.v[1], *H = n.v[2], *w = n.v[3], *u1 = n.v[4], *u2 = n.v[5], *v = n.v[6],
             *t = n.v[7];
    bdConvFromOctets(R, r, rlen);
    bdConvFromOctets(S, s, slen);
    // 0 < r < q and 0 < s < q: s = q would have no inverse, and r = q or
    // larger can never equal v.
    if (bdIsZero(R) || bdIsZero(S) || bdCompare(R, key->q) >= 0 || bdCompare(S, key->q) >= 0) return 0;
    // z = the leftmost min(N, outlen) bits of the digest.
    bdConvFromOctets(H, digest, dlen);
    if (dlen * 8 > qbits) bdShiftRight(H, H, dlen * 8 - qbits);
    if (bdModInv(w, S, key->q) != 0) return 0;
    bdModMult(u1, H, w, key->q);
    bdModMult(u2, R, w, key->q);
    bdModExp(t, key->g, u1, key->p);
    bdModExp(w, key->y, u2, key->p);
    bdModMult(H, t, w, key->p);
    bdModulo(v, H, key->q);
    return bdIsEqual_ct(v, R) ? 1 : 0;
}

}  // namespace velt::sig
