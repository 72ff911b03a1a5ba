#!/usr/bin/env python3
"""Reports in every language, on SQLite and PostgreSQL: the requests the applet sends under
Russian, Japanese, German and English Windows (its ANSI bytes, or UTF-8 with cs and the
reason's number n) stored as sent, shown on the results page and in its CSV as the text
that was sent, found by a search in the other case, and one reason in many languages counted
as one bar; requests whose n or cs is wrong refused and nothing stored. Also a screenshot
of the page in headless Chromium with Cyrillic and Japanese (languages_page.mjs)."""
import html
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import collector as c  # noqa: E402
from results_page_test import BasicAuth, PASSWORD, PageServer  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
PRODUCT = "My New Tool"
# Products whose older applets sent Windows-1251 and Shift-JIS bytes (the setting below).
LEGACY, LEGACY_JA = "Старая программа", "古いツール"
# The maker names reason 7 and leaves the others to the texts sent.
SETTINGS = {"EXITPOLL_LEGACY_CHARSET": "%s=windows-1251;%s=cp932" % (LEGACY, LEGACY_JA),
            "EXITPOLL_REASON_LABELS": "| | | | | |Other (free text)"}


def Query(reason, encoding, n=None, prj=PRODUCT, report_id=None):
    """The applet's query, byte for byte: its values in `encoding`, escaped as it escapes
    them (letters, digits and !$'()*-.@_ kept, a space as "+", other bytes as %xx), then
    its id, n and cs (when UTF-8) in its order."""
    keep = set(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!$'()*-.@_")

    def Encoded(text):
        return b"".join(bytes([c]) if c in keep else b"+" if c == 32 else b"%%%02x" % c
                        for c in text.encode(encoding))
    query = b"prj=" + Encoded(prj) + b"&reason=" + Encoded(reason) + b"&os=Windows+XP"
    if report_id is not None:
        query += b"&id=" + report_id.encode()
    if n is not None:
        query += b"&n=%d" % n
    return query + (b"&cs=utf-8" if encoding == "utf-8" else b"")


# (why, the product, the reason, its number, the charset sent in) of each stored report, the
# texts as the page must show them. The answers are reasons 1, 4, 5 and 7 of the shipped
# settings file's sections, sent with Charset=utf-8 and ReasonNumber=yes, or without them
# as the ANSI bytes of Russian, Japanese and western Windows, as every applet before did.
STORED = [
    ("ru, 1251 without cs", LEGACY, "Неудобный интерфейс", None, "cp1251"),
    # Its "й" is the byte of Latin-1's "é".
    ("ru, 1251 free text", LEGACY, "Other: Программа медленная, мой ПК новый", None, "cp1251"),
    ("ru, UTF-8", PRODUCT, "Неудобный интерфейс", 4, "utf-8"),
    ("ru, UTF-8 free text", PRODUCT, "Другое: Программа очень медленная", 7, "utf-8"),
    ("ja, UTF-8", PRODUCT, "価格が高すぎる", 5, "utf-8"),
    ("ja, UTF-8 free text", PRODUCT, "その他: 動作が遅い", 7, "utf-8"),
    ("de, UTF-8", PRODUCT, "Zu teuer", 5, "utf-8"),
    ("de, UTF-8 free text", PRODUCT, "Andere: Läuft zu langsam für mich", 7, "utf-8"),
    ("en, UTF-8", PRODUCT, "Too expensive", 5, "utf-8"),
    ("en, UTF-8 again", PRODUCT, "Too expensive", 5, "utf-8"),
    ("en, 1252 without cs", "Café Tool", "Other: naïve – “quoted”", None, "cp1252"),
    ("ja, 932 without cs", LEGACY_JA, "Other: 動作が遅い", None, "cp932"),
    ("en, the same product in UTF-8", "Café Tool", "Unstable", 1, "utf-8"),
]
# Refused with 400, nothing stored.
REFUSED = [
    ("cs with 1251 bytes", Query("Неудобный интерфейс", "cp1251") + b"&cs=utf-8"),
    ("cs with a sequence cut between prj and reason",
     b"prj=A%d0&reason=%9fB&os=C&cs=utf-8"),
    ("cs with an overlong NUL", b"prj=A&reason=%c0%80&os=C&cs=utf-8"),
    ("cs with a surrogate", b"prj=A&reason=%ed%a0%80&os=C&cs=utf-8"),
    ("cs with os not UTF-8", b"prj=A&reason=B&os=%ff&cs=utf-8"),
    ("cs in capitals", b"prj=A&reason=B&os=C&cs=UTF-8"),
    ("another charset", b"prj=A&reason=B&os=C&cs=windows-1251"),
    ("cs empty", b"prj=A&reason=B&os=C&cs="),
    ("cs twice", b"prj=A&reason=B&os=C&cs=utf-8&cs=utf-8"),
    ("n 0", b"prj=A&reason=B&os=C&n=0"),
    ("n 8", b"prj=A&reason=B&os=C&n=8"),
    ("n with a zero before", b"prj=A&reason=B&os=C&n=07"),
    ("n empty", b"prj=A&reason=B&os=C&n="),
    ("n with a line end", b"prj=A&reason=B&os=C&n=1%0a"),
    ("n twice", b"prj=A&reason=B&os=C&n=1&n=2"),
    ("n as a list", b"prj=A&reason=B&os=C&n[]=1"),
]


def Cell(value):
    """A CSV field as the collector writes it (every field quoted; none here starts with a
    character a spreadsheet would run)."""
    return '"' + value.replace('"', '""') + '"'


class LanguagesTest(unittest.TestCase):
    def test_every_language_stored_shown_searched_and_counted(self):
        for Database in c.DATABASES:
            with self.subTest(database=Database.name), \
                    PageServer(Database, settings=SETTINGS) as (database, server):
                for why, query in REFUSED:
                    with self.subTest(why):
                        answer = c.Report(server.port, query)
                        self.assertEqual(c.SplitAnswer(answer)[0], b"HTTP/1.1 400 Bad Request")
                for number, (why, prj, reason, n, encoding) in enumerate(STORED):
                    with self.subTest(why):
                        answer = c.Report(server.port, Query(reason, encoding, n, prj,
                                                             "%016x" % number))
                        self.assertEqual(c.SplitAnswer(answer)[2], b"OK\n")
                stored = database.Columns(["time", "prj", "reason", "os", "cs", "n",
                                           "report_id"])
                self.assertEqual([row[1:] for row in stored], [
                    (prj.encode(encoding), reason.encode(encoding), b"Windows XP",
                     "utf-8" if encoding == "utf-8" else None, n, "%016x" % number)
                    for number, (_, prj, reason, n, encoding) in enumerate(STORED)])
                self.CheckPage(server, stored)
                self.CheckCsv(server, stored)
                if Database is c.SqliteDatabase:
                    self.Screenshot(server)

    def Page(self, server, query):
        answer = c.Request(server.port, c.RESULTS_PATH.encode() + b"?days=all" + query,
                           extra_headers=BasicAuth())
        status, _, body = c.SplitAnswer(answer)
        self.assertEqual(status, b"HTTP/1.1 200 OK", body[-2000:])
        return body.decode("utf-8")

    def CheckPage(self, server, stored):
        body = self.Page(server, b"")
        bars = {html.unescape(label): int(count) for label, count in re.findall(
            r'<g class="bar[^"]*" data-label="([^"]*)" data-count="(\d+)"',
            body.split('aria-label="Reports per reason"')[1].split("</svg>")[0])}
        # Reason 5 in three languages is one bar, labelled by its most frequent text; reason 4
        # sent in 1251 without a number counts with the number its text is sent with, and
        # the English "Other:" sent without one with 7.
        self.assertEqual(bars, {"Too expensive": 4, "Неудобный интерфейс": 2,
                                "Other (free text)": 6, "Unstable": 1})
        shares = {}
        for label, count in re.findall(r'<rect class="share" data-label="([^"]*)" '
                                       r'data-count="(\d+)"', body):
            shares[html.unescape(label)] = shares.get(html.unescape(label), 0) + int(count)
        self.assertEqual(shares, bars)
        texts = [html.unescape(t) for t in re.findall(r'<td class="text">(.*?)</td>', body)]
        self.assertEqual(sorted(texts), sorted(["Программа очень медленная", "動作が遅い",
                                                "Läuft zu langsam für mich",
                                                "naïve – “quoted”", "動作が遅い",
                                                "Программа медленная, мой ПК новый"]))
        chooser = body.split('<select name="p">')[1].split("</select>")[0]
        products = [html.unescape(p) for p in re.findall(r'<option value="[0-9a-f]+"[^>]*>'
                                                         r'([^<]*)</option>', chooser)]
        self.assertEqual(sorted(products), sorted([PRODUCT, LEGACY, LEGACY_JA, "Café Tool"]))
        # A product whose name came in Windows-1252 and in UTF-8 is one product.
        for name in ["Café Tool".encode("cp1252"), "Café Tool".encode("utf-8")]:
            chosen = self.Page(server, b"&p=" + name.hex().encode())
            self.assertIn('<span id="total">2</span>', chosen)
        # Searches in the other case, and none that finds what is not there.
        for search, found in [("МЕДЛЕННАЯ", ["Программа очень <mark>медленная</mark>",
                                             "Программа <mark>медленная</mark>, мой ПК новый"]),
                              ("пк", ["Программа медленная, мой <mark>ПК</mark> новый"]),
                              ("é", []),
                              ("ДЛЕН", ["Программа очень ме<mark>длен</mark>ная",
                                        "Программа ме<mark>длен</mark>ная, мой ПК новый"]),
                              ("LÄUFT", ["<mark>Läuft</mark> zu langsam für mich"]),
                              ("NAÏVE", ["<mark>naïve</mark> – “quoted”"]),
                              ("遅い", ["動作が<mark>遅い</mark>"] * 2),
                              ("Ä", ["L<mark>ä</mark>uft zu langsam für mich"]),
                              ("медленный", [])]:
            with self.subTest(search=search):
                body = self.Page(server, b"&q=" + urllib.parse.quote(search).encode())
                self.assertEqual([html.unescape(t) for t in re.findall(
                    r'<td class="text">(.*?)</td>', body)], found)

    def CheckCsv(self, server, stored):
        answer = c.Request(server.port, c.RESULTS_PATH.encode() + b"?days=all&format=csv",
                           extra_headers=BasicAuth())
        status, headers, body = c.SplitAnswer(answer)
        self.assertEqual(status, b"HTTP/1.1 200 OK")
        lines = [",".join(Cell(v) for v in ["time", "product", "reason", "windows", "ver", "id",
                                            "via", "n"])]
        for (time, *_, report_id), (_, prj, reason, n, _) in zip(stored, STORED):
            lines.append(",".join(Cell(v) for v in [time, prj, reason, "Windows XP", "",
                                                    report_id, "http",
                                                    "" if n is None else str(n)]))
        self.assertEqual(body, ("\ufeff" + "".join(line + "\r\n" for line in lines))
                         .encode("utf-8"))

    def Screenshot(self, server):
        folder = os.environ.get("EXITPOLL_SCREENSHOT_DIR", tempfile.gettempdir())
        os.makedirs(folder, exist_ok=True)
        with tempfile.TemporaryDirectory(prefix="exitpoll-chromium-") as profile:
            wanted = os.path.join(profile, "page.json")
            with open(wanted, "w") as f:
                json.dump({"url": "http://127.0.0.1:%d%s?days=all" % (server.port,
                                                                      c.RESULTS_PATH),
                           "password": PASSWORD, "profile": os.path.join(profile, "chromium"),
                           "screenshot": os.path.join(folder, "results_page_languages.png"),
                           "shown": ["Программа очень медленная", "動作が遅い",
                                     "Неудобный интерфейс", "Läuft zu langsam für mich"]}, f)
            result = subprocess.run(["node", os.path.join(HERE, "languages_page.mjs"), wanted],
                                    cwd=HERE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                    timeout=180)
            self.assertEqual(result.returncode, 0, result.stdout.decode(errors="replace"))

    def test_search_folds_case_as_python_does(self):
        # The search's folding against Python's own lower(): every pair it has is right, and
        # in the alphabets it covers it misses no capital with one small letter of the same
        # length in UTF-8 (those of another length cannot keep their bytes' places).
        out = subprocess.run(["php", "-r", 'require $argv[1]; echo implode("\\n", '
                              'FoldingPairsUtf8());', os.path.join(c.SERVER_DIR, "lib",
                                                                   "folding.php")],
                             stdout=subprocess.PIPE, check=True, timeout=60).stdout
        upper, lower = out.decode("utf-8").split("\n")
        self.assertEqual(len(upper), len(lower))
        table = dict(zip(upper, lower))
        self.assertEqual({u: l for u, l in table.items() if u.lower() != l}, {})
        blocks = [(0x0000, 0x017F), (0x0370, 0x03FF), (0x0400, 0x052F), (0x0531, 0x0556),
                  (0x1E00, 0x1EFF), (0xFF00, 0xFF5F)]
        missing = [hex(code) for first, last in blocks for code in range(first, last + 1)
                   if chr(code).lower() != chr(code) and len(chr(code).lower()) == 1
                   and len(chr(code).lower().encode()) == len(chr(code).encode())
                   and chr(code) not in table]
        self.assertEqual(missing, [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
