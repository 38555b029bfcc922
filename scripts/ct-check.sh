#!/usr/bin/env bash
# Constant-time checks: builds the check programs without sanitizers and runs
# them under valgrind memcheck with the secrets (exponents, keys, plaintext,
# padding) marked undefined. Any branch or memory index that depends on a
# secret is reported and the script fails. Usage: scripts/ct-check.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build/ct}"
if ! command -v valgrind >/dev/null; then
    echo "ct-check: valgrind is not installed" >&2
    exit 2
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELT_SANITIZE=OFF -DVELT_BUILD_BENCH=OFF \
      -DVELT_BUILD_EXAMPLES=OFF >/dev/null
# The dedicated check programs, and the test programs whose constant-time
# cases run under valgrind too.
targets=$(ninja -C "$dir" -t targets all | sed -n 's/^\([A-Za-z0-9_]*_ct_check\): .*/\1/p' | sort -u)
cmake --build "$dir" --target $targets test_cipher
ctest --test-dir "$dir" --output-on-failure -R '_ct$'
