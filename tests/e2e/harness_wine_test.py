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


class ProcessWatchTest(unittest.TestCase):
    def test_waits_for_a_program_it_did_not_start(self):
        # A copy under a name of its own, so that probes of tests running alongside don't count.
        folder = tempfile.mkdtemp(prefix="exitpoll-watch-")
        self.addCleanup(shutil.rmtree, folder)
        watched = os.path.join(folder, "watched_probe.exe")
        shutil.copy(h.Helper("probe"), watched)
        self.assertEqual(h.ProcessCount("watched_probe.exe"), 0)
        with h.Start(h.CommandLine(watched, b"--hang"), timeout=4.0) as hanging:
            h.WaitUntil(lambda: h.ProcessCount("WATCHED_PROBE.EXE") == 1, 30,
                        what="the probe to run")
            with h.WatchProcesses("watched_probe.exe", timeout=0.5) as short:
                self.assertEqual((short.Wait(), h.FoundCount(short)), (1, 1))
            with h.WatchProcesses("watched_probe.exe", timeout=60) as watch:
                self.assertEqual(h.FoundCount(watch), 1)
                self.assertEqual(watch.Wait(), 0)  # once the launcher has ended the probe
            self.assertTrue(hanging.process.wait(30) is not None)
        self.assertEqual(h.ProcessCount("watched_probe.exe"), 0)


class RegistryTest(unittest.TestCase):
    def test_query(self):
        key = "HKCU\\Software\\exitpoll-harness"
        self.addCleanup(h.Wine, ["reg", "delete", key, "/f"], check=False)
        path = '"C:\\Program Files\\x.exe" /S'
        h.RegAdd(key, "Path", path)
        h.RegAdd(key, "Empty", "")
        h.RegAdd(key, "Count", "7", "REG_DWORD")
        cases = [("Path", path), ("path", path), ("Empty", ""), ("Count", "0x7"), ("Missing", None)]
        for value, data in cases:
            with self.subTest(value):
                self.assertEqual(h.RegQuery(key, value), data)
        self.assertTrue(h.RegKeyExists(key))
        self.assertFalse(h.RegKeyExists(key + "\\Missing"))
        self.assertIsNone(h.RegQuery(key + "\\Missing", "Path"))
        prefix = os.environ["WINEPREFIX"]
        self.assertEqual(h.UnixPath("C:\\Program Files\\x.exe"),
                         os.path.join(prefix, "drive_c", "Program Files", "x.exe"))
        self.assertEqual(h.UnixPath(h.WindowsPath("/tmp/a b/c")), "/tmp/a b/c")


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
