// Constant-time check of the prime-curve secret-scalar operations under
// valgrind memcheck: the private scalar is marked undefined, so memcheck
// reports any conditional branch or memory address that depends on it
// through the ECDH core (range check, reduction modulo n, window digits,
// masked table scans, complete additions, the Fermat inversion of the
// result's Z and the masked output), the fixed-base multiplication of key
// generation and signing, and the scalar inversion of signing nonces. Runs
// on the portable field code for secp256r1 and secp521r1 (dedicated fields)
// and brainpoolP256r1 (generic Montgomery field); then the variable-base
// multiplication once more through the MULX/ADX kernels of the two
// dedicated fields where the processor has them. Built without sanitizers;
// run by scripts/ct-check.sh.
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>

#include "ecc/ec_internal.h"
#include "ecc/ecc.h"
#include "rng/rng.h"
#include "util/cpu.h"

namespace {

using namespace velt::ecc;

int failures = 0;

void check(bool ok, const char* what, const char* curve) {
    if (!ok) {
        std::printf("FAIL: %s on %s\n", what, curve);
        ++failures;
    }
}

void run_curve(const char* name) {
    EC_curve c;
    if (!EC_curve_getbyname(&c, name)) {
        check(false, "curve lookup", name);
        return;
    }
    for (int round = 0; round < 2; ++round) {
        // A public peer point and a secret scalar below n.
        uint64_t e[kMaxLimbs] = {}, d[kMaxLimbs] = {};
        rngNonce(reinterpret_cast<unsigned char*>(e), long(8 * c.nlimbs));
        rngNonce(reinterpret_cast<unsigned char*>(d), long(8 * c.nlimbs));
        EC_scalar_reduce(c, d, d);
        EC_point Q;
        EC_point_mult_base(c, &Q, e);

        uint8_t out[80] = {}, want[80] = {};
        uint8_t dbytes[80];
        size_t ob = EC_order_bytes(c), fb = EC_field_bytes(c);
        EC_num_to_bytes(dbytes, ob, d, c.nlimbs);
        check(EC_ecdh(c, want, dbytes, ob, Q) == 0, "reference ECDH", name);

        VALGRIND_MAKE_MEM_UNDEFINED(d, sizeof d);
        uint64_t ok = EC_ecdh_ct(c, out, d, Q);
        EC_point R;
        EC_point_mult_base(c, &R, d);
        uint64_t inv[kMaxLimbs];
        EC_scalar_inv(c, inv, d);
        VALGRIND_MAKE_MEM_DEFINED(d, sizeof d);
        VALGRIND_MAKE_MEM_DEFINED(&ok, sizeof ok);
        VALGRIND_MAKE_MEM_DEFINED(out, sizeof out);
        VALGRIND_MAKE_MEM_DEFINED(&R, sizeof R);
        VALGRIND_MAKE_MEM_DEFINED(inv, sizeof inv);

        check(ok == ~uint64_t(0) && std::memcmp(out, want, fb) == 0, "ECDH result", name);
        EC_point R2;
        EC_point_mult(c, &R2, d, c.G);
        check(EC_point_equal(c, R, R2), "fixed-base result", name);
        uint64_t prod[kMaxLimbs], one[kMaxLimbs] = {1};
        EC_scalar_mul(c, prod, inv, d);
        check(std::memcmp(prod, one, 8 * c.nlimbs) == 0, "scalar inverse", name);
    }
}

// The MULX/ADX kernels: d * Q through a Group built with them, d poisoned.
void run_adx(const char* name) {
    EC_curve c;
    EC_curve_getbyname(&c, name);
    auto g = make_special_group(c, true);
    uint64_t d[kMaxLimbs] = {}, e[kMaxLimbs] = {};
    rngNonce(reinterpret_cast<unsigned char*>(d), long(8 * c.nlimbs));
    rngNonce(reinterpret_cast<unsigned char*>(e), long(8 * c.nlimbs));
    EC_point Q, R, want;
    EC_point_mult_base(c, &Q, e);
    EC_point_mult(c, &want, d, Q);
    VALGRIND_MAKE_MEM_UNDEFINED(d, sizeof d);
    g->mult(&R, d, Q);
    VALGRIND_MAKE_MEM_DEFINED(d, sizeof d);
    VALGRIND_MAKE_MEM_DEFINED(&R, sizeof R);
    check(std::memcmp(&R, &want, sizeof R) == 0, "MULX/ADX multiplication", name);
}

}  // namespace

int main() {
    if (!RUNNING_ON_VALGRIND) std::printf("note: not running under valgrind; only results are checked\n");
    velt::cpu::restrict_features(0);  // the portable field code
    for (const char* name : {"secp256r1", "brainpoolP256r1", "secp521r1"}) run_curve(name);
    velt::cpu::restrict_features(~0u);
    if (velt::cpu::has(velt::cpu::kBmi2 | velt::cpu::kAdx)) {
        for (const char* name : {"secp256r1", "secp521r1"}) run_adx(name);
    } else {
        std::printf("note: no BMI2/ADX here; MULX/ADX kernels not checked\n");
    }
    std::printf("%s\n",
                failures ? "ECC constant-time check: results wrong" : "ECC constant-time check: done");
    return failures ? 1 : 0;
}
