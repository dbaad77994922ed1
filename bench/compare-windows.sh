#!/usr/bin/env bash
# The bench's ratios from the Linux build and from the Windows build under
# Wine, one after the other on the same scenes: the 32 letters' blocks as the
# Linux glyphfall-render builds them (1920x1080, DPI 96), since the Windows
# build draws its letter with GDI. Wine counts a thread's CPU time in 10 ms
# ticks, so each run lasts 0.3 s instead of 0.1 s (about 3 minutes a build
# for the attraction step alone, the default filter). Elapsed time instead
# (--real-time) is finer but only fair on an otherwise idle machine.
#   bench/compare-windows.sh LINUX_BUILD WINDOWS_BUILD [bench options...]
# LINUX_BUILD has glyphfall-render and bench/glyphfall-bench (a Release
# build), WINDOWS_BUILD bench/glyphfall-bench.exe and its Wine prefix.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: compare-windows.sh LINUX_BUILD WINDOWS_BUILD [bench options...]" >&2; exit 2; }
linux=$(realpath "$1") windows=$(realpath "$2")
shift 2
options=(--benchmark_min_time=0.3 "--benchmark_filter=^attraction/(literal|reference|divider|fused|hybrid)/" "$@")
here=$(dirname "$0")
blocks=$(mktemp -d)
trap 'rm -rf "$blocks"; bash "$here/../scripts/wine-prefix.sh" stop "$windows/wineprefix"' EXIT

# The render tool draws its letter from the seed: try seeds until every
# letter has its file (seeds 0 to 40 cover all 32).
for seed in $(seq 0 999); do
  [ "$(ls "$blocks" | wc -l)" -eq 32 ] && break
  letter=$("$linux/glyphfall-render" --seed "$seed" --blocks "$blocks/next.csv" | sed -n 's/^letter 0x\(..\) .*/\1/p')
  mv "$blocks/next.csv" "$blocks/$letter.csv"
done

bash "$here/../scripts/wine-prefix.sh" start "$windows/wineprefix"
echo "=== Linux: $linux/bench/glyphfall-bench"
"$linux/bench/glyphfall-bench" --blocks "$blocks" "${options[@]}" | tee "$blocks/linux.txt" | grep -E '^attraction (step|speedup)'
echo "=== Windows under Wine: $windows/bench/glyphfall-bench.exe"
WINEPREFIX=$windows/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
  wine "$windows/bench/glyphfall-bench.exe" --blocks "Z:$blocks" "${options[@]}" </dev/null |
  tr -d '\r' | tee "$blocks/windows.txt" | grep -E '^attraction (step|speedup)'
