# expect.sh: sourced by the tool tests, after they set voutil (the tool) and work (a directory
# of their own). Each case runs the tool once and checks its exit status, the first line of its
# standard error and, for a failure, that no file below $work changed.

# fingerprint: every file below $work with its type and link target, and the size and digest
# of its bytes (the size alone for huge files, which tests make sparse). The registry store's
# shared-memory index is no content and is left out.
fingerprint() {
  find "$work" \( -path "$work/.case" -o -name '*-shm' \) -prune -o -printf '%P %y %l\n' |
    LC_ALL=C sort
  find "$work" \( -path "$work/.case" -o -name '*-shm' \) -prune -o -type f -printf '%P %s\n' |
    LC_ALL=C sort
  find "$work" \( -path "$work/.case" -o -name '*-shm' \) -prune -o -type f -size -100M -print0 |
    LC_ALL=C sort -z | xargs -0r md5sum
}

# expect RC 'FIRST STDERR LINE' ARGS...: the tool's standard output is left in $work/.case/out.
# With RC other than 0, every file below $work must be as it was. Standard input is $input
# (/dev/null when unset).
expect() {
  local want_rc=$1 want_err=$2 rc=0 before
  shift 2
  mkdir -p "$work/.case"
  before=$(fingerprint)
  "$voutil" "$@" >"$work/.case/out" 2>"$work/.case/err" <"${input:-/dev/null}" || rc=$?
  local err
  err=$(head -n 1 "$work/.case/err")
  if [[ $rc -ne $want_rc || $err != "$want_err" ]]; then
    echo "FAILED: voutil $*"
    echo "  exit $rc, want $want_rc"
    echo "  stderr: $err"
    echo "  want:   $want_err"
    exit 1
  fi
  if [[ $rc -ne 0 && $(fingerprint) != "$before" ]]; then
    echo "FAILED: voutil $* changed files:"
    diff <(echo "$before") <(fingerprint) || true
    exit 1
  fi
}
