#!/usr/bin/env bash
# Data-race check: builds test programs with ThreadSanitizer and runs their
# multi-threaded tests: several threads calling exported functions that fail
# and succeed, all sharing the process-wide error record, and threads racing
# for the entries of the prepared RSA and elliptic-curve key caches. Any
# report fails the script. Usage: scripts/tsan-check.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build/tsan}"
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELT_SANITIZE=OFF -DVELT_BUILD_BENCH=OFF \
      -DVELT_BUILD_EXAMPLES=OFF "-DCMAKE_CXX_FLAGS=-fsanitize=thread -fno-omit-frame-pointer" \
      "-DCMAKE_C_FLAGS=-fsanitize=thread" "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread" \
      "-DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread" "${launcher[@]}" >/dev/null
cmake --build "$dir" --target test_frame test_rsa test_sig
# halt_on_error makes the first report fail the run; exitcode 66 marks it.
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 ${TSAN_OPTIONS:-}"
"$dir/tests/test_frame" --gtest_filter='Threads.*' --gtest_brief=1
"$dir/tests/test_rsa" --gtest_filter='RsaKeyCache.Threads*' --gtest_brief=1
"$dir/tests/test_sig" --gtest_filter='EcKeyCache.Threads*' --gtest_brief=1
echo "tsan-check: no data race reported"
