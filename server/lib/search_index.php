<?php
// The index that serves the free-text search: each free text kept a second time as folded
// UTF-8 (the column search, with search_cs naming the charset it was read in), and on that
// an index of its substrings: PostgreSQL's trigram index (pg_trgm) or SQLite's FTS5 with the
// trigram tokenizer. The search itself is in search_answers.php.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/charsets.php';
require_once __DIR__ . '/search.php';

const kFillBatch = 2000;  // answers indexed per statement on PostgreSQL

// UTF-8 text folded for the search: each capital letter of the Latin, Greek, Cyrillic and
// Armenian scripts as its small letter, and NUL, which PostgreSQL text cannot hold, as
// U+0001 (a search never holds a control character). Character by character, so a search
// folded alike is found wherever its letters are.
function SearchFolded(string $utf8): string
{
    return strtr($utf8, SmallLetters());
}

// [capital letter => small letter, as UTF-8], without mbstring, which many hosts lack.
function SmallLetters(): array
{
    static $map = null;
    if ($map !== null) {
        return $map;
    }
    $map = ["\0" => "\x01", "\u{130}" => "i\u{307}", "\u{178}" => "\u{FF}",
            "\u{4C0}" => "\u{4CF}", "\u{1E9E}" => "\u{DF}", "\u{386}" => "\u{3AC}",
            "\u{38C}" => "\u{3CC}", "\u{38E}" => "\u{3CD}", "\u{38F}" => "\u{3CE}",
            "\u{1AF}" => "\u{1B0}", "\u{1C4}" => "\u{1C6}", "\u{1C5}" => "\u{1C6}",
            "\u{1C7}" => "\u{1C9}", "\u{1C8}" => "\u{1C9}", "\u{1CA}" => "\u{1CC}",
            "\u{1CB}" => "\u{1CC}", "\u{1F1}" => "\u{1F3}", "\u{1F2}" => "\u{1F3}",
            "\u{1F4}" => "\u{1F5}"];
    // [first, last, distance to the small letter, step]: a step of 2 for the scripts
    // that alternate capital and small letters.
    foreach ([[0x41, 0x5A, 32, 1], [0xC0, 0xD6, 32, 1], [0xD8, 0xDE, 32, 1],
              [0x100, 0x12E, 1, 2], [0x132, 0x136, 1, 2], [0x139, 0x147, 1, 2],
              [0x14A, 0x176, 1, 2], [0x179, 0x17D, 1, 2], [0x1A0, 0x1A4, 1, 2],
              [0x1CD, 0x1DB, 1, 2], [0x1DE, 0x1EE, 1, 2], [0x1F8, 0x21E, 1, 2],
              [0x222, 0x232, 1, 2], [0x3D8, 0x3EE, 1, 2], [0x388, 0x38A, 37, 1],
              [0x391, 0x3A1, 32, 1], [0x3A3, 0x3AB, 32, 1], [0x400, 0x40F, 80, 1],
              [0x410, 0x42F, 32, 1], [0x460, 0x480, 1, 2], [0x48A, 0x4BE, 1, 2],
              [0x4C1, 0x4CD, 1, 2], [0x4D0, 0x52E, 1, 2], [0x531, 0x556, 48, 1],
              [0x1E00, 0x1E94, 1, 2], [0x1EA0, 0x1EFE, 1, 2], [0xFF21, 0xFF3A, 32, 1]]
             as [$first, $last, $distance, $step]) {
        for ($code = $first; $code <= $last; $code += $step) {
            $map[iconv('UTF-32BE', 'UTF-8', pack('N', $code))]
                = iconv('UTF-32BE', 'UTF-8', pack('N', $code + $distance));
        }
    }
    return $map;
}

// The charset a report's texts are read in with today's settings.
function SearchReading(?string $cs, string $prj): string
{
    return $cs === 'utf-8' ? 'utf-8' : LegacyCharset($prj);
}

// The indexed columns of a report to be stored (its column => value), or [] for a report
// that is no free text.
function SearchColumns(array $report): array
{
    if (strncmp($report['reason'], 'Other:', 6) !== 0 || strlen($report['reason']) <= 7) {
        return [];
    }
    $cs = $report['cs'] ?? null;
    return ['search' => SearchFolded(StoredUtf8(substr($report['reason'], 6), $cs,
                                                $report['prj'])),
            'search_cs' => SearchReading($cs, $report['prj'])];
}

