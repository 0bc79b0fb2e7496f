#!/bin/sh
# Runs a Windows test program under Wine for ctest (the crossing emulator). The caller starts a
# persistent wineserver first (see tools/test.sh); without one this still works, only slower.
WINEDEBUG=${WINEDEBUG:--all}
export WINEDEBUG
exec wine "$@"
