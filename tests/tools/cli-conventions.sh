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
mkfifo "$work/pipe"
full_cases=(
  "reg query HKCU/Software/T v" "reg list HKCU/Software/T" "paths" "sys" "ps" "bits $work/x86.exe"
  "appkey get App" "stats" "--help" "log $work/l.log message" "copy $work/-x $work/copy")
for case in "${full_cases[@]}"; do
  read -ra args <<<"$case"
  rc=0
  "$voutil" "${args[@]}" >/dev/full 2>"$work/err" </dev/null || rc=$?
  [[ $rc -eq 1 && $(tail -n 1 "$work/err") == "voutil: write error on standard output: No space left on device" ]] ||
    { echo "FAILED: voutil $case >/dev/full: exit $rc"; cat "$work/err"; exit 1; }
  # A closed pipe: its only reader is closed before the tool writes.
  exec 4<>"$work/pipe" 5>"$work/pipe" 4<&-
  rc=0
  "$voutil" "${args[@]}" >&5 2>"$work/err" </dev/null || rc=$?
  exec 5>&-
  [[ $rc -eq 1 && $(tail -n 1 "$work/err") == "voutil: write error on standard output: Broken pipe" ]] ||
    { echo "FAILED: voutil $case | (closed): exit $rc"; cat "$work/err"; exit 1; }
done

# No verb opens a file other than the one named: a name that is not UTF-8 is used byte for byte,
# and the file whose name it would decode to (with U+FFFD) is never touched.
mkdir "$work/names" && cd "$work/names"
printf 'MZ\0\0PE\0\0L\001\0\0\0\0\0\0' >src
latin=$'x\xff' decoded=$'x\xef\xbf\xbd'
printf 'key' >key.all
families=("copy src $latin" "zstd src $latin" "base64 encode src $latin" "caesar encrypt key.all src $latin"
  "bits $latin" "truncate $latin 1" "log $latin message" "reg import-csv $latin E: dir"
  "archive untgz $latin dir")
for family in "${families[@]}"; do
  read -ra args <<<"$family"
  printf 'neighbour' >"$decoded"
  rm -f "$latin"
  [[ ${args[0]} == bits || ${args[0]} == truncate || ${args[0]} == reg || ${args[0]} == archive ]] &&
    cp src "$latin"
  rc=0
  "$voutil" "${args[@]}" >/dev/null 2>err || rc=$?
  [[ $(cat "$decoded") == neighbour ]] || { echo "FAILED: $family wrote the neighbour"; exit 1; }
  [[ $rc -ne 2 ]] || { echo "FAILED: $family refused its name"; cat err; exit 1; }
  [[ ${args[0]} != copy && ${args[0]} != zstd && ${args[0]} != base64 ]] || [[ -s $latin ]] ||
    { echo "FAILED: $family did not write the file named"; cat err; exit 1; }
done
echo "cli conventions: ok"
