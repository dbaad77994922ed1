#!/usr/bin/env bash
# Builds the Debian package from the built tree in $1 (as scripts/package.sh does); checks its files and
# declared libraries; lintian (pedantic), mandoc and desktop-file-validate: any error or warning fails.
# A Release tree must also carry Debian's hardening flags.
set -euo pipefail
umask 002   # a common default: lintian then sees any directory packed 0775
out=$(mktemp -d) && trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$1/CPackConfig.cmake" -B "$out" >"$out/log" 2>&1 || { cat "$out/log"; exit 1; }
deb=$(echo "$out"/glyphfall_*.deb) fail=0
files=$(dpkg-deb -c "$deb" | awk '{print $6}') deps=$(dpkg-deb -f "$deb" Depends)
for f in bin/glyphfall bin/glyphfall-render bin/glyphfall-saver libexec/xscreensaver/glyphfall-xscreensaver \
  share/xscreensaver/config/glyphfall-xscreensaver.xml share/applications/glyphfall.desktop \
  share/man/man1/glyphfall.1.gz share/man/man1/glyphfall-render.1.gz share/man/man1/glyphfall-saver.1.gz \
  share/man/man6/glyphfall-xscreensaver.6x.gz \
  share/doc/glyphfall/copyright share/doc/glyphfall/changelog.gz share/doc/glyphfall/README; do
  grep -qx "./usr/$f" <<<"$files" || { echo "missing from the package: /usr/$f"; fail=1; }
done
for d in libsdl2-2.0-0 libx11-6 libxext6 libfreetype6 libfontconfig1 libpng16-16 libwebpmux3 fonts-liberation2; do
  grep -qw "$d" <<<"$deps" || { echo "not among the dependencies: $d"; fail=1; }
done
lintian --fail-on error,warning -EIL +pedantic "$deb" >"$out/lintian" 2>&1 || { echo "lintian finds errors or warnings:"; fail=1; }
grep -v 'root privileges' "$out/lintian" || true
if grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$1/CMakeCache.txt" && grep -q hardening "$out/lintian"; then
  echo "a Release build without Debian's hardening flags"; fail=1
fi
dpkg-deb -x "$deb" "$out/root"
said=$(desktop-file-validate "$out/root/usr/share/applications/glyphfall.desktop" 2>&1) && [ -z "$said" ] ||
  { echo "desktop-file-validate: $said"; fail=1; }
for page in "$out"/root/usr/share/man/*/*; do
  zcat "$page" | mandoc -Tlint -W warning || { echo "mandoc finds warnings in ${page#"$out/root"}"; fail=1; }
done
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes; Depends: $deps"; exit $fail
