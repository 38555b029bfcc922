// The secp256r1 group over its dedicated field, portable or MULX/ADX.
#include "ecc/ec_group.h"
#include "ecc/ec_p256.h"

namespace velt::ecc {

std::unique_ptr<Group> make_p256_group(const EC_curve& c, bool adx) {
    if (adx) return std::make_unique<GroupImpl<4, P256Field<true>>>(c);
    return std::make_unique<GroupImpl<4, P256Field<false>>>(c);
}

}  // namespace velt::ecc
