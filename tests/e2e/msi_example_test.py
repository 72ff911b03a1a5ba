#!/usr/bin/env python3
"""The MSI example (examples/msi) under Wine's msiexec: Sample Tool installed, then removed
with each user interface level, and upgraded. Only a removal with the installer's windows
(full or basic) shows the applet, which reports once; /qn and a major upgrade never do; the
custom action comes before the files go."""
import os
import subprocess
import time
import unittest

import applet as a
import harness as h
import installers as i

PACKAGE = os.environ.get("EXITPOLL_MSI_PACKAGE", "")
OLDER_PACKAGE = os.environ.get("EXITPOLL_MSI_OLDER_PACKAGE", "")
ARP = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
FOLDER = "C:\\Program Files\\Sample Tool"
CONDITION = 'REMOVE="ALL" AND NOT UPGRADINGPRODUCTCODE AND UILevel > 2'

# msiexec's switches for a removal, and whether the survey shows (with the reason chosen).
REMOVALS = [
    ("full user interface", "", "Too expensive"),
    ("basic user interface", " /qb", "Unstable"),
    ("no user interface", " /qn", None),
]


def Table(package, table):
    """The rows of one table of an MSI package, as lists of str (msitools' msiinfo)."""
    text = subprocess.run(["msiinfo", "export", package, table], check=True, timeout=30,
                          stdout=subprocess.PIPE).stdout.decode()
    return [line.split("\t") for line in text.splitlines()[3:]]  # names, types, key


def ProductCode(package):
    return next(value for name, value in Table(package, "Property") if name == "ProductCode")


class MsiExampleTest(i.InstallerTest):
    SETUPS = ("EXITPOLL_MSI_PACKAGE", "EXITPOLL_MSI_OLDER_PACKAGE")
    FOLDERS = (FOLDER,)

    def Uninstall(self):
        """msiexec removes what a package installed: its entry is the package's product code."""
        for package in (PACKAGE, OLDER_PACKAGE):
            if h.RegKeyExists(ARP + ProductCode(package)):
                self.RunWithoutSurvey("msiexec /x %s /qn" % ProductCode(package))

    def RunWithoutSurvey(self, command, env=None):
        """Runs a command line to its end, failing as soon as the survey shows."""
        with h.Start(command.encode("latin-1"), env=env, timeout=180) as run:
            i.WaitWithoutSurvey(lambda: not run.Running(), what="%s to end" % command)
            self.assertEqual(run.Wait(), 0)

    def Install(self, package, switches=" /qn", env=None):
        self.RunWithoutSurvey('msiexec /i "%s"%s' % (h.WindowsPath(package), switches), env)

    def AssertRemoved(self):
        self.assertFalse(os.path.exists(h.UnixPath(FOLDER)))
        self.assertFalse(h.RegKeyExists(ARP + ProductCode(PACKAGE)))
        self.assertEqual(i.AppletCopies(), [])
        self.assertEqual(h.ProcessCount("exitpoll.exe"), 0)

    def test_the_survey_runs_before_the_files_go_and_only_when_asked(self):
        sequence = {row[0]: row for row in Table(PACKAGE, "InstallExecuteSequence")}
        _, condition, number = sequence["AskWhy"]
        self.assertEqual(condition, CONDITION)
        self.assertLess(int(sequence["InstallValidate"][2]), int(number))
        self.assertLess(int(number), int(sequence["RemoveFiles"][2]))
        # 18 (an installed file run as a program) + 64 (the result ignored), waiting for it;
        # not deferred, no elevation (2048 would be "no impersonation").
        self.assertIn(["AskWhy", "82", "ExitpollExe", '"[ProductName]"', ""],
                      Table(PACKAGE, "CustomAction"))

    def test_removals_show_the_survey_only_with_windows(self):
        with h.PhpServer() as server, h.MailCapture() as mail:
            for name, switches, reason in REMOVALS:
                with self.subTest(name):
                    started = time.monotonic()
                    self.Install(PACKAGE)
                    command = h.RegQuery(ARP + ProductCode(PACKAGE), "UninstallString")
                    self.assertEqual(command, "MsiExec.exe /X" + ProductCode(PACKAGE))
                    if reason is None:
                        self.RunWithoutSurvey(command + switches, mail.env)
                    else:
                        with h.Start((command + switches).encode("latin-1"), env=mail.env,
                                     timeout=180) as removal:
                            h.WaitForWindow(a.CAPTION, 60)
                            # The installed applet runs in place, before any file goes.
                            self.assertEqual(i.AppletCopies(),
                                             [h.UnixPath(FOLDER + "\\exitpoll.exe")])
                            self.assertTrue(os.path.exists(h.UnixPath(FOLDER +
                                                                      "\\SampleTool.exe")))
                            clicked = i.AnswerSurvey(reason)
                            self.assertEqual(removal.Wait(), 0)
                            self.assertLess(time.monotonic() - clicked, i.LIMIT_S + i.MARGIN_S)
                            i.Timed("%s: applet button click to msiexec's end" % name, clicked)
                    self.AssertRemoved()
                    i.Timed("%s: install and remove" % name, started)
            self.assertEqual([row[1:] for row in server.Rows()],
                             [(b"Sample Tool", reason.encode(), i.QUERY_OS)
                              for _, _, reason in REMOVALS if reason])
            self.assertEqual(mail.SettledUrls(), [])

    def test_major_upgrade_never_shows_the_survey(self):
        with h.PhpServer() as server, h.MailCapture() as mail:
            for name, switches in [("quiet", " /qn"), ("with windows", "")]:
                with self.subTest(name):
                    started = time.monotonic()
                    self.Install(OLDER_PACKAGE)
                    self.assertTrue(h.RegKeyExists(ARP + ProductCode(OLDER_PACKAGE)))
                    self.Install(PACKAGE, switches, mail.env)
                    self.assertFalse(h.RegKeyExists(ARP + ProductCode(OLDER_PACKAGE)))
                    self.assertEqual(h.RegQuery(ARP + ProductCode(PACKAGE), "DisplayVersion"),
                                     "2.0")
                    self.assertEqual(sorted(os.listdir(h.UnixPath(FOLDER))),
                                     ["SampleTool.exe", "exitpoll.exe", "exitpoll.ini"])
                    i.Timed("upgrade %s" % name, started)
                    self.RunWithoutSurvey("msiexec /x %s /qn" % ProductCode(PACKAGE))
                    self.AssertRemoved()
            self.assertEqual(server.Rows(), [])
            self.assertEqual(mail.SettledUrls(), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
