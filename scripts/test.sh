#!/usr/bin/env bash
# Runs the whole test suite on a fresh Debian 12 machine: installs what it needs, then builds
# and tests the debug build, the AddressSanitizer+UndefinedBehaviorSanitizer build, and (where
# present) the further configurations listed below.
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
