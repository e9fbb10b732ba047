#!/usr/bin/env bash
# The libFuzzer harnesses of tests/fuzz, built with clang into build-fuzz
# (ASan, UBSan and the fuzzer's coverage in every library of ours).
#   scripts/fuzz.sh smoke [RUNS]        every harness RUNS inputs (default 20000)
#                                       from its seed corpus; what test.sh runs
#   scripts/fuzz.sh run NAME [SECONDS]  one harness for SECONDS (default 3600),
#                                       growing build-fuzz/corpus/NAME; more
#                                       libFuzzer options after SECONDS
# NAME is one of: workbook_zip workbook_xml convert_table mandate_text.
# Seeds come from the template workbooks (built here), res/demo and
# tests/fuzz/deep-nesting-seeds.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=${MWST_FUZZ_BUILD_DIR:-build-fuzz}
JOBS=${MWST_JOBS:-$(nproc)}
NAMES=(workbook_zip workbook_xml convert_table mandate_text)
SEPARATOR=$'\n--part--\n'

build() {
  local flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer"
  CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMWST_FUZZ=ON -DMWST_BUILD_BENCH=OFF -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
  cmake --build "$BUILD" -j "$JOBS" --target mwst_templates "${NAMES[@]/#/fuzz_}"
}

# One seed directory per harness, made fresh from the sources each time.
seeds() {
  local seeds="$BUILD/seeds" vts entries i name
  rm -rf "$seeds"
  mkdir -p "${NAMES[@]/#/$seeds/}"
  for vts in "$BUILD"/bin/mwst/*.vts; do
    cp "$vts" "$seeds/workbook_zip/"
    entries=$(ziptool "$vts" get_num_entries 0 | awk '{print $1}')
    for ((i = 0; i < entries; i++)); do
      name=$(ziptool "$vts" stat "$i" | sed -n "s/^name: '\(.*\)'$/\1/p")
      case "$name" in
        xl/worksheets/sheet*.xml)
          ziptool "$vts" cat "$i" >"$seeds/workbook_xml/$(basename "$vts" .vts)-$(basename "$name")" ;;
        xl/mwstView.xml)
          { ziptool "$vts" cat "$(ziptool "$vts" name_locate xl/worksheets/sheet1.xml 0 | sed 's/.*index //')"; printf '%s' "$SEPARATOR" \
              '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><si><t>a</t></si></sst>' \
              "$SEPARATOR" "$SEPARATOR"; ziptool "$vts" cat "$i"; } >"$seeds/workbook_xml/$(basename "$vts" .vts)-parts" ;;
      esac
    done
  done
  tests/fuzz/deep-nesting-seeds.sh "$seeds"
  cp res/demo/quorvex.txt "$seeds/convert_table/"
  printf 'VSN77==>VSN81\r\n;comment\n\xC4B77 ==> \xC4B81\n' >"$seeds/convert_table/crlf-1252"
  for f in res/demo/*.txt; do
    [ "$(basename "$f")" = quorvex.txt ] || cp "$f" "$seeds/mandate_text/"
  done
}

run() {
  local name=$1
  shift
  local corpus="$BUILD/corpus/$name" max_len=65536
  # The XML harness's deep-nesting seeds are 1.4 MB of plain XML.
  [ "$name" = workbook_xml ] && max_len=$((2 << 20))
  mkdir -p "$corpus" "$BUILD/artifacts"
  # Crashing inputs land in build-fuzz/artifacts; -max_len keeps a template in reach.
  (cd "$BUILD/artifacts" && ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "../bin/fuzz_$name" -max_len="$max_len" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 "$@" \
    "../corpus/$name" "../seeds/$name")
}

case "${1:-smoke}" in
  smoke)
    runs=${2:-20000}
    build
    seeds
    start=$SECONDS
    for name in "${NAMES[@]}"; do
      echo "== fuzz_$name: $runs runs"
      if ! run "$name" -runs="$runs" >"$BUILD/fuzz_$name.log" 2>&1; then
        tail -n 60 "$BUILD/fuzz_$name.log" >&2
        echo "fuzz_$name failed; the input is in $BUILD/artifacts" >&2
        exit 1
      fi
      grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|INFO: seed corpus|Done )' "$BUILD/fuzz_$name.log" || true
    done
    echo "fuzz smoke run: $((SECONDS - start)) s"
    ;;
  run)
    name=${2:?harness name: ${NAMES[*]}}
    seconds=${3:-3600}
    shift $(($# < 3 ? $# : 3))
    build
    seeds
    run "$name" -max_total_time="$seconds" "$@"
    ;;
  *)
    sed -n '2,12p' "$0" >&2
    exit 2
    ;;
esac
