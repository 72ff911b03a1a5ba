<?php
// The collector's schema for SQLite and PostgreSQL: the reports table, the per-day and
// per-version counts that triggers keep, and the columns and indexes that later releases
// added to a database made by an earlier one.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

// What the trigger counts per day and product, besides the reports themselves, as
// [kind, value] SQL pairs: each reason (free texts all as "Other"; any other reason by its
// first 100 bytes, as the applet's own are short) and each Windows version. Kept narrow so
// that the results page reads a few thousand rows per chart for a year of reports.
// With $charsets (the columns cs and n exist): a report with a reason number counts as kind
// 'n', its value the number, a space and the reason's text (for 7, "Other", the text before
// the colon), so that one reason in many languages can be told as one; and the kinds of
// UTF-8 reports end in '.utf-8', so that every counted value can be read in its own charset.
function CountedValues(string $row, bool $pgsql, bool $charsets = true): array
{
    if ($pgsql) {
        $reason = "CASE WHEN substring($row.reason from 1 for 6) = 'Other:'::bytea
                        THEN 'Other'::bytea ELSE substring($row.reason from 1 for 100) END";
        $counted = [["'day'", "''::bytea"], ["'reason'", $reason], ["'os'", "$row.os"]];
        if (!$charsets) {
            return $counted;
        }
        $colon = "position(':'::bytea IN $row.reason)";
        $numbered = "convert_to($row.n || ' ', 'UTF8') || CASE WHEN $row.n = 7 AND $colon > 0
            THEN substring($row.reason from 1 for least($colon - 1, 100))
            ELSE substring($row.reason from 1 for 100) END";
        $utf8 = "CASE WHEN $row.cs IS NULL THEN '' ELSE '.utf-8' END";
        return [$counted[0],
                ["CASE WHEN $row.n IS NULL THEN 'reason' ELSE 'n' END || $utf8",
                 "CASE WHEN $row.n IS NULL THEN $reason ELSE $numbered END"],
                ["'os' || $utf8", "$row.os"]];
    }
    $blob = "CAST($row.reason AS BLOB)";
    $reason = "CASE WHEN substr($row.reason, 1, 6) = 'Other:' THEN 'Other'
                    WHEN length($blob) <= 100 THEN $row.reason
                    ELSE CAST(substr($blob, 1, 100) AS TEXT) END";
    $counted = [["'day'", "''"], ["'reason'", $reason], ["'os'", "$row.os"]];
    if (!$charsets) {
        return $counted;
    }
    $colon = "instr($blob, ':')";
    $numbered = "CAST(CAST($row.n || ' ' AS BLOB) || CASE WHEN $row.n = 7 AND $colon > 0
        THEN substr($blob, 1, min($colon - 1, 100)) ELSE substr($blob, 1, 100) END AS TEXT)";
    $utf8 = "CASE WHEN $row.cs IS NULL THEN '' ELSE '.utf-8' END";
    return [$counted[0],
            ["CASE WHEN $row.n IS NULL THEN 'reason' ELSE 'n' END || $utf8",
             "CASE WHEN $row.n IS NULL THEN $reason ELSE $numbered END"],
            ["'os' || $utf8", "$row.os"]];
}

// The trigger's statements for a stored (NEW) or deleted (OLD) report.
function CountingStatements(bool $pgsql, bool $insert, string $counted = 'CountedValues',
                            bool $charsets = true): array
{
    $row = $insert ? 'NEW' : 'OLD';
    $day = $pgsql ? "substring($row.time from 1 for 10)" : "substr($row.time, 1, 10)";
    $statements = [];
    foreach ($counted($row, $pgsql, $charsets) as [$kind, $value]) {
        if ($insert) {
            $statements[] = "INSERT INTO report_counts (kind, day, prj, value, n)
                VALUES ($kind, $day, $row.prj, $value, 1) ON CONFLICT (kind, day, prj, value)
                DO UPDATE SET n = report_counts.n + 1;";
        } else {
            $bucket = "kind = $kind AND day = $day AND prj = $row.prj AND value = $value";
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
    ], CountTriggers(false, false), ['DELETE FROM report_counts']);
    // Reports stored before the counts existed.
    foreach (CountedValues('reports', false, false) as [$kind, $value]) {
        $schema[] = "INSERT INTO report_counts (kind, day, prj, value, n)
            SELECT $kind, substr(time, 1, 10), prj, $value, COUNT(*) FROM reports
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
    ], CountTriggers(true, false));
}

