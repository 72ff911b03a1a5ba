"""What the example installers' end-to-end tests share (NSIS, Inno Setup, MSI): where the
applet and its settings file lie on the prefix's C: drive, how a person answers the survey,
and how a test sees that no survey showed."""
import os
import time

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
