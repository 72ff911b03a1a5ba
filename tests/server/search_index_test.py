#!/usr/bin/env python3
"""The free-text search with its index against a model of what it must find: random answers
(Cyrillic, accented and CJK letters, NUL, %, _, quotes) stored by the collector (indexed),
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
# (how a report is stored, its product, charset, letters): "stored" by the collector;
# "past" it, by plain SQL (not indexed); "stale", stored while the settings read the
# product's reports as Windows-1251 (indexed in that reading, searched in Windows-1252).
KINDS = [("stored", "P", "utf-8", LETTERS), ("stored", "P", None, ANSI),
         ("past", "P", None, ANSI), ("stale", "R", None, ANSI)]
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
foreach ($input['reports'] as [$how, $prj, $cs, $hex]) {
    $report = ['time' => '2026-01-01T00:00:00Z', 'prj' => $prj, 'reason' => hex2bin($hex),
               'os' => 'W', 'cs' => $cs];
    if ($how !== 'past') {
        $store->StoreReport($report, microtime(true) + 30);
        continue;
    }
    $insert = $store->db->prepare('INSERT INTO reports (time, cs, prj, reason, os)
                                   VALUES (?, ?, ?, ?, ?)');
    $store->Bind($insert, [$report['time'], $cs], [$prj, $report['reason'], 'W']);
    $insert->execute();
}
$filter = ChoiceFilter(['since' => '', 'before' => '', 'prj' => null, 'ver' => null], [],
                       'time', true);
$found = [];
foreach ($input['searches'] as $search) {
    $found[] = array_map(fn ($row) => bin2hex($row[2]),
                         SearchedAnswers($store, $search, $filter, 100000));
}
echo json_encode($found);
"""


def Folded(text):
    return "".join(ch.lower() for ch in text)


def Shown(reason, cs):
    """The answer's text after "Other:" as the page reads it today."""
    return reason[6:].decode("utf-8" if cs else "cp1252", errors="replace")


def Matches(reports, search):
    return sorted(reason.hex() for _, _, cs, reason in reports
                  if reason.startswith(b"Other:") and len(reason) > 7
                  and Folded(search) in Folded(Shown(reason, cs)))


def RandomReports(rng):
    reports = []
    for how, prj, cs, letters in KINDS * 40:
        text = "".join(rng.choice(letters) for _ in range(rng.randrange(1, 12)))
        reason = b"Other: " + text.encode("utf-8" if cs else "cp1252")
        reports.append((how, prj, cs, reason if rng.random() < 0.9 else text.encode()))
    return reports


def RandomSearches(rng, reports):
    searches = list(FIXED_SEARCHES)
    while len(searches) < 80:
        _, _, cs, reason = rng.choice(reports)
        text = Shown(reason, cs).replace("\0", "")
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
                        1 for how, _, _, reason in reports if how != "past"
                        and reason.startswith(b"Other:") and len(reason) > 7))
                    for search, answers in zip(searches, found):
                        with self.subTest(search=search):
                            self.assertEqual(sorted(answers), Matches(reports, search))
                finally:
                    database.Drop()

    def Run(self, settings, reports, searches):
        data = json.dumps({"reports": [(how, prj, cs, reason.hex())
                                       for how, prj, cs, reason in reports],
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
