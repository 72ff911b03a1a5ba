<?php
// Slows down guessing of the results page's password, refusing tries before bcrypt runs,
// whose ~50 ms of a worker are what a flood of tries would otherwise take from the reports.
// After kFreeTries wrong passwords in a row from one address (or one signed-in browser), the
// next try must wait 1, 2, 4 ... up to kLongestWait seconds after the last wrong one; so must
// a try from a network (IPv4 /24, IPv6 /48) after kGroupFreeTries from all of its addresses;
// and the browsers not signed in share kChecksPerSecond checks a second, so that fresh
// addresses from anywhere cannot spend the server's processors. The counts live in the
// database, so every PHP worker and every front end sees the same ones; under SQLite in a
// file of their own, so that a flood of tries never queues for the reports' write lock, and
// stale ones are removed a bounded batch at a time by an index, so that a table of millions
// costs a try no more than one of ten.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/reports.php';
require_once __DIR__ . '/client.php';

const kFreeTries = 5;         // per address or signed-in browser
const kGroupFreeTries = 12;   // per IPv4 /24 or IPv6 /48
const kChecksPerSecond = 2;   // for all browsers not signed in together ...
const kCheckBurst = 30;       // ... of which this many at once
const kLongestWait = 600;     // seconds
const kForgetAfter = 86400;   // seconds after the last wrong try
const kPruneBatch = 100;      // stale rows removed per checked try
const kUncheckedTries = 5;    // checks a minute while the counts cannot be kept
const kEveryone = '*';        // the row of the shared checks

final class LoginThrottle
{
    private ReportStore $store;
    private array $counted;  // row => wrong tries before it waits; null: the shared checks
    private string $own;     // the row that a right password clears
    private array $groups;   // the rows that a right password takes back its count from

    public function __construct(ReportStore $store, array $counted)
    {
        $this->store = $store;
        $this->own = (string)array_key_first($counted);
        $this->groups = array_map('strval', array_keys($counted, kGroupFreeTries, true));
        ksort($counted, SORT_STRING);  // rows are locked in one order, so tries never deadlock
        $this->counted = $counted;
    }

    // The throttle for the request: a signed-in browser (its cookie's id) counted by itself,
    // any other by its address, its network and the shared checks. Throws when the database
    // cannot be opened.
    public static function ForRequest(?string $browser): LoginThrottle
    {
        $address = ClientAddress();
        $group = AddressGroup($address);
        $counted = $browser !== null ? ['browser ' . $browser => kFreeTries]
            : [ThrottledAddress($address) => kFreeTries, kEveryone => null]
              + ($group === null ? [] : [$group => kGroupFreeTries]);
        return new LoginThrottle(ThrottleStore(ReportStore::Open()), $counted);
    }

    // Seconds until the request may try again, 0 when it may now. Only reads, so a flood of
    // refused tries does not queue for the write lock.
    public function Wait(): int
    {
        $row = $this->WithTable(fn () => $this->store->Rows(
            'SELECT MAX(next_try) FROM login_failures WHERE address IN (' . $this->Marks() . ')',
            array_keys($this->counted)));
        return $row && $row[0][0] !== null
            ? max(0, (int)ceil((float)$row[0][0] - microtime(true))) : 0;
    }

    // Counts a try as wrong before its password is checked, so that tries racing it in other
    // workers see it. False when the request must wait (another try just took the turn).
    public function Claim(): bool
    {
        return $this->WithTable(function (): bool {
            $this->IndexEarlierTable();
            $db = $this->store->db;
            $pgsql = $this->store->pgsql;
            $keys = array_map('strval', array_keys($this->counted));
            $now = microtime(true);
            $pgsql ? $db->beginTransaction() : $db->exec('BEGIN IMMEDIATE');
            try {
                $this->store->Rows('INSERT INTO login_failures (address, failures, last_failure,
                                    next_try) VALUES ' . $this->Marks('(?, 0, 0, 0)')
                                   . ' ON CONFLICT (address) DO NOTHING', $keys);
                $rows = $this->store->Rows('SELECT address, failures, last_failure, next_try
                                            FROM login_failures WHERE address IN ('
                                           . $this->Marks() . ') ORDER BY address'
                                           . ($pgsql ? ' FOR UPDATE' : ''), $keys);
                $allowed = max(array_map(fn ($row) => (float)$row[3], $rows)) <= $now;
                foreach ($allowed ? $rows : [] as [$key, $failures, $last, $next]) {
                    $free = $this->counted[$key];
                    if ($free === null) {  // one more check of the shared ones
                        $failures = 0;
                        $next = max((float)$next, $now - kCheckBurst / kChecksPerSecond)
                            + 1 / kChecksPerSecond;
                    } else {
                        $failures = $now - (float)$last < kForgetAfter ? (int)$failures + 1 : 1;
                        $next = $now + ($failures < $free ? 0
                                        : min(2 ** ($failures - $free), kLongestWait));
                    }
                    $this->store->Rows('UPDATE login_failures SET failures = ?,
                                        last_failure = ?, next_try = ? WHERE address = ?',
                                       [$failures, $now, $next, $key]);
                }
                $pgsql ? $db->commit() : $db->exec('COMMIT');
            } catch (Throwable $failure) {
                $pgsql ? $db->rollBack() : $db->exec('ROLLBACK');
                throw $failure;
            }
            // Apart from the counts' transaction, so that the shared row is never held for it.
            // The order makes the planner walk the index, where PostgreSQL, misled by its
            // estimate of stale rows, would otherwise read the whole table to find none.
            if ($allowed) {
                $this->store->Rows('DELETE FROM login_failures WHERE address IN
                                    (SELECT address FROM login_failures WHERE last_failure < ?
                                     ORDER BY last_failure LIMIT ' . kPruneBatch . ')',
                                   [$now - kForgetAfter]);
            }
            return $allowed;
        });
    }

