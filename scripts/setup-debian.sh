#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the Windows cross build
# need. Non-interactive and idempotent: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git clang-format
  libzstd-dev zstd libpcre2-dev rapidjson-dev libsqlite3-dev libssl-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  p7zip tar coreutils
  clang libclang-rt-14-dev
  dpkg-dev lintian
)
if [[ "${VOUTIL_SKIP_WINDOWS:-0}" != 1 ]]; then
  packages+=(g++-mingw-w64-x86-64 wine wine64)
fi
# pgrep: the reference of the process benchmarks.
packages+=(procps)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
