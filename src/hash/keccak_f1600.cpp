// Keccak-f[1600]: round constants, the portable build of the permutation and
// the choice between it and the BMI1 build.
#include "hash/blocks.h"
#include "hash/hash.h"
#include "hash/keccak_body.h"
#include "util/cpu.h"

namespace velt::hash {

extern const uint64_t kKeccakRc[24];
const uint64_t kKeccakRc[24] = {
    0x0000000000000001, 0x0000000000008082, 0x800000000000808a, 0x8000000080008000, 0x000000000000808b,
    0x0000000080000001, 0x8000000080008081, 0x8000000000008009, 0x000000000000008a, 0x0000000000000088,
    0x0000000080008009, 0x000000008000000a, 0x000000008000808b, 0x800000000000008b, 0x8000000000008089,
    0x8000000000008003, 0x8000000000008002, 0x8000000000000080, 0x000000000000800a, 0x800000008000000a,
    0x8000000080008081, 0x8000000000008080, 0x0000000080000001, 0x8000000080008008};

void keccak_f1600_portable(uint64_t s[25]) { keccak_permute(s); }

void keccak_f1600(uint64_t s[25]) {
    // Every processor with BMI2 has BMI1 (andn).
    if (cpu::has(cpu::kBmi2))
        keccak_f1600_bmi(s);
    else
        keccak_f1600_portable(s);
}

}  // namespace velt::hash
