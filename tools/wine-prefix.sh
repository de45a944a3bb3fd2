#!/bin/sh
# Makes the Wine prefix the Win32 tests run in (once; later calls find it made), quietly and
# without a display: no Mono or Gecko installer is asked for, and wineboot waits until the
# prefix is complete.
set -eu
prefix="$1"
[ -f "$prefix/system.reg" ] && exit 0
mkdir -p "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
echo "wine-prefix: initialising $prefix"
wineboot --init >/dev/null 2>&1
wineserver --wait
