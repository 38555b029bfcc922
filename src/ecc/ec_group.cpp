// One Group object per curve of the table, built on first use (a
// function-local static, so concurrent first calls are safe). The field
// code is chosen then: dedicated fields for secp256r1, secp384r1 and
// secp521r1 (MULX/ADX kernels when the processor has them), generic Montgomery
// arithmetic for the others.
#include <array>
#include <cstring>
#include <memory>

#include "ecc/ec_group.h"
#include "ecc/ec_p256.h"
#include "ecc/ec_p384.h"
#include "ecc/ec_p521.h"
#include "util/cpu.h"

namespace velt::ecc {

namespace {

std::unique_ptr<Group> make_group(const EC_curve& c) {
    if (std::strcmp(c.name, "secp256r1") == 0) {
        // MULX/ADX product kernels where the processor has them.
        if (cpu::has(cpu::kBmi2 | cpu::kAdx)) return std::make_unique<GroupImpl<4, P256Field<true>>>(c);
        return std::make_unique<GroupImpl<4, P256Field<false>>>(c);
    }
    if (std::strcmp(c.name, "secp384r1") == 0) {
        if (cpu::has(cpu::kBmi2 | cpu::kAdx)) return std::make_unique<GroupImpl<6, P384Field<true>>>(c);
        return std::make_unique<GroupImpl<6, P384Field<false>>>(c);
    }
    if (std::strcmp(c.name, "secp521r1") == 0) {
        if (cpu::has(cpu::kBmi2 | cpu::kAdx)) return std::make_unique<GroupImpl<9, P521Field<true>>>(c);
        return std::make_unique<GroupImpl<9, P521Field<false>>>(c);
    }
    switch (c.nlimbs) {
        case 3:
            return std::make_unique<GroupImpl<3>>(c);
        case 4:
            return std::make_unique<GroupImpl<4>>(c);
        case 6:
            return std::make_unique<GroupImpl<6>>(c);
        case 8:
            return std::make_unique<GroupImpl<8>>(c);
        default:
            return std::make_unique<GroupImpl<9>>(c);
    }
}

struct Registry {
    std::array<std::unique_ptr<Group>, 9> groups;
    Registry() {
        for (size_t i = 0; i < EC_curve_count() && i < groups.size(); ++i) {
            EC_curve c;
            EC_curve_getbyname(&c, EC_curve_name(i));
            groups[i] = make_group(c);
        }
    }
};

}  // namespace

std::unique_ptr<Group> make_special_group(const EC_curve& c, bool adx) {
    if (c.nlimbs == 6) {
        if (adx) return std::make_unique<GroupImpl<6, P384Field<true>>>(c);
        return std::make_unique<GroupImpl<6, P384Field<false>>>(c);
    }
    if (c.nlimbs == 9) {
        if (adx) return std::make_unique<GroupImpl<9, P521Field<true>>>(c);
        return std::make_unique<GroupImpl<9, P521Field<false>>>(c);
    }
    if (adx) return std::make_unique<GroupImpl<4, P256Field<true>>>(c);
    return std::make_unique<GroupImpl<4, P256Field<false>>>(c);
}

const Group& group_of(const EC_curve& c) {
    static const Registry registry;
    return *registry.groups[size_t(c.id)];
}

int num_cmp(const uint64_t* a, const uint64_t* b, size_t n) {
    for (size_t i = n; i-- > 0;)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

}  // namespace velt::ecc