// The trigger that keeps report_counts (CountedValues), for a schema with or without the
// columns cs and n.
function CountTriggers(bool $pgsql, bool $charsets): array
{
    $insert = implode("\n", CountingStatements($pgsql, true, 'CountedValues', $charsets));
    $delete = implode("\n", CountingStatements($pgsql, false, 'CountedValues', $charsets));
    if (!$pgsql) {
        return ["CREATE TRIGGER IF NOT EXISTS reports_counted AFTER INSERT ON reports
                 BEGIN $insert END",
                "CREATE TRIGGER IF NOT EXISTS reports_uncounted AFTER DELETE ON reports
                 BEGIN $delete END"];
    }
    return ["CREATE OR REPLACE FUNCTION exitpoll_count_report() RETURNS trigger
             LANGUAGE plpgsql AS \$\$
             BEGIN
               IF TG_OP = 'INSERT' THEN
                 $insert
                 RETURN NEW;
               END IF;
               $delete
               RETURN OLD;
             END \$\$",
            'CREATE OR REPLACE TRIGGER reports_counted AFTER INSERT OR DELETE ON reports
                FOR EACH ROW EXECUTE FUNCTION exitpoll_count_report()'];
}

// The triggers that keep the counts of versions and ways (VersionCountedValues) and
// version_counts (VersionSplitStatements).
function VersionTriggers(bool $pgsql, bool $charsets): array
{
    $count = fn (bool $insert) => implode("\n", CountingStatements(
        $pgsql, $insert, 'VersionCountedValues', $charsets));
    $split = fn (bool $insert) => implode("\n", VersionSplitStatements($pgsql, $insert,
                                                                       $charsets));
    if ($pgsql) {
        return ["CREATE OR REPLACE FUNCTION exitpoll_count_version() RETURNS trigger
            LANGUAGE plpgsql AS \$\$
            BEGIN
              IF TG_OP = 'INSERT' THEN
                " . $count(true) . "
                IF NEW.ver IS NOT NULL THEN
                  " . $split(true) . "
                END IF;
                RETURN NEW;
              END IF;
              " . $count(false) . "
              IF OLD.ver IS NOT NULL THEN
                " . $split(false) . "
              END IF;
              RETURN OLD;
            END \$\$",
            'CREATE OR REPLACE TRIGGER reports_versions_counted AFTER INSERT OR DELETE
                ON reports FOR EACH ROW EXECUTE FUNCTION exitpoll_count_version()'];
    }
    return ['CREATE TRIGGER reports_versions_counted AFTER INSERT ON reports BEGIN '
                . $count(true) . ' END',
            'CREATE TRIGGER reports_versions_uncounted AFTER DELETE ON reports BEGIN '
                . $count(false) . ' END',
            'CREATE TRIGGER reports_version_split AFTER INSERT ON reports
                WHEN NEW.ver IS NOT NULL BEGIN ' . $split(true) . ' END',
            'CREATE TRIGGER reports_version_unsplit AFTER DELETE ON reports
                WHEN OLD.ver IS NOT NULL BEGIN ' . $split(false) . ' END'];
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
    $schema = array_merge([
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
    ], VersionTriggers($pgsql, false));
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
function VersionCountedValues(string $row, bool $pgsql, bool $charsets = true): array
{
    if ($pgsql) {
        return [["'ver'", "COALESCE($row.ver, ''::bytea)"],
                ["'via'", "convert_to($row.via, 'UTF8')"]];
    }
    return [["'ver'", "COALESCE($row.ver, '')"], ["'via'", "$row.via"]];
}

// The statements that count a stored (NEW) or deleted (OLD) report with a version in
// version_counts: the same kinds as report_counts, and how it came.
function VersionSplitStatements(bool $pgsql, bool $insert, bool $charsets = true): array
{
    $row = $insert ? 'NEW' : 'OLD';
    $day = $pgsql ? "substring($row.time from 1 for 10)" : "substr($row.time, 1, 10)";
    $values = CountedValues($row, $pgsql, $charsets);
    $values[] = VersionCountedValues($row, $pgsql)[1];
    $statements = [];
    foreach ($values as [$kind, $value]) {
        if ($insert) {
            $statements[] = "INSERT INTO version_counts (ver, kind, prj, day, value, n)
                VALUES ($row.ver, $kind, $row.prj, $day, $value, 1)
                ON CONFLICT (ver, kind, prj, day, value) DO UPDATE SET n = version_counts.n + 1;";
        } else {
            $bucket = "ver = $row.ver AND kind = $kind AND prj = $row.prj AND day = $day
                       AND value = $value";
            $statements[] = "UPDATE version_counts SET n = n - 1 WHERE $bucket;";
            $statements[] = "DELETE FROM version_counts WHERE $bucket AND n <= 0;";
        }
    }
    return $statements;
}