// Adds the columns and their indexes; the fill is FillSearch's.
function SearchColumnSchema(bool $pgsql): array
{
    $free = $pgsql ? "substring(reason from 1 for 6) = 'Other:'::bytea AND length(reason) > 7"
        : "substr(reason, 1, 6) = 'Other:' AND length(CAST(reason AS BLOB)) > 7";
    // Besides: the indexed answers by time (for searches the index cannot narrow down), and
    // the charsets the old reports of each product were indexed in.
    $schema = ['ALTER TABLE reports ADD COLUMN search TEXT',
               'ALTER TABLE reports ADD COLUMN search_cs TEXT',
               "CREATE INDEX reports_unsearched ON reports (time) WHERE search IS NULL AND $free",
               'CREATE INDEX reports_searched ON reports (time) WHERE search IS NOT NULL',
               'CREATE INDEX reports_search_readings ON reports (search_cs, prj)
                    WHERE search IS NOT NULL AND cs IS NULL'];
    return $pgsql ? $schema : [...$schema, 'PRAGMA user_version = 4'];
}

// The substring index: a trigram index where the pg_trgm extension is or may be made (the
// step is then present once the index is, see SchemaSteps), an FTS5 table kept by triggers
// where SQLite has the trigram tokenizer.
function SearchIndexSchema(bool $pgsql): array
{
    if ($pgsql) {
        return ['CREATE EXTENSION IF NOT EXISTS pg_trgm',
                'CREATE INDEX IF NOT EXISTS reports_search_trgm ON reports
                    USING gin (search gin_trgm_ops)'];
    }
    if (!HasTrigramTokenizer()) {
        return ['PRAGMA user_version = 5'];
    }
    $add = 'INSERT INTO reports_search (rowid, search) SELECT NEW.id, NEW.search
            WHERE NEW.search IS NOT NULL;';
    $remove = 'DELETE FROM reports_search WHERE rowid = OLD.id;';
    return ["CREATE VIRTUAL TABLE reports_search USING fts5(search,
                tokenize = 'trigram case_sensitive 1')",
            'INSERT INTO reports_search (rowid, search)
                SELECT id, search FROM reports WHERE search IS NOT NULL',
            "CREATE TRIGGER reports_search_added AFTER INSERT ON reports BEGIN $add END",
            "CREATE TRIGGER reports_search_changed AFTER UPDATE OF search ON reports
                BEGIN $remove $add END",
            "CREATE TRIGGER reports_search_removed AFTER DELETE ON reports BEGIN $remove END",
            'PRAGMA user_version = 5'];
}

// An SQL condition that is true once the PostgreSQL substring index is there, or cannot be
// made by this role (the search then reads every answer, and SearchProblem says why).
function TrigramIndexPresent(): string
{
    return "to_regclass('reports_search_trgm') IS NOT NULL
            OR NOT (EXISTS (SELECT 1 FROM pg_extension WHERE extname = 'pg_trgm')
                    OR has_database_privilege(current_database(), 'CREATE')
                       AND EXISTS (SELECT 1 FROM pg_available_extensions
                                   WHERE name = 'pg_trgm'))";
}

function HasTrigramTokenizer(): bool
{
    try {
        (new PDO('sqlite::memory:'))->exec("CREATE VIRTUAL TABLE t USING fts5(x,
                                            tokenize = 'trigram case_sensitive 1')");
        return true;
    } catch (PDOException $missing) {
        return false;  // SQLite before 3.34, or built without FTS5
    }
}

// Why the PostgreSQL search reads every answer, for the results page, or ''.
function SearchProblem(ReportStore $store): string
{
    if (!$store->pgsql || $store->upgradeProblem !== ''
        || $store->db->query("SELECT to_regclass('reports_search_trgm') IS NOT NULL")
            ->fetchColumn()) {
        return '';
    }
    [$database, $role] = $store->db->query('SELECT quote_ident(current_database()),
                                            quote_ident(current_user)')->fetch(PDO::FETCH_NUM);
    return 'Searches of the free texts read every answer, which takes long with many reports: '
        . 'the trigram index they need comes with the extension pg_trgm, which the role '
        . "$role may not create. As the database's owner, run: CREATE EXTENSION pg_trgm; "
        . "(or GRANT CREATE ON DATABASE $database TO $role;). The next report then makes the "
        . 'index.';
}

// Indexes the free texts that are not yet (all of them after the upgrade that adds the
// columns; those stored by other means later): in one statement on SQLite, in batches on
// PostgreSQL. Runs inside the caller's transaction, if any.
function FillSearch(ReportStore $store): void
{
    $free = FreeTextSql($store);
    if (!$store->pgsql) {
        $store->db->sqliteCreateFunction('exitpoll_search', fn ($reason, $cs, $prj) =>
            SearchColumns(['reason' => $reason, 'cs' => $cs, 'prj' => $prj])['search'], 3);
        $store->db->sqliteCreateFunction('exitpoll_reading', 'SearchReading', 2);
        $store->db->exec("UPDATE reports SET search = exitpoll_search(reason, cs, prj),
                          search_cs = exitpoll_reading(cs, prj) WHERE search IS NULL AND $free");
        return;
    }
    $last = 0;
    do {
        $rows = $store->Rows("SELECT id, reason, cs, prj FROM reports
                              WHERE search IS NULL AND $free AND id > ? ORDER BY id LIMIT "
                             . kFillBatch, [$last]);
        $values = [];
        foreach ($rows as [$id, $reason, $cs, $prj]) {
            $columns = SearchColumns(['reason' => $reason, 'cs' => $cs, 'prj' => $prj]);
            array_push($values, $id, $columns['search'], $columns['search_cs']);
            $last = (int)$id;
        }
        if ($rows) {
            $marks = implode(', ', array_fill(0, count($rows), '(?::bigint, ?, ?)'));
            $store->Rows("UPDATE reports SET search = v.search, search_cs = v.cs
                          FROM (VALUES $marks) AS v (id, search, cs) WHERE reports.id = v.id",
                         $values);
        }
    } while (count($rows) === kFillBatch);
}
