#!/bin/sh
# Makes the Wine prefix the Windows tests run in (once; later calls find it made), quietly and
# without a display: no Mono or Gecko installer is asked for, and wineboot waits until the
# prefix is complete.
#   tools/wine-prefix.sh PREFIX       the Win32 suite's prefix, made by /usr/bin/wine
#   tools/wine-prefix.sh PREFIX 64    the Win64 suite's: a 64-bit prefix made by Wine's 64-bit
#                                     loader (Debian keeps it in /usr/lib/wine, off the PATH)
set -eu
[ -f "$1/system.reg" ] && exit 0
loader=wine
if [ "${2:-32}" = 64 ]; then
  loader=$(command -v wine64 || echo /usr/lib/wine/wine64)
  export WINEARCH=win64
fi
mkdir -p "$1"
prefix=$(cd "$1" && pwd) # Wine takes an absolute prefix only
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
echo "wine-prefix: initialising $prefix"
if ! "$loader" wineboot --init >"$prefix.log" 2>&1; then
  cat "$prefix.log" >&2
  exit 1
fi
wineserver --wait
