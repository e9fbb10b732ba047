#!/usr/bin/env bash
# Crash injection: kills mwst-batch with SIGKILL at random moments over a few
# demo mandates, then checks every mandate. What is killed (one kind each):
#  - each of the five conversion steps on its own;
#  - the joined run insert-keys,adapt-accounts,form-2024;
#  - form-2024 with --jobs 2 (the whole process group: the children too);
#  - mwst-batch restore of each mandate after the joined run: it takes the
#    backup that run took (the newest taken before a command, never a
#    restore's own, so the killed restore's backup of the state before it
#    does not change what the second restore puts back).
# Kills come at a random moment within the uninterrupted run's duration; for
# the kinds that replace workbooks every second one comes instead as soon as
# the journal of an activation or restore (.mwst-activation, .mwst-restore)
# appears, while the files are renamed into place.
# After each kill:
#  - every mandate still dumps (mwst-mandant dump) and every workbook still
#    reads (mwst-vts dump);
#  - the four form workbooks show one version (VERSION) unless the journal of
#    an interrupted activation or restore is there to finish them;
#  - where workbooks are replaced (form-2024, the joined run, restore): after
#    the next open for a change (mwst-batch insert-keys --dry-run, which
#    itself changes nothing, on the state as left by the kill,
#    which is put back afterwards) the four show one version and no journal
#    or staging folder is left; a restored mandate is wholly as before the
#    restore or wholly as restored;
#  - running the same command again leaves no temporary file of ours
#    (*.mwsttmp-*), no journal or staging folder, and exactly what the
#    uninterrupted run gave (records, workbooks, the set of files);
#  - every backup the runs took is complete, and no half-written one is left.
#    Backups carry the moment they were taken in their names, so they are
#    checked on their own and kept out of the comparison.
#   MWST_BUILD_DIR         where the programs are (default build)
#   MWST_CRASH_KILLS       kills per kind (default 4: 32 in all)
#   MWST_CRASH_SEED        seed of the random moments (default: the time; printed)
#   MWST_CRASH_RERUN=warn  report a differing re-run without failing
set -euo pipefail
cd "$(dirname "$0")/.."

BIN=$(cd "${MWST_BUILD_DIR:-build}/bin" && pwd)
KILLS=${MWST_CRASH_KILLS:-4}
SEED=${MWST_CRASH_SEED:-$(date +%s)}
RANDOM=$SEED
STEPS=(show-keys insert-keys adapt-accounts form-2024 remove-old-keys)
KINDS=("${STEPS[@]}" joined jobs2 restore)
MANDATES=(baeckerei-mueller cave-favre schreinerei-huber)
WORKBOOKS=(MWSTFORM.VTS MWSTPAU.VTS _MWSTFRM.VTS _MWSTPAU.VTS)
# An interrupted restore or form activation leaves these in the mandate until
# the next open or run finishes it.
RESUMABLE=(.mwst-restore .mwst-activation .mwst-activation.tmp)
WORK=$(mktemp -d /tmp/mwst-crash-XXXXXX)
PIDS=()
# The runs are in sessions of their own: an interrupted script takes them along.
cleanup() {
  local p
  for p in "${PIDS[@]}"; do kill -KILL -- -"$p" "$p" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
# Settings of our own: the backups stay in the mandates (not under a backup
# root of this user's settings), so the copies below carry them along.
export MWST_SETTINGS="$WORK/brisol.ini"
: >"$MWST_SETTINGS"
STARTED=$(date +%s)
failures=0
rerun_differs=0
kind=
declare -A ARGS BASE EXPECTED MS KILLED FINISHED FAILS DIFFERS MIXED
for k in "${KINDS[@]}"; do KILLED[$k]=0 FINISHED[$k]=0 FAILS[$k]=0 DIFFERS[$k]=0 MIXED[$k]=0; done
for s in "${STEPS[@]}"; do ARGS[$s]=$s; done
ARGS[joined]=insert-keys,adapt-accounts,form-2024
ARGS[jobs2]="form-2024 --jobs 2"
ARGS[restore]=restore
echo "crash injection: seed $SEED, $KILLS kills per kind, in $WORK"

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
  [ -z "$kind" ] || FAILS[$kind]=$((${FAILS[$kind]} + 1))
}

