# Sourced by test.sh: a private PostgreSQL cluster for the server-engine tests, on a
# Unix socket in a temporary folder, without fsync. pg_cluster_start exports
# FENWARY_TEST_SERVER (a libpq connection string to an empty database "fenwary"; the
# role fenwary_pw logs in with the password richtig-1);
# pg_cluster_stop stops the cluster and removes its folder (also on failure: test.sh
# sets a trap).

pg_bindir() {
  local d
  d="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
  [ -n "$d" ] || { echo "PostgreSQL server not installed (package postgresql)" >&2; return 1; }
  echo "$d"
}

# Runs a server command as the cluster's owner: postgres when we are root.
pg_as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

pg_cluster_start() {
  local bin
  bin="$(pg_bindir)"
  PG_CLUSTER_DIR="$(mktemp -d /tmp/fenwary-pg.XXXXXX)"
  export PG_CLUSTER_DIR
  chmod 755 "$PG_CLUSTER_DIR"
  [ "$(id -u)" -eq 0 ] && chown postgres "$PG_CLUSTER_DIR"
  pg_as_owner "$bin/initdb" -D "$PG_CLUSTER_DIR/data" -U fenwary -A trust -E UTF8 --no-locale >"$PG_CLUSTER_DIR/initdb.log"
  # One role logs in with a password, for the tests of a refused log-in.
  pg_as_owner sed -i '1i local all fenwary_pw scram-sha-256' "$PG_CLUSTER_DIR/data/pg_hba.conf"
  pg_as_owner "$bin/pg_ctl" -D "$PG_CLUSTER_DIR/data" -l "$PG_CLUSTER_DIR/server.log" -w \
    -o "-k $PG_CLUSTER_DIR -c listen_addresses='' -p 5439 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=200" start >/dev/null
  "$bin/createdb" -h "$PG_CLUSTER_DIR" -p 5439 -U fenwary fenwary
  "$bin/psql" -h "$PG_CLUSTER_DIR" -p 5439 -U fenwary -d fenwary -qc "create role fenwary_pw login password 'richtig-1'"
  export FENWARY_TEST_SERVER="host=$PG_CLUSTER_DIR port=5439 user=fenwary dbname=fenwary"
  echo "PostgreSQL test cluster: $FENWARY_TEST_SERVER"
}

pg_cluster_stop() {
  [ -n "${PG_CLUSTER_DIR:-}" ] && [ -d "$PG_CLUSTER_DIR" ] || return 0
  pg_as_owner "$(pg_bindir)/pg_ctl" -D "$PG_CLUSTER_DIR/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$PG_CLUSTER_DIR"
  PG_CLUSTER_DIR=
}
