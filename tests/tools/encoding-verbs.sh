#!/usr/bin/env bash
# encoding-verbs.sh VOUTIL WORK_DIR: Base64, RSA and Caesar round trips through the tool give the
# input back, padded with zero bytes to whole blocks.
set -euo pipefail
voutil=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
cd "$work"
head -c 100001 /dev/urandom >in.bin

# padded FILE MULTIPLE: FILE with zero bytes up to a multiple of MULTIPLE bytes.
padded() {
  local size
  size=$(stat -c %s "$1")
  cat "$1"
  head -c $(((($2 - size % $2) % $2))) /dev/zero
}

"$voutil" base64 encode in.bin in.b64
[[ $(stat -c %s in.b64) -eq 133336 ]]
"$voutil" base64 decode in.b64 back.bin
cmp in.bin back.bin
"$voutil" base64 encode - - <in.bin | "$voutil" base64 decode - - >piped.bin
cmp in.bin piped.bin

"$voutil" rsa keygen key
for suffix in all priv pub; do
  [[ $(stat -c '%s %a' "key.$suffix") == "32 600" ]]
done
"$voutil" rsa encrypt key.pub in.bin rsa.enc
[[ $(stat -c %s rsa.enc) -eq 200004 ]]
"$voutil" rsa decrypt key.priv rsa.enc rsa.dec
cmp <(padded in.bin 2) rsa.dec
"$voutil" rsa encrypt key.all in.bin rsa3.enc --blocks 3
"$voutil" rsa decrypt key.all - - --blocks 3 <rsa3.enc >rsa3.dec
cmp <(padded in.bin 2) rsa3.dec

"$voutil" --timings caesar encrypt key.all in.bin caesar.enc 2>timings.txt
grep -q '^Data Encryption : ' timings.txt
"$voutil" caesar decrypt key.all caesar.enc caesar.dec
cmp <(padded in.bin 8) caesar.dec
"$voutil" caesar encrypt key.all in.bin caesar5.enc --words 5
"$voutil" caesar decrypt key.all caesar5.enc caesar5.dec --words 5
cmp <(padded in.bin 8) caesar5.dec

# fails WANT_RC ARGS...: runs the tool, expecting exit code WANT_RC; stderr goes to err.txt.
fails() {
  local want=$1 rc=0
  shift
  "$voutil" "$@" 2>err.txt || rc=$?
  [[ $rc -eq $want ]]
}
printf 'YQ=' >bad.b64
fails 1 base64 decode bad.b64 out.bin
[[ $(cat err.txt) == $'Base64 decode error\nExpected trailing =' ]]
fails 1 rsa encrypt missing.pub in.bin out.bin
[[ $(head -1 err.txt) == "voutil rsa: missing.pub: no such file" ]]
fails 2 caesar encrypt key.all in.bin out.bin --words 12502
fails 2 rsa encrypt key.all in.bin out.bin --blocks x
fails 2 base64 encode in.bin
echo "encoding verbs: ok"
