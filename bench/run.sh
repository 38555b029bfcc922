#!/usr/bin/env bash
# Builds the benchmark program in Release and prints, for each row, our
# speed, OpenSSL's speed in the same run and the ratio (ours / OpenSSL; above
# 1 means faster). Medians of several repetitions. Extra arguments go to the
# benchmark program (e.g. --benchmark_filter=SHA).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELT_BUILD_BENCH=ON -DVELT_BUILD_TESTS=OFF \
      -DVELT_BUILD_EXAMPLES=OFF >/dev/null
cmake --build build/bench --target velt_bench
out=$(mktemp)
build/bench/bench/velt_bench --benchmark_repetitions="${VELT_BENCH_REPS:-5}" \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true --benchmark_format=json --benchmark_out="$out" \
    --benchmark_out_format=json "$@" >/dev/null
python3 bench/report.py "$out"
rm -f "$out"
