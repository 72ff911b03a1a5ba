#!/usr/bin/env python3
"""The applet's wait for the server: its full length when no confirmation comes, the
window staying responsive meanwhile, and a second close during the wait sending nothing."""
import time
import unittest

import applet as a
import harness as h

QUERY = b"prj=My+New+Tool&reason=Other%3a+&os=Windows+XP"
MAIL = a.MAIL_PREFIX + b"My+New+Tool&body=Other:%20"
WAIT_S = 2.9  # the 3000 ms limit, less the clocks' disagreement


class WaitTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        h.RegisterMailtoCapture()
        a.UseWindowsVersion("winxp")

    def test_no_server_listening_mail_after_the_full_wait(self):
        with h.MailCapture() as mail:
            app, _ = a.Start(env=mail.env)
            with app:
                inspect = h.PreparedInspect(a.CAPTION)
                closed = a.Close("button")
                time.sleep(0.5)
                during = inspect.Take()  # hidden by the button, and still answering
                self.assertFalse(during["window"]["visible"])
                self.assertGreaterEqual(during["respondsMs"], 0)
                self.assertLess(during["respondsMs"], 500)
                self.assertLess(time.monotonic() - closed, WAIT_S, "still waiting")
                urls = mail.WaitForUrls(1)
                elapsed = time.monotonic() - closed
                self.assertEqual(app.Wait(), 0)
            self.assertEqual(urls, [MAIL])
            self.assertGreaterEqual(elapsed, WAIT_S)

    def test_button_close_hides_the_window_and_disables_the_button(self):
        # A server that keeps the connection and never answers, then one that answers
        # "ok" and keeps it: either way the mail follows the full wait.
        for script in ([], [a.OK_REPLY.replace(b"OK\r\n", b"ok\r\n")]):
            with self.subTest(script=script), h.ScriptedServer(script, close=False) as server, \
                    h.MailCapture() as mail:
                app, _ = a.Start(env=mail.env)
                with app:
                    inspect = h.PreparedInspect(a.CAPTION)
                    closed = a.Close("button")
                    server.WaitForRequest()
                    info = inspect.Take()
                    self.assertFalse(info["window"]["visible"])
                    button = h.FindChild(info["window"], text="Uninstall")
                    self.assertFalse(button["enabled"])
                    urls = mail.WaitForUrls(1)
                    elapsed = time.monotonic() - closed
                    self.assertEqual(app.Wait(), 0)
                self.assertEqual(urls, [MAIL])
                self.assertGreaterEqual(elapsed, WAIT_S)
                self.assertEqual(server.Requests(), [a.Request(QUERY)])

    def test_a_streaming_server_cannot_hold_the_close(self):
        # Lines every few milliseconds for at least 30 s: the wait still ends at its limit,
        # and the applet drops the connection long before the stream's end (after the mail,
        # which a slow Wine takes seconds to open).
        header = b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n"
        stream = [header] + [b"more data\r\n" * 200, h.Pause(0.002)] * 15000
        with h.ScriptedServer(stream, close=False) as server, h.MailCapture() as mail:
            app, _ = a.Start(env=mail.env)
            with app:
                closed = a.Close("button")
                self.assertEqual(app.Wait(), 0)
            self.assertEqual(mail.WaitForUrls(1), [MAIL])
            dropped = h.WaitUntil(lambda: server.peerCloseTimes[0], 60,
                                  what="the applet to drop the connection") - closed
            self.assertGreaterEqual(dropped, WAIT_S)
            self.assertLess(dropped, 20, "ended long before the stream")
            self.assertEqual(server.Requests(), [a.Request(QUERY)])

    def test_window_answers_during_the_wait_and_a_second_close_sends_nothing(self):
        seconds = ["closebox", "button", "altf4"]
        for second in seconds:
            with self.subTest(second=second), h.ScriptedServer([], close=False) as server, \
                    h.MailCapture() as mail:
                app, info = a.Start(env=mail.env)
                with app:
                    inspect = h.PreparedInspect(a.CAPTION)
                    closed = a.Close("altf4")
                    server.WaitForRequest()
                    during = inspect.Take()
                    self.assertTrue(during["window"]["visible"])  # closed from the caption
                    self.assertGreaterEqual(during["respondsMs"], 0)
                    self.assertLess(during["respondsMs"], 500)
                    a.Close(second, info, quick=True)  # still during the wait
                    self.assertLess(time.monotonic() - closed, WAIT_S, "still waiting")
                    urls = mail.WaitForUrls(1)
                    elapsed = time.monotonic() - closed
                    self.assertEqual(app.Wait(), 0)
                self.assertEqual(mail.SettledUrls(), [MAIL])  # no second mail
                self.assertEqual(urls, [MAIL])
                self.assertGreaterEqual(elapsed, WAIT_S)
                self.assertEqual(server.Requests(), [a.Request(QUERY)])


if __name__ == "__main__":
    unittest.main(verbosity=2)
