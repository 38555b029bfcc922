// Keccak-f[1600] compiled with BMI1: chi's ~b & c becomes one andn.
#include "hash/blocks.h"
#include "hash/keccak_body.h"

namespace velt::hash {

__attribute__((target("bmi"))) void keccak_f1600_bmi(uint64_t s[25]) { keccak_permute(s); }

}  // namespace velt::hash
