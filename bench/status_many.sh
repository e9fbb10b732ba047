#!/bin/sh
# mwst-batch status over 1,000 copies of a demo mandate found by a search.
# Usage: bench/status_many.sh [BIN_DIR] [JOBS]
set -eu
bin=${1:-build/bin}
jobs=${2:-2}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$bin/mwst-mandant" demo "$dir/demo" >/dev/null
mkdir "$dir/many"
for i in $(seq 1 1000); do cp -r "$dir/demo/baeckerei-mueller" "$dir/many/m$i"; done
/usr/bin/time -f "%e s, peak %M KB (parent)" \
  "$bin/mwst-batch" status --format csv --jobs "$jobs" --search "$dir/many" >"$dir/status.csv"
echo "$(($(wc -l <"$dir/status.csv") - 1)) rows"
