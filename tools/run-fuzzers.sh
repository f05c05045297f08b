#!/usr/bin/env bash
# Runs every libFuzzer target for longer than CI does (default 600 s each) and
# prints the executions and coverage reached. Usage: tools/run-fuzzers.sh [seconds]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${WYK_FUZZ_BUILD_DIR:-$here/build-fuzz}"
seconds="${1:-600}"
"$here/tools/setup-deps.sh" >/dev/null
cmake -S "$here/tests/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
targets=$(sed -n 's/^set(WYK_FUZZ_TARGETS \(.*\))$/\1/p' "$here/cmake/FuzzTargets.cmake")
[ -n "$targets" ] || { echo "no fuzz targets found in cmake/FuzzTargets.cmake"; exit 1; }
for target in $targets; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  log="$build/$target.log"
  if ! "$build/$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" \
      "$here/tests/fuzz/corpus/$target" >"$log" 2>&1; then
    echo "$target: FAILED, see $log (the crashing input is saved in the current folder)"
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
  echo "$target: $runs executions, $cov edges, no crash"
done
