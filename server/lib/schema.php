<?php
// The collector's schema for SQLite and PostgreSQL: the reports table, the per-day and
// per-version counts that triggers keep, and the columns and indexes that later releases
// added to a database made by an earlier one.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

// What the trigger counts per day and product, besides the reports themselves: each
// reason (free texts all as "Other"; any other reason by its first 100 bytes, as the applet's
// own are short) and each Windows version. Kept narrow so that the results page reads a few
// thousand rows per chart for a year of reports.
function CountedValues(string $row, bool $pgsql): array
{
    if ($pgsql) {
        return [
            'day' => "''::bytea",
            'reason' => "CASE WHEN substring($row.reason from 1 for 6) = 'Other:'::bytea
                              THEN 'Other'::bytea ELSE substring($row.reason from 1 for 100) END",
            'os' => "$row.os",
        ];
    }
    return [
        'day' => "''",
        'reason' => "CASE WHEN substr($row.reason, 1, 6) = 'Other:' THEN 'Other'
                          WHEN length(CAST($row.reason AS BLOB)) <= 100 THEN $row.reason
                          ELSE CAST(substr(CAST($row.reason AS BLOB), 1, 100) AS TEXT) END",
        'os' => "$row.os",
    ];
}

// The trigger's statements for a stored (NEW) or deleted (OLD) report.
function CountingStatements(bool $pgsql, bool $insert, string $counted = 'CountedValues'): array
{
    $row = $insert ? 'NEW' : 'OLD';
    $day = $pgsql ? "substring($row.time from 1 for 10)" : "substr($row.time, 1, 10)";
    $statements = [];
    foreach ($counted($row, $pgsql) as $kind => $value) {
        if ($insert) {
            $statements[] = "INSERT INTO report_counts (kind, day, prj, value, n)
                VALUES ('$kind', $day, $row.prj, $value, 1) ON CONFLICT (kind, day, prj, value)
                DO UPDATE SET n = report_counts.n + 1;";
        } else {
            $bucket = "kind = '$kind' AND day = $day AND prj = $row.prj AND value = $value";
            $statements[] = "UPDATE report_counts SET n = n - 1 WHERE $bucket;";
            $statements[] = "DELETE FROM report_counts WHERE $bucket AND n <= 0;";
        }
    }
    return $statements;
}

function SchemaTables(string $id, string $bytes): array
{
    return [
        "CREATE TABLE IF NOT EXISTS reports (
            id $id PRIMARY KEY,
            time TEXT NOT NULL,
            prj $bytes NOT NULL,
            reason $bytes NOT NULL,
            os $bytes NOT NULL)",
        "CREATE TABLE IF NOT EXISTS report_counts (
            kind TEXT NOT NULL,
            day TEXT NOT NULL,
            prj $bytes NOT NULL,
            value $bytes NOT NULL,
            n BIGINT NOT NULL,
            PRIMARY KEY (kind, day, prj, value))",
        'CREATE INDEX IF NOT EXISTS report_counts_prj ON report_counts (kind, prj, day)',
        'CREATE INDEX IF NOT EXISTS reports_time ON reports (time)',
        'CREATE INDEX IF NOT EXISTS reports_prj_time ON reports (prj, time)',
    ];
}

function SqliteSchema(): array
{
    $other = "substr(reason, 1, 6) = 'Other:'";
    $schema = array_merge(SchemaTables('INTEGER', 'TEXT'), [
        "CREATE INDEX IF NOT EXISTS reports_other_time ON reports (time) WHERE $other",
        "CREATE INDEX IF NOT EXISTS reports_other_prj_time ON reports (prj, time) WHERE $other",
        'CREATE TRIGGER IF NOT EXISTS reports_counted AFTER INSERT ON reports BEGIN '
            . implode("\n", CountingStatements(false, true)) . ' END',
        'CREATE TRIGGER IF NOT EXISTS reports_uncounted AFTER DELETE ON reports BEGIN '
            . implode("\n", CountingStatements(false, false)) . ' END',
        'DELETE FROM report_counts',
    ]);
    // Reports stored before the counts existed.
    foreach (CountedValues('reports', false) as $kind => $value) {
        $schema[] = "INSERT INTO report_counts (kind, day, prj, value, n)
            SELECT '$kind', substr(time, 1, 10), prj, $value, COUNT(*) FROM reports
            GROUP BY 2, 3, 4";
    }
    $schema[] = 'PRAGMA user_version = 1';
    return $schema;
}

function PostgresSchema(): array
{
    $other = "substring(reason from 1 for 6) = 'Other:'::bytea";
    return array_merge(SchemaTables('BIGINT GENERATED ALWAYS AS IDENTITY', 'BYTEA'), [
        "CREATE INDEX IF NOT EXISTS reports_other_time ON reports (time) WHERE $other",
        "CREATE INDEX IF NOT EXISTS reports_other_prj_time ON reports (prj, time) WHERE $other",
        "CREATE OR REPLACE FUNCTION exitpoll_count_report() RETURNS trigger
         LANGUAGE plpgsql AS \$\$
         BEGIN
           IF TG_OP = 'INSERT' THEN
             " . implode("\n", CountingStatements(true, true)) . "
             RETURN NEW;
           END IF;
           " . implode("\n", CountingStatements(true, false)) . "
           RETURN OLD;
         END \$\$",
        'CREATE OR REPLACE TRIGGER reports_counted AFTER INSERT OR DELETE ON reports
            FOR EACH ROW EXECUTE FUNCTION exitpoll_count_report()',
    ]);
}

