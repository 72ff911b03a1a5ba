"""Wine and processes: exact command lines, programs started through the launcher and waited
for, processes the harness did not start, and the registry."""
import os
import re
import shutil
import subprocess
import tempfile

from .base import BIN_DIR, EXITPOLL_EXE, HarnessError, WaitUntil


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


def SetSystemDpi(dpi):
    """The DPI that Wine's programs started from now on see (its LogPixels value)."""
    RegAdd("HKLM\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts",
           "LogPixels", str(dpi), "REG_DWORD")


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
