#!/usr/bin/env python3
"""The report's opt-in keys of the settings file under Wine's Windows versions: the "os"
sent without a settings file (the designed names) and with Windows=named, and with Version
and ReportId as well the exact request, the report id as the mail's last line, and a new id
on every run."""
import os
import re
import shutil
import tempfile
import unittest

import applet as a
import harness as h

KEYS = b"[report]\r\nWindows=named\r\nVersion=2.0.1-beta+7\r\nReportId=yes\r\n"
NOT_OK = a.OK_REPLY.replace(b"OK\r\n", b"ok\r\n")  # not confirmed: the answer goes to mail
QUERY = b"prj=My+New+Tool&reason=Other%3a+&os="
ID = re.compile(rb"&id=([0-9a-f]{16}) ")
# Wine's version mode, the "os" sent without a settings file, and with Windows=named. Wine
# 8.0 has no win11 mode (the name gives its default, 6.1), and its win7 and win2008r2 modes
# report each other's product type: win7 says server, win2008r2 workstation.
VERSIONS = [
    ("winxp", b"Windows+XP", b"Windows+XP"),
    ("win2003", b"Unknown", b"Windows+Server+2003"),
    ("vista", b"Unknown", b"Windows+Vista"),
    ("win2008", b"Unknown", b"Windows+Server+2008"),
    ("win7", b"Unknown", b"Windows+Server+2008+R2"),
    ("win2008r2", b"Unknown", b"Windows+7"),
    ("win8", b"Unknown", b"Windows+8"),
    ("win81", b"Unknown", b"Windows+8.1"),
    ("win10", b"Unknown", b"Windows+10"),
]


class ReportKeysTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        h.RegisterMailtoCapture()

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="exitpoll-keys-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)

    def Run(self, exe, reply):
        """Runs the copy `exe` to its end through the button; returns the requests the
        server saw and the mail URLs opened."""
        with h.ScriptedServer([reply]) as server, h.MailCapture() as mail:
            app, info = a.Start(env=mail.env, exe=exe)
            with app:
                a.Close("button", info, quick=True)
                self.assertEqual(app.Wait(), 0)
            return server.Requests(), mail.SettledUrls()

    def test_os_by_version_and_the_keys(self):
        ids = []
        for mode, designed, named in VERSIONS:
            with self.subTest(mode):
                # A name of its own per version: Wine's per-program settings go by it.
                exe = os.path.join(self.folder, "keys_%s.exe" % mode)
                shutil.copy(h.EXITPOLL_EXE, exe)
                h.SetWindowsVersion(os.path.basename(exe), mode)

                requests, mails = self.Run(exe, a.OK_REPLY)
                self.assertEqual(requests, [a.Request(QUERY + designed)], "no settings file")
                self.assertEqual(mails, [])

                with open(exe[:-4] + ".ini", "wb") as f:
                    f.write(KEYS)
                requests, mails = self.Run(exe, NOT_OK)
                self.assertEqual(len(requests), 1)
                found = ID.search(requests[0])
                self.assertIsNotNone(found, requests[0])
                reportId = found.group(1)
                self.assertEqual(requests[0], a.Request(
                    QUERY + named + b"&ver=2.0.1-beta%2b7&id=" + reportId))
                self.assertEqual(mails, [a.MAIL_PREFIX + b"My+New+Tool&body=Other:%20"
                                         b"%0d%0aReport%20id:%20" + reportId])
                ids.append(reportId)
        print("report ids: %s" % b" ".join(ids).decode())
        self.assertEqual(len(set(ids)), len(ids), "every run a new id")


if __name__ == "__main__":
    unittest.main(verbosity=2)
