<?php
// The store of uninstall reports, shared by the endpoint and the results page: which database
// (a PDO DSN, SQLite by default), where an SQLite file may live, and the queries; the schema
// is in schema.php.
//
// Reports are kept byte for byte as the applet sent them (its system's ANSI bytes), so the
// values are TEXT in SQLite, which takes any bytes, and BYTEA in PostgreSQL, which would
// refuse non-UTF-8 text. A trigger keeps per-day counts in report_counts, so the results
// page reads a few thousand summary rows however many reports there are.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/schema.php';

final class StoreTimeout extends RuntimeException
{
}

final class ReportStore
{
    public PDO $db;
    public bool $pgsql;

    private function __construct(PDO $db)
    {
        $this->db = $db;
        $this->pgsql = $db->getAttribute(PDO::ATTR_DRIVER_NAME) === 'pgsql';
    }

    // Opens the configured database: EXITPOLL_STATS_DSN (with EXITPOLL_STATS_USER and
    // EXITPOLL_STATS_PASSWORD), else the SQLite file EXITPOLL_STATS_DB, else
    // exitpoll-data/uninstall.sqlite beside the served folder. An SQLite file inside the
    // served folder is refused before anything is created, since a web server may hand out
    // any file under its document root.
    public static function Open(): ReportStore
    {
        $dsn = Setting('EXITPOLL_STATS_DSN');
        if ($dsn === '') {
            $path = Setting('EXITPOLL_STATS_DB');
            $dsn = 'sqlite:' . ($path !== '' ? $path : DefaultDatabasePath());
        }
        $options = [PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION];
        if (strncmp($dsn, 'sqlite:', 7) === 0) {
            $path = PlannedPath(substr($dsn, 7));
            if (IsServed($path)) {
                throw new RuntimeException('refusing to keep the reports inside the served folder');
            }
            // Two first reports at once may both try to create the folder: only its absence
            // counts.
            $folder = dirname($path);
            if (!is_dir($folder) && !@mkdir($folder, 0700, true) && !is_dir($folder)) {
                throw new RuntimeException('cannot create ' . $folder);
            }
            $store = new ReportStore(new PDO('sqlite:' . $path, null, null, $options));
            $store->db->exec('PRAGMA busy_timeout = 1000');
            return $store;
        }
        if (strncmp($dsn, 'pgsql:', 6) !== 0) {
            throw new RuntimeException('EXITPOLL_STATS_DSN names neither sqlite: nor pgsql:');
        }
        $options[PDO::ATTR_TIMEOUT] = 2;  // libpq's shortest connect timeout
        // Each PHP worker keeps its connection: a new one (a server process and a password
        // exchange) costs far more than storing a report. PDO rolls back whatever a request
        // leaves open, and settings are made per transaction.
        $options[PDO::ATTR_PERSISTENT] = true;
        return new ReportStore(new PDO($dsn, Setting('EXITPOLL_STATS_USER') ?: null,
                                       Setting('EXITPOLL_STATS_PASSWORD') ?: null, $options));
    }

    // Stores one report, or stores nothing and throws StoreTimeout when it cannot be committed
    // by $deadline (a microtime(true) value). Waits for locks are cut short before it, and
    // the transaction is only committed while there is time left, so a slow store never
    // leaves a row behind an answer other than "OK". A report whose id is stored already is
    // a repeat of it and is not stored again.
    public function Store(string $prj, string $reason, string $os, float $deadline,
                          ?string $ver = null, ?string $reportId = null): void
    {
        $this->StoreReport(['time' => gmdate('Y-m-d\TH:i:s\Z'), 'prj' => $prj,
                            'reason' => $reason, 'os' => $os, 'ver' => $ver,
                            'report_id' => $reportId], $deadline);
    }

    // Stores one report given as column => value (time, prj, reason and os required; ver,
    // report_id, via and mail_key optional) unless its report_id or mail_key is stored
    // already; true when it was stored. Throws like Store().
    public function StoreReport(array $report, float $deadline): bool
    {
        $values = [$report['time'], $report['report_id'] ?? null, $report['via'] ?? 'http',
                   $report['mail_key'] ?? null, $report['prj'], $report['reason'], $report['os'],
                   $report['ver'] ?? null];
        try {
            $this->UpgradeIfNeeded();
            try {
                return $this->Insert($values, $deadline);
            } catch (PDOException $failure) {
                if (!$this->IsMissingTable($failure) && !$this->IsMissingColumn($failure)) {
                    throw $failure;
                }
                $this->Rollback();
                $this->CreateSchema();  // the first report of a new or an earlier database
                return $this->Insert($values, $deadline);
            }
        } catch (Throwable $failure) {
            $this->Rollback();
            if ($failure instanceof PDOException && $this->IsTimeout($failure)) {
                throw new StoreTimeout($failure->getMessage());
            }
            throw $failure;
        }
    }