// Report ids, product versions and mailed reports, added to a database of any earlier
// version in one transaction (for PostgreSQL under the schema's lock): the columns, the unique
// indexes that keep a report from being stored twice, per-day counts of versions and of
// the way reports came, and the per-day counts of each version's reports apart
// (version_counts), so that the page for one version reads summary rows too. Reports stored
// before had no version, so their counts are taken from the per-day totals.
function ReportIdSchema(bool $pgsql): array
{
    $bytes = $pgsql ? 'BYTEA' : 'TEXT';
    $empty = $pgsql ? "''::bytea" : "''";
    $http = $pgsql ? "'http'::bytea" : "'http'";
    $schema = [
        "ALTER TABLE reports ADD COLUMN ver $bytes",
        'ALTER TABLE reports ADD COLUMN report_id TEXT',
        "ALTER TABLE reports ADD COLUMN via TEXT NOT NULL DEFAULT 'http'",
        'ALTER TABLE reports ADD COLUMN mail_key TEXT',
        "CREATE TABLE version_counts (
            ver $bytes NOT NULL,
            kind TEXT NOT NULL,
            prj $bytes NOT NULL,
            day TEXT NOT NULL,
            value $bytes NOT NULL,
            n BIGINT NOT NULL,
            PRIMARY KEY (ver, kind, prj, day, value))",
        "INSERT INTO report_counts (kind, day, prj, value, n)
            SELECT 'ver', day, prj, $empty, n FROM report_counts WHERE kind = 'day'",
        "INSERT INTO report_counts (kind, day, prj, value, n)
            SELECT 'via', day, prj, $http, n FROM report_counts WHERE kind = 'day'",
    ];
    if ($pgsql) {
        $schema[] = "CREATE OR REPLACE FUNCTION exitpoll_count_version() RETURNS trigger
            LANGUAGE plpgsql AS \$\$
            BEGIN
              IF TG_OP = 'INSERT' THEN
                " . implode("\n", CountingStatements(true, true, 'VersionCountedValues')) . "
                IF NEW.ver IS NOT NULL THEN
                  " . implode("\n", VersionSplitStatements(true, true)) . "
                END IF;
                RETURN NEW;
              END IF;
              " . implode("\n", CountingStatements(true, false, 'VersionCountedValues')) . "
              IF OLD.ver IS NOT NULL THEN
                " . implode("\n", VersionSplitStatements(true, false)) . "
              END IF;
              RETURN OLD;
            END \$\$";
        $schema[] = 'CREATE OR REPLACE TRIGGER reports_versions_counted AFTER INSERT OR DELETE
            ON reports FOR EACH ROW EXECUTE FUNCTION exitpoll_count_version()';
    } else {
        $schema[] = 'CREATE TRIGGER reports_versions_counted AFTER INSERT ON reports BEGIN '
            . implode("\n", CountingStatements(false, true, 'VersionCountedValues')) . ' END';
        $schema[] = 'CREATE TRIGGER reports_versions_uncounted AFTER DELETE ON reports BEGIN '
            . implode("\n", CountingStatements(false, false, 'VersionCountedValues')) . ' END';
        $schema[] = 'CREATE TRIGGER reports_version_split AFTER INSERT ON reports
            WHEN NEW.ver IS NOT NULL BEGIN '
            . implode("\n", VersionSplitStatements(false, true)) . ' END';
        $schema[] = 'CREATE TRIGGER reports_version_unsplit AFTER DELETE ON reports
            WHEN OLD.ver IS NOT NULL BEGIN '
            . implode("\n", VersionSplitStatements(false, false)) . ' END';
    }
    // Last: its presence tells PostgreSQL readers that all of the above is there.
    $schema[] = 'CREATE UNIQUE INDEX reports_mail_key ON reports (mail_key)
        WHERE mail_key IS NOT NULL';
    $schema[] = 'CREATE UNIQUE INDEX reports_report_id ON reports (report_id)
        WHERE report_id IS NOT NULL';
    if (!$pgsql) {
        $schema[] = 'PRAGMA user_version = 2';
    }
    return $schema;
}

// The counts kept besides CountedValues: each product version (none sent counts as empty)
// and how the report came ('http' or 'mail').
function VersionCountedValues(string $row, bool $pgsql): array
{
    if ($pgsql) {
        return ['ver' => "COALESCE($row.ver, ''::bytea)",
                'via' => "convert_to($row.via, 'UTF8')"];
    }
    return ['ver' => "COALESCE($row.ver, '')", 'via' => "$row.via"];
}

// The statements that count a stored (NEW) or deleted (OLD) report with a version in
// version_counts: the same kinds as report_counts, and how it came.
function VersionSplitStatements(bool $pgsql, bool $insert): array
{
    $row = $insert ? 'NEW' : 'OLD';
    $day = $pgsql ? "substring($row.time from 1 for 10)" : "substr($row.time, 1, 10)";
    $values = CountedValues($row, $pgsql)
        + ['via' => VersionCountedValues($row, $pgsql)['via']];
    $statements = [];
    foreach ($values as $kind => $value) {
        if ($insert) {
            $statements[] = "INSERT INTO version_counts (ver, kind, prj, day, value, n)
                VALUES ($row.ver, '$kind', $row.prj, $day, $value, 1)
                ON CONFLICT (ver, kind, prj, day, value) DO UPDATE SET n = version_counts.n + 1;";
        } else {
            $bucket = "ver = $row.ver AND kind = '$kind' AND prj = $row.prj AND day = $day
                       AND value = $value";
            $statements[] = "UPDATE version_counts SET n = n - 1 WHERE $bucket;";
            $statements[] = "DELETE FROM version_counts WHERE $bucket AND n <= 0;";
        }
    }
    return $statements;
}
