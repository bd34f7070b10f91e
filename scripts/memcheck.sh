#!/usr/bin/env bash
# Runs a short scripted headless session under valgrind's memcheck and fails
# on any memory error or on memory definitely or indirectly lost.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
out="$build/memcheck"
mkdir -p "$out"
command -v valgrind >/dev/null || { echo "memcheck: valgrind is not installed" >&2; exit 1; }
echo "memcheck: running $root/assets/memcheck.script (a few minutes under valgrind)"
status=0
valgrind --error-exitcode=3 --leak-check=full --show-leak-kinds=definite,indirect \
  --errors-for-leak-kinds=definite,indirect --num-callers=30 \
  --suppressions="$root/tests/valgrind.supp" --log-file="$out/valgrind.log" \
  "$build/bin/orbelline" --headless --seed 1700000000 --script "$root/assets/memcheck.script" --out "$out" \
  2>"$out/stderr.log" || status=$?
grep -E "ERROR SUMMARY|definitely lost|indirectly lost" "$out/valgrind.log" | sed 's/^==[0-9]*== /memcheck: /'
if [ "$status" -ne 0 ]; then
  echo "memcheck: FAILED (status $status); see $out/valgrind.log" >&2
  exit 1
fi
echo "memcheck: clean; log in $out/valgrind.log"
