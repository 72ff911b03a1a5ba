#!/usr/bin/env python3
"""The statistics endpoint for real, under php -S and under nginx + php-fpm, over SQLite and
PostgreSQL: one table of well-formed and hostile requests with the exact answers and the rows
they leave, a store held up past its time, and where an SQLite file may be kept."""
import os
import shutil
import sqlite3
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import collector as c  # noqa: E402

OK, BAD, LONG = (200, b"OK\n"), (400, b"BAD REPORT\n"), (413, b"TOO LONG\n")
NOT_GET = (405, b"GET ONLY\n")
JUNK = b"&".join(b"k%d=1" % i for i in range(1200))  # past PHP's max_input_vars of 1000

# (name, method, query, answer, stored (prj, reason, os) or None)
CASES = [
    ("ordinary report", b"GET", b"prj=Net+Tool&reason=Too+expensive&os=Windows+XP", OK,
     (b"Net Tool", b"Too expensive", b"Windows XP")),
    ("free text with URL specials", b"GET",
     b"prj=My+Tool&reason=Other%3a+a%26b+%40+%23%25%22%2B+&os=Unknown", OK,
     (b"My Tool", b"Other: a&b @ #%\"+ ", b"Unknown")),
    ("ANSI and control bytes kept as bytes", b"GET",
     b"prj=Caf%e9&reason=Other%3a+%80%81%ff%00%0d%0a&os=Windows+98", OK,
     (b"Caf\xe9", b"Other: \x80\x81\xff\x00\r\n", b"Windows 98")),
    ("empty values", b"GET", b"prj=&reason=&os=", OK, (b"", b"", b"")),
    ("keys in another order, one without =", b"GET", b"os=C&reason=B&prj", OK,
     (b"", b"B", b"C")),
    ("encoded key names", b"GET", b"%70rj=A&reason=B&o%73=C", OK, (b"A", b"B", b"C")),
    ("quotes and SQL", b"GET", b"prj=%27%29%3b+DROP+TABLE+reports%3b--&reason=Other&os=x", OK,
     (b"'); DROP TABLE reports;--", b"Other", b"x")),
    ("every value at its cap", b"GET",
     b"prj=" + b"p" * 256 + b"&reason=Other%3a+" + b"%e9" * 8185 + b"&os=" + b"o" * 64, OK,
     (b"p" * 256, b"Other: " + b"\xe9" * 8185, b"o" * 64)),
    ("more keys than PHP reads", b"GET", JUNK + b"&prj=A&reason=B&os=C", OK, (b"A", b"B", b"C")),
    ("prj over its cap", b"GET", b"prj=" + b"p" * 257 + b"&reason=B&os=C", LONG, None),
    ("reason over its cap", b"GET", b"prj=A&reason=" + b"r" * 8193 + b"&os=C", LONG, None),
    ("os over its cap", b"GET", b"prj=A&reason=B&os=" + b"o" * 65, LONG, None),
    ("no query", b"GET", b"", BAD, None),
    ("os missing", b"GET", b"prj=A&reason=B", BAD, None),
    ("prj twice", b"GET", b"prj=A&reason=B&os=C&prj=D", BAD, None),
    ("prj as a list", b"GET", b"prj[]=A&reason=B&os=C", BAD, None),
    ("reason as a map", b"GET", b"prj=A&reason[x]=B&os=C", BAD, None),
    ("POST", b"POST", b"prj=A&reason=B&os=C", NOT_GET, None),
    ("PUT", b"PUT", b"prj=A&reason=B&os=C", NOT_GET, None),
    ("DELETE", b"DELETE", b"prj=A&reason=B&os=C", NOT_GET, None),
    ("OPTIONS", b"OPTIONS", b"prj=A&reason=B&os=C", NOT_GET, None),
    ("HEAD", b"HEAD", b"prj=A&reason=B&os=C", (405, b""), None),
]


def CheckAnswer(test, answer, status, body):
    """Every answer: the status, exactly the body, a fixed length, text/plain, closed."""
    status_line, headers, received = c.SplitAnswer(answer)
    test.assertEqual(int(status_line.split()[1]), status, answer[:300])
    test.assertEqual(received, body)
    names = [k.lower() for k, _ in headers]
    test.assertIn((b"Content-Type", b"text/plain"), headers)
    if body:
        test.assertIn((b"Content-Length", str(len(body)).encode()), headers)
    test.assertEqual([v for k, v in headers if k.lower() == b"connection"], [b"close"])
    test.assertNotIn(b"x-powered-by", names)
    if status == 405:
        test.assertIn((b"Allow", b"GET"), headers)


