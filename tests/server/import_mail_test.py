#!/usr/bin/env python3
"""server/import-mail.php over an mbox written by a real mail program (Debian's mutt, saving
each mail it sends into its record file) and over hand-made hostile and broken messages, on
SQLite and PostgreSQL: what is stored, byte for byte, what is skipped, and that a second run
stores nothing more."""
import base64
import quopri
import hashlib
import os
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import collector as c  # noqa: E402

U = "utf-8"  # the cs of a report stored as UTF-8; None: bytes as they came

IMPORT = os.path.join(c.SERVER_DIR, "import-mail.php")
ID = "Report id: "

# Mails as the user's mail program sends them: (subject, body as typed, mutt settings, the
# stored (prj, reason, report_id, cs) or None when it is no report or already stored).
MUTT_MAILS = [
    ("uninstall Caf\u00e9 Tool", "Other: na\u00efve \u20ac price, 100% too high\n"
     + ID + "0123456789ABCDEF\n", "set allow_8bit=no",  # quoted-printable, UTF-8, Latin-1 subject
     ("Caf\u00e9 Tool".encode(), "Other: na\u00efve \u20ac price, 100% too high".encode(),
      "0123456789abcdef", U)),
    ("uninstall+Net+Tool", "Too expensive\n", "", (b"Net Tool", b"Too expensive", None, U)),
    ("uninstall Net Tool", "Other: \u0152uvre \u0178 \u03a9 smart\n",
     "set send_charset=windows-1252",
     (b"Net Tool", "Other: \u0152uvre \u0178 \u03a9 smart".encode(), None, U)),
    ("uninstall Net Tool", "Other: " + "word " * 40 + "end\n" + ID + "00000000000000ff\n",
     "set allow_8bit=no",
     (b"Net Tool", b"Other: " + b"word " * 40 + b"end", "00000000000000ff", U)),
    # The same report mailed again (another Message-ID), and one the endpoint stored first.
    ("uninstall Caf\u00e9 Tool", "Other: again\n" + ID + "0123456789abcdef\n", "", None),
    ("uninstall Net Tool", "Unstable\n" + ID + "1111111111111111\n", "", None),
    ("Re: uninstall Net Tool", "Unstable\n", "", None),
    ("uninstall Net Tool", "Other: a mail\nFrom here on, wrapped\n", "",
     (b"Net Tool", b"Other: a mail From here on, wrapped", None, U)),
]
MUTT_COUNTS = "5 stored, 2 already stored, 1 other mail, 0 broken, 0 kept as bytes"


def Message(headers, body):
    return ("\r\n".join(headers) + "\r\n\r\n").encode() + body


RU = ("Other: \u041f\u0440\u043e\u0433\u0440\u0430\u043c\u043c\u0430 "
      "\u043e\u0447\u0435\u043d\u044c \u043c\u0435\u0434\u043b\u0435\u043d\u043d\u0430\u044f")
JA = "Other: \u52d5\u4f5c\u304c\u9045\u3044\u2460 \\ ok"  # "Works slowly", NEC's circled 1
RED, EDIT = "\u0420\u0435\u0434", "\u7de8\u96c6"  # two products' names


def B64(text, charset):
    return base64.b64encode(text.encode(charset)).decode()


def QP(text, charset):
    return quopri.encodestring(text.encode(charset))


def Nested(depth, part):
    """A part inside `depth` levels of multipart/mixed."""
    for level in range(depth):
        part = b"Content-Type: multipart/mixed; boundary=n%d\r\n\r\n--n%d\r\n%s\r\n--n%d--\r\n" % (
            level, level, part, level)
    return part


HTML = (b"<html><head><title>Title</title><style>p {color: red}</style></head><body>"
        b"<!-- <p>a note</p> --><p>Other: caf&eacute; na\xc3\xafve &amp; &lt;b&gt;<br>\r\n"
        b"too&nbsp;slow</p><script>alert(1)</script>\r\n<p>Report id: 4444444444444444</p>"
        b"<div>Sent from my phone</div></body></html>")

