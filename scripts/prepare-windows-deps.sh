#!/usr/bin/env bash
# Builds the third-party libraries of the Windows cross build with the mingw-w64 toolchain and
# installs them into one prefix under the build tree (build/windows-deps/prefix, or the directory
# given as the first argument, with prefix/ below it):
#   - zstd and PCRE2 from Debian's own source packages, fetched with `apt-get source` through a
#     private deb-src list and a private apt state, so the system's apt configuration is never
#     read for sources nor changed;
#   - GoogleTest and GoogleMock from the Debian sources in /usr/src/googletest;
#   - the RapidJSON headers (header-only) from the Debian package, linked into the prefix.
# Each piece leaves a stamp naming what it was built from; a second run skips what is done.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps=${1:-$root/build/windows-deps}
mkdir -p "$deps"
deps=$(cd "$deps" && pwd)
prefix=$deps/prefix
stamps=$deps/stamps
toolchain=$root/cmake/toolchains/mingw-w64-x86_64.cmake
jobs=${VOUTIL_JOBS:-2}
suite=bookworm
mkdir -p "$prefix" "$stamps" "$deps/src" "$deps/build"

# A piece is done when its stamp holds the same recipe as now.
done_already() { [[ -f "$stamps/$1" && "$(cat "$stamps/$1")" == "$2" ]]; }

# cmake_build NAME SOURCE_DIR ARGS... configures, builds and installs one CMake project, its
# output kept in a log that is shown when a step fails.
cmake_build() {
  local name=$1 source=$2 log=$deps/build/$1.log
  shift 2
  rm -rf "$deps/build/$name"
  if ! { cmake -S "$source" -B "$deps/build/$name" -G Ninja --log-level=WARNING -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVOUTIL_WINDOWS_DEPS="$prefix" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "$@" &&
    cmake --build "$deps/build/$name" -j "$jobs" &&
    cmake --install "$deps/build/$name"; } >"$log" 2>&1; then
    echo "prepare-windows-deps: building $name failed; the end of $log:" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
}

# apt-get with its own deb-src list, index, cache and lock under $deps/apt: nothing of the
# system's package state is used or touched.
apt_private() {
  local apt=$deps/apt
  mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial"
  cat >"$apt/sources.list.d/debian-src.sources" <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  apt-get -q -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt/sources.list.d" \
    -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" \
    -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= \
    -o APT::Sandbox::User="$(id -un)" "$@"
}

fetched_index=0
# fetch_source PACKAGE prints the directory of the unpacked Debian source package.
fetch_source() {
  local package=$1 dir
  dir=$(find "$deps/src" -maxdepth 1 -type d -name "$package-[0-9]*" | sort | tail -n 1)
  if [[ -z "$dir" ]]; then
    if ((!fetched_index)); then
      apt_private update >&2
      fetched_index=1
    fi
    (cd "$deps/src" && apt_private source "$package" >&2)
    dir=$(find "$deps/src" -maxdepth 1 -type d -name "$package-[0-9]*" | sort | tail -n 1)
  fi
  [[ -n "$dir" ]] || { echo "prepare-windows-deps: no source for $package" >&2; exit 1; }
  echo "$dir"
}

# zstd: the library only, static.
recipe="zstd static 1"
if ! done_already zstd "$recipe"; then
  echo "--- zstd (Debian source package libzstd)"
  src=$(fetch_source libzstd)
  cmake_build zstd "$src/build/cmake" -DZSTD_BUILD_PROGRAMS=OFF -DZSTD_BUILD_TESTS=OFF \
    -DZSTD_BUILD_SHARED=OFF -DZSTD_BUILD_STATIC=ON -DZSTD_LEGACY_SUPPORT=OFF
  echo "$recipe" >"$stamps/zstd"
fi

# PCRE2: the 8-bit library with JIT and Unicode, static.
recipe="pcre2 8bit jit static 2"
if ! done_already pcre2 "$recipe"; then
  echo "--- PCRE2 (Debian source package pcre2)"
  src=$(fetch_source pcre2)
  cmake_build pcre2 "$src" -DBUILD_STATIC_LIBS=ON -DPCRE2_BUILD_PCRE2_8=ON \
    -DPCRE2_SUPPORT_JIT=ON -DPCRE2_SUPPORT_UNICODE=ON -DPCRE2_BUILD_PCRE2GREP=OFF \
    -DPCRE2_BUILD_TESTS=OFF -DPCRE2_SUPPORT_LIBBZ2=OFF -DPCRE2_SUPPORT_LIBZ=OFF \
    -DPCRE2_SUPPORT_LIBREADLINE=OFF -DPCRE2_SUPPORT_LIBEDIT=OFF -DPCRE2_SHOW_REPORT=OFF
  # Its CMake build leaves the static flag out of the pkg-config files; without it the header
  # declares every function as imported from a DLL.
  sed -i 's/^Cflags: .*/& -DPCRE2_STATIC/' "$prefix"/lib/pkgconfig/libpcre2-*.pc
  echo "$recipe" >"$stamps/pcre2"
fi

# GoogleTest and GoogleMock, the version the Linux build uses.
gtest_version=$(dpkg-query -W -f='${Version}' googletest)
recipe="googletest $gtest_version gmock static 1"
if ! done_already googletest "$recipe"; then
  echo "--- GoogleTest $gtest_version (/usr/src/googletest)"
  cmake_build googletest /usr/src/googletest -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
  echo "$recipe" >"$stamps/googletest"
fi

# RapidJSON is headers only: the Debian package's headers, and a package file that points at
# them inside the prefix (the host's include directory must not leak into the cross build).
rapidjson_version=$(dpkg-query -W -f='${Version}' rapidjson-dev)
recipe="rapidjson $rapidjson_version 1"
if ! done_already rapidjson "$recipe"; then
  echo "--- RapidJSON $rapidjson_version (headers)"
  mkdir -p "$prefix/include" "$prefix/lib/cmake/RapidJSON"
  ln -sfn /usr/include/rapidjson "$prefix/include/rapidjson"
  cat >"$prefix/lib/cmake/RapidJSON/RapidJSONConfig.cmake" <<EOF
# The Debian RapidJSON headers, seen through the Windows dependency prefix.
get_filename_component(RAPIDJSON_INCLUDE_DIRS "\${CMAKE_CURRENT_LIST_DIR}/../../../include" ABSOLUTE)
set(RapidJSON_INCLUDE_DIRS "\${RAPIDJSON_INCLUDE_DIRS}")
EOF
  cp /usr/share/cmake/RapidJSON/RapidJSONConfigVersion.cmake "$prefix/lib/cmake/RapidJSON/"
  echo "$recipe" >"$stamps/rapidjson"
fi

echo "Windows dependencies ready in $prefix"
