#!/bin/sh
# Installs the built library into a scratch prefix and builds a small
# program against it twice: through find_package(morvanevelt) giving
# morvanevelt::morvanevelt, and through pkg-config.
# Arguments: build dir, consumer source dir, scratch dir, generator, C
# compiler, extra compile/link flags (sanitizers, may be empty).
set -eu
build=$1
src=$2
work=$3
generator=$4
cc=$5
flags=${6:-}

rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

# find_package
cmake -S "$src" -B "$work/cmake" -G "$generator" -DCMAKE_C_COMPILER="$cc" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$work/cmake" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libmorvanevelt.so.23' | head -n 1)")
LD_LIBRARY_PATH=$libdir "$work/cmake/consumer"

# pkg-config (the prefix moved at install time, so tell pkg-config)
pcdir=$(dirname "$(find "$prefix" -name morvanevelt.pc | head -n 1)")
pc_flags=$(PKG_CONFIG_PATH=$pcdir pkg-config --define-variable=prefix="$prefix" --cflags --libs morvanevelt)
# shellcheck disable=SC2086
"$cc" -std=c99 $flags "$src/consumer.c" $pc_flags -o "$work/consumer-pc"
LD_LIBRARY_PATH=$libdir "$work/consumer-pc"
