#!/usr/bin/env python3
"""Figures of the collector (server/), on loopback only, bounded in count and time:

1. Ingestion: reports stored per second and the median and 95th percentile latency, with 20
   clients sending at once, under php -S (4 workers) and nginx + php-fpm (8 workers), each over
   SQLite and PostgreSQL. Every report carries a unique product name; afterwards each one
   answered "OK" must be stored exactly once and no other.
2. The results page: median time of 5 loads (all time, all products; the last 30 days of one
   product; all time of one version of one product; all time searched for a word of the
   free texts, in ASCII and with an accented letter) with 10,000, 100,000 and 1,000,000
   stored reports, on both databases. One report in five carries no version, one in fifty
   came by mail.

3. The free-text search at 1,000,000 reports (search): the page's time searched for one
   answer's words, for an accented and a Cyrillic word (1,000 UTF-8 answers stored through
   the collector), for two letters and for words of every free text; first with the answers
   seeded past the collector (not indexed: each is read and folded), then after filling the
   index as the upgrade does (its time printed too).

Starts its own PostgreSQL 15 (scripts/postgres-env.sh, fsync on) in build/bench/postgres.
Run as root or as a user who may run PostgreSQL:
    python3 bench/collector_bench.py [ingest|page|distinct|search]   (ingest and page by
    default)"""
import base64
import contextlib
import os
import random
import sqlite3
import statistics
import subprocess
import sys
import threading
import time
import urllib.parse

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "server"))
import collector as c  # noqa: E402

CLIENTS = 20
REPORTS_PER_CLIENT = 100
INGEST_LIMIT = 90.0  # seconds per configuration
PAGE_ROWS = [10_000, 100_000, 1_000_000]
PASSWORD = "bench"
PG_FOLDER = os.path.join(ROOT, "build", "bench", "postgres")
REASONS = [b"Unstable", b"Lacks some functions", b"Resource hungry", b"Unfriendly interface",
           b"Too expensive", b"Upgrade version"]
PRODUCT_VERSIONS = [None, b"1.0", b"1.1", b"2.0", b"2.1"]
VERSIONS = [b"Windows 95", b"Windows 98", b"Windows 98SE", b"Windows ME", b"Windows NT4",
            b"Windows 2000", b"Windows XP", b"Unknown"]


def Shell(script):
    """Runs `script` after sourcing scripts/postgres-env.sh; returns what it printed."""
    command = "source %s/scripts/postgres-env.sh && %s" % (ROOT, script)
    return subprocess.run(["bash", "-c", command], check=True, timeout=300,
                          stdout=subprocess.PIPE).stdout.decode().strip()


def Ingest(Server, Database, workers):
    database = Database()
    latencies, stored_ok, failures = [], [], []
    lock = threading.Lock()
    try:
        with Server(database.settings, workers=workers) as server:
            c.Report(server.port, b"prj=warm&reason=up&os=x")  # makes the schema
            deadline = time.monotonic() + INGEST_LIMIT

            def Client(number):
                for i in range(REPORTS_PER_CLIENT):
                    if time.monotonic() > deadline:
                        return
                    prj = b"bench-%d-%d" % (number, i)
                    start = time.monotonic()
                    answer = c.Report(server.port, b"prj=" + prj + b"&reason=Too+expensive"
                                      b"&os=Windows+XP")
                    elapsed = time.monotonic() - start
                    with lock:
                        latencies.append(elapsed)
                        (stored_ok if answer.endswith(b"\r\n\r\nOK\n") else failures).append(prj)

            threads = [threading.Thread(target=Client, args=(n,)) for n in range(CLIENTS)]
            start = time.monotonic()
            for t in threads:
                t.start()
            for t in threads:
                t.join()
            wall = time.monotonic() - start
        stored = [row[1] for row in database.Rows() if row[1] != b"warm"]
        exact = sorted(stored) == sorted(stored_ok) and len(set(stored)) == len(stored)
        return {"rate": len(stored_ok) / wall, "median": statistics.median(latencies) * 1000,
                "p95": sorted(latencies)[int(len(latencies) * 0.95)] * 1000,
                "ok": len(stored_ok), "failed": len(failures), "exact": exact}
    finally:
        database.Drop()


def SeedRows(count, start):
    random.seed(start)
    now = time.time()
    for i in range(start, start + count):
        when = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(now - random.random() * 365 * 86400))
        reason = (random.choice(REASONS) if random.random() < 0.85
                  else b"Other: free text number %d" % i)
        yield (when, b"Product %d" % random.randrange(5), reason, random.choice(VERSIONS),
               random.choice(PRODUCT_VERSIONS), "mail" if random.random() < 0.02 else "http")


def Seed(database, count, start):
    if isinstance(database, c.SqliteDatabase):
        with sqlite3.connect(database.path) as db:
            db.executemany("INSERT INTO reports (time, prj, reason, os, ver, via) VALUES "
                           "(?, CAST(? AS TEXT), CAST(? AS TEXT), CAST(? AS TEXT), "
                           "CAST(? AS TEXT), ?)", SeedRows(count, start))
        return
    # Server side, the same distribution made by PostgreSQL itself, in transactions of 20,000
    # rows: one transaction updating the same counts again and again would leave PostgreSQL
    # a growing chain of row versions to walk on every update.
    for first in range(start, start + count, 20_000):
        SeedBatch(database, first, min(start + count, first + 20_000) - 1)
    database.Psql("ANALYZE")


