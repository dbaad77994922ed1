#!/usr/bin/env bash
# Builds glyphfall for 64-bit Windows on this Debian machine: glyphfall.exe,
# glyphfall-bench.exe, the unit tests (ctest runs them under Wine) and the
# ZIP, all in build-windows/.
#
# Debian ships Highway, GoogleTest and Google Benchmark for Linux only, so
# they are built here for mingw from Debian's own sources, the versions the
# Linux build uses: Highway and Benchmark from their Debian source packages
# (fetched through a private apt configuration, so the system's stays as it
# is), GoogleTest from libgtest-dev's /usr/src/googletest. Downloads and
# builds are kept in .cache/windows/ and reused by later runs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cache=$root/.cache/windows
deps=$cache/deps
jobs=$(nproc)
mingw=x86_64-w64-mingw32

bash scripts/setup.sh cmake dpkg-dev g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 libgtest-dev \
  gcc-mingw-w64-base mingw-w64-common nsis

# Debian's source of a package, unpacked with Debian's patches applied, into
# $cache/src/<package>. apt reads only the private copy of the system's
# sources (as deb-src) and keeps its indexes and downloads in the cache.
# The version is the Linux build's, when its package is installed.
fetch_source() { # package, its Linux development package
  local package=$1 apt=$cache/apt version
  version=$(dpkg-query -W -f='${Version}' "$2" 2>/dev/null || true)
  local -a options=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt/sources"
    -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o APT::Sandbox::User=root)
  [ -d "$cache/src/$package" ] && return
  if [ ! -d "$apt/lists" ] || ! ls "$apt/lists"/*Sources* >/dev/null 2>&1; then
    mkdir -p "$apt/sources" "$apt/lists/partial" "$apt/cache/archives/partial"
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt/sources/$(basename "$f")"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [ -f "$f" ] || continue
      sed -n 's/^deb /deb-src /p' "$f" >"$apt/sources/src-$(basename "$f" .list).list"
    done
    apt-get "${options[@]}" update -q
  fi
  mkdir -p "$cache/download/$package"
  (cd "$cache/download/$package" && apt-get "${options[@]}" source --download-only -q "$package${version:+=$version}")
  local dsc
  dsc=$(ls "$cache/download/$package"/*.dsc | head -n1)
  rm -rf "$cache/src/$package.tmp"
  mkdir -p "$cache/src"
  dpkg-source --no-check -x "$dsc" "$cache/src/$package.tmp" >/dev/null
  mv "$cache/src/$package.tmp" "$cache/src/$package"
  rm -f "$cache/src"/*.tar.* "$cache/src"/*.dsc
}

# Configures, builds and installs one library for mingw into $deps, once.
build_dep() { # name, source dir, cmake args...
  local name=$1 src=$2; shift 2
  [ -f "$deps/.built-$name" ] && return
  echo "build-windows: building $name for Windows"
  cmake -S "$src" -B "$cache/build/$name" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_SHARED_LIBS=OFF -DGLYPHFALL_DEPENDENCY=ON \
    "$@" >/dev/null
  cmake --build "$cache/build/$name" -j"$jobs" >/dev/null
  cmake --install "$cache/build/$name" >/dev/null
  touch "$deps/.built-$name"
}

fetch_source highway libhwy-dev
fetch_source benchmark libbenchmark-dev
build_dep highway "$cache/src/highway" -DHWY_ENABLE_TESTS=OFF -DHWY_ENABLE_EXAMPLES=OFF \
  -DHWY_ENABLE_CONTRIB=OFF -DHWY_ENABLE_INSTALL=ON
build_dep googletest /usr/src/googletest -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF
build_dep benchmark "$cache/src/benchmark" -DBENCHMARK_ENABLE_TESTING=OFF -DBENCHMARK_ENABLE_GTEST_TESTS=OFF \
  -DBENCHMARK_ENABLE_WERROR=OFF -DBENCHMARK_ENABLE_LTO=OFF -DGIT_VERSION=1.7.1 \
  -DHAVE_STD_REGEX=1 -DHAVE_STEADY_CLOCK=1

# The licence texts of what glyphfall.exe links statically, for the ZIP.
mkdir -p "$deps/licenses"
cp "$cache/src/highway/LICENSE" "$deps/licenses/Highway-LICENSE.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$deps/licenses/mingw-w64-runtime-copyright.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$deps/licenses/gcc-runtime-copyright.txt"

# The preset finds the libraries in $deps.
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"
(cd build-windows && cpack -G ZIP >/dev/null)

echo "build-windows: wrote build-windows/glyphfall.exe and build-windows/$(cd build-windows && ls glyphfall-*-win64.zip)"
echo "build-windows: glyphfall.exe imports:"
$mingw-objdump -p build-windows/glyphfall.exe | grep 'DLL Name'
# The screen saver and the setup program (glyphfall-scr/CMakeLists.txt).
echo "build-windows: wrote build-windows/glyphfall.scr and build-windows/$(cd build-windows && ls glyphfall-*-win64-setup.exe)"
for program in glyphfall.scr $(cd build-windows && ls glyphfall-*-win64-setup.exe); do
  echo "build-windows: $program imports:"
  $mingw-objdump -p build-windows/$program | grep 'DLL Name'
done
