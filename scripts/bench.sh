#!/usr/bin/env bash
# Builds the benchmarks and runs them all, the PostGIS one against a throwaway
# server, printing one table: case, n, our time, the baseline's time, their
# ratio and the peak memory of each.
#
#   scripts/bench.sh [bench_suite options]     e.g. --rounds 5, --only folder,dialog
#
# MARBROOK_BENCH_BUILD_DIR names the build folder (default build-bench);
# MARBROOK_BENCH_DIR the folder under which the data is generated (default
# the temporary folder; the 100 000-entry folder needs about 450 MB).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${MARBROOK_BENCH_BUILD_DIR:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARBROOK_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target marbrook_cli bench_suite
# The dialog's case runs the Qt benchmark program beside the suite, when Qt is there.
if cmake --build "$build" --target help | grep -q '^bench_dialog:'; then
  cmake --build "$build" -j"$(nproc)" --target bench_dialog
fi

MARBROOK_CLI="$PWD/$build/apps/marbrook" scripts/with-pg.sh "$build/bench/bench_suite" "$@"
