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
require_once __DIR__ . '/folding.php';

const kFillBatch = 2000;  // answers indexed per statement on PostgreSQL

// UTF-8 text folded for the search as the search folds it (FoldedUtf8), and NUL, which
// PostgreSQL text cannot hold, as U+0001 (a search never holds a control character).
function SearchFolded(string $utf8): string
{
    return str_replace("\0", "\x01", FoldedUtf8($utf8));
}

// The charset a report's texts are read in with today's settings.
function SearchReading(?string $cs, string $prj): string
{
    return $cs === 'utf-8' ? 'utf-8' : LegacyCharset($prj);
}

// The indexed columns of a report to be stored (its column => value), or [] for a report
// that is no free text (FreeTextSql: after "Other:", or after the colon of reason 7).
function SearchColumns(array $report): array
{
    $reason = (string)$report['reason'];
    $colon = strpos($reason, ':');
    if ((int)($report['n'] ?? 0) === 7) {
        if (strlen($reason) <= ($colon === false ? 1 : $colon + 2)) {
            return [];
        }
        $text = $colon === false ? $reason : substr($reason, $colon + 1);
    } elseif (strncmp($reason, 'Other:', 6) === 0 && strlen($reason) > 7) {
        $text = substr($reason, 6);
    } else {
        return [];
    }
    $cs = $report['cs'] ?? null;
    return ['search' => SearchFolded(StoredUtf8($text, $cs, (string)$report['prj'])),
            'search_cs' => SearchReading($cs, (string)$report['prj'])];
}

// The answers not yet indexed that may be free texts, as the index of them has it; the
// search adds FreeTextSql.
function UnsearchedSql(bool $pgsql): string
{
    return 'search IS NULL AND ' . FreeTextTerm($pgsql);
}

// Adds the columns and their indexes; the fill is FillSearch's.
function SearchColumnSchema(bool $pgsql): array
{
    // Besides: the indexed answers by time (for searches the index cannot narrow down), and
    // the charsets the old reports of each product were indexed in.
    $schema = ['ALTER TABLE reports ADD COLUMN search TEXT',
               'ALTER TABLE reports ADD COLUMN search_cs TEXT',
               'CREATE INDEX reports_unsearched ON reports (time) WHERE ' . UnsearchedSql($pgsql),
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
// PostgreSQL. Runs inside the caller's transaction, if any; returns how many it indexed.
function FillSearch(ReportStore $store): int
{
    $unsearched = UnsearchedSql($store->pgsql) . ' AND ' . FreeTextSql($store);
    if (!$store->pgsql) {
        $store->db->sqliteCreateFunction('exitpoll_search', fn ($reason, $cs, $prj, $n) =>
            SearchColumns(['reason' => $reason, 'cs' => $cs, 'prj' => $prj, 'n' => $n])
                ['search'] ?? null, 4);
        $store->db->sqliteCreateFunction('exitpoll_reading', 'SearchReading', 2);
        return (int)$store->db->exec("UPDATE reports SET search = exitpoll_search(reason, cs,
                                      prj, n), search_cs = exitpoll_reading(cs, prj)
                                      WHERE $unsearched");
    }
    $last = 0;
    $filled = 0;
    do {
        $rows = $store->Rows("SELECT id, reason, cs, prj, n FROM reports
                              WHERE $unsearched AND id > ? ORDER BY id LIMIT " . kFillBatch,
                             [$last]);
        $values = [];
        foreach ($rows as [$id, $reason, $cs, $prj, $n]) {
            $columns = SearchColumns(['reason' => $reason, 'cs' => $cs, 'prj' => $prj,
                                      'n' => $n]);
            array_push($values, $id, $columns['search'] ?? null, $columns['search_cs'] ?? null);
            $last = (int)$id;
            ++$filled;
        }
        if ($rows) {
            $marks = implode(', ', array_fill(0, count($rows), '(?::bigint, ?, ?)'));
            $store->Rows("UPDATE reports SET search = v.search, search_cs = v.cs
                          FROM (VALUES $marks) AS v (id, search, cs) WHERE reports.id = v.id",
                         $values);
        }
    } while (count($rows) === kFillBatch);
    return $filled;
}
