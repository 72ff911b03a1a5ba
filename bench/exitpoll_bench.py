#!/usr/bin/env python3
"""exitpoll_bench.py [RUNS] [--first-paint [--awake] [--dpi-aware[=DPI]]]: the applet's figures,
measured from outside under Wine on the virtual display (see bench/README.md): the time from a close to the process's end
against an immediate "OK" server, no server and an idle server; the applet's CPU time during
the idle server's wait; the time from process start to the window's first paint, and a bare
window's and the floor window's in the same run, in turn (firstpaint.exe; --first-paint
measures only these, --awake with every CPU kept busy at the lowest priority, --dpi-aware
with [window] Dpi=aware, at the system DPI given or 96);
the size of exitpoll.exe and the DLLs it imports. With EXITPOLL_NAMED_EXE (the build with
a host name, tests/e2e/named/exitpoll.exe) and root, also the close to exit when the name
server never answers. Each timing is the median of RUNS (10)."""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import applet as a  # noqa: E402
import harness as h  # noqa: E402
import resolver  # noqa: E402

CLOCK_TICK_S = 1.0 / os.sysconf("SC_CLK_TCK")


def AppletPids():
    """Linux pids of exitpoll.exe processes under this run's Wine prefix."""
    prefix = ("WINEPREFIX=" + os.environ["WINEPREFIX"]).encode()
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                command = f.read()
            with open("/proc/%s/environ" % entry, "rb") as f:
                environment = f.read().split(b"\0")
        except OSError:
            continue
        if b"exitpoll.exe" in command and prefix in environment:
            pids.append(int(entry))
    return pids


def CpuSeconds(pid):
    """User plus system CPU time of a Linux process so far, or None once it is gone."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return None
    if fields[0] in "ZX":  # ended, not yet reaped
        return None
    return (int(fields[11]) + int(fields[12])) * CLOCK_TICK_S


def AppletPid():
    """The Linux process of the one running exitpoll.exe."""
    pids = h.WaitUntil(AppletPids, 10, what="the applet's process")
    if len(pids) != 1:
        raise h.HarnessError("more than one exitpoll.exe runs: %r" % pids)
    return pids[0]


def CloseToExit(serverFactory, exe=None, wrapper=None):
    """One run: starts the applet (or the build `exe`, run inside `wrapper`), presses
    Uninstall, and returns (seconds from the click to the end of the process, CPU seconds
    the applet used in that time)."""
    with serverFactory() as _, h.MailCapture() as mail:
        app, info = a.Start(env=mail.env, exe=exe, wrapper=wrapper)
        with app:
            pid = AppletPid()
            left, top = info["window"]["client"][:2]
            cpuBefore = CpuSeconds(pid)
            # xdotool sends the click within a few ms but returns only ~100 ms later: start
            # it, and watch the applet meanwhile.
            closed = time.monotonic()
            clicker = subprocess.Popen(["xdotool", "mousemove", str(left + a.BUTTON[0]),
                                        str(top + a.BUTTON[1]), "click", "1"],
                                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
            cpu = cpuBefore
            while True:  # the last reading before the process is gone
                now = CpuSeconds(pid)
                if now is None:
                    break
                cpu = now
                time.sleep(0.002)
            ended = time.monotonic()
            clicker.wait(20)
            if app.Wait() != 0:
                raise h.HarnessError("exit code not 0")
        return ended - closed, cpu - cpuBefore


class NoServer:
    def __enter__(self):
        return self

    def __exit__(self, *exc):
        pass


def Median(values):
    return statistics.median(values)


def FirstPaint(runs, exe=None):
    """The applet's first paint (or that of the build `exe`), a bare window's and the floor
    window's, in turn (firstpaint.exe)."""
    firstpaint = os.path.join(os.path.dirname(h.BIN_DIR.rstrip("/")), "..", "..", "bench",
                              "firstpaint.exe")
    applet = h.CommandLine(exe, b"My_Tool") if exe else h.ExitpollCommandLine(b"My_Tool")
    line = h.CommandLine(firstpaint, b"%d Uninstall " % runs + applet)
    code, out = h.Run(line, timeout=120 + runs * 10)
    if code != 0:
        raise h.HarnessError("firstpaint.exe failed: %s" % out.decode())
    for l in out.decode().strip().splitlines()[-5:]:
        print(l)
    sys.stdout.flush()


