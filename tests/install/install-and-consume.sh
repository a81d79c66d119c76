#!/usr/bin/env bash
# install-and-consume.sh BUILD_DIR CONSUMER_SOURCE WORK_DIR
set -euo pipefail
build=$1 consumer=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/prefix" >"$work/install.log"
bash "$(dirname "$0")/consume.sh" "$work/prefix" "$consumer" "$work"
echo "install and consume: ok"
