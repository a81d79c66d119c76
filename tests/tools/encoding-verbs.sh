#!/usr/bin/env bash
# encoding-verbs.sh VOUTIL WORK_DIR: Base64, RSA and Caesar round trips through the tool give the
# input back, padded with zero bytes to whole blocks; under hostile input (outputs that are the
# inputs, key files that are no key files, corrupt text, numbers out of range) a clear message,
# and every file stays as it was.
set -euo pipefail
voutil=$(realpath "$1") work=$2
rm -rf "$work" && mkdir -p "$work"
source "$(dirname "$0")/expect.sh"
cd "$work"
head -c 100001 /dev/urandom >in.bin

# padded FILE MULTIPLE: FILE with zero bytes up to a multiple of MULTIPLE bytes.
padded() {
  local size
  size=$(stat -c %s "$1")
  cat "$1"
  head -c $(((($2 - size % $2) % $2))) /dev/zero
}

expect 0 "" base64 encode in.bin in.b64
[[ $(stat -c %s in.b64) -eq 133336 ]]
expect 0 "" base64 decode in.b64 back.bin
cmp in.bin back.bin
"$voutil" base64 encode - - <in.bin | "$voutil" base64 decode - - >piped.bin
cmp in.bin piped.bin

expect 0 "" rsa keygen key
for suffix in all priv pub; do
  [[ $(stat -c '%s %a' "key.$suffix") == "32 600" ]]
done
expect 0 "" rsa encrypt key.pub in.bin rsa.enc
[[ $(stat -c %s rsa.enc) -eq 200004 ]]
expect 0 "" rsa decrypt key.priv rsa.enc rsa.dec
cmp <(padded in.bin 2) rsa.dec
expect 0 "" rsa encrypt key.all in.bin rsa3.enc --blocks 3
"$voutil" rsa decrypt key.all - - --blocks 3 <rsa3.enc >rsa3.dec
cmp <(padded in.bin 2) rsa3.dec

"$voutil" --timings caesar encrypt key.all in.bin - 2>timings.txt >caesar.enc
grep -q '^Data Encryption : ' timings.txt
expect 0 "" caesar decrypt key.all caesar.enc caesar.dec
cmp <(padded in.bin 8) caesar.dec
expect 0 "" caesar encrypt key.all in.bin caesar5.enc --words 5
expect 0 "" caesar decrypt key.all caesar5.enc caesar5.dec --words 5
cmp <(padded in.bin 8) caesar5.dec

ln in.bin hard.bin
ln -s key.all key.link
mkdir dir
mkfifo fifo
truncate -s 50G sparse.bin
printf 'YQ=' >bad.b64
printf 'YWJj\0YWJj' >nul.b64
printf 'kept\n' >out.bin
for action in "base64 encode" "rsa encrypt key.all" "caesar encrypt key.all"; do
  read -ra verb <<<"$action"
  expect 1 "voutil ${verb[0]}: 'in.bin' and 'hard.bin' are the same file" "${verb[@]}" in.bin hard.bin
  expect 1 "voutil ${verb[0]}: 'in.bin' and 'in.bin' are the same file" "${verb[@]}" in.bin in.bin
  expect 1 "voutil ${verb[0]}: dir is a directory, not a regular file" "${verb[@]}" dir out.bin
  expect 1 "voutil ${verb[0]}: fifo is a FIFO, not a regular file" "${verb[@]}" fifo out.bin
  expect 1 "voutil ${verb[0]}: dir is a directory, not a regular file" "${verb[@]}" in.bin dir
  expect 1 "voutil ${verb[0]}: sparse.bin has 53687091200 bytes, more than the 1073741824 that are read whole" \
    "${verb[@]}" sparse.bin out.bin
done
for transform in rsa caesar; do
  expect 1 "voutil $transform: 'key.all' and 'key.link' are the same file" \
    $transform encrypt key.all in.bin key.link
  expect 1 "voutil $transform: dir is a directory, not a regular file" $transform encrypt dir in.bin out.bin
  expect 1 "voutil $transform: /dev/zero is a character device, not a regular file" \
    $transform encrypt /dev/zero in.bin out.bin
  expect 1 "voutil $transform: in.bin has 100001 bytes, more than the 4096 that are read whole" \
    $transform encrypt in.bin in.b64 out.bin
  expect 1 "voutil $transform: missing.pub: no such file" $transform encrypt missing.pub in.bin out.bin
done
expect 1 "Base64 decode error" base64 decode bad.b64 out.bin
expect 1 "voutil base64: nul.b64 is not Base64 text: a NUL byte at offset 4" base64 decode nul.b64 out.bin
for count in 12502 -1 1x 9223372036854775808; do
  expect 2 "$(head -n 1 <("$voutil" caesar encrypt key.all in.bin out.bin --words $count 2>&1))" \
    caesar encrypt key.all in.bin out.bin --words $count
  grep -q "^voutil caesar: --words must" "$work/.case/err"
done
for count in -2 x 9223372036854775808; do
  expect 2 "voutil rsa: --blocks must be a whole number from -1 to 9223372036854775807, not '$count'" \
    rsa encrypt key.all in.bin out.bin --blocks $count
done
expect 2 "voutil base64: base64 needs encode or decode, an input and an output" base64 encode in.bin
echo "encoding verbs: ok"
