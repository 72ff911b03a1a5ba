#!/usr/bin/env python3
"""The NSIS example (examples/nsis) under Wine: Sample Tool installed silently, then removed
the ways a user and an installer remove it. Only an interactive uninstall shows the applet,
from a copy outside the product folder, and waits for it; a silent uninstall and an upgrade
never do; every way leaves nothing behind."""
import os
import re
import time
import unittest

import applet as a
import harness as h
from installers import AppletCopies, AnswerSurvey, InstallerTest, LIMIT_S, MARGIN_S, QUERY_OS

SETUP = os.environ.get("EXITPOLL_NSIS_SETUP", "")
OLDER_SETUP = os.environ.get("EXITPOLL_NSIS_OLDER_SETUP", "")
ARP_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\SampleTool"
FOLDER = "C:\\Program Files\\Sample Tool"
OLDER_FOLDER = "C:\\Sample Tool 1.0"  # where the upgrade case puts the older version
# An NSIS uninstaller copies itself to the temporary folder, starts the copy under this name
# and ends at once; the copy does the work.
RELAUNCHED = "Un.exe"
NSIS_CAPTION = "Sample Tool Uninstall: Confirmation"


def Windows():
    """The visible windows of the applet and of the uninstaller's pages."""
    pages = h.Xdotool("search", "--onlyvisible", "--name", "^Sample Tool ", check=False)
    return h.FindWindows(a.CAPTION) + [int(w) for w in pages.split()]


