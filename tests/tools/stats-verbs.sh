#!/usr/bin/env bash
# stats-verbs.sh VOUTIL WORK_DIR: zstd and unzstd against the zstd tool, copy against md5sum,
# a copy stopped with Ctrl-C, and stats, as a user runs them.
set -euo pipefail
voutil=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
cd "$work"
{ seq 1 20000; head -c 300000 /dev/urandom; seq 1 5000; } >mixed.bin

"$voutil" zstd --level 9 --progress zstd.progress mixed.bin ours.zst
zstd -q -d ours.zst -o theirs.out
cmp mixed.bin theirs.out
[[ $(cut -d' ' -f2-5 zstd.progress) == "zstd $(stat -c %s mixed.bin) $(stat -c %s mixed.bin) 100" ]]
"$voutil" --timings zstd --quiet mixed.bin timed.zst 2>&1 >/dev/null | grep -q '^Data Compression : '
"$voutil" --timings unzstd --quiet timed.zst timed.out 2>&1 >/dev/null | grep -q '^Data Decompression : '
zstd -q -3 mixed.bin -o theirs.zst
"$voutil" unzstd --quiet theirs.zst ours.out
cmp mixed.bin ours.out

[[ $("$voutil" copy mixed.bin copy.bin) == "$(md5sum mixed.bin)" ]]
cmp mixed.bin copy.bin
printf 'abcdefgh' >patch.src
printf '........' >patched
"$voutil" copy patch.src patched --range 0:4:2 --range 6:0:2 >/dev/null
[[ $(cat patched) == "gh..ab.." ]]

set +e
"$voutil" copy missing.bin x.bin 2>err.txt
rc=$?
set -e
[[ $rc -eq 1 && $(cat err.txt) == 'voutil copy: missing.bin: no such file' ]]

# Ctrl-C: many pieces over the same bytes keep the copy busy long enough to be interrupted.
head -c 65536 /dev/urandom >block.bin
ranges=()
for _ in $(seq 1 20000); do ranges+=(--range 0:0:65536); done
"$voutil" copy block.bin busy.bin "${ranges[@]}" --progress copy.progress 2>stop.txt &
pid=$!
for _ in $(seq 1 100); do [[ -s copy.progress ]] && break; sleep 0.05; done
kill -INT "$pid"
set +e
wait "$pid"
rc=$?
set -e
[[ $rc -eq 130 ]]
grep -q '^voutil copy: stopped after [0-9]* of 1310720000 bytes$' stop.txt
cmp block.bin busy.bin

printf '2\n4\n4\n4\n5\n5\n7\n9\n\n' | "$voutil" stats >stats.txt
[[ $(cat stats.txt) == $'count 8\naverage 5\nsigma 2\nminimum 2\nmaximum 9' ]]
[[ $(printf '1\n2\n3\n4\n' | "$voutil" stats --window 3 | sed -n 2p) == "average 3" ]]
set +e
printf '1\n2\nthree\n' | "$voutil" stats 2>err.txt
rc=$?
set -e
[[ $rc -eq 1 && $(cat err.txt) == "Line 3 is not a number: three" ]]
echo "stats verbs: ok"
