#!/usr/bin/env bash
# Installs the packages the build, the tests and the benchmarks need, if any
# is missing. Runs apt-get only when something has to be installed.
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config zlib1g-dev libgtest-dev libgmock-dev
          libbenchmark-dev libssl-dev openssl nlohmann-json3-dev python3 python3-cryptography
          clang libclang-rt-14-dev valgrind gnutls-bin)

missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
