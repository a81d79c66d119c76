#!/usr/bin/env bash
# reg-verb.sh VOUTIL WORK_DIR: the reg verb on a store of its own.
set -euo pipefail
voutil=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
export VOUTIL_REGISTRY_DIR=$work/store

source "$(dirname "$0")/expect.sh"
expect_fail() { # CODE MESSAGE COMMAND...: reg COMMAND exits CODE with MESSAGE, changing nothing
  local code=$1 message=$2
  shift 2
  expect "$code" "$message" reg "$@"
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
for type in REG_LINK REG_DWORD_LITTLE_ENDIAN REG_QWORD_LITTLE_ENDIAN; do
  expect_fail 2 "voutil reg: $type values cannot be written" set HKCU/Software/T v $type x
done

# What is stored is what was typed, or the command is refused.
for data in notanumber 4294967296 12abc 0x10 -1 "" " 1"; do
  expect_fail 2 "voutil reg: REG_DWORD data must be a whole number from 0 to 4294967295, not '$data'" \
    set HKCU/Software/Kept v REG_DWORD "$data"
done
expect_fail 2 "voutil reg: REG_QWORD data must be a whole number from 0 to 18446744073709551615, not '18446744073709551616'" \
  set HKCU/Software/Kept v REG_QWORD 18446744073709551616
for data in ABC zz 0x; do
  expect_fail 2 "voutil reg: REG_BINARY data must be pairs of hexadecimal digits, not '$data'" \
    set HKCU/Software/Kept v REG_BINARY "$data"
done
expect_fail 2 "voutil reg: --admin is for apply and remove" list HKCU/Software/Kept --admin
# A line break in a name cannot forge a line of the listing.
"$voutil" reg mkdir $'HKCU/Software/Kept/a\nforged/'
"$voutil" reg set HKCU/Software/Kept $'n\tREG_SZ\tforged\nx' REG_SZ $'two\nlines'
diff <("$voutil" reg list HKCU/Software/Kept) - <<'LIST'
a\nforged/
n\tREG_SZ\tforged\nx	REG_SZ	two\nlines
v	REG_SZ	kept
LIST
"$voutil" reg set HKCU/Software/Kept -- --v REG_SZ --data
[[ $("$voutil" reg query HKCU/Software/Kept -- --v) == --data ]]
echo "reg verb: ok"
