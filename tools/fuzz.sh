#!/bin/sh
# Builds the libFuzzer targets of both editions (presets `fuzz`, i386, and `fuzz64`, x86-64)
# and runs each for FUZZ_SECONDS (default 60) from its seed corpus in fuzz/corpus/<area>/. New
# inputs go to a working corpus under build/<preset>/corpus/, so the seeds in the repository
# stay small. Any crash, sanitizer report, broken invariant, timeout or memory blow-up is a
# finding: its input is saved under build/<preset>/findings/ and the script fails. A table of
# executions and findings per target goes to build/<preset>/summary.txt.
# FUZZ_PRESETS chooses the editions (default "fuzz fuzz64").
set -eu
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}

sh tools/setup.sh
sh tools/setup.sh fuzz
export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

failed=0
for preset in ${FUZZ_PRESETS:-fuzz fuzz64}; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"

  out=build/$preset
  mkdir -p "$out/findings" "$out/logs" "$out/corpus"
  summary="$out/summary.txt"
  printf '%-22s %12s %9s %9s\n' target executions seconds findings > "$summary"
  for target in "$out"/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    area=${name#fuzz_}
    seeds=fuzz/corpus/$area
    work=$out/corpus/$area
    log=$out/logs/$name.log
    mkdir -p "$seeds" "$work"
    before=$(ls "$out/findings" | grep -c "^$name-" || true)
    status=0
    "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$out/findings/$name-" "$work" "$seeds" > "$log" 2>&1 || status=$?
    after=$(ls "$out/findings" | grep -c "^$name-" || true)
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    found=$((after - before))
    if [ "$status" -ne 0 ] && [ "$found" -eq 0 ]; then found=1; fi
    printf '%-22s %12s %9s %9s\n' "$name" "${runs:-0}" "$seconds" "$found" >> "$summary"
    if [ "$found" -ne 0 ]; then
      failed=1
      echo "fuzz: $name found something (exit $status); see $log and $out/findings/" >&2
      tail -n 30 "$log" >&2
    fi
  done
  echo "$preset:"
  cat "$summary"
done
exit "$failed"
