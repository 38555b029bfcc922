// Groups over the generic Montgomery field, by limb count: the table's
// curves other than secp256r1, secp384r1 and secp521r1.
#include "ecc/ec_group.h"

namespace velt::ecc {

std::unique_ptr<Group> make_generic_group(const EC_curve& c) {
    switch (c.nlimbs) {
        case 3:
            return std::make_unique<GroupImpl<3>>(c);
        case 4:
            return std::make_unique<GroupImpl<4>>(c);
        case 6:
            return std::make_unique<GroupImpl<6>>(c);
        default:
            // 8 limbs (brainpoolP512r1); the only 9-limb curve, secp521r1,
            // has its own field.
            return std::make_unique<GroupImpl<8>>(c);
    }
}

}  // namespace velt::ecc
