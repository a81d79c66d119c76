#!/usr/bin/env bash
# zip-package.sh ZIP CONSUMER_SOURCE CAPTURE WORK_DIR
# Unpacks the Windows archive into a fresh directory, checks that every DLL its programs import
# is in its bin/ or is Windows' own, cross-builds the outside program against it through the
# CMake package, and runs that program (placed in bin/, where Windows programs find their DLLs),
# voutil.exe --version and the tool's main job from the unpacked tree under Wine, with no other
# path set. Runs in the caller's WINEPREFIX.
set -euo pipefail
zip=$(realpath "$1") consumer=$(realpath "$2") capture=$(realpath "$3") work=$4
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
fail() {
  echo "zip-package: $*" >&2
  exit 1
}
rm -rf "$work"
mkdir -p "$work/unpacked"
work=$(realpath "$work")
(cd "$work/unpacked" && cmake -E tar xf "$zip")
tree=$(find "$work/unpacked" -mindepth 1 -maxdepth 1 -type d)
for file in LICENSE bin/voutil.exe bin/voutil.dll bin/vodevctl.dll bin/schema/voregistry-schema.json \
  include/voutil/voutil.h lib/libvoutil.dll.a lib/cmake/voutil/voutilConfig.cmake; do
  [[ -e "$tree/$file" ]] || fail "$file is missing"
done

# Windows' own DLLs; anything else must ship in bin/ (the compiler runtime is linked statically).
system='^(kernel32|user32|advapi32|shell32|ole32|iphlpapi|ws2_32|msvcrt|bcrypt|ntdll|shlwapi)\.dll$'
for module in "$tree"/bin/*.exe "$tree"/bin/*.dll; do
  while read -r dll; do
    [[ -e "$tree/bin/$dll" ]] || grep -qiE "$system" <<<"$dll" ||
      fail "$(basename "$module") imports $dll, which the archive lacks"
  done < <(x86_64-w64-mingw32-objdump -p "$module" | sed -n 's/^\s*DLL Name: //p')
done

cmake -S "$consumer" -B "$work/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-x86_64.cmake" \
  -DCMAKE_PREFIX_PATH="$tree" -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=BOTH >"$work/configure.log"
cmake --build "$work/consumer" >"$work/build.log"
cp "$work/consumer/consumer.exe" "$tree/bin/"

unset WINEPATH
(cd "$work" && wine "$tree/bin/consumer.exe" consumer.log | tr -d '\r')
version=$(wine "$tree/bin/voutil.exe" --version | tr -d '\r')
[[ "$tree" == *"-${version#voutil }-win64" ]] || fail "voutil.exe --version says '$version'"
bash "$here/road.sh" "$tree/bin/voutil.exe" "$capture" "$work/road" wine
echo "zip package: unpacked and used under Wine"
