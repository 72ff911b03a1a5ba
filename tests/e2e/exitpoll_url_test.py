#!/usr/bin/env python3
"""The `Url` setting: the report through the system's HTTP stack to the collector under nginx
and php-fpm over HTTPS with a certificate of a throwaway CA, trusted or not, after a redirect
from HTTP, through a proxy, to a server that never answers, without wininet.dll, to a server
whose scripted answers hold the redirect and reply rules, and Urls that break the rule. Each case is a real run of a copy of the applet with its settings file, in a
mount namespace where the test chooses the hosts file and the roots Wine trusts. Prints the
time from the close to the applet's end."""
import collections
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import applet as a
import harness as h
import tls_servers as tls

NAME = "stats.exitpoll-url.test"
WAIT_S = 2.9  # the 3000 ms limit, less the clocks' disagreement
ROW = (b"My New Tool", b"Other: ", b"Windows XP")
OTHER_QUERY = b"prj=My+New+Tool&reason=Other%3a+&os=Windows+XP"
MAIL = a.MAIL_PREFIX + b"My+New+Tool&body=Other:%20"
PROXY_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"

Case = collections.namedtuple("Case", "number why url trusted wininet proxy stored mail")
# url: "{https}", "{plain}", "{up}", "{down}" and "{silent}" stand for the servers' ports (see
# tls_servers.Collector); stored: a row arrives at the collector; mail: the answer is mailed.
CASES = [
    Case(1, "HTTPS, CA trusted", "https://%s:{https}/stat/uninstall.php" % NAME,
         True, True, False, True, False),
    Case(2, "HTTPS, CA not trusted", "https://%s:{https}/stat/uninstall.php" % NAME,
         False, True, False, False, True),
    Case(3, "HTTP answered with 301 to HTTPS", "http://%s:{up}/stat/uninstall.php" % NAME,
         True, True, False, True, False),
    Case(3, "but never from HTTPS down to HTTP", "https://%s:{down}/stat/uninstall.php" % NAME,
         True, True, False, False, True),
    Case(4, "through the proxy, the name known to it alone",
         "https://%s:{https}/stat/uninstall.php?via=proxy" % NAME, True, True, True, True, False),
    Case(5, "a TLS server that never answers", "https://%s:{silent}/stat/uninstall.php" % NAME,
         True, True, False, False, True),
    Case(6, "no wininet.dll: https mails at once", "https://%s:{https}/stat/uninstall.php" % NAME,
         True, False, False, False, True),
    Case(6, "no wininet.dll: http by the own client", "http://%s:{plain}/stat/uninstall.php"
         % NAME, True, False, False, True, False),
    # The scripted server's answers (SCRIPT): a Location keeps the Url rule, a path alone
    # stays on the server, and only a final 2xx whose body ends with the line OK counts.
    Case(7, "a Location with user information", "https://%s:{script}/userinfo" % NAME,
         True, True, False, False, True),
    Case(8, "a relative Location, on the same server", "https://%s:{script}/relative" % NAME,
         True, True, False, False, False),
    Case(9, "a 302 with a 4 KB Location and an OK body", "https://%s:{script}/long" % NAME,
         True, True, False, False, True),
    Case(10, "a 500 with an OK body", "https://%s:{script}/error" % NAME,
         True, True, False, False, True),
    Case(11, "stored, then OK", "https://%s:{script}/stored" % NAME,
         True, True, False, False, False),
    Case(12, "OK, then error", "https://%s:{script}/late-error" % NAME,
         True, True, False, False, True),
    Case(13, "a body over 512 bytes ending in OK", "https://%s:{script}/big" % NAME,
         True, True, False, False, False),
]


def Reply(status, body, headers=b""):
    return (b"HTTP/1.1 %s\r\n%sContent-Length: %d\r\nConnection: close\r\n\r\n"
            % (status, headers, len(body)) + body)


def Script(httpsPort):
    """The scripted server's answers; a redirect that is wrongly followed leads to the
    collector, which would store the report."""
    collector = b"https://%s:%d/stat/uninstall.php?" % (NAME.encode(), httpsPort) + OTHER_QUERY
    userinfo = collector.replace(b"https://", b"https://user@")
    return [
        (b"/userinfo", Reply(b"302 Found", b"OK", b"Location: %s\r\n" % userinfo)),
        (b"/relative", Reply(b"302 Found", b"", b"Location: /stat/ok?x=1\r\n")),
        (b"/stat/ok", Reply(b"200 OK", b"OK\n")),
        (b"/long", Reply(b"302 Found", b"OK",
                         b"Location: %s&pad=%s\r\n" % (collector, b"p" * 4096))),
        (b"/error", Reply(b"500 Internal Server Error", b"OK")),
        (b"/stored", Reply(b"200 OK", b"stored\nOK\n")),
        (b"/late-error", Reply(b"200 OK", b"OK\nerror\n")),
        (b"/big", Reply(b"200 OK", b"x" * 700 + b"\nOK")),
    ]
