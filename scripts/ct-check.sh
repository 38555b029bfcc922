#!/usr/bin/env bash
# Constant-time check: builds tests/bigd/ct/ct_check.cpp without sanitizers
# and runs it under valgrind memcheck with the secret exponent marked
# undefined. Any branch or memory index that depends on it is reported and
# the script fails. Usage: scripts/ct-check.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build/ct}"
if ! command -v valgrind >/dev/null; then
    echo "ct-check: valgrind is not installed" >&2
    exit 2
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELT_SANITIZE=OFF -DVELT_BUILD_BENCH=OFF \
      -DVELT_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$dir" --target bigd_ct_check
valgrind --quiet --error-exitcode=99 --track-origins=yes "$dir/tests/bigd_ct_check"
