#!/usr/bin/env bash
# sysenv-verbs.sh VOUTIL WORK_DIR: the system-environment verbs, as a user runs them.
set -euo pipefail
voutil=$1 work=$2
rm -rf "$work" && mkdir -p "$work/registry"
export VOUTIL_REGISTRY_DIR=$work/registry

"$voutil" sys >"$work/sys.txt"
grep -Eq '^clock +[0-9]+ ms$' "$work/sys.txt"
grep -Eq '^processors +[1-9][0-9]*$' "$work/sys.txt"
! grep -q '^user id' "$work/sys.txt"
"$voutil" reg set HKLM/SOFTWARE/MORV MachineGuid REG_SZ m-1
"$voutil" sys | grep -Eq '^user id +[0-9a-f]{32}$'

# A sleeping program of a name of this run's own, so that test runs side by side, or one left
# over, are never taken for it: found, waited for with a limit, killed.
name=vosleepy$$
cp /bin/sleep "$work/$name"
"$work/$name" 60 &
sleeper=$!
"$voutil" ps --timeout 5000 "$name" >"$work/pid.txt"
[[ $(cat "$work/pid.txt") == "$sleeper" ]]
"$voutil" ps | grep -qx "$name"
"$voutil" wait "$sleeper" --timeout 50
"$voutil" wait "$name" --timeout 50
"$voutil" kill "$sleeper"
wait "$sleeper" || true
set +e
"$voutil" ps "$name" 2>"$work/err.txt"
rc=$?
"$voutil" kill 4000000000 2>"$work/kill.txt"
krc=$?
"$voutil" wait 2>/dev/null
urc=$?
set -e
[[ $rc -eq 1 && $krc -eq 1 && $urc -eq 2 ]]
[[ $(cat "$work/kill.txt") == "Get Process for pid 4000000000 failed: The parameter is incorrect." ]]

printf 'MZ\0\0PE\0\0L\001\0\0\0\0\0\0' >"$work/x86.exe"
[[ $("$voutil" bits "$work/x86.exe") == 32 ]]

head -c 1000 /dev/zero >"$work/data.bin"
"$voutil" truncate "$work/data.bin" 10
[[ $(stat -c %s "$work/data.bin") == 10 ]]
"$voutil" link "$work/data-link" "$work/data.bin"
[[ $(readlink "$work/data-link") == "$work/data.bin" ]]
mkdir "$work/dir"
"$voutil" link --dir "$work/dir-link" "$work/dir"
[[ -d "$work/dir-link" && -L "$work/dir-link" ]]

# Assigned first: a failing command inside [[ ]] would not stop the script.
key=$("$voutil" appkey get VoutilToolTest)
[[ $key == "" ]]
"$voutil" appkey set VoutilToolTest K-1
[[ $("$voutil" appkey get VoutilToolTest) == K-1 ]]
echo "sysenv verbs ok"
