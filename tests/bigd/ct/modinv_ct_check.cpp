// Constant-time check of the limb-layer modular inverse under valgrind
// memcheck: the operand and the modulus are marked undefined, so memcheck
// reports any conditional branch or memory address that depends on them.
// Valgrind presents a processor without AVX-512, so the portable path is the
// one checked. Built without sanitizers; run by scripts/ct-check.sh (exit
// status 0 when clean, memcheck's error exit status otherwise).
#include <valgrind/memcheck.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "bigd/limbs.h"
#include "bigd/modinv.h"
#include "util/cpu.h"

using velt::bigd::limb;

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAIL: %s\n", what);
        ++failures;
    }
}

void poison(const void* p, size_t n) {
    VALGRIND_MAKE_MEM_UNDEFINED(p, n);
}
void unpoison(const void* p, size_t n) {
    VALGRIND_MAKE_MEM_DEFINED(p, n);
}

uint64_t state = 0x2545f4914f6cdd1dull;
limb next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

// a r mod m == 1, by a full product and a division.
bool is_inverse(const std::vector<limb>& a, const std::vector<limb>& r, const std::vector<limb>& m) {
    size_t n = m.size();
    std::vector<limb> prod(2 * n), q(n + 1), rem(n);
    velt::bigd::mul(prod.data(), a.data(), n, r.data(), n);
    velt::bigd::divrem(q.data(), rem.data(), prod.data(), 2 * n, m.data(), n);
    for (size_t i = 0; i < n; ++i)
        if (rem[i] != (i == 0 ? 1u : 0u)) return false;
    return true;
}

// One inversion with a and m secret: a random odd modulus of n full limbs
// and a random a below it; with common_factor, a = 6 and m a multiple of 3.
void inverse_case(size_t n, bool common_factor) {
    std::vector<limb> m(n), a(n), r(n);
    for (auto& x : m) x = next();
    m[n - 1] |= limb(1) << 63;
    m[0] |= 1;
    for (auto& x : a) x = next();
    a[n - 1] >>= 1;
    if (common_factor) {
        m[n - 1] >>= 2;
        velt::bigd::mul_1(m.data(), m.data(), n, 3);  // 3 times an odd number below 2^(64n - 2)
        for (auto& x : a) x = 0;
        a[0] = 6;
    }

    poison(a.data(), n * sizeof(limb));
    poison(m.data(), n * sizeof(limb));
    limb ok = velt::bigd::modinv_odd_ct(r.data(), a.data(), m.data(), n);
    unpoison(&ok, sizeof ok);
    unpoison(r.data(), n * sizeof(limb));
    unpoison(a.data(), n * sizeof(limb));
    unpoison(m.data(), n * sizeof(limb));

    if (common_factor) {
        bool zero = true;
        for (limb x : r) zero = zero && x == 0;
        check(ok == 0 && zero, "no inverse when gcd(a, m) = 3");
    } else {
        check(ok == ~limb(0) && is_inverse(a, r, m), "inverse of a random a");
    }
}

}  // namespace

int main() {
    if (!RUNNING_ON_VALGRIND) std::printf("note: not running under valgrind; only results are checked\n");
    std::printf("path: %s\n", velt::cpu::has(velt::cpu::kAvx512f) ? "AVX-512" : "portable");
    inverse_case(32, false);  // 2048 bits, the RSA blinding size
    inverse_case(17, false);
    inverse_case(32, true);
    std::printf("%s\n", failures ? "constant-time check: results wrong" : "constant-time check: done");
    return failures ? 1 : 0;
}
