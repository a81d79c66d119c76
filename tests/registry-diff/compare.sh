#!/usr/bin/env bash
# Runs registry-diff natively on a fresh store and under Wine for a few seeds and compares the
# outputs; only the classes of deliberate-differences.txt may differ.
# Usage: compare.sh NATIVE_REGISTRY_DIFF REGISTRY_DIFF_COMPARE WINDOWS_REGISTRY_DIFF_EXE
# Wine must be set up (WINEPREFIX); scripts/test-windows.sh runs this after its ctest run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
native=$1 compare=$2 windows=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for seed in 1 2 3 4; do
  VOUTIL_REGISTRY_DIR=$work/store-$seed "$native" "$seed" >"$work/ours-$seed.txt"
  wine "$windows" "$seed" >"$work/windows-$seed.txt" 2>"$work/wine-$seed.err" </dev/null
  echo "--- seed $seed"
  "$compare" "$work/ours-$seed.txt" "$work/windows-$seed.txt" \
    "$here/deliberate-differences.txt" || status=1
done
exit $status
