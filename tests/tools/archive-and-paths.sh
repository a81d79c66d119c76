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

set +e
"$voutil" archive un7z "$work/missing.7z" "$work/x" 2>"$work/err.txt"
rc=$?
set -e
[[ $rc -eq 1 ]]
[[ $(cat "$work/err.txt") == "Archive file $work/missing.7z not found" ]]

"$voutil" paths >"$work/paths.txt"
grep -Eq '^root dir +/.*[^/]/$' "$work/paths.txt"
grep -Eq '^schema path +/.*[^/]//schema/$' "$work/paths.txt"
echo "archive and paths: ok"
