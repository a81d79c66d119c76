#!/usr/bin/env bash
# Builds the packages and prints where they are:
#   deb  the Debian package build/package/packages/voutil_<version>_amd64.deb (preset "package",
#        optimised, installed below /usr), which must pass lintian without errors;
#   zip  the Windows archive build/package-windows/packages/voutil-<version>-win64.zip (preset
#        "package-windows", the mingw-w64 cross build; prepares the Windows dependencies first).
# Usage: bash scripts/package.sh [deb|zip]...   (both when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."

kinds=("$@")
((${#kinds[@]})) || kinds=(deb zip)
for kind in "${kinds[@]}"; do
  case $kind in
    deb) preset=package ;;
    zip) preset=package-windows ;;
    *) echo "usage: bash scripts/package.sh [deb|zip]..." >&2; exit 2 ;;
  esac
  echo "=== package: $kind"
  [[ $kind == zip ]] && bash scripts/prepare-windows-deps.sh
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  rm -rf "build/$preset/packages"
  cpack --preset "$preset" >"build/$preset/cpack.log"
  file=$(find "build/$preset/packages" -maxdepth 1 -name "voutil*.$kind")
  if [[ $kind == deb ]]; then
    # Warnings are shown; an error fails the step.
    status=0
    lintian --fail-on error "$file" >"build/$preset/lintian.log" 2>&1 || status=$?
    grep -v 'running with root privileges' "build/$preset/lintian.log" || true
    ((status == 0)) || { echo "package: lintian finds errors in $file" >&2; exit 1; }
  fi
  echo "package: $file"
done
