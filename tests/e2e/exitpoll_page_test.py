#!/usr/bin/env python3
"""[report] Page=: a report the server did not confirm opens that page in the browser (the
capture helper stands in for it) with the report's query, in place of the mail; a Page that
breaks the Url rule leaves the mail; a confirmed report opens nothing. Then the whole way:
the page the applet opened, loaded twice from the collector under php -S, stores the report
once, as 'page'."""
import os
import re
import shutil
import sqlite3
import tempfile
import unittest
import urllib.request

import applet as a
import harness as h

QUERY = b"prj=My+New+Tool&reason=Other%3a+&os=Windows+XP"
PAGE = b"https://stats.example.com/stat/thanks.php"
WITH_ID = re.escape(QUERY) + b"&id=[0-9a-f]{16}"


def Settings(page, port, reportId=True):
    return (b"[report]\r\nHost=127.0.0.1:%d\r\nPage=%s\r\n" % (port, page)
            + (b"ReportId=yes\r\n" if reportId else b""))


# (why, Page, a server that confirms, ReportId, the URL opened: a pattern, or None for none)
CASES = [
    ("no server: the page, the id included", PAGE, False, True,
     re.escape(PAGE + b"?") + WITH_ID),
    ("a page with a query of its own", PAGE + b"?site=de", False, False,
     re.escape(PAGE + b"?site=de&" + QUERY)),
    ("a page that breaks the Url rule: the mail", b"https://stats.example.com/a b", False, False,
     re.escape(a.MAIL_PREFIX + b"My+New+Tool&body=Other:%20")),
    ("a javascript: page: the mail", b"javascript:alert(1)//x/", False, False,
     re.escape(a.MAIL_PREFIX + b"My+New+Tool&body=Other:%20")),
    ("confirmed: nothing opened", PAGE, True, True, None),
]


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for scheme in ["mailto", "http", "https"]:
            h.RegisterMailtoCapture(scheme)

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="exitpoll-page-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        self.exe = os.path.join(self.folder, "page.exe")
        shutil.copy(h.EXITPOLL_EXE, self.exe)
        h.SetWindowsVersion("page.exe", "winxp")

    def Run(self, settings, server):
        """Runs the copy with these settings through its button; the URLs the shell opened."""
        with open(self.exe[:-4] + ".ini", "wb") as f:
            f.write(settings)
        with h.MailCapture() as mail:
            app, info = a.Start(env=mail.env, exe=self.exe)
            with app:
                a.Close("button", info, quick=True)
                self.assertEqual(app.Wait(), 0)
            if server:
                self.assertEqual(len(server.Requests()), 1)
            return mail.SettledUrls()

    def test_what_opens(self):
        for why, page, confirms, reportId, opened in CASES:
            with self.subTest(why):
                if confirms:
                    with h.ScriptedServer([a.OK_REPLY], port=h.FreePort()) as server:
                        urls = self.Run(Settings(page, server.port, reportId), server)
                else:
                    urls = self.Run(Settings(page, h.FreePort(), reportId), None)
                if opened is None:
                    self.assertEqual(urls, [])
                else:
                    self.assertEqual(len(urls), 1, urls)
                    self.assertRegex(urls[0], b"\\A" + opened + b"\\Z")

    def test_the_page_stores_the_report_once(self):
        with h.PhpServer(port=h.FreePort()) as server:
            page = b"http://127.0.0.1:%d/stat/thanks.php" % server.port
            urls = self.Run(Settings(page, h.FreePort()), None)
            self.assertEqual(len(urls), 1, urls)
            self.assertRegex(urls[0], b"\\A" + re.escape(page + b"?") + WITH_ID + b"\\Z")
            for _ in range(2):  # a reload stores nothing more
                with urllib.request.urlopen(urls[0].decode(), timeout=30) as answer:
                    self.assertEqual(answer.status, 200)
                    self.assertIn(b"Thank you!", answer.read())
            with sqlite3.connect(server.database) as db:
                rows = db.execute("SELECT prj, reason, os, via FROM reports").fetchall()
            self.assertEqual(rows, [("My New Tool", "Other: ", "Windows XP", "page")])


if __name__ == "__main__":
    unittest.main(verbosity=2)
