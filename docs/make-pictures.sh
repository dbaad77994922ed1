#!/usr/bin/env bash
# Regenerates the README's pictures of one scene rendered by glyphfall-render:
# the strip (the two-tone letter, the first frame, then after 50, 200 and 1000
# steps, side by side at twice the raster's size) and the animation (the
# letter, then a frame every 10 steps up to 3000, also at twice the size).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target glyphfall-render glyphfall-png-strip
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
render=build/glyphfall-render
seed=${SEED:-7}
$render --screen 1920x1080 --seed "$seed" --twotone "$tmp/0-letter.png"
for steps in 1 50 200 1000; do
  $render --screen 1920x1080 --seed "$seed" --steps "$steps" --frame "$tmp/$(printf %04d "$steps").png"
done
build/glyphfall-png-strip docs/scene-strip.png 2 8 "$tmp/0-letter.png" "$tmp"/0001.png \
  "$tmp"/0050.png "$tmp"/0200.png "$tmp"/1000.png
echo "wrote docs/scene-strip.png"
$render --screen 1920x1080 --seed "$seed" --steps 3000 --webp docs/scene-motion.webp --every 10 --scale 2
echo "wrote docs/scene-motion.webp ($(stat -c %s docs/scene-motion.webp) bytes)"
