#!/usr/bin/env python3
"""Reports stored per second while someone guesses the results page's password: Debian's nginx
and php-fpm set up by server/README.md's steps (Debian's default pool: at most 5 workers), 8
clients sending reports as fast as they are answered, for PHASE seconds without and then with
an attacker sending 37 wrong passwords a second over HTTPS from another loopback address. Run
for the collector of this checkout and of an earlier commit (by default the one before wrong
passwords were slowed down), over SQLite and PostgreSQL, on loopback only:
    python3 bench/login_attack_bench.py [EARLIER_COMMIT]
With --failed-rows N (2000000, say) the throttle's table first holds N recent wrong tries and
the attacker sends each try from a fresh loopback address, so that every one is counted, and
the earlier commit is by default the one before the table was kept apart from the reports."""
import glob
import os
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "server"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import collector as c  # noqa: E402
import hosting as h  # noqa: E402
import collector_bench  # noqa: E402
from hosting_test import DocumentedSteps  # noqa: E402

PHASE = 15.0
CLIENTS = 8
TRIES_PER_SECOND = 37
ATTACKER = "127.0.0.2"
BEFORE = "0337f9f^"  # the collector just before wrong passwords were slowed down
ROWS_BEFORE = "02c37c5"  # the collector before its login table was kept apart
FAILED_ROWS = 0          # --failed-rows: recent wrong tries stored before the attack