# Starts kind $1 on the mandates under $2 in the background, each process in
# a session of its own, so that a kill of its group takes the children of
# --jobs too; their ids in PIDS.
start() {
  local m args dirs=()
  PIDS=()
  if [ "$1" = restore ]; then
    for m in "${MANDATES[@]}"; do
      setsid "$BIN/mwst-batch" restore --yes "$2/$m" >/dev/null 2>&1 &
      PIDS+=($!)
    done
    return
  fi
  read -ra args <<<"${ARGS[$1]}"
  for m in "${MANDATES[@]}"; do dirs+=("$2/$m"); done
  setsid "$BIN/mwst-batch" "${args[@]}" --yes "${dirs[@]}" >/dev/null 2>&1 &
  PIDS+=($!)
}

# Waits for the processes in PIDS; STATUS the highest exit status, KILLS_SEEN
# how many of them died of SIGKILL.
finish() {
  local p s
  STATUS=0 KILLS_SEEN=0
  for p in "${PIDS[@]}"; do
    s=0
    wait "$p" 2>/dev/null || s=$?
    [ "$s" -ne 137 ] || KILLS_SEEN=$((KILLS_SEEN + 1))
    [ "$s" -le "$STATUS" ] || STATUS=$s
  done
  PIDS=()
}

# Kind $1 on the mandates under $2 to its end.
run() {
  start "$1" "$2"
  finish
}

