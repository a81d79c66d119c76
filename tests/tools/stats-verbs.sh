#!/usr/bin/env bash
# stats-verbs.sh VOUTIL WORK_DIR: zstd and unzstd against the zstd tool, copy against md5sum,
# Ctrl-C, and stats, as a user runs them and under hostile input: outputs that are the inputs,
# corrupt data, the wrong kinds of file, numbers out of range; a failure leaves every file as
# it was.
set -euo pipefail
voutil=$(realpath "$1") work=$2
rm -rf "$work" && mkdir -p "$work"
source "$(dirname "$0")/expect.sh"
cd "$work"
out=$work/.case/out
{ seq 1 20000; head -c 300000 /dev/urandom; seq 1 5000; } >mixed.bin

expect 0 "" zstd --level 9 --progress zstd.progress mixed.bin ours.zst
zstd -q -d ours.zst -o theirs.out
cmp mixed.bin theirs.out
[[ $(cut -d' ' -f2-5 zstd.progress) == "zstd $(stat -c %s mixed.bin) $(stat -c %s mixed.bin) 100" ]]
"$voutil" --timings zstd --quiet - - <mixed.bin 2>timings.txt >piped.zst
grep -q '^Data Compression : ' timings.txt
"$voutil" --timings unzstd --quiet - - <piped.zst 2>timings.txt >piped.out
grep -q '^Data Decompression : ' timings.txt
cmp mixed.bin piped.out
zstd -q -3 mixed.bin -o theirs.zst
expect 0 "" unzstd --quiet theirs.zst ours.out
cmp mixed.bin ours.out

expect 0 "" copy mixed.bin copy.bin
[[ $(cat "$out") == "$(md5sum mixed.bin)" ]]
cmp mixed.bin copy.bin
# A whole copy makes a fresh destination, also over a longer file.
seq 1 200000 >longer.bin
expect 0 "" copy ours.out longer.bin
cmp mixed.bin longer.bin
"$voutil" copy - - <mixed.bin >piped.copy 2>digest.txt
cmp mixed.bin piped.copy
[[ $(cat digest.txt) == "$(md5sum - <mixed.bin)" ]]
printf 'abcdefgh' >patch.src
printf '........' >patched
expect 0 "" copy patch.src patched --range 0:4:2 --range 6:0:2
[[ $(cat patched) == "gh..ab.." ]]

ln mixed.bin hard.bin
ln -s mixed.bin soft.bin
mkdir dir
mkfifo fifo
printf 'not zstd\n' >plain.txt
printf 'kept\n' >existing
head -c 1000 ours.zst >cut.zst
# An output is never an input, nothing is truncated before the input is checked, the wrong
# kinds of file are named, and numbers are whole and in range.
for verb in zstd unzstd copy; do
  for same in mixed.bin hard.bin soft.bin; do
    expect 1 "voutil $verb: 'mixed.bin' and '$same' are the same file" $verb mixed.bin $same
  done
  expect 1 "voutil $verb: 'existing' and 'existing' are the same file" \
    $verb --progress existing mixed.bin existing
  expect 1 "voutil $verb: 'mixed.bin' and 'mixed.bin' are the same file" \
    $verb --progress mixed.bin mixed.bin existing
  expect 1 "voutil $verb: dir is a directory, not a regular file" $verb dir existing
  expect 1 "voutil $verb: fifo is a FIFO, not a regular file" $verb fifo existing
  expect 1 "voutil $verb: /dev/null is a character device, not a regular file" $verb /dev/null x
  expect 1 "voutil $verb: dir is a directory, not a regular file" $verb mixed.bin dir
  expect 1 "voutil $verb: missing: no such file" $verb missing existing
  expect 2 "voutil $verb: --progress needs a value" $verb mixed.bin existing --progress
done
expect 1 "Cannot decompress plain.txt using zstd" unzstd plain.txt existing
input=plain.txt expect 1 "voutil unzstd: failed on standard input" unzstd - existing
# A file cut off inside a frame gives the bytes it holds, without an error, as the help says.
expect 0 "" unzstd cut.zst cut.out
[[ -s cut.out ]] && cmp -s cut.out <(head -c "$(stat -c %s cut.out)" mixed.bin)
for level in 0 23 -1 3x; do
  expect 2 "voutil zstd: --level must be a whole number from 1 to 22, not '$level'" \
    zstd --level $level mixed.bin existing
done
for range in 1:2 -1:0:1 0:0:9223372036854775808 0:0:1x; do
  expect 2 "$(head -n 1 <("$voutil" copy mixed.bin existing --range $range 2>&1))" \
    copy mixed.bin existing --range $range
  grep -q "a range is SRCOFF:DSTOFF:N\|of a range must be a whole number" "$work/.case/err"
done
expect 1 "voutil copy: the range 7:0:2 reaches past the end of patch.src (8 bytes)" \
  copy patch.src existing --range 7:0:2
expect 2 "voutil copy: --range needs a value" copy mixed.bin existing --range
expect 2 "voutil copy: ranges are copied between named files, not standard input or output" \
  copy - existing --range 0:0:1

# Ctrl-C: zstd leaves no partial output (the destination stays, no temporary file is left);
# copy stops after the piece it is copying. Slow work makes sure the signal comes in time:
# a high level, many pieces over the same bytes.
seq 1 5000000 >big.txt
head -c 65536 /dev/urandom >block.bin
ranges=()
for _ in $(seq 1 20000); do ranges+=(--range 0:0:65536); done
for command in "zstd --level 19 big.txt existing" "copy block.bin busy.bin ${ranges[*]}"; do
  read -ra args <<<"$command"
  before=$(fingerprint)
  "$voutil" "${args[@]}" --quiet --progress .case/run.progress 2>.case/stop &
  pid=$!
  for _ in $(seq 1 100); do [[ -s .case/run.progress ]] && break; sleep 0.05; done
  kill -INT "$pid"
  rc=0
  wait "$pid" || rc=$?
  [[ $rc -eq 130 ]]
  rm .case/run.progress
  if [[ ${args[0]} == zstd ]]; then
    [[ $(cat .case/stop) == "voutil zstd: stopped by Ctrl-C" && $(fingerprint) == "$before" ]]
  else
    grep -q '^voutil copy: stopped after [0-9]* of 1310720000 bytes$' .case/stop
    cmp block.bin busy.bin
  fi
done
rm big.txt

printf '2\n4\n4\n4\n5\n5\n7\n9\n\n' >numbers
input=numbers expect 0 "" stats
[[ $(cat "$out") == $'count 8\naverage 5\nsigma 2\nminimum 2\nmaximum 9' ]]
printf '1\n2\n3\n4\n' >numbers
input=numbers expect 0 "" stats --window 3
[[ $(sed -n 2p "$out") == "average 3" ]]
printf '1\n2\nthree\n' >numbers
input=numbers expect 1 "Line 3 is not a number: three" stats
input=dir expect 1 "voutil stats: cannot read standard input: Is a directory" stats
input=/dev/zero expect 1 "Line 1 is not a number: " stats
for window in 10000001 4000000000 -1 1x; do
  expect 2 "voutil stats: --window must be a whole number from 0 to 10000000, not '$window'" \
    stats --window $window
done
echo "stats verbs: ok"
