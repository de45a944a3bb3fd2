#!/bin/sh
# Makes the Wine prefix the Win32 tests run in (once; later calls find it made), quietly and
# without a display: no Mono or Gecko installer is asked for, and wineboot waits until the
# prefix is complete.
set -eu
[ -f "$1/system.reg" ] && exit 0
mkdir -p "$1"
prefix=$(cd "$1" && pwd) # Wine takes an absolute prefix only
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
echo "wine-prefix: initialising $prefix"
if ! wineboot --init >"$prefix.log" 2>&1; then
  cat "$prefix.log" >&2
  exit 1
fi
wineserver --wait
