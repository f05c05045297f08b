#!/usr/bin/env bash
# Sets up a fresh machine, builds everything and runs every test:
# native unit tests (sanitizers), the static check of the 32-bit product and the Wine suites.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${WYK_BUILD_DIR:-$here/build}"

"$here/tools/setup-deps.sh"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Debug
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@"
