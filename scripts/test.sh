#!/usr/bin/env bash
# Runs every test: the constant-time checks under valgrind (a plain build,
# since valgrind and the sanitizers do not run together), the data-race check
# of the error record under ThreadSanitizer, each fuzz target for a bounded
# time, then the library and its tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer, all run through ctest.
# VELT_FUZZ_SECONDS sets the time per fuzz target (default 60; 0 skips fuzzing).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

scripts/ct-check.sh build/ct
scripts/tsan-check.sh build/tsan

fuzz_seconds=${VELT_FUZZ_SECONDS:-60}
if [ "$fuzz_seconds" != 0 ]; then
    scripts/fuzz.sh "$fuzz_seconds"
fi

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELT_SANITIZE=ON -DVELT_BUILD_BENCH=ON
cmake --build build/asan -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/asan --output-on-failure -j "$jobs" "$@"
