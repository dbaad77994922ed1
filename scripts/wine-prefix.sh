#!/usr/bin/env bash
# The Wine prefix the Windows programs' tests run in, one per build directory.
#   wine-prefix.sh start PREFIX   makes PREFIX once (64-bit), then starts a
#                                 wineserver that stays between programs
#   wine-prefix.sh stop PREFIX    stops that wineserver
# Made once: a first start takes about 15 s, a program then starts in a
# fraction of a second instead of over one. No Mono or Gecko prompts, and no
# window manager is expected (Wine would wait 2 s before destroying a
# full-screen window otherwise). Tests run wine with the same environment:
# WINEPREFIX=PREFIX WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
set -euo pipefail
[ $# -eq 2 ] && { [ "$1" = start ] || [ "$1" = stop ]; } || {
  echo "usage: wine-prefix.sh start|stop PREFIX" >&2
  exit 2
}
export WINEPREFIX=$2 WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$1" = stop ]; then
  [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null || true
  exit 0
fi
if [ ! -f "$WINEPREFIX/.made" ]; then
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  # No display while the prefix is made: nothing may show up on the user's.
  env -u DISPLAY -u WAYLAND_DISPLAY wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
  wineserver -w
  touch "$WINEPREFIX/.made"
fi
# The server and Wine's own services (started by the first program) keep
# whatever output they are given open for as long as they run: give them
# none, so that whoever started them (ctest) does not wait for them.
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1
