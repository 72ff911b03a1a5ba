# Sourced by scripts/test (and usable by hand): a private PostgreSQL 15 for the collector's
# tests, reachable only through a Unix socket.
#
#   postgres_start FOLDER [SETTING...]
#                           starts the server and exports EXITPOLL_TEST_PGHOST (the socket
#                           folder) and EXITPOLL_TEST_PGPASSWORD for the role `exitpoll` (may
#                           create databases); PGPASSWORD is the superuser's. SETTINGs such as
#                           fsync=off go to the server as -c options. Its logs end up in FOLDER
#   postgres_stop           stops it again (safe to call when it never started)
#
# The server never runs as root: as root it runs as the `postgres` user of Debian's package
# (else `nobody`), otherwise as the calling user. That user often cannot reach FOLDER: a
# checkout in root's home folder or in a folder made by `mktemp -d` (both mode 0700). So, as
# root, the server's data and socket live in a private folder of its own under /tmp (mode
# 0700, owned by the server's user), made afresh by each start and removed by the stop;
# FOLDER/server-folder names it meanwhile, so that a later start can end a server that a
# killed run left behind. Otherwise they live in FOLDER itself and the data is kept.

postgres_bin=/usr/lib/postgresql/15/bin
postgres_folder=

_postgres_user() {
  if id -u postgres >/dev/null 2>&1; then echo postgres; else echo nobody; fi
}

_postgres_as() {
  if [ "$(id -u)" = 0 ]; then
    # From /, as the caller's working folder may be out of that user's reach.
    (cd / && runuser -u "$(_postgres_user)" -- "$@")
  else
    "$@"
  fi
}

# The folder of the server's data and socket for FOLDER (see above).
_postgres_files() {
  if [ -f "$1/server-folder" ]; then cat "$1/server-folder"; else echo "$1"; fi
}

postgres_start() {
  local folder=$1 settings="" setting
  shift
  for setting in "$@"; do settings+=" -c $setting"; done
  mkdir -p "$folder"
  folder=$(cd "$folder" && pwd)
  # A server left behind by a run that was killed would hold the data folder.
  postgres_folder=$folder
  postgres_stop
  local files=$folder
  if [ "$(id -u)" = 0 ]; then
    files=$(mktemp -d /tmp/exitpoll-postgres-XXXXXX) || return 1
    chown "$(_postgres_user)" "$files"
    echo "$files" >"$folder/server-folder"
    postgres_folder=$folder
  fi
  local data=$files/data run=$files/run
  local password=exitpoll-test
  _postgres_as mkdir -p "$run"
  if [ ! -f "$data/PG_VERSION" ]; then
    _postgres_as rm -rf "$data"
    printf '%s\n' "$password" | _postgres_as tee "$files/superuser-password" >/dev/null
    _postgres_as "$postgres_bin/initdb" -D "$data" -U postgres --auth=scram-sha-256 \
      --pwfile="$files/superuser-password" -E UTF8 --locale=C.UTF-8 >"$folder/initdb.log" 2>&1 ||
      { echo "postgres: initdb failed (see $folder/initdb.log)" >&2; postgres_stop; return 1; }
  fi
  # Only the socket folder: no TCP port, so runs in other checkouts never meet this one.
  _postgres_as "$postgres_bin/pg_ctl" -D "$data" -l "$files/server.log" -w -t 60 \
    -o "-c listen_addresses='' -c unix_socket_directories='$run'$settings" start >/dev/null ||
    { echo "postgres: the server did not start (see $folder/server.log)" >&2
      postgres_stop; return 1; }
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
  local folder=$postgres_folder files
  files=$(_postgres_files "$folder")
  postgres_folder=
  if [ -f "$files/data/postmaster.pid" ]; then
    _postgres_as "$postgres_bin/pg_ctl" -D "$files/data" -m fast -w -t 60 stop >/dev/null 2>&1
  fi
  if [ "$files" != "$folder" ]; then
    [ -f "$files/server.log" ] && cp "$files/server.log" "$folder/server.log"
    # Only ever a folder that postgres_start made.
    case $files in
      /tmp/exitpoll-postgres-??????) rm -rf "$files" ;;
    esac
    rm -f "$folder/server-folder"
  fi
}
