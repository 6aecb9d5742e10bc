#!/usr/bin/env bash
# A throwaway PostgreSQL + PostGIS server for the database tests.
#
#   scripts/pg-cluster.sh start ENVFILE   create and start a cluster in a fresh
#                                         temporary folder on 127.0.0.1 (free
#                                         port), build the test databases, and
#                                         write the connection facts to ENVFILE
#   scripts/pg-cluster.sh stop ENVFILE    stop the cluster and remove its folder
#
# ENVFILE holds shell assignments: MARBROOK_PG_HOST, MARBROOK_PG_PORT,
# MARBROOK_PG_USER, MARBROOK_PG_PASSWORD, MARBROOK_PG_DB (the test database,
# with a versions table), MARBROOK_PG_DB_PLAIN (a database without one) and
# MARBROOK_PG_DIR (the cluster's folder). The role is a superuser of this
# cluster only, so tests and benchmarks may create databases of their own.
# Exit status 3 from start: PostgreSQL is not installed and cannot be.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)

find_bindir() {
  local d
  for d in /usr/lib/postgresql/*/bin; do
    [ -x "$d/initdb" ] && [ -x "$d/pg_ctl" ] && { echo "$d"; return 0; }
  done
  command -v initdb >/dev/null 2>&1 && { dirname "$(command -v initdb)"; return 0; }
  return 1
}

free_port() {
  python3 - <<'EOF' 2>/dev/null && return 0
import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])
s.close()
EOF
  local p
  for p in $(seq 25432 25532); do
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return 0; }
  done
  return 1
}

# Runs a command as the cluster's owner: PostgreSQL refuses to run as root.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u "$owner" -- "$@"
  else
    "$@"
  fi
}

fixture_sql() {
  cat <<'EOF'
CREATE EXTENSION IF NOT EXISTS postgis;
CREATE EXTENSION IF NOT EXISTS postgis_raster;

-- Top level: one feature class of each geometry, a raster, a plain table.
CREATE TABLE public.cities (id serial PRIMARY KEY, name text, geom geometry(Point, 4326));
INSERT INTO public.cities (name, geom) VALUES ('A', ST_SetSRID(ST_MakePoint(1, 2), 4326)),
                                              ('B', ST_SetSRID(ST_MakePoint(3, 4), 4326));
CREATE TABLE public.roads (id serial PRIMARY KEY, geom geometry(LineString, 4326));
INSERT INTO public.roads (geom) VALUES (ST_GeomFromText('LINESTRING(0 0,1 1)', 4326));
CREATE TABLE public.parcels (id serial PRIMARY KEY, geom geometry(MultiPolygon, 4326));
CREATE TABLE public.wells (id serial PRIMARY KEY, geom geometry(MultiPoint, 4326));
CREATE TABLE public.anything (id serial PRIMARY KEY, geom geometry);
CREATE TABLE public.lookup (code integer PRIMARY KEY, label text);
CREATE TABLE public.elevation (rid serial PRIMARY KEY, rast raster);
INSERT INTO public.elevation (rast)
  VALUES (ST_AddBand(ST_MakeEmptyRaster(20, 10, 0, 10, 1, -1, 0, 0, 4326), '8BUI'::text, 7, 0));

-- Feature datasets: schemas other than public that hold spatial tables.
CREATE SCHEMA hydro;
CREATE TABLE hydro.rivers (id serial PRIMARY KEY, geom geometry(MultiLineString, 4326));
CREATE TABLE hydro.lakes (id serial PRIMARY KEY, geom geometry(Polygon, 4326));
CREATE TABLE hydro.gauges (id serial PRIMARY KEY, geom geometry(PointZ, 4326));
CREATE TABLE hydro.stations (id serial PRIMARY KEY, station text);
CREATE TABLE hydro.depth (rid serial PRIMARY KEY, rast raster);
INSERT INTO hydro.depth (rast)
  VALUES (ST_AddBand(ST_MakeEmptyRaster(5, 5, 0, 5, 1, -1, 0, 0, 4326), '16BUI'::text, 1, 0));
CREATE SCHEMA transport;
CREATE TABLE transport.rail (id serial PRIMARY KEY, geom geometry(LineString, 4326));
-- A schema of plain tables only is not a feature dataset.
CREATE SCHEMA archive;
CREATE TABLE archive.notes (id serial PRIMARY KEY, note text);

-- The geodatabase catalogue's versions table: two versions, one the parent
-- of the other.
CREATE SCHEMA sde;
CREATE TABLE sde.sde_versions (
  name varchar(64) NOT NULL, owner varchar(32) NOT NULL, version_id integer PRIMARY KEY,
  status integer NOT NULL DEFAULT 1, state_id bigint NOT NULL DEFAULT 0, description varchar(64),
  parent_name varchar(64), parent_owner varchar(32), parent_version_id integer,
  creation_time timestamp NOT NULL DEFAULT now());
INSERT INTO sde.sde_versions (name, owner, version_id, description, parent_name, parent_owner, parent_version_id)
  VALUES ('DEFAULT', 'sde', 1, 'Instance default version.', NULL, NULL, NULL),
         ('Edits', 'editor', 2, 'Field edits', 'DEFAULT', 'sde', 1);
EOF
}

start() {
  local envfile=$1
  local bindir
  if ! bindir=$(find_bindir); then
    echo "pg-cluster: PostgreSQL is missing; running the project's install script" >&2
    bash "$here/install-deps.sh" >&2 || true
    bindir=$(find_bindir) || { echo "pg-cluster: PostgreSQL cannot be installed; database tests will be skipped" >&2; exit 3; }
  fi
  owner=$(id -un)
  if [ "$(id -u)" -eq 0 ]; then
    owner=postgres
    getent passwd "$owner" >/dev/null || { echo "pg-cluster: running as root needs the user '$owner'" >&2; exit 3; }
  fi

  local dir port user=marbrook password db=marbrook_test plain=marbrook_plain
  dir=$(mktemp -d "${TMPDIR:-/tmp}/marbrook-pg.XXXXXX")
  chmod 0755 "$dir"
  mkdir "$dir/data" "$dir/run"
  password=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
  printf '%s\n' "$password" > "$dir/pwfile"
  [ "$(id -u)" -eq 0 ] && chown -R "$owner" "$dir"
  chmod 0600 "$dir/pwfile"
  port=$(free_port)
  # Written first, so that "stop" can clean up whatever a failed start left.
  printf 'MARBROOK_PG_DIR=%s\nMARBROOK_PG_BINDIR=%s\n' "$dir" "$bindir" >"$envfile"

  as_owner "$bindir/initdb" -D "$dir/data" -U "$user" --pwfile="$dir/pwfile" -E UTF8 --locale=C.UTF-8 \
    --auth-local=trust --auth-host=scram-sha-256 >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; rm -rf "$dir"; exit 1; }
  rm -f "$dir/pwfile"
  as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-c listen_addresses=127.0.0.1 -c port=$port -k $dir/run -c fsync=off -c full_page_writes=off -c max_connections=60" \
    start >/dev/null ||
    { cat "$dir/server.log" >&2; rm -rf "$dir"; exit 1; }

  local psql=("$bindir/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir/run" -p "$port" -U "$user")
  as_owner "${psql[@]}" -d postgres -c "CREATE DATABASE $db" -c "CREATE DATABASE $plain" >/dev/null
  fixture_sql | as_owner "${psql[@]}" -d "$db" >/dev/null
  as_owner "${psql[@]}" -d "$plain" -c "CREATE EXTENSION postgis" \
    -c "CREATE TABLE public.points (id serial PRIMARY KEY, geom geometry(Point, 4326))" >/dev/null

  umask 077
  cat >"$envfile" <<EOF
MARBROOK_PG_HOST=127.0.0.1
MARBROOK_PG_PORT=$port
MARBROOK_PG_USER=$user
MARBROOK_PG_PASSWORD=$password
MARBROOK_PG_DB=$db
MARBROOK_PG_DB_PLAIN=$plain
MARBROOK_PG_DIR=$dir
MARBROOK_PG_BINDIR=$bindir
EOF
  echo "pg-cluster: PostgreSQL + PostGIS on 127.0.0.1:$port (folder $dir)" >&2
}

stop() {
  local envfile=$1
  [ -f "$envfile" ] || return 0
  local MARBROOK_PG_DIR="" MARBROOK_PG_BINDIR=""
  # shellcheck disable=SC1090
  . "$envfile"
  if [ -n "$MARBROOK_PG_DIR" ] && [ -d "$MARBROOK_PG_DIR/data" ]; then
    owner=$(stat -c %U "$MARBROOK_PG_DIR/data")
    as_owner "$MARBROOK_PG_BINDIR/pg_ctl" -D "$MARBROOK_PG_DIR/data" -m fast -w stop >/dev/null 2>&1 || true
  fi
  case "$MARBROOK_PG_DIR" in
    */marbrook-pg.*) rm -rf "$MARBROOK_PG_DIR" ;;
  esac
  rm -f "$envfile"
}

case "${1:-}" in
  start) [ $# -eq 2 ] || { echo "usage: $0 start ENVFILE" >&2; exit 2; }; start "$2" ;;
  stop) [ $# -eq 2 ] || { echo "usage: $0 stop ENVFILE" >&2; exit 2; }; stop "$2" ;;
  *) echo "usage: $0 start|stop ENVFILE" >&2; exit 2 ;;
esac
