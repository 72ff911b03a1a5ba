#!/usr/bin/env python3
"""[window] Dpi=aware under Wine at 96, 120, 144 and 192 DPI (the LogPixels value Wine reads):
one table of every window's rectangle against the designed one times the scale, within a
pixel; a screenshot per DPI; the report unchanged. Without the key the designed rectangles
at every DPI. Every text's extent inside its control is checked in-process
(tests/app/feedback_layout_test.cpp). The applet runs on a virtual desktop of Wine's
explorer on a larger display of the test's own, where the window at 200% fits: the prefix's
own desktop is the size of the tests' display."""
import json
import os
import shutil
import subprocess
import tempfile
import unittest

import applet as a
import harness as h

SCREENSHOTS = os.environ.get("EXITPOLL_SCREENSHOT_DIR", tempfile.gettempdir())
FONTS_KEY = "HKLM\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts"
DPIS = [96, 120, 144, 192]
DESKTOP = "exitpoll-dpi"
SIZE = (2048, 1536)
SKIP_AND_NOTICE = b"[texts]\r\nSkip=Don't send\r\nNotice=Sent without your name.\r\n"


def Scaled(value, dpi):
    exact = value * dpi / 96
    return int(exact + 0.5) if exact >= 0 else -int(-exact + 0.5)


def Rectangles(form):
    """Every window of the form as (name, [left, top, width, height]), the form's on the
    screen, the others from the client origin of their parent's designed frame of
    reference: the form's client area, the title strip, the group box."""
    left, top = form["client"][:2]
    rows = [("form", form["rect"])]

    def Relative(window, origin):
        x, y, width, height = window["rect"]
        return [x - origin[0], y - origin[1], width, height]

    group = next(c for c in form["children"] if c["class"] == "tk_BUTTON" and c["children"])
    strip = next(c for c in form["children"] if c["class"] == "tk_STATIC" and c["children"])
    rows.append(("title strip", Relative(strip, (left, top))))
    rows.append(("title", Relative(strip["children"][0], strip["rect"][:2])))
    rows.append(("group", Relative(group, (left, top))))
    rows.append(("free-text field", Relative(group["children"][0], group["rect"][:2])))
    for i, radio in enumerate(group["children"][1:]):
        x, y, _, height = Relative(radio, group["rect"][:2])
        rows.append(("reason %d" % (i + 1), [x, y, None, height]))
    buttons = [c for c in form["children"] if c["class"] == "tk_BUTTON" and not c["children"]]
    for name, button in zip(["button", "skip"], buttons):
        rows.append((name, Relative(button, (left, top))))
    return rows


def Designed(dpi, skip):
    rows = [("form", [324, 199, 430, 328]), ("title strip", [4, 8, 412, 20]),
            ("title", [8, 3, 64, 22]), ("group", [16, 60, 389, 181]),
            ("free-text field", [78, 150, 301, 22])]
    rows += [("reason %d" % (i + 1), [8, 12 + 23 * i, None, 22]) for i in range(7)]
    rows.append(("button", [328, 252, 76, 25]))
    if skip:
        rows.append(("skip", [244, 252, 76, 25]))
    return [(name, [None if v is None else Scaled(v, dpi) for v in rect]) for name, rect in rows]


class DpiTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        h.RegisterMailtoCapture()
        # A display of its own, large enough for the window at 200% where it is placed.
        cls.xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "%dx%dx24" % SIZE,
                                     "-nolisten", "tcp"], stdout=subprocess.PIPE,
                                    stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        cls.display = ":" + cls.xvfb.stdout.readline().decode().strip()

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.terminate()
        cls.xvfb.wait(10)

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="exitpoll-dpi-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        self.addCleanup(h.RegAdd, FONTS_KEY, "LogPixels", "96", "REG_DWORD")

    def Copy(self, name, settings):
        exe = os.path.join(self.folder, name + ".exe")
        shutil.copy(h.EXITPOLL_EXE, exe)
        if settings is not None:
            with open(exe[:-4] + ".ini", "wb") as f:
                f.write(settings)
        h.SetWindowsVersion(name + ".exe", "winxp")
        return exe

    def test_rectangles_at_every_dpi(self):
        table = []
        for dpi in DPIS:
            h.RegAdd(FONTS_KEY, "LogPixels", str(dpi), "REG_DWORD")
            for aware, settings in [(False, None), (True, b"[window]\r\nDpi=aware\r\n"),
                                    (True, b"[window]\r\nDpi=aware\r\n" + SKIP_AND_NOTICE)]:
                skip = settings is not None and b"Skip" in settings
                with self.subTest(dpi=dpi, aware=aware, skip=skip):
                    name = "dpi%d%s%s" % (dpi, "aware" if aware else "", "skip" if skip else "")
                    rows = self.Run(self.Copy(name, settings), dpi if aware else 96, skip,
                                    "exitpoll_dpi_%d%s%s.png" % (dpi, "" if aware else
                                                                 "_unaware",
                                                                 "_skip" if skip else ""))
                    table.append((dpi, aware, skip, rows))
        for dpi, aware, skip, rows in table:
            print("%3d DPI %-7s %s" % (dpi, "aware" if aware else "unaware",
                                       "; ".join("%s %s" % (n, r) for n, r in rows[:6])))

    def Inspect(self):
        result = h.Wine([h.Helper("wintree"), a.CAPTION], check=False, timeout=30,
                        env={"DISPLAY": self.display, "EXITPOLL_DESKTOP": DESKTOP})
        return json.loads(result.stdout.decode("ascii")) if result.returncode == 0 else None

    def Run(self, exe, scale, skip, screenshot):
        env = {"DISPLAY": self.display}
        desktop = b"explorer.exe /desktop=%s,%dx%d " % ((DESKTOP.encode(),) + SIZE)
        with h.ScriptedServer([a.OK_REPLY]) as server:
            app = h.Start(desktop + h.CommandLine(exe, b"My_New_Tool"), env=env, timeout=180)
            with app:
                info = h.WaitUntil(self.Inspect, 120, what="the window")
                form = info["window"]
                rows = Rectangles(form)
                for (name, actual), (_, designed) in zip(rows, Designed(scale, skip)):
                    for got, want in zip(actual, designed):
                        if want is not None:
                            self.assertLessEqual(abs(got - want), 1, (name, actual, designed))
                self.assertEqual([n for n, _ in rows], [n for n, _ in Designed(scale, skip)])
                question = h.FindChild(form, text="Why have you made up your mind to remove "
                                                  "My New Tool?")
                clientLeft, clientTop, clientWidth, _ = form["client"]
                self.assertEqual(question["rect"][1] - clientTop, Scaled(36, scale))
                self.assertEqual(question["rect"][0] - clientLeft,
                                 clientWidth // 2 - question["rect"][2] // 2)
                os.makedirs(SCREENSHOTS, exist_ok=True)
                subprocess.run(["import", "-display", self.display, "-window", "root",
                                os.path.join(SCREENSHOTS, screenshot)], check=True, timeout=30,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
                left, top = form["client"][:2]
                x, y = Scaled(a.BUTTON[0], scale), Scaled(a.BUTTON[1], scale)
                subprocess.run(["xdotool", "mousemove", str(left + x), str(top + y), "click", "1"],
                               env=dict(os.environ, DISPLAY=self.display), check=True,
                               timeout=20)
                server.WaitForRequest()
                app.Wait()  # explorer's exit code: the applet's is tested elsewhere
            self.assertEqual(server.Requests(), [a.Request(
                b"prj=My+New+Tool&reason=Other%3a+&os=Windows+XP")], "the report unchanged")
        return rows


if __name__ == "__main__":
    unittest.main(verbosity=2)
