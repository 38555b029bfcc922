// Interim generator entry points over the operating system's generator, used
// until the library's own HMAC_DRBG lands.
#include <sys/random.h>

#include <cerrno>

#include "frame/error.h"
#include "rng/rng.h"

long rngFunc(unsigned char* output, long n, const unsigned char*, long) { return rngNonce(output, n); }

long rngNonce(unsigned char* output, long n) {
    if (n < 0 || (!output && n > 0)) return -PRNG_ERR_BADPARAM;
    if (n > 65536) return -PRNG_ERR_TOOBIG;
    long done = 0;
    while (done < n) {
        ssize_t r = getrandom(output + done, size_t(n - done), 0);
        if (r < 0) {
            if (errno == EINTR) continue;
            return -PRNG_ERR_FAILURE;
        }
        done += r;
    }
    return 0;
}

long rngRange(long lower, long upper) {
    int32_t lo = int32_t(lower), hi = int32_t(upper);
    if (hi <= lo) return lo;
    uint32_t range = uint32_t(hi) - uint32_t(lo) + 1;
    uint32_t v;
    if (range == 0) {
        rngNonce(reinterpret_cast<unsigned char*>(&v), 4);
        return int32_t(uint32_t(lo) + v);
    }
    uint32_t limit = UINT32_MAX - (UINT32_MAX % range);
    do {
        if (rngNonce(reinterpret_cast<unsigned char*>(&v), 4) != 0) return lo;
    } while (v >= limit);
    return int32_t(uint32_t(lo) + v % range);
}
