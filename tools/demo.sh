#!/bin/sh
# Renders the example pages through the library and prints where the pictures are.
set -eu
cd "$(dirname "$0")/.."
mkdir -p out
if [ -x build/default/tools/marlrend-host ]; then
  for page in examples/*.json; do
    name=$(basename "$page" .json)
    build/default/tools/marlrend-host "$page" -o "out/$name.png"
    echo "rendered out/$name.png"
  done
else
  build/default/tools/marlrend-demo out/demo.ppm
  echo "rendered out/demo.ppm"
fi
