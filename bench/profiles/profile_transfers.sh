#!/bin/sh
# Instruction profiles of the driver-side transfer cases under callgrind (counts do not move
# with the machine's load), one output file per case in $OUT, then one table row per case:
# the transfers, then the plain loops of the floor cases.
# The code areas are written through one view and run through another, so valgrind is told
# to check every executed block for changes.
OUT=${OUT:-/tmp/marlrend-callgrind}
HERE=$(dirname "$0")
# PRESET=default64 profiles the x86-64 edition, whose routines take AVX2 under callgrind.
PRESET=${PRESET:-default}
BENCH=$HERE/../../build/$PRESET/bench/marlrend_driver_bench
mkdir -p "$OUT"
FILES=
for c in glyph16x24/0xB8p glyph16x24/0xCCmono 64x64/0xF0p 64x64/0xB8p 64x64/0x68p \
         rows600/0x66 rows600/0xB8p rows600/0x01p rows600/0x68p band/0xB8p band/0x68p \
         floor/rows600/0x66 floor/rows600/0xB8 floor/rows600/0x68 \
         floor/band/0x66 floor/band/0xB8 floor/band/0x68; do
  n=$(echo "$c" | tr '/' '_')
  valgrind --tool=callgrind --smc-check=all --callgrind-out-file="$OUT/cg.$n" "$BENCH" \
    --benchmark_repetitions=1 --benchmark_filter="Driver/BitBlt/$c/" > "$OUT/log.$n" 2>&1
  FILES="$FILES $OUT/cg.$n"
done
python3 "$HERE/summarise_callgrind.py" $FILES
