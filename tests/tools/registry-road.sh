#!/usr/bin/env bash
# registry-road.sh VOUTIL SAMPLE WORK_DIR: a capture becomes registry.json with one drive, is
# applied with another, lands in the registry with that drive and single backslashes, and is
# removed again; a capture line that is not a successful RegSetValue stops the import.
set -euo pipefail
voutil=$1 sample=$2 work=$3
rm -rf "$work" && mkdir -p "$work/registry"
export VOUTIL_REGISTRY_DIR=$work/registry
key=HKCU/Software/VoutilSample/Tools

"$voutil" reg import-csv "$sample" E: "$work/desc"
"$voutil" reg show "$work/desc" >"$work/show.txt"
grep -qxF "$key	InstallDir	REG_SZ	{{VODRIVE}}\\Tools\\Sample" "$work/show.txt"

"$voutil" reg apply "$work/desc" F:
[[ $("$voutil" reg query $key InstallDir) == 'F:\Tools\Sample' ]]
[[ $("$voutil" reg query $key LogPath) == 'F:\Logs\%USERNAME%\sample.log' ]]
[[ $("$voutil" reg query $key Runs) == 4294967295 ]]
[[ $("$voutil" reg query $key InstalledAt) == 1733475242000 ]]
[[ $("$voutil" reg query $key Signature) == 564f00ff102a ]]
[[ $("$voutil" reg query HKCU/Software/VoutilSample/Drives/F: Cache) == 'F:\Cache' ]]

"$voutil" reg remove "$work/desc"
[[ -z $("$voutil" reg list $key) ]]
# remove takes no drive: the values applied under the drive's own key stay, as its help says.
[[ $("$voutil" reg query HKCU/Software/VoutilSample/Drives/F: Cache) == 'F:\Cache' ]]

# The same through the driver path, below HKLM.
sed 's/HKCU\\Software/HKLM\\SOFTWARE/' "$sample" >"$work/machine.csv"
"$voutil" reg import-csv "$work/machine.csv" E: "$work/machine"
"$voutil" reg apply "$work/machine" G: --admin
[[ $("$voutil" reg query HKLM/SOFTWARE/VoutilSample/Tools InstallDir) == 'G:\Tools\Sample' ]]
"$voutil" reg remove "$work/machine" --admin
[[ -z $("$voutil" reg list HKLM/SOFTWARE/VoutilSample/Tools) ]]

source "$(dirname "$0")/expect.sh"
bad='"09:00:00","x.exe","1","RegQueryValue","HKCU\Software\X\v","SUCCESS","Type: REG_SZ, Data: x"'
{ head -2 "$sample"; echo "$bad"; } >"$work/bad.csv"
expect 1 "Cannot import line 3 of $work/bad.csv" reg import-csv "$work/bad.csv" E: "$work/bad"
[[ $(sed -n 2p "$work/.case/err") == "Applying Regular Expression failed! Incoming Line: $bad Applying Regular Expression: \"RegSetValue\",\"(.+)\",\"SUCCESS\" Result: " ]]

mkdir -p "$work/dirjson/registry.json" "$work/adir"
mkfifo "$work/fifo"
for dir in "" "$work/desc\\"; do
  for action in "show" "remove" "apply F:"; do
    read -ra args <<<"$action"
    expect 2 "$(head -n 1 <("$voutil" reg "${args[0]}" "$dir" "${args[@]:1}" 2>&1))" \
      reg "${args[0]}" "$dir" "${args[@]:1}"
    grep -q "^voutil reg: the description directory must not" "$work/.case/err"
  done
done
expect 1 "voutil reg: $work/dirjson/registry.json is a directory, not a regular file" \
  reg show "$work/dirjson"
# FIFOs and devices are POSIX files that a Windows program under Wine does not see as such.
specials=(adir)
[[ -n ${VOUTIL_UNDER_WINE:-} ]] || specials+=(fifo)
for capture in "${specials[@]}"; do
  expect 1 "$(head -n 1 <("$voutil" reg import-csv "$work/$capture" E: "$work/x" 2>&1))" \
    reg import-csv "$work/$capture" E: "$work/x"
  grep -q "^voutil reg: $work/$capture is a .*, not a regular file" "$work/.case/err"
done
[[ -n ${VOUTIL_UNDER_WINE:-} ]] ||
  expect 1 "voutil reg: /dev/zero is a character device, not a regular file" \
    reg import-csv /dev/zero E: "$work/x"
expect 1 "voutil reg: '$work/desc/registry.json' and '$work/desc/registry.json' are the same file" \
  reg import-csv "$work/desc/registry.json" E: "$work/desc"
echo "registry road: ok"