def SeedBatch(database, first, last):
    database.Psql("""
        INSERT INTO reports (time, prj, reason, os, ver, via)
        SELECT to_char(now() AT TIME ZONE 'UTC' - random() * interval '365 days',
                       'YYYY-MM-DD"T"HH24:MI:SS"Z"'),
               convert_to('Product ' || floor(random() * 5)::int, 'UTF8'),
               CASE WHEN random() < 0.85
                    THEN convert_to((ARRAY['Unstable', 'Lacks some functions', 'Resource hungry',
                                           'Unfriendly interface', 'Too expensive',
                                           'Upgrade version'])[1 + floor(random() * 6)::int],
                                    'UTF8')
                    ELSE convert_to('Other: free text number ' || g, 'UTF8') END,
               convert_to((ARRAY['Windows 95', 'Windows 98', 'Windows 98SE', 'Windows ME',
                                 'Windows NT4', 'Windows 2000', 'Windows XP',
                                 'Unknown'])[1 + floor(random() * 8)::int], 'UTF8'),
               convert_to((ARRAY[NULL, '1.0', '1.1', '2.0', '2.1'])[1 + floor(random() * 5)::int],
                          'UTF8'),
               CASE WHEN random() < 0.02 THEN 'mail' ELSE 'http' END
        FROM generate_series(%d, %d) g""" % (first, last))


def PageTimes(server, query):
    auth = b"Authorization: Basic " + base64.b64encode(b"maker:" + PASSWORD.encode()) + b"\r\n"
    times = []
    for _ in range(5):
        start = time.monotonic()
        answer = c.Request(server.port, c.RESULTS_PATH.encode() + query, extra_headers=auth)
        times.append(time.monotonic() - start)
        if not answer.startswith(b"HTTP/1.1 200") and b" 200 OK" not in answer[:40]:
            raise RuntimeError("results page failed: %r" % answer[:300])
    return statistics.median(times) * 1000


def PageSettings(database):
    """The database's settings with the results page's password set to PASSWORD."""
    hashed = subprocess.run(["php", "-r", "echo password_hash($argv[1], PASSWORD_DEFAULT);",
                             PASSWORD], stdout=subprocess.PIPE, check=True).stdout.decode()
    return dict(database.settings, EXITPOLL_RESULTS_PASSWORD_HASH=hashed)


@contextlib.contextmanager
def PageServer(Database):
    """A new database of that kind behind php -S with the page's password set, holding one
    report sent through the endpoint (which makes the schema): yields the database and the
    server, and drops the database after."""
    database = Database()
    try:
        with c.PhpServer(PageSettings(database)) as server:
            c.Report(server.port, b"prj=Product+1&reason=Unstable&os=Windows+XP")
            yield database, server
    finally:
        database.Drop()


def ResultsPage(Database):
    figures = []
    with PageServer(Database) as (database, server):
        have = 1
        for rows in PAGE_ROWS:
            started = time.monotonic()
            Seed(database, rows - have, have)
            seeding = time.monotonic() - started
            have = rows
            product = b"&p=" + b"Product 1".hex().encode()
            figures.append((rows, PageTimes(server, b"?days=all"),
                            PageTimes(server, b"?days=30" + product),
                            PageTimes(server, b"?days=all" + product + b"&v="
                                      + b"2.0".hex().encode()),
                            PageTimes(server, b"?days=all&q=NUMBER+12345"),
                            PageTimes(server, b"?days=all&q=%C3%89+12345"),
                            seeding))
    return figures


SEARCHES = [("none (the page alone)", b""), ("one answer", b"NUMBER+123457"), ("accented", "\u00c9T\u00c9".encode()),
            ("Cyrillic", "\u041c\u0415\u0414\u041b\u0415\u041d\u041d".encode()),
            ("two letters", b"zq"), ("every free text", b"free+text")]
SEARCH_ROWS = 1_000_000
# Stores UTF-8 free texts through the collector, as reports with cs=utf-8 come.
STORE_UTF8 = r"""
require $argv[1] . '/lib/reports.php';
$store = ReportStore::Open();
for ($i = 0; $i < 1000; ++$i) {
    $store->StoreReport(['time' => gmdate('Y-m-d\TH:i:s\Z'), 'prj' => 'Product 1', 'os' => 'W',
                         'reason' => "Other: \u{00C9}t\u{00E9} $i: \u{041F}\u{0440}\u{043E}"
                             . "\u{0433}\u{0440}\u{0430}\u{043C}\u{043C}\u{0430} \u{043C}"
                             . "\u{0435}\u{0434}\u{043B}\u{0435}\u{043D}\u{043D}\u{0430}"
                             . "\u{044F}", 'cs' => 'utf-8'], microtime(true) + 30);
}
"""
# What the upgrade does for the answers stored before the index: the fill, and on
# PostgreSQL the vacuum that takes the rows it replaced out of the indexes.
FILL = ("require $argv[1] . '/lib/reports.php'; $store = ReportStore::Open();"
        "if (FillSearch($store) > 0 && $store->pgsql) { $store->db->exec('VACUUM (ANALYZE) reports'); }")


