#!/usr/bin/env bash
# reg-file.sh VOUTIL WORK_DIR: reg export, import and apply --to-reg on a store of their own.
set -euo pipefail
voutil=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
export VOUTIL_REGISTRY_DIR=$work/store
cd "$work"

expect_fail() { # CODE MESSAGE COMMAND...: the command exits CODE with MESSAGE on stderr
  local code=$1 message=$2 rc=0
  shift 2
  "$voutil" reg "$@" 2>err <"${STDIN:-/dev/null}" && rc=0 || rc=$?
  [[ $rc -eq $code ]] || { echo "exit $rc, not $code: reg $*"; cat err; exit 1; }
  grep -qxF -- "$message" err || { echo "missing '$message':"; cat err; exit 1; }
}
utf8() { iconv -f UTF-16 -t UTF-8 "$1" | tr -d '\r'; }

"$voutil" reg set HKCU/Software/T/A s REG_SZ 'x "y"'
"$voutil" reg set HKCU/Software/T d REG_DWORD 10
"$voutil" reg export HKCU/Software/T t.reg
"$voutil" reg export HKCU/Software/T - >stdout.reg
cmp t.reg stdout.reg
[[ $(head -c 2 t.reg | od -An -tx1) == ' ff fe' ]]
diff <(utf8 t.reg) - <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\T]
"d"=dword:0000000a

[HKEY_CURRENT_USER\Software\T\A]
"s"="x \"y\""

REG
"$voutil" reg delete HKCU/Software/T
"$voutil" reg import - <t.reg
"$voutil" reg export HKCU/Software/T - | cmp - t.reg

# The preview names the drive and writes nothing.
mkdir road
cat >road/registry.json <<'JSON'
{"version": 2, "registry": [
 {"key": "HKCU/Software/P", "value": "path", "regType": "REG_SZ", "data": "{{VODRIVE}}\\Tools"},
 {"key": "HKCU/Software/P", "value": "n", "regType": "REG_QWORD", "data": "5"}]}
JSON
"$voutil" reg apply road E: --to-reg - >preview.reg
diff <(utf8 preview.reg) - <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\P]
"path"="E:\\Tools"
"n"=hex(b):05,00,00,00,00,00,00,00

REG
"$voutil" reg apply road E: --to-reg p2.reg
ln -s road/registry.json link.json
expect_fail 2 "voutil reg: refusing to write the preview over its own road/registry.json" \
  apply road E: --to-reg link.json
cmp p2.reg preview.reg
expect_fail 1 "Can't open registry key 'HKCU/Software/P' : The system cannot find the file specified." \
  export HKCU/Software/P -
"$voutil" reg import p2.reg
[[ $("$voutil" reg query HKCU/Software/P path) == 'E:\Tools' ]]

# At the limits: 512 levels and names of 255 characters; one more of either is refused.
deep=$(printf '\\k%.0s' {1..512}) long=$(printf 'n%.0s' {1..255})
printf 'REGEDIT4\n[HKCU%s]\n[HKCU\\%s]\n"v"=dword:1\n' "$deep" "$long" >limits.reg
"$voutil" reg import limits.reg
[[ $("$voutil" reg query "HKCU/$long" v) == 1 ]]
printf 'REGEDIT4\n[HKCU\\Software\\Before]\n[HKCU%s\\k]\n' "$deep" >deeper.reg
expect_fail 1 "deeper.reg:3: key path deeper than 512 levels" import deeper.reg
printf 'REGEDIT4\n[HKCU\\Software\\Before]\n[HKCU\\%sn]\n' "$long" >longer.reg
expect_fail 1 "longer.reg:3: key name longer than 255 characters" import longer.reg
STDIN=deeper.reg expect_fail 1 "-:3: key path deeper than 512 levels" import -
[[ -z $("$voutil" reg list HKCU/Software | grep Before) ]]

# A kill during an import leaves all of it or nothing.
{
  echo REGEDIT4
  for ((i = 0; i < 3000; i++)); do printf '[HKCU\\Software\\Big\\K%d]\n"v"=dword:1\n' $i; done
} >big.reg
count() { { "$voutil" reg list HKCU/Software/Big 2>/dev/null || true; } | wc -l; }
"$voutil" reg import big.reg &
# Killed as soon as other processes see any of it.
while kill -0 $! 2>/dev/null && (($(count) == 0)); do :; done
kill -9 $! 2>/dev/null || true
wait $! 2>/dev/null || true
keys=$(count)
[[ $keys -eq 0 || $keys -eq 3000 ]] || { echo "a killed import left $keys of 3000 keys"; exit 1; }

# Hostile files: huge, a directory, missing; a full disk on output.
truncate -s 300M huge.reg
expect_fail 1 "huge.reg: larger than the 128 MiB a .reg file may hold" import huge.reg
STDIN=huge.reg expect_fail 1 "-: larger than the 128 MiB a .reg file may hold" import -
rm huge.reg
expect_fail 1 "Can't read from file 'road' : Is a directory" import road
if [[ -w /dev/full ]]; then
  "$voutil" reg export HKCU/Software/T - >/dev/full 2>err && exit 1
  grep -qxF "Can't write to file 'standard output'" err
  expect_fail 1 "Can't write to file '/dev/full' : No space left on device" export HKCU/Software/T /dev/full
fi
expect_fail 2 "voutil reg: wrong arguments for reg export" export HKCU/Software/T
expect_fail 2 "voutil reg: wrong arguments for reg apply" apply road E: --to-reg
echo "reg file verbs: ok"