class AwakeCpus:
    """One busy loop per CPU at the lowest priority while the block runs: no CPU sleeps, so
    a trip to Wine's server costs the work, not a CPU's wake-up (on an idle machine the
    wake-ups are most of the first paint's extra over a bare window)."""

    def __enter__(self):
        self.loops = [subprocess.Popen(["nice", "-n", "19", "sh", "-c", "while :; do :; done"])
                      for _ in range(os.cpu_count() or 1)]
        return self

    def __exit__(self, *exc):
        for loop in self.loops:
            loop.kill()
            loop.wait()


def main():
    args = [arg for arg in sys.argv[1:] if not arg.startswith("--")]
    runs = int(args[0]) if args else 10
    if "--first-paint" in sys.argv:
        a.UseWindowsVersion("winxp")
        aware = [arg for arg in sys.argv if arg.startswith("--dpi-aware")]
        folder = tempfile.mkdtemp(prefix="exitpoll-bench-")
        exe = None
        if aware:
            # A copy beside a settings file with the key, at the system DPI asked for.
            exe = os.path.join(folder, "exitpoll.exe")
            shutil.copy(h.EXITPOLL_EXE, exe)
            with open(os.path.join(folder, "exitpoll.ini"), "wb") as f:
                f.write(b"[window]\r\nDpi=aware\r\n")
            dpi = aware[0].partition("=")[2] or "96"
            h.SetSystemDpi(dpi)
            print("[window] Dpi=aware at %s DPI" % dpi)
        try:
            if "--awake" in sys.argv:
                with AwakeCpus():
                    FirstPaint(runs, exe)
            else:
                FirstPaint(runs, exe)
        finally:
            if aware:
                h.SetSystemDpi(96)
            shutil.rmtree(folder, ignore_errors=True)
        return
    h.RegisterMailtoCapture()
    a.UseWindowsVersion("winxp")
    cases = [
        ("immediate \"OK\" server", lambda: h.ScriptedServer([a.OK_REPLY])),
        ("no server listening", NoServer),
        ("idle server (accepts, never answers)", lambda: h.ScriptedServer([], close=False)),
    ]
    named = os.environ.get("EXITPOLL_NAMED_EXE")
    if named and resolver.Available():
        # The statistics host is a name; the name server reads the query and never answers.
        cases.append(("host name, name server never answers",
                      lambda: resolver.DnsServer(answer=False), named))
    else:
        print("(no figure for a silent name server: needs EXITPOLL_NAMED_EXE and root)")
    for name, factory, *exe in cases:
        with resolver.NameFiles() as files:
            results = [CloseToExit(factory, exe[0], files.Wrapper()) if exe else
                       CloseToExit(factory) for _ in range(runs)]
        times = [t for t, _ in results]
        print("close to exit, %s: median %.0f ms over %d runs (min %.0f, max %.0f)"
              % (name, Median(times) * 1000, runs, min(times) * 1000, max(times) * 1000))
        if name.startswith("idle"):
            shares = [cpu / t for t, cpu in results]
            print("CPU during the idle server's wait: median %.0f ms of %.0f ms, %.1f%% "
                  "(max %.1f%%; /proc resolution %.0f ms)"
                  % (Median([c for _, c in results]) * 1000, Median(times) * 1000,
                     Median(shares) * 100, max(shares) * 100, CLOCK_TICK_S * 1000))
        sys.stdout.flush()

    with h.ScriptedServer([a.OK_REPLY]):
        FirstPaint(runs)

    exe = h.EXITPOLL_EXE
    dlls = subprocess.run(["i686-w64-mingw32-objdump", "-p", exe], stdout=subprocess.PIPE,
                          check=True).stdout.decode()
    imports = [l.split(":", 1)[1].strip() for l in dlls.splitlines() if "DLL Name" in l]
    print("exitpoll.exe: %d bytes stripped (%.1f KB; limit 48 KB); imports %s"
          % (os.path.getsize(exe), os.path.getsize(exe) / 1024, ", ".join(imports)))


if __name__ == "__main__":
    main()
