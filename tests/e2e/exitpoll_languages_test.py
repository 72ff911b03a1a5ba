#!/usr/bin/env python3
"""The shipped settings file, one UTF-8 file for every language, under the locales of Russian,
Japanese, Simplified Chinese, German and English Windows: the section each one shows (read
back from the live window), the exact report with Charset=utf-8 and ReasonNumber=yes, the
mail URL, and the same file without those keys sending the designed bytes of the user's
code page; and a Japanese interface on a western code page passing over the Japanese
section. Also each language's texts measured in the font this Windows draws them with,
against the widths the README gives, and a screenshot per language."""
import collections
import os
import re
import shutil
import subprocess
import tempfile
import unittest

import applet as a
import harness as h

SHIPPED = os.path.join(h.SOURCE_DIR, "examples", "ini", "exitpoll.ini")
SCREENSHOTS = os.environ.get("EXITPOLL_SCREENSHOT_DIR", tempfile.gettempdir())
PRODUCT = "My New Tool"
KEYS = ["Caption", "Title", "Question"] + ["Reason%d" % i for i in range(1, 7)] + \
    ["Other", "Button"]
# The room each text has in the fixed layout (README): pixels, and whether it is bold.
ROOM = {"Title": (64, True), "Question": (422, True), "Other": (46, False),
        "Button": (64, False)}
NOT_OK = a.OK_REPLY.replace(b"OK\r\n", b"ok\r\n")  # not confirmed: the mail opens too

# Locale, its ANSI code page, the sections Windows' language id there picks, and the locale
# of the interface language where it differs (LC_MESSAGES).
Locale = collections.namedtuple("Locale", "name codepage sections messages",
                                defaults=[None])
LOCALES = {
    "ru": Locale("ru_RU.UTF-8", "cp1251", ["texts.ru"]),
    "ja": Locale("ja_JP.UTF-8", "cp932", ["texts.ja"]),
    "zh-CN": Locale("zh_CN.UTF-8", "cp936", ["texts.zh-CN", "texts.zh"]),
    "de": Locale("de_DE.UTF-8", "cp1252", ["texts.de"]),
    "en": Locale("en_US.UTF-8", "cp1252", ["texts.en-US", "texts.en"]),
    # A Japanese interface on a western code page: the Japanese section cannot be shown.
    "ja-1252": Locale("de_DE.UTF-8", "cp1252", ["texts.ja"], "ja_JP.UTF-8"),
}
# Only measured: the other shipped languages, each under a locale of its own code page.
MEASURED = {
    "fr": "fr_FR", "es": "es_ES", "it": "it_IT", "pt-BR": "pt_BR", "nl": "nl_NL",
    "pl": "pl_PL", "cs": "cs_CZ", "tr": "tr_TR", "uk": "uk_UA", "zh-TW": "zh_TW",
    "ko": "ko_KR",
}

Case = collections.namedtuple("Case", "why locale keys choose")
# keys: the file with Charset=utf-8 and ReasonNumber=yes in [report]; choose: the reason
# position (0 to 6) clicked.
CASES = [
    Case("Russian, UTF-8 and reason number", "ru", True, 3),
    Case("Russian, the designed bytes in 1251", "ru", False, 3),
    Case("Japanese, UTF-8 and reason number", "ja", True, 4),
    Case("Japanese, the designed bytes in 932", "ja", False, 4),
    Case("Chinese, UTF-8 and reason number", "zh-CN", True, 6),
    Case("Chinese, the designed bytes in 936", "zh-CN", False, 0),
    Case("German, UTF-8 and reason number", "de", True, 3),
    Case("German, the designed bytes in 1252", "de", False, 3),
    Case("English, UTF-8 and reason number", "en", True, 5),
    Case("English, the designed bytes", "en", False, 1),
    Case("Japanese on 1252: [texts] instead of ???", "ja-1252", True, 4),
]


def Sections():
    """The shipped file's sections, read by Python's own rules, not the program's."""
    with open(SHIPPED, "rb") as f:
        raw = f.read()
    assert raw.startswith(b"\xef\xbb\xbf"), "the shipped file is UTF-8 with its mark"
    sections, current = {}, None
    for line in raw[3:].decode("utf-8").splitlines():
        line = line.strip()
        if line.startswith("["):
            current = sections.setdefault(line[1:-1].lower(), {})
        elif current is not None and "=" in line and not line.startswith(";"):
            key, value = line.split("=", 1)
            current.setdefault(key.strip().lower(), value.strip())
    return raw, sections


def Showable(section, codepage):
    try:
        for value in section.values():
            value.encode(codepage)
        return True
    except UnicodeEncodeError:
        return False


def Shown(sections, locale):
    """The texts that locale's window shows: key by key its sections, then [texts]; a
    section with a text its code page lacks is passed over."""
    texts = []
    names = [n for n in locale.sections + ["texts"]
             if Showable(sections.get(n.lower(), {}), locale.codepage)]
    for key in KEYS:
        for name in names:
            if key.lower() in sections.get(name.lower(), {}):
                texts.append(sections[name.lower()][key.lower()])
                break
    texts[2] = texts[2].replace("%PRODUCT%", PRODUCT)
    return texts


