"""What the example installers' end-to-end tests share (NSIS, Inno Setup, MSI): where the
applet and its settings file lie on the prefix's C: drive, how a person answers the survey,
and how a test sees that no survey showed."""
import os
import shutil
import time
import unittest

import applet as a
import harness as h

QUERY_OS = b"Windows XP"  # the tests run the applet as Windows XP (applet.UseWindowsVersion)
LIMIT_S = 3.0  # the applet's wait for the server after its window closes
MARGIN_S = 4.0  # the removal and the ends of two processes after it, on a slow Wine


def AppletCopies(name="exitpoll.exe"):
    """Every file of this name (the applet, or its settings file) on the prefix's C: drive
    outside Windows' own folder."""
    root = h.UnixPath("C:\\")
    found = []
    for folder, subfolders, files in os.walk(root):
        if folder == root and "windows" in subfolders:
            subfolders.remove("windows")
        found += [os.path.join(folder, f) for f in files if f.lower() == name]
    return sorted(found)


def AnswerSurvey(reason):
    """Chooses `reason` in the applet's window and presses its button, as a person does.
    Returns time.monotonic() from just before the click (its delivery counts as waiting)."""
    a.ClickClient(a.ReasonPoint(a.REASONS.index(reason)))
    h.WaitUntil(lambda: h.FindChild(a.Inspect()["window"], text=reason)["checked"] == 1,
                10, what="%r checked" % reason)
    left, top = a.Inspect()["window"]["client"][:2]
    clicked = time.monotonic()
    h.Click(left + a.BUTTON[0], top + a.BUTTON[1])
    return clicked


def WaitWithoutSurvey(done, timeout=120, what="the end without a survey"):
    """Waits until done() is true, failing as soon as the applet's window shows."""
    def Ended():
        if h.FindWindows(a.CAPTION):
            raise AssertionError("the survey showed while waiting for %s" % what)
        return done()
    h.WaitUntil(Ended, timeout, interval=0.2, what=what)


def Timed(label, started):
    """Prints how long a case took since time.monotonic() was `started`."""
    print("figure: %s: %.2f s" % (label, time.monotonic() - started), flush=True)


class InstallerTest(unittest.TestCase):
    """The set-up of an example installer's tests: the two installers from the environment,
    the mail captured, the applet run as Windows XP, and before and after every case nothing
    left running or installed. A subclass names what to clear; Uninstall removes what an
    installer registered in ways of its own."""
    SETUPS = ()  # names of the environment variables that give the installer and an older one
    IMAGES = ("exitpoll.exe",)  # the processes a failed case may leave running
    FOLDERS = ()  # where the product may be installed
    ARP_KEY = None  # the uninstall key of Add/Remove Programs, deleted as it is

    @classmethod
    def setUpClass(cls):
        if not all(os.environ.get(name, "") for name in cls.SETUPS):
            raise h.HarnessError("%s are not set" % " and ".join(cls.SETUPS))
        h.RegisterMailtoCapture()
        a.UseWindowsVersion("winxp")

    def setUp(self):
        self.RemoveLeftovers()
        self.addCleanup(self.RemoveLeftovers)

    def Uninstall(self):
        pass

    def RemoveLeftovers(self):
        """Ends what a failed case left running and removes what it left installed."""
        h.Wine(["taskkill", "/f"] + [word for image in self.IMAGES for word in ("/im", image)],
               check=False)
        self.Uninstall()
        for folder in self.FOLDERS:
            if os.path.isdir(h.UnixPath(folder)):
                shutil.rmtree(h.UnixPath(folder))
        if self.ARP_KEY:
            for copy in AppletCopies() + AppletCopies("exitpoll.ini"):
                os.remove(copy)
            h.Wine(["reg", "delete", self.ARP_KEY, "/f"], check=False)
