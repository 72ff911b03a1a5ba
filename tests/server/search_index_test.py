#!/usr/bin/env python3
"""The free-text search with its index against a model of what it must find: random answers
(Cyrillic, accented and CJK letters, NUL, %, _, quotes; after "Other:" or, for reason 7,
after a colon in any language) stored by the collector (indexed),
stored past it (not indexed), and stored while the settings read a product's old reports in
another charset (indexed in a reading no longer valid), searched for random parts of them in
random case; on SQLite and PostgreSQL alike."""
import json
import os
import random
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import collector as c  # noqa: E402

LETTERS = "aAbBzZ éÉçÇÿŸàÀ%_!\"'\\\0" + "пПрРёЁжЖяЯ動作遅い😀"
ANSI = [ch for ch in LETTERS if ch.isascii() or ch in "éÉçÇÿŸàÀ"]
# (how a report is stored, its product, charset, reason number, letters): "stored" by the
# collector; "past" it, by plain SQL (not indexed); "stale", stored while the settings read
# the product's reports as Windows-1251 (indexed in that reading, searched in Windows-1252).
# Reason 7's free text follows its first colon, in any language.
KINDS = [("stored", "P", "utf-8", None, LETTERS), ("stored", "P", None, None, ANSI),
         ("stored", "P", "utf-8", 7, LETTERS), ("past", "P", None, None, ANSI),
         ("past", "P", "utf-8", 7, LETTERS), ("stale", "R", None, None, ANSI)]
FIXED_SEARCHES = ["%", "_", "!", "\"", "'", "\\", "zz", "пр", "ПРё", "動作", "😀", "é", "É%",
                  "a_b", "Ÿ", "nothing like it"]

# Stores the reports of stdin's JSON, by the collector or by plain SQL, then prints each
# search's answers (their reasons in hex). Run once to store and once to search, so that
# each phase has its own settings.
HELPER = r"""
require $argv[1] . '/lib/reports.php';
require $argv[1] . '/lib/choice.php';
$input = json_decode(stream_get_contents(STDIN), true);
$store = ReportStore::Open();
foreach ($input['reports'] as [$how, $prj, $cs, $n, $hex]) {
    $report = ['time' => '2026-01-01T00:00:00Z', 'prj' => $prj, 'reason' => hex2bin($hex),
               'os' => 'W', 'cs' => $cs, 'n' => $n];
    if ($how !== 'past') {
        $store->StoreReport($report, microtime(true) + 30);
        continue;
    }
    $insert = $store->db->prepare('INSERT INTO reports (time, cs, n, prj, reason, os)
                                   VALUES (?, ?, ?, ?, ?, ?)');
    $store->Bind($insert, [$report['time'], $cs, $n], [$prj, $report['reason'], 'W']);
    $insert->execute();
}
$filter = ChoiceFilter(['since' => '', 'before' => '', 'prj' => null, 'ver' => null], [],
                       'time', true);
$found = [];
foreach ($input['searches'] as $search) {
    // Through the index, and by the search that reads every answer.
    [$match, $bytes] = FreeTextMatch($store, $search);
    $found[] = [array_map(fn ($row) => bin2hex($row[2]),
                          SearchedAnswers($store, $search, $filter, 100000)),
                array_map(fn ($row) => bin2hex($row[0]), $store->Rows(
                    'SELECT reason FROM reports WHERE ' . FreeTextSql($store) . " AND $match",
                    [], $bytes))];
}
echo json_encode($found);
"""


def Folded(text):
    return "".join(ch.lower() for ch in text)


def FreeText(reason, n):
    """The free text of a reason as bytes, or None: after "Other:", or for reason 7 after its
    first colon."""
    if n == 7:
        colon = reason.find(b":")
        return (reason[colon + 1:] if len(reason) > colon + 2 else None) if colon >= 0 else (
            reason if len(reason) > 1 else None)
    return reason[6:] if reason.startswith(b"Other:") and len(reason) > 7 else None


def Shown(text, cs):
    return text.decode("utf-8" if cs else "cp1252", errors="replace")


def Matches(reports, search):
    return sorted(reason.hex() for _, _, cs, n, reason in reports
                  if FreeText(reason, n) is not None
                  and Folded(search) in Folded(Shown(FreeText(reason, n), cs)))


def RandomReports(rng):
    reports = []
    for how, prj, cs, n, letters in KINDS * 30:
        text = "".join(rng.choice(letters) for _ in range(rng.randrange(1, 12)))
        label = "Anders: " if n else "Other: "
        reason = (label + text).encode("utf-8" if cs else "cp1252")
        reports.append((how, prj, cs, n, reason if rng.random() < 0.9 else text.encode()))
    return reports


def RandomSearches(rng, reports):
    searches = list(FIXED_SEARCHES)
    while len(searches) < 80:
        _, _, cs, n, reason = rng.choice(reports)
        if FreeText(reason, n) is None:
            continue
        text = Shown(FreeText(reason, n), cs).replace("\0", "")
        if len(text.strip()) < 2:
            continue
        start = rng.randrange(len(text) - 1)
        part = text[start:start + rng.randrange(1, 7)]
        part = "".join(ch.swapcase() if rng.random() < 0.5 else ch for ch in part).strip()
        if part:
            searches.append(part)
    return searches


class SearchIndexTest(unittest.TestCase):
    def test_indexed_search_finds_what_the_model_finds(self):
        rng = random.Random(20261208)
        reports = RandomReports(rng)
        searches = RandomSearches(rng, reports)
        for Database in c.DATABASES:
            with self.subTest(database=Database.name):
                database = Database()
                try:
                    c.MakeSchema(database.settings)
                    for phase, settings in [
                            ("stale", {"EXITPOLL_LEGACY_CHARSET": "R=windows-1251"}),
                            ("rest", {})]:
                        chosen = [r for r in reports if (r[0] == "stale") == (phase == "stale")]
                        found = self.Run(dict(database.settings, **settings), chosen, searches)
                    self.assertEqual(self.Indexed(database), sum(
                        1 for how, _, _, n, reason in reports
                        if how != "past" and FreeText(reason, n) is not None))
                    # PostgreSQL's search that reads every answer (the one without the
                    # index) reads an answer with a NUL in its escaped form, which only its
                    # ASCII matches: those are compared through the index alone.
                    nul = ({reason.hex() for *_, reason in reports if b"\0" in reason}
                           if Database is c.PostgresDatabase else set())
                    for search, (indexed, unindexed) in zip(searches, found):
                        with self.subTest(search=search):
                            want = Matches(reports, search)
                            self.assertEqual(sorted(indexed), want)
                            self.assertEqual(sorted(set(unindexed) - nul),
                                             sorted(set(want) - nul))
                finally:
                    database.Drop()

    def Run(self, settings, reports, searches):
        data = json.dumps({"reports": [(how, prj, cs, n, reason.hex())
                                       for how, prj, cs, n, reason in reports],
                           "searches": searches})
        result = subprocess.run(["php", "-r", HELPER, "--", c.SERVER_DIR],
                                env=c._Environment(settings), input=data.encode(),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        return json.loads(result.stdout)

    def Indexed(self, database):
        sql = "SELECT COUNT(*) FROM reports WHERE search IS NOT NULL"
        if isinstance(database, c.SqliteDatabase):
            import sqlite3
            with sqlite3.connect(database.path) as db:
                return db.execute(sql).fetchone()[0]
        return int(database.Psql(sql))


if __name__ == "__main__":
    unittest.main(verbosity=2)
