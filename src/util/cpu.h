// Processor features, read once with CPUID. Accelerated code paths ask here
// and fall back to the portable code when a feature is missing or disabled.
// Tests call cpu::restrict_features to run the portable paths on a machine
// that has the instructions.
#pragma once

#include <cstdint>

namespace velt::cpu {

enum Feature : uint32_t {
    kAesNi = 1u << 0,
    kPclmul = 1u << 1,
    kShaNi = 1u << 2,
    kAvx2 = 1u << 3,
    kBmi2 = 1u << 4,
    kAdx = 1u << 5,
    kRdrand = 1u << 6,
    kRdseed = 1u << 7,
    kAvx512f = 1u << 8,
    kVaes = 1u << 9,
    kVpclmul = 1u << 10,
    kSsse3 = 1u << 11,
    kSse41 = 1u << 12,
    kAvx512bw = 1u << 13,
    kAvx512vl = 1u << 14,
    kAvx512ifma = 1u << 15,
};

// Features the processor and operating system support.
uint32_t detected();
// Features in use: detected() less any restricted by restrict_features or by
// the environment variable VELT_CPU_PORTABLE (set to 1: none in use).
uint32_t enabled();
inline bool has(uint32_t f) { return (enabled() & f) == f; }
// Limits the features in use to `allowed` (all of them with ~0u). For tests
// and benchmarks that compare the portable and accelerated paths.
void restrict_features(uint32_t allowed);

}  // namespace velt::cpu
