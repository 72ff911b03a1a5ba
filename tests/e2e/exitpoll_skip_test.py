#!/usr/bin/env python3
"""The way to decline and the line on what is sent, from the settings file: the Skip button
beside the main one, which closes sends nothing (the button, the close box, Alt+F4, Escape,
Return on it after Tab) and which still send, and the Notice line left of the buttons, cut
short of them. Without the keys every close sends (exitpoll_input_test)."""
import os
import shutil
import tempfile
import unittest

import applet as a
import harness as h

SCREENSHOTS = os.environ.get("EXITPOLL_SCREENSHOT_DIR", tempfile.gettempdir())
NOT_OK = a.OK_REPLY.replace(b"OK\r\n", b"ok\r\n")  # a report that is sent is also mailed
SKIP = (244 + 76 // 2, 252 + 25 // 2)  # the Skip button's middle, left of the main one
NOTICE = "Sent without your name to Example Ltd: the reason and the Windows version of %PRODUCT%."
SETTINGS = ("[texts]\r\nSkip=Don't send\r\nNotice=%s\r\n" % NOTICE).encode()
QUERY = b"prj=My+New+Tool&reason=Other%3a+&os=Windows+XP"
MAILED = a.MAIL_PREFIX + b"My+New+Tool&body=Other:%20"


def Focused():
    info = a.Inspect()
    return next((c["text"] for c in h.Descendants(info["window"]) if c["focused"]), None)


def Keys(*keys):
    """Into the free-text field first (where the focus starts once the form is active)."""
    def Press():
        a.Activate()
        h.WaitUntil(lambda: Focused() == "", 60, what="the focus in the free-text field")
        for key in keys:
            h.Key(key)
    return Press


def ClickSkip():
    a.ClickClient(SKIP)


def CloseBox():
    a.Close("closebox")


def AltF4():
    a.Close("altf4")


def MainButton():
    a.Close("button")


def ReturnInTheEdit():
    a.Close("return")


# (why, what the person does, whether a report goes out)
CLOSES = [
    ("the Skip button", ClickSkip, False),
    ("the close box", CloseBox, False),
    ("Alt+F4", AltF4, False),
    ("Escape", Keys("Escape"), False),
    ("Tab to Skip, Return", Keys("Tab", "Return"), False),
    ("Tab to Skip, Space", Keys("Tab", "space"), False),
    ("Shift+Tab twice to Skip, Return", Keys("shift+Tab", "shift+Tab", "Return"), False),
    ("the main button", MainButton, True),
    ("Return in the free-text field", ReturnInTheEdit, True),
    ("Tab twice to the main button, Return", Keys("Tab", "Tab", "Return"), True),
    ("Shift+Tab to the main button, Return", Keys("shift+Tab", "Return"), True),
]


class SkipTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        h.RegisterMailtoCapture()

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="exitpoll-skip-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)

    def Copy(self, name, settings):
        exe = os.path.join(self.folder, name + ".exe")
        shutil.copy(h.EXITPOLL_EXE, exe)
        with open(exe[:-4] + ".ini", "wb") as f:
            f.write(settings)
        h.SetWindowsVersion(name + ".exe", "winxp")
        return exe

    def test_which_closes_send(self):
        exe = self.Copy("skip", SETTINGS)
        for why, act, sends in CLOSES:
            with self.subTest(why), h.ScriptedServer([NOT_OK]) as server, \
                    h.MailCapture() as mail:
                app, _ = a.Start(env=mail.env, exe=exe)
                with app:
                    act()
                    self.assertEqual(app.Wait(), 0)
                self.assertEqual(server.Requests(), [a.Request(QUERY)] if sends else [])
                self.assertEqual(mail.SettledUrls(), [MAILED] if sends else [])

    def test_layout_and_notice(self):
        long = "A notice much longer than the space beside the buttons, " * 3
        cases = [
            # (why, settings, Skip's caption or None, the notice shown, its width, screenshot)
            ("Skip and Notice", SETTINGS, "Don't send",
             NOTICE.replace("%PRODUCT%", "My New Tool"), 220, "exitpoll_skip_notice.png"),
            ("German", self.German(), "Nein danke",
             "Ohne Ihren Namen an Example GmbH: der Grund und die Windows-Version.", 220,
             "exitpoll_skip_notice_de.png"),
            ("a long Notice without Skip", b"[texts]\r\nNotice=" + long.encode() + b"\r\n",
             None, long.strip(), 304, "exitpoll_notice_long.png"),
        ]
        for number, (why, settings, skip, notice, width, screenshot) in enumerate(cases):
            with self.subTest(why), h.ScriptedServer([a.OK_REPLY]):
                caption = "Deinstallation" if skip == "Nein danke" else a.CAPTION
                app = h.Start(h.CommandLine(self.Copy("layout%d" % number, settings),
                                            b"My_New_Tool"), timeout=180)
                with app:
                    form = h.WaitForWindow(caption, 120)["window"]
                    left, top = form["client"][:2]
                    buttons = [c for c in form["children"]
                               if c["class"] == "tk_BUTTON" and not c["children"]]
                    self.assertEqual(buttons[0]["rect"], [left + 328, top + 252, 76, 25])
                    if skip:
                        self.assertEqual((buttons[1]["text"], buttons[1]["rect"]),
                                         (skip, [left + 244, top + 252, 76, 25]))
                    else:
                        self.assertEqual(len(buttons), 1)
                    label = h.FindChild(form, text=notice.encode("cp1252").decode("latin-1"))
                    self.assertEqual(label["rect"], [left + 16, top + 252, width, 25])
                    self.AssertGreyTextInside(label, len(notice) > 60)
                    os.makedirs(SCREENSHOTS, exist_ok=True)
                    h.SaveScreenshot(os.path.join(SCREENSHOTS, screenshot))
                    h.ClickClient(caption, *a.BUTTON)
                    self.assertEqual(app.Wait(), 0)

    def AssertGreyTextInside(self, label, cut):
        """The notice's pixels are grey and stay inside the label; a cut one ends with its
        ellipsis close to the label's right edge."""
        shot = h.Screenshot()
        x0, y0, width, height = label["rect"]
        face = shot.Pixel(x0 + width + 2, y0 + 1)  # the form's background beside it
        columns = [x for x in range(x0 - 4, x0 + width + 8)
                   if any(shot.Pixel(x, y) != face for y in range(y0, y0 + height))]
        self.assertTrue(columns, "no text drawn")
        self.assertGreaterEqual(min(columns), x0)
        self.assertLess(max(columns), x0 + width)
        if cut:
            self.assertGreater(max(columns), x0 + width - 16, "text up to the ellipsis")
        inks = {shot.Pixel(x, y) for x in columns for y in range(y0, y0 + height)} - {face}
        self.assertTrue(all(p[0] == p[1] == p[2] and p[0] > 40 for p in inks),
                        "grey, not black: %s" % sorted(inks)[:5])

    def German(self):
        with open(os.path.join(h.SOURCE_DIR, "examples", "ini", "de", "exitpoll.ini"),
                  "rb") as f:
            texts = f.read()
        keys = "\r\nSkip=Nein danke\r\nNotice=Ohne Ihren Namen an Example GmbH: der Grund " \
            "und die Windows-Version.\r\n"
        return texts.replace(b"\r\nButton=Entfernen\r\n", b"\r\nButton=Entfernen" + keys.encode())


if __name__ == "__main__":
    unittest.main(verbosity=2)
