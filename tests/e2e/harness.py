"""End-to-end test harness: runs Windows programs under Wine with exact command lines, waits for
processes it did not start, reads the registry, captures mailto URLs, serves loopback
statistics servers (scripted, nginx, php -S), drives windows on the virtual display with
xdotool and samples screenshots. Every wait here is bounded.

The tests run under ctest with DISPLAY and WINEPREFIX set by scripts/test, and with
EXITPOLL_E2E_BIN (the helper programs), EXITPOLL_SOURCE_DIR and, once the program exists,
EXITPOLL_EXE set by tests/e2e/CMakeLists.txt."""
import ctypes
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

# The collector's test helpers, for reading what the reference endpoint stored.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "server"))
import collector  # noqa: E402

SOURCE_DIR = os.environ.get(
    "EXITPOLL_SOURCE_DIR", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BIN_DIR = os.environ.get("EXITPOLL_E2E_BIN", "")
EXITPOLL_EXE = os.environ.get("EXITPOLL_EXE", "")
STATS_PORT = 8080  # the applet's built-in statistics host is 127.0.0.1:8080
REPORT_PATH = "/stat/uninstall.php"


class HarnessError(Exception):
    pass


def WaitUntil(condition, timeout, interval=0.05, what="condition"):
    """Calls condition() until it returns something true, and returns that; raises
    HarnessError after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() >= deadline:
            raise HarnessError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def Helper(name):
    """Unix path of a helper program built into tests/e2e/bin (launcher, capture, probe,
    wintree, procwait)."""
    path = os.path.join(BIN_DIR, name + ".exe")
    if not os.path.exists(path):
        raise HarnessError("helper %s not found (EXITPOLL_E2E_BIN=%r)" % (name, BIN_DIR))
    return path


def WindowsPath(unixPath):
    """The path as Wine's Z: drive shows it: 'Z:\\tmp\\x.exe' for '/tmp/x.exe'."""
    return "Z:" + os.path.abspath(unixPath).replace("/", "\\")


def UnixPath(windowsPath):
    """The Unix path of a Windows path on the prefix's C: drive or on Wine's Z: drive."""
    drive, rest = windowsPath[:2].upper(), windowsPath[2:].replace("\\", "/").strip("/")
    if drive == "Z:":
        return "/" + rest
    if drive == "C:":
        return os.path.join(_WineEnvironment(None)["WINEPREFIX"], "drive_c", rest)
    raise HarnessError("no Unix path for %r" % windowsPath)


def QuotedProgram(unixPath):
    """The program's Windows path in double quotes, as bytes, to begin a command line."""
    return b'"' + WindowsPath(unixPath).encode() + b'"'


def CommandLine(unixPath, tail=b""):
    """An exact command line: the quoted program path, then, when `tail` is not empty, one
    space and `tail` (bytes, or str encoded as Latin-1) exactly as given."""
    if isinstance(tail, str):
        tail = tail.encode("latin-1")
    return QuotedProgram(unixPath) + (b" " + tail if tail else b"")


def _WineEnvironment(env):
    merged = dict(os.environ)
    merged.setdefault("WINEDEBUG", "-all")
    if env:
        merged.update(env)
    for needed in ("DISPLAY", "WINEPREFIX"):
        if not merged.get(needed):
            raise HarnessError("%s is not set: run under scripts/test (or wine_env_start)" % needed)
    return merged


def Wine(args, env=None, timeout=60.0, check=True):
    """Runs `wine ARGS...` (Wine's own quoting applies) and returns the CompletedProcess with
    stdout and stderr as bytes."""
    result = subprocess.run(["wine"] + list(args), env=_WineEnvironment(env), timeout=timeout,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    if check and result.returncode != 0:
        raise HarnessError("wine %s failed with %d: %r" % (args, result.returncode, result.stderr))
    return result


class Launched:
    """A program started through the launcher. wait() returns its full 32-bit exit code.
    `wrapper` (argv list) runs Wine inside another program, such as unshare."""

    def __init__(self, commandLine, env, timeout, wrapper=None):
        self.commandLine = commandLine
        self._folder = tempfile.mkdtemp(prefix="exitpoll-launch-")
        self._commandFile = os.path.join(self._folder, "command")
        self._resultFile = os.path.join(self._folder, "result")
        with open(self._commandFile, "wb") as f:
            f.write(commandLine)
        self._timeout = timeout
        self._stdout = open(os.path.join(self._folder, "stdout"), "w+b")
        self.process = subprocess.Popen(
            list(wrapper or []) + ["wine", Helper("launcher"), WindowsPath(self._commandFile),
             str(int(timeout * 1000)), WindowsPath(self._resultFile)],
            env=_WineEnvironment(env), stdin=subprocess.DEVNULL, stdout=self._stdout,
            stderr=subprocess.DEVNULL)
        self.exitCode = None

    def Running(self):
        return self.process.poll() is None

    def Wait(self, timeout=None):
        """Waits for the program's end (at most its launch timeout plus a margin, or
        `timeout` seconds) and returns its exit code. Raises HarnessError if it timed out."""
        limit = timeout if timeout is not None else self._timeout + 15
        try:
            self.process.wait(limit)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise HarnessError("launcher still running after %.1f s" % limit)
        result = ""
        if os.path.exists(self._resultFile):
            with open(self._resultFile) as f:
                result = f.read()
        if result == "timeout":
            raise HarnessError("program ended by the launcher after %.1f s" % self._timeout)
        if not result.isdigit():
            raise HarnessError("launcher failed: %r" % result)
        self.exitCode = int(result)
        return self.exitCode

    def Stdout(self):
        """Everything the program wrote to its standard output so far (console programs)."""
        self._stdout.flush()
        with open(self._stdout.name, "rb") as f:
            return f.read()

    def Close(self):
        if self.Running():  # the launcher's job then ends the program too
            self.process.kill()
            self.process.wait()
        self._stdout.close()
        shutil.rmtree(self._folder, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.Close()


def Start(commandLine, env=None, timeout=60.0, wrapper=None):
    """Starts a Windows program with exactly `commandLine` (bytes; see CommandLine) and returns
    a Launched. The launcher ends the program if it runs longer than `timeout` seconds."""
    return Launched(commandLine, env, timeout, wrapper)


def Run(commandLine, env=None, timeout=60.0):
    """Runs a Windows program with exactly `commandLine` to its end; returns
    (exit code, stdout bytes)."""
    with Start(commandLine, env, timeout) as launched:
        code = launched.Wait()
        return code, launched.Stdout()


def ExitpollCommandLine(tail=b""):
    """The applet's command line: its quoted path and, when given, the raw parameter text."""
    if not EXITPOLL_EXE:
        raise HarnessError("EXITPOLL_EXE is not set: exitpoll.exe is not built")
    return CommandLine(EXITPOLL_EXE, tail)


# ---- Processes -------------------------------------------------------------------------

def WatchProcesses(imageName, timeout=60.0):
    """Starts waiting, inside Wine, for the processes running at this moment from an image
    file named `imageName` (no folder, e.g. 'Un.exe'), such as programs that another program
    started. Returns a Launched: Wait() is 0 once all of them have ended, 1 when one still
    ran after `timeout` seconds; FoundCount(watch) tells how many there were."""
    return Start(CommandLine(Helper("procwait"), "%s %d" % (imageName, int(timeout * 1000))),
                 timeout=timeout + 30)


def FoundCount(watch, timeout=30.0):
    """How many processes a WatchProcesses() watch found, once it has looked."""
    return int(WaitUntil(lambda: watch.Stdout().strip(), timeout, what="procwait's count"))


def ProcessCount(imageName):
    """How many processes run from an image file named `imageName` now."""
    with WatchProcesses(imageName, timeout=0) as watch:
        watch.Wait()
        return int(watch.Stdout())


# ---- Registry --------------------------------------------------------------------------

def RegAdd(key, value, data, kind="REG_SZ"):
    """Sets a registry value with `wine reg add`; value None sets the key's default value."""
    args = ["reg", "add", key] + (["/ve"] if value is None else ["/v", value])
    Wine(args + ["/t", kind, "/d", data, "/f"])


def RegQuery(key, value):
    """The data of a registry value as `wine reg query` shows it (str; REG_DWORD as 0x...),
    or None when the key or the value does not exist."""
    result = Wine(["reg", "query", key, "/v", value], check=False)
    if result.returncode != 0:
        return None
    for line in result.stdout.decode("latin-1").splitlines():
        match = re.match(r"^    (.*?)    (REG_[A-Z_]+)    (.*)$", line.rstrip("\r"))
        if match and match.group(1).lower() == value.lower():
            return match.group(3)
    return None


def RegKeyExists(key):
    return Wine(["reg", "query", key], check=False).returncode == 0


def SetWindowsVersion(program, version):
    """Makes only `program` (an .exe file name such as 'exitpoll.exe') see the Windows
    version `version` ('winxp', 'win98', ...); other programs keep theirs."""
    RegAdd("HKCU\\Software\\Wine\\AppDefaults\\" + program, "Version", version)


# ---- Mail capture ----------------------------------------------------------------------

def RegisterMailtoCapture():
    """Makes capture.exe the mailto handler of the whole prefix. The value is the same for
    every test, so tests may register it side by side."""
    RegAdd("HKCR\\mailto\\shell\\open\\command", None,
           '"%s" "%%1"' % WindowsPath(Helper("capture")))


class MailCapture:
    """A private capture file: pass `env` to the program that opens mail URLs (the capture
    helper inherits it through the shell). Use with RegisterMailtoCapture()."""

    def __init__(self):
        self._folder = tempfile.mkdtemp(prefix="exitpoll-mail-")
        self.path = os.path.join(self._folder, "captured")
        self.env = {"EXITPOLL_CAPTURE_FILE": WindowsPath(self.path)}

    def Lines(self):
        """Every captured command line of capture.exe, as bytes, without the line feed."""
        if not os.path.exists(self.path):
            return []
        with open(self.path, "rb") as f:
            return f.read().split(b"\n")[:-1]

    def Urls(self):
        """The URLs handed to the mail handler: each captured line without the quoted
        program path and the quotes around %1."""
        prefix = b'"' + WindowsPath(Helper("capture")).encode() + b'" "'
        urls = []
        for line in self.Lines():
            if line.startswith(prefix) and line.endswith(b'"'):
                urls.append(line[len(prefix):-1])
            else:
                urls.append(line)  # not our registration's form: give the raw line
        return urls

    def WaitForUrls(self, count=1, timeout=60.0):
        """Waits until at least `count` URLs were captured and returns all of them."""
        return WaitUntil(lambda: len(self.Urls()) >= count and self.Urls(), timeout,
                         what="%d captured mail URL(s)" % count)

    def SettledUrls(self, timeout=60.0):
        """The URLs once no capture helper of this build runs: call it after the program that
        may open mail has ended (its shell started any helper before that), so that a late
        mail, as a slow Wine writes it, is counted too."""
        helper = Helper("capture")
        names = (WindowsPath(helper).lower().encode(), helper.lower().encode())

        def NoneRunning():
            for entry in os.listdir("/proc"):
                try:
                    with open("/proc/%s/cmdline" % entry, "rb") as f:
                        command = f.read().replace(b"\0", b" ").lower()
                except OSError:
                    continue
                if any(name in command for name in names):
                    return False
            return True
        WaitUntil(NoneRunning, timeout, interval=0.1, what="the mail helpers to end")
        return self.Urls()

    def Close(self):
        shutil.rmtree(self._folder, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.Close()


# ---- Servers ---------------------------------------------------------------------------

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
        self.process = subprocess.Popen(args, env=env, stdin=subprocess.DEVNULL,
                                        stdout=self.log, stderr=subprocess.STDOUT)
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
        config = """
daemon off;
master_process off;
worker_processes 1;
pid %(f)s/nginx.pid;
error_log %(f)s/error.log;
events { worker_connections 64; }
http {
  log_format requests '$request';
  access_log %(f)s/access.log requests;
  client_body_temp_path %(f)s/body;
  proxy_temp_path %(f)s/proxy;
  fastcgi_temp_path %(f)s/fastcgi;
  uwsgi_temp_path %(f)s/uwsgi;
  scgi_temp_path %(f)s/scgi;
  server {
    listen 127.0.0.1:%(port)d;
    location = %(path)s {
      default_type text/plain;
      return 200 "OK\\n";
    }
    location / { return 404; }
  }
}
""" % {"f": f, "port": port, "path": REPORT_PATH}
        with open(os.path.join(f, "nginx.conf"), "w") as out:
            out.write(config)
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


# ---- Windows on the display ------------------------------------------------------------

def Xdotool(*args, check=True):
    # A UTF-8 locale, so that `type` takes characters beyond ASCII in any caller's locale.
    env = dict(os.environ, LC_ALL="C.UTF-8")
    result = subprocess.run(["xdotool"] + [str(a) for a in args], env=env,
                            stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=20)
    if check and result.returncode != 0:
        raise HarnessError("xdotool %s failed: %r" % (args, result.stderr))
    return result.stdout.decode()


def FindWindows(caption):
    """X window ids of the visible top-level windows whose name is exactly `caption`."""
    output = Xdotool("search", "--onlyvisible", "--name", "^%s$" % re.escape(caption),
                     check=False)
    return [int(w) for w in output.split()]


def WaitForWindow(caption, timeout=60.0):
    """Waits until a visible window named `caption` exists and Wine knows it by that caption,
    and returns its description (see Inspect)."""
    def Found():
        if not FindWindows(caption):
            return None
        info = Inspect(caption)
        return info if info and info["window"]["visible"] else None
    return WaitUntil(Found, timeout, interval=0.1, what="window %r" % caption)


def WaitForNoWindow(caption, timeout=60.0):
    WaitUntil(lambda: not FindWindows(caption), timeout, interval=0.1,
              what="window %r to go" % caption)


def Inspect(caption):
    """The live window with that caption and its descendants, read from Wine by wintree.exe,
    or None when there is none. A dict: {"focus": hwnd, "active": hwnd, "respondsMs": n,
    "window": W}; respondsMs is how long the window's thread took to answer a sent WM_NULL,
    or -1 when it did not answer within 1000 ms (a hung window). W
    has "hwnd", "class", "text" (str; .encode('latin-1') gives the ANSI bytes), "rect"
    [left, top, width, height] on screen, "client" [left, top, width, height] (client
    origin on screen), "style", "exstyle" (signed 32-bit), "visible", "enabled",
    "focused", "checked" (BM_GETCHECK for Button windows, else None) and "children"
    (a list of W in Z order, which is creation order unless a window was moved)."""
    result = Wine([Helper("wintree"), caption], check=False, timeout=30)
    if result.returncode != 0:
        return None
    return json.loads(result.stdout.decode("ascii"))


class PreparedInspect:
    """An Inspect(caption) whose program starts now and looks when Take() is called: a slow
    (emulated) Wine takes longer to start a program than some states last, such as the
    applet's wait for the server."""

    def __init__(self, caption):
        self._folder = tempfile.mkdtemp(prefix="exitpoll-inspect-")
        self._trigger = os.path.join(self._folder, "look")
        self._process = subprocess.Popen(
            ["wine", Helper("wintree"), caption, WindowsPath(self._trigger)],
            env=_WineEnvironment(None), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL)
        ready = self._process.stdout.readline()  # ends at the latest with the program
        if ready.strip() != b"ready":
            self.Close()
            raise HarnessError("wintree did not start: %r" % ready)

    def Take(self, timeout=60.0):
        """Looks now; returns what Inspect would, or None when there is no such window."""
        open(self._trigger, "w").close()
        try:
            out, _ = self._process.communicate(timeout=timeout)
        finally:
            self.Close()
        return json.loads(out.decode("ascii")) if self._process.returncode == 0 else None

    def Close(self):
        if self._process.poll() is None:
            self._process.kill()
            self._process.wait()
        shutil.rmtree(self._folder, ignore_errors=True)


def Descendants(window):
    """Every window below W (as from Inspect), depth first, in Z order."""
    for child in window["children"]:
        yield child
        yield from Descendants(child)


def FindChild(window, text=None, className=None):
    """The first descendant of W with this text and/or class name, or None."""
    for child in Descendants(window):
        if (text is None or child["text"] == text) and \
           (className is None or child["class"].lower() == className.lower()):
            return child
    return None


def Click(x, y, button=1):
    """Moves the pointer to screen point x, y and clicks, like a person (XTEST events)."""
    # One command: the X server takes XTEST events in order, so the click lands at x, y.
    # (mousemove --sync would wait ~15 s when the pointer is already there.)
    Xdotool("mousemove", x, y, "click", button)


def ClickClient(caption, x, y, button=1):
    """Clicks at client coordinates x, y of the top-level window `caption`."""
    info = Inspect(caption)
    if not info:
        raise HarnessError("no window %r to click" % caption)
    left, top = info["window"]["client"][:2]
    Click(left + x, top + y, button)


def ClickCaption(caption):
    """Clicks the caption bar of the top-level window `caption`, left of its middle, which
    activates it and gives it the keyboard focus (no window manager runs on Xvfb)."""
    info = Inspect(caption)
    if not info:
        raise HarnessError("no window %r to activate" % caption)
    left, top, width, _ = info["window"]["rect"]
    clientTop = info["window"]["client"][1]
    Click(left + width // 3, (top + clientTop) // 2)


def ClickCenter(window, button=1):
    """Clicks the middle of a window W (as from Inspect)."""
    left, top, width, height = window["rect"]
    Click(left + width // 2, top + height // 2, button)


def _X11():
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDisplayKeycodes.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                     ctypes.POINTER(ctypes.c_int)]
    x11.XGetKeyboardMapping.restype = ctypes.POINTER(ctypes.c_ulong)
    x11.XGetKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int,
                                        ctypes.POINTER(ctypes.c_int)]
    x11.XChangeKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                           ctypes.POINTER(ctypes.c_ulong), ctypes.c_int]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XFree.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    xtst = ctypes.CDLL("libXtst.so.6")
    xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                       ctypes.c_ulong]
    return x11, xtst


def _TypeBound(characters, delayMs):
    """Types characters beyond ASCII on keys of their own (XTEST). Each is bound to a spare
    keycode first, for the rest of the display's life. xdotool binds such a character only
    while it types it and undoes that at once: a slow (emulated) Wine then translates the
    key after the undo and gets another character or none."""
    x11, xtst = _X11()
    display = x11.XOpenDisplay(None)
    if not display:
        raise HarnessError("cannot open the display %r" % os.environ.get("DISPLAY"))
    try:
        low, high, perKey = ctypes.c_int(), ctypes.c_int(), ctypes.c_int()
        x11.XDisplayKeycodes(display, ctypes.byref(low), ctypes.byref(high))
        count = high.value - low.value + 1
        table = x11.XGetKeyboardMapping(display, low.value, count, ctypes.byref(perKey))
        rows = [[table[k * perKey.value + j] for j in range(perKey.value)] for k in range(count)]
        x11.XFree(table)
        unshifted = {row[0]: low.value + k for k, row in enumerate(rows) if row[0]}
        # Keycode 8 is no key; the spare ones above it, lowest first.
        spare = [low.value + k for k, row in enumerate(rows) if not any(row)][::-1]
        spare = [code for code in spare if code > 8]
        for character in characters:
            code = ord(character)
            # Latin-1 characters are their own keysyms; others are 0x1000000 + code point.
            keysym = code if 0xA0 <= code <= 0xFF else 0x1000000 + code
            if keysym not in unshifted:
                if not spare:
                    raise HarnessError("no spare keycode for %r" % character)
                unshifted[keysym] = spare.pop()
                x11.XChangeKeyboardMapping(display, unshifted[keysym], 1,
                                           (ctypes.c_ulong * 1)(keysym), 1)
            for down in (1, 0):
                xtst.XTestFakeKeyEvent(display, unshifted[keysym], down, 0)
                x11.XSync(display, 0)
                time.sleep(delayMs / 2000.0)
    finally:
        x11.XCloseDisplay(display)


def TypeText(text, delayMs=20):
    """Types `text` into the focused control (XTEST key events): ASCII through xdotool, other
    characters on keys bound to them (see _TypeBound)."""
    for run in re.findall(r"[\x20-\x7e]+|[^\x20-\x7e]+", text):
        if run[0] < "\x7f":
            Xdotool("type", "--delay", delayMs, "--", run)
        else:
            _TypeBound(run, delayMs)


def WaitForText(caption, className, text, timeout=60.0):
    """Waits until the first control of class `className` in the window `caption` holds
    `text` (a slow Wine takes a while to take typed keys); on timeout the error shows what
    it held last."""
    last = [None]

    def Arrived():
        info = Inspect(caption)
        control = info and FindChild(info["window"], className=className)
        last[0] = control and control["text"]
        return last[0] == text
    try:
        WaitUntil(Arrived, timeout, interval=0.1, what="the text %r" % text)
    except HarnessError as error:
        raise HarnessError("%s; the control held %r" % (error, last[0])) from None


def Key(*keys):
    """Presses key combinations such as 'Return' or 'alt+F4' (XTEST, never --window)."""
    Xdotool("key", "--delay", 30, *keys)


def SaveScreenshot(path):
    """Saves the whole display as an image file (format from the extension, e.g. .png)."""
    subprocess.run(["import", "-window", "root", path], check=True, timeout=30,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    return path


class Screenshot:
    """The whole display at one moment; Pixel(x, y) gives (r, g, b) at screen point x, y."""

    def __init__(self):
        data = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], check=True,
                              timeout=30, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE).stdout
        # Binary PPM: "P6" width height maxval, each followed by one whitespace byte.
        fields, position = [], 0
        while len(fields) < 4:
            while data[position:position + 1].isspace():
                position += 1
            start = position
            while not data[position:position + 1].isspace():
                position += 1
            fields.append(data[start:position])
        if fields[0] != b"P6" or fields[3] != b"255":
            raise HarnessError("unexpected screenshot format %r" % fields)
        self.width, self.height = int(fields[1]), int(fields[2])
        self._pixels = data[position + 1:]

    def Pixel(self, x, y):
        offset = 3 * (y * self.width + x)
        return tuple(self._pixels[offset:offset + 3])


def ColorNear(actual, expected, tolerance=8):
    """True when each channel of two (r, g, b) colours differs by at most `tolerance`."""
    return all(abs(a - e) <= tolerance for a, e in zip(actual, expected))
