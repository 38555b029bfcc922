// The secp384r1 group over its dedicated field, portable or MULX/ADX.
#include "ecc/ec_group.h"
#include "ecc/ec_p384.h"

namespace velt::ecc {

std::unique_ptr<Group> make_p384_group(const EC_curve& c, bool adx) {
    if (adx) return std::make_unique<GroupImpl<6, P384Field<true>>>(c);
    return std::make_unique<GroupImpl<6, P384Field<false>>>(c);
}

}  // namespace velt::ecc
