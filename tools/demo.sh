#!/usr/bin/env bash
# The Quill demo: installs what is missing, builds the quill tool and the Windows projector, packs
# examples/demo into build/demo/quill-demo.exe and runs it under Wine. With a display the demo's
# window opens for you; without one (or with --headless, or under CI) it runs on a private
# display in a private Wine prefix, the demo runner clicks every button, and this prints what the
# scripts did and leaves a screenshot in build/demo/demo-screenshot.png. Exits 0 only when every
# step happened.
#   tools/demo.sh [--headless | --window]
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=$root/build/demo

mode=auto
case "${1:-}" in
  --headless) mode=headless ;;
  --window) mode=window ;;
  "") ;;
  *) echo "usage: tools/demo.sh [--headless | --window]" >&2; exit 2 ;;
esac

die() {
  echo "demo: FAILED: $*" >&2
  exit 1
}

# A display counts when DISPLAY names an X server that answers (or whose socket exists when
# xdpyinfo is not installed) and this is not a CI run.
display_usable() {
  [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ] || return 1
  if command -v xdpyinfo >/dev/null 2>&1; then
    timeout 5 xdpyinfo >/dev/null 2>&1
  else
    local n=${DISPLAY#*:}
    n=${n%%.*}
    [ -S "/tmp/.X11-unix/X$n" ]
  fi
}
if [ "$mode" = auto ]; then
  if display_usable; then mode=window; else mode=headless; fi
fi

tools/setup.sh || die "tools/setup.sh could not install the dependencies"
jobs=$(nproc 2>/dev/null || echo 2)
echo "demo: building the quill tool (build/native) and the Windows projector (build/windows)"
{ cmake --preset native >/dev/null && cmake --build --preset native --target quill -j "$jobs" >/dev/null; } ||
  die "the quill tool did not build (run: cmake --build --preset native --target quill)"
targets=(quill-projector quill_movie_control)
[ "$mode" = headless ] && targets+=(quill_demo_runner)
{ cmake --preset windows >/dev/null &&
  cmake --build --preset windows --target "${targets[@]}" -j "$jobs" >/dev/null; } ||
  die "the Windows build failed (run: cmake --build --preset windows --target ${targets[*]})"

echo "demo: packing examples/demo into build/demo/quill-demo.exe"
mkdir -p "$out"
cmake -DQUILL="$root/build/native/tools/quill/quill" \
  -DSTUB="$root/build/windows/projector/quill-projector.exe" \
  -DCONTROL="$root/build/windows/control/win32/quill_movie.ocx" \
  -DSOURCE="$root/examples/demo" -DOUT="$out" -P tools/demo_pack.cmake >"$out/pack.log" 2>&1 ||
  die "packing failed: $(cat "$out/pack.log")"
echo "demo: build/demo/quill-demo.exe, $(stat -c %s "$out/quill-demo.exe") bytes"

# What the scripts wrote, read back from their files.
show_results() {
  echo "demo: what the scripts did (build/demo/demo-log.txt):"
  sed 's/\r$//; s/^/    /' "$out/demo-log.txt" 2>/dev/null
  if [ -f "$out/demo-saved.txt" ]; then
    echo "demo: the file the Save script wrote (build/demo/demo-saved.txt):"
    sed 's/\r$//; s/^/    /' "$out/demo-saved.txt"
  fi
}

if [ "$mode" = window ]; then
  echo "demo: opening the demo on $DISPLAY; press its buttons, then Quit (or Escape)"
  rm -f "$out/demo-log.txt" "$out/demo-saved.txt"
  (cd "$out" && WINEDEBUG=${WINEDEBUG:--all} wine quill-demo.exe /trace:demo-trace.txt) ||
    die "the demo ended with status $?"
  show_results
  exit 0
fi

# No display: a private Xvfb and a private Wine prefix (booted on first use; that takes a
# while once).
echo "demo: no display; clicking through on a private display (prefix build/demo/wine-prefix)"
export WINEPREFIX=$out/wine-prefix
source tools/wine-env.sh
trap wine_env_stop EXIT
trap 'exit 143' INT TERM
wine_env_start || die "Wine did not start"
wine "$root/build/windows/tests/demo/quill_demo_runner.exe" "$out/quill-demo.exe" "$out" ||
  { show_results; die "the click-through stopped (see above); the projector's trace is in build/demo/demo-trace.txt"; }
show_results
echo "demo: every step happened; screenshot in build/demo/demo-screenshot.png"
