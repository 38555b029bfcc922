#!/usr/bin/env bash
# Builds the library and runs the quick start example, then the CMS signing
# example (in a fresh temporary folder, where it writes its files).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELT_BUILD_TESTS=OFF
cmake --build build/release --target quickstart cms_sign
build/release/examples/quickstart
example="$PWD/build/release/examples/cms_sign"
work=$(mktemp -d)
(cd "$work" && "$example")
rm -rf "$work"