# Urls that break the rule: the built-in delivery, byte for byte.
BROKEN = ["javascript:alert(1)//%s/x" % NAME, "https://user@%s/x" % NAME, "ftp://%s/x" % NAME,
          "https://%s/a b" % NAME, ("https://%s/" % NAME).ljust(300, "p")]

# The maker's check of an address: (address, CA trusted, the verdict's beginning).
CHECKS = [
    ("https://%s:{https}/stat/uninstall.php" % NAME, True, "accepted"),
    ("%s:{up}" % NAME, True, "redirected: the server answers 301 to https://%s:{https}/" % NAME),
    ("https://%s:{https}/stat/none.php" % NAME, True, '"OK" missing: the server answered 404'),
    ("https://%s:{silent}/stat/uninstall.php" % NAME, True, "no answer within 3"),
    ("https://%s:{https}/stat/uninstall.php" % NAME, False, "certificate not trusted"),
]
CHECK_ENDPOINT = os.path.join(h.SOURCE_DIR, "scripts", "check-endpoint")


def WriteApplet(folder, url):
    """A copy of the applet in `folder` with a settings file that sets `url`."""
    exe = os.path.join(folder, "exitpoll.exe")
    shutil.copy(h.EXITPOLL_EXE, exe)
    with open(os.path.join(folder, "exitpoll.ini"), "w") as f:
        f.write("[report]\r\nUrl=%s\r\n" % url)
    return exe


class UrlTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not h.EXITPOLL_EXE:
            raise unittest.SkipTest("exitpoll.exe is not built")
        if not tls.Available():
            raise unittest.SkipTest("needs root and mount namespaces (unshare -m)")
        h.RegisterMailtoCapture()
        a.UseWindowsVersion("winxp")
        cls.stack = []
        try:
            cls.ca = cls.Keep(tls.Authority("trusted"))
            cls.other = cls.Keep(tls.Authority("other"))
            cert, key = cls.ca.Issue(NAME)
            cls.db = h.collector.SqliteDatabase()
            cls.stack.append(cls.db.Drop)
            cls.server = tls.Collector(cls.db, NAME, cert, key)
            cls.stack.append(cls.server.Stop)
            cls.silent = tls.SilentServer()
            cls.stack.append(cls.silent.Stop)
            cls.script = tls.ScriptedTls(cert, key, Script(cls.server.port))
            cls.stack.append(cls.script.Stop)
        except Exception:
            cls.tearDownClass()
            raise

    @classmethod
    def Keep(cls, thing):
        cls.stack.append(thing.Close)
        return thing

    @classmethod
    def tearDownClass(cls):
        while cls.stack:
            cls.stack.pop()()

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="exitpoll-url-")
        self.addCleanup(shutil.rmtree, self.folder, True)

    def Ports(self):
        return {"https": self.server.port, "plain": self.server.plainPort,
                "up": self.server.upPort, "down": self.server.downPort, "silent": self.silent.port,
                "script": self.script.port}

    def RunApplet(self, url, env, wrapper=None, mails=False):
        """Runs the applet with this Url, presses Uninstall and waits for its end, and when it
        `mails`, for the mail helper. Returns (seconds from the click to the end, seconds from
        the click to the mail or None, the exit code)."""
        exe = WriteApplet(self.folder, url)
        with h.Start(h.CommandLine(exe, b"My_New_Tool"), env=env, timeout=60,
                     wrapper=wrapper) as app:
            info = h.WaitForWindow(a.CAPTION, 60)
            mail = h.UnixPath(env["EXITPOLL_CAPTURE_FILE"])
            # Before the click for the end, after it for the mail: neither is shortened.
            before = time.monotonic()
            clicked = a.Close("button", info, quick=True)
            mailed = None
            while app.Running():
                if mailed is None and os.path.exists(mail):
                    mailed = time.monotonic() - clicked
                time.sleep(0.01)
            ended = time.monotonic() - before
            if mails and mailed is None:  # the shell starts the mail helper on its own time
                h.WaitUntil(lambda: os.path.exists(mail), 15, 0.01, "the mail")
                mailed = time.monotonic() - clicked
            return ended, mailed, app.Wait()

    def test_cases_through_the_system_stack(self):
        figures = []
        for case in CASES:
            with self.subTest("%d: %s" % (case.number, case.why)):
                figures.append((case, self.Run(case)))
        print("\nclose to exit, under Wine:")
        for case, ended in figures:
            print("  case %d, %-45s %6.0f ms" % (case.number, case.why, ended * 1000))

    def Run(self, case):
        url = case.url.format(**self.Ports())
        hosts = "" if case.proxy else "127.0.0.1 %s\n" % NAME
        trust = tls.TrustFiles(hosts, [self.ca if case.trusted else self.other])
        tls.ForgetRoots()
        self.addCleanup(trust.Close)
        before = len(self.db.Rows())
        proxy = None
        with h.MailCapture() as mail:
            env = dict(mail.env)
            if not case.wininet:
                env["WINEDLLOVERRIDES"] = os.environ.get("WINEDLLOVERRIDES", "") + ";wininet=d"
            if case.proxy:
                proxy = tls.Proxy([NAME])
                self.addCleanup(proxy.Stop)
                h.RegAdd(PROXY_KEY, "ProxyServer", "127.0.0.1:%d" % proxy.port)
                h.RegAdd(PROXY_KEY, "ProxyEnable", "1", "REG_DWORD")
            try:
                ended, mailed, code = self.RunApplet(url, env, trust.Wrapper(), case.mail)
            finally:
                if case.proxy:
                    h.RegAdd(PROXY_KEY, "ProxyEnable", "0", "REG_DWORD")
            self.assertEqual(code, 0)
            if case.stored:
                rows = h.WaitUntil(lambda: self.db.Rows()[before:], 15, what="the stored row")
            else:
                time.sleep(1)  # a row that came late would be here by now
                rows = self.db.Rows()[before:]
            self.assertEqual([r[1:] for r in rows], [ROW] if case.stored else [])
            self.assertEqual(mail.SettledUrls(), [MAIL] if case.mail else [])
        if case.proxy:
            self.assertIn(b"CONNECT %s:%d HTTP/1.1" % (NAME.encode(), self.server.port),
                          proxy.Lines())
        if case.number == 8:
            self.assertIn(b"/stat/ok?x=1", self.script.Paths(), "the relative Location")
        if case.number == 5:
            self.assertGreaterEqual(mailed, WAIT_S, "mailed before the limit")
            self.assertGreaterEqual(ended, WAIT_S)
            self.assertLess(ended, 8, "the close waited for the worker")
            self.assertGreater(self.silent.Accepted(), 0)
        elif case.mail:
            self.assertLess(ended, WAIT_S, "the failure ends the wait")
        return ended

    def test_a_url_that_breaks_the_rule_leaves_the_built_in_delivery(self):
        with h.ScriptedServer([a.OK_REPLY]) as server, h.MailCapture() as mail:
            for url in BROKEN:
                with self.subTest(url=url[:40]):
                    _, _, code = self.RunApplet(url, mail.env)
                    self.assertEqual(code, 0)
                    self.assertEqual(server.Requests()[-1:], [a.Request(OTHER_QUERY)])
            self.assertEqual(len(server.Requests()), len(BROKEN))
            self.assertEqual(mail.SettledUrls(), [])

    def test_check_endpoint_says_what_the_applet_would_meet(self):
        before = len(self.db.Rows())
        for address, trusted, verdict in CHECKS:
            address, verdict = address.format(**self.Ports()), verdict.format(**self.Ports())
            with self.subTest(address=address, trusted=trusted):
                trust = tls.TrustFiles("127.0.0.1 %s\n" % NAME, [self.ca if trusted else
                                                                 self.other])
                self.addCleanup(trust.Close)
                result = subprocess.run(trust.Wrapper() + [sys.executable, CHECK_ENDPOINT,
                                                           address],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        timeout=30)
                out = result.stdout.decode()
                self.assertTrue(out.startswith(verdict), out)
                self.assertEqual(result.returncode, 0 if verdict == "accepted" else 1)
        self.assertEqual([r[1] for r in self.db.Rows()[before:]], [b"exitpoll endpoint check"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
