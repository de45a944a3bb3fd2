#!/bin/sh
# Installs what building and testing MARLREND needs on a Debian machine, and nothing when it
# is all there already. Runs as root (or through sudo when it is available).
set -eu

packages="make cmake g++ g++-multilib googletest libbenchmark-dev:i386 nlohmann-json3-dev
libstb-dev console-setup-linux"

missing=""
for package in $packages; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done
[ -z "$missing" ] && exit 0

run() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

echo "setup: installing$missing"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  run dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
run apt-get update -q
# shellcheck disable=SC2086
run apt-get install -y -q --no-install-recommends $missing
