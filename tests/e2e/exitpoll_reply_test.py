#!/usr/bin/env python3
"""The applet against scripted statistics servers: the exact report request, which replies
count as a confirmation (no mail) and which send the user to mail, with the exact URL."""
import unittest

import applet as a
import harness as h

QUERY = b"prj=My+New+Tool&reason=Too+expensive&os=Windows+XP"
MAIL = a.MAIL_PREFIX + b"My+New+Tool&body=Too%20expensive"
HEADER = b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 4\r\n\r\n"


class ReplyTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        h.RegisterMailtoCapture()
        a.UseWindowsVersion("winxp")

    def ChooseAndUninstall(self, mail):
        """Runs the applet, chooses "Too expensive", presses Uninstall and checks exit code 0."""
        app, _ = a.Start(env=mail.env)
        with app:
            a.ClickClient(a.ReasonPoint(4))
            h.WaitUntil(lambda: h.FindChild(a.Inspect()["window"], text="Too expensive")
                        ["checked"] == 1, 60, what="Too expensive checked")
            a.Close("button")
            self.assertEqual(app.Wait(), 0)

    def Deliver(self, script, close=True, mailExpected=False):
        """Delivers one report against the scripted server; returns the requests it saw and
        the mail URLs opened."""
        with h.ScriptedServer(script, close=close) as server, h.MailCapture() as mail:
            self.ChooseAndUninstall(mail)
            return server.Requests(), mail.SettledUrls()

    def test_replies(self):
        cases = [
            # (reason, server script, keeps the connection open, mail expected)
            ("one batch ending in OK", [a.OK_REPLY], True, False),
            ("lower-case ok", [HEADER + b"ok\r\n"], True, True),
            ("OK with a trailing space", [HEADER + b"OK \r\n"], True, True),
            ("markup page", [HEADER + b"<html><body>OK</body></html>\r\n"], True, True),
            ("OK in a later batch than the header, connection kept",
             [HEADER, h.Pause(0.5), b"OK\r\n"], False, False),
            ("Connection: close, then OK without a line end, then the close",
             [b"HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/plain\r\n\r\n",
              h.Pause(0.3), b"OK"], True, False),
            ("error status with OK body still counts: only the lines are judged",
             [b"HTTP/1.1 500 Oops\r\n\r\nOK\r\n"], True, False),
        ]
        for reason, script, close, mailExpected in cases:
            with self.subTest(reason):
                requests, urls = self.Deliver(script, close, mailExpected)
                self.assertEqual(requests, [a.Request(QUERY)])
                self.assertEqual(urls, [MAIL] if mailExpected else [])

    def test_real_servers_confirm_and_store(self):
        # nginx keeps the connection alive with Content-Length; php -S closes it after
        # "Connection: close" and an "OK" without a line end.
        for name, Server in [("nginx", h.Nginx), ("php -S with server/", h.PhpServer)]:
            with self.subTest(name), Server() as server, h.MailCapture() as mail:
                self.ChooseAndUninstall(mail)
                self.assertEqual(mail.SettledUrls(), [])
                if Server is h.Nginx:
                    h.WaitUntil(lambda: server.AccessLog(), 5, what="nginx's log")
                    self.assertEqual(server.AccessLog(), [
                        b"GET /stat/uninstall.php?" + QUERY + b" HTTP/1.1"])
                else:
                    self.assertEqual([row[1:] for row in server.Rows()],
                                     [(b"My New Tool", b"Too expensive", b"Windows XP")])


if __name__ == "__main__":
    unittest.main(verbosity=2)
