#!/usr/bin/env bash
# Sets up a fresh machine, builds everything and runs every test:
# native unit tests (sanitizers), the static check of the 32-bit product and the Wine suites,
# which run the PE32 under WoW64 (or, where 32-bit code cannot run, the 64-bit build; then said below).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${WYK_BUILD_DIR:-$here/build}"

"$here/tools/setup-deps.sh"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Debug
cmake --build "$build" -j"$(nproc)"
status=0
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@" || status=$?
target="$build/wine-tests/target.txt"
if [ -f "$target" ] && [ "$(head -n1 "$target")" != "pe32" ]; then
  echo "NOTE: the Wine suites ran the 64-bit build, not the PE32: $(tail -n +2 "$target")"
fi
exit $status
