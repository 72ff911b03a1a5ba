"""The collector's servers and databases for its tests and benchmark, all real and on loopback:
server/ under `php -S` or under nginx with php-fpm (the site in server/nginx-site.conf), over
an SQLite file or a fresh database of the PostgreSQL that scripts/test starts
(EXITPOLL_TEST_PGHOST, see scripts/postgres-env.sh). Every wait is bounded."""
import atexit
import os
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time
import uuid

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import server_processes  # noqa: E402

# A test that times out is sent SIGTERM: its servers are stopped on the way out as on a
# failed assertion, and whatever a crash leaves is ended at exit.
server_processes.EndOnTerminate()
_running = set()
atexit.register(lambda: [server.Stop() for server in list(_running)])

SERVER_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "server"))
REPORT_PATH = "/stat/uninstall.php"
RESULTS_PATH = "/stat/results.php"


def FreePort():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def WaitFor(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise RuntimeError("timed out waiting for " + what)
        time.sleep(0.05)


def Accepting(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False


def Request(port, target, method=b"GET", extra_headers=b"", body=b""):
    """Sends one request (target as bytes, already encoded) like the applet does and returns
    every byte of the answer up to the server's close."""
    request = (method + b" " + target + b" HTTP/1.1\r\nUser-Agent: ExitPoll-HTTP\r\n"
               b"Host: 127.0.0.1\r\n" + extra_headers)
    if body:
        request += b"Content-Length: %d\r\n" % len(body)
    with socket.create_connection(("127.0.0.1", port), timeout=20) as s:
        s.sendall(request + b"\r\n" + body)
        return ReadToEnd(s)


def ReadToEnd(connection):
    """Everything the peer sends until it closes the connection."""
    answer = b""
    while True:
        chunk = connection.recv(65536)
        if not chunk:
            return answer
        answer += chunk


def Report(port, query, **kwargs):
    return Request(port, REPORT_PATH.encode() + b"?" + query, **kwargs)


def SplitAnswer(answer):
    """(status line, [(name, value)], body), all bytes."""
    head, _, body = answer.partition(b"\r\n\r\n")
    lines = head.split(b"\r\n")
    headers = [tuple(part.strip() for part in line.split(b":", 1)) for line in lines[1:]]
    return lines[0], headers, body


class _Server:
    def _Launch(self, args, env):
        self.log = open(os.path.join(self.folder, "server.log"), "wb")
        _running.add(self)
        # A group of its own: php -S with workers leaves them behind when only it is ended.
        self.process = subprocess.Popen(args, env=server_processes.Marked(env, self.folder),
                                        stdin=subprocess.DEVNULL,
                                        stdout=self.log, stderr=subprocess.STDOUT,
                                        start_new_session=True)

    def _Wait(self, port):
        try:
            WaitFor(lambda: Accepting(port) or self.process.poll() is not None, 20,
                    "port %d" % port)
            if self.process.poll() is not None:
                raise RuntimeError("%s ended: %s" % (self.name, self.Log()))
        except Exception:
            self.Stop()
            raise

    def Log(self):
        with open(self.log.name, "rb") as f:
            return f.read().decode(errors="replace")

    def Stop(self):
        for process in self._Processes():
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGTERM)
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait()
        # What left the group: php-fpm under a tracer starts a session of its own.
        server_processes.EndServer(self.folder)
        _running.discard(self)
        if getattr(self, "log", None):
            self.log.close()
        shutil.rmtree(self.folder, ignore_errors=True)

    def _Processes(self):
        return [self.process]

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.Stop()


def _Environment(settings):
    env = dict(os.environ)
    for name in list(env):
        if name.startswith("EXITPOLL_STATS_") or name == "EXITPOLL_RESULTS_PASSWORD_HASH":
            del env[name]
    env.update(settings)
    return env


def MakeSchema(settings):
    """Makes the schema in the configured database with the collector's own code, as a first
    report would, but before a test starts timing answers."""
    subprocess.run(["php", "-r", "require $argv[1]; ReportStore::Open()->EnsureSchema();",
                    os.path.join(SERVER_DIR, "lib", "reports.php")],
                   env=_Environment(settings), check=True, timeout=60)


class PhpServer(_Server):
    """`php -S 127.0.0.1:port -t root` with the collector settings given."""
    name = "php -S"

    def __init__(self, settings, root=SERVER_DIR, workers=1):
        self.folder = tempfile.mkdtemp(prefix="exitpoll-php-")
        self.port = FreePort()
        env = _Environment(settings)
        if workers > 1:
            env["PHP_CLI_SERVER_WORKERS"] = str(workers)
        self._Launch(["php", "-S", "127.0.0.1:%d" % self.port, "-t", root], env)
        self._Wait(self.port)


def WriteNginxConfig(folder, connections, http):
    """Writes folder/nginx.conf for a private nginx in the foreground that any user can run:
    its pid file, error log and temporary folders in `folder`, `http` inside its http
    block."""
    with open(os.path.join(folder, "nginx.conf"), "w") as out:
        out.write("""daemon off;
master_process off;
worker_processes 1;
pid %(f)s/nginx.pid;
error_log %(f)s/error.log;
events { worker_connections %(connections)d; }
http {
  client_body_temp_path %(f)s/body;
  proxy_temp_path %(f)s/proxy;
  fastcgi_temp_path %(f)s/fastcgi;
  uwsgi_temp_path %(f)s/uwsgi;
  scgi_temp_path %(f)s/scgi;
%(http)s
}
""" % {"f": folder, "connections": connections, "http": http})


class NginxFpm(_Server):
    """nginx serving the site of server/nginx-site.conf on 127.0.0.1:port, passing PHP to a
    private php-fpm pool over a Unix socket. Both run as the calling user with their files in
    a temporary folder; the pool takes the collector settings from its environment.
    `listen` replaces the site's listen line, for TLS; `extra` is added to the http block, for
    further servers; in both "{port}" stands for the port. `fpm_wrapper` is a command that
    starts php-fpm as its own child (a tracer that slows its system calls, say)."""
    name = "nginx + php-fpm"

    def __init__(self, settings, root=SERVER_DIR, workers=2, listen="listen 127.0.0.1:{port};",
                 extra="", fpm_wrapper=()):
        self.folder = tempfile.mkdtemp(prefix="exitpoll-nginx-fpm-")
        f = self.folder
        self.port = FreePort()
        socket_path = os.path.join(f, "fpm.sock")
        with open(os.path.join(f, "fpm.conf"), "w") as out:
            out.write("""[global]
pid = %(f)s/fpm.pid
error_log = %(f)s/fpm.log
daemonize = no
[exitpoll]
%(user)s
listen = %(sock)s
pm = static
pm.max_children = %(workers)d
clear_env = no
catch_workers_output = yes
""" % {"f": f, "sock": socket_path, "workers": workers,
       "user": "user = root" if os.geteuid() == 0 else ""})
        with open(os.path.join(SERVER_DIR, "nginx-site.conf")) as site_file:
            site = site_file.read()
        site = (site.replace("listen 80 default_server;",
                             listen.replace("{port}", str(self.port)))
                .replace("/var/log/nginx/", f + "/")
                .replace("/srv/exitpoll/server", root)
                .replace("unix:/run/php/php8.2-fpm.sock", "unix:" + socket_path)
                .replace("include fastcgi_params;", "include /etc/nginx/fastcgi_params;"))
        WriteNginxConfig(f, 256, "access_log off;\n%s\n%s" % (
            site, extra.replace("{port}", str(self.port))))
        fpm_binary = shutil.which("php-fpm8.2") or "/usr/sbin/php-fpm8.2"
        self.fpm_log = open(os.path.join(f, "fpm.out"), "wb")
        self.process = None
        _running.add(self)
        self.fpm = subprocess.Popen([*fpm_wrapper, fpm_binary, "-F", "-R", "-y",
                                     os.path.join(f, "fpm.conf")],
                                    env=server_processes.Marked(_Environment(settings), f),
                                    stdin=subprocess.DEVNULL,
                                    stdout=self.fpm_log, stderr=subprocess.STDOUT,
                                    start_new_session=True)
        self.process = None
        try:
            WaitFor(lambda: os.path.exists(socket_path) or self.fpm.poll() is not None, 20,
                    "php-fpm's socket")
            if self.fpm.poll() is not None:
                raise RuntimeError("php-fpm ended")
        except Exception:
            os.killpg(self.fpm.pid, signal.SIGKILL)
            self.fpm.wait()
            server_processes.EndServer(f)
            _running.discard(self)
            raise
        try:
            self._Launch(["nginx", "-p", f, "-e", os.path.join(f, "error.log"),
                          "-c", os.path.join(f, "nginx.conf")], None)
        except Exception:  # no nginx at all: php-fpm would outlive the test
            self.Stop()
            raise
        self._Wait(self.port)

    def _Processes(self):
        return [p for p in (self.process, self.fpm) if p is not None]

    def Stop(self):
        _Server.Stop(self)
        self.fpm_log.close()


def SqliteRows(path):
    """The reports stored in the SQLite file at `path` as (time, prj, reason, os), time as
    text, the rest as bytes; none while the file does not exist."""
    if not os.path.exists(path):
        return []
    with sqlite3.connect(path) as db:
        db.text_factory = bytes
        rows = db.execute("SELECT time, prj, reason, os FROM reports ORDER BY id").fetchall()
    return [(t.decode(), p, r, o) for t, p, r, o in rows]


class SqliteDatabase:
    """An SQLite file in a temporary folder (EXITPOLL_STATS_DB)."""
    name = "SQLite"

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="exitpoll-db-")
        self.path = os.path.join(self.folder, "data", "reports.sqlite")
        self.settings = {"EXITPOLL_STATS_DB": self.path}

    def Rows(self):
        return SqliteRows(self.path)

    def Insert(self, rows, columns=("time", "prj", "reason", "os")):
        """Stores rows of the given columns (time, prj, reason, os by default) directly, past
        the endpoint (which must have made the schema); text columns as str, the others as
        bytes, None for NULL."""
        marks = ", ".join("?" if n in TEXT_COLUMNS else "CAST(? AS TEXT)" for n in columns)
        with sqlite3.connect(self.path) as db:
            db.executemany("INSERT INTO reports (%s) VALUES (%s)" % (", ".join(columns), marks),
                           rows)

    def Lock(self):
        return _SqliteLock(self.path)

    def Columns(self, names):
        """The given columns of every stored report, in order: text as str, bytes as bytes."""
        with sqlite3.connect(self.path) as db:
            db.text_factory = bytes
            rows = db.execute("SELECT %s FROM reports ORDER BY id" % ", ".join(names)).fetchall()
        return [tuple(v.decode() if isinstance(v, bytes) and n in TEXT_COLUMNS else v
                      for n, v in zip(names, row)) for row in rows]

    def Load(self, sql_file):
        """Makes the database from an SQL script (a database of an earlier version)."""
        os.makedirs(os.path.dirname(self.path), exist_ok=True)
        with open(sql_file) as f, sqlite3.connect(self.path) as db:
            db.executescript(f.read())

    def Drop(self):
        shutil.rmtree(self.folder, ignore_errors=True)


