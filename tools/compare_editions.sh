#!/bin/sh
# Renders the same pages with the host program of both editions (build/default, i386, and
# build/default64, x86-64) and checks that the pictures are identical byte for byte. Pages are
# the files named on the command line, or the example pages (JSON and metafiles) by default.
#   tools/compare_editions.sh [--dpi N] [PAGE.json | FILE.emf | FOLDER] ...
set -u
cd "$(dirname "$0")/.."
dpi=150
if [ "${1:-}" = "--dpi" ]; then dpi=$2; shift 2; fi
host32=build/default/tools/marlrend-host
host64=build/default64/tools/marlrend-host
for host in "$host32" "$host64"; do
  if [ ! -x "$host" ]; then echo "compare-editions: $host is not built" >&2; exit 2; fi
done

out=out/editions
rm -rf "$out"
mkdir -p "$out/32" "$out/64"

list=$(mktemp)
trap 'rm -f "$list"' EXIT
if [ "$#" -eq 0 ]; then set -- tools/examples/*.json tools/examples/emf/*.emf; fi
for item in "$@"; do
  if [ -d "$item" ]; then find "$item" -maxdepth 1 -type f \( -name '*.emf' -o -name '*.json' \) | sort
  else echo "$item"; fi
done > "$list"

pages=0 same=0 differ=0 failed=0
while IFS= read -r page; do
  pages=$((pages + 1))
  name=$(basename "$page" | sed 's/\.[^.]*$//')
  case "$page" in *.emf) extra="--dpi $dpi" ;; *) extra="" ;; esac
  # shellcheck disable=SC2086
  "$host32" "$page" -o "$out/32/$name.png" --quiet $extra > "$out/32/$name.log" 2>&1
  code32=$?
  # shellcheck disable=SC2086
  "$host64" "$page" -o "$out/64/$name.png" --quiet $extra > "$out/64/$name.log" 2>&1
  code64=$?
  if [ "$code32" -ne "$code64" ]; then
    echo "differ: $page (exit $code32 in the i386 edition, $code64 in the x86-64 edition)"
    differ=$((differ + 1))
    continue
  fi
  pictures=$(cd "$out/32" && ls "$name".png "$name"-*.png 2>/dev/null)
  if [ -z "$pictures" ]; then
    if [ "$code32" -ne 0 ]; then
      same=$((same + 1)) # refused alike by both editions
    else
      echo "no picture: $page"
      failed=$((failed + 1))
    fi
    continue
  fi
  verdict=same
  for picture in $pictures; do
    cmp -s "$out/32/$picture" "$out/64/$picture" || verdict=differ
  done
  if [ "$verdict" = same ]; then same=$((same + 1)); else
    echo "differ: $page"
    differ=$((differ + 1))
  fi
done < "$list"

echo "compare-editions: $pages pages, $same identical, $differ different, $failed without a picture"
[ "$differ" -eq 0 ] && [ "$failed" -eq 0 ]
