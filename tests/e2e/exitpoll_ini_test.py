#!/usr/bin/env python3
"""The settings file beside the program: the texts read back from the live window, where
the report and the mail go, a renamed program reading its own file, and files that are not
settings at all. Without a file the other applet tests hold today's behaviour."""
import collections
import os
import random
import re
import shutil
import socket
import tempfile
import unittest

import applet as a
import harness as h

EXAMPLES = os.path.join(h.SOURCE_DIR, "examples", "ini")
SCREENSHOTS = os.environ.get("EXITPOLL_SCREENSHOT_DIR", tempfile.gettempdir())
BUILT_IN = ["Uninstall", "Question:", "Why have you made up your mind to remove My New Tool?"] \
    + a.REASONS + ["Uninstall"]
NOT_OK = a.OK_REPLY.replace(b"OK\r\n", b"ok\r\n")  # no confirmation: the answer goes to mail
OTHER_QUERY = b"prj=My+New+Tool&reason=Other%3a+&os=Windows+XP"
# The template turns on ReportId (and Windows=named, which names no version before XP's
# differently): the same request with a new id.
TEMPLATE_REQUEST = re.compile(
    b"\\A" + re.escape(a.Request(OTHER_QUERY + b"&id=%ID%")).replace(b"%ID%", b"[0-9a-f]{16}")
    + b"\\Z")


def Example(name):
    with open(os.path.join(EXAMPLES, name), "rb") as f:
        return f.read()


def ProgramBytes():
    if not h.EXITPOLL_EXE:
        return b""
    with open(h.EXITPOLL_EXE, "rb") as f:
        return f.read()


Case = collections.namedtuple(
    "Case", "why exe files texts reply choose query mail screenshot")
# files: name -> bytes beside the program, "%PORT%" standing for the server's port; texts:
# what the window shows (WindowTexts); choose: the reason position clicked, or None to keep
# "Other"; query: the report's query at the server (or a pattern of the whole request);
# mail: the mail URL, or None for none.
CASES = [
    # The shipped file's languages: exitpoll_languages_test, under each language's locale.
    Case("the template keeps every built-in text", "exitpoll.exe",
         {"exitpoll.ini": Example("exitpoll.ini")}, BUILT_IN, a.OK_REPLY, None,
         TEMPLATE_REQUEST, None, None),
    Case("Host and Email: report to that port, mail to that address", "exitpoll.exe",
         {"exitpoll.ini": b"[report]\r\nHost=127.0.0.1:%PORT%\r\n"
                          b"Email = maker.support+poll@example.org \r\n"},
         BUILT_IN, NOT_OK, None, OTHER_QUERY,
         b"mailto:maker.support+poll@example.org?subject=uninstall+My+New+Tool"
         b"&body=Other:%20", None),
    Case("an Email with a query is ignored", "exitpoll.exe",
         {"exitpoll.ini": b"[report]\nEmail=a@b.com?cc=c@d.com\n"}, BUILT_IN, NOT_OK, None,
         OTHER_QUERY, a.MAIL_PREFIX + b"My+New+Tool&body=Other:%20", None),
    Case("a renamed program reads its own file", "survey.exe",
         {"survey.ini": b"[texts]\r\nCaption=Survey\r\n[report]\r\nHost=127.0.0.1:%PORT%\r\n",
          "exitpoll.ini": b"[texts]\r\nCaption=Not this one\r\n"},
         ["Survey"] + BUILT_IN[1:], a.OK_REPLY, None, OTHER_QUERY, None, None),
    Case("a 1 MB value is cut to 255 bytes", "exitpoll.exe",
         {"exitpoll.ini": b"[texts]\r\nReason1=" + b"w" * (1 << 20) + b"\r\n"},
         BUILT_IN[:3] + ["w" * 255] + BUILT_IN[4:], a.OK_REPLY, 0,
         b"prj=My+New+Tool&reason=" + b"w" * 255 + b"&os=Windows+XP", None, None),
    Case("junk: random bytes", "exitpoll.exe",
         {"exitpoll.ini": random.Random(13).randbytes(64 * 1024)}, BUILT_IN, a.OK_REPLY,
         None, OTHER_QUERY, None, None),
    Case("junk: one 1 MB line without a line end", "exitpoll.exe",
         {"exitpoll.ini": b"[texts" + b"x" * (1 << 20)}, BUILT_IN, a.OK_REPLY, None,
         OTHER_QUERY, None, None),
    Case("junk: a program named like the file", "exitpoll.exe",
         {"exitpoll.ini": ProgramBytes()},
         BUILT_IN, a.OK_REPLY, None, OTHER_QUERY, None, None),
]


def FreePort():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class IniTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        h.RegisterMailtoCapture()

    def AssertFits(self, form):
        """The layout holds the texts: the question inside the window, each reason inside the
        group box, "Other" left of the free-text field."""
        left, _, clientWidth, _ = form["client"]
        group = next(c for c in form["children"] if c["class"] == "tk_BUTTON" and c["children"])
        question = next(c for c in form["children"] if c["class"] == "tk_STATIC" and
                        not c["children"])
        self.assertTrue(left <= question["rect"][0] and
                        question["rect"][0] + question["rect"][2] <= left + clientWidth)
        edit, radios = group["children"][0], group["children"][1:]
        for radio in radios[:-1]:
            self.assertLessEqual(radio["rect"][0] + radio["rect"][2],
                                 group["rect"][0] + group["rect"][2] - 2, radio["text"])
        self.assertLessEqual(radios[-1]["rect"][0] + radios[-1]["rect"][2], edit["rect"][0])

    def test_settings_file(self):
        for case in CASES:
            with self.subTest(case.why):
                self.Run(case)

    def Run(self, case):
        folder = tempfile.mkdtemp(prefix="exitpoll-ini-")
        try:
            port = FreePort() if any(b"%PORT%" in c for c in case.files.values()) \
                else h.STATS_PORT
            exe = os.path.join(folder, case.exe)
            shutil.copy(h.EXITPOLL_EXE, exe)
            for name, content in case.files.items():
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(content.replace(b"%PORT%", b"%d" % port))
            h.SetWindowsVersion(case.exe, "winxp")
            caption = case.texts[0]
            with h.ScriptedServer([case.reply], port=port) as server, \
                    h.MailCapture() as mail, \
                    h.Start(h.CommandLine(exe, b"My_New_Tool"), env=mail.env, timeout=60) as app:
                info = h.WaitForWindow(caption, 30)
                self.assertEqual(a.WindowTexts(info["window"]), case.texts)
                if case.screenshot:
                    self.AssertFits(info["window"])
                    os.makedirs(SCREENSHOTS, exist_ok=True)
                    h.SaveScreenshot(os.path.join(SCREENSHOTS, case.screenshot))
                if case.choose is not None:
                    h.ClickClient(caption, *a.ReasonPoint(case.choose))
                    reason = case.texts[3 + case.choose]
                    h.WaitUntil(lambda: h.FindChild(h.Inspect(caption)["window"], text=reason)
                                ["checked"] == 1, 10, what="%r checked" % reason)
                h.ClickClient(caption, *a.BUTTON)
                self.assertEqual(app.Wait(), 0)
                if isinstance(case.query, re.Pattern):
                    self.assertEqual(len(server.Requests()), 1)
                    self.assertRegex(server.Requests()[0], case.query)
                else:
                    self.assertEqual(server.Requests(), [a.Request(case.query)])
                if case.mail:
                    self.assertEqual(mail.WaitForUrls(1, timeout=15), [case.mail])
                else:
                    self.assertEqual(mail.Urls(), [])
        finally:
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    unittest.main(verbosity=2)
