<?php
// The store of uninstall reports, shared by the endpoint and the results page: which database
// (a PDO DSN, SQLite by default) and the queries; the schema is in schema.php, the settings
// in settings.php and the free-text search in search.php.
//
// Reports are kept byte for byte as the applet sent them (its system's ANSI bytes), so the
// values are TEXT in SQLite, which takes any bytes, and BYTEA in PostgreSQL, which would
// refuse non-UTF-8 text. A trigger keeps per-day counts in report_counts, so the results
// page reads a few thousand summary rows however many reports there are.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/settings.php';
require_once __DIR__ . '/upgrades.php';
require_once __DIR__ . '/search.php';
require_once __DIR__ . '/diagnostics.php';
require_once __DIR__ . '/grants.php';
require_once __DIR__ . '/failures.php';

final class StoreTimeout extends RuntimeException
{
}

final class ReportStore
{
    public PDO $db;
    public bool $pgsql;
    public ?string $path = null;  // of an SQLite file
    // Why a database of an earlier release cannot be brought up to date, or '' (grants.php).
    public string $upgradeProblem = '';
    private ?array $columns = null;  // of the reports table, while it is not up to date

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
    public static function Open(?string $dsn = null): ReportStore
    {
        $dsn ??= Setting('EXITPOLL_STATS_DSN');  // given: another file beside the reports'
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
            $store->path = $path;
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

    // Stores one report given as column => value (time, prj, reason and os required; ver,
    // report_id, via, mail_key, cs and n optional) unless its report_id or mail_key is stored
    // already, or the mail_key an earlier release gave the same mail (earlier_mail_key);
    // true when it was stored. Stores nothing and throws StoreTimeout when it cannot be
    // committed by $deadline (a microtime(true) value): waits for locks are cut short before
    // it, and the transaction is only committed while there is time left, so a slow store
    // never leaves a row behind an answer other than "OK".
    public function StoreReport(array $report, float $deadline): bool
    {
        $values = ['time' => $report['time'], 'report_id' => $report['report_id'] ?? null,
                   'via' => $report['via'] ?? 'http', 'mail_key' => $report['mail_key'] ?? null,
                   'cs' => $report['cs'] ?? null, 'n' => $report['n'] ?? null,
                   'prj' => $report['prj'], 'reason' => $report['reason'], 'os' => $report['os'],
                   'ver' => $report['ver'] ?? null];
        $values += SearchColumns($values);
        $earlierKey = $report['earlier_mail_key'] ?? null;
        try {
            $this->UpgradeIfNeeded();
            try {
                return $this->Insert($values, $earlierKey, $deadline);
            } catch (PDOException $failure) {
                if (!IsMissingTable($failure, $this->pgsql)
                    && !IsMissingColumn($failure, $this->pgsql)) {
                    throw $failure;
                }
                $this->Rollback();
                try {
                    $this->CreateSchema();  // the first report of a new or an earlier database
                } catch (UpgradeNotAllowed $refused) {
                    // Stored as the earlier release did, until the upgrade may run.
                    $this->Rollback();
                    $this->columns = ColumnsUntilUpgrade($this->db, $values, $refused);
                }
                return $this->Insert($values, $earlierKey, $deadline);
            }
        } catch (Throwable $failure) {
            $this->Rollback();
            if ($failure instanceof PDOException && IsTimeout($failure, $this->pgsql)) {
                throw new StoreTimeout($failure->getMessage());
            }
            throw $failure;
        }
    }

    // $values: column => value, texts first, then stored bytes (prj, reason, os, ver); only
    // the columns the table has while it awaits its upgrade.
    private function Insert(array $values, ?string $earlierKey, float $deadline): bool
    {
        if ($this->columns !== null) {
            $values = array_intersect_key($values, array_flip($this->columns));
        }
        $left = max(1, (int)(($deadline - microtime(true)) * 1000));
        if ($this->pgsql) {
            $this->db->beginTransaction();
            $this->db->exec('SET LOCAL statement_timeout = ' . $left);
        } else {
            $this->db->exec('PRAGMA busy_timeout = ' . $left);
            $this->db->exec('BEGIN IMMEDIATE');
        }
        if ($earlierKey !== null && $this->Rows('SELECT 1 FROM reports WHERE mail_key = ?',
                                                [$earlierKey])) {
            $this->pgsql ? $this->db->commit() : $this->db->exec('COMMIT');
            return false;  // stored by an earlier release under the key it gave
        }
        // A repeat (its report_id or mail_key stored already) leaves no row and, since the
        // unique indexes decide, two repeats at once store one row between them.
        $texts = array_diff_key($values, array_flip(['prj', 'reason', 'os', 'ver']));
        $bytes = array_diff_key($values, $texts);
        $insert = $this->db->prepare('INSERT INTO reports (' . implode(', ', array_keys(
            $texts + $bytes)) . ') VALUES (' . implode(', ', array_fill(0, count($values), '?'))
            . ') ON CONFLICT DO NOTHING');
        $this->Bind($insert, array_values($texts), array_values($bytes));
        $insert->execute();
        $stored = $insert->rowCount() === 1;
        if (microtime(true) >= $deadline) {
            throw new StoreTimeout('no time left to commit');
        }
        $this->pgsql ? $this->db->commit() : $this->db->exec('COMMIT');
        return $stored;
    }

    // Creates the tables, indexes and the counting triggers when they are missing; brings a
    // database of an earlier version up to date (SchemaSteps). Safe to run at once from many
    // requests: one of them does the work, the others wait for it.
    public function CreateSchema(): void
    {
        if ($this->pgsql) {
            $this->db->beginTransaction();
            $this->db->exec('SELECT pg_advisory_xact_lock(2718281828)');
        } else {
            // Readers (the results page) and the writer then do not block each other.
            $this->db->exec('PRAGMA journal_mode = WAL');
            $this->db->exec('BEGIN IMMEDIATE');
        }
        try {
            foreach (SchemaSteps($this->pgsql) as $version => [$present, $statements]) {
                if ($this->pgsql ? !$this->db->query($present)->fetchColumn()
                                 : $this->SqliteVersion() < $version) {
                    if ($this->pgsql) {
                        CheckUpgradeAllowed($this->db);
                    }
                    array_map([$this->db, 'exec'], $statements());
                }
            }
            $filled = FillSearch($this);  // answers stored before the search index, or by others
            $this->pgsql ? $this->db->commit() : $this->db->exec('COMMIT');
            if ($this->pgsql && $filled > 0) {
                // The rows the fill replaced stay in the indexes until vacuumed, and would
                // slow every search down; its statistics are made anew for the planner.
                $this->db->exec('VACUUM (ANALYZE) reports');
            }
        } catch (Throwable $failure) {
            $this->Rollback();
            if ($failure instanceof PDOException && (string)$failure->getCode() === '42501') {
                throw new UpgradeNotAllowed('The role the collector uses may not bring the '
                    . 'database up to date: ' . $failure->getMessage());  // privilege
            }
            throw $failure;
        }
    }

    private function SqliteVersion(): int
    {
        return (int)$this->db->query('PRAGMA user_version')->fetchColumn();
    }

    // Makes sure an SQLite file made by an earlier version has the counts too; the reports
    // table alone lets the endpoint store but would leave the results page empty.
    public function UpgradeIfNeeded(): void
    {
        if (!$this->pgsql && $this->SqliteVersion() < array_key_last(SchemaSteps(false))) {
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

    // Creates or completes the schema when it is missing, for readers of the reports; when
    // the role may not, they read what the earlier release stored and upgradeProblem says why.
    public function EnsureSchema(): void
    {
        if (!$this->pgsql) {
            $this->UpgradeIfNeeded();
        } elseif (!$this->HasSchema()) {  // each step made after the ones before
            try {
                $this->CreateSchema();
            } catch (UpgradeNotAllowed $refused) {
                $this->Rollback();
                $this->upgradeProblem = $refused->getMessage();
                $this->columns = ReportColumns($this->db, true);
                $this->db->beginTransaction();  // which the view below ends with
                $this->db->exec(EarlierReportsView($this->db, $this->columns));
            }
        }
    }

    // The column's name, or $otherwise (an SQL value) while the table awaits the upgrade
    // that adds it.
    public function Column(string $name, string $otherwise): string
    {
        $present = $this->columns === null || in_array($name, $this->columns, true);
        return $present ? $name : $otherwise;
    }

    // True once the last step of the schema is there.
    private function HasSchema(): bool
    {
        $steps = SchemaSteps(true);
        return (bool)$this->db->query(end($steps)[0])->fetchColumn();
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
}

// A column value as a string: PostgreSQL hands BYTEA over as a stream.
function Bytes($value)
{
    return is_resource($value) ? stream_get_contents($value) : $value;
}
