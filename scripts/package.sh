#!/usr/bin/env bash
# Builds the Debian package: glyphfall, glyphfall-render, glyphfall-saver and
# glyphfall-xscreensaver with their manual pages, the desktop entry and the
# hack's XScreenSaver settings. Writes glyphfall_VERSION_ARCH.deb here.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=Release -DGLYPHFALL_TESTS=OFF -DGLYPHFALL_BENCH=OFF >/dev/null
cmake --build build-deb -j"$(nproc)" --target glyphfall glyphfall-render glyphfall-saver glyphfall-xscreensaver glyphfall_docs
(cd build-deb && cpack -G DEB -B "$PWD/..")
rm -rf _CPack_Packages
ls glyphfall_*.deb
