#!/usr/bin/env bash
# Builds glyphfall (installing what is missing) and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DGLYPHFALL_TESTS=OFF >/dev/null
cmake --build build --target glyphfall -j"$(nproc)"
exec ./build/glyphfall
