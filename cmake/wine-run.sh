#!/bin/sh
# Runs a Windows test program under Wine for ctest (the crossing emulator). The caller starts a
# persistent wineserver and a display first (tools/wine-env.sh); without a server this still
# works, only slower, and without a display the GUI tests fail.
#
# Under load Wine now and then fails to run a process at all: it exits non-zero within
# milliseconds with nothing on standard output and, on standard error, nothing or only Wine's own
# complaint ("wine client error:0: recvmsg: Connection reset by peer"). Every test program prints
# on standard output once it runs, or on standard error in its own words, so such a run is tried
# again (twice at most, said on stderr). A program that ran and failed is never run a second
# time.
WINEDEBUG=${WINEDEBUG:--all}
export WINEDEBUG

dir=$(mktemp -d "${TMPDIR:-/tmp}/wine-run.XXXXXX") || exec wine "$@"
trap 'rm -rf "$dir"' EXIT
trap 'exit 143' INT TERM
attempt=1
while :; do
  wine "$@" >"$dir/out" 2>"$dir/err"
  rc=$?
  # grep -v finds a line when the program itself wrote to standard error.
  if [ "$rc" -eq 0 ] || [ -s "$dir/out" ] || grep -qvE '^wine( client error|:)' "$dir/err" ||
    [ "$attempt" -ge 3 ]; then
    break
  fi
  echo "wine-run: $1 exited with $rc without running; starting it again" >&2
  attempt=$((attempt + 1))
done
cat "$dir/out"
cat "$dir/err" >&2
exit "$rc"
