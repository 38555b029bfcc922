// The polls that feed system events into the accumulator. The quick poll runs
// on every exported call, so its common path makes no system call: the time
// comes through the vDSO, and the times() value and the sysinfo CRC are
// refreshed at most once a millisecond.
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/time.h>
#include <sys/times.h>

#include <cstring>

#include "rng/internal.h"
#include "rng/rng_poll.h"
#include "util/bytes.h"

namespace velt::rng {
namespace {

struct PollCache {
    bool valid;
    uint64_t stamp_us;  // gettimeofday time of the last refresh
    uint8_t times_value[8];
    uint8_t sysinfo_crc[8];
};
PollCache g_cache;

uint64_t micros(const struct timeval& tv) { return uint64_t(tv.tv_sec) * 1000000u + uint64_t(tv.tv_usec); }

void read_times(uint8_t out[8]) {
    struct tms t;
    clock_t c = times(&t);
    store_le64(out, uint64_t(c));
}

void read_sysinfo(uint8_t out[8]) {
    struct sysinfo si;
    memset(&si, 0, sizeof si);
    sysinfo(&si);
    store_le64(out, crc64(&si, sizeof si));
}

void read_statvfs(uint8_t out[8]) {
    struct statvfs sv;
    memset(&sv, 0, sizeof sv);
    statvfs("/", &sv);
    store_le64(out, crc64(&sv, sizeof sv));
}

void add_time(Accumulator& acc, struct timeval* tv_out) {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    uint8_t b[16];
    store_le64(b, uint64_t(tv.tv_sec));
    store_le64(b + 8, uint64_t(tv.tv_usec));
    add_event(acc, 0, b, sizeof b);
    if (tv_out) *tv_out = tv;
}

}  // namespace

void quick_poll() {
    // A thread that finds another thread using the accumulator skips its
    // poll rather than interleave writes into the same pool.
    AccumGuard g(false);
    if (!g.held()) return;
    Accumulator& acc = control().acc;
    struct timeval tv;
    add_time(acc, &tv);
    uint64_t now = micros(tv);
    // times() and sysinfo() are system calls: they are read, and their
    // events added, at most once a millisecond. Adding an unchanged value
    // again would bring no new information into the pools.
    if (!g_cache.valid || now - g_cache.stamp_us >= 1000 || now < g_cache.stamp_us) {
        read_times(g_cache.times_value);
        read_sysinfo(g_cache.sysinfo_crc);
        g_cache.stamp_us = now;
        g_cache.valid = true;
        add_event(acc, 1, g_cache.times_value, 8);
        add_event(acc, 2, g_cache.sysinfo_crc, 8);
    }
}

void slow_poll() {
    // A thread that finds another thread using the accumulator skips its
    // poll rather than interleave writes into the same pool.
    AccumGuard g(false);
    if (!g.held()) return;
    NoCancel no_cancel;
    Control& ctl = control();
    Accumulator& acc = ctl.acc;
    uint8_t b[8];
    add_time(acc, nullptr);
    read_times(b);
    add_event(acc, 1, b, 8);
    read_sysinfo(b);
    add_event(acc, 2, b, 8);
    read_statvfs(b);
    add_event(acc, 3, b, 8);
    add_time(acc, nullptr);
    read_times(b);
    add_event(acc, 1, b, 8);
    if (ctl.hardware > 0) {
        uint32_t w = hardware_word(ctl.hardware);
        if (w != 0) {
            store_le32(b, w);
            add_event(acc, 8, b, 4);
        }
    }
}

}  // namespace velt::rng

void rngPoll(int level) {
    if (level < 0 && (level & 1)) return;
    if (level & 1)
        velt::rng::slow_poll();
    else
        velt::rng::quick_poll();
}
