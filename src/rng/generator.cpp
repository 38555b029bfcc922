// The process-wide generator: instantiation from the accumulator, the
// operating system and the processor; generation with the continuous test;
// fork safety; the health checks; and the entry points other subsystems call.
#include <pthread.h>
#include <sys/mman.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "frame/error.h"
#include "rng/internal.h"
#include "rng/rng.h"
#include "util/bytes.h"
#include "util/ct.h"
#include "util/emem.h"

namespace velt::rng {
namespace {

constexpr char kPersonalisation[] = "morvane-prng-v2.1.0";
constexpr const char* kEnvNames[] = {"USERNAME", "COMPUTERNAME", "USERDOMAIN", "HOMEPATH", "PROCESSOR_IDENTIFIER",
                                     "NUMBER_OF_PROCESSORS", "USER", "LOGNAME", "HOME", "PWD", "SHELL",
                                     "WINDOWSID", "TERM", "PATH"};

std::mutex g_lock;  // serialises threads that share the process instance

// Counts the forks this process descends from (since the library was loaded
// in its first ancestor). A child process bumps it before it runs anything
// else, so state seeded under an older generation is known to be inherited
// whatever the child's process ID: an ID can come round again once the
// process that had it has ended.
std::atomic<uint64_t> g_fork_generation{0};

// The process instance, on pages of its own (mapped on first use, under
// g_lock) that the kernel zeroes in a child where it has MADV_WIPEONFORK, and
// keeps out of core dumps where it has MADV_DONTDUMP. Without either (or when
// the mapping fails) the instance stays in ordinary memory and the fork
// generation alone marks it inherited.
Drbg g_static_instance;
Drbg* g_instance = nullptr;

Drbg* map_instance() {
    long page = sysconf(_SC_PAGESIZE);
    if (page <= 0) return &g_static_instance;
    size_t size = (sizeof(Drbg) + size_t(page) - 1) / size_t(page) * size_t(page);
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return &g_static_instance;
#ifdef MADV_WIPEONFORK
    (void)madvise(p, size, MADV_WIPEONFORK);  // older kernels: EINVAL, the generation still applies
#endif
#ifdef MADV_DONTDUMP
    (void)madvise(p, size, MADV_DONTDUMP);
#endif
    return new (p) Drbg{};
}

Drbg& instance() {
    if (!g_instance) g_instance = map_instance();
    return *g_instance;
}

// A fork taken while another thread generates must not leave the child with
// the lock held (or a half-updated instance): fork waits for the lock.
// The same holds for the accumulator (taken second, as generation does).
// The child marks itself a new generation before releasing them.
const int g_atfork = pthread_atfork(
    [] {
        g_lock.lock();
        accum_lock();
    },
    [] {
        accum_unlock();
        g_lock.unlock();
    },
    [] {
        g_fork_generation.fetch_add(1, std::memory_order_relaxed);
        accum_unlock();
        g_lock.unlock();
    });

// An instance seeded in another process (an ancestor): a later fork
// generation, or a changed process ID (a child made without the fork
// handlers, by a raw clone). Instances not tied to the process (pid 0, the
// health-check instance) are never inherited state.
bool inherited(const Drbg& d) {
    if (d.reseed_counter == 0 || d.pid == 0) return false;
    return d.generation != g_fork_generation.load(std::memory_order_relaxed) || d.pid != getpid();
}

// Personalisation string: SHA-512 over the product string, the set
// environment variables as name=value and the root file system's identifier.
void personalisation(uint8_t out[64]) {
    hash::Sha512Ctx c;
    hash::sha512_init(c);
    hash::sha512_update(c, reinterpret_cast<const uint8_t*>(kPersonalisation), sizeof kPersonalisation - 1);
    for (const char* name : kEnvNames) {
        const char* v = getenv(name);
        if (!v) continue;
        hash::sha512_update(c, reinterpret_cast<const uint8_t*>(name), strlen(name));
        hash::sha512_update(c, reinterpret_cast<const uint8_t*>("="), 1);
        hash::sha512_update(c, reinterpret_cast<const uint8_t*>(v), strlen(v));
    }
    struct statvfs sv;
    memset(&sv, 0, sizeof sv);
    statvfs("/", &sv);
    uint8_t fsid[4];
    store_le32(fsid, uint32_t(sv.f_fsid));
    hash::sha512_update(c, fsid, 4);
    hash::sha512_final(c, out);
}

// Control_InstantiateGen for the process instance.
long Control_InstantiateGen(Drbg& d) {
    Control& ctl = control();
    if (ctl.hardware == 0) ctl.hardware = hardware_probe();
    if (prngHealthCheck(0) != 0) return -PRNG_ERR_CATASTROPHIC;

    // Drained pools, then fresh operating-system entropy.
    SecureBytes seed(kPools * 64 + kOsEntropy);
    size_t got = Accum_GetEntropyData(ctl.acc, seed.data(), true);
    if (got == 0) return -PRNG_ERR_CATASTROPHIC;
    if (!os_entropy(seed.data() + got, kOsEntropy)) {
        eprintf("operating-system entropy unavailable");
        return -PRNG_ERR_CATASTROPHIC;
    }
    got += kOsEntropy;

    uint8_t pers[64];
    velt::WipeOnExit wp(pers, sizeof pers);
    personalisation(pers);

    // Nonce: time and process id (of the first instantiation for the first,
    // of this one for later ones) and the instantiation count.
    uint8_t nonce[16];
    {
        NoCancel guard;
        struct timeval tv;
        gettimeofday(&tv, nullptr);
        uint32_t pid = uint32_t(getpid());
        if (ctl.instantiations == 0) {
            ctl.first_sec = uint32_t(tv.tv_sec);
            ctl.first_usec = uint32_t(tv.tv_usec);
            ctl.pid = pid;
            ctl.instantiations = 1;
            store_le32(nonce, ctl.first_sec);
            store_le32(nonce + 4, ctl.first_usec);
            store_le32(nonce + 8, ctl.pid);
        } else {
            ctl.instantiations++;
            store_le32(nonce, uint32_t(tv.tv_sec));
            store_le32(nonce + 4, uint32_t(tv.tv_usec));
            store_le32(nonce + 8, pid);
        }
        store_le32(nonce + 12, ctl.instantiations);
    }

    Span parts[3] = {{seed.data(), got}, {nonce, sizeof nonce}, {pers, sizeof pers}};
    drbg_instantiate(d, parts, 3);
    d.pid = getpid();
    d.generation = g_fork_generation.load(std::memory_order_relaxed);

    if (ctl.hardware > 0) {
        uint8_t hw[32];
        for (int i = 0; i < 8; ++i) store_le32(hw + 4 * i, hardware_word(ctl.hardware));
        Span h{hw, sizeof hw};
        drbg_reseed(d, &h, 1);
        AddToAccum(ctl.acc, hw, sizeof hw);
        ewipe(hw, sizeof hw);
    }
    ctl.live++;
    return 0;
}

// Reseeds from the accumulator when a reseed is due (forced at 2^30
// requests), mixing in operating-system entropy and the additional input.
long accumulator_reseed(Drbg& d, const uint8_t* additional, size_t additional_len) {
    Control& ctl = control();
    // Most requests find no reseed due: the buffer is written (and wiped)
    // only when pools were drained.
    uint8_t seed[kPools * 64 + kOsEntropy];
    size_t got = Accum_GetEntropyData(ctl.acc, seed, d.reseed_counter >= kForcedReseed);
    if (got == 0) return 0;
    velt::WipeOnExit wipe(seed, got + kOsEntropy);
    if (!os_entropy(seed + got, kOsEntropy)) {
        eprintf("operating-system entropy unavailable");
        return -PRNG_ERR_CATASTROPHIC;
    }
    got += kOsEntropy;
    Span parts[2] = {{seed, got}, {additional, additional ? additional_len : 0}};
    drbg_reseed(d, parts, 2);
    return 0;
}

// Drops an instance inherited from a parent process.
void discard_inherited(Drbg& d) {
    drbg_uninstantiate(d);
    control().live--;
}

}  // namespace

long prngGenerateRandomData(Drbg& d, uint8_t* out, size_t n, const uint8_t* additional, size_t additional_len) {
    if (n > size_t(kRngMaxRequest)) return -PRNG_ERR_TOOBIG;
    quick_poll();
    // A child process must never repeat its parent's output: inherited
    // state is discarded and the instance seeded afresh (operating-system
    // entropy included) before the first output.
    if (inherited(d)) discard_inherited(d);
    if (d.reseed_counter == 0) {
        long r = Control_InstantiateGen(d);
        if (r != 0) return r;
        drbg_generate(d, d.test_block, sizeof d.test_block, nullptr, 0);
    }
    long r = accumulator_reseed(d, additional, additional_len);
    if (r != 0) return r;
    drbg_generate(d, out, n, additional, additional_len);

    // Continuous test (FIPS 140-2 4.9.2): the first bytes of each request
    // against a block drawn just before it.
    uint8_t block[8] = {0};
    if (n > 0) memcpy(block, out, n < 8 ? n : 8);
    bool repeated = velt::ct::equal(block, d.test_block, 8);
    ewipe(block, sizeof block);
    if (repeated) {
        ewipe(out, n);
        eprintf("RNG failed continuous testing");
        return -PRNG_ERR_CATASTROPHIC;
    }
    drbg_generate(d, d.test_block, sizeof d.test_block, nullptr, 0);

    if (additional && additional_len) AddToAccum(control().acc, additional, additional_len);
    quick_poll();
    return 0;
}

Drbg& process_instance_unlocked() { return instance(); }
void process_lock() { g_lock.lock(); }
void process_unlock() { g_lock.unlock(); }

long process_generate(uint8_t* out, size_t n, const uint8_t* additional, size_t additional_len) {
    std::lock_guard<std::mutex> hold(g_lock);
    long r = prngGenerateRandomData(instance(), out, n, additional, additional_len);
    if (r != 0 && out) ewipe(out, n);
    return r;
}

long process_ensure_instantiated() {
    std::lock_guard<std::mutex> hold(g_lock);
    Drbg& d = instance();
    if (inherited(d)) discard_inherited(d);
    if (d.reseed_counter != 0) return 0;
    long r = Control_InstantiateGen(d);
    if (r == 0) drbg_generate(d, d.test_block, sizeof d.test_block, nullptr, 0);
    return r;
}

}  // namespace velt::rng

