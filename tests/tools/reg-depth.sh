#!/usr/bin/env bash
# reg-depth.sh VOUTIL WORK_DIR: keys as deep as Windows allows (512 levels below the root)
# through every reg action, a key one level deeper refused, and a capture 16 levels deep applied,
# read back and removed.
set -euo pipefail
voutil=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
export VOUTIL_REGISTRY_DIR=$work/store

path_of_depth() { # DEPTH: HKCU/Software/D/k/k/... DEPTH levels below HKCU
  local path=HKCU/Software/D level
  for ((level = 3; level <= $1; ++level)); do path+=/k; done
  echo "$path"
}

for depth in 11 12 100 512; do
  key=$(path_of_depth $depth)
  "$voutil" reg set "$key" v REG_SZ "at $depth"
  [[ $("$voutil" reg query "$key" v) == "at $depth" ]]
  [[ $("$voutil" reg list "${key%/k}") == k/ ]]
  "$voutil" reg delete "$key" v
  [[ -z $("$voutil" reg list "$key") ]]
  "$voutil" reg delete "$key"
  [[ -z $("$voutil" reg list "${key%/k}") ]]
  "$voutil" reg delete HKCU/Software/D
done

deepest=$(path_of_depth 512)
"$voutil" reg mkdir "$deepest"
rc=0
"$voutil" reg set "$deepest/k" v REG_SZ x 2>"$work/err" || rc=$?
[[ $rc -eq 1 ]]
grep -qF "Level 'k' Error : 87 : " "$work/err" || { cat "$work/err"; exit 1; }
"$voutil" reg delete HKCU/Software/D
[[ -z $("$voutil" reg list HKCU/Software) ]]

# A capture whose values lie 16 levels below HKCU, one of them named with backslashes, which
# the import turns into key levels.
deep='HKCU\Software\Capture\l4\l5\l6\l7\l8\l9\l10\l11\l12\l13\l14\l15\l16'
{
  echo '"Time of Day","Process Name","PID","Operation","Path","Result","Detail"'
  echo "\"09:00:00\",\"setup.exe\",\"1\",\"RegSetValue\",\"$deep\\Dir\",\"SUCCESS\",\"Type: REG_SZ, Length: 8, Data: E:\\x\""
  echo "\"09:00:01\",\"setup.exe\",\"1\",\"RegSetValue\",\"${deep%\\l16}\\l16\\Runs\",\"SUCCESS\",\"Type: REG_DWORD, Length: 4, Data: 7\""
} >"$work/deep.csv"
"$voutil" reg import-csv "$work/deep.csv" E: "$work/desc"
"$voutil" reg apply "$work/desc" F:
key=${deep//\\//}
[[ $("$voutil" reg query "$key" Dir) == 'F:\x' ]]
[[ $("$voutil" reg query "$key" Runs) == 7 ]]
"$voutil" reg remove "$work/desc"
[[ -z $("$voutil" reg list "$key") ]]
"$voutil" reg delete HKCU/Software/Capture
[[ -z $("$voutil" reg list HKCU/Software) ]]
echo "reg depth: ok"
