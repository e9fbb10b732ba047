#!/usr/bin/env bash
# A private PostgreSQL server for the SQL mandate tests, in a temporary
# directory on a loopback port, owned by an unprivileged user (initdb refuses
# root).
#   source scripts/pg-test-server.sh; mwst_pg_start   exports MWST_TEST_PG
#   mwst_pg_stop                                      stops it, removes its data
mwst_pg_bin() {
  local dir
  dir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1)
  [ -n "$dir" ] || { echo "PostgreSQL server binaries not found" >&2; return 1; }
  echo "$dir"
}

mwst_pg_start() {
  local bin user port
  bin=$(mwst_pg_bin) || return 1
  user=$(id -un)
  MWST_PG_DIR=$(mktemp -d /tmp/mwst-pg-XXXXXX)
  if [ "$(id -u)" -eq 0 ]; then
    user=postgres
    chown "$user" "$MWST_PG_DIR"
  fi
  # A free port: let the kernel choose one.
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])' 2>/dev/null || echo $((20000 + RANDOM % 20000)))
  local run=()
  [ "$(id -u)" -eq 0 ] && run=(runuser -u "$user" --)
  "${run[@]}" "$bin/initdb" -D "$MWST_PG_DIR/data" -U mwst --auth=trust -E UTF8 >"$MWST_PG_DIR/initdb.log" 2>&1 \
    || { cat "$MWST_PG_DIR/initdb.log" >&2; return 1; }
  "${run[@]}" "$bin/pg_ctl" -D "$MWST_PG_DIR/data" -l "$MWST_PG_DIR/server.log" -w \
    -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$MWST_PG_DIR" start >/dev/null \
    || { cat "$MWST_PG_DIR/server.log" >&2; return 1; }
  export MWST_PG_DIR
  export MWST_TEST_PG="host=127.0.0.1 port=$port user=mwst dbname=postgres"
  echo "PostgreSQL test server: $MWST_TEST_PG"
}

mwst_pg_stop() {
  [ -n "${MWST_PG_DIR:-}" ] && [ -d "$MWST_PG_DIR/data" ] || return 0
  local bin run=()
  bin=$(mwst_pg_bin) || return 0
  [ "$(id -u)" -eq 0 ] && run=(runuser -u postgres --)
  "${run[@]}" "$bin/pg_ctl" -D "$MWST_PG_DIR/data" -m fast -w stop >/dev/null 2>&1 || true
  rm -rf "$MWST_PG_DIR"
}

# Run directly: start, run the given command with the server, stop.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  mwst_pg_start
  trap mwst_pg_stop EXIT
  "$@"
fi
