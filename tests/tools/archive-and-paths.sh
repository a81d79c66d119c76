#!/usr/bin/env bash
# archive-and-paths.sh VOUTIL WORK_DIR: archive round trips and the paths printout, as a user
# runs them.
set -euo pipefail
voutil=$1 work=$2
rm -rf "$work" && mkdir -p "$work/src/sub" "$work/registry"
export VOUTIL_REGISTRY_DIR=$work/registry
head -c 100000 /dev/urandom >"$work/src/random.bin"
printf 'text\n' >"$work/src/sub/t.txt"

"$voutil" archive 7z "$work/src" "$work/a.7z"
"$voutil" archive un7z "$work/a.7z" "$work/out7z"
cmp "$work/src/random.bin" "$work/out7z/random.bin"
cmp "$work/src/sub/t.txt" "$work/out7z/t.txt"

"$voutil" --timings archive tgz "$work/src" "$work/a.tgz" 2>"$work/timings.txt"
grep -q '^Data Compression : ' "$work/timings.txt"
"$voutil" archive untgz "$work/a.tgz" "$work/outtgz"
diff -r "$work/src" "$work/outtgz/src"

source "$(dirname "$0")/expect.sh"
expect 1 "Archive file $work/missing.7z not found" archive un7z "$work/missing.7z" "$work/x"
expect 1 "voutil archive: $work/src is a directory, not a regular file" \
  archive untgz "$work/src" "$work/x"
expect 1 "voutil archive: $work/src is a directory, not a regular file" \
  archive tgz "$work/out7z/t.txt" "$work/src"
expect 1 "voutil archive: '$work/a.tgz' and '$work/a.tgz' are the same file" \
  archive tgz "$work/a.tgz" "$work/a.tgz"
expect 1 "voutil archive: $work/missing: no such file or directory" \
  archive 7z "$work/missing" "$work/x.7z"
expect 2 "voutil archive: unknown archive action 'zip'" archive zip "$work/src" "$work/x"

"$voutil" paths >"$work/paths.txt"
grep -Eq '^root dir +/.*[^/]/$' "$work/paths.txt"
grep -Eq '^schema path +/.*[^/]//schema/$' "$work/paths.txt"
echo "archive and paths: ok"
