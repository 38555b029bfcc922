// MULX/ADX kernels of the secp256r1 field: the 4 x 4 limb product with two
// independent carry chains (ADCX on the carry flag for the high halves,
// ADOX on the overflow flag for the low halves), reduced by the portable
// Montgomery step of ec_p256.cpp. Called only when the processor has BMI2
// and ADX (cpu::has).
#include "ecc/ec_p256.h"

namespace velt::ecc {

namespace {

// t (8 limbs) = a * b. Row i adds a * b[i] at limb i; within a row the low
// halves of the four partial products ride the OF chain and the high halves
// the CF chain, and the row ends by folding both flags into limb i + 4
// (which cannot overflow: the running sum stays below 2^(64 (i + 5))).
__attribute__((target("bmi2,adx"))) void mul_wide_adx(limb* t, const limb* a, const limb* b) {
    limb t0 = 0, t1 = 0, t2 = 0, t3 = 0, t4 = 0, t5 = 0, t6 = 0, t7 = 0;
    limb lo, hi;
#define VELT_P256_ROW(B, R0, R1, R2, R3, R4)                                                         \
    __asm__(                                                                                         \
        "xorl %k[lo], %k[lo]\n\t"                                                                    \
        "movq %[bi], %%rdx\n\t"                                                                      \
        "mulxq 0(%[a]), %[lo], %[hi]\n\t"                                                            \
        "adoxq %[lo], %[r0]\n\t"                                                                     \
        "adcxq %[hi], %[r1]\n\t"                                                                     \
        "mulxq 8(%[a]), %[lo], %[hi]\n\t"                                                            \
        "adoxq %[lo], %[r1]\n\t"                                                                     \
        "adcxq %[hi], %[r2]\n\t"                                                                     \
        "mulxq 16(%[a]), %[lo], %[hi]\n\t"                                                           \
        "adoxq %[lo], %[r2]\n\t"                                                                     \
        "adcxq %[hi], %[r3]\n\t"                                                                     \
        "mulxq 24(%[a]), %[lo], %[hi]\n\t"                                                           \
        "adoxq %[lo], %[r3]\n\t"                                                                     \
        "adcxq %[hi], %[r4]\n\t"                                                                     \
        "movl $0, %k[lo]\n\t"                                                                        \
        "adoxq %[lo], %[r4]\n\t"                                                                     \
        : [r0] "+r"(R0), [r1] "+r"(R1), [r2] "+r"(R2), [r3] "+r"(R3), [r4] "+r"(R4), [lo] "=&r"(lo), \
          [hi] "=&r"(hi)                                                                             \
        : [a] "r"(a), [bi] "m"(B)                                                                    \
        : "rdx", "cc")
    VELT_P256_ROW(b[0], t0, t1, t2, t3, t4);
    VELT_P256_ROW(b[1], t1, t2, t3, t4, t5);
    VELT_P256_ROW(b[2], t2, t3, t4, t5, t6);
    VELT_P256_ROW(b[3], t3, t4, t5, t6, t7);
#undef VELT_P256_ROW
    t[0] = t0;
    t[1] = t1;
    t[2] = t2;
    t[3] = t3;
    t[4] = t4;
    t[5] = t5;
    t[6] = t6;
    t[7] = t7;
}

}  // namespace

void p256_mul_adx(limb* r, const limb* a, const limb* b) {
    limb t[8];
    mul_wide_adx(t, a, b);
    p256_redc(r, t);
}

void p256_sqr_adx(limb* r, const limb* a) {
    limb t[8];
    mul_wide_adx(t, a, a);
    p256_redc(r, t);
}

}  // namespace velt::ecc
