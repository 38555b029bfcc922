#include "util/cpu.h"

#include <cpuid.h>
#include <cstdlib>

namespace velt::cpu {
namespace {

uint64_t read_xcr0() {
    uint32_t lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (uint64_t(hi) << 32) | lo;
}

uint32_t probe() {
    uint32_t a, b, c, d, f = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return 0;
    if (c & bit_SSSE3) f |= kSsse3;
    if (c & bit_SSE4_1) f |= kSse41;
    if (c & bit_AES) f |= kAesNi;
    if (c & bit_PCLMUL) f |= kPclmul;
    if (c & bit_RDRND) f |= kRdrand;
    bool osxsave = (c & bit_OSXSAVE) != 0;
    uint64_t xcr0 = osxsave ? read_xcr0() : 0;
    bool ymm = (xcr0 & 0x6) == 0x6;
    bool zmm = ymm && (xcr0 & 0xe0) == 0xe0;
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d)) {
        if ((b & bit_AVX2) && ymm) f |= kAvx2;
        if (b & bit_BMI2) f |= kBmi2;
        if (b & bit_ADX) f |= kAdx;
        if (b & bit_RDSEED) f |= kRdseed;
        if (b & bit_SHA) f |= kShaNi;
        if (zmm && (b & bit_AVX512F)) f |= kAvx512f;
        if (zmm && (b & bit_AVX512BW)) f |= kAvx512bw;
        if (zmm && (b & bit_AVX512VL)) f |= kAvx512vl;
        if (zmm && (b & bit_AVX512IFMA)) f |= kAvx512ifma;
        if (ymm && (c & bit_VAES)) f |= kVaes;
        if (ymm && (c & bit_VPCLMULQDQ)) f |= kVpclmul;
    }
    return f;
}

uint32_t& allowed_mask() {
    static uint32_t mask = [] {
        const char* env = getenv("VELT_CPU_PORTABLE");
        return (env && env[0] == '1') ? 0u : ~0u;
    }();
    return mask;
}

}  // namespace

uint32_t detected() {
    static const uint32_t features = probe();
    return features;
}

uint32_t enabled() { return detected() & allowed_mask(); }

void restrict_features(uint32_t allowed) { allowed_mask() = allowed; }

}  // namespace velt::cpu
