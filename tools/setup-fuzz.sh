#!/bin/sh
# Installs what the fuzz build needs beyond tools/setup.sh: clang 14 and its compiler runtime
# for i386 (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer). Does nothing when it is
# all there already. Runs as root (or through sudo when it is available).
set -eu
cd "$(dirname "$0")/.."
sh tools/setup.sh

# The amd64 compiler-rt package carries the i386 runtimes too (libclang_rt.fuzzer-i386.a and
# the sanitizers). Its :i386 build must not be used: it pulls in libc6-amd64:i386, which
# conflicts with libc6-i386 and so removes g++-multilib, which the main build needs.
packages="clang-14 libclang-rt-14-dev"

missing=""
for package in $packages; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done
[ -z "$missing" ] && exit 0

run() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

echo "setup-fuzz: installing$missing"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  run dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
run apt-get update -q
# shellcheck disable=SC2086
run apt-get install -y -q --no-install-recommends $missing
