#!/usr/bin/env bash
# Runs the fuzz targets one after the other, niced, FUZZ_SECONDS each, from
# the seed corpora, and prints what each did. `make fuzz` builds everything
# first. FUZZ_TARGETS narrows the run ("ini script").
#
# Per target, under build/fuzz/runs/: corpus/T (what the run grew),
# findings/T (crash-, leak-, timeout-, oom- files) and logs/T.log.
set -u

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${FUZZ_BUILD:-$ROOT/build/fuzz}
SEEDS=${FUZZ_SEEDS:-$ROOT/build/fuzz-seeds}
SECS=${FUZZ_SECONDS:-60}
RUNS=$BUILD/runs
ALL="ini respack texture_png texture_jpeg texture_tga texture_raw glyph ttf script model3dx obj model3ds"
TARGETS=${FUZZ_TARGETS:-$ALL}

# The driver and the EGL loader keep memory of their own until exit.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$ROOT/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

report=()
status=0
for t in $TARGETS; do
  exe=$BUILD/bin/fuzz_$t
  if [ ! -x "$exe" ]; then
    echo "fuzz: $exe is not built" >&2
    exit 2
  fi
  corpus=$RUNS/corpus/$t findings=$RUNS/findings/$t log=$RUNS/logs/$t.log
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  args=(-timeout=1 -rss_limit_mb=512 -max_total_time="$SECS" -print_final_stats=1
        -artifact_prefix="$findings/")
  [ -f "$ROOT/fuzz/$t.dict" ] && args+=(-dict="$ROOT/fuzz/$t.dict")
  dirs=("$corpus")
  [ -d "$SEEDS/$t" ] && dirs+=("$SEEDS/$t")
  [ -d "$ROOT/fuzz/regressions/$t" ] && dirs+=("$ROOT/fuzz/regressions/$t")
  echo "fuzz: $t for ${SECS}s"
  nice -n 15 "$exe" "${args[@]}" "${dirs[@]}" >"$log" 2>&1
  rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -o ' cov: [0-9]*' "$log" | tail -n 1 | tr -dc 0-9)
  ft=$(grep -o ' ft: [0-9]*' "$log" | tail -n 1 | tr -dc 0-9)
  found=$(cd "$findings" && ls -1 2>/dev/null | grep -E '^(crash|leak|timeout|oom)-' | tr '\n' ' ')
  if [ -n "$found" ] || [ $rc -ne 0 ]; then
    status=1
    [ -z "$found" ] && found="exit status $rc, see $log"
  else
    found="nothing"
  fi
  report+=("$(printf '%-13s %6ss %12s %7s %7s %7s  %s' "$t" "$SECS" "${execs:-?}" "${cov:-?}" "${ft:-?}" \
    "$(ls -1 "$corpus" | wc -l)" "$found")")
done

echo
printf '%-13s %7s %12s %7s %7s %7s  %s\n' target time execs cov ft corpus found
for line in "${report[@]}"; do echo "$line"; done
exit $status
