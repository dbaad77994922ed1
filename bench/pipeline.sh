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

# Xvfb picks a free display itself and writes its number once it is ready.
number=$(mktemp)
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null || true; rm -f "$number"' EXIT
display=""
for _ in $(seq 100); do
  display=$(cat "$number")
  [ -n "$display" ] && break
  kill -0 "$xvfb" 2>/dev/null || { echo "pipeline.sh: Xvfb did not start" >&2; exit 1; }
  sleep 0.05
done
[ -n "$display" ] || { echo "pipeline.sh: Xvfb not ready after 5 s" >&2; exit 1; }

DISPLAY=":$display" "$program" "$@"
