#!/usr/bin/env bash
# Regenerates the README's picture: one scene rendered by glyphfall-render
# (the two-tone letter, the first frame, then after 50, 200 and 1000 steps),
# put side by side at twice the raster's size.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target glyphfall-render glyphfall-png-strip
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
render=build/tools/glyphfall-render
seed=${SEED:-7}
$render --screen 1920x1080 --seed "$seed" --twotone "$tmp/0-letter.png"
for steps in 1 50 200 1000; do
  $render --screen 1920x1080 --seed "$seed" --steps "$steps" --frame "$tmp/$(printf %04d "$steps").png"
done
build/tools/glyphfall-png-strip docs/scene-strip.png 2 8 "$tmp/0-letter.png" "$tmp"/0001.png \
  "$tmp"/0050.png "$tmp"/0200.png "$tmp"/1000.png
echo "wrote docs/scene-strip.png"
