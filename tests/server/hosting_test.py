#!/usr/bin/env python3
"""The collector set up as a maker does: uploaded to a shared host (Debian's Apache with
mod_php, settings in the shipped .htaccess, nothing else served), and on Debian's nginx and
php-fpm by the steps server/README.md gives."""
import base64
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import collector as c  # noqa: E402
import hosting as h  # noqa: E402
from results_page_test import PasswordHash  # noqa: E402
from stat_endpoint_test import CheckAnswer  # noqa: E402

PASSWORD = "uploaded $ secret"
AUTH = b"Authorization: Basic " + base64.b64encode(b"maker:" + PASSWORD.encode()) + b"\r\n"
CLOSE = b"Connection: close\r\n"
REPORT = b"prj=Net+Tool&reason=Other%3a+%3d1%2b1&os=Windows+XP"

# Everything but the two pages, asked for as anyone could: (target, text it must not show).
REFUSED = [
    (b"/", b"Index of"), (b"/lib/", b"Index of"), (b"/stat/", b"Index of"),
    (b"/lib/reports.php", b"ReportStore"), (b"/lib/view.php", b"AnsiToUtf8"),
    (b"/README.md", b"# The collector"), (b"/nginx-site.conf", b"fastcgi_pass"),
    (b"/.htaccess", b"Require"), (b"/stat/.htaccess", b"SetEnv"),
    (b"/lib/.htaccess", b"Require"), (b"/uninstall.sqlite", b"SQLite format"),
    (b"/stat/reports.sqlite", b"SQLite format"), (b"/stat/results.php.bak", b"<?php"),
    (b"/stat/../README.md", b"# The collector"), (b"/%2e%2e/", b"Index of"),
]


def Page(server, headers=b""):
    return c.SplitAnswer(c.Request(server.port, c.RESULTS_PATH.encode() + b"?days=all",
                                   extra_headers=CLOSE + headers))


class SharedHostingTest(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="exitpoll-home-")
        self.root = h.Upload(self.home)
        for stray in ["uninstall.sqlite", "stat/reports.sqlite", "stat/results.php.bak"]:
            with open(os.path.join(self.root, stray), "wb") as f:
                f.write(b"SQLite format 3\0<?php")
        # A folder the maker made writable for the reports; the account's own folder is not
        # writable by PHP, so the default place beside the web folder cannot be created.
        self.data = os.path.join(self.home, "data")
        os.mkdir(self.data)
        os.chmod(self.data, 0o777)
        os.chmod(self.home, 0o555)

    def tearDown(self):
        os.chmod(self.home, 0o755)
        shutil.rmtree(self.home)

    def test_uploaded_folder_with_the_shipped_htaccess(self):
        htaccess = os.path.join(self.root, "stat", ".htaccess")
        with h.ApacheModPhp(self.home) as server:
            # As uploaded: nothing can be stored, and the page is closed.
            CheckAnswer(self, c.Report(server.port, REPORT), 500, b"NOT STORED\n")
            self.assertEqual(Page(server)[0].split()[1], b"403")

            # The password hash set in .htaccess, "$" signs and all: the page opens, and says
            # why nothing is stored.
            h.SetInHtaccess(htaccess, "EXITPOLL_RESULTS_PASSWORD_HASH", PasswordHash(PASSWORD))
            self.assertEqual(Page(server)[0].split()[1], b"401")
            status, _, body = Page(server, AUTH)
            self.assertEqual(status.split()[1], b"500", body)
            problem = body.decode()
            self.assertIn('id="store-problem"', problem)
            self.assertIn(os.path.join(self.home, "exitpoll-data"), problem)
            self.assertIn("may not", problem)

            # The database set in .htaccess: reports are stored and answered "OK".
            database = c.SqliteDatabase()
            database.path = os.path.join(self.data, "uninstall.sqlite")
            h.SetInHtaccess(htaccess, "EXITPOLL_STATS_DB", database.path)
            CheckAnswer(self, c.Report(server.port, REPORT), 200, b"OK\n")
            self.assertEqual([row[1:] for row in database.Rows()],
                             [(b"Net Tool", b"Other: =1+1", b"Windows XP")])
            status, _, body = Page(server, AUTH)
            self.assertEqual(status.split()[1], b"200", body)
            self.assertIn(b'<span id="total">1</span>', body)
            self.assertNotIn(b"store-problem", body)

            for target, secret in REFUSED:
                with self.subTest(target=target):
                    status, _, body = c.SplitAnswer(c.Request(server.port, target,
                                                              extra_headers=CLOSE))
                    self.assertIn(status.split()[1], (b"400", b"403", b"404"), target)
                    self.assertNotIn(secret, body)
            self.assertNotIn("AH01276", server.ErrorLog())  # no listing was even tried


