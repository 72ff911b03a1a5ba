#!/usr/bin/env python3
"""A PostgreSQL database of the earlier release used through a role that may only read and
write its rows: reports are still stored, the results page names the statements the upgrade
needs, and once a superuser has run exactly those, the upgrade runs and keeps every report."""
import html
import os
import re
import sys
import unittest
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import collector as c  # noqa: E402
from results_page_test import BasicAuth, PasswordHash, PASSWORD  # noqa: E402

EARLIER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "earlier_databases",
                       "pgsql.sql")
OWNER = "ALTER TABLE public.reports OWNER TO {role};"
FUNCTION = "ALTER FUNCTION public.exitpoll_count_report() OWNER TO {role};"
SCHEMA = "GRANT CREATE ON SCHEMA public TO {role};"
# (what the role may do besides reading and writing rows, the statements the page asks for)
ROLES = [
    ("rows only", "", [OWNER, FUNCTION, SCHEMA]),
    ("owns the reports table", OWNER, [FUNCTION, SCHEMA]),
    ("owns the table and the trigger's function", OWNER + FUNCTION, [SCHEMA]),
    ("may create in the schema", SCHEMA, [OWNER, FUNCTION]),
]
REPORT = b"prj=Net+Tool&reason=Other%3A+after&os=XP&ver=2.0&id=00000000000000ab"


class RestrictedRoleTest(unittest.TestCase):
    def test_earlier_database_through_a_role_without_the_tables(self):
        for name, granted, asked in ROLES:
            with self.subTest(name):
                database = c.PostgresDatabase()
                role = "exitpoll_rows_" + uuid.uuid4().hex[:8]
                try:
                    database.Load(EARLIER)  # as its owner, the role exitpoll
                    # A superuser (the same password in the test server) reads whoever owns it.
                    database.env["PGUSER"] = "postgres"
                    database.Psql("CREATE ROLE %s LOGIN PASSWORD 'rows'; GRANT SELECT, INSERT, "
                         "UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO %s; %s"
                         % (role, role, granted.format(role=role)))
                    self.Check(database, role, [s.format(role=role) for s in asked])
                finally:
                    database.Drop()
                    database.env["PGDATABASE"] = "postgres"
                    database.Psql("DROP ROLE IF EXISTS " + role)

    def Check(self, database, role, asked):
        earlier = database.Rows()
        settings = dict(database.settings, EXITPOLL_STATS_USER=role,
                        EXITPOLL_STATS_PASSWORD="rows",
                        EXITPOLL_RESULTS_PASSWORD_HASH=PasswordHash(PASSWORD))
        with c.PhpServer(settings) as server:
            for _ in range(2):  # no ids kept yet: the repeat is a report of its own
                self.assertEqual(c.SplitAnswer(c.Report(server.port, REPORT))[2], b"OK\n")
            stored = database.Rows()
            self.assertEqual(stored[:-2], earlier)
            self.assertEqual([row[2] for row in stored[-2:]], [b"Other: after"] * 2)
            page = Page(server, b"?days=all&q=after")
            problem = re.search(r'<p id="upgrade-problem"[^>]*>(.*?)</p>', page, re.S)
            self.assertTrue(problem, page[-500:])
            statements = re.findall(r"(?:ALTER|GRANT) [^;]*;", html.unescape(problem.group(1)))
            self.assertEqual(statements, asked)
            self.assertEqual(page.count('<td class="text"><mark>after</mark></td>'), 2)
            csv = Page(server, b"?days=all&format=csv").splitlines()
            self.assertEqual(len(csv), 1 + len(stored))
            # What the page asks for is enough: the next report upgrades, nothing is lost.
            database.Psql(" ".join(statements))  # as a superuser
            self.assertEqual(c.SplitAnswer(c.Report(server.port, REPORT))[2], b"OK\n")
            self.assertEqual(c.SplitAnswer(c.Report(server.port, REPORT))[2], b"OK\n")
            page = Page(server, b"?days=all&q=after")
            self.assertNotIn("upgrade-problem", page)
            self.assertEqual(page.count('<td class="text"><mark>after</mark></td>'), 3)
            # The role may not make the search's extension: searched without the index, and
            # the page says so until the database's owner has made it.
            self.assertIn('id="search-index-problem"', page)
            self.assertIn("CREATE EXTENSION pg_trgm;", page)
            database.Psql("CREATE EXTENSION pg_trgm")
            self.assertEqual(c.SplitAnswer(c.Report(server.port, b"prj=P&reason=R&os=W"))[2],
                             b"OK\n")
            self.assertNotIn("search-index-problem", Page(server, b"?days=all"))
        self.assertEqual(database.Rows()[:-2], stored)
        self.assertEqual(database.Columns(["ver", "report_id"])[-2], (b"2.0", "00000000000000ab"))
        self.assertEqual(database.Psql("SELECT SUM(n) FROM report_counts WHERE kind = 'day'"),
                         b"%d\n" % (len(stored) + 2))


def Page(server, query):
    status, _, body = c.SplitAnswer(c.Request(server.port, c.RESULTS_PATH.encode() + query,
                                              extra_headers=BasicAuth()))
    if status.split()[1] != b"200":
        raise AssertionError("%r: %r" % (status, body[-500:]))
    return body.decode("utf-8")


if __name__ == "__main__":
    unittest.main(verbosity=2)
