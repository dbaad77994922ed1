#!/usr/bin/env bash
# Runs glyphfall-pipeline on a private Xvfb screen of 1920x1080 and stops the
# server afterwards, whatever happens.
# Usage: bench/pipeline.sh [path/to/glyphfall-pipeline] [seconds per phase] [rounds]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=${1:-$here/../build/bench/glyphfall-pipeline}
shift || true
if [ ! -x "$program" ]; then
  echo "pipeline.sh: no glyphfall-pipeline at $program (build it, or pass its path)" >&2
  exit 1
fi
command -v Xvfb >/dev/null || { echo "pipeline.sh: Xvfb is not installed (scripts/setup.sh)" >&2; exit 1; }

# A display number nobody uses.
display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "pipeline.sh: no free display number in 90..140" >&2; exit 1; }

Xvfb ":$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -e "/tmp/.X11-unix/X$display" ] && break
  kill -0 "$xvfb" 2>/dev/null || { echo "pipeline.sh: Xvfb :$display did not start" >&2; exit 1; }
  sleep 0.05
done
[ -e "/tmp/.X11-unix/X$display" ] || { echo "pipeline.sh: Xvfb :$display not ready after 5 s" >&2; exit 1; }

DISPLAY=":$display" "$program" "$@"
