#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz": clang, libFuzzer, ASan and UBSan) and runs each for
# SECONDS seconds (default 30), starting from the corpus in fuzz/corpus/ when there is one.
# Further arguments name the targets to run (all of them when none is named).
# A crash leaves its input in build/fuzz/crashes/ and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift $(($# > 0 ? 1 : 0))
wanted=" $* "
chosen() { [[ "$wanted" == "  " || "$wanted" == *" $1 "* ]]; }

bash scripts/setup-debian.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/crashes
export VOUTIL_REGISTRY_DIR=$PWD/build/fuzz/registry
mkdir -p "$VOUTIL_REGISTRY_DIR"
for target in FuzzCaptureImport FuzzStrings FuzzJson FuzzBase64 FuzzZstd; do
  chosen $target || continue
  # JSON inputs must be long enough to nest past the parser's depth limit.
  max_len=4096
  [[ $target == FuzzJson ]] && max_len=65536
  echo "=== fuzz: $target for ${seconds}s"
  corpus=build/fuzz/corpus/$target
  mkdir -p "$corpus"
  seeds=()
  [[ -d fuzz/corpus/$target ]] && seeds=("fuzz/corpus/$target")
  build/fuzz/bin/$target -max_total_time="$seconds" -max_len=$max_len \
    -artifact_prefix=build/fuzz/crashes/ "$corpus" "${seeds[@]}" 2>&1 | tail -3
done
# The bit width of executables, from arbitrary bytes (the corpus starts from a 64-bit header).
chosen FuzzIs64BitApp || exit 0
echo "=== fuzz: FuzzIs64BitApp for ${seconds}s"
corpus=build/fuzz/corpus/FuzzIs64BitApp
mkdir -p "$corpus"
printf 'MZ\0\0PE\0\0d\x86\0\0\0\0\0\0' > "$corpus/seed-x64"
build/fuzz/bin/FuzzIs64BitApp -max_total_time="$seconds" -max_len=8192 \
  -artifact_prefix=build/fuzz/crashes/ "$corpus" 2>&1 | tail -3
