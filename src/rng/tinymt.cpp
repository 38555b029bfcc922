// TinyMT32 (RFC 8682) with the parameter set the RFC fixes: a small,
// non-cryptographic generator for filler that needs no secrecy.
#include <pthread.h>
#include <sys/time.h>

#include <ctime>

#include "rng/internal.h"
#include "rng/rng.h"
#include "util/bytes.h"
#include "util/emem.h"

namespace {

constexpr uint32_t kMat1 = 0x8f7011ee;
constexpr uint32_t kMat2 = 0xfc78ff1f;
constexpr uint32_t kTmat = 0x3793fdff;
constexpr uint32_t kMask = 0x7fffffff;

struct TinyMT32 {
    uint32_t s[4];

    explicit TinyMT32(uint32_t seed) {
        s[0] = seed;
        s[1] = kMat1;
        s[2] = kMat2;
        s[3] = kTmat;
        for (uint32_t i = 1; i < 8; ++i) {
            uint32_t prev = s[(i - 1) & 3];
            s[i & 3] ^= i + 1812433253u * (prev ^ (prev >> 30));
        }
        // Period certification: the all-zero state is not allowed.
        if ((s[0] & kMask) == 0 && s[1] == 0 && s[2] == 0 && s[3] == 0) {
            s[0] = 'T';
            s[1] = 'I';
            s[2] = 'N';
            s[3] = 'Y';
        }
        for (int i = 0; i < 8; ++i) next_state();
    }

    void next_state() {
        uint32_t y = s[3];
        uint32_t x = (s[0] & kMask) ^ s[1] ^ s[2];
        x ^= x << 1;
        y ^= (y >> 1) ^ x;
        s[0] = s[1];
        s[1] = s[2];
        s[2] = x ^ (y << 10);
        s[3] = y;
        uint32_t m = 0u - (y & 1);
        s[1] ^= m & kMat1;
        s[2] ^= m & kMat2;
    }

    uint32_t temper() const {
        uint32_t t0 = s[3];
        uint32_t t1 = s[0] + (s[2] >> 8);
        t0 ^= t1;
        if (t1 & 1) t0 ^= kTmat;
        return t0;
    }

    uint32_t next() {
        next_state();
        return temper();
    }
};

// The calling thread's seed state: a TinyMT32 generator seeded from the
// library's generator (or, should that fail, the operating system, and last
// the time, the processor clock and the thread identifier), once per thread
// and again in a child process, which must not replay its parent's sequence.
struct ThreadSeed {
    bool ready = false;
    uint64_t generation = 0;  // fork generation when seeded
    TinyMT32 gen{0};
};
thread_local ThreadSeed t_seed;

uint32_t initial_seed() {
    uint8_t b[4];
    if (rngNonce(b, 4) == 0) return velt::load_le32(b);
    if (velt::rng::os_entropy(b, 4)) return velt::load_le32(b);
    return (uint32_t(time(nullptr)) << 20) | (uint32_t(clock()) << 16) | uint32_t(uintptr_t(pthread_self()));
}

}  // namespace

uint32_t pseudorand(uint32_t seed) {
    TinyMT32 g(seed);
    return g.next();
}

void pseudorand_bytes(unsigned char* output, size_t n, uint32_t seed) {
    TinyMT32 g(seed);
    for (size_t i = 0; i < n; ++i) output[i] = uint8_t(g.next());
    ewipe(&g, sizeof g);
}

uint32_t pseudorand_seed() {
    uint64_t generation = rng_fork_generation();
    if (!t_seed.ready || t_seed.generation != generation) {
        t_seed.gen = TinyMT32(initial_seed());
        t_seed.generation = generation;
        t_seed.ready = true;
    }
    uint32_t first = t_seed.gen.next(), second = t_seed.gen.next();
    return pseudorand((first << 16) | (second & 0xFFFF) | 0x40000);
}