using namespace velt::rng;

uint64_t rng_fork_generation() { return g_fork_generation.load(std::memory_order_relaxed); }

long rngFunc(unsigned char* output, long n, const unsigned char* additional, long additional_len) {
    if (n < 0 || (!output && n > 0) || additional_len < 0) return -PRNG_ERR_BADPARAM;
    if (n > kRngMaxRequest) return -PRNG_ERR_TOOBIG;
    if (!additional) additional_len = 0;
    return process_generate(output, size_t(n), additional, size_t(additional_len));
}

long rngNonce(unsigned char* output, long n) { return rngFunc(output, n, nullptr, 0); }

long rngKeyMaterial(unsigned char* output, long n) {
    uint8_t fresh[kOsEntropy];
    velt::WipeOnExit w(fresh, sizeof fresh);
    if (!os_entropy(fresh, sizeof fresh)) {
        if (output && n > 0) ewipe(output, size_t(n));
        return -PRNG_ERR_CATASTROPHIC;
    }
    return rngFunc(output, n, fresh, sizeof fresh);
}

long rng_bytes(unsigned char* output, long n, const unsigned char* additional, long additional_len) {
    if (!output || n < 0) return BAD_PARAM_ERROR;
    if (n > kRngMaxRequest) return PRNG_ERR_TOOBIG;
    rngPoll(0);
    if (!additional || additional_len < 0) additional_len = 0;
    long r = process_generate(output, size_t(n), additional, size_t(additional_len));
    if (r != 0) event_log_error("RNG failed continuous testing", -1073733816);
    return r;
}

