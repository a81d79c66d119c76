#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: installs what it needs, builds the release build
# and runs the voutil tool on what it offers.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh
cmake --preset release >/dev/null
cmake --build --preset release
voutil=build/release/bin/voutil
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "=== voutil --help"
"$voutil" --help
echo "=== voutil log: a two-line message, echoed, then the log file"
printf 'voutil main job\nsecond line of one message\n' | "$voutil" log --tag util "$work/voutil.log" -
echo "--- $work/voutil.log"
cat "$work/voutil.log"
