#!/usr/bin/env bash
# deb-package.sh DEB CONSUMER_SOURCE CAPTURE WORK_DIR
# Installs the Debian package with apt-get (as root, or through sudo; the machine's package state
# changes), builds and runs the outside program against the installed files, runs the tool's main
# job and purges the package again.
set -euo pipefail
deb=$(realpath "$1") consumer=$(realpath "$2") capture=$(realpath "$3") work=$4
here=$(cd "$(dirname "$0")" && pwd)
# The package state is the machine's: one run at a time, and a voutil installed by anyone else
# is left alone.
exec 8>/tmp/voutil-deb-package.lock
flock 8
if dpkg-query -W -f='${Status}' voutil 2>/dev/null | grep -q 'ok installed'; then
  echo "deb-package: a voutil package is installed already; remove it first" >&2
  exit 1
fi
rm -rf "$work"
mkdir -p "$work"
apt=(apt-get)
[[ $(id -u) -eq 0 ]] || apt=(sudo DEBIAN_FRONTEND=noninteractive apt-get)
export DEBIAN_FRONTEND=noninteractive
trap '"${apt[@]}" purge -y -q voutil >"$work/remove.log" 2>&1 || true' EXIT
"${apt[@]}" install -y -q "$deb" >"$work/install.log"

bash "$here/consume.sh" /usr "$consumer" "$work/consumer"
version=$(dpkg-deb -f "$deb" Version)
[[ "$(voutil --version)" == "voutil $version" ]] || { echo "deb-package: wrong --version" >&2; exit 1; }
voutil paths | grep -q '^schema path *//*usr/share/voutil//schema/$' ||
  { echo "deb-package: the tool does not find its data in /usr/share/voutil" >&2; exit 1; }
mkdir -p "$work/registry"
VOUTIL_REGISTRY_DIR=$work/registry bash "$here/road.sh" /usr/bin/voutil "$capture" "$work/road"

"${apt[@]}" purge -y -q voutil >"$work/remove.log"
trap - EXIT
[[ ! -e /usr/bin/voutil && ! -e /usr/share/voutil ]] ||
  { echo "deb-package: files left after removal" >&2; exit 1; }
echo "deb package: installed, used and removed"
