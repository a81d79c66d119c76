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

set +e
"$voutil" log "$work/no/such/dir/c.log" x 2>"$work/c.err"
rc=$?
set -e
[[ $rc -eq 1 ]]
grep -q "^Can't open file '$work/no/such/dir/c.log' : " "$work/c.err"
echo "log verb: ok"
