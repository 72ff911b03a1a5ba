# Sourced by scripts/test (and usable by hand): a private PostgreSQL 15 for the collector's
# tests, in a data folder of the build tree, reachable only through a Unix socket there.
#
#   postgres_start FOLDER [SETTING...]
#                           initialises FOLDER/data on first use, starts the server and
#                           exports EXITPOLL_TEST_PGHOST (the socket folder) and
#                           EXITPOLL_TEST_PGPASSWORD for the role `exitpoll` (may create
#                           databases); PGPASSWORD is the superuser's. SETTINGs such as
#                           fsync=off go to the server as -c options
#   postgres_stop           stops it again (safe to call when it never started)
#
# The server never runs as root: as root it runs as the `postgres` user of Debian's package
# (else `nobody`), otherwise as the calling user.

postgres_bin=/usr/lib/postgresql/15/bin
postgres_folder=

_postgres_as() {
  if [ "$(id -u)" = 0 ]; then
    local user=postgres
    id -u postgres >/dev/null 2>&1 || user=nobody
    runuser -u "$user" -- "$@"
  else
    "$@"
  fi
}

postgres_start() {
  local folder=$1 settings="" setting
  shift
  for setting in "$@"; do settings+=" -c $setting"; done
  mkdir -p "$folder"
  folder=$(cd "$folder" && pwd)
  local data=$folder/data run=$folder/run
  local password=exitpoll-test
  mkdir -p "$run"
  if [ "$(id -u)" = 0 ]; then
    local user=postgres
    id -u postgres >/dev/null 2>&1 || user=nobody
    chown "$user" "$folder" "$run"
  fi
  chmod 0755 "$folder" "$run"
  if [ ! -f "$data/PG_VERSION" ]; then
    rm -rf "$data"
    printf '%s\n' "$password" >"$folder/superuser-password"
    chmod 0644 "$folder/superuser-password"
    _postgres_as "$postgres_bin/initdb" -D "$data" -U postgres --auth=scram-sha-256 \
      --pwfile="$folder/superuser-password" -E UTF8 --locale=C.UTF-8 >"$folder/initdb.log" 2>&1 ||
      { echo "postgres: initdb failed (see $folder/initdb.log)" >&2; return 1; }
  fi
  # A server left behind by a run that was killed would hold the data folder.
  _postgres_as "$postgres_bin/pg_ctl" -D "$data" status >/dev/null 2>&1 &&
    _postgres_as "$postgres_bin/pg_ctl" -D "$data" -m immediate -w -t 60 stop >/dev/null 2>&1
  # Only the socket folder: no TCP port, so runs in other checkouts never meet this one.
  _postgres_as "$postgres_bin/pg_ctl" -D "$data" -l "$folder/server.log" -w -t 60 \
    -o "-c listen_addresses='' -c unix_socket_directories='$run'$settings" start >/dev/null ||
    { echo "postgres: the server did not start (see $folder/server.log)" >&2; return 1; }
  postgres_folder=$folder
  export PGHOST=$run PGUSER=postgres PGPASSWORD=$password PGDATABASE=postgres
  psql -qAt -v ON_ERROR_STOP=1 >/dev/null <<SQL || { postgres_stop; return 1; }
DO \$\$ BEGIN
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'exitpoll') THEN
    CREATE ROLE exitpoll LOGIN CREATEDB PASSWORD '$password';
  END IF;
END \$\$;
SQL
  export EXITPOLL_TEST_PGHOST=$run EXITPOLL_TEST_PGPASSWORD=$password
}

postgres_stop() {
  [ -n "$postgres_folder" ] || return 0
  _postgres_as "$postgres_bin/pg_ctl" -D "$postgres_folder/data" -m fast -w -t 60 stop >/dev/null 2>&1
  postgres_folder=
}
