#!/usr/bin/env python3
"""The reference statistics endpoint under PHP's built-in server on loopback: the exact answer,
the stored rows, odd query values, and a store that fails answering something other than OK."""
import os
import shutil
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

SERVER_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "server")
PATH = "/stat/uninstall.php"


def FreePort():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class PhpServer:
    """php -S on a free loopback port, serving `root`, with EXITPOLL_STATS_DB set or unset."""

    def __init__(self, root, database):
        self.port = FreePort()
        env = dict(os.environ)
        env.pop("EXITPOLL_STATS_DB", None)
        if database is not None:
            env["EXITPOLL_STATS_DB"] = database
        self.process = subprocess.Popen(
            ["php", "-S", "127.0.0.1:%d" % self.port, "-t", root],
            env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while True:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                if time.monotonic() > deadline or self.process.poll() is not None:
                    self.Stop()
                    raise RuntimeError("php -S did not start")
                time.sleep(0.05)

    def Stop(self):
        self.process.terminate()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()

    def Get(self, query, extra_headers=b""):
        """Sends the applet's request for `query` (bytes, already encoded) and returns every
        byte of the answer up to the server's close."""
        request = (b"GET " + PATH.encode() + b"?" + query + b" HTTP/1.1\r\n"
                   b"User-Agent: ExitPoll-HTTP\r\nHost: 127.0.0.1\r\n" + extra_headers + b"\r\n")
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as s:
            s.sendall(request)
            answer = b""
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    return answer
                answer += chunk


def SplitAnswer(answer):
    head, _, body = answer.partition(b"\r\n\r\n")
    lines = head.split(b"\r\n")
    headers = [tuple(part.strip() for part in line.split(b":", 1)) for line in lines[1:]]
    return lines[0], headers, body


def Rows(database):
    with sqlite3.connect(database) as db:
        db.text_factory = bytes
        return db.execute("SELECT prj, reason, os FROM reports ORDER BY id").fetchall()


class EndpointTest(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.mkdtemp(prefix="exitpoll-stat-")
        self.database = os.path.join(self.temp, "data", "reports.sqlite")
        self.server = PhpServer(SERVER_DIR, self.database)

    def tearDown(self):
        self.server.Stop()
        shutil.rmtree(self.temp)

    def test_answer_is_exactly_ok_and_the_connection_closes(self):
        for name, extra in [("plain request", b""),
                            ("client asks to keep alive", b"Connection: keep-alive\r\n")]:
            with self.subTest(name):
                # Get returns only once the server has closed the connection.
                status, headers, body = SplitAnswer(
                    self.server.Get(b"prj=Net+Tool&reason=Too+expensive&os=Windows+XP", extra))
                self.assertEqual(status, b"HTTP/1.1 200 OK")
                self.assertEqual(body, b"OK\n")
                self.assertIn((b"Content-Type", b"text/plain"), headers)
                self.assertIn((b"Content-Length", b"3"), headers)
                self.assertEqual([v for k, v in headers if k.lower() == b"connection"],
                                 [b"close"])
                self.assertNotIn(b"X-Powered-By", [k for k, _ in headers])

    def test_values_are_stored_as_given_or_empty(self):
        long_value = b"x" * 6000
        cases = [
            # (reason for the row, query, stored prj, reason, os)
            ("ordinary report", b"prj=Net+Tool&reason=Too+expensive&os=Windows+XP",
             b"Net Tool", b"Too expensive", b"Windows XP"),
            ("other with free text", b"prj=My+Tool&reason=Other%3a+a%26b+%40+%23%25%22&os=Unknown",
             b"My Tool", b"Other: a&b @ #%\"", b"Unknown"),
            ("ANSI byte kept as a byte", b"prj=Caf%e9&reason=Other%3a+%e9&os=Windows+98",
             b"Caf\xe9", b"Other: \xe9", b"Windows 98"),
            ("empty values", b"prj=&reason=&os=", b"", b"", b""),
            ("missing keys", b"", b"", b"", b""),
            ("arrays instead of strings", b"prj[]=x&reason[a]=y&os[]=", b"", b"", b""),
            ("unknown keys ignored", b"foo=bar&prj=A", b"A", b"", b""),
            ("quotes and SQL reach the row untouched",
             b"prj=%27%29%3b+DROP+TABLE+reports%3b--&reason=Other&os=x",
             b"'); DROP TABLE reports;--", b"Other", b"x"),
            ("long value", b"prj=P&reason=Other%3a+" + long_value + b"&os=Windows+XP",
             b"P", b"Other: " + long_value, b"Windows XP"),
        ]
        for name, query, *_ in cases:
            with self.subTest(name):
                self.assertTrue(self.server.Get(query).endswith(b"\r\n\r\nOK\n"))
        self.assertEqual(Rows(self.database), [tuple(case[2:]) for case in cases])

    def test_time_is_recorded_in_utc_and_no_address(self):
        before = time.gmtime(time.time() - 2)
        self.server.Get(b"prj=A&reason=B&os=C")
        after = time.gmtime(time.time() + 2)
        with sqlite3.connect(self.database) as db:
            columns = [row[1] for row in db.execute("PRAGMA table_info(reports)")]
            stamp = db.execute("SELECT time FROM reports").fetchone()[0]
        self.assertEqual(columns, ["id", "time", "prj", "reason", "os"])
        self.assertTrue(time.strftime("%Y-%m-%dT%H:%M:%SZ", before) <= stamp
                        <= time.strftime("%Y-%m-%dT%H:%M:%SZ", after), stamp)


class StoreLocationTest(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.mkdtemp(prefix="exitpoll-stat-")
        # A private copy of the served folder, so that nothing is ever written into the tree.
        self.root = os.path.join(self.temp, "www")
        shutil.copytree(SERVER_DIR, self.root)

    def tearDown(self):
        shutil.rmtree(self.temp)

    def Answer(self, database):
        server = PhpServer(self.root, database)
        try:
            return SplitAnswer(server.Get(b"prj=A&reason=B&os=C"))
        finally:
            server.Stop()

    def test_default_store_is_beside_the_served_folder(self):
        _, _, body = self.Answer(None)
        self.assertEqual(body, b"OK\n")
        self.assertEqual(Rows(os.path.join(self.temp, "exitpoll-data", "uninstall.sqlite")),
                         [(b"A", b"B", b"C")])

    def test_failed_store_does_not_answer_ok(self):
        not_a_folder = os.path.join(self.temp, "file")
        open(not_a_folder, "w").close()
        cases = [
            ("parent is a file", os.path.join(not_a_folder, "reports.sqlite")),
            ("database is a folder", self.temp),
            ("inside the served folder", os.path.join(self.root, "stat", "reports.sqlite")),
        ]
        for name, database in cases:
            with self.subTest(name):
                status, headers, body = self.Answer(database)
                self.assertEqual(status, b"HTTP/1.1 500 Internal Server Error")
                self.assertNotIn(b"OK", body)
                self.assertIn((b"Content-Type", b"text/plain"), headers)
                self.assertLess(len(body), 40)  # a short text, never an error page
        self.assertFalse(os.path.exists(os.path.join(self.root, "stat", "reports.sqlite")))


if __name__ == "__main__":
    unittest.main(verbosity=2)
