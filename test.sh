#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
# Each library's CMakeLists.txt names on its first line the libraries it links.
bash scripts/check-layers.sh
source scripts/deps.sh
mwst_install_deps
mwst_generate_locales

BUILD=${MWST_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j "$(nproc)"
# The SQL mandate tests run against a private PostgreSQL server (MWST_TEST_PG).
source scripts/pg-test-server.sh
mwst_pg_start
trap mwst_pg_stop EXIT
ctest --test-dir "$BUILD" --output-on-failure -j "$(nproc)"
# The Debian package, unpacked under a scratch root and run from there.
bash scripts/package-test.sh "$BUILD"

# The fault tests (skip them with MWST_FAULT_TESTS=0): the suite again under
# ASan/UBSan, a smoke run of each fuzzer, and SIGKILL injection into mwst-batch.
if [ "${MWST_FAULT_TESTS:-1}" != 0 ]; then
  start=$SECONDS
  MWST_ASAN_BUILD_DIR="$BUILD-asan" bash scripts/sanitize-test.sh
  bash scripts/fuzz.sh smoke
  MWST_BUILD_DIR="$BUILD" bash scripts/crash-injection.sh
  echo "fault tests: $((SECONDS - start)) s"
fi
