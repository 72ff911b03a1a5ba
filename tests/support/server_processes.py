"""Keeps track of the servers that tests start, so that none outlives its test. Each one's
environment carries a mark (EXITPOLL_TEST_SERVER=<its folder>, and the run's
EXITPOLL_TEST_RUN), which every process it forks inherits even where it leaves its process
group or session (php-fpm under a tracer does). php-fpm writes its title over that
environment, but the title names its configuration file in the server's folder, and it
keeps the working folder it was started in. EndServers() ends a server's processes; run as
a script, `server_processes.py --check BUILD_FOLDER` names and ends what a test run left."""
import os
import signal
import sys
import time

MARK = "EXITPOLL_TEST_SERVER"
RUN = "EXITPOLL_TEST_RUN"


def Marked(env, folder):
    """`env` (None: this process's own) with the mark of the server kept in `folder`."""
    return dict(os.environ if env is None else env, **{MARK: folder})


def _Read(pid, name):
    try:
        with open("/proc/%d/%s" % (pid, name), "rb") as f:
            return f.read()
    except OSError:  # ended meanwhile, or not ours to read
        return b""


class Process:
    def __init__(self, pid):
        self.pid = pid
        pairs = _Read(pid, "environ").split(b"\0")
        self.env = dict(pair.decode(errors="replace").split("=", 1)
                        for pair in pairs if b"=" in pair)
        self.command = _Read(pid, "cmdline").replace(b"\0", b" ").decode(errors="replace")
        try:
            self.cwd = os.readlink("/proc/%d/cwd" % pid)
        except OSError:
            self.cwd = ""

    def __repr__(self):
        return "pid %d: %s" % (self.pid, self.command.strip())


def _Others():
    """The live processes other than this one and its ancestors; zombies have no command."""
    mine = set()
    pid = os.getpid()
    while pid > 1:
        mine.add(pid)
        fields = _Read(pid, "stat").rsplit(b")", 1)[-1].split()
        pid = int(fields[1]) if len(fields) > 1 else 0
    processes = (Process(int(name)) for name in os.listdir("/proc")
                 if name.isdigit() and int(name) not in mine)
    return [p for p in processes if p.command]


def ServerProcesses(folder):
    """The live processes of the server kept in `folder`."""
    if not folder:
        return []
    return [p for p in _Others() if p.env.get(MARK) == folder or folder + "/" in p.command]


def RunProcesses(run, build):
    """The live processes that the test run `run` started from the build folder `build`."""
    build = os.path.realpath(build) + "/"
    return [p for p in _Others()
            if p.env.get(RUN) == run or (p.cwd + "/").startswith(build)]


def WithVariable(name, value):
    """The live processes whose environment gives variable `name` the value `value`."""
    return [p for p in _Others() if p.env.get(name) == value]


def End(find, grace=5.0):
    """Ends the processes that `find()` returns (SIGTERM, then SIGKILL after `grace` seconds);
    returns those first found."""
    found = find()
    for signal_number in (signal.SIGTERM, signal.SIGKILL):
        for process in find():
            try:
                os.kill(process.pid, signal_number)
            except OSError:
                pass
        deadline = time.monotonic() + grace
        while find() and time.monotonic() < deadline:
            time.sleep(0.05)
    return found


def EndServer(folder):
    return End(lambda: ServerProcesses(folder))


def EndOnTerminate():
    """Turns SIGTERM (a test's time-out, an interrupted run) into SystemExit, so that the
    with blocks and finally clauses that stop servers run."""
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))


if __name__ == "__main__" and len(sys.argv) == 3 and sys.argv[1] == "--check":
    left = End(lambda: RunProcesses(os.environ.get(RUN, "-"), sys.argv[2]))
    for process in left:
        print("left behind by a test: %r" % process)
    sys.exit(1 if left else 0)
