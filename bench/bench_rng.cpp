// Random bytes: RNG_Bytes (HMAC_DRBG over HMAC-SHA-512, with the slow poll,
// the continuous test and the accumulator) beside OpenSSL's RAND_bytes.
#include <benchmark/benchmark.h>
#include <openssl/rand.h>

#include "morvanevelt.h"

static void rng_bytes32_ours(benchmark::State& state) {
    unsigned char buf[32];
    for (auto _ : state) {
        benchmark::DoNotOptimize(RNG_Bytes(buf, 32, nullptr, 0));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 32);
}
BENCHMARK(rng_bytes32_ours)->Name("RNG_Bytes 32 B/ours");

static void rng_bytes32_openssl(benchmark::State& state) {
    unsigned char buf[32];
    for (auto _ : state) {
        benchmark::DoNotOptimize(RAND_bytes(buf, 32));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 32);
}
BENCHMARK(rng_bytes32_openssl)->Name("RNG_Bytes 32 B/openssl");

// The polls alone (no OpenSSL counterpart): the quick poll runs in every
// exported call, the slow poll in the random-output and key-making calls.
#include "rng/rng_poll.h"

static void quick_poll_ours(benchmark::State& state) {
    for (auto _ : state) rngPoll(0);
}
BENCHMARK(quick_poll_ours)->Name("rngPoll(0)/ours");

static void slow_poll_ours(benchmark::State& state) {
    for (auto _ : state) rngPoll(1);
}
BENCHMARK(slow_poll_ours)->Name("rngPoll(1)/ours");
