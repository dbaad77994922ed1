#!/usr/bin/env bash
# Installs the Debian packages glyphfall's build, tests and benchmarks need,
# or, given package names, those instead. Only Debian's archive is used;
# nothing else is downloaded.
set -euo pipefail
packages=(
  build-essential cmake pkg-config
  libsdl2-dev libfreetype-dev libfontconfig-dev libx11-dev libxext-dev libxrandr-dev libxtst-dev libpng-dev libwebp-dev
  libgtest-dev libbenchmark-dev libhwy-dev clang libclang-rt-14-dev
  fonts-liberation2 xvfb xauth
  xfonts-base libxfixes-dev  # end-to-end tests: core fonts for the error box, XFixes for the cursor
  libwayland-dev libegl1 libegl-mesa0 libgl1-mesa-dri weston  # Wayland: presentation through EGL (llvmpipe will do), a compositor for the tests
  libweston-10-dev  # the Wayland test's weston module that sends the close request
  wayland-protocols plasma-wayland-protocols  # glyphfall-saver's protocols (layer-shell is in protocols/)
  sway swayidle grim wtype  # glyphfall-saver's tests: the compositor, its idle daemon, screenshots, keys
  xscreensaver procps  # end-to-end tests of glyphfall-xscreensaver under the real daemon
  lintian mandoc desktop-file-utils  # the package test: Debian's checker on the .deb, the manual pages' syntax, the desktop entry
  nsis xserver-xorg-core xserver-xorg-video-dummy  # glyphfall.scr: its setup program; two monitors side by side for its tests
)
[ $# -eq 0 ] || packages=("$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
