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

# The same through the driver path, below HKLM.
sed 's/HKCU\\Software/HKLM\\SOFTWARE/' "$sample" >"$work/machine.csv"
"$voutil" reg import-csv "$work/machine.csv" E: "$work/machine"
"$voutil" reg apply "$work/machine" G: --admin
[[ $("$voutil" reg query HKLM/SOFTWARE/VoutilSample/Tools InstallDir) == 'G:\Tools\Sample' ]]
"$voutil" reg remove "$work/machine" --admin
[[ -z $("$voutil" reg list HKLM/SOFTWARE/VoutilSample/Tools) ]]

bad='"09:00:00","x.exe","1","RegQueryValue","HKCU\Software\X\v","SUCCESS","Type: REG_SZ, Data: x"'
{ head -2 "$sample"; echo "$bad"; } >"$work/bad.csv"
set +e
"$voutil" reg import-csv "$work/bad.csv" E: "$work/bad" 2>"$work/bad.err"
rc=$?
set -e
[[ $rc -eq 1 ]]
[[ $(cat "$work/bad.err") == "Cannot import line 3 of $work/bad.csv"$'\n'"Applying Regular Expression failed! Incoming Line: $bad Applying Regular Expression: \"RegSetValue\",\"(.+)\",\"SUCCESS\" Result: " ]]
[[ ! -e $work/bad/registry.json ]]
echo "registry road: ok"