def Php(database, code):
    subprocess.run(["php", "-r", code, "--", c.SERVER_DIR], check=True, timeout=1800,
                   env=c._Environment(database.settings))


def SearchTimes(Database):
    """(fill seconds, [(search, ms before the fill, ms after)]) at SEARCH_ROWS reports."""
    with PageServer(Database) as (database, server):
        Seed(database, SEARCH_ROWS - 1001, 1)
        Php(database, STORE_UTF8)
        query = lambda q: b"?days=all&q=" + urllib.parse.quote_from_bytes(q, safe="+").encode()
        before = [PageTimes(server, query(q)) for _, q in SEARCHES]
        started = time.monotonic()
        Php(database, FILL)
        fill = time.monotonic() - started
        after = [PageTimes(server, query(q)) for _, q in SEARCHES]
        return fill, list(zip([name for name, _ in SEARCHES], before, after))


def DistinctValues(Database):
    """The page's time (all time, all products) with 100,000 reports of 6 reasons, then with
    100,000 more whose reasons all differ: its work grows with the distinct values counted."""
    figures = []
    with PageServer(Database) as (database, server):
        day = time.strftime("%Y-%m-%dT00:00:00Z", time.gmtime())
        for distinct in [False, True]:
            rows = [(day, b"Product 1", b"Reason %d" % i if distinct else REASONS[i % 6],
                     b"Windows XP") for i in range(100_000)]
            for first in range(0, len(rows), 20_000):
                database.Insert(rows[first:first + 20_000])
            figures.append((distinct, PageTimes(server, b"?days=all")))
    return figures


def main():
    # As root the server's socket folder is not in PG_FOLDER (see postgres-env.sh).
    os.environ["EXITPOLL_TEST_PGHOST"] = Shell(
        "postgres_start %s >&2 && echo \"$EXITPOLL_TEST_PGHOST\"" % PG_FOLDER)
    os.environ["EXITPOLL_TEST_PGPASSWORD"] = "exitpoll-test"
    parts = sys.argv[1:] or ["ingest", "page"]
    try:
        if "ingest" in parts:
            Ingestion()
        if "page" in parts:
            Pages()
        if "search" in parts:
            Searches()
        if "distinct" in parts:
            print()
            print("Results page, all time, median of 5 loads: 100,000 reports of 6 reasons, "
                  "then 100,000 more of 100,000 distinct reasons")
            print("| database | 6 distinct reasons ms | 100,006 distinct reasons ms |")
            print("|---|---|---|")
            for Database in c.DATABASES:
                few, many = [ms for _, ms in DistinctValues(Database)]
                print("| %s | %.0f | %.0f |" % (Database.name, few, many), flush=True)
    finally:
        Shell("postgres_folder=%s; postgres_stop" % PG_FOLDER)


def Ingestion():
    print("Ingestion: %d clients x %d reports, unique products, loopback" %
          (CLIENTS, REPORTS_PER_CLIENT))
    print("| server | database | reports/s | median ms | p95 ms | OK | not OK | "
          "each OK stored once |")
    print("|---|---|---|---|---|---|---|---|")
    for Server, workers in [(c.PhpServer, 4), (c.NginxFpm, 8)]:
        for Database in c.DATABASES:
            r = Ingest(Server, Database, workers)
            print("| %s (%d workers) | %s | %.0f | %.1f | %.1f | %d | %d | %s |" % (
                Server.name, workers, Database.name, r["rate"], r["median"], r["p95"],
                r["ok"], r["failed"], "yes" if r["exact"] else "NO"), flush=True)


def Searches():
    print()
    print("Free-text search at %d reports (15%% free texts), results page under php -S, "
          "median of 5 loads" % SEARCH_ROWS)
    print("| database | search | not indexed ms | indexed ms |")
    print("|---|---|---|---|")
    for Database in c.DATABASES:
        fill, times = SearchTimes(Database)
        for name, before, after in times:
            print("| %s | %s | %.0f | %.0f |" % (Database.name, name, before, after), flush=True)
        print("| %s | filling the index | | %.1f s |" % (Database.name, fill), flush=True)


def Pages():
    print()
    print("Results page under php -S, median of 5 loads (password check included)")
    print("| database | reports | all time, all products ms | 30 days, one product ms | "
          "all time, one version of one product ms | all time, searched (ASCII) ms | "
          "all time, searched (accented) ms | seeding s |")
    print("|---|---|---|---|---|---|---|---|")
    for Database in c.DATABASES:
        for rows, everything, chosen, version, search, accented, seeding in ResultsPage(Database):
            print("| %s | %d | %.0f | %.0f | %.0f | %.0f | %.0f | %.0f |" % (
                Database.name, rows, everything, chosen, version, search, accented, seeding),
                flush=True)


if __name__ == "__main__":
    main()
