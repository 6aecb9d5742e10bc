#!/usr/bin/env bash
# Runs a command with a throwaway PostgreSQL + PostGIS server:
#   scripts/with-pg.sh ctest --test-dir build --output-on-failure
# The server is started first, its connection facts are exported
# (MARBROOK_PG_HOST, _PORT, _USER, _PASSWORD, _DB, _DB_PLAIN), and it is
# stopped and removed however the command ends. When no server can be
# started, the command still runs without them: the database tests then skip
# and say why. The command's exit status is the script's.
set -uo pipefail

[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
envfile=$(mktemp "${TMPDIR:-/tmp}/marbrook-pg-env.XXXXXX")

cleanup() { bash "$here/pg-cluster.sh" stop "$envfile" || true; rm -f "$envfile"; }
trap cleanup EXIT
trap 'exit 130' INT TERM

if bash "$here/pg-cluster.sh" start "$envfile"; then
  set -a
  # shellcheck disable=SC1090
  . "$envfile"
  set +a
else
  echo "with-pg: no PostgreSQL server; running without one" >&2
  unset MARBROOK_PG_HOST MARBROOK_PG_PORT MARBROOK_PG_USER MARBROOK_PG_PASSWORD MARBROOK_PG_DB MARBROOK_PG_DB_PLAIN
fi

"$@"
