#!/bin/sh
# Renders the example pages through the library and prints where the pictures are.
set -u
cd "$(dirname "$0")/.."
host=build/default/tools/marlrend-host
mkdir -p out
status=0
for page in tools/examples/*.json; do
  name=$(basename "$page" .json)
  picture="out/$name.png"
  rm -f "$picture"
  "$host" "$page" -o "$picture"
  code=$?
  if [ "$code" -eq 0 ]; then
    echo "rendered $picture"
  elif [ "$code" -eq 4 ] && [ -f "$picture" ]; then
    echo "rendered $picture, but the library did not draw all of it (see above)"
    status=1
  else
    echo "could not render $page (exit $code)"
    status=1
  fi
done
# Metafiles, played through the host's EMF player.
for page in tools/examples/emf/*.emf; do
  name=emf-$(basename "$page" .emf)
  picture="out/$name.png"
  rm -f "$picture"
  "$host" "$page" -o "$picture" --dpi 150 --quiet
  code=$?
  if [ "$code" -eq 0 ]; then
    echo "rendered $picture"
  else
    echo "could not render $page (exit $code)"
    status=1
  fi
done
exit $status
