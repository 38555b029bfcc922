// MULX/ADX product kernel of the secp521r1 field: the 9 x 9 limb product
// row by row, each row adding a * b[i] into the accumulator with two
// independent carry chains (ADOX for the low halves of the partial
// products, ADCX for the high halves carried one limb up). Called only when
// the processor has BMI2 and ADX (cpu::has).
#include "ecc/ec_p521.h"

namespace velt::ecc {

namespace {

// One row: r[0..9] = r[0..8] + a * bi, r[9] written, not added. With
// Fresh, r[0..8] are taken as zero and not read, so the first row needs no
// cleared buffer.
template <bool Fresh>
__attribute__((target("bmi2,adx"), always_inline)) inline void p521_row(limb* r, const limb* a,
                                                                        const limb* bi) {
    limb x, lo, h0, h1;
    if constexpr (Fresh) {
        __asm__ volatile(
            "xorl %k[x], %k[x]\n\t"
            "movq %[bi], %%rdx\n\t"
            "mulxq 0(%[a]), %[lo], %[h0]\n\t"
            "movl $0, %k[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "movq %[x], 0(%[r])\n\t"
            "mulxq 8(%[a]), %[lo], %[h1]\n\t"
            "movl $0, %k[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "adcxq %[h0], %[x]\n\t"
            "movq %[x], 8(%[r])\n\t"
            "mulxq 16(%[a]), %[lo], %[h0]\n\t"
            "movl $0, %k[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "adcxq %[h1], %[x]\n\t"
            "movq %[x], 16(%[r])\n\t"
            "mulxq 24(%[a]), %[lo], %[h1]\n\t"
            "movl $0, %k[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "adcxq %[h0], %[x]\n\t"
            "movq %[x], 24(%[r])\n\t"
            "mulxq 32(%[a]), %[lo], %[h0]\n\t"
            "movl $0, %k[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "adcxq %[h1], %[x]\n\t"
            "movq %[x], 32(%[r])\n\t"
            "mulxq 40(%[a]), %[lo], %[h1]\n\t"
            "movl $0, %k[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "adcxq %[h0], %[x]\n\t"
            "movq %[x], 40(%[r])\n\t"
            "mulxq 48(%[a]), %[lo], %[h0]\n\t"
            "movl $0, %k[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "adcxq %[h1], %[x]\n\t"
            "movq %[x], 48(%[r])\n\t"
            "mulxq 56(%[a]), %[lo], %[h1]\n\t"
            "movl $0, %k[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "adcxq %[h0], %[x]\n\t"
            "movq %[x], 56(%[r])\n\t"
            "mulxq 64(%[a]), %[lo], %[h0]\n\t"
            "movl $0, %k[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "adcxq %[h1], %[x]\n\t"
            "movq %[x], 64(%[r])\n\t"
            "movl $0, %k[x]\n\t"
            "adcxq %[h0], %[x]\n\t"
            "movl $0, %k[lo]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "movq %[x], 72(%[r])\n\t"
            : [x] "=&r"(x), [lo] "=&r"(lo), [h0] "=&r"(h0), [h1] "=&r"(h1)
            : [a] "r"(a), [r] "r"(r), [bi] "m"(*bi)
            : "rdx", "cc", "memory");
    } else {
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
            "mulxq 48(%[a]), %[lo], %[h0]\n\t"
            "movq 48(%[r]), %[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "adcxq %[h1], %[x]\n\t"
            "movq %[x], 48(%[r])\n\t"
            "mulxq 56(%[a]), %[lo], %[h1]\n\t"
            "movq 56(%[r]), %[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "adcxq %[h0], %[x]\n\t"
            "movq %[x], 56(%[r])\n\t"
            "mulxq 64(%[a]), %[lo], %[h0]\n\t"
            "movq 64(%[r]), %[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "adcxq %[h1], %[x]\n\t"
            "movq %[x], 64(%[r])\n\t"
            "movl $0, %k[x]\n\t"
            "adcxq %[h0], %[x]\n\t"
            "movl $0, %k[lo]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "movq %[x], 72(%[r])\n\t"
            : [x] "=&r"(x), [lo] "=&r"(lo), [h0] "=&r"(h0), [h1] "=&r"(h1)
            : [a] "r"(a), [r] "r"(r), [bi] "m"(*bi)
            : "rdx", "cc", "memory");
    }
}

}  // namespace

// t (18 limbs) = a * b. Row i adds a * b[i] into t[i..i+9]; the limb
// t[i+9] it writes is untouched before, so nothing is cleared first. The
// row's sum stays below 2^(64 (i + 10)), so nothing is lost.
__attribute__((target("bmi2,adx"))) void p521_mul_wide_adx(limb* t, const limb* a, const limb* b) {
    p521_row<true>(t, a, b);
    for (size_t i = 1; i < 9; ++i) p521_row<false>(t + i, a, b + i);
}

}  // namespace velt::ecc
