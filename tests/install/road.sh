#!/usr/bin/env bash
# road.sh VOUTIL CAPTURE WORK_DIR [RUNNER...]
# The tool's main job with an installed voutil: import the capture with the drive E:, apply it
# with F:, find the values, remove them. The schema must come from the installed data files.
# RUNNER (such as wine) runs the tool; the registry is the platform's own.
set -euo pipefail
voutil=$(realpath "$1") capture=$(realpath "$2") work=$3
shift 3
tool() { "${runner[@]}" "$voutil" "$@" | tr -d '\r'; }
runner=("$@")
mkdir -p "$work"
cd "$work"
key=HKCU/Software/VoutilSample/Tools
tool reg import-csv "$capture" E: desc >/dev/null
tool reg apply desc F: >/dev/null
listed=$(tool reg list "$key")
grep -q 'InstallDir.REG_SZ.F:\\Tools\\Sample' <<<"$listed" ||
  { echo "road: the applied values are missing: $listed" >&2; exit 1; }
tool reg remove desc >/dev/null
[[ -z "$(tool reg list "$key")" ]] || { echo "road: values left after remove" >&2; exit 1; }
echo "road: ok"
