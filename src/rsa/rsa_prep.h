// A key record prepared for the raw operations: its numbers as 64-bit limbs
// and the Montgomery contexts of n, p and q with their R^2 values, so that
// an operation on a prepared key does no parsing and no set-up. Shared by
// the raw operations on key records (a key prepared per call) and the key
// cache (a key prepared once per key string). Internal to src/rsa.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "bigd/limbs.h"
#include "bigd/mont52.h"
#include "rsa/rsa.h"
#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#define VELT_HAVE_MEMCHECK 1
#endif

// Marks a value derived from secrets as public for memcheck's
// constant-time check (a no-op outside valgrind): used only for outcomes
// that are public by design.
inline void rsa_declassify([[maybe_unused]] const void* p, [[maybe_unused]] size_t n) {
#ifdef VELT_HAVE_MEMCHECK
    VALGRIND_MAKE_MEM_DEFINED(p, n);
#endif
}

struct RsaPrepared {
    // The limb form applies: an odd n of at least 3 for the public part; for
    // the private part also p, q and the CRT values (else the record's d is
    // used through the digit layer).
    bool pub_ready = false, crt_ready = false;
    size_t nn = 0, ne = 0, np = 0, nq = 0;
    velt::bigd::LimbVec n, e, p, q, dP, dQ, qi;  // qi = qInv mod p
    // The 64-bit contexts (copied per operation: their products use a
    // scratch row) and, on processors with AVX-512 IFMA, the radix-2^52
    // ones (read-only in use), taken while those instructions are enabled.
    std::unique_ptr<velt::bigd::Mont> mn, mp, mq;
    std::unique_ptr<velt::bigd::Mont52> fn, fp, fq;

    // The limb arrays, for wiping and for tests: n, e, then the secret ones
    // (p, q, dP, dQ, qi and the moduli and R^2 values of the 64-bit
    // contexts of p and q) where present.
    struct Region {
        void* p;
        size_t n;
        bool secret;
    };
    std::vector<Region> regions();
    void wipe();
};

// Prepares the public part of a record (n, e): 0, or 14 for a null key.
long rsaPreparePublic(RsaPrepared& pk, const RsaKey* key);
// Prepares the private part as well: 0, 14, or 6 for oversized CRT values.
// Runs without branches on the private values (the sizes are public).
long rsaPreparePrivate(RsaPrepared& pk, const RsaKey* key);

// A blinding pair for RFC 8017 base blinding: a = r^e mod n and
// ai = r^-1 mod n for r uniform in [1, n) and invertible, each nn limbs.
// Generator output is drawn with `extra` as additional input. 0 or 24.
long rsaBlindingDraw(const RsaPrepared& pk, velt::bigd::limb* a, velt::bigd::limb* ai,
                     const unsigned char* extra, size_t extra_len);
// (a, ai) = (a^2, ai^2) mod n: the next pair of the same kind.
void rsaBlindingSquare(const RsaPrepared& pk, velt::bigd::limb* a, velt::bigd::limb* ai);

// The raw operations on a prepared key (contracts of rsaPublicRaw and
// rsaPrivateRaw); the private one takes a blinding pair that no other
// operation uses at the same time. Both need pub_ready, the private one
// crt_ready too.
long rsaPreparedPublicRaw(const RsaPrepared& pk, unsigned char* out, size_t k, const unsigned char* in,
                          size_t inlen);
long rsaPreparedPrivateRaw(const RsaPrepared& pk, unsigned char* out, size_t k, const unsigned char* in,
                           size_t inlen, const velt::bigd::limb* a, const velt::bigd::limb* ai);
