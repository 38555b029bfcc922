// Constant-time check of signing under valgrind memcheck: the ECDSA private
// scalar d and nonce k are marked undefined around the signing step (k*G by
// the fixed-base table, r = x mod n, k^-1, s = k^-1 (e + d r), the zero
// checks), and the Ed25519 private key around ed25519_sign. memcheck reports
// any branch or memory address that depends on them. The outputs are marked
// defined again and checked by verification. Exit status 0 when clean.
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>

#include "ecc/ecc.h"
#include "ecc/safecurve.h"
#include "rng/rng.h"
#include "sig/sig.h"

namespace ecc = velt::ecc;

namespace {

int failures = 0;

void check(bool ok, const char* what, const char* curve) {
    if (!ok) {
        std::printf("FAIL: %s (%s)\n", what, curve);
        ++failures;
    }
}

// A random scalar 0 < x < n (public-time rejection before poisoning).
void random_scalar(const ecc::EC_curve& c, uint64_t* x) {
    uint8_t buf[ecc::kMaxLimbs * 8];
    const size_t nb = ecc::EC_order_bytes(c);
    do {
        rngNonce(buf, long(nb));
        buf[0] &= uint8_t(0xFF >> (nb * 8 - size_t(c.orderbits)));
        std::memset(x, 0, ecc::kMaxLimbs * sizeof(uint64_t));
        ecc::EC_num_from_bytes(c, x, buf, nb);
    } while (!ecc::EC_scalar_in_range(c, x));
}

void ecdsa_case(const char* name) {
    ecc::EC_curve c;
    if (ecc::EC_curve_lookup(&c, name) != 1) {
        check(false, "curve lookup", name);
        return;
    }
    uint64_t d[ecc::kMaxLimbs], k[ecc::kMaxLimbs], e[ecc::kMaxLimbs] = {0};
    uint64_t r[ecc::kMaxLimbs] = {0}, s[ecc::kMaxLimbs] = {0};
    random_scalar(c, d);
    ecc::EC_point Q;
    ecc::EC_point_mult_base(c, &Q, d);
    for (int round = 0; round < 2; round++) {
        random_scalar(c, k);
        uint8_t digest[64];
        rngNonce(digest, 64);
        velt::sig::ecdsaDigestToNum(c, e, digest, 64);
        VALGRIND_MAKE_MEM_UNDEFINED(d, sizeof d);
        VALGRIND_MAKE_MEM_UNDEFINED(k, sizeof k);
        long rc = velt::sig::EC_dsa_sign(c, r, s, d, k, e);
        VALGRIND_MAKE_MEM_DEFINED(&rc, sizeof rc);
        VALGRIND_MAKE_MEM_DEFINED(r, sizeof r);
        VALGRIND_MAKE_MEM_DEFINED(s, sizeof s);
        VALGRIND_MAKE_MEM_DEFINED(d, sizeof d);
        VALGRIND_MAKE_MEM_DEFINED(k, sizeof k);
        check(rc == 0, "signing step", name);
        check(velt::sig::EC_dsa_verify(c, r, s, e, Q) == 0, "signature verifies", name);
    }
}

void ed25519_case() {
    uint8_t priv[32], pub[32], sig[64];
    const uint8_t msg[] = "constant-time Ed25519 signing";
    rngNonce(priv, 32);
    ecc::ed25519_public_key(pub, priv);
    VALGRIND_MAKE_MEM_UNDEFINED(priv, sizeof priv);
    long rc = ecc::ed25519_sign(sig, msg, sizeof msg, priv, pub);
    VALGRIND_MAKE_MEM_DEFINED(&rc, sizeof rc);
    VALGRIND_MAKE_MEM_DEFINED(sig, sizeof sig);
    VALGRIND_MAKE_MEM_DEFINED(priv, sizeof priv);
    check(rc == 0, "Ed25519 sign", "Ed25519");
    check(ecc::ed25519_verify(sig, msg, sizeof msg, pub) == 0, "Ed25519 verify", "Ed25519");
}

}  // namespace

int main() {
    for (const char* name :
         {"secp256r1", "secp384r1", "secp521r1", "secp256k1", "brainpoolP256r1", "secp224r1"})
        ecdsa_case(name);
    ed25519_case();
    if (failures) return 1;
    std::printf("sig ct check: clean run\n");
    return 0;
}