# Single messages, hand-made: (file name, bytes, the stored (prj, reason, report_id, cs) or
# the kind of skip).
EML = [
    ("hostile.eml", Message(["Subject: uninstall <script>alert(1)</script>",
                             "Message-ID: <h@x>", "Content-Type: text/plain; charset=utf-8"],
                            b"Other: <img src=x onerror=alert(2)> '); DROP TABLE reports;--\r\n"),
     (b"<script>alert(1)</script>", b"Other: <img src=x onerror=alert(2)> '); DROP TABLE "
      b"reports;--", None, U)),
    ("alternative.eml", Message([
        "Subject: =?UTF-8?B?dW5pbnN0YWxsIELDpHI=?= =?UTF-8?Q?_T=C3=B6ol?=",
        "Date: Tue, 1 Dec 2026 10:00:00 +0100 (CET)", "MIME-Version: 1.0",
        'Content-Type: multipart/alternative; boundary="b1"'],
        b"--b1\r\nContent-Type: text/plain; charset=UTF-8; format=flowed; delsp=yes\r\n"
        b"Content-Transfer-Encoding: base64\r\n\r\n"
        + base64.encodebytes("Other: fl\u00f6wed  \r\n text\r\n\r\nReport id: "
                             "aaaaaaaaaaaaaaaa\r\n-- \r\nsent from my phone\r\n".encode())
        + b"\r\n--b1\r\nContent-Type: text/html\r\n\r\n<p>x</p>\r\n--b1--\r\n"),
     ("B\u00e4r T\u00f6ol".encode(), "Other: fl\u00f6wed text".encode(), "aaaaaaaaaaaaaaaa", U)),
    # Read however the MIME is made: HTML only, no closing boundary, empty parts, deep nesting.
    ("html-only.eml", Message(["Subject: uninstall A", "Content-Type: multipart/mixed; boundary=z"],
                              b"--z\r\nContent-Type: text/html; charset=utf-8\r\n\r\n" + HTML
                              + b"\r\n--z--\r\n"),
     (b"A", "Other: caf\u00e9 na\u00efve & <b> too slow".encode(), "4444444444444444", U)),
    ("html-long-script.eml", Message(["Subject: uninstall A", "Content-Type: text/html"],
                                     b"<p>Too slow</p><script>" + b"x" * 1040000),
     (b"A", b"Too slow", None, U)),
    ("unclosed.eml", Message(["Subject: uninstall A", "Content-Type: multipart/mixed; boundary=z"],
                             b"--z\r\nContent-Type: text/plain\r\n\r\nUnstable\r\n"),
     (b"A", b"Unstable", None, U)),
    ("empty-parts.eml", Message(["Subject: uninstall A",
                                 "Content-Type: multipart/mixed; boundary=z"],
                                b"--z\r\n--z\r\nContent-Type: text/plain\r\n\r\n \r\n--z\r\n"
                                b"Content-Type: text/plain\r\n\r\nCrash\r\n--z--\r\n"),
     (b"A", b"Crash", None, U)),
    ("deep.eml", b"Subject: uninstall A\r\n" + Nested(6, b"Content-Type: text/plain\r\n\r\nSlow"),
     (b"A", b"Slow", None, U)),
    ("too-deep.eml", b"Subject: uninstall A\r\n" + Nested(40, b"\r\nSlow"), "broken"),
    # The applet's subject on a mail that cannot be read as a report: broken, not other mail.
    ("attachment-only.eml", Message(["Subject: uninstall A", "Content-Type: multipart/mixed; "
                                     "boundary=z"], b"--z\r\nContent-Disposition: attachment"
                                    b"\r\n\r\nSlow\r\n--z--\r\n"), "broken"),
    ("too-long.eml", Message(["Subject: uninstall A"], b"Other: " + b"x" * 8190), "broken"),
    ("bad-base64.eml", Message(["Subject: uninstall A", "Content-Transfer-Encoding: base64"],
                               b"T3RoZXI6I!!!"), "broken"),
    # Every declared charset read into UTF-8; what cannot be read is kept as its bytes.
    ("koi8-r.eml", Message(["Subject: =?KOI8-R?B?%s?=" % B64("uninstall " + RED, "koi8-r"),
                            "Content-Type: text/plain; charset=KOI8-R",
                            "Content-Transfer-Encoding: quoted-printable"], QP(RU, "koi8-r")),
     (RED.encode(), RU.encode(), None, U)),
    ("windows-1251.eml", Message(["Subject: =?windows-1251?Q?uninstall_=D0=E5=E4?=",
                                  "Content-Type: text/plain; charset=windows-1251"],
                                 RU.encode("cp1251")), (RED.encode(), RU.encode(), None, U)),
    ("shift_jis.eml", Message(["Subject: =?Shift_JIS?B?%s?=" % B64("uninstall " + EDIT, "cp932"),
                               "Content-Type: text/plain; charset=Shift_JIS",
                               "Content-Transfer-Encoding: base64"],
                              base64.b64encode(JA.encode("cp932"))),
     (EDIT.encode(), JA.encode(), None, U)),
    ("iso-2022-jp.eml", Message(["Subject: =?ISO-2022-JP?B?%s?=" % B64("uninstall " + EDIT,
                                                                        "iso2022_jp"),
                                 "Content-Type: text/plain; charset=ISO-2022-JP"],
                                JA[:12].encode("iso2022_jp")[:-3] + b"\x2d\x21\x1b(B \\ ok"),
     (EDIT.encode(), JA.encode(), None, U)),  # NEC's circled 1 as Windows writes it
    ("html-meta.eml", Message(["Subject: uninstall A", "Content-Type: text/html"],
                              b'<head><meta http-equiv="Content-Type" content="text/html; '
                              b'charset=windows-1251"></head>' + RU.encode("cp1251")),
     (b"A", RU.encode(), None, U)),
    ("unknown-charset.eml", Message(["Subject: uninstall A",
                                     "Content-Type: text/plain; charset=x-no-such"], b"Unstable"),
     (b"A", b"Unstable", None, U)),  # ASCII whatever the charset
    ("unknown-8bit.eml", Message(["Subject: =?KOI8-R?Q?uninstall_=F2=C5=C4?=",
                                  "Content-Type: text/plain; charset=x-no-such"],
                                 b"Other: \xe9t\xe9"),
     (RED.encode(), b"Other: \xe9t\xe9", None, None)),  # the product as its UTF-8 bytes
    ("undeclared.eml", Message(["Subject: =?utf-8?Q?uninstall_Caf=C3=A9?="], b"Other: \xe9t\xe9"),
     (b"Caf\xe9", b"Other: \xe9t\xe9", None, None)),  # the product as the bytes are read
    ("bad-utf8.eml", Message(["Subject: uninstall A", "Content-Type: text/plain; charset=utf-8"],
                             b"Other: \xff\xfe"), (b"A", b"Other: \xff\xfe", None, None)),
    ("bad-subject.eml", Message(["Subject: uninstall =?utf-8?B?!!?=", "X: y"], b"Unstable"),
     "broken"),
    ("binary.eml", bytes(range(256)) * 64, "broken"),
    ("no-subject.eml", Message(["From: someone@example.org"], b"Unstable"), "other mail"),
]


