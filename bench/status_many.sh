#!/bin/sh
# mwst-batch status and bookings --wrong-side over 1,000 copies of a demo
# mandate found by a search; with --passwords every 8th copy is the demo's
# password-protected mandate, its password in a --password-file.
# Usage: bench/status_many.sh [--passwords] [BIN_DIR] [JOBS]
set -eu
passwords=
if [ "${1:-}" = --passwords ]; then passwords=yes; shift; fi
bin=${1:-build/bin}
jobs=${2:-2}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$bin/mwst-mandant" demo "$dir/demo" >/dev/null
mkdir "$dir/many"
: >"$dir/passwords.txt"
chmod 600 "$dir/passwords.txt"
for i in $(seq 1 1000); do
  if [ -n "$passwords" ] && [ $((i % 8)) -eq 0 ]; then
    cp -r "$dir/demo/hotel-alpenblick" "$dir/many/m$i"
    printf '%s\tAlpenblick-2024\n' "$dir/many/m$i" >>"$dir/passwords.txt"
  else
    cp -r "$dir/demo/baeckerei-mueller" "$dir/many/m$i"
  fi
done
set -- --jobs "$jobs" --search "$dir/many"
[ -n "$passwords" ] && set -- "$@" --password-file "$dir/passwords.txt"
/usr/bin/time -f "status: %e s, peak %M KB (parent)" \
  "$bin/mwst-batch" status --format csv "$@" >"$dir/status.csv"
echo "$(($(wc -l <"$dir/status.csv") - 1)) rows, $(grep -c ',password,' "$dir/status.csv" || true) refused for the password"
/usr/bin/time -f "bookings --wrong-side: %e s, peak %M KB (parent)" \
  "$bin/mwst-batch" bookings --wrong-side --format csv "$@" >"$dir/bookings.csv" || true
echo "$(($(wc -l <"$dir/bookings.csv") - 1)) rows"
