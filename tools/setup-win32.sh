#!/bin/sh
# Installs what cross-building MARLREND for Win32 and testing it under Wine needs, on top of
# tools/setup.sh, and nothing when it is all there already.
set -eu

packages="g++-mingw-w64-i686-posix mingw-w64-i686-dev wine wine32:i386"

missing=""
for package in $packages; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done
[ -z "$missing" ] && exit 0

run() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

echo "setup-win32: installing$missing"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  run dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
run apt-get update -q
# shellcheck disable=SC2086
run apt-get install -y -q --no-install-recommends $missing
