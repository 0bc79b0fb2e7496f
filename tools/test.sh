#!/usr/bin/env bash
# The whole test run: installs what is missing, builds the sanitizer build and the Windows build,
# runs every test of both (the Windows ones under Wine), then fuzzes every fuzz target for a short
# while. Exits non-zero on any failure or finding.
#   tools/test.sh [native-asan] [windows] [native]     (default: native-asan windows)
#   QUILL_FUZZ_SECONDS=N sets the fuzzing time per target (default 20; 0 skips the pass).
set -uo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh --fuzz || exit 1

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native-asan windows)
jobs=$(nproc 2>/dev/null || echo 2)

# The Windows tests share one Xvfb display, one persistent wineserver and a prepared prefix.
source tools/wine-env.sh
wine_started=0
trap wine_env_stop EXIT
trap 'exit 143' INT TERM

status=0
for preset in "${presets[@]}"; do
  echo "=== $preset: configure and build"
  if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset" -j "$jobs"; then
    echo "=== $preset: BUILD FAILED"
    status=1
    continue
  fi
  if [ "$preset" = windows ] && [ "$wine_started" -eq 0 ]; then
    if ! wine_env_start; then
      echo "=== $preset: WINE DID NOT START"
      status=1
      continue
    fi
    echo "=== $preset: Wine prefix $WINEPREFIX, display $DISPLAY"
    wine_started=1
  fi
  echo "=== $preset: test"
  if ! ctest --preset "$preset" -j "$jobs" --timeout 300; then
    echo "=== $preset: TESTS FAILED"
    status=1
  fi
done
# The fuzzers need clang and its libFuzzer runtime, which the setup above installs.
fuzz_seconds=${QUILL_FUZZ_SECONDS:-20}
if [ "$fuzz_seconds" = 0 ]; then
  echo "=== fuzz: skipped (QUILL_FUZZ_SECONDS=0)"
elif command -v clang++ >/dev/null 2>&1; then
  if ! fuzz/run "$fuzz_seconds"; then
    echo "=== fuzz: FINDINGS (see build/fuzz/findings)"
    status=1
  fi
else
  echo "=== fuzz: skipped (clang is not available)"
fi
exit $status
