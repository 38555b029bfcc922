// The processor's generators, RDSEED and RDRAND, read one attempt at a time.
// Compiled with the rdrnd/rdseed target attributes; used only when CPUID
// reports them (any vendor).
#include <immintrin.h>

#include "rng/internal.h"
#include "util/cpu.h"

namespace velt::rng {
namespace {

__attribute__((target("rdrnd"))) uint32_t rdrand32() {
    unsigned int v = 0;
    if (!_rdrand32_step(&v)) return 0;
    return v;
}

__attribute__((target("rdseed"))) uint32_t rdseed32() {
    unsigned int v = 0;
    if (!_rdseed32_step(&v)) return 0;
    return v;
}

}  // namespace

int32_t hardware_probe() {
    int32_t level = 0;
    if (velt::cpu::has(velt::cpu::kRdrand)) {
        // Some processors report RDRAND yet return a constant word (all ones)
        // with success; such an instruction is not used.
        uint32_t first = rdrand32(), same = 0;
        for (int i = 0; i < 8; ++i) same += rdrand32() == first;
        if (same < 8) level |= 1;
    }
    if (velt::cpu::has(velt::cpu::kRdseed)) {
        uint32_t first = rdseed32(), same = 0;
        for (int i = 0; i < 8; ++i) same += rdseed32() == first;
        if (same < 8) level |= 2;
    }
    return level ? level : -1;
}

uint32_t hardware_word(int32_t level) {
    if (level <= 0) return 0;
    if ((level & 2) && velt::cpu::has(velt::cpu::kRdseed)) return rdseed32();
    if ((level & 1) && velt::cpu::has(velt::cpu::kRdrand)) return rdrand32();
    return 0;
}

}  // namespace velt::rng
