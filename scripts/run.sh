#!/usr/bin/env bash
# Builds Marbrook and starts the demo host: a small GIS window whose
# "Add Data..." opens Marbrook's dialog. Arguments go to the host.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh >/dev/null
build=${MARBROOK_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
# Without a display the host says how to start it under a virtual one.
exec "$build/apps/marbrook-host/marbrook-host" "$@"
