#!/usr/bin/env bash
# Runs a command against a PostgreSQL 15 server of its own: initdb in a temporary folder (as
# the unprivileged user postgres when started as root, since the server refuses to run as
# root), listening on 127.0.0.1 at a free port only, stopped and removed at the end. The
# command finds the server's connection URI in LCDWRITE_TEST_POSTGRES_URI.
# Usage: scripts/with-postgres.sh [--durable] COMMAND [ARGS...]
#   --durable  keep the server's fsync on (benchmarks); tests run without it.
# Exit status: the command's; 77 when PostgreSQL 15 is not installed.
set -euo pipefail

fsync=off
if [ "${1:-}" = --durable ]; then
  fsync=on
  shift
fi
bin=/usr/lib/postgresql/15/bin
if [ ! -x "$bin/initdb" ]; then
  echo "with-postgres: PostgreSQL 15 is not installed (scripts/setup.sh installs it)" >&2
  exit 77
fi

work=$(mktemp -d /tmp/lcdwrite-postgres.XXXXXX)
as=()
if [ "$(id -u)" = 0 ]; then
  chown postgres: "$work"
  as=(runuser -u postgres --)
fi
stop() {
  "${as[@]}" "$bin/pg_ctl" -D "$work/data" -m immediate -w stop >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap stop EXIT

# A free port: the system picks one for a socket bound to port 0.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"${as[@]}" "$bin/initdb" -D "$work/data" -U lcdwrite --auth=trust -E UTF8 --no-sync \
  >"$work/initdb.log" 2>&1 || { cat "$work/initdb.log" >&2; exit 1; }
"${as[@]}" "$bin/pg_ctl" -D "$work/data" -l "$work/server.log" -w -t 30 \
  -o "-c listen_addresses=127.0.0.1 -p $port -k $work -c fsync=$fsync" start >/dev/null \
  || { cat "$work/server.log" >&2; exit 1; }

export LCDWRITE_TEST_POSTGRES_URI="postgresql://lcdwrite@127.0.0.1:$port/postgres"
status=0
"$@" || status=$?
exit "$status"
