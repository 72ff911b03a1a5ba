<?php
// When the PostgreSQL role of the collector may not bring a database of an earlier release
// up to date (the tables belong to another role): what it lacks, in words and statements for
// the maker, and which columns the reports table has, so that reports are stored with those
// until the upgrade can run.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

// The upgrade of the schema cannot run as the configured role; the message says why and
// what the maker (or the database's administrator) runs to allow it.
final class UpgradeNotAllowed extends RuntimeException
{
}

// What the role lacks to change the reports table and create tables and functions beside it,
// as the statements that grant it, for the owner or a superuser to run; [] when nothing.
// Adding columns, indexes and triggers takes the table's owner (or a member of its role),
// replacing a function its owner; the new tables and functions take CREATE on its schema.
function UpgradeGrants(PDO $db): array
{
    $found = $db->query("SELECT format('%I.%I', n.nspname, c.relname), quote_ident(current_user),
                                pg_has_role(c.relowner, 'USAGE'),
                                has_schema_privilege(n.oid, 'CREATE'), quote_ident(n.nspname)
                         FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace
                         WHERE c.oid = to_regclass('reports')")->fetch(PDO::FETCH_NUM);
    if ($found === false) {
        return [];
    }
    [$table, $role, $owner, $create, $schema] = $found;
    $grants = [];
    if (!$owner) {
        $grants[] = "ALTER TABLE $table OWNER TO $role;";
    }
    // The upgrade replaces the counting triggers' functions too.
    foreach ($db->query("SELECT format('%I.%I(%s)', n.nspname, p.proname,
                                       pg_get_function_identity_arguments(p.oid))
                         FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace
                         WHERE n.oid = (SELECT relnamespace FROM pg_class
                                        WHERE oid = to_regclass('reports'))
                           AND p.proname LIKE 'exitpoll\\_%'
                           AND NOT pg_has_role(p.proowner, 'USAGE')
                         ORDER BY 1")->fetchAll(PDO::FETCH_COLUMN) as $function) {
        $grants[] = "ALTER FUNCTION $function OWNER TO $role;";
    }
    if (!$create) {
        $grants[] = "GRANT CREATE ON SCHEMA $schema TO $role;";
    }
    return $grants;
}

// The maker's words for a database that needs those grants (UpgradeGrants) before this
// release's upgrade can run. Running the upgrade as the owner instead would leave the new
// tables out of the collector's role's reach; and giving a table away takes a superuser
// (or a member of both roles).
function UpgradeAdvice(PDO $db, array $grants): string
{
    [$role, $owner, $database] = $db->query(
        "SELECT current_user, pg_get_userbyid(relowner), current_database() FROM pg_class
         WHERE oid = to_regclass('reports')")->fetch(PDO::FETCH_NUM);
    return "The database \"$database\" was made by an earlier release of the collector, and "
        . "the role \"$role\" that the collector uses may not bring it up to date (its reports "
        . "table belongs to \"$owner\"). Until then reports are stored as that release stored "
        . 'them: without report ids, product versions or the way they came, so a report both '
        . 'stored and mailed counts twice. As a superuser, run: ' . implode(' ', $grants)
        . ' The next report then brings the database up to date, keeping every report.';
}

// Throws UpgradeNotAllowed when the role may not upgrade the PostgreSQL database.
function CheckUpgradeAllowed(PDO $db): void
{
    $grants = UpgradeGrants($db);
    if ($grants) {
        throw new UpgradeNotAllowed(UpgradeAdvice($db, $grants));
    }
}

// The columns of the reports table to store $values in while the upgrade cannot run (the
// earlier release's), or throws $refused: a mail without its key would be stored again by
// the next import, and UTF-8 without its charset read as ANSI for good.
function ColumnsUntilUpgrade(PDO $db, array $values, UpgradeNotAllowed $refused): array
{
    $columns = ReportColumns($db, true);
    foreach (['mail_key', 'cs'] as $needed) {
        if ($values[$needed] !== null && !in_array($needed, $columns, true)) {
            throw $refused;
        }
    }
    error_log('exitpoll: ' . $refused->getMessage());
    return $columns;
}

// The names of the reports table's columns.
function ReportColumns(PDO $db, bool $pgsql): array
{
    if ($pgsql) {
        return $db->query("SELECT attname FROM pg_attribute WHERE attrelid = to_regclass('reports')
                           AND attnum > 0 AND NOT attisdropped")->fetchAll(PDO::FETCH_COLUMN);
    }
    return $db->query('SELECT name FROM pragma_table_info(\'reports\')')
        ->fetchAll(PDO::FETCH_COLUMN);
}

// For the readers of a database that awaits its upgrade: a view that stands in for the
// reports table until the transaction ends (temporary objects come first in the search
// path), with each column it lacks as reports stored without that column have it.
function EarlierReportsView(PDO $db, array $columns): string
{
    $missing = array_diff_key(['ver' => 'NULL::bytea', 'report_id' => 'NULL::text',
                               'via' => "'http'::text", 'mail_key' => 'NULL::text',
                               'cs' => 'NULL::text', 'n' => 'NULL::smallint',
                               'search' => 'NULL::text', 'search_cs' => 'NULL::text'],
                              array_flip($columns));
    if (!$missing) {
        return 'SELECT 1';  // nothing to stand in for
    }
    $table = $db->query("SELECT format('%s.%I', relnamespace::regnamespace, relname)
                         FROM pg_class WHERE oid = to_regclass('reports')")->fetchColumn();
    return 'CREATE TEMPORARY VIEW reports AS SELECT *, ' . implode(', ', array_map(
        fn ($name, $value) => "$value AS $name", array_keys($missing), $missing))
        . " FROM $table";
}
