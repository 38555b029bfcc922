// ECDSA over the prime curves (SEC 1 sections 4.1.3 and 4.1.4), RFC 6979
// deterministic nonces, and the strict DER form of the signature value.
// Signing is constant time in the private scalar and the nonce: k*G goes
// through the fixed-base constant-time multiplication, k^-1 through the
// constant-time Fermat inversion, and the result is judged by masks.
#include <algorithm>
#include <cstring>

#include "frame/error.h"
#include "hash/hash.h"
#include "sig/sig.h"
#include "util/ct.h"

namespace velt::sig {

using ecc::EC_curve;
using ecc::EC_point;
using ecc::kMaxLimbs;

namespace {

// bits2int of RFC 6979 2.3.2: the leftmost orderbits bits of a byte string
// as a number (not reduced).
void bits2int(const EC_curve& c, uint64_t* out, const uint8_t* in, size_t len) {
    const size_t qbits = size_t(c.orderbits);
    const size_t take = std::min(len, (qbits + 7) / 8);
    std::memset(out, 0, kMaxLimbs * sizeof(uint64_t));
    for (size_t i = 0; i < take; i++) {
        size_t pos = take - 1 - i;  // byte index from the least significant end
        out[pos / 8] |= uint64_t(in[i]) << (8 * (pos % 8));
    }
    if (take * 8 > qbits) {
        // Shift right by the excess bits of the last byte taken.
        unsigned sh = unsigned(take * 8 - qbits);
        for (size_t i = 0; i < c.nlimbs; i++) {
            uint64_t hi = (i + 1 < c.nlimbs) ? out[i + 1] : 0;
            out[i] = (out[i] >> sh) | (hi << (64 - sh));
        }
    }
}

uint64_t mask_num_zero(const uint64_t* a, size_t n) {
    uint64_t acc = 0;
    for (size_t i = 0; i < n; i++) acc |= a[i];
    return ct::mask_zero(acc);
}

// Minimal positive INTEGER content of a big-endian value (at least one octet).
void put_integer(std::vector<uint8_t>& out, const uint8_t* v, size_t n) {
    size_t i = 0;
    while (i + 1 < n && v[i] == 0) i++;
    bool pad = (v[i] & 0x80) != 0;
    size_t len = n - i + (pad ? 1 : 0);
    out.push_back(0x02);
    if (len >= 0x80) out.push_back(0x81);
    out.push_back(uint8_t(len));
    if (pad) out.push_back(0);
    out.insert(out.end(), v + i, v + n);
}

// A DER definite length at in[*pos]: minimal short or long form of at most
// two octets. false on any deviation.
bool get_length(const uint8_t* in, size_t len, size_t* pos, size_t* out) {
    if (*pos >= len) return false;
    uint8_t b = in[(*pos)++];
    if (b < 0x80) {
        *out = b;
        return true;
    }
    if (b == 0x81) {
        if (*pos >= len || in[*pos] < 0x80) return false;
        *out = in[(*pos)++];
        return true;
    }
    if (b == 0x82) {
        if (*pos + 2 > len || in[*pos] == 0) return false;
        *out = (size_t(in[*pos]) << 8) | in[*pos + 1];
        *pos += 2;
        return *out >= 0x100;
    }
    return false;
}

// One minimal positive INTEGER right-aligned into nbytes octets.
bool get_integer(const uint8_t* in, size_t len, size_t* pos, uint8_t* out, size_t nbytes) {
    if (*pos >= len || in[(*pos)++] != 0x02) return false;
    size_t n;
    if (!get_length(in, len, pos, &n) || n == 0 || n > len - *pos) return false;
    const uint8_t* v = in + *pos;
    *pos += n;
    if (v[0] & 0x80) return false;                           // negative
    if (n > 1 && v[0] == 0 && !(v[1] & 0x80)) return false;  // not minimal
    if (v[0] == 0) {
        v++;
        n--;
    }
    if (n > nbytes) return false;
    std::memset(out, 0, nbytes);
    std::memcpy(out + nbytes - n, v, n);
    return true;
}

}  // namespace

void ecdsaDigestToNum(const EC_curve& c, uint64_t* e, const uint8_t* digest, size_t dlen) {
    bits2int(c, e, digest, dlen);
}

long det_computek(const EC_curve& c, uint64_t* k, const uint64_t* d, const uint8_t* h1, size_t h1len,
                  long hashAlg) {
    hash::Hmac mac;
    uint8_t zero = 0;
    if (!mac.init(hashAlg, &zero, 0)) return BAD_FLAG_ERROR;
    const size_t hlen = mac.length();
    const size_t rlen = EC_order_bytes(c);
    uint8_t V[64], K[64];
    uint8_t x[kMaxLimbs * 8], h[kMaxLimbs * 8], T[kMaxLimbs * 8 + 64];
    uint64_t hnum[kMaxLimbs];
    std::memset(V, 0x01, hlen);
    std::memset(K, 0x00, hlen);
    ecc::EC_num_to_bytes(x, rlen, d, c.nlimbs);
    // bits2octets(h1) = int2octets(bits2int(h1) mod q).
    bits2int(c, hnum, h1, h1len);
    ecc::EC_scalar_reduce(c, hnum, hnum);
    ecc::EC_num_to_bytes(h, rlen, hnum, c.nlimbs);
    for (uint8_t round = 0; round < 2; round++) {
        mac.init(hashAlg, K, hlen);
        mac.update(V, hlen);
        mac.update(&round, 1);
        mac.update(x, rlen);
        mac.update(h, rlen);
        mac.final(K);
        mac.init(hashAlg, K, hlen);
        mac.update(V, hlen);
        mac.final(V);
    }
    for (;;) {
        size_t tlen = 0;
        while (tlen < rlen) {
            mac.init(hashAlg, K, hlen);
            mac.update(V, hlen);
            mac.final(V);
            size_t n = std::min(hlen, sizeof T - tlen);
            std::memcpy(T + tlen, V, n);
            tlen += n;
        }
        bits2int(c, k, T, tlen);
        // Rejection of an out-of-range candidate reveals only that event.
        if (ecc::EC_scalar_in_range(c, k)) break;
        mac.init(hashAlg, K, hlen);
        mac.update(V, hlen);
        mac.update(&zero, 1);
        mac.final(K);
        mac.init(hashAlg, K, hlen);
        mac.update(V, hlen);
        mac.final(V);
    }
    ewipe(V, sizeof V);
    ewipe(K, sizeof K);
    ewipe(x, sizeof x);
    ewipe(T, sizeof T);
    ewipe(h, sizeof h);
    ewipe(hnum, sizeof hnum);
    return 0;
}

long EC_dsa_sign(const EC_curve& c, uint64_t* r, uint64_t* s, const uint64_t* d, const uint64_t* k,
                 const uint64_t* e) {
    uint64_t ok = ecc::EC_scalar_in_range(c, k);
    EC_point R;
    ecc::EC_point_mult_base(c, &R, k);
    uint64_t x[kMaxLimbs] = {0}, kinv[kMaxLimbs], t[kMaxLimbs], er[kMaxLimbs];
    std::memcpy(x, R.X, c.nlimbs * sizeof(uint64_t));
    ecc::EC_scalar_reduce(c, r, x);
    ok &= ~mask_num_zero(r, c.nlimbs);
    ecc::EC_scalar_inv(c, kinv, k);
    ecc::EC_scalar_reduce(c, er, e);
    ecc::EC_scalar_mul(c, t, d, r);
    ecc::EC_scalar_add(c, t, t, er);
    ecc::EC_scalar_mul(c, s, kinv, t);
    ok &= ~mask_num_zero(s, c.nlimbs);
    ewipe(&R, sizeof R);
    ewipe(x, sizeof x);
    ewipe(kinv, sizeof kinv);
    ewipe(t, sizeof t);
    ewipe(er, sizeof er);
    // 0 when ok is all-ones, 24 otherwise, without a branch on it.
    return long(~ok & uint64_t(KEYGEN_FAILED_ERROR));
}

namespace {

// u1 = e s^-1 and u2 = r s^-1 modulo n; false when r or s is outside [1, n-1].
bool verify_factors(const EC_curve& c, uint64_t* u1, uint64_t* u2, const uint64_t* r, const uint64_t* s,
                    const uint64_t* e) {
    if (!ecc::EC_scalar_in_range(c, r) || !ecc::EC_scalar_in_range(c, s)) return false;
    uint64_t w[kMaxLimbs] = {0}, er[kMaxLimbs] = {0};
    ecc::EC_scalar_inv(c, w, s);
    ecc::EC_scalar_reduce(c, er, e);
    ecc::EC_scalar_mul(c, u1, er, w);
    ecc::EC_scalar_mul(c, u2, r, w);
    return true;
}

}  // namespace

long EC_dsa_verify(const EC_curve& c, const uint64_t* r, const uint64_t* s, const uint64_t* e,
                   const EC_point& Q) {
    uint64_t u1[kMaxLimbs] = {0}, u2[kMaxLimbs] = {0};
    if (!verify_factors(c, u1, u2, r, s, e)) return SIGNATURE_ERROR;
    // The sum point must be finite and its x-coordinate equal r modulo n.
    return ecc::EC_point_mul2_check_x(c, u1, u2, Q, r) ? 0L : long(SIGNATURE_ERROR);
}

long EC_dsa_verify(const EC_curve& c, const uint64_t* r, const uint64_t* s, const uint64_t* e,
                   const std::vector<uint64_t>& qtable) {
    uint64_t u1[kMaxLimbs] = {0}, u2[kMaxLimbs] = {0};
    if (!verify_factors(c, u1, u2, r, s, e)) return SIGNATURE_ERROR;
    return ecc::EC_point_mul2_check_x_table(c, u1, u2, qtable, r) ? 0L : long(SIGNATURE_ERROR);
}

std::vector<uint8_t> ecdsaDerFromRS(const uint8_t* r, const uint8_t* s, size_t nbytes) {
    std::vector<uint8_t> body;
    put_integer(body, r, nbytes);
    put_integer(body, s, nbytes);
    std::vector<uint8_t> out;
    out.push_back(0x30);
    if (body.size() >= 0x80) out.push_back(0x81);
    out.push_back(uint8_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

size_t ecdsaDerMaxLen(size_t nbytes) {
    size_t ilen = nbytes + 1;
    size_t one = 1 + (ilen >= 0x80 ? 2 : 1) + ilen;
    size_t body = 2 * one;
    return 1 + (body >= 0x80 ? 2 : 1) + body;
}

long ecdsaRSFromDer(uint8_t* rs, size_t nbytes, const uint8_t* der, size_t len) {
    size_t pos = 0, n = 0;
    if (len < 2 || der[pos++] != 0x30 || !get_length(der, len, &pos, &n) || n != len - pos) {
        eprintcatf("Invalid ASN.1 structure");
        return BAD_FORMAT_ERROR;
    }
    if (!get_integer(der, len, &pos, rs, nbytes) || !get_integer(der, len, &pos, rs + nbytes, nbytes) ||
        pos != len) {
        eprintcatf("Invalid ASN.1 structure");
        return INVALID_DATA_ERROR;
    }
    return 0;
}

}  // namespace velt::sig
