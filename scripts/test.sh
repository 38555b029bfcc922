#!/usr/bin/env bash
# Builds the library and its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELT_SANITIZE=ON -DVELT_BUILD_BENCH=ON
cmake --build build/asan -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/asan --output-on-failure -j "$jobs" "$@"
# Constant-time checks under valgrind (a plain build: valgrind and the
# sanitizers do not run together).
scripts/ct-check.sh build/ct
