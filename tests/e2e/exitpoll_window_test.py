#!/usr/bin/env python3
"""The applet's window read from the live windows and the screen (place, size, caption,
styles, the radio boxes' tops, the checked reason, the focus, the centred question, the
gradient strip), and the product name from the command line as the uninstaller writes it."""
import unittest

import applet as a
import harness as h

WS_POPUP, WS_CAPTION, WS_MINMAX = 0x80000000, 0x00C00000, 0x00030000
SHADOW, HIGHLIGHT = (160, 160, 160), (255, 255, 255)  # Wine's button shadow and highlight


class WindowTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        h.RegisterMailtoCapture()
        a.UseWindowsVersion("winxp")

    def test_layout_texts_and_gradient(self):
        with h.ScriptedServer([a.OK_REPLY]):
            app, info = a.Start()
            with app:
                form = info["window"]
                self.assertEqual((form["text"], form["rect"]), ("Uninstall", [324, 199, 430, 328]))
                style = form["style"] & 0xFFFFFFFF
                self.assertEqual(style & (WS_POPUP | WS_CAPTION), WS_POPUP | WS_CAPTION)
                self.assertEqual(style & WS_MINMAX, 0)
                self.assertEqual(form["exstyle"], 0x101)
                left, top, clientWidth, _ = form["client"]

                group = form["children"][0] if form["children"][0]["class"] == "tk_BUTTON" \
                    and form["children"][0]["text"] == "" else h.FindChild(form, text="")
                self.assertEqual(group["rect"], [left + 16, top + 60, 389, 181])
                edit, radios = group["children"][0], group["children"][1:]
                self.assertEqual([r["text"] for r in radios], a.REASONS)
                self.assertEqual([(r["rect"][0] - group["rect"][0], r["rect"][1] - group["rect"][1])
                                  for r in radios], [(8, 12 + 23 * i) for i in range(7)])
                self.assertEqual([r["checked"] for r in radios], [0] * 6 + [1])
                self.assertEqual(edit["rect"][:3],
                                 [group["rect"][0] + 78, group["rect"][1] + 150, 301])
                self.assertEqual((info["focus"], edit["focused"]), (edit["hwnd"], True))

                question = h.FindChild(form, text="Why have you made up your mind to remove "
                                                  "My New Tool?")
                width = question["rect"][2]
                self.assertEqual(question["rect"][:2],
                                 [left + clientWidth // 2 - width // 2, top + 36])
                self.assertIsNotNone(h.FindChild(form, text="Question:"))
                button = h.FindChild(form, text="Uninstall")
                self.assertEqual(button["rect"], [left + 328, top + 252, 76, 25])

                # The strip runs from the button shadow to the highlight, left to right; its
                # last column stops one step short of the highlight.
                shot = h.Screenshot()
                y = top + 8 + 18  # below the title's text
                row = [shot.Pixel(left + 4 + x, y) for x in range(0, 412, 37)] + \
                    [shot.Pixel(left + 4 + 411, y)]
                self.assertTrue(h.ColorNear(row[0], SHADOW), row)
                self.assertTrue(h.ColorNear(row[-1], HIGHLIGHT, 3), row)
                self.assertTrue(all(p[0] == p[1] == p[2] for p in row), row)  # greys
                self.assertEqual(row, sorted(row), "lighter from left to right")
                self.assertEqual(len(set(row)), len(row), row)
                a.Close("button")
                self.assertEqual(app.Wait(), 0)

    def test_product_name_from_the_command_line(self):
        cases = [
            # (reason, raw parameter text, question's name, report's prj value)
            ("underscores stand for spaces", b"My_New_Tool", "My New Tool", b"My+New+Tool"),
            ("quoted with spaces", b'"My Product Name"', "My Product Name", b"My+Product+Name"),
            ("no parameter", b"", "", b""),
        ]
        with h.ScriptedServer([a.OK_REPLY]) as server:
            for reason, tail, name, prj in cases:
                with self.subTest(reason):
                    app, _ = a.Start(tail)
                    with app:
                        question = "Why have you made up your mind to remove " + name + "?"
                        h.WaitUntil(lambda: h.FindChild(a.Inspect()["window"], text=question),
                                    60, what=repr(question))
                        a.Close("button")
                        self.assertEqual(app.Wait(), 0)
                    self.assertEqual(server.Requests()[-1], a.Request(
                        b"prj=" + prj + b"&reason=Other%3a+&os=Windows+XP"))

    def test_5000_byte_parameter(self):
        # No crash and exit code 0; the report either reaches the server or goes to mail.
        with h.ScriptedServer([a.OK_REPLY]) as server, h.MailCapture() as mail:
            app, _ = a.Start(b"x" * 5000, env=mail.env)
            with app:
                a.Close("button")
                self.assertEqual(app.Wait(), 0)
            stored = server.Requests() == [a.Request(b"prj=" + b"x" * 5000 +
                                                     b"&reason=Other%3a+&os=Windows+XP")]
            mailed = mail.SettledUrls() == [a.MAIL_PREFIX + b"x" * 5000 + b"&body=Other:%20"]
            self.assertTrue(stored != mailed, (server.Requests(), mail.Urls()))

    def test_os_value_under_older_windows(self):
        try:
            with h.ScriptedServer([a.OK_REPLY]) as server:
                for version, os in [("win98", b"Windows+98SE"), ("winxp", b"Windows+XP")]:
                    with self.subTest(version):
                        a.UseWindowsVersion(version)
                        app, _ = a.Start()
                        with app:
                            a.Close("button")
                            self.assertEqual(app.Wait(), 0)
                        self.assertEqual(server.Requests()[-1], a.Request(
                            b"prj=My+New+Tool&reason=Other%3a+&os=" + os))
        finally:
            a.UseWindowsVersion("winxp")


if __name__ == "__main__":
    unittest.main(verbosity=2)
