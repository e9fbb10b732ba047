#!/usr/bin/env bash
# The sanitizer run: builds with AddressSanitizer and UndefinedBehaviorSanitizer
# (-DMWST_SANITIZE=ON) into a build folder of its own and runs the tests there,
# stopping at the first report (halt_on_error). Called by test.sh; run it alone
# with `bash scripts/sanitize-test.sh`. MWST_TEST_PG, when set, reaches the SQL
# mandate tests as in the normal run.
#   MWST_ASAN_BUILD_DIR   build folder (default build-asan)
#   MWST_SANITIZE_TESTS   ctest -R regex of the tests to run (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=${MWST_ASAN_BUILD_DIR:-build-asan}
JOBS=${MWST_JOBS:-$(nproc)}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMWST_SANITIZE=ON \
  -DMWST_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j "$JOBS"

# detect_leaks stays on; Qt's own one-time allocations are not ours, so the
# suppressions name them. abort_on_error gives the test a failing status even
# where a child process reports.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:suppressions=$PWD/scripts/sanitize-suppressions.txt${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

args=(--test-dir "$BUILD" --output-on-failure -j "$JOBS" --timeout 1500)
[ -n "${MWST_SANITIZE_TESTS:-}" ] && args+=(-R "$MWST_SANITIZE_TESTS")
start=$SECONDS
ctest "${args[@]}"
echo "sanitizer tests: $((SECONDS - start)) s"