def DocumentedSteps(leave_out=()):
    """The README's shell steps for nginx, with PASSWORD, and its lines that add TLS."""
    blocks = h.ReadmeBlocks("Deployment with nginx and php-fpm (Debian 12)")
    lines = [line for line in blocks[0].splitlines()
             if not line.startswith(("apt-get ", "systemctl ")) and line not in leave_out]
    return "\n".join(lines).replace("your password", PASSWORD) + "\n", blocks[2]


class DebianNginxTest(unittest.TestCase):
    """server/README.md's steps for nginx and php-fpm, run as written on copies of Debian's
    configuration (apt-get and systemctl left out: the packages are there, and the test starts
    the servers itself), with the certificate added as it says."""

    def test_documented_steps(self):
        folder = tempfile.mkdtemp(prefix="exitpoll-certificates-")
        try:
            certificates = h.Certificates(folder)
            steps, tls = DocumentedSteps()
            tls = (tls.replace("/etc/ssl/exitpoll/fullchain.pem", certificates.certificate)
                   .replace("/etc/ssl/exitpoll/privkey.pem", certificates.key))
            with h.DebianNginx(steps, tls) as server:
                self.Check(server, certificates.ca)
        finally:
            shutil.rmtree(folder)

    def Check(self, server, ca):
        longest = b"prj=Net+Tool&reason=Other%3a+" + b"%e9" * 8185 + b"&os=Windows+XP"
        CheckAnswer(self, c.Report(server.port, REPORT), 200, b"OK\n")
        CheckAnswer(self, c.Report(server.port, longest), 200, b"OK\n")
        database = c.SqliteDatabase()
        database.path = server.folder + "/srv/exitpoll/exitpoll-data/uninstall.sqlite"
        self.assertEqual([row[1] for row in database.Rows()], [b"Net Tool"] * 2)

        # The results page: plain HTTP is sent to HTTPS before any password is asked for.
        status, headers, _ = Page(server, AUTH)
        self.assertEqual(status.split()[1], b"301")
        self.assertIn((b"Location", b"https://127.0.0.1/stat/results.php?days=all"), headers)
        target = c.RESULTS_PATH.encode() + b"?days=all"
        for name, headers, expected in [("no password", b"", b"401"),
                                        ("wrong password", b"Authorization: Basic eDp4\r\n",
                                         b"401"),
                                        ("the password from its file", AUTH, b"200")]:
            with self.subTest(name):
                status, _, body = c.SplitAnswer(h.TlsRequest(server.tls_port, target, ca,
                                                             headers))
                self.assertEqual(status.split()[1], expected, body[:300])
        self.assertIn(b'<span id="total">2</span>', body)
        for target in [b"/README.md", b"/lib/reports.php", b"/nginx-site.conf", b"/"]:
            self.assertEqual(c.SplitAnswer(c.Request(server.port, target, extra_headers=CLOSE))
                             [0].split()[1], b"404")

        # Reports are logged without their query or their sender.
        with open(server.folder + "/var/log/nginx/access.log", "rb") as log:
            reports = [line for line in log if b"uninstall.php" in line]
        self.assertEqual(len(reports), 2, reports)
        for line in reports:
            self.assertNotIn(b"prj", line)
            self.assertNotIn(b"Net", line)
            self.assertNotIn(b"127.0.0.1", line)

    def test_default_site_left_on_is_refused(self):
        steps, _ = DocumentedSteps(leave_out=["rm /etc/nginx/sites-enabled/default"])
        with self.assertRaisesRegex(RuntimeError, "duplicate default server"):
            h.DebianNginx(steps).Stop()


if __name__ == "__main__":
    unittest.main(verbosity=2)
