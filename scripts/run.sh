#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: installs what it needs, builds the release build,
# then takes the shipped sample capture down the registry road in a temporary registry store:
# import it with one drive, show the Items, apply them with another drive, list what landed,
# remove them and show they are gone.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh
cmake --preset release >/dev/null
cmake --build --preset release
voutil=build/release/bin/voutil
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/registry"
export VOUTIL_REGISTRY_DIR=$work/registry
key=HKCU/Software/VoutilSample

step() { printf '\n=== %s\n' "$*"; }

step "voutil reg import-csv samples/registry-capture.csv E: $work/desc"
"$voutil" reg import-csv samples/registry-capture.csv E: "$work/desc"
step "voutil reg show $work/desc"
"$voutil" reg show "$work/desc"
step "voutil reg apply $work/desc F:"
"$voutil" reg apply "$work/desc" F:
step "voutil reg list $key/Tools (and $key/Drives/F:)"
"$voutil" reg list "$key/Tools"
"$voutil" reg list "$key/Drives/F:"
step "voutil reg remove $work/desc"
"$voutil" reg remove "$work/desc"
step "voutil reg list $key/Tools (now empty)"
"$voutil" reg list "$key/Tools"
echo "(no values left)"