def QueryEncode(data):
    """The report's escaping: letters, digits and !$'()*-.@_ pass, a space is "+"."""
    keep = set(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!$'()*-.@_")
    return b"".join(bytes([c]) if c in keep else b"+" if c == 32 else b"%%%02x" % c
                    for c in data)


def MailEncode(data, utf8):
    """The mail's escaping: RFC 6068 in UTF-8; else every byte but the few that would break
    the URL as typed, the space as "%20"."""
    if utf8:
        keep = set(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~!$'()*,;:@")
        passes = lambda c: c in keep
    else:
        passes = lambda c: c > 32 and c != 127 and c not in b"%&#?\""
    return b"".join(bytes([c]) if passes(c) else b"%%%02x" % c for c in data)


def Env(locale):
    if locale.messages:  # LC_ALL empty counts as unset
        return {"LANG": locale.name, "LC_ALL": "", "LC_MESSAGES": locale.messages}
    return {"LANG": locale.name, "LC_ALL": locale.name}


def Widths(locale, lines):
    """Each (bold, text)'s width in pixels, drawn as the applet draws it, under `locale`."""
    with tempfile.NamedTemporaryFile("wb", suffix=".txt", delete=False) as f:
        f.write(b"".join((b"B " if bold else b"N ") + text + b"\n" for bold, text in lines))
    try:
        result = h.Wine([h.Helper("textwidth"), h.WindowsPath(f.name)], env=Env(locale))
        return [int(w) for w in result.stdout.split()]
    finally:
        os.unlink(f.name)


class LanguagesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        h.RegisterMailtoCapture()
        cls.raw, cls.sections = Sections()

    def test_each_language_fits(self):
        for tag, name in list(MEASURED.items()) + [(t, l.name[:5]) for t, l in LOCALES.items()
                                                   if t in ("ru", "ja", "zh-CN", "de")]:
            with self.subTest(tag):
                codepage = LOCALES[tag].codepage if tag in LOCALES else None
                locale = Locale(name + ".UTF-8", codepage, ["texts." + tag])
                section = self.sections["texts." + tag.lower()]
                self.assertEqual(sorted(k.lower() for k in KEYS), sorted(section))
                keys = [k for k in KEYS if k != "Caption"]
                encoding = codepage or Codepage(locale)
                lines = [(ROOM.get(k, (353, False))[1],
                          section[k.lower()].replace("%PRODUCT%", PRODUCT).encode(encoding))
                         for k in keys]
                for key, width in zip(keys, Widths(locale, lines)):
                    self.assertLessEqual(width, ROOM.get(key, (353, False))[0], key)

    def test_languages(self):
        for case in CASES:
            with self.subTest(case.why):
                self.Run(case)

    def Run(self, case):
        locale = LOCALES[case.locale]
        texts = Shown(self.sections, locale)
        content = self.raw.replace(
            b"[report]\n", b"[report]\nHost=127.0.0.1:%d\n" % h.STATS_PORT +
            (b"Charset=utf-8\nReasonNumber=yes\n" if case.keys else b""), 1)
        folder = tempfile.mkdtemp(prefix="exitpoll-lang-")
        try:
            exe = os.path.join(folder, "exitpoll.exe")
            shutil.copy(h.EXITPOLL_EXE, exe)
            with open(os.path.join(folder, "exitpoll.ini"), "wb") as f:
                f.write(content)
            h.SetWindowsVersion("exitpoll.exe", "winxp")
            env = Env(locale)
            caption = texts[0]
            with h.ScriptedServer([NOT_OK]) as server, h.MailCapture() as mail, \
                    h.Start(h.CommandLine(exe, b"My_New_Tool"), env=dict(env, **mail.env),
                            timeout=60) as app:
                info = h.WaitForWindow(caption, 30, env=env)
                shown = [t.encode("latin-1").decode(locale.codepage)
                         for t in a.WindowTexts(info["window"])]
                self.assertEqual(texts, shown)
                h.ClickClient(caption, *a.ReasonPoint(case.choose), env=env)
                h.WaitUntil(lambda: h.FindChild(h.Inspect(caption, env)["window"],
                                                text=a.WindowTexts(info["window"])[3 + case.choose])
                            ["checked"] == 1, 10, what="reason %d checked" % case.choose)
                if case.keys and not locale.messages:
                    os.makedirs(SCREENSHOTS, exist_ok=True)
                    h.SaveScreenshot(os.path.join(SCREENSHOTS,
                                                  "exitpoll_lang_%s.png" % case.locale))
                h.ClickClient(caption, *a.BUTTON, env=env)
                self.assertEqual(app.Wait(), 0)
                urls = mail.WaitForUrls(1, timeout=15)

            reason = texts[3 + case.choose] + (": " if case.choose == 6 else "")
            encoding = "utf-8" if case.keys else locale.codepage
            query = b"prj=My+New+Tool&reason=" + QueryEncode(reason.encode(encoding)) + \
                b"&os=Windows+XP&id=%ID%" + \
                (b"&n=%d&cs=utf-8" % (case.choose + 1) if case.keys else b"")
            pattern = re.escape(a.Request(query)).replace(b"%ID%", b"([0-9a-f]{16})")
            self.assertEqual(len(server.Requests()), 1)
            found = re.fullmatch(pattern, server.Requests()[0])
            self.assertTrue(found, server.Requests()[0])
            subject = b"uninstall%20My%20New%20Tool" if case.keys else b"uninstall+My+New+Tool"
            mailUrl = b"mailto:feedback@example.com?subject=" + subject + b"&body=" + \
                MailEncode(reason.encode(encoding), case.keys) + \
                b"%0d%0aReport%20id:%20" + found.group(1)
            self.assertEqual([mailUrl], urls)
        finally:
            shutil.rmtree(folder, ignore_errors=True)


def Codepage(locale):
    """The ANSI code page Wine gives a process under `locale`, as Python names it."""
    names = {"pl_PL": "cp1250", "cs_CZ": "cp1250", "tr_TR": "cp1254", "uk_UA": "cp1251",
             "zh_TW": "cp950", "ko_KR": "cp949"}
    return names.get(locale.name[:5], "cp1252")


if __name__ == "__main__":
    unittest.main(verbosity=2)
