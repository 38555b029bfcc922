// MULX/ADX kernels of the secp256r1 field (placeholder until written).
#include "ecc/ec_p256.h"

namespace velt::ecc {

void p256_mul_adx(limb* r, const limb* a, const limb* b) {
    limb t[8];
    p256_mul_wide(t, a, b);
    p256_redc(r, t);
}

void p256_sqr_adx(limb* r, const limb* a) {
    limb t[8];
    p256_sqr_wide(t, a);
    p256_redc(r, t);
}

}  // namespace velt::ecc