# Everything that counts of mandate $2 under $1, path-independent, on stdout.
# The journals and staging folder are left out: left_over names them.
state_of() {
  local f
  echo "== $2"
  (cd "$1/$2" && find . \( -path ./.mwst-backup -o -path ./.mwst-activation.tmp \) -prune -o -type f \
    ! -name 'pendra.db-wal' ! -name 'pendra.db-shm' ! -name 'pendra.db-journal' \
    ! -name .mwst-activation ! -name .mwst-restore -print | sort)
  "$BIN/mwst-mandant" dump "$1/$2" | grep -v '^# mwst-mandant dump of ' || echo "DUMP FAILED: $2"
  for f in "$1/$2"/*.VTS "$1/$2"/*.vts; do
    [ -e "$f" ] || continue
    echo "-- $(basename "$f")"
    "$BIN/mwst-vts" dump "$f" 2>&1 || echo "WORKBOOK UNREADABLE: $f"
  done
}

# The state of every mandate under $1.
state() {
  local m
  for m in "${MANDATES[@]}"; do state_of "$1" "$m"; done
}

# The uninterrupted run of kind $1 on a copy of $2 into $3: its duration and
# the state it leaves (also per mandate, as $3.MANDATE).
expect() {
  local m start_ns
  cp -a "$2" "$3"
  BASE[$1]=$2
  start_ns=$(date +%s%N)
  run "$1" "$3"
  MS[$1]=$(( ($(date +%s%N) - start_ns) / 1000000 ))
  if [ "$1" = restore ] && [ "$STATUS" -ne 0 ]; then fail "the uninterrupted restore failed (status $STATUS)"; fi
  state "$3" >"$3.state"
  for m in "${MANDATES[@]}"; do state_of "$3" "$m" >"$3.$m"; done
  EXPECTED[$1]=$3.state
  left_over "uninterrupted $1" "$3"
}

# Journals or staging folders of an interrupted restore or activation in the mandates under $2.
left_over() {
  local m r
  for m in "${MANDATES[@]}"; do
    for r in "${RESUMABLE[@]}"; do
      [ ! -e "$2/$m/$r" ] || fail "$1: $m/$r is left"
    done
  done
}

# The version of each of the four form workbooks of mandate folder $1, one
# line each ("missing" or "unreadable" for such a workbook), on stdout.
versions() {
  local f v
  for f in "${WORKBOOKS[@]}"; do
    if [ ! -e "$1/$f" ]; then
      echo missing
      continue
    fi
    v=$("$BIN/mwst-vts" dump "$1/$f" 2>/dev/null | sed -n 's/^name VERSION "\(.*\)"$/\1/p') || v=
    echo "${v:-unreadable}"
  done
}

# True while one of the processes in PIDS has not ended (a zombie has).
running() {
  local p state
  for p in "${PIDS[@]}"; do
    { read -r _ _ state _ <"/proc/$p/stat"; } 2>/dev/null || continue
    [ "$state" = Z ] || return 0
  done
  return 1
}

# Waits until the replacement of files in one of the mandates under $1 has
# passed its commit point (the journal of an activation or a restore is
# there) or the runs have ended; false then.
await_journal() {
  local m
  while running; do
    for m in "${MANDATES[@]}"; do
      if [ -e "$1/$m/.mwst-activation" ] || [ -e "$1/$m/.mwst-restore" ]; then return 0; fi
    done
  done
  return 1
}

# True when the four workbooks of mandate folder $1 show more than one version.
mixed() {
  [ "$(versions "$1" | sort -u | wc -l)" -gt 1 ]
}

# The uninterrupted runs: the five steps one after the other, one copy of the
# mandates before each step and one after it; the joined run from the start;
# form-2024 with two jobs; the restore after the joined run.
"$BIN/mwst-mandant" demo "$WORK/demo" >/dev/null
mkdir -p "$WORK/stage0"
for m in "${MANDATES[@]}"; do cp -a "$WORK/demo/$m" "$WORK/stage0/"; done
for i in "${!STEPS[@]}"; do
  expect "${STEPS[$i]}" "$WORK/stage$i" "$WORK/stage$((i + 1))"
done
expect joined "$WORK/stage0" "$WORK/joined"
expect jobs2 "$WORK/stage3" "$WORK/jobs2"
for m in "${MANDATES[@]}"; do
  reasons=$("$BIN/mwst-batch" backups "$WORK/joined/$m" 2>/dev/null | cut -f3) || true
  grep -qx insert-keys <<<"$reasons" || fail "the joined run left no backup of $m to restore"
done
expect restore "$WORK/joined" "$WORK/restored"

for kind in "${KINDS[@]}"; do
  replaces=no
  case $kind in form-2024 | joined | jobs2 | restore) replaces=yes ;; esac
  for ((k = 0; k < KILLS; k++)); do
    trial="$WORK/trial"
    rm -rf "$trial" "$WORK/snapshot"
    cp -a "${BASE[$kind]}" "$trial"
    start "$kind" "$trial"
    if [ "$replaces" = yes ] && [ $((k % 2)) -eq 0 ]; then
      # Random moments seldom meet the millisecond in which the files are
      # renamed into place: every second kill comes as soon as a journal is
      # there (the shell's reaction time is well below that millisecond).
      delay_ms=0
      moment="as a journal appeared"
      await_journal "$trial" || moment="when it had ended (no journal seen)"
    else
      # A moment within the kind's measured duration.
      delay_ms=$((RANDOM % (${MS[$kind]} + 1)))
      moment="after $delay_ms ms"
    fi
    [ "$delay_ms" -eq 0 ] || sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
    for p in "${PIDS[@]}"; do kill -KILL -- -"$p" "$p" 2>/dev/null || true; done
    finish
    if [ "$KILLS_SEEN" -gt 0 ]; then
      KILLED[$kind]=$((${KILLED[$kind]} + 1))
    else
      FINISHED[$kind]=$((${FINISHED[$kind]} + 1))
    fi
    what="${ARGS[$kind]} killed $moment"

    for m in "${MANDATES[@]}"; do
      "$BIN/mwst-mandant" dump "$trial/$m" >/dev/null 2>&1 || fail "$what: $m does not dump"
      for f in "$trial/$m"/*.VTS "$trial/$m"/*.vts; do
        [ -e "$f" ] || continue
        "$BIN/mwst-vts" dump "$f" >/dev/null 2>&1 || fail "$what: $f does not read"
      done
      # Mixed only while a journal says how the replacement is to be finished.
      if mixed "$trial/$m" && [ ! -e "$trial/$m/.mwst-activation" ] && [ ! -e "$trial/$m/.mwst-restore" ]; then
        MIXED[$kind]=$((${MIXED[$kind]} + 1))
        fail "$what: the workbooks of $m show mixed versions, no journal to finish them: $(versions "$trial/$m" | xargs)"
      fi
    done

    if [ "$replaces" = yes ]; then
      # The next open finishes or undoes what the kill interrupted; the state
      # the kill left is put back for the re-run below.
      cp -a "$trial" "$WORK/snapshot"
      dirs=()
      for m in "${MANDATES[@]}"; do dirs+=("$trial/$m"); done
      "$BIN/mwst-batch" insert-keys --dry-run "${dirs[@]}" >/dev/null 2>&1 || true
      left_over "$what, then opened" "$trial"
      for m in "${MANDATES[@]}"; do
        if mixed "$trial/$m"; then
          MIXED[$kind]=$((${MIXED[$kind]} + 1))
          fail "$what, then opened: the workbooks of $m show mixed versions: $(versions "$trial/$m" | xargs)"
        fi
        if [ "$kind" = restore ]; then
          state_of "$trial" "$m" >"$WORK/opened"
          if ! cmp -s "$WORK/opened" "$WORK/joined.$m" && ! cmp -s "$WORK/opened" "$WORK/restored.$m"; then
            fail "$what, then opened: $m is neither as before the restore nor as restored"
            diff "$WORK/restored.$m" "$WORK/opened" | head -n 10 >&2 || true
          fi
        fi
      done
      rm -rf "$trial"
      mv "$WORK/snapshot" "$trial"
    fi

    # A temporary file of the killed run may stay until the next run, which removes it.
    run "$kind" "$trial"
    [ "$kind" != restore ] || [ "$STATUS" -eq 0 ] || fail "$what: the restore run again failed (status $STATUS)"
    stray=$(find "$trial" -name '*.mwsttmp-*' | head -n 3)
    [ -z "$stray" ] || fail "$what: stray files after the re-run: $stray"
    left_over "$what, run again" "$trial"
    for b in "$trial"/*/.mwst-backup/* "$trial"/*/.mwst-backup/.tmp-*; do
      [ -e "$b" ] || continue
      case $(basename "$b") in
        .tmp-*) fail "$what: half-written backup left after the re-run: $b" ;;
        *) [ -f "$b/backup.txt" ] || fail "$what: backup without its manifest: $b" ;;
      esac
    done
    if ! state "$trial" | cmp -s - "${EXPECTED[$kind]}"; then
      rerun_differs=$((rerun_differs + 1))
      DIFFERS[$kind]=$((${DIFFERS[$kind]} + 1))
      echo "re-run of ${ARGS[$kind]} killed $moment differs from the uninterrupted run:" >&2
      state "$trial" | diff "${EXPECTED[$kind]}" - | head -n 20 >&2 || true
      [ "${MWST_CRASH_RERUN:-}" = warn ] || failures=$((failures + 1)) FAILS[$kind]=$((${FAILS[$kind]} + 1))
    fi
  done
done
kind=

echo "crash injection by kind (killed / finished first / failures / re-runs differing / mixed workbook versions):"
for k in "${KINDS[@]}"; do
  label=${ARGS[$k]}
  [ "$k" != restore ] || label="restore (each mandate)"
  printf '  %-38s %3d %3d %3d %3d %3d  (uninterrupted %d ms)\n' "$label" "${KILLED[$k]}" "${FINISHED[$k]}" \
    "${FAILS[$k]}" "${DIFFERS[$k]}" "${MIXED[$k]}" "${MS[$k]}"
done
echo "crash injection: $failures failures, $rerun_differs re-runs differing, $(($(date +%s) - STARTED)) s (seed $SEED)"
[ "$failures" -eq 0 ]
