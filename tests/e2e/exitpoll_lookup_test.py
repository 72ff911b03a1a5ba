#!/usr/bin/env python3
"""The applet with a host name as its statistics host, under resolvers of the test's own:
the name found in the hosts file, a name server that never answers, and one that answers
"no such name" at once. The close stays within its 3000 ms and the window answers."""
import os
import time
import unittest

import applet as a
import harness as h
import resolver

NAMED_EXE = os.environ.get("EXITPOLL_NAMED_EXE", "")
QUERY = b"prj=My+New+Tool&reason=Other%3a+&os=Windows+XP"
REQUEST = (b"GET /stat/uninstall.php?" + QUERY + b" HTTP/1.1\r\nUser-Agent: ExitPoll-HTTP\r\n"
           b"Host: " + resolver.NAME.encode() + b"\r\n\r\n")
MAIL = a.MAIL_PREFIX + b"My+New+Tool&body=Other:%20"
WAIT_S = 2.9  # the 3000 ms limit, less the clocks' disagreement


class LookupTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not NAMED_EXE:
            raise unittest.SkipTest("the build with a host name is not built")
        if not resolver.Available():
            raise unittest.SkipTest("needs root and mount namespaces (unshare -m)")
        h.RegisterMailtoCapture()
        a.UseWindowsVersion("winxp")

    def Close(self, hosts, dns, mail):
        """Runs the named build with these hosts lines, presses Uninstall and returns the
        launched program and the time of the click."""
        files = resolver.NameFiles(hosts)
        self.addCleanup(files.Close)
        app, _ = a.Start(env=mail.env, exe=NAMED_EXE, wrapper=files.Wrapper())
        self.addCleanup(app.Close)
        return app, a.Close("button")

    def test_a_name_from_the_hosts_file_is_reported(self):
        with resolver.DnsServer(answer=True) as dns, h.ScriptedServer([a.OK_REPLY]) as server, \
                h.MailCapture() as mail:
            app, _ = self.Close("127.0.0.1 %s\n" % resolver.NAME, dns, mail)
            self.assertEqual(server.WaitForRequest(timeout=15), REQUEST)
            self.assertEqual(app.Wait(), 0)
            time.sleep(0.3)  # a mail would have come by now
            self.assertEqual(mail.Urls(), [])
            self.assertEqual(dns.Names(), [])

    def test_a_name_server_that_never_answers_holds_the_close_no_longer_than_the_wait(self):
        with resolver.DnsServer(answer=False) as dns, h.MailCapture() as mail:
            app, closed = self.Close("", dns, mail)
            h.WaitUntil(lambda: resolver.NAME in dns.Names(), 10, what="the query")
            during = a.Inspect()  # hidden by the button, and still answering
            self.assertLess(time.monotonic() - closed, WAIT_S, "still waiting")
            self.assertGreaterEqual(during["respondsMs"], 0)
            self.assertLess(during["respondsMs"], 500)
            urls = mail.WaitForUrls(1, timeout=15)
            elapsed = time.monotonic() - closed
            self.assertEqual(app.Wait(), 0)
            self.assertEqual(urls, [MAIL])
            self.assertGreaterEqual(elapsed, WAIT_S)
            self.assertLess(elapsed, 8, "the close waited for the resolver")

    def test_a_name_that_does_not_exist_mails_at_once(self):
        with resolver.DnsServer(answer=True) as dns, h.MailCapture() as mail:
            app, closed = self.Close("", dns, mail)
            self.assertEqual(app.Wait(), 0)
            # The applet's end, not the mail program's, which starts slowly on a slow Wine.
            elapsed = time.monotonic() - closed
            self.assertEqual(mail.WaitForUrls(1, timeout=15), [MAIL])
            self.assertIn(resolver.NAME, dns.Names())
            self.assertLess(elapsed, WAIT_S, "the answer ends the wait")


if __name__ == "__main__":
    unittest.main(verbosity=2)
