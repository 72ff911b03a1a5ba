#!/usr/bin/env python3
"""What the user chooses reaches the report: every reason by clicking its radio box, typed
free text beyond ASCII and URL syntax in the report and in the mail, and the same report
whichever way the window is closed."""
import unittest

import applet as a
import harness as h

# Typed into the free-text field; the last character is the byte 0xE9 in code page 1252.
FREE_TEXT = "say \"hi\" & @:#% caf\u00e9"


class InputTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        h.RegisterMailtoCapture()
        a.UseWindowsVersion("winxp")

    def Run(self, server, choose, how, env=None):
        """Starts the applet, lets `choose()` act on the window, closes it `how`; returns the
        request the server received."""
        before = len(server.Requests())
        app, info = a.Start(env=env)
        with app:
            choose()
            a.Close(how, info)
            self.assertEqual(app.Wait(), 0)
        requests = server.Requests()
        self.assertEqual(len(requests), before + 1)
        return requests[-1]

    def test_every_reason_by_clicking_its_radio_box(self):
        with h.ScriptedServer([a.OK_REPLY]) as server:
            for position, reason in enumerate(a.REASONS):
                with self.subTest(reason):
                    def Choose():
                        a.ClickClient(a.ReasonPoint(position))
                        h.WaitUntil(lambda: [b["text"] for b in a.Inspect()["window"]
                                             ["children"][0]["children"] if b["checked"] == 1]
                                    == [reason], 60, what="only %r checked" % reason)
                    encoded = reason.replace(" ", "+").encode()
                    if reason == "Other":
                        encoded += b"%3a+"
                    self.assertEqual(self.Run(server, Choose, "button"), a.Request(
                        b"prj=My+New+Tool&reason=" + encoded + b"&os=Windows+XP"))

    def test_free_text_in_the_report_and_in_the_mail(self):
        def Type():
            a.Activate()  # the focus starts in the free-text field
            h.TypeText(FREE_TEXT)
            h.WaitForText(a.CAPTION, "tk_EDIT", FREE_TEXT)
        # "ok" is no confirmation, so the same answer also goes to mail.
        with h.ScriptedServer([a.OK_REPLY.replace(b"OK\r\n", b"ok\r\n")]) as server, \
                h.MailCapture() as mail:
            request = self.Run(server, Type, "button", env=mail.env)
            self.assertEqual(request, a.Request(
                b"prj=My+New+Tool&reason=Other%3a+say+%22hi%22+%26+@%3a%23%25+caf%e9"
                b"&os=Windows+XP"))  # the at sign stayed in the query; the host is ours
            self.assertEqual(mail.WaitForUrls(1), [
                a.MAIL_PREFIX + b"My+New+Tool&body=Other:%20say%20%22hi%22%20%26%20@:%23%25"
                b"%20caf\xe9"])

    def test_every_way_of_closing_sends_the_same_report(self):
        expected = a.Request(b"prj=My+New+Tool&reason=Unstable&os=Windows+XP")
        with h.ScriptedServer([a.OK_REPLY]) as server:
            for how in ["return", "button", "closebox", "altf4"]:
                with self.subTest(how):
                    self.assertEqual(self.Run(server, lambda: a.ClickClient(a.ReasonPoint(0)),
                                              how), expected)


if __name__ == "__main__":
    unittest.main(verbosity=2)
