#!/usr/bin/env python3
"""The applet run as an uninstaller runs it, from a copy in a folder that others can write:
a DLL planted there under a system DLL's name is never loaded (made native-first with
WINEDLLOVERRIDES, it would be taken for the system's by a load by bare name), a system DLL
that is missing ends the run softly with exit code 0 and the designed fallback, and a copy
whose name asks Windows to guess an installer runs like the original. Each case is a real
run of a copy of the applet in a temporary folder."""
import collections
import os
import shutil
import tempfile
import unittest

import applet as a
import harness as h

QUERY = b"prj=My+New+Tool&reason=Other%3a+&os="
NOT_OK = a.OK_REPLY.replace(b"OK\r\n", b"ok\r\n")  # not confirmed: the answer goes to mail
MAIL = a.MAIL_PREFIX + b"My+New+Tool&body=Other:%20"
URL_SETTINGS = "[report]\r\nUrl=http://127.0.0.1:%d/stat/uninstall.php\r\n" % h.STATS_PORT

Case = collections.namedtuple("Case", "dll settings version reply requests mail")
# dll: planted or missing; settings: the settings file (or None); version: Wine's Windows
# version for the copy (WinINet needs the settings file's Url); reply: the server's answer; requests: what reaches the server
# (a query of the own client, or "any" for one through WinINet); mail: whether it mails.
PLANTED = [
    Case("wsock32", None, "winxp", a.OK_REPLY, [QUERY + b"Windows+XP"], False),
    Case("shell32", None, "winxp", NOT_OK, [QUERY + b"Windows+XP"], True),
    Case("wininet", URL_SETTINGS, "winxp", a.OK_REPLY, "any", False),
]
# Not here: advapi32 and version, which Wine's own DLLs load from the program's folder
# before the program runs (Windows takes advapi32 from its known DLLs), and which without
# Wine's own do not let it start at all.
MISSING = [
    Case("wsock32", None, "winxp", a.OK_REPLY, [], True),  # as a failed connection
    Case("shell32", None, "winxp", NOT_OK, [QUERY + b"Windows+XP"], False),  # no mail
]


class TempFolderTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not h.EXITPOLL_EXE:
            raise unittest.SkipTest("exitpoll.exe is not built")
        h.RegisterMailtoCapture()

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="exitpoll-tmp-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)

    def Copy(self, name, case):
        exe = os.path.join(self.folder, name)
        shutil.copy(h.EXITPOLL_EXE, exe)
        h.SetWindowsVersion(name, case.version)
        if case.settings:
            with open(exe[:-4] + ".ini", "w") as f:
                f.write(case.settings)
        return exe

    def Run(self, exe, case, overrides):
        """Runs the copy `exe` to its end through the button with these DLL overrides;
        checks the exit code, the requests and the mail."""
        with h.ScriptedServer([case.reply]) as server, h.MailCapture() as mail:
            env = dict(mail.env)
            env["WINEDLLOVERRIDES"] = os.environ.get("WINEDLLOVERRIDES", "") + ";" + overrides
            app, info = a.Start(env=env, exe=exe)
            with app:
                a.Close("button", info, quick=True)
                # A fatal report would end it with 3, after its box had waited for a click.
                self.assertEqual(app.Wait(30), 0)
            requests = server.Requests()
            if case.requests == "any":
                self.assertEqual(len(requests), 1, requests)
                self.assertTrue(requests[0].startswith(b"GET /stat/uninstall.php?" + QUERY),
                                requests[0])
            else:
                self.assertEqual(requests, [a.Request(q) for q in case.requests])
            self.assertEqual(mail.SettledUrls()[:1], [MAIL] if case.mail else [])

    def test_a_dll_planted_beside_the_applet_is_never_loaded(self):
        for case in PLANTED:
            with self.subTest(case.dll):
                exe = self.Copy("planted_%s.exe" % case.dll, case)
                planted = os.path.join(self.folder, case.dll + ".dll")
                shutil.copy(os.path.join(h.BIN_DIR, "planted.dll"), planted)
                try:
                    self.Run(exe, case, "%s=n,b" % case.dll)
                    self.assertFalse(os.path.exists(planted + ".loaded"), "planted DLL loaded")
                finally:
                    os.remove(planted)

    def test_a_missing_system_dll_ends_softly(self):
        for case in MISSING:
            with self.subTest(case.dll):
                self.Run(self.Copy("missing_%s.exe" % case.dll, case), case, "%s=d" % case.dll)

    def test_a_copy_named_like_an_installer_runs_like_the_original(self):
        case = Case("", None, "winxp", a.OK_REPLY, [QUERY + b"Windows+XP"], False)
        self.Run(self.Copy("setup_survey.exe", case), case, "")


if __name__ == "__main__":
    unittest.main(verbosity=2)
