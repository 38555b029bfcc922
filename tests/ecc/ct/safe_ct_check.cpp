// Constant-time check of the safe curves under valgrind memcheck: the private
// key is marked undefined, so memcheck reports any conditional branch or
// memory address that depends on it in X25519 and X448 (public key and shared
// secret, including a low-order peer whose all-zero secret is refused) and in
// Ed25519 and Ed448 key derivation and signing (the SHA-512 / SHAKE256
// expansion of the key, the scalar reduction modulo L, the fixed-base table
// scans and the point encoding). Outputs are marked defined again before they
// are compared. Built without sanitizers; run by scripts/ct-check.sh (exit
// status 0 when clean, memcheck's error exit status otherwise).
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "ecc/safecurve.h"
#include "rng/rng.h"

using namespace velt::ecc;

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAIL: %s\n", what);
        ++failures;
    }
}

template <class T>
void poison(T* p, size_t n) {
    VALGRIND_MAKE_MEM_UNDEFINED(p, n);
}
template <class T>
void unpoison(T* p, size_t n) {
    VALGRIND_MAKE_MEM_DEFINED(p, n);
}

using PubFn = long (*)(uint8_t*, const uint8_t*);
using SharedFn = long (*)(uint8_t*, const uint8_t*, const uint8_t*);

void xdh_case(const char* name, size_t len, PubFn pub, SharedFn shared) {
    std::vector<uint8_t> a(len), b(len), pa(len), pb(len), s1(len), s2(len), low(len, 0);
    for (int round = 0; round < 2; ++round) {
        rngNonce(a.data(), long(len));
        rngNonce(b.data(), long(len));
        check(pub(pb.data(), b.data()) == 0, name);
        poison(a.data(), len);
        long r1 = pub(pa.data(), a.data());
        long r2 = shared(s1.data(), a.data(), pb.data());
        // u = 0 is of low order: the all-zero result is refused.
        long r3 = shared(s2.data(), a.data(), low.data());
        unpoison(a.data(), len);
        unpoison(pa.data(), len);
        unpoison(s1.data(), len);
        unpoison(s2.data(), len);
        unpoison(&r1, sizeof r1);
        unpoison(&r2, sizeof r2);
        unpoison(&r3, sizeof r3);
        check(r1 == 0 && r2 == 0 && r3 == 11, name);
        std::vector<uint8_t> back(len);
        check(shared(back.data(), b.data(), pa.data()) == 0 && back == s1, name);
    }
}

using EdPubFn = long (*)(uint8_t*, const uint8_t*);
using EdSignFn = long (*)(uint8_t*, const uint8_t*, size_t, const uint8_t*, const uint8_t*);
using EdVerifyFn = long (*)(const uint8_t*, const uint8_t*, size_t, const uint8_t*);

long ed448_sign_pure(uint8_t* sig, const uint8_t* m, size_t n, const uint8_t* priv, const uint8_t* pub) {
    return ed448_sign(sig, m, n, priv, pub);
}
long ed448_verify_pure(const uint8_t* sig, const uint8_t* m, size_t n, const uint8_t* pub) {
    return ed448_verify(sig, m, n, pub);
}

void ed_case(const char* name, size_t len, size_t sig_len, EdPubFn pub, EdSignFn sign, EdVerifyFn verify) {
    std::vector<uint8_t> sk(len), pk(len), pk2(len), msg(100), sig(sig_len), sig2(sig_len);
    for (int round = 0; round < 2; ++round) {
        rngNonce(sk.data(), long(len));
        rngNonce(msg.data(), long(msg.size()));
        poison(sk.data(), len);
        long r1 = pub(pk.data(), sk.data());
        unpoison(pk.data(), len);  // the public key is public
        long r2 = sign(sig.data(), msg.data(), msg.size(), sk.data(), pk.data());
        long r3 = sign(sig2.data(), msg.data(), msg.size(), sk.data(), nullptr);
        unpoison(sk.data(), len);
        unpoison(sig.data(), sig_len);
        unpoison(sig2.data(), sig_len);
        unpoison(&r1, sizeof r1);
        unpoison(&r2, sizeof r2);
        unpoison(&r3, sizeof r3);
        check(r1 == 0 && r2 == 0 && r3 == 0 && sig == sig2, name);
        check(verify(sig.data(), msg.data(), msg.size(), pk.data()) == 0, name);
    }
}

}  // namespace

int main() {
    if (!RUNNING_ON_VALGRIND) std::printf("note: not running under valgrind; only results are checked\n");
    xdh_case("X25519", 32, x25519_public_key, x25519_shared_secret);
    xdh_case("X448", 56, x448_public_key, x448_shared_secret);
    ed_case("Ed25519", 32, 64, ed25519_public_key, ed25519_sign, ed25519_verify);
    ed_case("Ed448", 57, 114, ed448_public_key, ed448_sign_pure, ed448_verify_pure);
    std::printf("%s\n", failures ? "safe-curve constant-time check: results wrong"
                                 : "safe-curve constant-time check: done");
    return failures ? 1 : 0;
}
