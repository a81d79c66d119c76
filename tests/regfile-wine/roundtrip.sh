#!/usr/bin/env bash
# Checks our .reg files against Wine's reg.exe, for a few seeds of a random tree of keys and
# values of every type the records write, and the types of extra-types.reg:
#   1. the tree written by the Windows tool into Wine's registry and exported by reg.exe and by
#      the Windows tool gives byte-identical files;
#   2. a file the Linux tool exports from our store, imported and exported again by reg.exe,
#      comes back byte for byte;
#   3. a file reg.exe exported, imported into our store and exported again by the Linux tool,
#      comes back byte for byte.
# Usage: roundtrip.sh LINUX_VOUTIL WINDOWS_VOUTIL_EXE
# Wine must be set up (WINEPREFIX); scripts/test-windows.sh runs this after its ctest run.
set -euo pipefail
linux=$1 windows=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
key='HKCU/Software/VoRegRoundTrip' winkey='HKCU\Software\VoRegRoundTrip'

pick() { # N: a number from 0 to N-1
  echo $((RANDOM % $1))
}
# Names leave out [ \ ] ^ _ and `, which reg.exe under Wine orders after the letters and our
# store before them (README: order of keys and values).
name_chars=(a b Z 0 ' ' '\"' '\n' $'\xc3\xa9' $'\xe2\x82\xac' % ';' '@' '=')
data_chars=("${name_chars[@]}" '\\' '[' _)
text() { # CHARS...: a short text of these characters (in JSON string form)
  local chars=("$@") out='' i
  for ((i = $(pick 12); i > 0; i--)); do out+=${chars[$(pick ${#chars[@]})]}; done
  printf '%s' "$out"
}
data() { # TYPE: data text of that type, in JSON string form
  local i out=''
  case $1 in
  REG_SZ | REG_EXPAND_SZ | REG_MULTI_SZ) text "${data_chars[@]}" ;;
  REG_DWORD) echo $(((RANDOM << 17 | RANDOM << 2 | RANDOM % 4) & 0xFFFFFFFF)) ;;
  REG_QWORD) echo $(((RANDOM << 45 | RANDOM << 30 | RANDOM << 15 | RANDOM) & 0x7FFFFFFFFFFFFFFF)) ;;
  REG_BINARY)
    for ((i = $(pick 200); i > 0; i--)); do out+=$(printf '%02x' $(pick 256)); done
    echo "$out"
    ;;
  REG_NONE) echo '' ;;
  esac
}
tree() { # SEED DIR: writes DIR/registry.json with a random tree below $key
  RANDOM=$1
  local types=(REG_SZ REG_EXPAND_SZ REG_MULTI_SZ REG_DWORD REG_QWORD REG_BINARY REG_NONE)
  local sub=('' /A '/A/Deep er' '/B [x]' $'/\xc3\xa9t\xc3\xa9' '/A/Deep er/C=;@')
  local sep='' k v type name
  mkdir -p "$2"
  {
    echo '{"version": 2, "registry": ['
    for k in "${sub[@]}"; do
      for ((v = $(pick 6) + 1; v > 0; v--)); do
        type=${types[$(pick ${#types[@]})]}
        name=$( (($(pick 8) == 0)) || text "${name_chars[@]}")
        printf '%s{"key": "%s%s", "value": "%s", "regType": "%s", "data": "%s"}\n' \
          "$sep" "$key" "$k" "$name" "$type" "$(data "$type")"
        sep=,
      done
    done
    echo ']}'
  } >"$2/registry.json"
}
same() { # A B WHAT: the two files are byte-identical, or the difference is shown
  if ! cmp -s "$1" "$2"; then
    echo "FAIL: $3"
    diff <(iconv -f UTF-16 -t UTF-8 "$1") <(iconv -f UTF-16 -t UTF-8 "$2") | head -20 || true
    status=1
  fi
}
win() { wine "$@" 2>>"$work/wine.err" </dev/null; }

status=0
for seed in 1 2 3; do
  echo "--- seed $seed"
  dir=$work/$seed
  tree "$seed" "$dir/tree"
  win reg delete "$winkey" /f >/dev/null || true
  win "$windows" reg apply "$(winepath -w "$dir/tree")" 'C:' || { echo "FAIL: apply"; exit 1; }
  win "$windows" reg import "$(winepath -w "$here/extra-types.reg")"
  win reg export "$winkey" "$(winepath -w "$dir/wine.reg")" /y >/dev/null
  win "$windows" reg export "$key" "$(winepath -w "$dir/ours-windows.reg")"
  same "$dir/wine.reg" "$dir/ours-windows.reg" "seed $seed: reg.exe and voutil.exe export"

  export VOUTIL_REGISTRY_DIR=$dir/store
  "$linux" reg apply "$dir/tree" 'C:'
  "$linux" reg import "$here/extra-types.reg"
  "$linux" reg export "$key" "$dir/ours-linux.reg"
  win reg delete "$winkey" /f >/dev/null
  win reg import "$(winepath -w "$dir/ours-linux.reg")" >/dev/null
  win reg export "$winkey" "$(winepath -w "$dir/wine-again.reg")" /y >/dev/null
  same "$dir/ours-linux.reg" "$dir/wine-again.reg" "seed $seed: our file through reg.exe"

  "$linux" reg delete "$key"
  "$linux" reg import "$dir/wine.reg"
  "$linux" reg export "$key" "$dir/ours-again.reg"
  same "$dir/wine.reg" "$dir/ours-again.reg" "seed $seed: reg.exe's file through our store"
done
win reg delete "$winkey" /f >/dev/null || true
((status == 0)) && echo "reg files against reg.exe: ok"
exit $status
