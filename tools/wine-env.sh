#!/usr/bin/env bash
# The environment the Windows tests run in: one Xvfb display, one persistent wineserver and a
# prefix prepared for tests (no window manager waits, no crash dialog, Wine's own fonts, no sound
# drivers). tools/test.sh uses it for the whole run; by hand:
#   tools/wine-env.sh ctest --preset windows -L display      run a command in it, then stop both
#   tools/wine-env.sh wine build/windows/tests/gui/quill_gui_bench_tests.exe --gtest_filter='GuiBench.*'
#   source tools/wine-env.sh && wine_env_start ... wine_env_stop     (from a script)
# WINEPREFIX defaults to build/wine-prefix in the checkout; one run per prefix at a time.

wine_env_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
wine_env_xvfb_pid=""
wine_env_server=0

# Everything here is idempotent and costs a grep when the prefix is already prepared.
wine_env_prepare_prefix() {
  local reg="$WINEPREFIX/user.reg"
  # Without a window manager, Wine waits ~2 s on every hide or close of a managed window.
  if ! grep -qs '^"Managed"="N"' "$reg"; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 ||
      return 1
  fi
  # The crash dialog would keep a crashing program alive until the test times out.
  if ! grep -qs '^"ShowCrashDialog"=dword:00000000' "$reg"; then
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
      </dev/null >/dev/null 2>&1 || return 1
  fi
  # Wine substitutes other fonts unless its own are in the prefix (Debian's fonts-wine).
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts" && cp -u /usr/share/wine/fonts/*.ttf "$fonts/"
}

wine_env_start() {
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEPREFIX=${WINEPREFIX:-$wine_env_root/build/wine-prefix}
  # There is no sound card; the audio drivers only print noise (device counts stay 0).
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winealsa.drv,winepulse.drv,wineoss.drv=d"

  # The server picks a free display number itself (other displays may run on this machine) and
  # writes it to the descriptor once it accepts connections.
  local dir
  dir=$(mktemp -d "${TMPDIR:-/tmp}/wine-env.XXXXXX") || return 1
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" </dev/null \
    >/dev/null 2>&1 &
  wine_env_xvfb_pid=$!
  local tries=0
  until grep -qs '^[0-9][0-9]*$' "$dir/display"; do
    if ! kill -0 "$wine_env_xvfb_pid" 2>/dev/null || [ $tries -ge 200 ]; then
      echo "wine-env: Xvfb did not start" >&2
      rm -rf "$dir"
      wine_env_stop
      return 1
    fi
    sleep 0.05
    tries=$((tries + 1))
  done
  export DISPLAY=":$(cat "$dir/display")"
  rm -rf "$dir"

  # A server left from an earlier run holds the display it started with; start afresh.
  mkdir -p "$(dirname "$WINEPREFIX")"
  wineserver -k </dev/null >/dev/null 2>&1 && wineserver -w </dev/null >/dev/null 2>&1
  # Wine's first process starts background services that inherit stdout/stderr; give them
  # /dev/null so a pipe reading our output still sees its end.
  wineserver -p </dev/null >/dev/null 2>&1
  wine_env_server=1
  wineboot -i </dev/null >/dev/null 2>&1
  if ! wine_env_prepare_prefix; then
    echo "wine-env: could not prepare the prefix $WINEPREFIX" >&2
    wine_env_stop
    return 1
  fi
}

wine_env_stop() {
  if [ "$wine_env_server" -eq 1 ]; then
    wineserver -k </dev/null >/dev/null 2>&1
    wine_env_server=0
  fi
  if [ -n "$wine_env_xvfb_pid" ]; then
    kill "$wine_env_xvfb_pid" 2>/dev/null
    wait "$wine_env_xvfb_pid" 2>/dev/null
    wine_env_xvfb_pid=""
  fi
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  if [ $# -eq 0 ]; then
    echo "usage: tools/wine-env.sh COMMAND [ARG...]   (or source it: wine_env_start, wine_env_stop)" >&2
    exit 2
  fi
  trap wine_env_stop EXIT
  trap 'exit 143' INT TERM
  wine_env_start || exit 1
  echo "wine-env: DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX" >&2
  "$@"
  exit $?
fi
