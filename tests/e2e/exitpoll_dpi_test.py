#!/usr/bin/env python3
"""[window] Dpi=aware under Wine at 96, 120, 144 and 192 DPI (the LogPixels value Wine reads):
one table of every window's rectangle against the designed one times the scale, within a
pixel, the caption's icon as drawn included; a screenshot per DPI, with and without the key, the
whole window on the screen; the report unchanged. Without the key the designed rectangles
at every DPI. Every text's extent inside its control is checked in-process
(tests/app/feedback_layout_test.cpp). The tests' display (scripts/wine-env.sh) is large
enough for the window at 200%."""
import os
import shutil
import tempfile
import unittest

import applet as a
import harness as h

SCREENSHOTS = os.environ.get("EXITPOLL_SCREENSHOT_DIR", tempfile.gettempdir())
DPIS = [96, 120, 144, 192]
ICON_BLUE = (0x2A, 0x62, 0xB0)  # the program icon's tile (scripts/make-icon)
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


def IconTile(shot, form):
    """The caption's icon as drawn, [left, top, width, height] of its blue tile from the
    form's top-left corner: the first run of columns with the tile's blue, left in the
    caption strip. (Another process's icon handle cannot be read under Wine.)"""
    left, top = form["rect"][:2]
    clientLeft, clientTop = form["client"][:2]
    columns = {}
    for y in range(top, clientTop):
        for x in range(left, clientLeft + (clientTop - top) * 2):
            if h.ColorNear(shot.Pixel(x, y), ICON_BLUE, 30):
                columns.setdefault(x, []).append(y)
    if not columns:
        return None  # not painted yet
    first = last = min(columns)
    while last + 1 in columns:
        last += 1
    rows = [y for x in range(first, last + 1) for y in columns[x]]
    return [first - left, min(rows) - top, last - first + 1, max(rows) - min(rows) + 1]


def Designed(dpi, skip, iconDpi):
    """The designed rows at `dpi`; the icon's tile, 15 of the small icon's 16 pixels, at
    `iconDpi`: Wine draws the caption's icon at the system's small-icon size for every
    program, aware or not (32 pixels times the system DPI / 96 for the big icon)."""
    rows = [("form", [324, 199, 430, 328]), ("title strip", [4, 8, 412, 20]),
            ("title", [8, 3, 64, 22]), ("group", [16, 60, 389, 181]),
            ("free-text field", [78, 150, 301, 22])]
    rows += [("reason %d" % (i + 1), [8, 12 + 23 * i, None, 22]) for i in range(7)]
    rows.append(("button", [328, 252, 76, 25]))
    if skip:
        rows.append(("skip", [244, 252, 76, 25]))
    rows = [(name, [None if v is None else Scaled(v, dpi) for v in rect]) for name, rect in rows]
    return rows + [("icon", [None, None, Scaled(15, iconDpi), Scaled(15, iconDpi)])]


class DpiTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        h.RegisterMailtoCapture()
        shot = h.Screenshot()
        cls.screen = (shot.width, shot.height)

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="exitpoll-dpi-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        self.addCleanup(h.SetSystemDpi, 96)

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
            h.SetSystemDpi(dpi)
            for aware, settings in [(False, None), (True, b"[window]\r\nDpi=aware\r\n"),
                                    (True, b"[window]\r\nDpi=aware\r\n" + SKIP_AND_NOTICE)]:
                skip = settings is not None and b"Skip" in settings
                with self.subTest(dpi=dpi, aware=aware, skip=skip):
                    name = "dpi%d%s%s" % (dpi, "aware" if aware else "", "skip" if skip else "")
                    rows = self.Run(self.Copy(name, settings), dpi if aware else 96, dpi, skip,
                                    "exitpoll_dpi_%d%s%s.png" % (dpi, "" if aware else
                                                                 "_unaware",
                                                                 "_skip" if skip else ""))
                    table.append((dpi, aware, skip, rows))
        for dpi, aware, skip, rows in table:
            print("%3d DPI %-12s %s" % (dpi, ("aware" if aware else "unaware") +
                                        (" skip" if skip else ""), "; ".join(
                "%s %s" % (n, r) for n, r in rows[:6] + rows[-1:])))

    def Run(self, exe, scale, dpi, skip, screenshot):
        with h.ScriptedServer([a.OK_REPLY]) as server:
            app = h.Start(h.CommandLine(exe, b"My_New_Tool"), timeout=180)
            with app:
                info = h.WaitForWindow(a.CAPTION, 120)
                form = info["window"]
                tile = h.WaitUntil(lambda: IconTile(h.Screenshot(), form), 20, interval=0.2,
                                   what="the caption's icon")
                rows = Rectangles(form) + [("icon", tile)]
                designed = Designed(scale, skip, dpi)
                for (name, actual), (_, want) in zip(rows, designed):
                    for got, value in zip(actual, want):
                        if value is not None:
                            self.assertLessEqual(abs(got - value), 1, (name, actual, want))
                self.assertEqual([n for n, _ in rows], [n for n, _ in designed])
                x, y, width, height = form["rect"]
                self.assertTrue(x >= 0 and y >= 0 and x + width <= self.screen[0] and
                                y + height <= self.screen[1], "the whole window in the shot")
                # The icon inside the caption strip, at its left end.
                clientLeft, clientTop = form["client"][:2]
                self.assertTrue(0 < tile[1] and y + tile[1] + tile[3] <= clientTop and
                                0 < tile[0] <= clientLeft - x + Scaled(8, dpi), tile)
                question = h.FindChild(form, text="Why have you made up your mind to remove "
                                                  "My New Tool?")
                clientLeft, clientTop, clientWidth, _ = form["client"]
                self.assertEqual(question["rect"][1] - clientTop, Scaled(36, scale))
                self.assertEqual(question["rect"][0] - clientLeft,
                                 clientWidth // 2 - question["rect"][2] // 2)
                os.makedirs(SCREENSHOTS, exist_ok=True)
                h.SaveScreenshot(os.path.join(SCREENSHOTS, screenshot))
                a.Activate()  # the focus in the free-text field: Return presses the button
                h.Key("Return")
                self.assertEqual(app.Wait(), 0)
            self.assertEqual(server.Requests(), [a.Request(
                b"prj=My+New+Tool&reason=Other%3a+&os=Windows+XP")], "the report unchanged")
        return rows


if __name__ == "__main__":
    unittest.main(verbosity=2)
