#!/usr/bin/env bash
# Builds everything with warnings as errors (installing what is missing) and
# runs every test, the end-to-end ones under their own Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLYPHFALL_WERROR=ON >/dev/null
cmake --build build-test -j"$(nproc)"
ctest --test-dir build-test --output-on-failure -j2
