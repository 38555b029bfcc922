// Elliptic curves: the door of src/ecc. The named prime curves (SEC 2 and
// RFC 5639 parameters), their points, scalar multiplication, point encodings
// and the prime-curve ECDH core. The safe curves (X25519, X448, Ed25519,
// Ed448) have their own header, ecc/safecurve.h.
//
// Numbers are little-endian arrays of 64-bit limbs, curve.nlimbs of them
// (at most kMaxLimbs); limbs above nlimbs are zero. Points cross this
// interface in Jacobian coordinates (X, Y, Z), affine (X/Z^2, Y/Z^3); the
// point at infinity is (1, 1, 0). Every multiplication by a scalar that may
// be secret runs in constant time (fixed windows over all bits of the order,
// masked table scans, complete addition formulas); only the double
// multiplications of verification (EC_point_mul2_*) and the square root are
// variable time and take public inputs only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "asn1/asn1.h"

namespace velt::ecc {

constexpr size_t kMaxLimbs = 9;  // 576 bits: room for secp521r1

struct EC_point {
    uint64_t X[kMaxLimbs];
    uint64_t Y[kMaxLimbs];
    uint64_t Z[kMaxLimbs];
};

// A loaded prime curve. id indexes the curve table (0..8, in table order).
struct EC_curve {
    const char* name;  // canonical name, e.g. "secp256r1"
    int id;
    int fieldbits;
    int words;  // 32-bit words of every number of this curve
    int orderbits;
    int a_minus3;  // 1 when a = p - 3
    int h;         // cofactor (1 for all nine)
    size_t nlimbs;
    uint64_t p[kMaxLimbs], a[kMaxLimbs], b[kMaxLimbs], n[kMaxLimbs];
    EC_point G;  // Z = 1
};

// Number of curves in the table and the canonical name of row i.
size_t EC_curve_count();
const char* EC_curve_name(size_t i);

// Fills *c for the exact canonical name: 1 if found, 0 if not.
int EC_curve_getbyname(EC_curve* c, const char* name);
// Alias lookup (case-insensitive): the table's spelling of a listed name
// ("P-256" -> "secp256r1", "x25519" -> "X25519"); other names unchanged.
const char* EC_curve_alias(const char* name);
// 1 when name is a canonical name of the alias table (the row maps it to
// itself, compared exactly), else 0. Guards curve OIDs read from keys.
int EC_curve_is_canonical(const char* name);
// Alias lookup then EC_curve_getbyname: 1 if found.
int EC_curve_lookup(EC_curve* c, const char* name);
// The curve's OID record from the OID table; 0 on success, negative error.
int EC_curve_oid(const EC_curve& c, OidRec* rec);
// The prime curve named by an OID record (the OID table's name, then the
// canonical-name test); 1 if found.
int EC_curve_from_oid(EC_curve* c, const OidRec* rec);

// Byte lengths: a field element ((fieldbits + 7) / 8) and a scalar
// ((orderbits + 7) / 8).
inline size_t EC_field_bytes(const EC_curve& c) {
    return size_t(c.fieldbits + 7) / 8;
}
inline size_t EC_order_bytes(const EC_curve& c) {
    return size_t(c.orderbits + 7) / 8;
}

// ---- Points ----
void EC_point_set_infinity(EC_point* P);
int EC_point_is_infinity(const EC_curve& c, const EC_point& P);
// Rewrites P with Z = 1 and coordinates below p; infinity becomes (1, 1, 0).
void EC_point_normalize(const EC_curve& c, EC_point* P);
// 1 when the affine point satisfies y^2 = x^3 + a*x + b mod p; 0 for
// infinity or a point off the curve.
int EC_point_isoncurve(const EC_curve& c, const EC_point& P);
// 1 when P is not infinity, its coordinates are below p and it lies on the
// curve; 0 otherwise.
int EC_partial_validation(const EC_curve& c, const EC_point& P);
// Affine equality of two points (public data; variable time).
int EC_point_equal(const EC_curve& c, const EC_point& P, const EC_point& Q);

// R = d * S in constant time in d and S. d has c.nlimbs limbs and any value
// below 2^(64 nlimbs); it is reduced modulo n. R is normalised (infinity
// as (1, 1, 0)). R may alias S. S must lie on the curve (or be infinity):
// for other points the result is unspecified, so callers validate public
// points first (EC_partial_validation).
void EC_point_mult(const EC_curve& c, EC_point* R, const uint64_t* d, const EC_point& S);
// R = d * G through the precomputed fixed-base table (built once, on first
// use, thread-safely); constant time in d. R normalised.
void EC_point_mult_base(const EC_curve& c, EC_point* R, const uint64_t* d);
// R = u1 * G + u2 * Q in variable time (verification: every input public).
// R normalised.
void EC_point_mul2_vartime(const EC_curve& c, EC_point* R, const uint64_t* u1, const uint64_t* u2,
                           const EC_point& Q);
// 1 when u1 * G + u2 * Q is not infinity and its affine x-coordinate,
// reduced modulo n, equals r (below n); else 0. The ECDSA verification
// equation without an inversion; variable time (public inputs).
int EC_point_mul2_check_x(const EC_curve& c, const uint64_t* u1, const uint64_t* u2, const EC_point& Q,
                          const uint64_t* r);
// A table of multiples of a validated public point Q (variable time to
// build; for keys that verify many signatures), and the check above through
// it: the same result as EC_point_mul2_check_x with that Q, with no
// doublings at all (0 for a table not of this curve's size).
std::vector<uint64_t> EC_point_verify_table(const EC_curve& c, const EC_point& Q);
int EC_point_mul2_check_x_table(const EC_curve& c, const uint64_t* u1, const uint64_t* u2,
                                const std::vector<uint64_t>& qtable, const uint64_t* r);
// R = P + Q (complete formulas; either may be infinity). R normalised.
void EC_point_add(const EC_curve& c, EC_point* R, const EC_point& P, const EC_point& Q);

// Square root modulo p of a public value c below p: 1 and *r when one
// exists, 0 otherwise.
int EC_field_sqrt(const EC_curve& c, uint64_t* r, const uint64_t* v);

// Hexadecimal points: "00" for infinity, else "04" || X || Y (each of
// 2 * field bytes lower-case digits). Returns the text.
std::string EC_point_tohex(const EC_curve& c, const EC_point& P);
// Parses "0"/"00" (infinity), "04" X Y, or "02"/"03" X (compressed, 03 for
// odd y), the coordinates exactly 2 * field bytes digits each in either case.
// The point is checked on the curve with coordinates below p. 0 on success,
// negative error code on failure (the point is then unspecified). The
// infinity forms succeed; callers that need a public key validate it.
int EC_point_fromhex(const EC_curve& c, EC_point* P, const char* hex);

// Octet string forms (SEC 1 2.3.3/2.3.4): 04 || X || Y of 1 + 2 * field
// bytes for a finite point, written to out; returns the length, 0 for
// infinity.
size_t EC_point_to_octets(const EC_curve& c, uint8_t* out, const EC_point& P);
// Reads 04 || X || Y or a compressed 02/03 || X; same checks as
// EC_point_fromhex (infinity refused). 0 on success, negative error.
int EC_point_from_octets(const EC_curve& c, EC_point* P, const uint8_t* in, size_t len);

// ---- Numbers and scalars ----
// Big-endian bytes into c.nlimbs limbs: 0 on success, negative when the
// value does not fit in 64 * nlimbs bits (leading zero bytes are allowed).
int EC_num_from_bytes(const EC_curve& c, uint64_t* out, const uint8_t* in, size_t len);
// The low len bytes of a number, big-endian, left-padded with zeros.
void EC_num_to_bytes(uint8_t* out, size_t len, const uint64_t* a, size_t nlimbs);
// All-ones when 0 < d < n, else 0; constant time in d.
uint64_t EC_scalar_in_range(const EC_curve& c, const uint64_t* d);
// Arithmetic modulo the order n in constant time; inputs below 2^(64 nlimbs)
// for reduce, below n otherwise; outputs below n, written to c.nlimbs limbs
// (limbs above are left as they are). r may alias the inputs.
void EC_scalar_reduce(const EC_curve& c, uint64_t* r, const uint64_t* a);
void EC_scalar_add(const EC_curve& c, uint64_t* r, const uint64_t* a, const uint64_t* b);
void EC_scalar_mul(const EC_curve& c, uint64_t* r, const uint64_t* a, const uint64_t* b);
// r = a^-1 mod n in constant time (binary-GCD divsteps); 0 for 0.
void EC_scalar_inv(const EC_curve& c, uint64_t* r, const uint64_t* a);

// ---- ECDH (SEC 1 3.3.1) ----
// The shared value: the x-coordinate of d * Q, big-endian, left-padded to
// EC_field_bytes(c) bytes in out. d is the private scalar as big-endian
// bytes; it must satisfy 0 < d < n (else BAD_KEY_ERROR). Q must pass
// EC_partial_validation (else BAD_KEY_ERROR). A result at infinity gives
// OUT_OF_RANGE_ERROR. Returns 0 or the negative error code; out is zeroed on
// failure. Constant time in d.
int EC_ecdh(const EC_curve& c, uint8_t* out, const uint8_t* d, size_t dlen, const EC_point& Q);
// The branch-free core of EC_ecdh for a validated Q and d of c.nlimbs limbs:
// writes the shared value (zeros on failure) and returns all-ones when d was
// in range and the result finite, else 0. Nothing in it branches on d.
uint64_t EC_ecdh_ct(const EC_curve& c, uint8_t* out, const uint64_t* d, const EC_point& Q);

}  // namespace velt::ecc
