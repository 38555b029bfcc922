// Per-call cost of the exported-call frame: a function that does nothing else.
#include <benchmark/benchmark.h>
#include <openssl/err.h>

#include "morvanevelt.h"

static void frame_ours(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(VELT_ErrorCode());
}
BENCHMARK(frame_ours)->Name("VELT_ErrorCode/ours");

static void frame_openssl(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ERR_peek_error());
}
BENCHMARK(frame_openssl)->Name("VELT_ErrorCode/openssl");
