// The secp521r1 group over its dedicated field, portable or MULX/ADX.
#include "ecc/ec_group.h"
#include "ecc/ec_p521.h"

namespace velt::ecc {

std::unique_ptr<Group> make_p521_group(const EC_curve& c, bool adx) {
    if (adx) return std::make_unique<GroupImpl<9, P521Field<true>>>(c);
    return std::make_unique<GroupImpl<9, P521Field<false>>>(c);
}

}  // namespace velt::ecc
