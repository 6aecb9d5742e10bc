#!/usr/bin/env bash
# Installs what is missing, builds Marbrook with its tests, and runs them all
# (a throwaway PostgreSQL + PostGIS server is started for the database tests
# and removed afterwards).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${MARBROOK_BUILD_DIR:-build}
warn_as_error=OFF
[ "${CI:-}" = "true" ] && warn_as_error=ON
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_COMPILE_WARNING_AS_ERROR="$warn_as_error" -DMARBROOK_BENCH=ON
cmake --build "$build" -j"$(nproc)"

run_tests=(ctest --test-dir "$build" --output-on-failure --timeout 600)
if [ -x scripts/with-pg.sh ]; then
  scripts/with-pg.sh "${run_tests[@]}"
else
  "${run_tests[@]}"
fi
