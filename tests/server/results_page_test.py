#!/usr/bin/env python3
"""The results page in a real browser: seeds reports over SQLite and PostgreSQL, serves server/
with php -S, and has results_page_test.mjs drive Debian's headless Chromium through the page,
comparing what it shows with counts worked out here from the seeded rows. Also: without a
password hash the page stays closed. Needs tests/server/node_modules (scripts/test runs
npm ci) and EXITPOLL_SCREENSHOT_DIR for the screenshot."""
import base64
import concurrent.futures
import contextlib
import csv
import datetime
import hashlib
import hmac
import io
import json
import os
import re
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import collector as c  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
PASSWORD = "correct horse ~ battery"
HOSTILE = b"Other: <script>window.pwned = 1</script><img src=x onerror=\"window.pwned = 2\">"
# A search that finds the hostile answer in another case: it and its marks stay text.
HOSTILE_SEARCH = "<SCRIPT>Window"
COLUMNS = ("time", "prj", "reason", "os", "ver", "report_id", "via")


def Day(days_ago):
    return (datetime.datetime.now(datetime.timezone.utc).date()
            - datetime.timedelta(days=days_ago)).isoformat()


def SeededRows():
    """Rows of COLUMNS spread over 200 days, two products with three versions (one: none
    sent), Windows-1252 bytes, a hostile free text, a would-be spreadsheet formula, more
    reasons than the weekly chart colours, and some mailed reports."""
    reasons = [b"Unstable", b"Too expensive", b"Resource hungry", b"Other: too slow, sorry",
               b"Other: na\xefve \x80 \x93quoted\x94 \x81 \xc9T\xc9", b"Upgrade version", HOSTILE,
               b"=HYPERLINK(\"x\")", b"Other: ", b"Lacks some functions", b"Unfriendly interface",
               b"Other: 100% SURE", b"Crash",
               b"Other: \x00starts with NUL"]
    versions = [b"Windows XP", b"Windows 98", b"Windows 2000", b"Unknown"]
    rows = []
    for i in range(130):
        days_ago = (i * 7) % 200
        rows.append(("%sT%02d:%02d:00Z" % (Day(days_ago), i % 24, i % 60),
                     b"Caf\xe9 Tool" if i % 3 == 0 else b"Net Tool",
                     reasons[i % len(reasons)], versions[(i // 2) % len(versions)],
                     [None, b"1.0", b"2.0-\xe9"][i % 5 % 3], "%016x" % i if i % 4 == 0 else None,
                     "mail" if i % 6 == 1 else "http"))
    rows.sort()
    return rows


def Text(value):
    return value.decode("cp1252", "replace")


def Week(day):
    date = datetime.date.fromisoformat(day)
    return (date - datetime.timedelta(days=date.weekday())).isoformat()


def Expected(rows, days, prj, ver=None, search=""):
    """What the page must show for a period, a product and a version (None: all) and a
    search, from the rows alone."""
    since = "" if days == "all" else Day(int(days) - 1)
    chosen = [r for r in rows if r[0][:10] >= since and (prj is None or r[1] == prj)
              and (ver is None or r[4] == ver)]
    reasons, versions, per_day, product_versions = {}, {}, {}, {}
    for time, _, reason, os_name, version, _, _ in chosen:
        key = b"Other" if reason.startswith(b"Other:") else reason
        reasons[key] = reasons.get(key, 0) + 1
        versions[Text(os_name)] = versions.get(Text(os_name), 0) + 1
        per_day[time[:10]] = per_day.get(time[:10], 0) + 1
        product_versions[Text(version or b"")] = product_versions.get(Text(version or b""), 0) + 1
    # The seven most frequent reasons (ties by their bytes) have a colour each per week.
    coloured = [r for r, _ in sorted(reasons.items(), key=lambda item: (-item[1], item[0]))[:7]]
    weeks = {}
    for time, _, reason, *_ in chosen:
        key = b"Other" if reason.startswith(b"Other:") else reason
        label = Text(key) if key in coloured else "(others)"
        week = weeks.setdefault(Week(time[:10]), {})
        week[label] = week.get(label, 0) + 1
    others = sorted((r for r in chosen if r[2].startswith(b"Other:") and len(r[2]) > 7
                     and search.lower() in Text(r[2][6:].lstrip(b" ")).lower()),
                    key=lambda r: r[0],
                    reverse=True)[:100]

    def Csv(value):
        return "'" + value if value[:1] in ("=", "+", "-", "@", "\t", "\r") else value
    return {
        "days": days, "p": "" if prj is None else prj.hex(), "v": "" if ver is None else ver.hex(),
        "q": search, "total": len(chosen),
        "reasons": sorted((Text(k), n) for k, n in reasons.items()),
        "versions": sorted(versions.items()), "productVersions": sorted(product_versions.items()),
        "mailed": sum(1 for r in chosen if r[6] == "mail"),
        "weeks": sorted([week, sorted(parts.items())] for week, parts in weeks.items()),
        "perDay": sorted(per_day.items()),
        # An HTML parser drops NUL characters from the text it shows.
        "freeTexts": [Text(r[2][6:].lstrip(b" ")).replace("\0", "") for r in others],
        # These reports carry no reason number: its column stays empty.
        "csv": [["time", "product", "reason", "windows", "ver", "id", "via", "n"]] +
               [[Csv(Text(v)) if isinstance(v, bytes) else v or "" for v in r] + [""]
                for r in chosen],
    }


def RequestFrom(port, source, password, headers=b""):
    """The results page asked for from the loopback address `source` with that password and
    further header lines."""
    auth = base64.b64encode(b"maker:" + password.encode())
    with socket.create_connection(("127.0.0.1", port), timeout=20,
                                  source_address=(source, 0)) as s:
        s.sendall(b"GET " + c.RESULTS_PATH.encode() + b"?days=all HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                  b"Connection: close\r\nAuthorization: Basic " + auth + b"\r\n" + headers +
                  b"\r\n")
        return c.ReadToEnd(s)


def SignedCookie(password_hash, expires, browser="ab" * 16):
    """A browser cookie as the page signs it, made here from its description: the HMAC-SHA256
    of "ID.EXPIRES" under a key that is the HMAC-SHA256 of a fixed text under the hash."""
    key = hmac.new(password_hash.encode(), b"exitpoll results browser cookie",
                   hashlib.sha256).digest()
    value = "%s.%d" % (browser, expires)
    return value + "." + hmac.new(key, value.encode(), hashlib.sha256).hexdigest()


def BasicAuth(password=PASSWORD):
    """The header line that passes the results page's password check."""
    return b"Authorization: Basic " + base64.b64encode(b"maker:" + password.encode()) + b"\r\n"


def PasswordHash(password):
    return subprocess.run(["php", "-r", "echo password_hash($argv[1], PASSWORD_DEFAULT);",
                           password], stdout=subprocess.PIPE, check=True,
                          timeout=60).stdout.decode()


@contextlib.contextmanager
def PageServer(Database, workers=1, settings=None):
    """A new database of that kind behind php -S, with the page's password set and any
    further settings given: yields the database and the server, and drops the database
    after."""
    database = Database()
    try:
        settings = dict(database.settings, **(settings or {}),
                        EXITPOLL_RESULTS_PASSWORD_HASH=PasswordHash(PASSWORD))
        with c.PhpServer(settings, workers=workers) as server:
            yield database, server
    finally:
        database.Drop()


class ResultsPageTest(unittest.TestCase):
    def test_page_in_the_browser(self):
        rows = SeededRows()
        screenshots = os.environ.get("EXITPOLL_SCREENSHOT_DIR") or tempfile.gettempdir()
        os.makedirs(screenshots, exist_ok=True)
        for Database in c.DATABASES:
            with self.subTest(database=Database.name):
                # Workers to spare: Chromium opens speculative connections that a lone
                # php -S worker waits on for a minute before it serves the next request.
                with PageServer(Database, workers=4) as (database, server):
                    # One report through the endpoint makes the schema and counts too.
                    c.Report(server.port, b"prj=Net+Tool&reason=Unstable&os=Windows+XP")
                    database.Insert(rows, COLUMNS)
                    seeded = database.Columns(COLUMNS)
                    expected = {
                        "base": "http://127.0.0.1:%d%s" % (server.port, c.RESULTS_PATH),
                        "password": PASSWORD,
                        "hostile": Text(HOSTILE[6:].lstrip(b" ")),
                        "screenshot": os.path.join(
                            screenshots, "results_page_%s" % Database.name.lower()),
                        "views": [Expected(seeded, *view) for view in [
                            ("30", None), ("7", b"Net Tool"), ("90", b"Caf\xe9 Tool"),
                            ("all", None), ("all", b"Caf\xe9 Tool", b"2.0-\xe9"),
                            ("90", None, None, "\u00e9t\u00e9"), ("all", None, None, "%"),
                            ("all", None, None, HOSTILE_SEARCH)]],
                    }
                    self.RunBrowser(expected)

    def RunBrowser(self, expected):
        with tempfile.TemporaryDirectory(prefix="exitpoll-browser-") as folder:
            expected["profile"] = os.path.join(folder, "profile")
            expected_path = os.path.join(folder, "expected.json")
            with open(expected_path, "w") as f:
                json.dump(expected, f)
            result = subprocess.run(["node", os.path.join(HERE, "results_page_test.mjs"),
                                     expected_path], stdout=subprocess.PIPE,
                                    stderr=subprocess.STDOUT, timeout=240)
            output = result.stdout.decode(errors="replace")
            print(output)
            self.assertEqual(result.returncode, 0, output)

    def test_csv_cells_a_spreadsheet_would_run(self):
        # Opened in a spreadsheet whose list separator is "," or ";", quoting misread, no
        # cell may start a formula; the values stay readable.
        values = ["x;=1+1;", "a,@SUM(1)", "line\n-2", "cr\r\n+3", "tab\t=4", " =5", "q\"=6",
                  "-7", "x;  +8", "ok; fine, really", "=a;=b,=c", "\t@9"]
        with PageServer(c.SqliteDatabase) as (database, server):
            c.Report(server.port, b"prj=P&reason=R&os=O")
            database.Insert([("2020-01-01T00:00:00Z", b"P", v.encode(), v.encode())
                             for v in values])
            auth = base64.b64encode(b"maker:" + PASSWORD.encode())
            _, _, body = c.SplitAnswer(c.Request(
                server.port, c.RESULTS_PATH.encode() + b"?days=all&format=csv",
                extra_headers=b"Authorization: Basic " + auth + b"\r\n"))
        text = body.decode("utf-8").lstrip("\ufeff")
        for separator in ",;":
            for line in re.split("\r\n|\r|\n", text):
                for cell in line.split(separator):
                    with self.subTest(separator=separator, cell=cell):
                        self.assertNotIn(cell.lstrip(' "')[:1], list("=+-@\t\r"))
        rows = list(csv.reader(io.StringIO(text, newline=""), delimiter=","))[2:]
        self.assertEqual([[row[2].replace("'", ""), row[3].replace("'", "")] for row in rows],
                         [[v, v] for v in values])

    def test_wrong_passwords_are_slowed_down_per_address(self):
        # Several PHP workers, so that only the database can hold the counts together.
        attacker, maker = "127.0.0.2", "127.0.0.3"
        for Database in c.DATABASES:
            with self.subTest(database=Database.name):
                with PageServer(Database, workers=4) as (_, server):
                    self.Throttled(server, attacker, maker)

    def Throttled(self, server, attacker, maker):
        def Try(source, password):
            status, headers, _ = c.SplitAnswer(RequestFrom(server.port, source, password))
            return int(status.split()[1]), dict(headers).get(b"Retry-After")

        steps = [("5 wrong tries are each checked", attacker, "wrong", [(401, None)] * 5),
                 ("then the address waits", attacker, "wrong", [(429, b"1")]),
                 ("even with the right password", attacker, PASSWORD, [(429, b"1")]),
                 ("another address is not held up", maker, PASSWORD, [(200, None)])]
        for name, source, password, expected in steps:
            with self.subTest(name):
                self.assertEqual([Try(source, password) for _ in expected], expected)
        time.sleep(1.1)
        # Tries at once, in every worker: one is checked, the others wait.
        with concurrent.futures.ThreadPoolExecutor(12) as pool:
            answers = list(pool.map(lambda _: Try(attacker, "wrong")[0], range(12)))
        self.assertEqual(sorted(answers), [401] + [429] * 11)
        self.assertEqual(Try(attacker, PASSWORD), (429, b"2"))
        time.sleep(2.1)
        self.assertEqual(Try(attacker, PASSWORD)[0], 200)
        self.assertEqual(Try(attacker, "wrong")[0], 401)  # a right one starts afresh

    def test_wrong_passwords_neither_wait_for_reports_nor_scan_all_stale_ones(self):
        # While the reports' write lock is held (a slow report, an upgrade), each wrong try is
        # answered without waiting for it; stale addresses go a batch per wrong try.
        stale = 1000
        with PageServer(c.SqliteDatabase) as (database, server):
            c.Report(server.port, b"prj=P&reason=R&os=O")
            self.assertEqual(RequestFrom(server.port, "127.0.0.2", "wrong").split()[1], b"401")
            logins = database.path.replace(".sqlite", "-logins.sqlite")
            with sqlite3.connect(logins) as db:
                db.executemany("INSERT INTO login_failures VALUES (?, 1, 0, 0)",
                               [("10.0.%d.%d" % (n // 256, n % 256),) for n in range(stale)])
            with database.Lock():
                for source in ["127.0.0.3", "127.0.0.4", "127.0.0.5"]:
                    start = time.monotonic()
                    status = RequestFrom(server.port, source, "wrong").split()[1]
                    self.assertEqual((status, time.monotonic() - start < 0.9), (b"401", True))
            with sqlite3.connect(logins) as db:
                left = db.execute("SELECT COUNT(*) FROM login_failures WHERE last_failure = 0")
                self.assertEqual(left.fetchone()[0], stale - 3 * 100)

    def test_who_is_counted_and_who_is_let_in(self):
        # Behind a listed proxy the client it names is counted, from anywhere else the peer;
        # fresh addresses also by their network; a signed-in browser by its cookie alone; and
        # with the counts out of reach (their file a folder), a few checks a minute.
        proxy, peer = "127.0.0.1", "127.0.0.2"
        password_hash = PasswordHash(PASSWORD)
        working, failing = c.SqliteDatabase(), c.SqliteDatabase()
        os.makedirs(failing.path.replace(".sqlite", "-logins.sqlite"))
        settings = {"EXITPOLL_RESULTS_PASSWORD_HASH": password_hash,
                    "EXITPOLL_TRUSTED_PROXIES": "127.0.0.1, 10.0.0.0/8"}
        signed = SignedCookie(password_hash, time.time() + 3600)
        cookies = {"forged": signed[:-1] + ("1" if signed.endswith("0") else "0"),
                   "expired": SignedCookie(password_hash, time.time() - 1),
                   "other key": SignedCookie(PasswordHash("another"), time.time() + 3600)}
        one_net = ["203.0.113.%d" % n for n in range(1, 13)]
        cases = [  # server, source, X-Forwarded-For, cookie, password, answers, rows counted
            ("an unlisted peer is counted itself", "working", peer, ["192.0.2.7"], None,
             "wrong", [401], {"127.0.0.2", "127.0.0.0/24"}),
            ("a listed proxy: the client it names", "working", proxy, ["192.0.2.7"], None,
             "wrong", [401], {"192.0.2.7", "192.0.2.0/24"}),
            ("a client's own entries are passed over", "working", proxy,
             ["198.51.100.1, 192.0.2.8"], None, "wrong", [401], {"192.0.2.8", "192.0.2.0/24"}),
            ("so are listed proxies", "working", proxy, ["192.0.2.9, 10.1.2.3"], None,
             "wrong", [401], {"192.0.2.9", "192.0.2.0/24"}),
            ("an entry that is no address: the proxy", "working", proxy, ["192.0.2.10, x"],
             None, "wrong", [401], {"127.0.0.1", "127.0.0.0/24"}),
            ("IPv6 clients by their /64 and /48", "working", proxy, ["2001:db8:1:2::5"], None,
             "wrong", [401], {"2001:db8:1:2::/64", "2001:db8:1::/48"}),
            ("the maker signs in, counted nowhere", "working", proxy, ["192.0.2.66"], None,
             PASSWORD, [200], set()),
            ("a guesser at the maker's address", "working", proxy, ["192.0.2.66"] * 6, None,
             "wrong", [401] * 5 + [429], {"192.0.2.66", "192.0.2.0/24"}),
            ("leaves the signed-in browser in", "working", proxy, ["192.0.2.66"], "valid",
             PASSWORD, [200], set()),
            ("whose wrong passwords count for it alone", "working", proxy, ["192.0.2.66"],
             "valid", "wrong", [401], {"browser"}),
            ("a forged cookie does not", "working", proxy, ["192.0.2.66"], "forged", PASSWORD,
             [429], set()),
            ("nor one run out", "working", proxy, ["192.0.2.66"], "expired", PASSWORD, [429],
             set()),
            ("nor one of another password", "working", proxy, ["192.0.2.66"], "other key",
             PASSWORD, [429], set()),
            ("fresh addresses of one /24", "working", proxy, one_net, None, "wrong", [401] * 12,
             set(one_net) | {"203.0.113.0/24"}),
            ("then wait together", "working", proxy, ["203.0.113.99"], None, PASSWORD, [429],
             set()),
            ("counts out of reach: a few checks", "failing", peer, [""] * 6, None, "wrong",
             [401] * 5 + [503], set()),
            ("then not even the right password", "failing", peer, [""], None, PASSWORD, [503],
             set()),
            ("a signed-in browser has its own few", "failing", peer, [""], "valid", PASSWORD,
             [200], set()),
        ]

        def Ask(port, source, forwarded, cookie, password, headers=b""):
            if forwarded:
                headers += b"X-Forwarded-For: %s\r\n" % forwarded.encode()
            if cookie:
                headers += b"Cookie: exitpoll_browser=%s\r\n" % cookies[cookie].encode()
            status, lines, _ = c.SplitAnswer(RequestFrom(port, source, password, headers))
            given = [v for n, v in lines if n.lower() == b"set-cookie"]
            return int(status.split()[1]), given[0].decode() if given else None

        try:
            with c.PhpServer(dict(working.settings, **settings), workers=2) as server, \
                    c.PhpServer(dict(failing.settings, **settings)) as broken:
                ports = {"working": server.port, "failing": broken.port}
                for port in ports.values():
                    c.Report(port, b"prj=P&reason=R&os=O")
                logins = working.path.replace(".sqlite", "-logins.sqlite")
                for name, kind, source, forwarded, cookie, password, answers, counted in cases:
                    with self.subTest(name):
                        before = self.Counts(logins)
                        got = []
                        for hops in forwarded:
                            status, given = Ask(ports[kind], source, hops, cookie, password)
                            got.append(status)
                            if given and "valid" not in cookies:
                                cookies["valid"] = given.split(";")[0].split("=", 1)[1]
                                self.assertEqual(sorted(given.split("; ")[2:]), [
                                    "HttpOnly", "Max-Age=2592000", "SameSite=Strict",
                                    "path=/stat/results.php"])
                        after = self.Counts(logins)
                        changed = {"browser" if k.startswith("browser ") else k for k in after
                                   if after[k] != before.get(k) and k != "*"}
                        self.assertEqual((got, changed), (answers, counted))
                # HTTPS by a listed proxy's word: the cookie goes over HTTPS alone.
                for source, secure in [(proxy, True), (peer, False)]:
                    with self.subTest("X-Forwarded-Proto", source=source):
                        _, given = Ask(server.port, source, "", None, PASSWORD,
                                       b"X-Forwarded-Proto: http, https\r\n")
                        self.assertEqual("; secure" in given.lower(), secure)
                # A flood from fresh networks: at most 31 checks at once and 2 a second (an
                # independent bound, not the model's sums); a signed-in browser is let in.
                start = time.monotonic()
                with concurrent.futures.ThreadPoolExecutor(4) as pool:
                    flood = list(pool.map(lambda n: Ask(server.port, proxy, "198.18.%d.1" % n,
                                                        None, "wrong")[0], range(60)))
                checked = flood.count(401)
                self.assertEqual(checked + flood.count(429), 60)
                self.assertLessEqual(checked, 31 + 2 * (time.monotonic() - start) + 1)
                self.assertEqual(Ask(server.port, proxy, "198.18.99.1", "valid", PASSWORD)[0],
                                 200)
        finally:
            working.Drop()
            failing.Drop()

    @staticmethod
    def Counts(logins):
        """The wrong tries counted per row of the login file, none before it exists."""
        if not os.path.exists(logins):
            return {}
        with contextlib.closing(sqlite3.connect(logins)) as db:
            return dict(db.execute("SELECT address, failures FROM login_failures"))

    def test_an_earlier_login_table_gets_its_index(self):
        # PostgreSQL: the table as an earlier release made it, without the index that keeps
        # the pruning of stale tries from reading all of it; its rows still count.
        with PageServer(c.PostgresDatabase) as (database, server):
            database.Psql("CREATE TABLE login_failures (address TEXT PRIMARY KEY, failures "
                          "INTEGER NOT NULL, last_failure DOUBLE PRECISION NOT NULL, next_try "
                          "DOUBLE PRECISION NOT NULL); INSERT INTO login_failures VALUES "
                          "('10.0.0.1', 1, 0, 0), ('127.0.0.2', 4, %f, 0)" % time.time())
            answers = [RequestFrom(server.port, "127.0.0.2", "wrong").split()[1]
                       for _ in range(2)]
            self.assertEqual(answers, [b"401", b"429"])
            self.assertEqual(database.Psql(
                "SELECT indexdef FROM pg_indexes WHERE indexname = 'login_failures_last'; "
                "SELECT address FROM login_failures ORDER BY address").decode().split("\n"),
                ["CREATE INDEX login_failures_last ON public.login_failures USING btree "
                 "(last_failure)", "*", "127.0.0.0/24", "127.0.0.2", ""])

    def test_footer_names_the_release(self):
        with open(os.path.join(HERE, "..", "..", "VERSION"), "rb") as f:
            version = f.readline().strip()
        with PageServer(c.SqliteDatabase) as (_, server):
            status, _, body = c.SplitAnswer(RequestFrom(server.port, "127.0.0.1", PASSWORD))
        self.assertEqual(status.split()[1], b"200")
        self.assertIn(b'<footer class="summary">exitpoll ' + version + b"</footer>", body)

    def test_page_stays_closed_without_a_password_hash(self):
        database = c.SqliteDatabase()
        missing = os.path.join(database.folder, "secret-folder", "hash")
        try:
            for settings in [database.settings,
                             dict(database.settings, EXITPOLL_RESULTS_PASSWORD_HASH_FILE=missing)]:
                with c.PhpServer(settings) as server:
                    c.Report(server.port, b"prj=Secret+Tool&reason=Unstable&os=Windows+XP")
                    for name, headers in [("no password", b""),
                                          ("any password", b"Authorization: Basic eDp4\r\n")]:
                        with self.subTest(name, settings=sorted(settings)):
                            status, _, body = c.SplitAnswer(
                                c.Request(server.port, c.RESULTS_PATH.encode() + b"?days=all",
                                          extra_headers=headers))
                            self.assertEqual(status.split()[1], b"403")
                            self.assertIn(b"EXITPOLL_RESULTS_PASSWORD_HASH", body)
                            self.assertNotIn(b"Secret", body)
                            self.assertNotIn(b"secret-folder", body)
        finally:
            database.Drop()


if __name__ == "__main__":
    unittest.main(verbosity=2)
