#!/usr/bin/env bash
# Builds Marbrook with AddressSanitizer + UndefinedBehaviorSanitizer into a
# separate folder and runs the whole test suite once under them. Any report
# from any process the tests start (the library, the tests, the programs they
# run) fails the run: reports are written to files and the folder must stay
# empty.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh

build=${MARBROOK_SANITIZE_BUILD_DIR:-build-sanitize}
warn_as_error=OFF
[ "${CI:-}" = "true" ] && warn_as_error=ON
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_COMPILE_WARNING_AS_ERROR="$warn_as_error" -DMARBROOK_SANITIZE=ON -DMARBROOK_BENCH=OFF
cmake --build "$build" -j"$(nproc)"

reports="$root/$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
supp="$root/scripts/sanitizers"
# Leaks are checked in every process; the only ones tolerated are one-time
# allocations inside system libraries (see lsan.supp for each and why). The
# only errors tolerated are those of a system library reading a damaged file
# inside the reader program (asan.supp).
export ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:detect_odr_violation=2:suppressions=$supp/asan.supp"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1:halt_on_error=1:suppressions=$supp/ubsan.supp"

status=0
run_tests=(ctest --test-dir "$build" --output-on-failure --timeout 900)
if [ -x scripts/with-pg.sh ]; then
  scripts/with-pg.sh "${run_tests[@]}" || status=$?
else
  "${run_tests[@]}" || status=$?
fi

shopt -s nullglob
found=("$reports"/*)
if [ "${#found[@]}" -gt 0 ]; then
  echo "test-sanitized: ${#found[@]} sanitizer report(s):" >&2
  for f in "${found[@]}"; do
    echo "---- $f" >&2
    head -n 60 "$f" >&2
  done
  status=1
else
  echo "test-sanitized: no sanitizer reports"
fi
exit "$status"
