#!/usr/bin/env bash
# Builds the Debian package from the built tree in $1; checks its files and
# the libraries it declares.
set -euo pipefail
out=$(mktemp -d) && trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$1/CPackConfig.cmake" -B "$out" >"$out/log" 2>&1 || { cat "$out/log"; exit 1; }
deb=$(echo "$out"/glyphfall_*.deb) fail=0
files=$(dpkg-deb -c "$deb" | awk '{print $6}') deps=$(dpkg-deb -f "$deb" Depends)
for f in bin/glyphfall bin/glyphfall-render libexec/xscreensaver/glyphfall-xscreensaver \
  share/xscreensaver/config/glyphfall-xscreensaver.xml share/applications/glyphfall.desktop \
  share/man/man1/glyphfall.1 share/man/man1/glyphfall-render.1 share/man/man1/glyphfall-xscreensaver.1; do
  grep -qx "./usr/$f" <<<"$files" || { echo "missing from the package: /usr/$f"; fail=1; }
done
for d in libsdl2-2.0-0 libx11-6 libxext6 libfreetype6 libfontconfig1 libpng16-16 libwebpmux3 fonts-liberation2; do
  grep -qw "$d" <<<"$deps" || { echo "not among the dependencies: $d"; fail=1; }
done
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes; Depends: $deps"; exit $fail
