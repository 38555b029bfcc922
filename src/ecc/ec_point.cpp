// Points of the prime curves at the door: normalising, curve membership,
// partial public-key validation (SEC 1 3.2.2.1 less the order check, which
// a cofactor of 1 makes redundant), scalar multiplication, and the
// hexadecimal and octet-string encodings (SEC 1 2.3.3 and 2.3.4).
#include <cstring>

#include "ecc/ec_internal.h"
#include "frame/error.h"
#include "util/ct.h"
#include "util/emem.h"

namespace velt::ecc {

namespace {

int hexval(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

// ndigits hex digits (big-endian) into limbs; false on a non-hex character.
bool parse_hex_num(uint64_t* out, const char* hex, size_t ndigits) {
    std::memset(out, 0, kMaxLimbs * sizeof(uint64_t));
    for (size_t i = 0; i < ndigits; ++i) {
        int v = hexval(hex[i]);
        if (v < 0) return false;
        size_t bit = 4 * (ndigits - 1 - i);
        if (bit / 64 >= kMaxLimbs) {
            if (v) return false;
            continue;
        }
        out[bit / 64] |= uint64_t(v) << (bit % 64);
    }
    return true;
}

void append_hex(std::string& s, const uint64_t* a, size_t nbytes) {
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = nbytes; i-- > 0;) {
        unsigned byte = unsigned(a[i / 8] >> (8 * (i % 8))) & 0xff;
        s += kDigits[byte >> 4];
        s += kDigits[byte & 15];
    }
}

bool below_p(const EC_curve& c, const uint64_t* a) {
    for (size_t i = c.nlimbs; i < kMaxLimbs; ++i)
        if (a[i]) return false;
    return num_cmp(a, c.p, c.nlimbs) < 0;
}

// Completes a point from x (below p) and the parity of y (SEC 1 2.3.4
// step 2.4): false when x^3 + a x + b has no square root.
bool decompress(const EC_curve& c, EC_point* P, unsigned odd) {
    const Group& g = group_of(c);
    uint64_t r[kMaxLimbs] = {0}, y[kMaxLimbs] = {0};
    g.rhs(r, P->X);
    if (!g.sqrt(y, r)) return false;
    if ((y[0] & 1) != odd) {
        uint64_t zero[kMaxLimbs] = {0};
        if (num_cmp(y, zero, c.nlimbs) != 0) {
            uint64_t borrow = 0;
            for (size_t i = 0; i < c.nlimbs; ++i) {
                unsigned __int128 d = (unsigned __int128)c.p[i] - y[i] - borrow;
                y[i] = uint64_t(d);
                borrow = uint64_t(d >> 64) & 1;
            }
        }
    }
    std::memcpy(P->Y, y, sizeof y);
    return true;
}

}  // namespace

void EC_point_set_infinity(EC_point* P) {
    std::memset(P, 0, sizeof *P);
    P->X[0] = 1;
    P->Y[0] = 1;
}

int EC_point_is_infinity(const EC_curve& c, const EC_point& P) {
    uint64_t z = 0;
    for (size_t i = 0; i < kMaxLimbs; ++i) z |= P.Z[i];
    if (z == 0) return 1;
    return std::memcmp(P.Z, c.p, sizeof c.p) == 0 ? 1 : 0;
}

void EC_point_normalize(const EC_curve& c, EC_point* P) {
    group_of(c).normalize(P);
}

int EC_point_isoncurve(const EC_curve& c, const EC_point& P) {
    EC_point Q = P;
    // Points read from encodings already have Z = 1: no inversion needed.
    uint64_t one[kMaxLimbs] = {1};
    if (std::memcmp(P.Z, one, sizeof one) == 0) return group_of(c).on_curve(Q);
    EC_point_normalize(c, &Q);
    if (Q.Z[0] == 0) return 0;
    return group_of(c).on_curve(Q);
}

int EC_partial_validation(const EC_curve& c, const EC_point& P) {
    if (EC_point_is_infinity(c, P)) return 0;
    if (!below_p(c, P.X) || !below_p(c, P.Y) || !below_p(c, P.Z)) return 0;
    return EC_point_isoncurve(c, P);
}

int EC_point_equal(const EC_curve& c, const EC_point& P, const EC_point& Q) {
    EC_point a = P, b = Q;
    EC_point_normalize(c, &a);
    EC_point_normalize(c, &b);
    return std::memcmp(&a, &b, sizeof a) == 0 ? 1 : 0;
}

void EC_point_mult(const EC_curve& c, EC_point* R, const uint64_t* d, const EC_point& S) {
    group_of(c).mult(R, d, S);
}

void EC_point_mult_base(const EC_curve& c, EC_point* R, const uint64_t* d) {
    group_of(c).mult_base(R, d);
}

void EC_point_mul2_vartime(const EC_curve& c, EC_point* R, const uint64_t* u1, const uint64_t* u2,
                           const EC_point& Q) {
    group_of(c).mul2_vartime(R, u1, u2, Q);
}

int EC_point_mul2_check_x(const EC_curve& c, const uint64_t* u1, const uint64_t* u2, const EC_point& Q,
                          const uint64_t* r) {
    return group_of(c).mul2_check_x(u1, u2, Q, r);
}

std::vector<uint64_t> EC_point_verify_table(const EC_curve& c, const EC_point& Q) {
    return group_of(c).verify_table(Q);
}

int EC_point_mul2_check_x_table(const EC_curve& c, const uint64_t* u1, const uint64_t* u2,
                                const std::vector<uint64_t>& qtable, const uint64_t* r) {
    return group_of(c).mul2_check_x_table(u1, u2, qtable, r);
}

void EC_point_add(const EC_curve& c, EC_point* R, const EC_point& P, const EC_point& Q) {
    group_of(c).add(R, P, Q);
}

int EC_field_sqrt(const EC_curve& c, uint64_t* r, const uint64_t* v) {
    if (!below_p(c, v)) return 0;
    return group_of(c).sqrt(r, v);
}

std::string EC_point_tohex(const EC_curve& c, const EC_point& P) {
    if (EC_point_is_infinity(c, P)) return "00";
    EC_point Q = P;
    EC_point_normalize(c, &Q);
    std::string s = "04";
    append_hex(s, Q.X, EC_field_bytes(c));
    append_hex(s, Q.Y, EC_field_bytes(c));
    return s;
}

int EC_point_fromhex(const EC_curve& c, EC_point* P, const char* hex) {
    EC_point_set_infinity(P);
    if (!hex) return -BAD_PARAM_ERROR;
    size_t len = std::strlen(hex);
    if (len == 0 || hex[0] != '0') return -INVALID_DATA_ERROR;
    if (len == 1 || (len == 2 && hex[1] == '0')) return 0;  // infinity
    size_t digits = 2 * EC_field_bytes(c);
    char prefix = hex[1];
    if (prefix == '4') {
        if (len != 2 + 2 * digits) return -INVALID_DATA_ERROR;
        if (!parse_hex_num(P->X, hex + 2, digits) || !parse_hex_num(P->Y, hex + 2 + digits, digits))
            return -INVALID_DATA_ERROR;
    } else if (prefix == '2' || prefix == '3') {
        if (len != 2 + digits) return -INVALID_DATA_ERROR;
        if (!parse_hex_num(P->X, hex + 2, digits)) return -INVALID_DATA_ERROR;
    } else {
        return -INVALID_DATA_ERROR;
    }
    std::memset(P->Z, 0, sizeof P->Z);
    P->Z[0] = 1;
    if (!below_p(c, P->X)) return -BAD_KEY_ERROR;
    if (prefix != '4' && !decompress(c, P, prefix == '3' ? 1 : 0)) return -BAD_KEY_ERROR;
    if (!EC_partial_validation(c, *P)) return -BAD_KEY_ERROR;
    return 0;
}

size_t EC_point_to_octets(const EC_curve& c, uint8_t* out, const EC_point& P) {
    if (EC_point_is_infinity(c, P)) return 0;
    EC_point Q = P;
    EC_point_normalize(c, &Q);
    size_t fb = EC_field_bytes(c);
    out[0] = 4;
    EC_num_to_bytes(out + 1, fb, Q.X, c.nlimbs);
    EC_num_to_bytes(out + 1 + fb, fb, Q.Y, c.nlimbs);
    return 1 + 2 * fb;
}

int EC_point_from_octets(const EC_curve& c, EC_point* P, const uint8_t* in, size_t len) {
    EC_point_set_infinity(P);
    size_t fb = EC_field_bytes(c);
    if (!in || len == 0) return -INVALID_DATA_ERROR;
    if (in[0] == 4) {
        if (len != 1 + 2 * fb) return -INVALID_DATA_ERROR;
        EC_num_from_bytes(c, P->X, in + 1, fb);
        EC_num_from_bytes(c, P->Y, in + 1 + fb, fb);
    } else if (in[0] == 2 || in[0] == 3) {
        if (len != 1 + fb) return -INVALID_DATA_ERROR;
        EC_num_from_bytes(c, P->X, in + 1, fb);
    } else {
        return -INVALID_DATA_ERROR;
    }
    std::memset(P->Z, 0, sizeof P->Z);
    P->Z[0] = 1;
    if (!below_p(c, P->X)) return -BAD_KEY_ERROR;
    if (in[0] != 4 && !decompress(c, P, in[0] & 1)) return -BAD_KEY_ERROR;
    if (!EC_partial_validation(c, *P)) return -BAD_KEY_ERROR;
    return 0;
}

int EC_num_from_bytes(const EC_curve& c, uint64_t* out, const uint8_t* in, size_t len) {
    std::memset(out, 0, kMaxLimbs * sizeof(uint64_t));
    size_t room = 8 * c.nlimbs;
    // Bytes beyond the limbs' room must be zero; their OR is the only thing
    // read from them (no branch on a secret byte's value until the verdict).
    uint8_t high = 0;
    for (size_t i = 0; i < len; ++i) {
        size_t pos = len - 1 - i;  // byte significance
        if (pos >= room)
            high |= in[i];
        else
            out[pos / 8] |= uint64_t(in[i]) << (8 * (pos % 8));
    }
    return high ? -BAD_KEY_LEN_ERROR : 0;
}

void EC_num_to_bytes(uint8_t* out, size_t len, const uint64_t* a, size_t nlimbs) {
    for (size_t i = 0; i < len; ++i) {
        size_t pos = len - 1 - i;
        out[i] = pos / 8 < nlimbs ? uint8_t(a[pos / 8] >> (8 * (pos % 8))) : 0;
    }
}

uint64_t EC_scalar_in_range(const EC_curve& c, const uint64_t* d) {
    // Borrow of d - n (set when d < n) and the OR of d's limbs, both without
    // branches.
    uint64_t borrow = 0, any = 0;
    for (size_t i = 0; i < c.nlimbs; ++i) {
        unsigned __int128 t = (unsigned __int128)d[i] - c.n[i] - borrow;
        borrow = uint64_t(t >> 64) & 1;
        any |= d[i];
    }
    return ct::mask_from_bit(borrow) & ct::mask_nonzero(any);
}

void EC_scalar_reduce(const EC_curve& c, uint64_t* r, const uint64_t* a) {
    group_of(c).scalar_reduce(r, a);
}
void EC_scalar_add(const EC_curve& c, uint64_t* r, const uint64_t* a, const uint64_t* b) {
    group_of(c).scalar_add(r, a, b);
}
void EC_scalar_mul(const EC_curve& c, uint64_t* r, const uint64_t* a, const uint64_t* b) {
    group_of(c).scalar_mul(r, a, b);
}
void EC_scalar_inv(const EC_curve& c, uint64_t* r, const uint64_t* a) {
    group_of(c).scalar_inv(r, a);
}

}  // namespace velt::ecc
