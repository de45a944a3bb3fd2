#!/bin/sh
# Renders every EMF file of a folder twice, with marlrend-host and with the reference player
# (the platform's GDI under Wine), and compares the pictures. For each page NAME, out/compare/
# gets NAME.ours.png, NAME.reference.bmp and NAME.side.png (ours | reference | difference);
# stdout gets a table of the pages, worst agreement first, and the median.
#
#   tools/compare_emf.sh [--dpi N] [--out DIR] [FOLDER]     (default ../shared/emf/pages, 100)
#   tools/compare_emf.sh --compare-only [--out DIR]          compare the pairs already in DIR
#
# --host PATH and --compare PATH name other builds of marlrend-host and marlrend-compare.
# A pixel agrees when a pixel within one pixel of it in the other picture lies within 32 of it
# in every sample, checked both ways (marlrend-compare).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
dpi=100
out=$root/out/compare
folder=$root/../shared/emf/pages
host=$root/build/default/tools/marlrend-host
compare=$root/build/default/tools/marlrend-compare
compare_only=0

usage() {
  sed -n '7,8p' "$0" | sed 's/^# *//' >&2
  exit 2
}

while [ $# -gt 0 ]; do
  case "$1" in
    --dpi) [ $# -ge 2 ] || usage; dpi=$2; shift 2 ;;
    --out) [ $# -ge 2 ] || usage; out=$2; shift 2 ;;
    --host) [ $# -ge 2 ] || usage; host=$2; shift 2 ;;
    --compare) [ $# -ge 2 ] || usage; compare=$2; shift 2 ;;
    --compare-only) compare_only=1; shift ;;
    -h|--help) usage ;;
    -*) echo "compare-emf: unknown option $1" >&2; usage ;;
    *) folder=$1; shift ;;
  esac
done
case "$dpi" in ''|*[!0-9]*) echo "compare-emf: --dpi takes a whole number" >&2; exit 2 ;; esac
mkdir -p "$out"
out=$(cd "$out" && pwd)
failures=$out/failures.txt
times=$out/times.txt

# The reference player, rebuilt when its source is newer.
build_reference() {
  player=$root/build/reference/emf-reference.exe
  source=$root/tools/reference/emf_reference_player.cpp
  if [ ! -f "$player" ] || [ "$source" -nt "$player" ]; then
    mkdir -p "$root/build/reference"
    i686-w64-mingw32-g++-posix -std=c++20 -O2 -Wall -Wextra -static -o "$player" "$source" \
      -lgdi32 -luser32
  fi
}

# Plays the pages named in the file pending (one path a line) in one Wine process.
play_pending() {
  list=$out/reference.list
  : >"$list"
  while IFS= read -r file; do
    name=$(basename "$file"); name=${name%.*}
    printf 'Z:%s\tZ:%s\n' "$file" "$out/$name.reference.bmp" >>"$list"
  done <"$1"
  WINEPREFIX=$root/build/win32/wine WINEDEBUG=-all DISPLAY= \
    wine "$root/build/reference/emf-reference.exe" --list "$list" "$dpi" \
    >>"$out/reference.log" 2>&1 || true
}