class EndpointTest(unittest.TestCase):
    def test_requests_on_every_server_and_database(self):
        for Server in c.SERVERS:
            for Database in c.DATABASES:
                with self.subTest(server=Server.name, database=Database.name):
                    database = Database()
                    try:
                        with Server(database.settings) as server:
                            self.RunTable(server, database)
                    finally:
                        database.Drop()

    def RunTable(self, server, database):
        before = time.gmtime(time.time() - 2)
        for name, method, query, (status, body), _ in CASES:
            with self.subTest(name):
                extra = b"Connection: keep-alive\r\n" if name == "ordinary report" else b""
                CheckAnswer(self, c.Report(server.port, query, method=method,
                                           extra_headers=extra, body=query if
                                           method == b"POST" else b""), status, body)
        after = time.gmtime(time.time() + 2)
        rows = database.Rows()
        self.assertEqual([row[1:] for row in rows], [case[4] for case in CASES if case[4]])
        for stamp, *_ in rows:  # UTC, to the second; nothing about the sender is kept
            self.assertTrue(time.strftime("%Y-%m-%dT%H:%M:%SZ", before) <= stamp
                            <= time.strftime("%Y-%m-%dT%H:%M:%SZ", after), stamp)

    def test_store_held_up_answers_in_time_and_stores_nothing(self):
        # Under nginx with one php-fpm worker, the second report waits in php-fpm's queue
        # while the first waits for the database: it too must be answered in time.
        for Server, reports in [(c.PhpServer, 1), (c.NginxFpm, 2)]:
            for Database in c.DATABASES:
                with self.subTest(server=Server.name, database=Database.name):
                    database = Database()
                    try:
                        # The first report into a new database makes the schema too, which
                        # a busy machine may not finish in the store's time: not this case.
                        c.MakeSchema(database.settings)
                        with Server(database.settings, workers=1) as server:
                            self.HeldUp(server, database, reports)
                        self.assertEqual([row[1] for row in database.Rows()], [b"A", b"C"])
                    finally:
                        database.Drop()

    def HeldUp(self, server, database, reports):
        CheckAnswer(self, c.Report(server.port, b"prj=A&reason=B&os=C"), *OK)
        answers = []

        def Send():
            start = time.monotonic()
            answer = c.Report(server.port, b"prj=Late&reason=B&os=C")
            answers.append((answer, time.monotonic() - start))
        with database.Lock():
            senders = [threading.Thread(target=Send) for _ in range(reports)]
            for sender in senders:
                sender.start()
            for sender in senders:
                sender.join(30)
        self.assertEqual(len(answers), reports)
        for answer, elapsed in answers:
            CheckAnswer(self, answer, 503, b"NOT STORED\n")
            # Before the applet stops waiting (3000 ms), however slow the machine.
            self.assertLess(elapsed, 3.0)
        CheckAnswer(self, c.Report(server.port, b"prj=C&reason=B&os=C"), *OK)

    def test_a_disk_slow_to_sync_delays_the_answer_by_the_commit_only(self):
        # A report into an SQLite store syncs its log three times to commit and the file twice
        # more when the store is closed. Each sync made 0.4 s slow (strace delays the call),
        # the answer must come after the commit, not after the close.
        delay = 0.4
        slow_disk = ["strace", "-f", "-qq", "-o", os.devnull, "-e", "trace=fdatasync,fsync",
                     "-e", "inject=fdatasync,fsync:delay_enter=%d" % (delay * 1e6)]
        database = c.SqliteDatabase()
        try:
            c.MakeSchema(database.settings)
            with c.NginxFpm(database.settings, workers=1, fpm_wrapper=slow_disk) as server:
                start = time.monotonic()
                CheckAnswer(self, c.Report(server.port, b"prj=A&reason=B&os=C"), *OK)
                elapsed = time.monotonic() - start
            self.assertGreaterEqual(elapsed, delay)  # the disk was slow
            self.assertLess(elapsed, 4 * delay)
            self.assertEqual([row[1] for row in database.Rows()], [b"A"])
        finally:
            database.Drop()


