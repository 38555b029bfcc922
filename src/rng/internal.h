// Rooms of the generator subsystem: the HMAC_DRBG instance, the accumulator,
// the control block and the polls. Only src/rng includes this header.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <cstdint>

#include "hash/hash.h"

namespace velt::rng {

inline constexpr size_t kOutLen = 64;             // HMAC-SHA-512 output
inline constexpr size_t kMaxAdditional = 64;      // additional input entering a generate step
inline constexpr size_t kMaxSeedMaterial = 2112;  // seed material for instantiate and reseed
inline constexpr uint32_t kForcedReseed = 0x40000000;
inline constexpr size_t kPools = 32;
inline constexpr size_t kMaxEvent = 32;
inline constexpr size_t kOsEntropy = 32;  // operating-system bytes mixed into every (re)seed

// A byte string given by pointer and length (the parts of seed material).
struct Span {
    const uint8_t* p;
    size_t n;
};

// HMAC-SHA-512 with the key's padded blocks absorbed once: every HMAC under
// the same key then costs two compressions for a 64-byte message.
struct HmacSha512Key {
    hash::Sha512Ctx inner;
    hash::Sha512Ctx outer;
};
void hmac_key_init(HmacSha512Key& hk, const uint8_t* key, size_t key_len);
void hmac_with_key(const HmacSha512Key& hk, const Span* parts, size_t count, uint8_t out[64]);

// The HMAC_DRBG instance.
struct Drbg {
    uint8_t K[kOutLen];
    uint8_t V[kOutLen];
    uint32_t reseed_counter;  // 0 = not instantiated
    uint8_t test_block[8];    // continuous test
    pid_t pid;                // process that seeded it (0: not tracked)
    uint64_t generation;      // fork generation when it was seeded
    HmacSha512Key hk;         // K's padded blocks
};

// SP 800-90A 10.1.2 over HMAC-SHA-512. Seed material (the concatenated parts)
// is cut to 2112 bytes.
void drbg_instantiate(Drbg& d, const Span* parts, size_t count);
void drbg_reseed(Drbg& d, const Span* parts, size_t count);
// Generates n bytes; additional input beyond 64 bytes is ignored.
void drbg_generate(Drbg& d, uint8_t* out, size_t n, const uint8_t* additional, size_t additional_len);
// Zeroes the instance: 0, or -210 if K or V is not zero afterwards.
long drbg_uninstantiate(Drbg& d);

// The entropy accumulator.
struct Pool {
    hash::Sha512Ctx h;
    uint32_t bytes;   // bytes hashed since the last drain
    uint32_t drains;  // times drained
};
struct Accumulator {
    uint32_t reseed_count;
    uint32_t last_sec, last_usec;
    Pool pools[kPools];
    uint8_t next_pool[256];
};

// The process's control block.
struct Control {
    bool attached;
    uint32_t first_sec, first_usec;
    uint32_t pid;
    uint32_t instantiations;
    int32_t live;
    int32_t hardware;  // 0 not probed, -1 none or disabled, else 1 RDRAND | 2 RDSEED
    Accumulator acc;
};

// Exclusive use of the process accumulator between threads. A poll only
// tries (and skips its events when another thread is busy); draining and the
// checked AddRandomEvent wait. Held across fork so a child never inherits it
// taken.
bool accum_try_lock();
void accum_lock();
void accum_unlock();
class AccumGuard {
public:
    explicit AccumGuard(bool wait) : held_(wait ? (accum_lock(), true) : accum_try_lock()) {}
    ~AccumGuard() {
        if (held_) accum_unlock();
    }
    bool held() const { return held_; }
    AccumGuard(const AccumGuard&) = delete;
    AccumGuard& operator=(const AccumGuard&) = delete;

private:
    bool held_;
};

// The control block, attached (pools initialised) on first use.
Control& control();

// Hashes one event (source 0-255, length >= 1, at most 32 bytes used) into
// the source's next pool. Returns false for a bad source or length.
bool AddRandomEvent(Accumulator& acc, int source, const void* data, size_t length);
// AddRandomEvent without the checks and without disabling cancellation, for
// the polls: a poll holds no cancellation point, so under deferred
// cancellation (the only kind under which a library may be called) it cannot
// be interrupted; the slow poll still disables cancellation once for all its
// events.
void add_event(Accumulator& acc, uint8_t source, const void* data, size_t length);
// Source 7: H = SHA-512(D); H = SHA-512(H[0..20) || D); event of H[0..32).
void AddToAccum(Accumulator& acc, const uint8_t* data, size_t length);
// Drains the pools due at this reseed into out (up to 32 * 64 bytes);
// returns the number of bytes, 0 when no reseed is due (never when forced).
size_t Accum_GetEntropyData(Accumulator& acc, uint8_t* out, bool force);

// The 64-bit CRC that reduces system structures to 8 bytes.
uint64_t crc64(const void* data, size_t n);

// Polls (the bodies of rngPoll(0) and rngPoll(1)).
void quick_poll();
void slow_poll();

// Processor generator: probe result (1 RDRAND, 2 RDSEED, OR-ed; -1 none).
int32_t hardware_probe();
// One word from RDSEED (level includes 2) or RDRAND; 0 when the attempt failed.
uint32_t hardware_word(int32_t level);

// Fills out from getrandom; false on failure.
bool os_entropy(uint8_t* out, size_t n);

// prngGenerateRandomData on a given instance: 0 or a negative code.
long prngGenerateRandomData(Drbg& d, uint8_t* out, size_t n, const uint8_t* additional, size_t additional_len);
// The process instance's generate, serialised against other threads.
long process_generate(uint8_t* out, size_t n, const uint8_t* additional, size_t additional_len);
// Instantiates the process instance if needed: 0 or a negative code.
long process_ensure_instantiated();
// Runs fn on the process instance with the generator lock held.
template <class Fn>
long with_process_instance(Fn&& fn);
Drbg& process_instance_unlocked();
void process_lock();
void process_unlock();

template <class Fn>
long with_process_instance(Fn&& fn) {
    process_lock();
    long r = fn(process_instance_unlocked());
    process_unlock();
    return r;
}

// Keystroke entropy: the SHA-512 digest of the keystroke records into
// digest; false when no keystroke data could be gathered.
bool prngGeneratePrompt(uint8_t digest[64], const char* prompt, long options);

// Seed file operations: 0 or a negative code.
long WriteSeedFile(const char* file, const uint8_t* additional, size_t additional_len);
long UpdateSeedFile(const char* file, bool create);

// The FIPS 140-2 statistical tests on a sample, with the report written to
// report when it is not null; true when all four pass.
bool fips140_test(const uint8_t* sample, size_t n, FILE* report);

// Disables thread cancellation for a scope.
class NoCancel {
public:
    NoCancel();
    ~NoCancel();
    NoCancel(const NoCancel&) = delete;
    NoCancel& operator=(const NoCancel&) = delete;

private:
    int old_;
};

}  // namespace velt::rng