long rngRange(long lower, long upper) {
    int32_t lo = int32_t(lower), hi = int32_t(upper);
    if (hi <= lo) return lo;
    uint32_t range = uint32_t(hi) - uint32_t(lo) + 1;
    uint32_t mask;
    if (range == 0) {
        range = uint32_t(hi) - uint32_t(lo);
        mask = 0xFFFFFFFFu;
    } else {
        mask = 0;
        while (mask < range - 1) mask = (mask << 1) | 1;
    }
    uint32_t value = 0;
    for (int i = 0; i < 25; ++i) {
        uint8_t b[4];
        long r = rngNonce(b, 4);
        if (r != 0) {
            errset(r);
            return lo;
        }
        value = velt::load_le32(b) & mask;
        if (value < range) return int32_t(uint32_t(lo) + value);
    }
    value %= range;
    return int32_t(uint32_t(lo) + value);
}

long rng_number(long lower, long upper) { return rngRange(lower, upper); }

long rng_guid(char* output, long declared, long) {
    if (!output || declared <= 0) return 36;
    if (declared < 36) return -SHORT_BUF_ERROR;
    uint8_t b[16];
    long r = rngNonce(b, 16);
    if (r != 0) return r;
    b[6] = uint8_t((b[6] & 0x0F) | 0x40);
    b[8] = uint8_t((b[8] & 0x3F) | 0x80);
    static const char kHex[] = "0123456789abcdef";
    char* p = output;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) *p++ = '-';
        *p++ = kHex[b[i] >> 4];
        *p++ = kHex[b[i] & 15];
    }
    *p = '\0';
    return 36;
}
