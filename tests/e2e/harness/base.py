"""What every part of the harness shares: where the build put things, the error it raises and
its one bounded wait."""
import os
import time

SOURCE_DIR = os.environ.get(
    "EXITPOLL_SOURCE_DIR",
    os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "..")))
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
