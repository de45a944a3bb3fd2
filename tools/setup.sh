#!/bin/sh
# Installs what building and testing MARLREND needs on a Debian machine, and nothing when it
# is all there already. Runs as root (or through sudo when it is available).
#   tools/setup.sh         the native builds of both editions (i386 and x86-64), their tests,
#                          benchmarks and host program
#   tools/setup.sh win32   on top of that: the mingw-w64 cross compilers of both editions and
#                          Wine with its 32-bit and 64-bit loaders
#   tools/setup.sh fuzz    on top of that: clang 14 and its compiler runtime for libFuzzer
set -eu

case "${1:-native}" in
  # The -dev libraries are Multi-Arch: same, so the :amd64 ones of the 64-bit edition install
  # beside the :i386 ones of the 32-bit edition.
  native) packages="make cmake g++ g++-multilib googletest nlohmann-json3-dev libstb-dev
console-setup-linux fonts-liberation2 fonts-dejavu-core pkg-config
libbenchmark-dev:i386 libpng-dev:i386 libuemf-dev:i386 libfreetype-dev:i386
libfontconfig-dev:i386
libbenchmark-dev:amd64 libpng-dev:amd64 libuemf-dev:amd64 libfreetype-dev:amd64
libfontconfig-dev:amd64" ;;
  win32) packages="g++-mingw-w64-i686-posix mingw-w64-i686-dev g++-mingw-w64-x86-64-posix
mingw-w64-x86-64-dev wine wine32:i386 wine64" ;;
  # The amd64 compiler-rt package carries the i386 runtimes too (libclang_rt.fuzzer-i386.a and
  # the sanitizers). Its :i386 build must not be used: it pulls in libc6-amd64:i386, which
  # conflicts with libc6-i386 and so removes g++-multilib, which the main build needs.
  fuzz) packages="clang-14 libclang-rt-14-dev" ;;
  *) echo "setup: unknown package set '$1' (native, win32 or fuzz)" >&2; exit 2 ;;
esac

missing=""
for package in $packages; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done
[ -z "$missing" ] && exit 0

run() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

echo "setup ${1:-native}: installing$missing"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  run dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
run apt-get update -q
# shellcheck disable=SC2086
run apt-get install -y -q --no-install-recommends $missing