def Phase(server, ca, attack):
    stored, answers, lock = [0], [], threading.Lock()
    end = time.monotonic() + PHASE

    def Reporter(number):
        i = 0
        while time.monotonic() < end:
            try:
                answer = c.Report(server.port, b"prj=bench-%d-%d&reason=Unstable&os=Windows+XP"
                                  % (number, i))
            except OSError:  # not answered within 20 s: not stored for the applet either
                answer = b""
            i += 1
            if answer.endswith(b"\r\n\r\nOK\n"):
                with lock:
                    stored[0] += 1

    def Try(number):
        start = time.monotonic()
        # Fresh addresses (127.1.0.0/16) when the table is full: each try is counted.
        source = ("127.1.%d.%d" % (number // 250 % 250, number % 250 + 1) if FAILED_ROWS
                  else ATTACKER)
        try:
            answer = h.TlsRequest(server.tls_port, c.RESULTS_PATH.encode(), ca,
                                  b"Authorization: Basic eDp3cm9uZw==\r\n", source=source)
            status = answer.split(b" ", 2)[1].decode()
        except OSError as failure:
            status = type(failure).__name__
        with lock:
            answers.append((status, time.monotonic() - start))

    threads = [threading.Thread(target=Reporter, args=(n,)) for n in range(CLIENTS)]
    for t in threads:
        t.start()
    tries = []
    if attack:
        next_try = time.monotonic()
        while next_try < end:
            tries.append(threading.Thread(target=Try, args=(len(tries),)))
            tries[-1].start()
            next_try += 1.0 / TRIES_PER_SECOND
            time.sleep(max(0.0, next_try - time.monotonic()))
    for t in threads + tries:
        t.join()
    return stored[0] / PHASE, answers


def SeedFailures(server, database):
    """FAILED_ROWS recent wrong tries from other addresses, wherever the collector keeps them."""
    recent = time.time() - 3600
    if isinstance(database, c.PostgresDatabase):
        database.Psql("INSERT INTO login_failures SELECT '10.' || n, 1, %f, 0 FROM "
                      "generate_series(1, %d) AS n ON CONFLICT DO NOTHING"
                      % (recent, FAILED_ROWS))
        return
    for path in glob.glob(server.folder + "/**/*.sqlite", recursive=True):
        with sqlite3.connect(path) as db:
            if db.execute("SELECT 1 FROM sqlite_master WHERE name = 'login_failures'").fetchone():
                db.executemany("INSERT OR IGNORE INTO login_failures VALUES (?, 1, ?, 0)",
                               (("10.%d" % n, recent) for n in range(FAILED_ROWS)))
                return
    raise RuntimeError("no login table to fill")


def Measure(source, Database, ca, steps, tls):
    database = Database()
    try:
        pool = "".join("echo 'env[%s] = \"%s\"' >> /etc/php/8.2/fpm/pool.d/www.conf\n"
                       % item for item in database.settings.items()
                       if not item[0] == "EXITPOLL_STATS_DB")
        with h.DebianNginx(steps + pool, tls, source=source) as server:
            c.Report(server.port, b"prj=warm&reason=up&os=x")
            if FAILED_ROWS:
                h.TlsRequest(server.tls_port, c.RESULTS_PATH.encode(), ca,  # makes the table
                             b"Authorization: Basic eDp3cm9uZw==\r\n", source="127.2.0.1")
                SeedFailures(server, database)
            quiet, _ = Phase(server, ca, False)
            attacked, answers = Phase(server, ca, True)
        return quiet, attacked, answers
    finally:
        database.Drop()


def main():
    global FAILED_ROWS
    arguments = sys.argv[1:]
    if arguments[:1] == ["--failed-rows"]:
        FAILED_ROWS = int(arguments[1])
        arguments = arguments[2:]
    before = arguments[0] if arguments else ROWS_BEFORE if FAILED_ROWS else BEFORE
    # As root the server's socket folder is not in PG_FOLDER (see postgres-env.sh).
    os.environ["EXITPOLL_TEST_PGHOST"] = collector_bench.Shell(
        "postgres_start %s >&2 && echo \"$EXITPOLL_TEST_PGHOST\"" % collector_bench.PG_FOLDER)
    if os.geteuid() == 0:  # php-fpm's workers, as www-data, must pass that private folder
        os.chmod(os.path.dirname(os.environ["EXITPOLL_TEST_PGHOST"]), 0o711)
    os.environ["EXITPOLL_TEST_PGPASSWORD"] = "exitpoll-test"
    folder = tempfile.mkdtemp(prefix="exitpoll-bench-")
    try:
        earlier = os.path.join(folder, "earlier")
        os.mkdir(earlier)
        subprocess.run("git -C %s archive %s server | tar -x -C %s" % (ROOT, before, earlier),
                       shell=True, check=True)
        os.mkdir(os.path.join(folder, "tls"))
        certificates = h.Certificates(os.path.join(folder, "tls"))
        steps, tls = DocumentedSteps()
        tls = (tls.replace("/etc/ssl/exitpoll/fullchain.pem", certificates.certificate)
               .replace("/etc/ssl/exitpoll/privkey.pem", certificates.key))
        print("Reports stored per second, %d clients, %.0f s per phase; attack: %d wrong "
              "passwords/s over HTTPS from %s%s" % (
                  CLIENTS, PHASE, TRIES_PER_SECOND,
                  "fresh addresses" if FAILED_ROWS else ATTACKER,
                  ", %d wrong tries stored before" % FAILED_ROWS if FAILED_ROWS else ""))
        print("| collector | database | reports/s, no attack | reports/s, attack | "
              "tries answered (status: count) | median try ms |")
        print("|---|---|---|---|---|---|")
        for name, source in [("before (%s)" % before, earlier), ("this checkout", ROOT)]:
            for Database in c.DATABASES:
                quiet, attacked, answers = Measure(source, Database, certificates.ca, steps, tls)
                statuses = {}
                for status, _ in answers:
                    statuses[status] = statuses.get(status, 0) + 1
                print("| %s | %s | %.1f | %.1f | %s | %.0f |" % (
                    name, Database.name, quiet, attacked,
                    ", ".join("%s: %d" % item for item in sorted(statuses.items())),
                    statistics.median(t for _, t in answers) * 1000), flush=True)
    finally:
        subprocess.run(["rm", "-rf", folder])
        collector_bench.Shell("postgres_folder=%s; postgres_stop" % collector_bench.PG_FOLDER)


if __name__ == "__main__":
    main()
