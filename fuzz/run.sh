#!/usr/bin/env bash
# Fuzzes the command-line parsers of glyphfall-render and
# glyphfall-xscreensaver with libFuzzer (clang), with address and
# undefined-behaviour checks, for the given number of seconds (default 30).
# Findings are left in build-fuzz/ as crash-* files.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build-fuzz/corpus
clang++ -std=c++20 -O1 -g -ffp-contract=off -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I. shell/command_line.cpp glyphfall-render/options.cpp glyphfall-xscreensaver/options.cpp fuzz/args_fuzz.cpp -o build-fuzz/args_fuzz
cp -n fuzz/corpus/* build-fuzz/corpus/ 2>/dev/null || true
echo "=== fuzzing the command line for ${1:-30}s"
cd build-fuzz
./args_fuzz -max_total_time="${1:-30}" -max_len=256 -print_final_stats=1 corpus 2>&1 | tail -n 12
