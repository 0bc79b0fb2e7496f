#!/usr/bin/env bash
# Regenerates docs/reference from the descriptions in the binding tables. It runs the Windows
# build's quill.exe under Wine, because only that build has every class, and the projector's
# quill-projector-doc for the classes only the projector has; commit the pages with
# the code change that made them (the doc/reference test compares them with the generator).
#   tools/update_reference.sh        (WINEPREFIX defaults to build/wine-prefix, as tools/test.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset windows >/dev/null
cmake --build --preset windows --target quill quill-projector-doc -j "$jobs" >/dev/null
rm -rf docs/reference
tools/wine-env.sh sh -c 'cmake/wine-run.sh build/windows/tools/quill/quill.exe doc --markdown \
  docs/reference && cmake/wine-run.sh build/windows/projector/quill-projector-doc.exe --markdown \
  docs/reference'
echo "docs/reference: $(ls docs/reference | wc -l) pages"
