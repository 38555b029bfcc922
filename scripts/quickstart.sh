#!/usr/bin/env bash
# Builds the library and runs the quick start example.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELT_BUILD_TESTS=OFF
cmake --build build/release --target quickstart
build/release/examples/quickstart
