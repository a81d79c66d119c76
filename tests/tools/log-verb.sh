#!/usr/bin/env bash
# log-verb.sh VOUTIL WORK_DIR: the log verb writes the message to the file and echoes it.
set -euo pipefail
voutil=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
stamp='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}'

out=$("$voutil" log --tag util "$work/a.log" hello world)
grep -Eqx "$stamp \[util\] : hello world" <<<"$out"
grep -Eqx "$stamp \[util\] : hello world" "$work/a.log"

printf 'a\nb\n' | "$voutil" log --no-echo "$work/b.log" - >"$work/b.out"
[[ ! -s $work/b.out ]]
[[ $(wc -l <"$work/b.log") -eq 2 ]]
grep -Eq "\[voutil\] : b$" "$work/b.log"

source "$(dirname "$0")/expect.sh"
expect 1 "Can't open file '$work/no/such/dir/c.log' : No such file or directory" \
  log "$work/no/such/dir/c.log" x
expect 1 "voutil log: $work is a directory, not a regular file" log "$work" x
# Devices are POSIX files that a Windows program under Wine does not see as such.
[[ -n ${VOUTIL_UNDER_WINE:-} ]] ||
  expect 1 "voutil log: /dev/full is a character device, not a regular file" log /dev/full x
# A line break in the tag could forge a line of the log; one in the message starts a line of
# its own with the stamp and the tag.
expect 2 "voutil log: --tag must not hold a line break" log --tag $'x\n2024-01-01 00:00:00 [util]' \
  "$work/a.log" y
expect 0 "" log --no-echo -- "$work/d.log" --tag $'one\ntwo'
grep -Eqx "$stamp \[voutil\] : --tag one" "$work/d.log"
grep -Eqx "$stamp \[voutil\] : two" "$work/d.log"
echo "log verb: ok"