# Reports with a version and an id, sent in order to one database: (query, answer, the
# (ver, report_id) stored or None). A repeated id is answered OK and stored once.
ID_CASES = [
    (b"prj=A&reason=B&os=C", OK, (None, None)),
    (b"prj=A&reason=B&os=C&ver=1.2.3-beta_1%2b2&id=0123456789abcdef", OK,
     (b"1.2.3-beta_1+2", "0123456789abcdef")),
    (b"prj=A&reason=Other&os=C&ver=9&id=0123456789ABCDEF", OK, None),  # a repeat, either case
    (b"prj=A&reason=B&os=C&ver=&id=fedcba9876543210", OK, (b"", "fedcba9876543210")),
    (b"prj=A&reason=B&os=C&ver=%e9%00" + b"v" * 30, OK, (b"\xe9\x00" + b"v" * 30, None)),
    (b"prj=A&reason=B&os=C&ver=" + b"v" * 33, LONG, None),
    (b"prj=A&reason=B&os=C&id=0123456789abcde", BAD, None),
    (b"prj=A&reason=B&os=C&id=0123456789abcdef0", BAD, None),
    (b"prj=A&reason=B&os=C&id=0123456789abcdeg", BAD, None),
    (b"prj=A&reason=B&os=C&id=", BAD, None),
    (b"prj=A&reason=B&os=C&id=0123456789abcdef%0a", BAD, None),
    (b"prj=A&reason=B&os=C&ver=1&ver=2", BAD, None),
    (b"prj=A&reason=B&os=C&id[]=0123456789abcdef", BAD, None),
    (b"reason=B&os=C&ver=1&id=1111111111111111", BAD, None),
]


class ReportIdTest(unittest.TestCase):
    def test_ids_and_versions_on_both_databases(self):
        for Database in c.DATABASES:
            with self.subTest(database=Database.name):
                database = Database()
                try:
                    with c.PhpServer(database.settings, workers=4) as server:
                        for query, (status, body), _ in ID_CASES:
                            with self.subTest(query[:80]):
                                CheckAnswer(self, c.Report(server.port, query), status, body)
                        # The same new report sent eight times at once is stored once.
                        answers = []
                        senders = [threading.Thread(target=lambda: answers.append(c.Report(
                            server.port, b"prj=A&reason=B&os=C&id=00000000000000aa")))
                            for _ in range(8)]
                        for sender in senders:
                            sender.start()
                        for sender in senders:
                            sender.join(30)
                        for answer in answers:
                            CheckAnswer(self, answer, *OK)
                        self.assertEqual(len(answers), 8)
                    stored = [case[2] for case in ID_CASES if case[2]] + [
                        (None, "00000000000000aa")]
                    self.assertEqual(database.Columns(["ver", "report_id"]), stored)
                    self.assertEqual({v for (v,) in database.Columns(["via"])}, {"http"})
                finally:
                    database.Drop()

    def test_database_of_the_earlier_version_is_upgraded_on_first_use(self):
        # Made by the collector before ids: its reports stay, counted as having no version,
        # a report with an id stored after the upgrade is not stored twice, and one with a
        # charset and a reason number keeps both.
        folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "earlier_databases")
        for Database, dump in [(c.SqliteDatabase, "sqlite.sql"), (c.PostgresDatabase, "pgsql.sql")]:
            with self.subTest(database=Database.name):
                database = Database()
                try:
                    database.Load(os.path.join(folder, dump))
                    before = database.Rows()
                    self.assertEqual(len(before), 4)
                    with c.PhpServer(database.settings, workers=2) as server:
                        for _ in range(2):
                            CheckAnswer(self, c.Report(server.port, b"prj=Net+Tool&reason=B&os=C"
                                                       b"&ver=2.0&id=abcdefabcdefabcd"), *OK)
                        CheckAnswer(self, c.Report(server.port, b"prj=Net+Tool&reason=Zu+teuer"
                                                   b"&os=C&n=5&cs=utf-8"), *OK)
                    self.assertEqual(database.Rows()[:4], before)
                    self.assertEqual(database.Columns(["ver", "report_id", "via", "cs", "n"]),
                                     [(None, None, "http", None, None)] * 4 + [
                                         (b"2.0", "abcdefabcdefabcd", "http", None, None),
                                         (None, None, "http", "utf-8", 5)])
                    self.assertEqual(self.Counts(database), {
                        ("day", "Net Tool", ""): 5, ("day", "Caf\xe9 Tool", ""): 1,
                        ("ver", "Net Tool", ""): 4, ("ver", "Net Tool", "2.0"): 1,
                        ("ver", "Caf\xe9 Tool", ""): 1,
                        ("via", "Net Tool", "http"): 5, ("via", "Caf\xe9 Tool", "http"): 1})
                finally:
                    database.Drop()

    def Counts(self, database):
        """{(kind, product, value): n} of the per-day counts of days, versions and ways."""
        sql = ("SELECT kind, %s, %s, SUM(n) FROM report_counts WHERE kind IN ('day', 'ver', "
               "'via') GROUP BY 1, 2, 3")
        if isinstance(database, c.SqliteDatabase):
            with sqlite3.connect(database.path) as db:
                rows = db.execute(sql % ("hex(prj)", "hex(value)")).fetchall()
        else:
            rows = [line.split("\t") for line in database.Psql(
                sql % ("encode(prj, 'hex')", "encode(value, 'hex')")).decode().splitlines()]
        return {(kind, bytes.fromhex(p).decode("cp1252"), bytes.fromhex(v).decode("cp1252")):
                int(n) for kind, p, v, n in rows}


