#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) in build/fuzz and runs each for a bounded time.
#   scripts/fuzz.sh [seconds per target, default 60] [target ...]
# Seeds come from fuzz/corpus/<target>; new inputs are kept in
# build/fuzz/corpus/<target>, crashes in build/fuzz/artifacts/<target>.
# Exits non-zero when any target finds a crash.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
build=build/fuzz
CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELT_BUILD_FUZZ=ON -DVELT_BUILD_TESTS=OFF -DVELT_BUILD_EXAMPLES=OFF -DVELT_BUILD_BENCH=OFF >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for src in fuzz/fuzz_*.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for t in "${targets[@]}"; do
    corpus="$build/corpus/$t"
    artifacts="$build/artifacts/$t"
    mkdir -p "$corpus" "$artifacts"
    seeds=()
    [ -d "fuzz/corpus/$t" ] && seeds=("fuzz/corpus/$t")
    echo "== $t (${seconds}s)"
    if ! "$build/fuzz/$t" "$corpus" "${seeds[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=65536 -artifact_prefix="$artifacts/" -print_final_stats=1 2>"$build/$t.log"; then
        echo "!! $t failed; see $build/$t.log and $artifacts"
        tail -n 40 "$build/$t.log"
        status=1
    else
        grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$build/$t.log" || true
    fi
done
exit $status
