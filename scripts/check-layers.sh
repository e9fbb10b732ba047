#!/usr/bin/env bash
# Each library's CMakeLists.txt opens with one line
#   # Layer N, <what>: uses <libraries>
# naming the libraries of ours it uses by their target name without "mwst_"
# ("uses core, vcf and taxrules" for mwst_core, mwst_vcf, mwst_taxrules).
# This compares the names on that line with the mwst_* libraries the file
# links (LIBS of add_mwst_library, target_link_libraries); libraries the file
# defines itself are left out on both sides. Fails naming every file where the
# two differ. Run from test.sh before the build.
set -euo pipefail
cd "$(dirname "$0")/.."

# The folders with our CMakeLists.txt files: every top-level folder but the
# tests, the benchmarks and build trees.
roots=()
for dir in */; do
  dir=${dir%/}
  case $dir in tests | bench) continue ;; esac
  [ -e "$dir/CMakeCache.txt" ] && continue
  roots+=("$dir")
done
mapfile -t files < <(find "${roots[@]}" -name CMakeLists.txt | sort)

# One CMakeLists.txt as a single line without comments.
flat() { sed 's/#.*//' "$1" | tr '\n' ' '; }

# The libraries a file defines, with their "mwst_" prefix.
defined() { flat "$1" | grep -oE '(add_mwst_library|add_library)\([[:space:]]*mwst_[a-z0-9_]+' | grep -oE 'mwst_[a-z0-9_]+$' || true; }

known=$(for f in "${files[@]}"; do defined "$f"; done | sort -u)
is_known() { grep -qxF "$1" <<<"$known"; }

failed=0
checked=0
for f in "${files[@]}"; do
  flat "$f" | grep -qE '(add_mwst_library|add_library)\(' || continue
  checked=$((checked + 1))
  own=$(defined "$f")
  first=$(head -n 1 "$f")
  if ! grep -qE '^# .*: uses ' <<<"$first"; then
    echo "$f: the first line must read \"# Layer N, <what>: uses <libraries>\", not: $first" >&2
    failed=1
    continue
  fi
  # Named: each word after the first "uses " that is a library of ours.
  named=$(grep -oE '[A-Za-z0-9_-]+' <<<"${first#*: uses }" | while read -r word; do
    is_known "mwst_$word" && ! grep -qxF "mwst_$word" <<<"$own" && echo "$word"
  done | sort -u || true)
  # Linked: the mwst_* names after LIBS and in target_link_libraries.
  linked=$({
    flat "$f" | grep -oE 'add_mwst_library\([^)]*\)' | sed -nE 's/^.*[[:space:]]LIBS[[:space:]]//p'
    flat "$f" | grep -oE 'target_link_libraries\([^)]*\)' | sed -E 's/^target_link_libraries\([[:space:]]*[^[:space:]]+//'
  } | grep -oE '\bmwst_[a-z0-9_]+' | while read -r lib; do
    is_known "$lib" && ! grep -qxF "$lib" <<<"$own" && echo "${lib#mwst_}"
  done | sort -u || true)
  if [ "$named" != "$linked" ]; then
    missing=$(comm -13 <(echo "$named") <(echo "$linked") | sed '/^$/d' | paste -sd ' ')
    extra=$(comm -23 <(echo "$named") <(echo "$linked") | sed '/^$/d' | paste -sd ' ')
    echo "$f: the first line does not name what the file links." >&2
    [ -n "$missing" ] && echo "  linked but not named on the first line: $missing" >&2
    [ -n "$extra" ] && echo "  named on the first line but not linked: $extra" >&2
    failed=1
  fi
done
if [ "$checked" = 0 ]; then
  echo "check-layers: no library CMakeLists.txt found" >&2
  exit 1
fi
if [ "$failed" != 0 ]; then
  echo "check-layers: each library's first line must name exactly the libraries of ours it links." >&2
  exit 1
fi
echo "check-layers: the first lines of $checked library CMakeLists.txt files name what they link."
