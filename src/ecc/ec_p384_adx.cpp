// MULX/ADX product kernel of the secp384r1 field: the 6 x 6 limb product
// row by row, each row adding a * b[i] into the accumulator with two
// independent carry chains (ADOX for the low halves of the partial
// products, ADCX for the high halves carried one limb up). Called only when
// the processor has BMI2 and ADX (cpu::has).
#include "ecc/ec_p384.h"

namespace velt::ecc {

// t (12 limbs) = a * b.
__attribute__((target("bmi2,adx"))) void p384_mul_wide_adx(limb* t, const limb* a, const limb* b) {
    for (size_t i = 0; i < 12; ++i) t[i] = 0;
    for (size_t i = 0; i < 6; ++i) {
        limb* r = t + i;
        limb x, lo, h0, h1;
        // Limb j of the row: r[j] + lo_j + hi_(j-1) + both carries. The last
        // limb r[6] (still zero) takes hi_5 and the two final carries; the
        // row's sum stays below 2^(64 (i + 7)), so nothing is lost.
        __asm__ volatile(
            "xorl %k[x], %k[x]\n\t"
            "movq %[bi], %%rdx\n\t"
            "mulxq 0(%[a]), %[lo], %[h0]\n\t"
            "movq 0(%[r]), %[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "movq %[x], 0(%[r])\n\t"
            "mulxq 8(%[a]), %[lo], %[h1]\n\t"
            "movq 8(%[r]), %[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "adcxq %[h0], %[x]\n\t"
            "movq %[x], 8(%[r])\n\t"
            "mulxq 16(%[a]), %[lo], %[h0]\n\t"
            "movq 16(%[r]), %[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "adcxq %[h1], %[x]\n\t"
            "movq %[x], 16(%[r])\n\t"
            "mulxq 24(%[a]), %[lo], %[h1]\n\t"
            "movq 24(%[r]), %[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "adcxq %[h0], %[x]\n\t"
            "movq %[x], 24(%[r])\n\t"
            "mulxq 32(%[a]), %[lo], %[h0]\n\t"
            "movq 32(%[r]), %[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "adcxq %[h1], %[x]\n\t"
            "movq %[x], 32(%[r])\n\t"
            "mulxq 40(%[a]), %[lo], %[h1]\n\t"
            "movq 40(%[r]), %[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "adcxq %[h0], %[x]\n\t"
            "movq %[x], 40(%[r])\n\t"
            "movl $0, %k[x]\n\t"
            "adcxq %[h1], %[x]\n\t"
            "movl $0, %k[lo]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "movq %[x], 48(%[r])\n\t"
            : [x] "=&r"(x), [lo] "=&r"(lo), [h0] "=&r"(h0), [h1] "=&r"(h1)
            : [a] "r"(a), [r] "r"(r), [bi] "m"(b[i])
            : "rdx", "cc", "memory");
    }
}

}  // namespace velt::ecc
