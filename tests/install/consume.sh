#!/usr/bin/env bash
# consume.sh PREFIX CONSUMER_SOURCE WORK_DIR
# Builds the outside program against the voutil installed below PREFIX, once through the CMake
# package and once through pkg-config with nothing but the compiler, and runs both.
set -euo pipefail
prefix=$1 consumer=$2 work=$3
mkdir -p "$work"

cmake -S "$consumer" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log"
cmake --build "$work/cmake" >"$work/build.log"
"$work/cmake/consumer" "$work/cmake.log"

export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(find "$prefix"/lib* -maxdepth 2 -name voutil.pc -printf '%h\n' | head -n 1)
libdir=$(pkg-config --variable=libdir voutil)
# A library outside the loader's own directories is found through a run path.
rpath=()
[[ $prefix == /usr ]] || rpath=(-Wl,-rpath,"$libdir")
# shellcheck disable=SC2046 # the flags are words
c++ -std=c++20 "$consumer/main.cpp" -o "$work/pc-consumer" $(pkg-config --cflags --libs voutil) \
  "${rpath[@]}"
"$work/pc-consumer" "$work/pc.log"
