#!/usr/bin/env python3
"""The Inno Setup example (examples/inno) under Wine: Sample Tool installed silently, then
removed the ways a user and a package manager remove it. Only an interactive uninstall shows
the applet, from a copy in the uninstaller's temporary folder, and waits for it; /SILENT,
/VERYSILENT and a newer version installed over the old one never do; every removal leaves
nothing behind.

unins000.exe hands the work to a copy of itself and ends, so the tests follow the log that
/LOG= asks for until it says it is closed."""
import os
import shutil
import tempfile
import time
import unittest

import applet as a
import harness as h
import installers as i

SETUP = os.environ.get("EXITPOLL_INNO_SETUP", "")
OLDER_SETUP = os.environ.get("EXITPOLL_INNO_OLDER_SETUP", "")
ARP_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\SampleTool_is1"
FOLDER = "C:\\Program Files\\Sample Tool"
UNINSTALLER = '"%s\\unins000.exe"' % FOLDER
# The confirmation, the progress window and the closing message all bear this caption.
CAPTION = "Sample Tool Uninstall"


def Child(caption, **which):
    """The first control of the window `caption` with these properties (see FindChild), or
    None, also when there is no such window at the moment."""
    info = h.Inspect(caption)
    return info and h.FindChild(info["window"], **which)


def LogText(path):
    if not os.path.exists(path):
        return ""
    with open(path, "rb") as f:
        return f.read().decode("latin-1")


