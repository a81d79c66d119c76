#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz": clang, libFuzzer, ASan and UBSan) and runs each for
# SECONDS seconds (default 30), starting from the corpus in fuzz/corpus/ when there is one.
# A crash leaves its input in build/fuzz/crashes/ and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

bash scripts/setup-debian.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/crashes
export VOUTIL_REGISTRY_DIR=$PWD/build/fuzz/registry
mkdir -p "$VOUTIL_REGISTRY_DIR"
for target in FuzzCaptureImport FuzzStrings FuzzJson FuzzZstd; do
  echo "=== fuzz: $target for ${seconds}s"
  corpus=build/fuzz/corpus/$target
  mkdir -p "$corpus"
  seeds=()
  [[ -d fuzz/corpus/$target ]] && seeds=("fuzz/corpus/$target")
  build/fuzz/bin/$target -max_total_time="$seconds" -max_len=4096 \
    -artifact_prefix=build/fuzz/crashes/ "$corpus" "${seeds[@]}" 2>&1 | tail -3
done
