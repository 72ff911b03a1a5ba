#!/usr/bin/env python3
"""The harness's display side on the probe's window: finding and reading a live window,
clicking at client coordinates, typing, keys, and screenshot pixels."""
import unittest

import harness as h

CAPTION = "Harness probe"
PROBE_COLOR = (0x99, 0x66, 0x33)


class WindowTest(unittest.TestCase):
    def Probe(self):
        launched = h.Start(h.CommandLine(h.Helper("probe"), b"--window"), timeout=120)
        self.addCleanup(launched.Close)
        return launched, h.WaitForWindow(CAPTION)

    def test_window_is_read_typed_into_and_clicked(self):
        launched, info = self.Probe()
        window = info["window"]
        self.assertEqual(window["rect"], [100, 100, 300, 200])
        edit = h.FindChild(window, className="Edit")
        button = h.FindChild(window, text="Done", className="Button")
        left, top = window["client"][:2]
        self.assertEqual(edit["rect"][:2], [left + 10, top + 10])
        self.assertEqual(button["rect"], [left + 10, top + 50, 80, 25])
        self.assertEqual(button["checked"], 0)
        self.assertEqual(info["focus"], edit["hwnd"])
        self.assertTrue(edit["focused"])
        self.assertGreaterEqual(info["respondsMs"], 0)

        shot = h.Screenshot()
        self.assertTrue(h.ColorNear(shot.Pixel(left + 150, top + 120), PROBE_COLOR),
                        shot.Pixel(left + 150, top + 120))

        h.ClickCaption(CAPTION)
        text = "say \"hi\" & @:#% caf\u00e9"  # the last byte is 0xE9 in code page 1252
        h.TypeText(text)
        h.WaitForText(CAPTION, "Edit", text)
        h.ClickClient(CAPTION, 50, 62)
        self.assertEqual(launched.Wait(), 0)
        self.assertEqual(launched.Stdout(), b"clicked:" + text.encode("cp1252"))
        h.WaitForNoWindow(CAPTION)

    def test_alt_f4_closes_the_focused_window(self):
        launched, _ = self.Probe()
        h.ClickCaption(CAPTION)
        h.Key("alt+F4")
        self.assertEqual(launched.Wait(), 0)
        self.assertEqual(launched.Stdout(), b"closed:")


if __name__ == "__main__":
    unittest.main(verbosity=2)
