#!/usr/bin/env bash
# Builds and runs every test (installing what is missing first):
#   1. the Windows build (scripts/build-windows.sh): the core's unit tests and
#      the benchmark's smoke run under Wine;
#   2. the normal build, warnings as errors: unit, tool, end-to-end (own
#      Xvfb; glyphfall.exe under Wine when the Windows build made it) and the
#      benchmark's smoke run;
#   3. the same tests built with AddressSanitizer + UndefinedBehaviorSanitizer;
#   4. the same tests built with ThreadSanitizer;
#   5. a short libFuzzer run over the command-line parsers and the edit of
#      ~/.xscreensaver.
# GLYPHFALL_TEST_ONLY=windows|normal|address|thread|fuzz runs one of them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)
only=${GLYPHFALL_TEST_ONLY:-}

run_suite() { # name, extra cmake args...
  local name=$1; shift
  echo "=== glyphfall tests: $name build"
  cmake -S . -B "build-test-$name" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLYPHFALL_WERROR=ON "$@" >/dev/null
  cmake --build "build-test-$name" -j"$jobs"
  local exclude=()
  # The sanitizer builds run every test but the timing-only benchmark smoke.
  [ "$name" = normal ] || exclude=(-LE bench)
  ctest --test-dir "build-test-$name" --output-on-failure -j2 "${exclude[@]}"
}

if [ -z "$only" ] || [ "$only" = windows ]; then
  echo "=== glyphfall tests: Windows build, under Wine"
  bash scripts/build-windows.sh
  ctest --test-dir build-windows --output-on-failure -j2
fi
if [ -z "$only" ] || [ "$only" = normal ]; then
  windows=()
  [ -f build-windows/glyphfall.exe ] && windows=(-DGLYPHFALL_WINDOWS_EXE="$PWD/build-windows/glyphfall.exe")
  run_suite normal "${windows[@]}"
fi
if [ -z "$only" ] || [ "$only" = address ]; then
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp print_suppressions=0" \
    run_suite address -DGLYPHFALL_SANITIZE=address,undefined -DGLYPHFALL_BENCH=OFF
fi
if [ -z "$only" ] || [ "$only" = thread ]; then
  TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp print_suppressions=0 second_deadlock_stack=1" \
    run_suite thread -DGLYPHFALL_SANITIZE=thread -DGLYPHFALL_BENCH=OFF
fi
if { [ -z "$only" ] || [ "$only" = fuzz ]; } && [ -x fuzz/run.sh ]; then bash fuzz/run.sh 30; fi
echo "=== glyphfall tests: all passed"
