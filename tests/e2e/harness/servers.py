"""Loopback servers: a scripted one that records every byte, a private nginx, and the
reference endpoint under php -S."""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

from .base import REPORT_PATH, SOURCE_DIR, STATS_PORT, HarnessError, WaitUntil

# The collector's test helpers, for reading what the reference endpoint stored.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "server"))
import collector  # noqa: E402


def FreePort():
    """A loopback port that nothing listens on now."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def WaitForPort(port, timeout=10.0):
    def Accepting():
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.5).close()
            return True
        except OSError:
            return False
    WaitUntil(Accepting, timeout, what="a server on 127.0.0.1:%d" % port)


def HttpGet(path, port=STATS_PORT, timeout=10.0):
    """One GET over loopback, sent like the applet sends it, read until the server closes or
    `timeout`; returns the raw answer bytes."""
    request = ("GET %s HTTP/1.1\r\nUser-Agent: ExitPoll-HTTP\r\nHost: 127.0.0.1\r\n\r\n"
               % path).encode("latin-1")
    answer = b""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(request)
        deadline = time.monotonic() + timeout
        try:
            while time.monotonic() < deadline:
                chunk = s.recv(65536)
                if not chunk:
                    break
                answer += chunk
        except socket.timeout:
            pass
    return answer


class Pause(float):
    """A script step of ScriptedServer: wait this many seconds."""


class ScriptedServer:
    """A loopback server that, for every connection: records every byte received, waits for
    the end of the request header (at most `requestTimeout` seconds), then runs `script`, a
    list of steps: bytes are sent as one batch, a Pause(seconds) waits. Afterwards it closes
    the connection, unless `close` is False: then it holds it open, reading, until the peer
    closes or the server stops. An empty script with close=False is a server that never
    answers. Use as a context manager, or Stop() it."""

    def __init__(self, script, port=STATS_PORT, close=True, requestTimeout=10.0):
        self.script = list(script)
        self.port = port
        self.close = close
        self.requestTimeout = requestTimeout
        self.requests = []  # one bytearray per connection, growing as bytes arrive
        self.acceptTimes = []  # time.monotonic() of each accept
        self.peerCloseTimes = []  # time.monotonic() when each peer closed or reset, else None
        self._stopping = threading.Event()
        self._lock = threading.Lock()
        self._listener = socket.socket()
        self._listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._listener.bind(("127.0.0.1", port))
        self._listener.listen(8)
        self._listener.settimeout(0.1)
        self._threads = [threading.Thread(target=self._Accept, daemon=True)]
        self._threads[0].start()

    def _Accept(self):
        while not self._stopping.is_set():
            try:
                connection, _ = self._listener.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            record = bytearray()
            with self._lock:
                index = len(self.requests)
                self.requests.append(record)
                self.acceptTimes.append(time.monotonic())
                self.peerCloseTimes.append(None)
            thread = threading.Thread(target=self._Serve, args=(connection, index), daemon=True)
            self._threads.append(thread)
            thread.start()

    def _Serve(self, connection, index):
        record = self.requests[index]
        headerSeen = threading.Event()
        peerClosed = threading.Event()

        def Read():
            connection.settimeout(0.1)
            while not self._stopping.is_set():
                try:
                    chunk = connection.recv(65536)
                except socket.timeout:
                    continue
                except OSError:  # a reset: the peer closed with our data unread
                    chunk = b""
                if not chunk:
                    with self._lock:
                        self.peerCloseTimes[index] = time.monotonic()
                    break
                with self._lock:
                    record.extend(chunk)
                    if b"\r\n\r\n" in record:
                        headerSeen.set()
            peerClosed.set()
            headerSeen.set()

        reader = threading.Thread(target=Read, daemon=True)
        reader.start()
        try:
            headerSeen.wait(self.requestTimeout)
            for step in self.script:
                if self._stopping.is_set():
                    break
                if isinstance(step, Pause):
                    self._stopping.wait(float(step))
                else:
                    connection.sendall(step)
            if not self.close:
                while not self._stopping.is_set() and not peerClosed.is_set():
                    peerClosed.wait(0.1)
        except OSError:
            pass
        finally:
            try:
                connection.shutdown(socket.SHUT_WR)
            except OSError:
                pass
            reader.join(2.0)
            connection.close()

    def Requests(self):
        """Bytes received so far, one entry per connection."""
        with self._lock:
            return [bytes(r) for r in self.requests]

    def WaitForRequest(self, timeout=60.0):
        """Waits until a connection has sent a complete request header and returns its bytes."""
        return WaitUntil(lambda: next((r for r in self.Requests() if b"\r\n\r\n" in r), None),
                         timeout, what="a request at 127.0.0.1:%d" % self.port)

    def Stop(self):
        self._stopping.set()
        self._listener.close()
        for thread in self._threads:
            thread.join(5.0)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.Stop()


def OkReply(body=b"OK", extraHeaders=b""):
    """A typical reply: status line, two header lines, an empty line and `body` with CR LF."""
    return (b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n" + extraHeaders +
            b"Content-Length: %d\r\n\r\n" % (len(body) + 2) + body + b"\r\n")


class _Process:
    """A server process with its own folder; stopped (and its folder removed) by Stop()."""

    def _Launch(self, args, env=None):
        self.log = open(os.path.join(self.folder, "server.log"), "wb")
        self.process = subprocess.Popen(args, env=collector.server_processes.Marked(env,
                                                                                   self.folder),
                                        stdin=subprocess.DEVNULL, stdout=self.log,
                                        stderr=subprocess.STDOUT)
        try:
            WaitForPort(self.port)
        except HarnessError:
            self.Stop()
            raise

    def Stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        collector.server_processes.EndServer(self.folder)
        self.log.close()
        shutil.rmtree(self.folder, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.Stop()


class Nginx(_Process):
    """A private nginx (Debian's package) on 127.0.0.1:port, started by any user: its own
    configuration, logs and temporary folders in a temp folder. It answers the report path
    with `return 200 "OK\\n";` (keep-alive, Content-Length) and anything else with 404.
    AccessLog() gives the request lines it served."""

    def __init__(self, port=STATS_PORT):
        self.port = port
        self.folder = tempfile.mkdtemp(prefix="exitpoll-nginx-")
        f = self.folder
        collector.WriteNginxConfig(f, 64, """
  log_format requests '$request';
  access_log %(f)s/access.log requests;
  server {
    listen 127.0.0.1:%(port)d;
    location = %(path)s {
      default_type text/plain;
      return 200 "OK\\n";
    }
    location / { return 404; }
  }""" % {"f": f, "port": port, "path": REPORT_PATH})
        self._Launch(["nginx", "-p", f, "-e", os.path.join(f, "error.log"),
                      "-c", os.path.join(f, "nginx.conf")])

    def AccessLog(self):
        path = os.path.join(self.folder, "access.log")
        if not os.path.exists(path):
            return []
        with open(path, "rb") as f:
            return f.read().splitlines()


class PhpServer(_Process):
    """`php -S 127.0.0.1:port -t server/`, the reference endpoint, storing its reports in a
    private database (EXITPOLL_STATS_DB in a temp folder). Rows() reads what it stored."""

    def __init__(self, port=STATS_PORT, root=None):
        self.port = port
        self.folder = tempfile.mkdtemp(prefix="exitpoll-php-")
        self.database = os.path.join(self.folder, "reports.sqlite")
        env = dict(os.environ, EXITPOLL_STATS_DB=self.database)
        self._Launch(["php", "-S", "127.0.0.1:%d" % port, "-t",
                      root or os.path.join(SOURCE_DIR, "server")], env)

    def Rows(self):
        """Stored reports as (time, prj, reason, os), the last three as bytes."""
        return collector.SqliteRows(self.database)
