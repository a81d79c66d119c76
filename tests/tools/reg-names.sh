#!/usr/bin/env bash
# reg-names.sh VOUTIL WORK_DIR: non-ASCII key and value names through the reg verb: written
# in one case, found in the other, listed as they were written, in the store's order.
set -euo pipefail
voutil=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
export VOUTIL_REGISTRY_DIR=$work/store

for name in Ärger straße σοφία жук; do
  "$voutil" reg set "HKCU/Software/N/$name" "$name" REG_SZ "$name"
done
# Upper case reaches the same keys and values; ß has no single upper case and stays ß.
for pair in Ärger:ÄRGER straße:STRAßE σοφία:ΣΟΦΊΑ жук:ЖУК; do
  name=${pair%%:*} upper=${pair#*:}
  [[ $("$voutil" reg query "HKCU/Software/N/$upper" "$upper") == "$name" ]]
done
if "$voutil" reg query HKCU/Software/N/STRASSE straße 2>/dev/null; then
  echo "STRASSE must not reach straße"
  exit 1
fi
diff <("$voutil" reg list HKCU/Software/N) - <<'LIST'
straße/
Ärger/
σοφία/
жук/
LIST