# All pages in one Wine process, starting Wine costs more than playing a page. A page that
# crashes GDI (a damaged file) ends the process: the first page still without a picture is
# given up, and the pages after it are played again, until every page is played or given up.
render_reference() {
  build_reference
  sh "$root/tools/wine-prefix.sh" "$root/build/win32/wine"
  pending=$out/reference.pending
  : >"$pending"
  for file in "$folder"/*.emf "$folder"/*.EMF; do
    [ -f "$file" ] || continue
    echo "$(cd "$(dirname "$file")" && pwd)/$(basename "$file")" >>"$pending"
  done
  : >"$out/reference.log"
  echo "compare-emf: playing $(wc -l <"$pending") pages with GDI under Wine" >&2
  while [ -s "$pending" ]; do
    play_pending "$pending"
    skipped=0
    : >"$pending.next"
    while IFS= read -r file; do
      name=$(basename "$file"); name=${name%.*}
      [ -f "$out/$name.reference.bmp" ] && continue
      if [ "$skipped" -eq 0 ]; then skipped=1; continue; fi
      echo "$file" >>"$pending.next"
    done <"$pending"
    mv "$pending.next" "$pending"
  done
  WINEPREFIX=$root/build/win32/wine wineserver --wait
}

render_ours() {
  echo "compare-emf: rendering with $host at $dpi dpi" >&2
  for file in "$folder"/*.emf "$folder"/*.EMF; do
    [ -f "$file" ] || continue
    name=$(basename "$file"); name=${name%.*}
    start=$(date +%s.%N)
    if "$host" "$file" -o "$out/$name.ours.png" --dpi "$dpi" --quiet \
      >"$out/$name.host.log" 2>&1; then
      status=0
    else
      status=$?
    fi
    end=$(date +%s.%N)
    echo "$name $start $end" | awk '{ printf "%s %.3f\n", $1, $3 - $2 }' >>"$times"
    [ "$status" -eq 0 ] || echo "$name ours: exit $status" >>"$failures"
    [ -f "$out/$name.reference.bmp" ] || echo "$name reference: not played" >>"$failures"
  done
}

if [ "$compare_only" -eq 0 ]; then
  [ -d "$folder" ] || { echo "compare-emf: no folder $folder" >&2; exit 2; }
  rm -f "$out"/*.ours.png "$out"/*.reference.bmp "$out"/*.side.png "$out"/*.host.log \
    "$failures" "$times"
  render_reference
  render_ours
fi

# Compare every pair present; a page that failed on either side counts as 0 % agreement.
results=$out/results.txt
: >"$results"
for ours in "$out"/*.ours.png; do
  [ -f "$ours" ] || continue
  name=$(basename "$ours" .ours.png)
  reference=$out/$name.reference.bmp
  [ -f "$reference" ] || reference=$out/$name.reference.png
  [ -f "$reference" ] || continue
  if line=$("$compare" "$ours" "$reference" "$out/$name.side.png" 2>&1); then
    echo "$name $line" >>"$results"
  else
    echo "$name compare: $line" >>"$failures"
  fi
done
if [ -f "$failures" ]; then
  sort -u "$failures" | while read -r name reason; do
    grep -q "^$name " "$results" || echo "$name 0.00 - ($reason)" >>"$results"
  done
fi

sort -k2,2n -k1,1 "$results" | awk -v dpi="$dpi" -v times="$times" '
  BEGIN {
    while ((getline line < times) > 0) { split(line, f, " "); took[f[1]] = f[2] }
    printf "%-28s %-12s %8s %8s\n", "file", "size", "agree %", "ours s"
  }
  {
    name = $1; share = $2; size = $3; rest = ""
    for (i = 4; i <= NF; ++i) rest = rest " " $i
    seconds = (name in took) ? took[name] : "-"
    printf "%-28s %-12s %8s %8s%s\n", name, size, share, seconds, rest
    shares[NR] = share
  }
  END {
    if (NR == 0) { print "no pairs to compare"; exit 1 }
    median = (NR % 2) ? shares[(NR + 1) / 2] : (shares[NR / 2] + shares[NR / 2 + 1]) / 2
    at98 = 0
    for (i = 1; i <= NR; ++i) if (shares[i] >= 98) ++at98
    printf "%d pages at %s dpi: median agreement %.2f %%, %d of %d at 98 %% or more\n",
      NR, dpi, median, at98, NR
  }'
if [ -s "$times" ]; then
  sort -k2,2n "$times" | awk '{ t[NR] = $2 } END {
    m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
    printf "marlrend-host: median %.3f s per page (%d pages), slowest %.3f s\n", m, NR, t[NR] }'
fi