    // A right password: the address (or browser) starts afresh, and its network counts the
    // try no more, so that a maker who signs in often without keeping the cookie (a script
    // fetching the CSV) never makes the network wait; the network's wrong tries stay counted.
    public function Succeeded(): void
    {
        $this->WithTable(function (): void {
            $this->store->Rows('DELETE FROM login_failures WHERE address = ?', [$this->own]);
            foreach ($this->groups as $group) {
                $this->store->Rows('UPDATE login_failures SET failures = failures - 1
                                    WHERE address = ? AND failures > 0', [$group]);
            }
        });
    }

    private function Marks(string $mark = '?'): string
    {
        return implode(', ', array_fill(0, count($this->counted), $mark));
    }

    // Under PostgreSQL the table that an earlier release made has no index on the time of the
    // last wrong try, so each checked try would read all of it to prune. Built without
    // holding up the tries meanwhile; a role that does not own the table cannot build it,
    // and the tries then go on without it.
    private function IndexEarlierTable(): void
    {
        if (!$this->store->pgsql || !$this->store->Rows("SELECT to_regclass('login_failures')
                IS NOT NULL AND to_regclass('login_failures_last') IS NULL", [])[0][0]) {
            return;
        }
        try {
            $this->store->db->exec('CREATE INDEX CONCURRENTLY IF NOT EXISTS login_failures_last
                                    ON login_failures (last_failure)');
        } catch (PDOException $failure) {
            error_log('exitpoll results: cannot index login_failures (' . $failure->getMessage()
                      . '); the table\'s owner can: CREATE INDEX login_failures_last ON '
                      . 'login_failures (last_failure)');
        }
    }

    // Runs $work, creating the table first when it is missing (the first wrong try).
    private function WithTable(callable $work)
    {
        try {
            return $work();
        } catch (PDOException $failure) {
            $missing = $this->store->pgsql ? (string)$failure->getCode() === '42P01'
                : strpos($failure->getMessage(), 'no such table') !== false;
            if (!$missing) {
                throw $failure;
            }
        }
        $this->store->db->exec('CREATE TABLE IF NOT EXISTS login_failures (
            address TEXT PRIMARY KEY,
            failures INTEGER NOT NULL,
            last_failure DOUBLE PRECISION NOT NULL,
            next_try DOUBLE PRECISION NOT NULL)');
        $this->store->db->exec('CREATE INDEX IF NOT EXISTS login_failures_last
                                ON login_failures (last_failure)');
        return $work();
    }
}

// Where the counts are kept: under SQLite a file of their own beside the reports'
// (uninstall-logins.sqlite), so that they never wait for the reports' write lock; under
// PostgreSQL the same database, whose locks are per row.
function ThrottleStore(ReportStore $store): ReportStore
{
    if ($store->path === null) {
        return $store;
    }
    $path = preg_replace('/(\.sqlite)?$/D', '-logins.sqlite', $store->path, 1);
    return ReportStore::Open('sqlite:' . $path);
}

// While the counts cannot be read or written, at most kUncheckedTries passwords a minute are
// checked on this front end (signed-in browsers apart), which a file in the temporary folder
// counts; its name is keyed with $secret, so that no other user of the machine can make it
// first. Returns the seconds to wait, 0 when this try may be checked.
function UncheckedWait(string $secret, bool $browser): int
{
    $name = hash_hmac('sha256', implode("\n", [Setting('EXITPOLL_STATS_DSN'),
        Setting('EXITPOLL_STATS_DB'), DocumentRoot(), $browser ? 'browser' : '']), $secret);
    $file = @fopen(sys_get_temp_dir() . '/exitpoll-unchecked-' . substr($name, 0, 24), 'c+');
    if ($file === false || !flock($file, LOCK_EX)) {
        error_log('exitpoll results: cannot count unchecked tries in ' . sys_get_temp_dir());
        return 60;
    }
    try {
        // The minute from the first unchecked try, and the tries in it.
        $now = time();
        [$since, $tries] = array_map('intval', explode(' ', (string)stream_get_contents($file), 2)
                                               + [1 => 0]);
        if ($now - $since >= 60 || $since > $now) {
            [$since, $tries] = [$now, 0];
        }
        if ($tries >= kUncheckedTries) {
            return $since + 60 - $now;
        }
        ftruncate($file, 0);
        rewind($file);
        fwrite($file, $since . ' ' . ($tries + 1));
        return 0;
    } finally {
        flock($file, LOCK_UN);
        fclose($file);
    }
}
