#!/usr/bin/env python3
"""The thank-you page that an undelivered report opens in the user's browser: over SQLite and
PostgreSQL under php -S, which queries it stores (by the endpoint's rules, once per id, as
'page'), in which language it thanks, its headers (the results page's), that it runs and
loads nothing, and the results page's count of reports by page. Then the page in Debian's
headless Chromium (thanks_page_test.mjs): two loads of one address store one report."""
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import collector as c  # noqa: E402
import results_page_test as r  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
THANKS_PATH = b"/stat/thanks.php"
ID = "0123456789abcdef"
# (why, method, query, status, language shown, rows stored by this request)
CASES = [
    ("English, with an id", b"GET", b"prj=Net+Tool&reason=Unstable&os=Windows+XP&id=" +
     ID.encode(), 200, "en", 1),
    ("the same id again, in capitals", b"GET", b"prj=Net+Tool&reason=Unstable&os=Windows+XP&id="
     + ID.upper().encode(), 200, "en", 0),
    ("German in Windows-1252", b"GET",
     b"prj=Net+Tool&reason=Unfreundliche+Oberfl%e4che&os=Windows+XP&ver=2.0", 200, "de", 1),
    ("German in UTF-8", b"GET", b"prj=Net+Tool&reason=L%c3%a4uft+nicht+stabil&os=Windows+XP",
     200, "de", 1),
    ("French free text", b"GET", b"prj=Net+Tool&reason=Autre%3a+trop+lent&os=Windows+XP",
     200, "fr", 1),
    ("a reason of no known language", b"GET", b"prj=Net+Tool&reason=Kaputt&os=Windows+XP",
     200, "en", 1),
    ("no os: no report", b"GET", b"prj=Net+Tool&reason=Zu+teuer", 400, "en", 0),
    ("a forged id", b"GET", b"prj=P&reason=Zu+teuer&os=O&id=1234", 400, "en", 0),
    ("a reason past the endpoint's cap", b"GET",
     b"prj=P&reason=" + b"x" * 8193 + b"&os=O", 413, "en", 0),
    ("repeated keys", b"GET", b"prj=P&prj=Q&reason=R&os=O", 400, "en", 0),
    ("a look with HEAD stores nothing", b"HEAD", b"prj=P&reason=R&os=O", 200, None, 0),
    ("POST", b"POST", b"prj=P&reason=R&os=O", 405, "en", 0),
]


def Headers(answer):
    _, headers, _ = c.SplitAnswer(answer)
    kept = (b"content-type", b"content-security-policy", b"x-content-type-options",
            b"referrer-policy", b"cache-control")
    return sorted((name.lower(), value) for name, value in headers if name.lower() in kept)


class ThanksPageTest(unittest.TestCase):
    def test_what_is_stored_and_shown(self):
        for Database in c.DATABASES:
            with self.subTest(database=Database.name), \
                    r.PageServer(Database) as (database, server):
                c.MakeSchema(database.settings)
                results = c.Request(server.port, c.RESULTS_PATH.encode() + b"?days=all",
                                    extra_headers=r.BasicAuth())
                stored = 0
                for why, method, query, status, language, rows in CASES:
                    with self.subTest(why):
                        answer = c.Request(server.port, THANKS_PATH + b"?" + query, method)
                        line, _, body = c.SplitAnswer(answer)
                        self.assertEqual(int(line.split()[1]), status, body[:300])
                        self.assertEqual(Headers(answer), Headers(results), "the page's headers")
                        if language:
                            self.assertIn(b'<html lang="%s">' % language.encode(), body)
                        self.assertNotRegex(body, rb"(?i)<script|\ssrc=|<link|@import|url\(")
                        stored += rows
                        self.assertEqual(len(database.Rows()), stored)
                rows = database.Columns(["prj", "reason", "os", "ver", "report_id", "via"])
                self.assertEqual(rows[0], (b"Net Tool", b"Unstable", b"Windows XP", None, ID,
                                           "page"))
                self.assertEqual(rows[1][1:4], (b"Unfreundliche Oberfl\xe4che", b"Windows XP",
                                                b"2.0"))
                self.assertEqual({row[5] for row in rows}, {"page"})
                c.Report(server.port, b"prj=Net+Tool&reason=Unstable&os=Windows+XP")
                _, _, page = c.SplitAnswer(c.Request(
                    server.port, c.RESULTS_PATH.encode() + b"?days=all",
                    extra_headers=r.BasicAuth()))
                self.assertIn(b'<span id="total">%d</span>' % (stored + 1), page)
                self.assertIn(b'<span id="paged">%d</span> of them by page' % stored, page)

    def test_two_loads_in_the_browser_store_one_report(self):
        screenshots = os.environ.get("EXITPOLL_SCREENSHOT_DIR") or tempfile.gettempdir()
        os.makedirs(screenshots, exist_ok=True)
        query = "prj=Net+Tool&reason=Unfreundliche+Oberfl%e4che&os=Windows+XP&id=" + ID
        with r.PageServer(c.SqliteDatabase, workers=4) as (database, server), \
                tempfile.TemporaryDirectory(prefix="exitpoll-browser-") as folder:
            expected = {"url": "http://127.0.0.1:%d%s?%s" % (server.port, THANKS_PATH.decode(),
                                                               query),
                        "profile": os.path.join(folder, "profile"),
                        "screenshot": os.path.join(screenshots, "thanks_page_de.png")}
            path = os.path.join(folder, "expected.json")
            with open(path, "w") as f:
                json.dump(expected, f)
            result = subprocess.run(["node", os.path.join(HERE, "thanks_page_test.mjs"), path],
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                    timeout=240)
            output = result.stdout.decode(errors="replace")
            print(output)
            self.assertEqual(result.returncode, 0, output)
            self.assertEqual(database.Columns(["reason", "report_id", "via"]),
                             [(b"Unfreundliche Oberfl\xe4che", ID, "page")])
            self.assertTrue(re.search(r"loads: 200 200", output), output)


if __name__ == "__main__":
    unittest.main(verbosity=2)
