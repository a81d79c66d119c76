#!/usr/bin/env bash
# Runs the whole test suite on a fresh Debian 12 machine: installs what it needs, then builds
# and tests the debug build, the AddressSanitizer+UndefinedBehaviorSanitizer build, the
# ThreadSanitizer build, the Debian package and the Windows cross build with its zip under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh

run_preset() {
  local preset=$1
  echo "=== $preset: configure, build, test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
}

run_preset debug
run_preset asan
# Threads exist (logging, timers, processes, the registry store): ThreadSanitizer too.
run_preset tsan
# The Debian package: built, checked with lintian, installed with apt-get, used by a program
# outside the tree and by the tool's main job, then purged.
bash scripts/package.sh deb
bash tests/install/deb-package.sh build/package/packages/voutil_*_amd64.deb tests/install/consumer \
  samples/registry-capture.csv build/package/deb-test
# The same libraries, tool and tests cross-built for 64-bit Windows and run under Wine.
if [[ "${VOUTIL_SKIP_WINDOWS:-0}" != 1 ]]; then
  bash scripts/test-windows.sh
fi
