#!/usr/bin/env bash
# Builds the benchmark variants and prints each figure next to its limit.
#   bench/run-benchmarks.sh [--quick] [--runs N] [--rounds N] [--no-docs]   (see bench/benchmarks.py)
# The report is also written into docs/benchmarks.md (unless --no-docs).
# Environment: WYK_BENCH_BUILD_DIR (default build-bench).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${WYK_BENCH_BUILD_DIR:-$here/build-bench}"
"$here/tools/setup-deps.sh" >/dev/null
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DWYK_BENCH=ON -DWYK_FUZZERS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
# Fixed addresses for every Wine process: this Wine build has no preloader, and
# with address randomization a Wine process now and then dies at start.
exec setarch "$(uname -m)" -R /usr/bin/python3 "$here/bench/benchmarks.py" "$build" "$@"
