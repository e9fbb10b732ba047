#!/usr/bin/env bash
# Crash injection: kills mwst-batch with SIGKILL at random moments of the five
# conversion steps over a few demo mandates, then checks every mandate:
#  - it still dumps (mwst-mandant dump) and every workbook still reads (mwst-vts dump);
#  - no temporary file of ours (*.mwsttmp-*) is left once the step ran again;
#  - running the interrupted step again gives exactly what the uninterrupted
#    run gave (records, workbooks, the set of files);
#  - every backup the runs took is complete, and no half-written one is left.
#    Backups carry the moment they were taken in their names, so they are
#    checked on their own and kept out of the comparison.
#   MWST_BUILD_DIR         where the programs are (default build)
#   MWST_CRASH_KILLS       kills per step (default 6: 30 in all)
#   MWST_CRASH_SEED        seed of the random moments (default: the time; printed)
#   MWST_CRASH_RERUN=warn  report a differing re-run without failing
set -euo pipefail
cd "$(dirname "$0")/.."

BIN=$(cd "${MWST_BUILD_DIR:-build}/bin" && pwd)
KILLS=${MWST_CRASH_KILLS:-6}
SEED=${MWST_CRASH_SEED:-$(date +%s)}
RANDOM=$SEED
STEPS=(show-keys insert-keys adapt-accounts form-2024 remove-old-keys)
MANDATES=(baeckerei-mueller cave-favre schreinerei-huber)
WORK=$(mktemp -d /tmp/mwst-crash-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
failures=0
rerun_differs=0
echo "crash injection: seed $SEED, $KILLS kills per step, in $WORK"

batch() {  # step root
  local dirs=() m
  for m in "${MANDATES[@]}"; do dirs+=("$1/$m"); done
  "$BIN/mwst-batch" "$2" --yes "${dirs[@]}" >/dev/null 2>&1 || true
}

# Everything that counts of the mandates under $1, path-independent, on stdout.
state() {
  local m f
  for m in "${MANDATES[@]}"; do
    echo "== $m"
    (cd "$1/$m" && find . -path ./.mwst-backup -prune -o -type f ! -name 'pendra.db-wal' ! -name 'pendra.db-shm' \
      ! -name 'pendra.db-journal' -print | sort)
    "$BIN/mwst-mandant" dump "$1/$m" | grep -v '^# mwst-mandant dump of ' || echo "DUMP FAILED: $m"
    for f in "$1/$m"/*.VTS "$1/$m"/*.vts; do
      [ -e "$f" ] || continue
      echo "-- $(basename "$f")"
      "$BIN/mwst-vts" dump "$f" 2>&1 || echo "WORKBOOK UNREADABLE: $f"
    done
  done
}

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The uninterrupted run, one copy of the mandates before each step and one at the end.
"$BIN/mwst-mandant" demo "$WORK/demo" >/dev/null
mkdir -p "$WORK/stage0"
for m in "${MANDATES[@]}"; do cp -a "$WORK/demo/$m" "$WORK/stage0/"; done
declare -a MS
for i in "${!STEPS[@]}"; do
  cp -a "$WORK/stage$i" "$WORK/stage$((i + 1))"
  start=$(date +%s%N)
  batch "$WORK/stage$((i + 1))" "${STEPS[$i]}"
  MS[$i]=$(( ($(date +%s%N) - start) / 1000000 ))
  state "$WORK/stage$((i + 1))" >"$WORK/expected$((i + 1))"
done

kills=0
for i in "${!STEPS[@]}"; do
  step=${STEPS[$i]}
  for ((k = 0; k < KILLS; k++)); do
    trial="$WORK/trial"
    rm -rf "$trial"
    cp -a "$WORK/stage$i" "$trial"
    # A moment within the step's measured duration.
    delay_ms=$((RANDOM % (MS[$i] + 1)))
    dirs=()
    for m in "${MANDATES[@]}"; do dirs+=("$trial/$m"); done
    "$BIN/mwst-batch" "$step" --yes "${dirs[@]}" >/dev/null 2>&1 &
    pid=$!
    sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
    kill -KILL "$pid" 2>/dev/null && kills=$((kills + 1))
    wait "$pid" 2>/dev/null || true
    what="$step killed after $delay_ms ms"

    for m in "${MANDATES[@]}"; do
      "$BIN/mwst-mandant" dump "$trial/$m" >/dev/null 2>&1 || fail "$what: $m does not dump"
      for f in "$trial/$m"/*.VTS "$trial/$m"/*.vts; do
        [ -e "$f" ] || continue
        "$BIN/mwst-vts" dump "$f" >/dev/null 2>&1 || fail "$what: $f does not read"
      done
    done
    # A temporary file of the killed run may stay until the next run, which removes it.
    batch "$trial" "$step"
    stray=$(find "$trial" -name '*.mwsttmp-*' | head -n 3)
    [ -z "$stray" ] || fail "$what: stray files after the re-run: $stray"
    for b in "$trial"/*/.mwst-backup/* "$trial"/*/.mwst-backup/.tmp-*; do
      [ -e "$b" ] || continue
      case $(basename "$b") in
        .tmp-*) fail "$what: half-written backup left after the re-run: $b" ;;
        *) [ -f "$b/backup.txt" ] || fail "$what: backup without its manifest: $b" ;;
      esac
    done
    if ! state "$trial" | cmp -s - "$WORK/expected$((i + 1))"; then
      rerun_differs=$((rerun_differs + 1))
      echo "re-run of $step after a kill at $delay_ms ms differs from the uninterrupted run:" >&2
      state "$trial" | diff "$WORK/expected$((i + 1))" - | head -n 20 >&2 || true
      [ "${MWST_CRASH_RERUN:-}" = warn ] || failures=$((failures + 1))
    fi
  done
done

echo "crash injection: $kills kills (the others finished first), $failures failures, $rerun_differs re-runs differing (seed $SEED)"
[ "$failures" -eq 0 ]
