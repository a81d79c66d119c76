#!/usr/bin/env bash
# cli-conventions.sh VOUTIL WORK_DIR: what every verb keeps: VERB --help, "--", and output that
# does not reach standard output (a full device, a closed pipe) is a failure.
set -euo pipefail
voutil=$1 work=$2
rm -rf "$work" && mkdir -p "$work/registry"
export VOUTIL_REGISTRY_DIR=$work/registry
source "$(dirname "$0")/expect.sh"

verbs=(log paths archive reg base64 rsa caesar zstd unzstd copy stats sys ps wait kill bits link
  truncate appkey)
for verb in "${verbs[@]}"; do
  expect 0 "" "$verb" --help
  [[ $(head -n 1 "$work/.case/out") == "Usage: voutil $verb "* ]]
done
expect 0 "" --help
expect 2 "voutil: unknown verb '--bogus'; see voutil --help" --bogus
expect 2 "voutil sys: unknown option --bogus" sys --bogus

printf 'data' >"$work/-x"
(cd "$work" && "$voutil" copy -- -x -y >/dev/null)
cmp "$work/-x" "$work/-y"

"$voutil" reg set HKCU/Software/T v REG_SZ text
"$voutil" appkey set App K
printf 'MZ\0\0PE\0\0L\001\0\0\0\0\0\0' >"$work/x86.exe"
# Each verb prints more than a pipe buffer's worth or flushes at once, so each meets the error.
full_cases=(
  "reg query HKCU/Software/T v" "reg list HKCU/Software/T" "paths" "sys" "ps" "bits $work/x86.exe"
  "appkey get App" "stats" "--help" "log $work/l.log message" "copy $work/-x $work/copy")
for case in "${full_cases[@]}"; do
  read -ra args <<<"$case"
  rc=0
  "$voutil" "${args[@]}" >/dev/full 2>"$work/err" </dev/null || rc=$?
  [[ $rc -eq 1 && $(tail -n 1 "$work/err") == "voutil: write error on standard output: No space left on device" ]] ||
    { echo "FAILED: voutil $case >/dev/full: exit $rc"; cat "$work/err"; exit 1; }
  # A closed pipe: the reader is gone before the tool writes.
  rc=$( { sleep 0.2; rc=0; "$voutil" "${args[@]}" 2>"$work/err" </dev/null || rc=$?; echo $rc >"$work/rc"; } | true; cat "$work/rc")
  [[ $rc -eq 1 && $(tail -n 1 "$work/err") == "voutil: write error on standard output: Broken pipe" ]] ||
    { echo "FAILED: voutil $case | (closed): exit $rc"; cat "$work/err"; exit 1; }
done
echo "cli conventions: ok"