def Env(settings):
    env = {k: v for k, v in os.environ.items() if not k.startswith("EXITPOLL_STATS_")}
    env.update(settings)
    return env


def Import(settings, paths):
    result = subprocess.run(["php", IMPORT] + paths, env=Env(settings), stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=120)
    return result.returncode, result.stdout.decode(), result.stderr.decode()


def MuttMbox(folder):
    """The mails of MUTT_MAILS, sent by mutt with a sendmail that drops them, each saved by
    mutt into its record file: an mbox as mutt writes it."""
    mbox = os.path.join(folder, "sent.mbox")
    for subject, body, settings, _ in MUTT_MAILS:
        subprocess.run(["mutt", "-n", "-F", "/dev/null", "-e",
                        "set record=%s; set copy=yes; set sendmail=/bin/true; set charset=utf-8; "
                        "set from=user@example.org; %s" % (mbox, settings),
                        "-s", subject, "maker@example.org"], input=body.encode(),
                       env=dict(os.environ, HOME=folder), check=True, timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return mbox


class ImportMailTest(unittest.TestCase):
    def test_mutt_mbox_and_hostile_messages_on_both_databases(self):
        with tempfile.TemporaryDirectory(prefix="exitpoll-mail-") as folder:
            mbox = MuttMbox(folder)
            with open(mbox, "rb") as f:
                self.assertEqual(f.read().count(b"\n\nFrom "), len(MUTT_MAILS) - 1)
            paths = []
            for name, data, _ in EML:
                paths.append(os.path.join(folder, name))
                with open(paths[-1], "wb") as f:
                    f.write(data)
            junk_mbox = os.path.join(folder, "cut.mbox")  # a copy cut short in a header
            with open(mbox, "rb") as f, open(junk_mbox, "wb") as out:
                data = f.read()
                out.write(data[:data.rindex(b"Message-ID:") + 5])
            for Database in c.DATABASES:
                with self.subTest(database=Database.name):
                    database = Database()
                    try:
                        self.Check(database, mbox, paths, junk_mbox)
                    finally:
                        database.Drop()

    def Check(self, database, mbox, paths, junk_mbox):
        with c.PhpServer(database.settings) as server:
            c.Report(server.port, b"prj=Net+Tool&reason=Unstable&os=Windows+XP"
                                  b"&id=1111111111111111")
        status, out, err = Import(database.settings, [mbox] + paths)
        self.assertEqual(status, 0, err)
        lines = dict(line.split(": ", 1) for line in out.splitlines())
        self.assertEqual(lines[mbox], MUTT_COUNTS)
        for path, (_, _, outcome) in zip(paths, EML):
            kind = "stored" if isinstance(outcome, tuple) else outcome
            counts = {k: 0 for k in ("stored", "already stored", "other mail", "broken",
                                     "kept as bytes")}
            counts[kind] = 1
            counts["kept as bytes"] = int(kind == "stored" and outcome[3] is None)
            self.assertEqual(lines[path], ", ".join("%d %s" % (n, k) for k, n in counts.items()))
        expected = [(b"Net Tool", b"Unstable", "1111111111111111", "http", b"Windows XP", None)] + [
            (prj, reason, rid, "mail", b"", cs) for prj, reason, rid, cs in
            [m[3] for m in MUTT_MAILS if m[3]] + [e[2] for e in EML if isinstance(e[2], tuple)]]
        columns = ["prj", "reason", "report_id", "via", "os", "cs"]
        self.assertEqual(database.Columns(columns), expected)
        times = [t for (t,) in database.Columns(["time"])]
        self.assertIn("2026-12-01T09:00:00Z", times)  # the Date, in UTC

        # Again, with the cut copy and a file that is not there: nothing more is stored.
        status, out, _ = Import(database.settings, [mbox, paths[0], junk_mbox, "/nonexistent"])
        self.assertEqual(status, 1)
        lines = dict(line.split(": ", 1) for line in out.splitlines())
        self.assertEqual(lines[mbox], "0 stored, 7 already stored, 1 other mail, 0 broken, "
                                     "0 kept as bytes")
        self.assertEqual(lines[paths[0]], "0 stored, 1 already stored, 0 other mail, 0 broken, "
                                           "0 kept as bytes")
        self.assertTrue(lines[junk_mbox].startswith("0 stored, "))
        self.assertTrue(lines[junk_mbox].endswith(", 1 broken, 0 kept as bytes"))
        self.assertEqual(database.Columns(columns), expected)


def MboxMail(envelope, headers, body):
    return ("From %s\n" % envelope + "\n".join(headers) + "\n\n" + body + "\n").encode("latin-1")


ENVELOPE = "a@example.org Tue Dec  1 10:00:00 2026"
LATER = "a@example.org Tue Dec  1 11:00:00 2026"
EARLIER_KEY = ["date", "Tue, 1 Dec 2026 08:00:00 +0000", "a@example.org", "Old", "Unstable"]
# The earlier release stored mail as Windows-1252, "?" for what it lacks, and keyed it so.
EARLIER_UTF8_KEY = ["id", "<u1@x>", "Old", "Other: ?mega"]
# Mails of one mbox: (case, envelope, headers, body, stored (prj, reason, report_id, time), the
# time "now" for the time of the import, or None for a repeat.
MBOX_CASES = [
    ("footer after the id line", ENVELOPE,
     ["Subject: uninstall Foot", "Message-ID: <f1@x>", "Date: Tue, 1 Dec 2026 11:30:00 +0000"],
     "Unstable\nReport id: 2222222222222222\n\nSent from Mail for Windows\n",
     (b"Foot", b"Unstable", "2222222222222222", "2026-12-01T11:30:00Z")),
    ("tab after the colon", ENVELOPE, ["Subject: uninstall Tab", "Message-ID: <t1@x>"],
     "Too expensive\nReport id:\t3333333333333333", (b"Tab", b"Too expensive",
                                                     "3333333333333333", "2026-12-01T10:00:00Z")),
    ("a From line in the body, not quoted", ENVELOPE,
     ["Subject: uninstall Cut", "Message-ID: <c@x>"],
     "Unstable\n\nFrom the start it crashed\nReport id: 5555555555555555",
     (b"Cut", b"Unstable  From the start it crashed", "5555555555555555", "2026-12-01T10:00:00Z")),
    ("a date in year 1", ENVELOPE, ["Subject: uninstall Old", "Message-ID: <o1@x>",
                                    "Date: Mon, 1 Jan 0001 00:00:00 +0000"],
     "Unstable", (b"Old", b"Unstable", None, "2026-12-01T10:00:00Z")),
    ("a date in 1900", ENVELOPE, ["Subject: uninstall Old", "Message-ID: <o2@x>",
                                  "Date: Mon, 1 Jan 1900 00:00:00 +0000"],
     "Crash", (b"Old", b"Crash", None, "2026-12-01T10:00:00Z")),
    ("date and envelope in 9999", "a@example.org Fri Dec 31 00:00:00 9999",
     ["Subject: uninstall Late", "Message-ID: <l1@x>", "Date: Fri, 31 Dec 9999 00:00:00 +0000"],
     "Unstable", (b"Late", b"Unstable", None, "now")),
    ("no Message-ID nor Date", ENVELOPE, ["Subject: uninstall Same", "From: a@example.org"],
     "Unstable", (b"Same", b"Unstable", None, "2026-12-01T10:00:00Z")),
    ("the same an hour later", LATER, ["Subject: uninstall Same", "From: a@example.org"],
     "Unstable", (b"Same", b"Unstable", None, "2026-12-01T11:00:00Z")),
    ("stored by the earlier release", ENVELOPE,
     ["Subject: uninstall Old", "From: a@example.org", "Date: " + EARLIER_KEY[1]],
     "Unstable", None),
    ("stored by the earlier release, in UTF-8", ENVELOPE,
     ["Subject: uninstall Old", "Message-ID: <u1@x>", "Content-Type: text/plain; charset=utf-8",
      "Content-Transfer-Encoding: quoted-printable"], "Other: =CE=A9mega", None),
]


class MboxCasesTest(unittest.TestCase):
    def test_ids_times_and_keys_of_mailed_reports(self):
        with tempfile.TemporaryDirectory(prefix="exitpoll-mail-") as folder:
            mbox = os.path.join(folder, "cases.mbox")
            with open(mbox, "wb") as f:
                f.write(b"\n".join(MboxMail(e, h, b) for _, e, h, b, _ in MBOX_CASES))
            stored = [case[4] for case in MBOX_CASES if case[4]]
            for Database in c.DATABASES:
                with self.subTest(database=Database.name):
                    database = Database()
                    try:
                        c.MakeSchema(database.settings)
                        earlier = [hashlib.sha256("\0".join(k).encode()).hexdigest()
                                   for k in (EARLIER_KEY, EARLIER_UTF8_KEY)]
                        database.Insert([("2026-12-01T08:00:00Z", "mail", earlier[0], b"Old",
                                          b"Unstable", b""),
                                         ("2026-12-01T08:00:00Z", "mail", earlier[1], b"Old",
                                          b"Other: ?mega", b"")],
                                        ("time", "via", "mail_key", "prj", "reason", "os"))
                        start = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime())
                        status, out, err = Import(database.settings, [mbox])
                        end = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(time.time() + 1))
                        self.assertEqual(status, 0, err)
                        self.assertEqual(out, "%s: %d stored, 2 already stored, 0 other mail, "
                                         "0 broken, 0 kept as bytes\n" % (mbox, len(stored)))
                        rows = database.Columns(["prj", "reason", "report_id", "time"])[2:]
                        for (case, *_), row, want in zip([m for m in MBOX_CASES if m[4]], rows,
                                                         stored):
                            self.assertEqual(row[:3], want[:3], case)
                            if want[3] == "now":
                                self.assertTrue(start <= row[3] <= end, (case, row))
                            else:
                                self.assertEqual(row[3], want[3], case)
                        self.assertEqual(len(rows), len(stored))
                        _, out, _ = Import(database.settings, [mbox])
                        self.assertIn(": 0 stored, %d already" % (len(stored) + 2), out)
                    finally:
                        database.Drop()


if __name__ == "__main__":
    unittest.main(verbosity=2)
