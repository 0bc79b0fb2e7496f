#!/usr/bin/env bash
# The quickest look at Quill: installs what is missing, builds the command-line tool and runs
# the example tour script.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target quill -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
build/native/tools/quill/quill run examples/tour.qls
