#!/usr/bin/env bash
# wine-runner.sh SCRIPT VOUTIL_EXE ARGS...
# Runs one of the tool's shell tests against the Windows voutil.exe under Wine: the script gets a
# command that runs the exe under Wine and hands back its output with POSIX line ends. POSIX
# paths need no mapping on the command line, since Wine reads "/x/y" on the drive of the working
# directory, which is Z:, the POSIX root. Scripts that need what Wine lacks are skipped (exit 77)
# with the reason.
set -euo pipefail
script=$1 exe=$(realpath "$2")
shift 2

skip() {
  echo "skipped under Wine: $*"
  exit 77
}
case $(basename "$script" .sh) in
  sysenv-verbs) skip "it starts, waits for and kills a POSIX program, which no Windows process list shows" ;;
  stats-verbs) skip "it stops a copy with SIGINT, which reaches the wine loader, not the Windows program" ;;
  archive-and-paths) skip "Debian has no Windows 7-Zip tool to put beside voutil.exe" ;;
  reg-verb) skip "it expects the system's message texts, which are Wine's own wording" ;;
  encoding-verbs) skip "it checks the POSIX permission bits of the key files, which Windows files lack" ;;
esac

shim=$(mktemp -d)
trap 'rm -rf "$shim"' EXIT
cat >"$shim/voutil" <<SHIM
#!/usr/bin/env bash
# voutil.exe under Wine, its exit status kept. Text output (every line end a CR LF) gets POSIX
# line ends; binary output (standard output in binary mode) passes unchanged.
out=\$(mktemp) err=\$(mktemp)
wine "$exe" "\$@" >"\$out" 2>"\$err"
status=\$?
if [[ \$(tr -cd '\n' <"\$out" | wc -c) -eq \$(grep -ac \$'\r\$' "\$out") ]]; then
  sed 's/\r\$//' "\$out"
else
  cat "\$out"
fi
sed 's/\r\$//' "\$err" >&2
rm -f "\$out" "\$err"
exit \$status
SHIM
chmod +x "$shim/voutil"
# Cases on FIFOs and devices, which Wine does not show a Windows program, check this.
VOUTIL_UNDER_WINE=1 bash ${VOUTIL_TRACE:+-x} "$script" "$shim/voutil" "$@"