class _SqliteLock:
    """Holds the write lock of the database until the end of the with block."""

    def __init__(self, path):
        self.db = sqlite3.connect(path, isolation_level=None)

    def __enter__(self):
        self.db.execute("BEGIN IMMEDIATE")
        return self

    def __exit__(self, *exc):
        self.db.execute("COMMIT")
        self.db.close()


class PostgresDatabase:
    """A fresh database of the test run's PostgreSQL server, owned by the role exitpoll and
    reached over the server's Unix socket (EXITPOLL_STATS_DSN, _USER, _PASSWORD)."""
    name = "PostgreSQL"

    def __init__(self):
        host = os.environ.get("EXITPOLL_TEST_PGHOST")
        if not host:
            raise RuntimeError("EXITPOLL_TEST_PGHOST is not set: run under scripts/test, or "
                               "source scripts/postgres-env.sh and run postgres_start")
        self.env = dict(os.environ, PGHOST=host, PGUSER="exitpoll",
                        PGPASSWORD=os.environ["EXITPOLL_TEST_PGPASSWORD"], PGDATABASE="postgres")
        self.database = "exitpoll_" + uuid.uuid4().hex[:12]
        self.Psql("CREATE DATABASE %s" % self.database)
        self.env["PGDATABASE"] = self.database
        self.settings = {"EXITPOLL_STATS_DSN": "pgsql:host=%s;dbname=%s" % (host, self.database),
                         "EXITPOLL_STATS_USER": "exitpoll",
                         "EXITPOLL_STATS_PASSWORD": self.env["PGPASSWORD"]}

    def Psql(self, sql):
        result = subprocess.run(["psql", "-X", "-qAt", "-v", "ON_ERROR_STOP=1", "-F", "\t"],
                                env=self.env, input=sql.encode(), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=600)
        if result.returncode != 0:
            raise RuntimeError("psql failed: %r" % result.stderr)
        return result.stdout

    def Rows(self):
        exists = self.Psql("SELECT to_regclass('reports') IS NOT NULL").strip() == b"t"
        if not exists:
            return []
        out = self.Psql("SELECT time, encode(prj, 'hex'), encode(reason, 'hex'), "
                        "encode(os, 'hex') FROM reports ORDER BY id")
        rows = [line.split("\t") for line in out.decode().splitlines()]
        return [(t, bytes.fromhex(p), bytes.fromhex(r), bytes.fromhex(o)) for t, p, r, o in rows]

    def Insert(self, rows, columns=("time", "prj", "reason", "os")):
        def Literal(name, value):
            if value is None:
                return "NULL"
            return "'%s'" % value if name in TEXT_COLUMNS else "'\\x%s'::bytea" % value.hex()
        values = ",".join("(%s)" % ",".join(Literal(n, v) for n, v in zip(columns, row))
                          for row in rows)
        self.Psql("INSERT INTO reports (%s) VALUES %s" % (", ".join(columns), values))

    def Lock(self):
        return _PostgresLock(self.env)

    def Columns(self, names):
        """The given columns of every stored report, in order: text as str, bytes as bytes."""
        shown = ["COALESCE(%s, '(null)')" % n if n in TEXT_COLUMNS else
                 "COALESCE(%s::text, '(null)')" % n if n in NUMBER_COLUMNS else
                 "COALESCE(encode(%s, 'hex'), '(null)')" % n for n in names]
        out = self.Psql("SELECT %s FROM reports ORDER BY id" % ", ".join(shown))
        return [tuple(None if v == "(null)" else v if n in TEXT_COLUMNS else
                      int(v) if n in NUMBER_COLUMNS else bytes.fromhex(v)
                      for n, v in zip(names, line.split("\t")))
                for line in out.decode().splitlines()]

    def Load(self, sql_file):
        """Makes the database from an SQL script (a database of an earlier version)."""
        with open(sql_file) as f:
            self.Psql(f.read())

    def Drop(self):
        env = dict(self.env, PGDATABASE="postgres")
        subprocess.run(["psql", "-X", "-q", "-c", "DROP DATABASE IF EXISTS %s" % self.database],
                       env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


class _PostgresLock:
    """Holds an exclusive lock on the reports table until the end of the with block."""

    def __init__(self, env):
        self.process = subprocess.Popen(["psql", "-X", "-qAt"], env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def __enter__(self):
        self.process.stdin.write(b"BEGIN;\nLOCK TABLE reports IN EXCLUSIVE MODE;\n"
                                 b"SELECT 'locked';\n")
        self.process.stdin.flush()
        line = self.process.stdout.readline()  # bounded by psql's own end on failure
        if line.strip() != b"locked":
            raise RuntimeError("could not lock the reports table")
        return self

    def __exit__(self, *exc):
        self.process.stdin.write(b"COMMIT;\n")
        self.process.stdin.close()
        self.process.wait(60)
        self.process.stdout.close()


TEXT_COLUMNS = {"time", "report_id", "via", "mail_key", "cs"}
NUMBER_COLUMNS = {"n"}
SERVERS = [PhpServer, NginxFpm]
DATABASES = [SqliteDatabase, PostgresDatabase]
