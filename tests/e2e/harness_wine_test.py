#!/usr/bin/env python3
"""The harness's Wine side on the helpers that exist without the applet: exact command lines
through the launcher, exit codes, the launcher's time limit, and mail URLs reaching the
capture helper through the shell's mailto class."""
import os
import shutil
import tempfile
import unittest

import harness as h



class LauncherTest(unittest.TestCase):
    def test_command_line_arrives_exactly(self):
        folder = tempfile.mkdtemp(prefix="exitpoll probe ")  # a program path with a space
        self.addCleanup(shutil.rmtree, folder)
        spaced = os.path.join(folder, "probe.exe")
        shutil.copy(h.Helper("probe"), spaced)
        cases = [
            # (reason, program, text after the program)
            ("underscored name", h.Helper("probe"), b"My_New_Tool"),
            ("quoted name with spaces", h.Helper("probe"), b'"My Product"'),
            ("inner quotes Wine would re-quote", h.Helper("probe"), b'ab"c d"e'),
            ("empty quoted pair", h.Helper("probe"), b'"" Tool'),
            ("tabs and runs of spaces kept", h.Helper("probe"), b"\ta  b \t"),
            ("no parameter at all", h.Helper("probe"), b""),
            ("program path with a space", spaced, b"Tool"),
            ("ANSI byte 0xE9", h.Helper("probe"), b"Caf\xe9"),
            ("5000-byte parameter", h.Helper("probe"), b"x" * 5000),
        ]
        for reason, program, tail in cases:
            with self.subTest(reason):
                line = h.CommandLine(program, tail)
                code, out = h.Run(line, timeout=30)
                self.assertEqual(code, 42)
                self.assertEqual(out, line)

    def test_ansi_code_page_is_1252(self):
        # Wine fixes it when its server starts, from the locale scripts/wine-env.sh runs in;
        # the bytes above 127 that tests type and expect depend on it.
        self.assertEqual(h.Run(h.CommandLine(h.Helper("probe"), b"--acp")), (0, b"1252"))

    def test_windows_version_is_set_for_one_program(self):
        cases = [("win98", b"1 4.10"), ("winxp", b"2 5.1")]
        for version, seen in cases:
            with self.subTest(version):
                h.SetWindowsVersion("probe.exe", version)
                self.assertEqual(h.Run(h.CommandLine(h.Helper("probe"), b"--version")), (0, seen))

    def test_a_program_past_its_time_is_ended(self):
        with h.Start(h.CommandLine(h.Helper("probe"), b"--hang"), timeout=1.0) as launched:
            with self.assertRaisesRegex(h.HarnessError, "ended by the launcher"):
                launched.Wait()


class MailCaptureTest(unittest.TestCase):
    def test_shell_hands_the_exact_url_to_the_capture(self):
        h.RegisterMailtoCapture()
        urls = [
            b"mailto:feedback@example.com?subject=uninstall+My+Tool&body=Other:%20a&b",
            b'mailto:feedback@example.com?subject=uninstall+&body=Other:%20say%20"hi"%20#%25\xe9',
        ]
        with h.MailCapture() as capture:
            for url in urls:
                code, out = h.Run(h.CommandLine(h.Helper("probe"), b"--shell " + url),
                                  env=capture.env)
                self.assertEqual(code, 0)
                self.assertGreater(int(out.split()[1]), 32, out)  # ShellExecute succeeded
            self.assertEqual(capture.WaitForUrls(len(urls)), urls)


if __name__ == "__main__":
    unittest.main(verbosity=2)