    private function Insert(array $values, float $deadline): bool
    {
        $left = max(1, (int)(($deadline - microtime(true)) * 1000));
        if ($this->pgsql) {
            $this->db->beginTransaction();
            $this->db->exec('SET LOCAL statement_timeout = ' . $left);
        } else {
            $this->db->exec('PRAGMA busy_timeout = ' . $left);
            $this->db->exec('BEGIN IMMEDIATE');
        }
        // A repeat (its report_id or mail_key stored already) leaves no row and, since the
        // unique indexes decide, two repeats at once store one row between them.
        $insert = $this->db->prepare(
            'INSERT INTO reports (time, report_id, via, mail_key, prj, reason, os, ver)
             VALUES (?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING');
        $this->Bind($insert, array_slice($values, 0, 4), array_slice($values, 4));
        $insert->execute();
        $stored = $insert->rowCount() === 1;
        if (microtime(true) >= $deadline) {
            throw new StoreTimeout('no time left to commit');
        }
        $this->pgsql ? $this->db->commit() : $this->db->exec('COMMIT');
        return $stored;
    }

    // Creates the tables, indexes and the counting trigger when they are missing; brings a
    // reports table of an earlier version (no counts yet) up to date. Safe to run at once
    // from many requests: one of them does the work, the others wait for it.
    public function CreateSchema(): void
    {
        if ($this->pgsql) {
            $this->db->beginTransaction();
            $this->db->exec('SELECT pg_advisory_xact_lock(2718281828)');
            if (!$this->HasCounts()) {
                foreach (PostgresSchema() as $statement) {
                    $this->db->exec($statement);
                }
            }
            if (!$this->HasReportIds()) {
                foreach (ReportIdSchema(true) as $statement) {
                    $this->db->exec($statement);
                }
            }
            $this->db->commit();
            return;
        }
        // Readers (the results page) and the writer then do not block each other.
        $this->db->exec('PRAGMA journal_mode = WAL');
        $this->db->exec('BEGIN IMMEDIATE');
        try {
            if ((int)$this->db->query('PRAGMA user_version')->fetchColumn() < 1) {
                foreach (SqliteSchema() as $statement) {
                    $this->db->exec($statement);
                }
            }
            if ((int)$this->db->query('PRAGMA user_version')->fetchColumn() < 2) {
                foreach (ReportIdSchema(false) as $statement) {
                    $this->db->exec($statement);
                }
            }
            $this->db->exec('COMMIT');
        } catch (Throwable $failure) {
            $this->Rollback();
            throw $failure;
        }
    }

    // Makes sure an SQLite file made by an earlier version has the counts too; the reports
    // table alone lets the endpoint store but would leave the results page empty.
    public function UpgradeIfNeeded(): void
    {
        if (!$this->pgsql && (int)$this->db->query('PRAGMA user_version')->fetchColumn() < 2) {
            $this->CreateSchema();
        }
    }

    // Binds text values (times, days, ids), then stored bytes: PostgreSQL gets those as
    // binary parameters for its BYTEA columns. Placeholders must come in that order.
    public function Bind(PDOStatement $statement, array $texts, array $bytes = []): void
    {
        $index = 0;
        foreach ($texts as $value) {
            $statement->bindValue(++$index, $value, PDO::PARAM_STR);
        }
        foreach ($bytes as $value) {
            $statement->bindValue(++$index, $value, $this->pgsql ? PDO::PARAM_LOB : PDO::PARAM_STR);
        }
    }

    // Runs a query and returns every row, BYTEA values read into strings.
    public function Rows(string $sql, array $texts, array $bytes = []): array
    {
        $statement = $this->db->prepare($sql);
        $this->Bind($statement, $texts, $bytes);
        $statement->execute();
        $rows = [];
        while (($row = $statement->fetch(PDO::FETCH_NUM)) !== false) {
            $rows[] = array_map('Bytes', $row);
        }
        return $rows;
    }

    // Creates or completes the schema when it is missing, for readers of the reports.
    public function EnsureSchema(): void
    {
        if (!$this->pgsql) {
            $this->UpgradeIfNeeded();
        } elseif (!$this->HasReportIds()) {  // made after the counts, in one transaction
            $this->CreateSchema();
        }
    }

    // True once the columns of report ids, versions and mailed reports are there.
    private function HasReportIds(): bool
    {
        $found = $this->db->query("SELECT to_regclass('reports_report_id') IS NOT NULL");
        return (bool)$found->fetchColumn();
    }

    private function HasCounts(): bool
    {
        $found = $this->db->query("SELECT to_regclass('report_counts') IS NOT NULL");
        return (bool)$found->fetchColumn();
    }

    // The SQL condition that picks free-text answers with some text (the applet sends
    // "Other: " for an empty field); it matches the partial indexes. The length is in bytes:
    // SQLite's length() of text stops at a NUL.
    public function FreeTextSql(): string
    {
        return $this->pgsql
            ? "substring(reason from 1 for 6) = 'Other:'::bytea AND length(reason) > 7"
            : "substr(reason, 1, 6) = 'Other:' AND length(CAST(reason AS BLOB)) > 7";
    }

    // The SQL condition that picks free-text answers (FreeTextSql) whose text after "Other:"
    // contains $search (stored bytes), in either case, with the bytes to bind for it. Both
    // sides are folded the same way, by FoldedAnsi's table, so both databases find the same
    // answers; the search text is matched as it is, its % and _ included.
    public function FreeTextMatch(string $search): array
    {
        $folded = FoldedAnsi($search);
        $pattern = '%' . strtr($folded, ['\\' => '\\\\', '%' => '\\%', '_' => '\\_']) . '%';
        // A search of ASCII only needs only ASCII letters folded, which both databases' own
        // LIKE and lower() do whatever their locale, and many times faster than folding
        // every byte: bytes past ASCII never match it either way.
        $ascii = !preg_match('/[\x80-\xFF]/', $folded);
        if (!$this->pgsql) {
            if ($ascii) {
                return ["substr(reason, 7) LIKE ? ESCAPE '\\'", [$pattern]];
            }
            // SQLite folds ASCII letters only, so the folding runs here, in PHP.
            $this->db->sqliteCreateFunction('exitpoll_folded', 'FoldedAnsi', 1,
                                            PDO::SQLITE_DETERMINISTIC);
            return ['instr(CAST(exitpoll_folded(substr(reason, 7)) AS BLOB), CAST(? AS BLOB)) > 0',
                    [$folded]];
        }
        // Each byte read as the character of the same number (LATIN1); a text value cannot
        // hold NUL, so an answer with one is searched in its escaped form (bytes past ASCII
        // as octal escapes), which still matches its ASCII.
        $text = "CASE WHEN position('\\x00'::bytea IN reason) = 0
                      THEN convert_from(substring(reason from 7), 'LATIN1')
                      ELSE encode(substring(reason from 7), 'escape') END";
        if ($ascii) {
            return ["lower($text) LIKE convert_from(?, 'LATIN1') ESCAPE '\\'", [$pattern]];
        }
        [$upper, $lower] = FoldingPairs();
        return ["translate($text, convert_from(?, 'LATIN1'), convert_from(?, 'LATIN1'))
                 LIKE convert_from(?, 'LATIN1') ESCAPE '\\'",
                [$upper, $lower, $pattern]];
    }

    private function Rollback(): void
    {
        try {
            if ($this->db->inTransaction()) {
                $this->db->rollBack();
            } elseif (!$this->pgsql) {
                $this->db->exec('ROLLBACK');  // BEGIN IMMEDIATE is not known to PDO
            }
        } catch (PDOException $ignored) {
            // nothing was open
        }
    }

    private function IsTimeout(PDOException $failure): bool
    {
        $code = (string)$failure->getCode();
        if ($this->pgsql) {
            return $code === '57014' || $code === '55P03';  // statement or lock timeout
        }
        $driverCode = $failure->errorInfo[1] ?? 0;
        return $driverCode === 5 || $driverCode === 6;  // SQLITE_BUSY, SQLITE_LOCKED
    }

    private function IsMissingColumn(PDOException $failure): bool
    {
        if ($this->pgsql) {
            return (string)$failure->getCode() === '42703';
        }
        return strpos($failure->getMessage(), 'has no column named') !== false;
    }

    private function IsMissingTable(PDOException $failure): bool
    {
        if ($this->pgsql) {
            return (string)$failure->getCode() === '42P01';
        }
        return strpos($failure->getMessage(), 'no such table') !== false;
    }
}

// Stored bytes (Windows-1252) with every capital letter made small, byte for byte, so that a
// search finds "Crash" in "CRASH" and "é" in "É" alike.
function FoldedAnsi($bytes): string
{
    static $map = null;
    if ($map === null) {
        [$upper, $lower] = FoldingPairs();
        $map = array_combine(str_split($upper), str_split($lower));
    }
    return strtr((string)$bytes, $map);
}

// The capital letters of Windows-1252 and their small letters, in the same order.
function FoldingPairs(): array
{
    $upper = implode('', range('A', 'Z')) . "\x8A\x8C\x8E\x9F";
    $lower = implode('', range('a', 'z')) . "\x9A\x9C\x9E\xFF";
    for ($byte = 0xC0; $byte <= 0xDE; ++$byte) {
        if ($byte !== 0xD7) {  // the multiplication sign
            $upper .= chr($byte);
            $lower .= chr($byte + 0x20);
        }
    }
    return [$upper, $lower];
}

// A configuration value: from the environment, or under php-fpm also from the pool's env[]
// or the web server's FastCGI parameters.
function Setting(string $name): string
{
    $value = getenv($name);
    if (!is_string($value) || $value === '') {
        $value = $_SERVER[$name] ?? '';
    }
    return is_string($value) ? $value : '';
}

function DocumentRoot(): string
{
    $root = $_SERVER['DOCUMENT_ROOT'] ?? '';
    return $root !== '' ? rtrim($root, '/') : dirname(__DIR__);
}

function DefaultDatabasePath(): string
{
    return dirname(DocumentRoot()) . '/exitpoll-data/uninstall.sqlite';
}

// The absolute path the file will have once created: the deepest existing folder on the way
// resolved (symbolic links followed), the rest appended. Refuses "..", ":memory:" and empty
// paths, which would not name one lasting file.
function PlannedPath(string $path): string
{
    if ($path === '' || $path === ':memory:' || strpos($path, "\0") !== false) {
        throw new RuntimeException('the reports need a database file');
    }
    if ($path[0] !== '/') {
        $path = getcwd() . '/' . $path;
    }
    $parts = array_values(array_filter(explode('/', $path), fn ($p) => $p !== '' && $p !== '.'));
    $missing = [];
    while (true) {
        $existing = realpath('/' . implode('/', $parts));
        if ($existing !== false) {
            break;
        }
        array_unshift($missing, array_pop($parts));
    }
    if (in_array('..', $missing, true)) {
        throw new RuntimeException('the database path climbs out of a folder that does not exist');
    }
    return $missing ? rtrim($existing, '/') . '/' . implode('/', $missing) : $existing;
}

// Why reports cannot be stored in the configured SQLite file, in words for the maker who set
// things up, or '' when PHP sees nothing in the way (or the store is PostgreSQL). The
// endpoint can only answer "NOT STORED", and a shared host may show no error log, so the
// results page says this.
function StoreProblem(): string
{
    $dsn = Setting('EXITPOLL_STATS_DSN');
    if ($dsn !== '' && strncmp($dsn, 'sqlite:', 7) !== 0) {
        return '';
    }
    $given = $dsn !== '' ? substr($dsn, 7) : Setting('EXITPOLL_STATS_DB');
    $given = $given !== '' ? $given : DefaultDatabasePath();
    $fix = ' Until this is mended, every report is mailed to you instead of stored.';
    try {
        $path = PlannedPath($given);
    } catch (RuntimeException $failure) {
        return "The database setting \"$given\" does not name one file." . $fix;
    }
    if (IsServed($path)) {
        return "The reports would be kept in $path, inside the folder the web server hands out, "
            . 'where anyone could download them, so nothing is stored. Set EXITPOLL_STATS_DB to '
            . 'a file outside it.' . $fix;
    }
    $user = PhpUser();
    $folder = dirname($path);
    $existing = $folder;
    while (!file_exists($existing) && dirname($existing) !== $existing) {
        $existing = dirname($existing);
    }
    $advice = ' Create the folder with your FTP program or file manager and let the web server '
        . 'write in it (as your host advises, or permissions 777), or set EXITPOLL_STATS_DB to '
        . 'a file in a folder it may write.';
    if (!is_dir($existing)) {
        return "The reports are to be kept in $path, but $existing is a file, not a folder."
            . $fix;
    }
    if ($existing !== $folder && !is_writable($existing)) {
        return "The reports are to be kept in $path, but PHP (running as user $user) may not "
            . "create the folder $folder: it may not write in $existing." . $advice . $fix;
    }
    if ($existing === $folder && !is_writable($folder)) {
        return "The reports are to be kept in $path, but PHP (running as user $user) may not "
            . "write in the folder $folder." . $advice . $fix;
    }
    if (file_exists($path) && (!is_file($path) || !is_writable($path))) {
        return "The reports are kept in $path, but PHP (running as user $user) may not write "
            . 'that file.' . $fix;
    }
    return '';
}

function PhpUser(): string
{
    if (function_exists('posix_geteuid')) {
        $entry = function_exists('posix_getpwuid') ? posix_getpwuid(posix_geteuid()) : false;
        return is_array($entry) ? $entry['name'] : (string)posix_geteuid();
    }
    return get_current_user();
}

// True when the path lies inside the served folder or the folder of these scripts.
function IsServed(string $path): bool
{
    foreach ([DocumentRoot(), dirname(__DIR__)] as $folder) {
        $root = realpath($folder);
        if ($root !== false && strpos($path . '/', rtrim($root, '/') . '/') === 0) {
            return true;
        }
    }
    return false;
}

// A column value as a string: PostgreSQL hands BYTEA over as a stream.
function Bytes($value)
{
    return is_resource($value) ? stream_get_contents($value) : $value;
}
