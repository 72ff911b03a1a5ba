"""Every server a test starts ends with the test, whether it passes, fails an assertion or is
stopped for its time-out (SIGTERM): each server of the collector's tests is started in a
child test process that ends one of those ways, and then no process of it may be left."""
import json
import os
import signal
import subprocess
import sys
import time
import unittest
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import collector as c  # noqa: E402
from server_processes import ServerProcesses, WithVariable  # noqa: E402

# php-fpm under a tracer leaves its process group (it starts a session of its own).
TRACER = ["strace", "-f", "-qq", "-o", os.devnull, "-e", "trace=fsync"]
SERVERS = [
    ("php -S with workers", "c.PhpServer(settings, workers=2)"),
    ("nginx + php-fpm", "c.NginxFpm(settings, workers=2)"),
    ("nginx + traced php-fpm", "c.NginxFpm(settings, workers=1, fpm_wrapper=%r)" % TRACER),
]
CHILD_MARK = "EXITPOLL_END_TEST"
# How the test ends, as the body of its with block.
ENDINGS = [
    ("passes", "pass"),
    ("fails", "raise AssertionError('planted')"),
    ("times out", "time.sleep(60)"),
]
CHILD = """
import json, os, sys, time
sys.path.insert(0, %(here)r)
import collector as c
settings = json.loads(os.environ["SETTINGS"])
with %(server)s as server:
    c.Report(server.port, b"prj=A&reason=B&os=C")
    print(server.folder, flush=True)
    %(ending)s
"""


class ServersEndWithTheirTest(unittest.TestCase):
    def test_no_server_outlives_its_test(self):
        database = c.SqliteDatabase()
        try:
            c.MakeSchema(database.settings)
            for server_name, server in SERVERS:
                for ending_name, ending in ENDINGS:
                    with self.subTest(server=server_name, ending=ending_name):
                        self.CheckEnding(database, server, ending_name, ending)
        finally:
            database.Drop()

    def CheckEnding(self, database, server, ending_name, ending):
        mark = uuid.uuid4().hex
        child = subprocess.Popen(
            [sys.executable, "-c", CHILD % {"here": os.path.dirname(os.path.abspath(__file__)),
                                            "server": server, "ending": ending}],
            env=dict(os.environ, SETTINGS=json.dumps(database.settings), **{CHILD_MARK: mark}),
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        folder = ""
        try:
            folder = child.stdout.readline().decode().strip()  # bounded by the child's end
            self.assertTrue(folder, "the server did not start")
            if ending_name == "times out":
                child.terminate()
            child.wait(60)
            # Found by a mark of this test's own, which every process of the child inherits
            # whatever the collector's helpers do, or (php-fpm writes its title over it) by
            # the server's folder named in the command line.
            def Left():
                return WithVariable(CHILD_MARK, mark) + ServerProcesses(folder)
            deadline = time.monotonic() + 5
            while Left() and time.monotonic() < deadline:
                time.sleep(0.05)
            self.assertEqual(Left(), [])
        finally:
            if child.poll() is None:
                child.kill()
                child.wait()
            for process in WithVariable(CHILD_MARK, mark) + ServerProcesses(folder):
                os.kill(process.pid, signal.SIGKILL)
            child.stdout.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
