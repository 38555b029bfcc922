// The process-wide cache of prepared keys, looked up by key string: callers
// hand over the same key string on every call, so the unwrapping, parsing
// and Montgomery set-up are paid once per string rather than per call.
//
// An entry is found by a keyed digest of the string (HMAC-SHA-256 under a
// per-process random key, so the digest is no stable fingerprint of the
// key) and holds the key record, its prepared form and, for a private key,
// a blinding pair that never leaves the entry. At most kRsaCacheEntries
// entries; the least recently used goes first. An entry's memory is wiped
// when it is dropped: on eviction (once its last user is done), at library
// unload and, in a child process after fork, before the child's first use
// of the cache. A string that does not read as a key is never cached.
// Internal to src/rsa.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "rsa/rsa.h"
#include "rsa/rsa_int.h"

inline constexpr size_t kRsaCacheEntries = 32;
// A blinding pair is drawn afresh after this many uses (squared in between).
inline constexpr unsigned kRsaBlindingUses = 32;

struct RsaCacheEntry;
using RsaCacheRef = std::shared_ptr<RsaCacheEntry>;

// The entry of a private (rsaMakePrivateKeyFromB64 rules) or public
// (rsaMakePublicKeyFromB64 rules) key string: 0, or the reader's code with
// ref left empty.
long rsaCacheGetPrivate(RsaCacheRef& ref, const char* keyString);
long rsaCacheGetPublic(RsaCacheRef& ref, const char* keyString);
// The entry's key record (read only).
const RsaKey* rsaCacheKey(const RsaCacheRef& ref);
// rsaPrivateRaw and rsaPublicRaw on an entry (same contracts and results).
long rsaCachePrivateRaw(const RsaCacheRef& ref, unsigned char* out, size_t* outlen, const unsigned char* in,
                        size_t inlen);
long rsaCachePublicRaw(const RsaCacheRef& ref, unsigned char* out, size_t* outlen, const unsigned char* in,
                       size_t inlen);

// The key of one operation: a cache entry for an internal key string, else
// a record the caller reads into rec.
struct RsaOpKey {
    RsaCacheRef ref;
    RsaKeyHolder rec;
    const RsaKey* get() const { return ref ? rsaCacheKey(ref) : rec.get(); }
    long private_raw(unsigned char* out, size_t* outlen, const unsigned char* in, size_t inlen) const {
        return ref ? rsaCachePrivateRaw(ref, out, outlen, in, inlen)
                   : rsaPrivateRaw(rec.get(), out, outlen, in, inlen);
    }
    long public_raw(unsigned char* out, size_t* outlen, const unsigned char* in, size_t inlen) const {
        return ref ? rsaCachePublicRaw(ref, out, outlen, in, inlen)
                   : rsaPublicRaw(rec.get(), out, outlen, in, inlen);
    }
};

// For tests: drop every entry; the number of entries; the limb arrays of a
// key string's entry (empty when it is not cached; secret: p, q, the CRT
// values, the contexts' moduli and R^2 values, the blinding pair); the
// blinding pair the
// next private operation of that entry will use (r^e then r^-1, empty when
// none is drawn); and a function called with each limb array of an entry
// as it is dropped, after the wipe.
void rsaCacheClear();
size_t rsaCacheSize();
struct RsaCacheRegion {
    void* p;
    size_t n;
    bool secret;
};
std::vector<RsaCacheRegion> rsaCacheRegions(const char* keyString, bool priv);
std::vector<uint64_t> rsaCacheBlindingPair(const char* keyString);
void rsaCacheSetWipeObserver(void (*observer)(const void* p, size_t n));
