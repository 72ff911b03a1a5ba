#!/usr/bin/env python3
"""The results page against what anyone can store: forged dates centuries away, values that
look like the page's own labels, and searches with control characters or a stored NUL, on
SQLite and PostgreSQL alike. The page is read as HTML, its charts by their data
attributes."""
import datetime
import html
import os
import re
import sys
import unittest
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import collector as c  # noqa: E402
from results_page_test import BasicAuth, PageServer  # noqa: E402

TODAY = datetime.datetime.now(datetime.timezone.utc).date()
RECENT = (TODAY - datetime.timedelta(days=1)).isoformat() + "T12:00:00Z"
# Stored before the importer refused such dates: (time, prj, reason).
ROWS = [
    ("0001-01-01T00:00:00Z", b"P", b"Unstable"),
    ("1900-01-01T00:00:00Z", b"P", b"Crash"),
    ("9999-12-31T00:00:00Z", b"P", b"Other: from the far future"),
    (RECENT, b"P", b"(others)"),
    (RECENT, b"P", b"(all others)"),
    (RECENT, b"(empty)", b"(others)"),
    (RECENT, b"P", b"Other: before\x00after the NUL"),
] + [(RECENT, b"P", b"Reason %d" % n) for n in range(8)]
MAX_COLUMNS = 400

# (query, what the page must show): "total" reports (the seeded ones and one through the
# endpoint, today's); "columns" its per-day chart's columns at
# most, their counts summing to the total; "weeks" each week's shares summing to its total;
# "texts" the free texts found; "refused" a search refused with a message, nothing searched.
VIEWS = [
    ("days=all", {"total": len(ROWS) + 1, "columns": MAX_COLUMNS, "weeks": True}),
    ("days=7", {"total": len(ROWS) + 1 - 3, "columns": 7, "weeks": True}),
    ("days=7&q=after", {"texts": ["before\0after the NUL"]}),
    ("days=all&q=far", {"texts": ["from the far future"]}),
    ("days=7&q=a%00b", {"refused": True}),
    ("days=7&q=a%01b", {"refused": True}),
    ("days=7&q=tab%09", {"refused": True}),
    ("days=7&q=%ff", {"refused": True}),
]


def Attributes(body, element, cls):
    """The data-* attributes of each <element class="cls"> of the page."""
    return [dict(re.findall(r'data-([a-z]+)="([^"]*)"', tag))
            for tag in re.findall(r'<%s class="%s"[^>]*>' % (element, cls), body)]


class StoredValuesTest(unittest.TestCase):
    def test_page_against_forged_and_lookalike_values(self):
        for Database in c.DATABASES:
            with self.subTest(database=Database.name):
                with PageServer(Database) as (database, server):
                    c.Report(server.port, b"prj=P&reason=Unstable&os=W")  # makes the schema
                    database.Insert([(t, p, r, b"W") for t, p, r in ROWS])
                    for query, want in VIEWS:
                        with self.subTest(query=query):
                            self.CheckView(server, query, want)

    def CheckView(self, server, query, want):
        status, _, body = c.SplitAnswer(c.Request(
            server.port, (c.RESULTS_PATH + "?" + query).encode(), extra_headers=BasicAuth()))
        self.assertEqual(status.split()[1], b"200", body[-300:])
        body = body.decode()
        if "total" in want:
            self.assertIn('<span id="total">%d</span>' % want["total"], body)
        days = Attributes(body, "g", "day")
        if "columns" in want:
            self.assertLessEqual(len(days), want["columns"])
            self.assertEqual(sum(int(d["count"]) for d in days), want["total"])
        if want.get("weeks"):
            weeks = re.findall(r'<g class="week" data-week="[^"]*" data-total="(\d+)">(.*?)</g>',
                               body)
            self.assertTrue(weeks)
            for total, parts in weeks:
                self.assertEqual(sum(int(n) for n in re.findall(r'data-count="(\d+)"', parts)),
                                 int(total))
        texts = [html.unescape(t) for t in re.findall(r'<td class="text">(.*?)</td>', body)]
        if "texts" in want:
            # An answer's marks of the search come out as text; a NUL shows as U+FFFD.
            shown = [re.sub(r"</?mark>", "", t).replace("\ufffd", "\0") for t in texts]
            self.assertEqual(shown, want["texts"])
        if want.get("refused"):
            self.assertIn('id="search-problem"', body)
            self.assertEqual(texts, [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
