// One Group object per curve of the table, built on first use (a
// function-local static, so concurrent first calls are safe). The field
// code is chosen then: dedicated fields for secp256r1, secp384r1 and
// secp521r1 (MULX/ADX kernels when the processor has them), generic Montgomery
// arithmetic for the others.
#include <array>
#include <cstring>
#include <memory>

#include "ecc/ec_group.h"
#include "util/cpu.h"

namespace velt::ecc {

namespace {

std::unique_ptr<Group> make_group(const EC_curve& c) {
    bool adx = cpu::has(cpu::kBmi2 | cpu::kAdx);
    if (std::strcmp(c.name, "secp256r1") == 0) return make_p256_group(c, adx);
    if (std::strcmp(c.name, "secp384r1") == 0) return make_p384_group(c, adx);
    if (std::strcmp(c.name, "secp521r1") == 0) return make_p521_group(c, adx);
    return make_generic_group(c);
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
    if (c.nlimbs == 6) return make_p384_group(c, adx);
    if (c.nlimbs == 9) return make_p521_group(c, adx);
    return make_p256_group(c, adx);
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
