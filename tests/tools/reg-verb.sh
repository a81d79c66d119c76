#!/usr/bin/env bash
# reg-verb.sh VOUTIL WORK_DIR: the reg verb on a store of its own.
set -euo pipefail
voutil=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
export VOUTIL_REGISTRY_DIR=$work/store

expect_fail() { # CODE MESSAGE COMMAND...: the command exits CODE with MESSAGE on stderr
  local code=$1 message=$2 rc=0
  shift 2
  "$voutil" reg "$@" 2>"$work/err" && rc=0 || rc=$?
  [[ $rc -eq $code ]] || { echo "exit $rc, not $code: reg $*"; cat "$work/err"; exit 1; }
  grep -qxF -- "$message" "$work/err" || { echo "missing '$message':"; cat "$work/err"; exit 1; }
}

"$voutil" reg set HKCU/Software/T/A v REG_DWORD 4294967295
[[ $("$voutil" reg query HKCU/Software/T/A v) == 4294967295 ]]
expect_fail 1 "Unknown registry root key 'hkcu' in key 'hkcu/Software/T/A'." \
  query hkcu/Software/T/A v

"$voutil" reg set HKCU/Software/T/A bin REG_BINARY 00AB10
[[ $("$voutil" reg query HKCU/Software/T/A bin) == 00ab10 ]]
"$voutil" reg set HKCU/Software/T/A s REG_SZ 'two words'
[[ $("$voutil" reg query HKCU/Software/T/A s) == 'two words' ]]
"$voutil" reg set HKCU/Software/T/A q REG_QWORD 18446744073709551615
[[ $("$voutil" reg query HKCU/Software/T/A q) == 18446744073709551615 ]]
"$voutil" reg set HKCU/Software/T/A n REG_NONE ignored
[[ -z $("$voutil" reg query HKCU/Software/T/A n) ]]

"$voutil" reg mkdir HKCU/Software/T/A/Sub/Deeper
diff <("$voutil" reg list HKCU/Software/T/A) - <<'LIST'
Sub/
bin	REG_BINARY	00ab10
n	REG_NONE	
q	REG_QWORD	18446744073709551615
s	REG_SZ	two words
v	REG_DWORD	4294967295
LIST

"$voutil" reg delete HKCU/Software/T/A s
expect_fail 1 "Can't query registry key value 's' in key 'HKCU/Software/T/A' : The system cannot find the file specified." \
  query HKCU/Software/T/A s
"$voutil" reg delete HKCU/Software/T
expect_fail 1 "Can't open registry key 'HKCU/Software/T/A' : The system cannot find the file specified." \
  list HKCU/Software/T/A
[[ -z $("$voutil" reg list HKCU/Software) ]]

# A bare root is never deleted by the tool, however it is written.
"$voutil" reg set HKCU/Software/Kept v REG_SZ kept
for root in HKCU HKCU/ HKCU// HKLM; do
  expect_fail 2 "voutil reg: refusing to delete the whole root ${root%%/*}: name a key below it" \
    delete "$root"
done
[[ $("$voutil" reg query HKCU/Software/Kept v) == kept ]]

expect_fail 2 "voutil reg: Unknown Registry Value Type: reg_sz" set HKCU/Software/T v reg_sz x
expect_fail 2 "voutil reg: unknown action or wrong number of arguments" query HKCU/Software/T
expect_fail 1 "Link' Registry Value Type not supported!" set HKCU/Software/T v REG_LINK x
echo "reg verb: ok"
