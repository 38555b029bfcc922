// Prime-curve Diffie-Hellman (SEC 1 section 3.3.1): the shared value is the
// x-coordinate of d * Q. The peer's point is validated in full before use
// (a point off the curve would let an attacker learn d modulo small orders),
// and the scalar is checked and used without branches on its value.
#include <cstring>

#include "ecc/ec_internal.h"
#include "frame/error.h"
#include "util/ct.h"
#include "util/emem.h"

namespace velt::ecc {

uint64_t EC_ecdh_ct(const EC_curve& c, uint8_t* out, const uint64_t* d, const EC_point& Q) {
    uint64_t ok = EC_scalar_in_range(c, d);
    EC_point P;
    EC_point_mult(c, &P, d, Q);
    // P is normalised: Z is 1, or 0 at infinity.
    ok &= ct::mask_nonzero(P.Z[0]);
    size_t fb = EC_field_bytes(c);
    EC_num_to_bytes(out, fb, P.X, c.nlimbs);
    uint8_t m = uint8_t(ok);
    for (size_t i = 0; i < fb; ++i) out[i] &= m;
    ewipe(&P, sizeof P);
    return ok;
}

int EC_ecdh(const EC_curve& c, uint8_t* out, const uint8_t* d, size_t dlen, const EC_point& Q) {
    size_t fb = EC_field_bytes(c);
    std::memset(out, 0, fb);
    if (!EC_partial_validation(c, Q)) return -BAD_KEY_ERROR;
    uint64_t k[kMaxLimbs];
    if (EC_num_from_bytes(c, k, d, dlen) != 0) {
        ewipe(k, sizeof k);
        return -BAD_KEY_ERROR;
    }
    uint64_t in_range = EC_scalar_in_range(c, k);
    uint64_t ok = EC_ecdh_ct(c, out, k, Q);
    ewipe(k, sizeof k);
    if (!in_range) return -BAD_KEY_ERROR;
    if (!ok) return -OUT_OF_RANGE_ERROR;
    return 0;
}

}  // namespace velt::ecc