class NsisExampleTest(InstallerTest):
    SETUPS = ("EXITPOLL_NSIS_SETUP", "EXITPOLL_NSIS_OLDER_SETUP")
    IMAGES = (RELAUNCHED, "uninstall.exe", "exitpoll.exe", os.path.basename(SETUP),
              os.path.basename(OLDER_SETUP))
    FOLDERS = (FOLDER, OLDER_FOLDER)
    ARP_KEY = ARP_KEY

    def Install(self, setup, folder=FOLDER):
        """Installs silently into `folder`, watching that no window appears."""
        with h.Start(h.CommandLine(setup, "/S /D=" + folder), timeout=120) as installer:
            self.WaitWithoutWindows(installer)
            self.assertEqual(installer.Wait(), 0)

    def WaitWithoutWindows(self, launched, timeout=120):
        """Waits for a program's end, failing as soon as a window of the applet or of the
        uninstaller shows."""
        def Ended():
            self.assertEqual(Windows(), [], "a window showed")
            return not launched.Running()
        h.WaitUntil(Ended, timeout, interval=0.2, what="the end without a window")

    def StartUninstaller(self, value="UninstallString", env=None):
        """Runs an uninstall command of Add/Remove Programs (`value`: UninstallString, or
        QuietUninstallString as package managers run it), as it is, and returns a watch of the
        copy that does the work."""
        command = h.RegQuery(ARP_KEY, value)
        switches = " /S" if value == "QuietUninstallString" else ""
        self.assertEqual(command, '"%s\\uninstall.exe"%s' % (FOLDER, switches))
        with h.Start(command.encode("latin-1"), env=env) as starter:
            self.assertEqual(starter.Wait(), 0)
        watch = h.WatchProcesses(RELAUNCHED, timeout=120)
        self.addCleanup(watch.Close)
        return watch

    def AssertRemoved(self):
        self.assertFalse(os.path.exists(h.UnixPath(FOLDER)))
        self.assertFalse(h.RegKeyExists(ARP_KEY))
        self.assertEqual(AppletCopies(), [])
        self.assertEqual(AppletCopies("exitpoll.ini"), [])
        self.assertEqual(h.ProcessCount("exitpoll.exe"), 0)

    def UninstallInteractively(self, reason, env=None):
        """Removes the product as a person does: the uninstaller's confirmation, then the
        applet, where `reason` is chosen and the button pressed. Returns the seconds from the
        click on the applet's button to the uninstaller's end."""
        watch = self.StartUninstaller(env=env)
        page = h.WaitForWindow(NSIS_CAPTION, 60)
        self.assertEqual(h.FoundCount(watch), 1)
        h.ClickCenter(h.FindChild(page["window"], text="&Uninstall", className="Button"))
        form = h.WaitForWindow(a.CAPTION, 60)["window"]
        question = "Why have you made up your mind to remove Sample Tool?"
        self.assertIsNotNone(h.FindChild(form, text=question))
        # The uninstaller has copied the applet out to its temporary folder, and removed
        # nothing yet.
        copies = AppletCopies()
        self.assertEqual(len(copies), 2, copies)
        self.assertIn(h.UnixPath(FOLDER + "\\exitpoll.exe"), copies)
        self.assertTrue(all(f.startswith(h.UnixPath("C:\\users\\")) for f in copies
                            if not f.startswith(h.UnixPath(FOLDER))), copies)
        self.assertTrue(os.path.exists(h.UnixPath(FOLDER + "\\SampleTool.exe")))
        # Each applet has its settings file beside it.
        self.assertEqual(AppletCopies("exitpoll.ini"),
                         [os.path.splitext(copy)[0] + ".ini" for copy in copies])

        clicked = AnswerSurvey(reason)
        self.assertEqual(watch.Wait(), 0)
        return time.monotonic() - clicked

    def test_interactive_uninstall_reports_once_and_removes_everything(self):
        self.Install(SETUP)
        with h.PhpServer() as server, h.MailCapture() as mail:
            elapsed = self.UninstallInteractively("Too expensive", mail.env)
            self.assertEqual([row[1:] for row in server.Rows()],
                             [(b"Sample Tool", b"Too expensive", QUERY_OS)])
            self.assertEqual(mail.Urls(), [])
        self.AssertRemoved()
        self.assertLess(elapsed, LIMIT_S + MARGIN_S)
        print("figure: applet button click to uninstaller exit, reference server: %.2f s"
              % elapsed)

    def test_interactive_uninstall_without_server_mails_and_waits_no_longer(self):
        self.Install(SETUP)
        with h.MailCapture() as mail:
            elapsed = self.UninstallInteractively("Unstable", mail.env)
            urls = mail.WaitForUrls(1, timeout=30)
            # The installed template turns ReportId on: the id is the body's last line.
            self.assertEqual(len(urls), 1, urls)
            self.assertRegex(urls[0], b"\\A" + re.escape(a.MAIL_PREFIX) +
                             b"Sample\\+Tool&body=Unstable%0d%0aReport%20id:%20[0-9a-f]{16}\\Z")
        self.AssertRemoved()
        self.assertGreaterEqual(elapsed, LIMIT_S - 0.1)  # the clocks' disagreement
        self.assertLess(elapsed, LIMIT_S + MARGIN_S)
        print("figure: applet button click to uninstaller exit, no server: %.2f s" % elapsed)

    def test_silent_uninstall_and_upgrade_never_show_the_applet(self):
        with h.PhpServer() as server, h.MailCapture() as mail:
            with self.subTest("silent uninstall, as QuietUninstallString says"):
                self.Install(SETUP)
                watch = self.StartUninstaller("QuietUninstallString", env=mail.env)
                self.WaitWithoutWindows(watch)
                self.assertEqual(watch.Wait(), 0)
                self.AssertRemoved()

            with self.subTest("upgrade over an older installation elsewhere"):
                self.Install(OLDER_SETUP, OLDER_FOLDER)
                self.assertEqual(h.RegQuery(ARP_KEY, "DisplayVersion"), "1.0")
                self.Install(SETUP)  # runs the older uninstaller, which must stay silent
                self.assertFalse(os.path.exists(h.UnixPath(OLDER_FOLDER)))
                self.assertEqual(h.RegQuery(ARP_KEY, "DisplayVersion"), "2.0")
                self.assertEqual(h.RegQuery(ARP_KEY, "InstallLocation"), FOLDER)
                self.assertEqual(sorted(os.listdir(h.UnixPath(FOLDER))),
                                 ["SampleTool.exe", "exitpoll.exe", "exitpoll.ini",
                                  "uninstall.exe"])
                # The installer wrote its own version into the template's [report].
                with open(h.UnixPath(FOLDER + "\\exitpoll.ini"), "rb") as f:
                    lines = [line.strip() for line in f.read().splitlines()]
                report = lines.index(b"[report]")
                self.assertIn(b"Version=2.0", lines[report:lines.index(b"[texts]")])
            self.assertEqual(server.Rows(), [])
            self.assertEqual(mail.Urls(), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