class InnoExampleTest(i.InstallerTest):
    SETUPS = ("EXITPOLL_INNO_SETUP", "EXITPOLL_INNO_OLDER_SETUP")
    IMAGES = ("unins000.exe", "_unins.tmp", "exitpoll.exe", os.path.basename(SETUP),
              os.path.basename(OLDER_SETUP))
    FOLDERS = (FOLDER,)
    ARP_KEY = ARP_KEY

    def setUp(self):
        self.logs = tempfile.mkdtemp(prefix="exitpoll-inno-")
        self.addCleanup(shutil.rmtree, self.logs, True)
        super().setUp()

    def Start(self, command, env=None):
        """Starts an installer or uninstaller command line (str) with a log of its own;
        returns the launched first process and the log's Unix path."""
        log = tempfile.mktemp(suffix=".log", dir=self.logs)
        line = '%s /LOG="%s"' % (command, h.WindowsPath(log))
        launched = h.Start(line.encode("latin-1"), env=env, timeout=180)
        self.addCleanup(launched.Close)
        return launched, log

    def WaitForLog(self, log, text, timeout=120):
        h.WaitUntil(lambda: text in LogText(log), timeout, interval=0.2,
                    what="%r in the log" % text)

    def RunQuietly(self, command, env=None):
        """Runs a command that must show no survey, to the end of the work it hands on."""
        launched, log = self.Start(command, env)
        i.WaitWithoutSurvey(lambda: "Log closed." in LogText(log) and not launched.Running(),
                            what="%s to end" % command)
        self.assertEqual(launched.Wait(), 0)
        return log

    def Install(self, setup):
        self.RunQuietly(h.QuotedProgram(setup).decode() + " /VERYSILENT /SUPPRESSMSGBOXES")

    def AssertRemoved(self):
        self.assertFalse(os.path.exists(h.UnixPath(FOLDER)))
        self.assertFalse(h.RegKeyExists(ARP_KEY))
        self.assertEqual(i.AppletCopies(), [])
        self.assertEqual(i.AppletCopies("exitpoll.ini"), [])
        self.assertEqual(h.ProcessCount("exitpoll.exe"), 0)
        self.assertEqual(h.ProcessCount("_unins.tmp"), 0)

    def test_interactive_uninstall_reports_once_and_removes_everything(self):
        started = time.monotonic()
        self.Install(SETUP)
        with h.PhpServer() as server, h.MailCapture() as mail:
            command = h.RegQuery(ARP_KEY, "UninstallString")
            self.assertEqual(command, UNINSTALLER)
            launched, log = self.Start(command, env=mail.env)
            # The confirmation's default button is "No": a person answers with Y.
            confirmation = h.WaitForWindow(CAPTION, 60)["window"]
            self.assertIsNotNone(h.FindChild(confirmation, text="&Yes", className="Button"))
            h.ClickCaption(CAPTION)
            h.WaitUntil(lambda: (h.Inspect(CAPTION) or {}).get("active") == confirmation["hwnd"],
                        30, what="the confirmation to be active")
            h.Key("y")
            h.WaitForWindow(a.CAPTION, 60)
            # Wine may show the form a moment before its controls have their texts.
            question = "Why have you made up your mind to remove Sample Tool?"
            h.WaitUntil(lambda: Child(a.CAPTION, text=question), 30,
                        what="the question naming Sample Tool")
            # The applet runs from a copy in the uninstaller's temporary folder, with its
            # settings file beside it, and nothing is removed yet.
            copies = i.AppletCopies()
            self.assertEqual(len(copies), 2, copies)
            self.assertIn(h.UnixPath(FOLDER + "\\exitpoll.exe"), copies)
            self.assertTrue(all(f.startswith(h.UnixPath("C:\\users\\")) for f in copies
                                if not f.startswith(h.UnixPath(FOLDER))), copies)
            self.assertEqual(i.AppletCopies("exitpoll.ini"),
                             [os.path.splitext(copy)[0] + ".ini" for copy in copies])
            self.assertTrue(os.path.exists(h.UnixPath(FOLDER + "\\SampleTool.exe")))

            clicked = i.AnswerSurvey("Too expensive")
            # The uninstaller goes on once the applet has ended, and closes with a message.
            self.WaitForLog(log, "Uninstallation process succeeded.")
            elapsed = time.monotonic() - clicked
            done = h.WaitUntil(lambda: Child(CAPTION, text="OK"), 60, what="the closing message")
            h.ClickCenter(done)
            self.WaitForLog(log, "Log closed.")
            self.assertEqual(launched.Wait(), 0)
            self.assertEqual([row[1:] for row in server.Rows()],
                             [(b"Sample Tool", b"Too expensive", i.QUERY_OS)])
            self.assertEqual(mail.SettledUrls(), [])
        self.AssertRemoved()
        self.assertLess(elapsed, i.LIMIT_S + i.MARGIN_S)
        print("figure: applet button click to the removal's end, reference server: %.2f s"
              % elapsed)
        i.Timed("install and interactive uninstall", started)

    def test_silent_uninstalls_and_upgrade_never_show_the_applet(self):
        with h.PhpServer() as server, h.MailCapture() as mail:
            with self.subTest("second version over the first"):
                started = time.monotonic()
                self.Install(OLDER_SETUP)
                self.assertEqual(h.RegQuery(ARP_KEY, "DisplayVersion"), "1.0")
                self.Install(SETUP)
                self.assertEqual(h.RegQuery(ARP_KEY, "DisplayVersion"), "2.0")
                self.assertEqual(sorted(os.listdir(h.UnixPath(FOLDER))),
                                 ["SampleTool.exe", "exitpoll.exe", "exitpoll.ini",
                                  "unins000.dat", "unins000.exe"])
                i.Timed("two installs, the second over the first", started)

            with self.subTest("/SILENT, as QuietUninstallString says"):
                started = time.monotonic()
                command = h.RegQuery(ARP_KEY, "QuietUninstallString")
                self.assertEqual(command, UNINSTALLER + " /SILENT")
                self.RunQuietly(command, env=mail.env)
                self.AssertRemoved()
                i.Timed("silent uninstall", started)

            with self.subTest("/VERYSILENT"):
                self.Install(SETUP)
                started = time.monotonic()
                self.RunQuietly(UNINSTALLER + " /VERYSILENT", env=mail.env)
                self.AssertRemoved()
                i.Timed("very silent uninstall", started)
            self.assertEqual(server.Rows(), [])
            self.assertEqual(mail.SettledUrls(), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
