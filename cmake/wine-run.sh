#!/bin/sh
# Runs a Windows test program under Wine for ctest (the crossing emulator). The caller starts a
# persistent wineserver first (see tools/test.sh); without one this still works, only slower.
#
# Under load Wine now and then fails to start a process at all: it exits non-zero within a few
# milliseconds without the program having printed a byte. Every test program prints something
# once it runs, so a failure with no output at all is such a launch failure and is tried again
# (twice at most, said on stderr). A program that ran and failed is never run a second time.
WINEDEBUG=${WINEDEBUG:--all}
export WINEDEBUG

dir=$(mktemp -d "${TMPDIR:-/tmp}/wine-run.XXXXXX") || exec wine "$@"
trap 'rm -rf "$dir"' EXIT
trap 'exit 143' INT TERM
attempt=1
while :; do
  wine "$@" >"$dir/out" 2>"$dir/err"
  rc=$?
  if [ "$rc" -eq 0 ] || [ -s "$dir/out" ] || [ -s "$dir/err" ] || [ "$attempt" -ge 3 ]; then
    break
  fi
  echo "wine-run: $1 exited with $rc before printing anything; starting it again" >&2
  attempt=$((attempt + 1))
done
cat "$dir/out"
cat "$dir/err" >&2
exit "$rc"