class StoreLocationTest(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.mkdtemp(prefix="exitpoll-stat-")
        # A private copy of the served folder, so that nothing is ever written into the tree.
        self.root = os.path.join(self.temp, "www")
        shutil.copytree(c.SERVER_DIR, self.root)

    def tearDown(self):
        shutil.rmtree(self.temp)

    def Answer(self, settings):
        with c.PhpServer(settings, root=self.root) as server:
            return c.Report(server.port, b"prj=A&reason=B&os=C")

    def test_default_store_is_beside_the_served_folder(self):
        CheckAnswer(self, self.Answer({}), *OK)
        rows = c.SqliteRows(os.path.join(self.temp, "exitpoll-data", "uninstall.sqlite"))
        self.assertEqual([row[1:] for row in rows], [(b"A", b"B", b"C")])

    def test_failed_store_does_not_answer_ok(self):
        not_a_folder = os.path.join(self.temp, "file")
        open(not_a_folder, "w").close()
        served = os.path.join(self.root, "stat")
        cases = [
            ("parent is a file", {"EXITPOLL_STATS_DB": os.path.join(not_a_folder, "r.sqlite")}),
            ("database is a folder", {"EXITPOLL_STATS_DB": self.temp}),
            ("inside the served folder", {"EXITPOLL_STATS_DB": os.path.join(served, "r.sqlite")}),
            ("new folder inside the served folder",
             {"EXITPOLL_STATS_DB": os.path.join(served, "data", "r.sqlite")}),
            ("climbing back into it", {"EXITPOLL_STATS_DB": os.path.join(
                self.temp, "new", "..", "www", "r.sqlite")}),
            ("through a DSN", {"EXITPOLL_STATS_DSN": "sqlite:" + os.path.join(served, "r.sqlite")}),
            ("in memory only", {"EXITPOLL_STATS_DSN": "sqlite::memory:"}),
            ("a database kind not supported", {"EXITPOLL_STATS_DSN": "mysql:host=127.0.0.1"}),
        ]
        for name, settings in cases:
            with self.subTest(name):
                CheckAnswer(self, self.Answer(settings), 500, b"NOT STORED\n")
        self.assertFalse(os.path.exists(os.path.join(served, "r.sqlite")))
        self.assertFalse(os.path.exists(os.path.join(served, "data")))
        self.assertFalse(os.path.exists(os.path.join(self.root, "r.sqlite")))
        self.assertFalse(os.path.exists(os.path.join(self.temp, "new")))

    def test_database_of_the_earlier_version_gets_its_counts(self):
        database = c.SqliteDatabase()
        os.makedirs(os.path.dirname(database.path))
        with sqlite3.connect(database.path) as db:
            db.execute("CREATE TABLE reports (id INTEGER PRIMARY KEY, time TEXT NOT NULL, "
                       "prj TEXT NOT NULL, reason TEXT NOT NULL, os TEXT NOT NULL)")
            db.execute("INSERT INTO reports (time, prj, reason, os) VALUES "
                       "('2020-01-02T03:04:05Z', 'A', 'Other: x', 'C')")
        try:
            CheckAnswer(self, self.Answer(database.settings), *OK)
            with sqlite3.connect(database.path) as db:
                counts = db.execute("SELECT day, value, n FROM report_counts "
                                    "WHERE kind = 'reason' ORDER BY day").fetchall()
            today = database.Rows()[-1][0][:10]
            self.assertEqual(counts, [("2020-01-02", "Other", 1), (today, "B", 1)])
        finally:
            database.Drop()


if __name__ == "__main__":
    unittest.main(verbosity=2)
