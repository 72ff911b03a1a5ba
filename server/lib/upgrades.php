<?php
// The steps that bring a database made by any earlier release up to date, in order, each in
// one transaction with the ones before it: what each adds, and how a reader of either
// database tells that it is there.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/schema.php';
require_once __DIR__ . '/search_answers.php';

// [version => [the SQL that is true once the step is there (PostgreSQL), its statements]].
// SQLite keeps the version reached in its user_version instead, which each step sets.
function SchemaSteps(bool $pgsql): array
{
    $searched = "EXISTS (SELECT 1 FROM pg_attribute WHERE attrelid = to_regclass('reports')
                         AND attname = 'search' AND NOT attisdropped)";
    return [
        1 => ["SELECT to_regclass('report_counts') IS NOT NULL",
              fn () => $pgsql ? PostgresSchema() : SqliteSchema()],
        2 => ["SELECT to_regclass('reports_report_id') IS NOT NULL",
              fn () => ReportIdSchema($pgsql)],
        3 => ["SELECT EXISTS (SELECT 1 FROM pg_attribute WHERE attrelid = to_regclass('reports')
                                AND attname = 'cs' AND NOT attisdropped)",
              fn () => CharsetSchema($pgsql)],
        4 => ["SELECT $searched", fn () => SearchColumnSchema($pgsql)],
        // Present too where the role may not make the index: the search then reads every
        // answer, and the results page says why.
        5 => ["SELECT $searched AND (" . TrigramIndexPresent() . ')',
              fn () => SearchIndexSchema($pgsql)],
    ];
}

// The condition of the free-text answers' indexes, which a query must state as it is here
// for the databases to use them.
function FreeTextTerm(bool $pgsql): string
{
    return $pgsql ? "(substring(reason from 1 for 6) = 'Other:'::bytea OR n = 7)"
                  : "(substr(reason, 1, 6) = 'Other:' OR n = 7)";
}

// The charset of a report's texts (cs: NULL for the applet's ANSI bytes, 'utf-8') and its
// reason's number (n, 1 to 7), with indexes of the free texts of reason 7, added to a
// database of any earlier version in one transaction. The reports stored so far have
// neither, and their counts stay as they are; the triggers are made anew to count the new
// reports by number and charset.
function CharsetSchema(bool $pgsql): array
{
    $schema = ["ALTER TABLE reports ADD COLUMN cs TEXT CHECK (cs = 'utf-8')",
               'ALTER TABLE reports ADD COLUMN n SMALLINT CHECK (n BETWEEN 1 AND 7)',
               // The free texts, of "Other:" and of reason 7 in any language (FreeTextSql).
               'CREATE INDEX reports_free_time ON reports (time) WHERE ' . FreeTextTerm($pgsql),
               'CREATE INDEX reports_free_prj_time ON reports (prj, time) WHERE '
                   . FreeTextTerm($pgsql)];
    if (!$pgsql) {
        foreach (['reports_counted', 'reports_uncounted', 'reports_versions_counted',
                  'reports_versions_uncounted', 'reports_version_split',
                  'reports_version_unsplit'] as $trigger) {
            $schema[] = "DROP TRIGGER IF EXISTS $trigger";
        }
    }
    $schema = array_merge($schema, CountTriggers($pgsql, true), VersionTriggers($pgsql, true));
    if (!$pgsql) {
        $schema[] = 'PRAGMA user_version = 3';
    }
    return $schema;
}
