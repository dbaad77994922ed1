#!/usr/bin/env bash
# libFuzzer (clang) with address and undefined-behaviour checks, the given seconds in all (default 30)
# shared by the targets: glyphfall-render's and glyphfall-xscreensaver's command lines, and the edit
# of ~/.xscreensaver. Findings are left in build-fuzz/ as crash-* files.
set -euo pipefail
cd "$(dirname "$0")/.."
half=$(( ${1:-30} / 2 ))
mkdir -p build-fuzz/corpus build-fuzz/corpus-xscreensaver
flags=(-std=c++20 -O1 -g -ffp-contract=off -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I.)
clang++ "${flags[@]}" shell/command_line.cpp glyphfall-render/options.cpp glyphfall-xscreensaver/options.cpp \
  fuzz/args_fuzz.cpp -o build-fuzz/args_fuzz
clang++ "${flags[@]}" glyphfall-xscreensaver/xscreensaver_file.cpp fuzz/hack_list_fuzz.cpp -lX11 \
  -o build-fuzz/hack_list_fuzz
cp -n fuzz/corpus/* build-fuzz/corpus/ 2>/dev/null || true
# Seeds: odd shapes of ~/.xscreensaver, and the installed system defaults:
# as they are, and a user's copy of their start (settings, then the list).
cp fuzz/corpus-xscreensaver/* build-fuzz/corpus-xscreensaver/
for f in /etc/X11/app-defaults/XScreenSaver /usr/share/X11/app-defaults/XScreenSaver; do
  [ -f "$f" ] || continue
  cp "$f" build-fuzz/corpus-xscreensaver/system
  awk '/^\*programs:/ { p = 1 } (p && m++ < 40) || (!p && /^\*[A-Za-z]+:/ && n++ < 40) { sub(/^\*/, ""); print }' \
    "$f" >build-fuzz/corpus-xscreensaver/copied
done
cd build-fuzz
echo "=== fuzzing the command line for ${half}s"
./args_fuzz -max_total_time="$half" -max_len=256 -print_final_stats=1 corpus 2>&1 | tail -n 12
echo "=== fuzzing the edit of ~/.xscreensaver for ${half}s"
./hack_list_fuzz -max_total_time="$half" -max_len=4096 -dict=../fuzz/xscreensaver.dict -print_final_stats=1 \
  corpus-xscreensaver 2>&1 | tail -n 12
