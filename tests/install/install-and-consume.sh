#!/usr/bin/env bash
# install-and-consume.sh BUILD_DIR CONSUMER_SOURCE WORK_DIR
set -euo pipefail
build=$1 consumer=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >"$work/install.log"

# Through the CMake package.
cmake -S "$consumer" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log"
cmake --build "$work/cmake" >"$work/build.log"
"$work/cmake/consumer" "$work/cmake.log"

# Through pkg-config, with nothing but the compiler.
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
libdir=$(pkg-config --variable=libdir voutil)
c++ -std=c++20 "$consumer/main.cpp" -o "$work/pc-consumer" $(pkg-config --cflags --libs voutil) \
  -Wl,-rpath,"$libdir"
"$work/pc-consumer" "$work/pc.log"
echo "install and consume: ok"
