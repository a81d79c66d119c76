#!/usr/bin/env bash
# sysenv-verbs.sh VOUTIL WORK_DIR: the system-environment verbs as a user runs them, and under
# hostile input: numbers out of range or with junk, the wrong kinds of file, names not found.
set -euo pipefail
voutil=$1 work=$2
rm -rf "$work" && mkdir -p "$work/registry"
export VOUTIL_REGISTRY_DIR=$work/registry
source "$(dirname "$0")/expect.sh"
out=$work/.case/out

expect 0 "" sys
grep -Eq '^clock +[0-9]+ ms$' "$out"
grep -Eq '^processors +[1-9][0-9]*$' "$out"
! grep -q '^user id' "$out"
"$voutil" reg set HKLM/SOFTWARE/MORV MachineGuid REG_SZ m-1
"$voutil" sys | grep -Eq '^user id +[0-9a-f]{32}$'

# A sleeping program of a name of this run's own, so that test runs side by side, or one left
# over, are never taken for it: found, waited for with a limit, killed.
name=vosleepy$$
cp /bin/sleep "$work/$name"
"$work/$name" 60 &
sleeper=$!
expect 0 "" ps --timeout 5000 "$name"
[[ $(cat "$out") == "$sleeper" ]]
expect 0 "" ps --timeout 0 -- "$name"
[[ $(cat "$out") == "$sleeper" ]]
"$voutil" ps | grep -qx "$name"
expect 1 "voutil wait: process $sleeper still runs after 50 ms" wait "$sleeper" --timeout 50
expect 1 "voutil wait: process $name still runs after 50 ms" wait "$name" --timeout 50
# The process named is the process hit: numbers are whole and in range, or refused.
for pid in 4294967297 $((sleeper + 4294967296)) -1 0 " $sleeper" "${sleeper}x" 0x10 ""; do
  expect 2 "voutil kill: PID must be a whole number from 1 to 4294967295, not '$pid'" kill "$pid"
done
kill -0 "$sleeper"
for ms in 4294967295 -1 1e3 12abc; do
  expect 2 "voutil wait: --timeout must be a whole number from 0 to 4294967294, not '$ms'" \
    wait "$sleeper" --timeout "$ms"
done
expect 2 "voutil wait: --timeout needs a value" wait "$sleeper" --timeout
expect 0 "" kill "$sleeper"
wait "$sleeper" || true
expect 1 "Get Process for pid $sleeper failed: The parameter is incorrect." wait "$sleeper"
expect 1 "voutil ps: no process $name found" ps "$name"
expect 1 "voutil wait: no process $name found" wait "$name" --timeout 10
expect 1 "Get Process for pid 4000000000 failed: The parameter is incorrect." kill 4000000000
expect 2 "voutil wait: wait needs one process id or name" wait

printf 'MZ\0\0PE\0\0L\001\0\0\0\0\0\0' >"$work/x86.exe"
expect 0 "" bits "$work/x86.exe"
[[ $(cat "$out") == 32 ]]
mkdir "$work/dir"
mkfifo "$work/fifo"
for kind in "dir:a directory" "fifo:a FIFO"; do
  expect 1 "voutil bits: $work/${kind%%:*} is ${kind#*:}, not a regular file" bits "$work/${kind%%:*}"
done
expect 1 "voutil bits: /dev/null is a character device, not a regular file" bits /dev/null

# truncate: the length asked for, or an error that leaves the file as it was.
head -c 1000 /dev/zero >"$work/data.bin"
expect 0 "" truncate "$work/data.bin" 10
[[ $(stat -c %s "$work/data.bin") == 10 ]]
expect 1 "voutil truncate: cannot set the length of $work/data.bin to 9223372036854775807 bytes: Can't seek to 9223372036854775807 in file '$work/data.bin' : Invalid argument" \
  truncate "$work/data.bin" 9223372036854775807
for size in 9223372036854775808 -1 10k; do
  expect 2 "voutil truncate: SIZE must be a whole number from 0 to 9223372036854775807, not '$size'" \
    truncate "$work/data.bin" "$size"
done
expect 1 "voutil truncate: $work/missing: no such file" truncate "$work/missing" 0
expect 1 "voutil truncate: $work/dir is a directory, not a regular file" truncate "$work/dir" 0

expect 0 "" link "$work/data-link" "$work/data.bin"
[[ $(readlink "$work/data-link") == "$work/data.bin" ]]
expect 0 "" link --dir "$work/dir-link" "$work/dir"
[[ -d "$work/dir-link" && -L "$work/dir-link" ]]

expect 1 "voutil appkey: no user key stored for VoutilToolTest" appkey get VoutilToolTest
expect 0 "" appkey set VoutilToolTest K-1
expect 0 "" appkey get VoutilToolTest
[[ $(cat "$out") == K-1 ]]
echo "sysenv verbs ok"
