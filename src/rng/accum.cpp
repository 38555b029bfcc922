// The entropy accumulator: 32 pools of running SHA-512 state fed by system
// events, drained in the manner of Fortuna (pool i takes part in a reseed
// only when 2^i divides the reseed count).
#include <pthread.h>
#include <sched.h>
#include <sys/random.h>
#include <sys/time.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "rng/internal.h"
#include "util/bytes.h"
#include "util/emem.h"

namespace velt::rng {

NoCancel::NoCancel() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &old_); }
NoCancel::~NoCancel() { pthread_setcancelstate(old_, nullptr); }

namespace {

Control g_control{};

// Attaches the control block: the pools' hash states are initialised once,
// before the first event (thread-safe through the static's guard).
bool attach_control() {
    for (Pool& p : g_control.acc.pools) {
        hash::sha512_init(p.h);
        p.bytes = 0;
        p.drains = 0;
    }
    g_control.attached = true;
    return true;
}

}  // namespace

namespace {
std::atomic_flag g_accum_busy = ATOMIC_FLAG_INIT;
}  // namespace

bool accum_try_lock() { return !g_accum_busy.test_and_set(std::memory_order_acquire); }
void accum_lock() {
    while (g_accum_busy.test_and_set(std::memory_order_acquire)) sched_yield();
}
void accum_unlock() { g_accum_busy.clear(std::memory_order_release); }

Control& control() {
    static const bool attached = attach_control();
    (void)attached;
    return g_control;
}

namespace {

// Table of the reflected CRC with polynomial constant 0xD000000000000001:
// entry i is the CRC register after shifting the byte i through eight bit
// steps, so a whole byte costs one lookup.
struct Crc64Table {
    uint64_t t[256];
    constexpr Crc64Table() : t{} {
        for (uint64_t i = 0; i < 256; ++i) {
            uint64_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xD000000000000001ULL : c >> 1;
            t[i] = c;
        }
    }
};
constexpr Crc64Table kCrc64;

}  // namespace

uint64_t crc64(const void* data, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint64_t crc = 0;
    for (size_t i = 0; i < n; ++i) crc = kCrc64.t[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

void add_event(Accumulator& acc, uint8_t source, const void* data, size_t length) {
    size_t n = length < kMaxEvent ? length : kMaxEvent;
    uint8_t idx = acc.next_pool[source];
    acc.next_pool[source] = uint8_t((idx + 1) % kPools);
    Pool& pool = acc.pools[idx];
    // The source number, the used length and the data, as one message.
    uint8_t rec[2 + kMaxEvent];
    rec[0] = uint8_t(source);
    rec[1] = uint8_t(n);
    memcpy(rec + 2, data, n);
    hash::sha512_update(pool.h, rec, n + 2);
    pool.bytes += uint32_t(n + 2);
    // rec is not wiped: the pool's hash buffer holds the same bytes.
}

bool AddRandomEvent(Accumulator& acc, int source, const void* data, size_t length) {
    if (source < 0 || source > 255 || length < 1 || !data) return false;
    AccumGuard lock(true);
    NoCancel guard;
    add_event(acc, uint8_t(source), data, length);
    return true;
}

void AddToAccum(Accumulator& acc, const uint8_t* data, size_t length) {
    uint8_t h[64];
    hash::Sha512Ctx c;
    hash::sha512_init(c);
    if (length) hash::sha512_update(c, data, length);
    hash::sha512_final(c, h);
    hash::sha512_init(c);
    hash::sha512_update(c, h, 20);
    if (length) hash::sha512_update(c, data, length);
    hash::sha512_final(c, h);
    AddRandomEvent(acc, 7, h, 32);
    ewipe(h, sizeof h);
    ewipe(&c, sizeof c);
}

size_t Accum_GetEntropyData(Accumulator& acc, uint8_t* out, bool force) {
    AccumGuard lock(true);
    NoCancel guard;
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    if (!force && acc.reseed_count != 0) {
        if (acc.pools[0].bytes < 32) return 0;
        long elapsed_ms;
        if (uint32_t(tv.tv_sec) != acc.last_sec)
            elapsed_ms = uint32_t(tv.tv_sec) > acc.last_sec ? 1000 : -1000;
        else
            elapsed_ms = (long(tv.tv_usec) - long(acc.last_usec)) / 1000;
        if (elapsed_ms <= 100) return 0;
    }
    acc.reseed_count++;
    acc.last_sec = uint32_t(tv.tv_sec);
    acc.last_usec = uint32_t(tv.tv_usec);
    size_t produced = 0;
    for (size_t i = 0; i < kPools; ++i) {
        if (i > 0 && (acc.reseed_count & ((uint32_t(1) << i) - 1)) != 0) break;
        Pool& p = acc.pools[i];
        p.drains++;
        uint8_t cnt[4];
        store_le32(cnt, p.drains);
        hash::sha512_update(p.h, cnt, 4);
        hash::sha512_final(p.h, out + produced);
        produced += 64;
        p.bytes = 0;
        hash::sha512_init(p.h);
    }
    return produced;
}

bool os_entropy(uint8_t* out, size_t n) {
    size_t done = 0;
    while (done < n) {
        ssize_t r = getrandom(out + done, n - done, 0);
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += size_t(r);
    }
    return true;
}

}  // namespace velt::rng
