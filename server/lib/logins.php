<?php
// Slows down guessing of the results page's password: after kFreeTries wrong passwords in a
// row from one address, the next try must wait 1, 2, 4 ... up to kLongestWait seconds after
// the last wrong one, and is refused before bcrypt runs, whose ~50 ms of a worker are what a
// flood of tries would otherwise take from the reports. The counts live in the database, so
// every PHP worker and every front end sees the same ones.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/reports.php';

const kFreeTries = 5;
const kLongestWait = 600;     // seconds
const kForgetAfter = 86400;   // seconds after the last wrong try

final class LoginThrottle
{
    private ReportStore $store;
    private string $address;

    public function __construct(ReportStore $store, string $address)
    {
        $this->store = $store;
        $this->address = $address;
    }

    // The throttle for the requesting address, or null when the database cannot be opened
    // (the page then says why reports cannot be read, which the maker must be able to see).
    public static function ForRequest(): ?LoginThrottle
    {
        try {
            return new LoginThrottle(ReportStore::Open(), ThrottledAddress(
                (string)($_SERVER['REMOTE_ADDR'] ?? '')));
        } catch (Throwable $failure) {
            error_log('exitpoll results: no login throttle: ' . $failure->getMessage());
            return null;
        }
    }

    // Seconds until the address may try again, 0 when it may now. Only reads, so a flood of
    // refused tries does not queue for the write lock that reports need.
    public function Wait(): int
    {
        $row = $this->WithTable(fn () => $this->store->Rows(
            'SELECT next_try FROM login_failures WHERE address = ?', [$this->address]));
        return $row ? max(0, (int)ceil((float)$row[0][0] - microtime(true))) : 0;
    }

    // Counts a try as wrong before its password is checked, so that tries racing it in other
    // workers see it. False when the address must wait (another try just took the turn).
    public function Claim(): bool
    {
        return $this->WithTable(function (): bool {
            $db = $this->store->db;
            $pgsql = $this->store->pgsql;
            $now = microtime(true);
            $pgsql ? $db->beginTransaction() : $db->exec('BEGIN IMMEDIATE');
            try {
                $this->store->Rows('INSERT INTO login_failures (address, failures, last_failure,
                                    next_try) VALUES (?, 0, 0, 0) ON CONFLICT (address) DO NOTHING',
                                   [$this->address]);
                [[$failures, $last, $next]] = $this->store->Rows(
                    'SELECT failures, last_failure, next_try FROM login_failures WHERE address = ?'
                    . ($pgsql ? ' FOR UPDATE' : ''), [$this->address]);
                $allowed = (float)$next <= $now;
                if ($allowed) {
                    $failures = $now - (float)$last < kForgetAfter ? (int)$failures + 1 : 1;
                    $wait = $failures < kFreeTries ? 0 : min(2 ** ($failures - kFreeTries),
                                                             kLongestWait);
                    $this->store->Rows('UPDATE login_failures SET failures = ?, last_failure = ?,
                                        next_try = ? WHERE address = ?',
                                       [$failures, $now, $now + $wait, $this->address]);
                    $this->store->Rows('DELETE FROM login_failures WHERE last_failure < ?',
                                       [$now - kForgetAfter]);
                }
                $pgsql ? $db->commit() : $db->exec('COMMIT');
                return $allowed;
            } catch (Throwable $failure) {
                $pgsql ? $db->rollBack() : $db->exec('ROLLBACK');
                throw $failure;
            }
        });
    }

    // A right password: the address starts afresh.
    public function Succeeded(): void
    {
        $this->WithTable(fn () => $this->store->Rows(
            'DELETE FROM login_failures WHERE address = ?', [$this->address]));
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
        return $work();
    }
}

// The address whose tries are counted together: an IPv4 address, or the /64 network of an
// IPv6 one, which one user usually holds whole.
function ThrottledAddress(string $address): string
{
    $packed = @inet_pton($address);
    if (is_string($packed) && strlen($packed) === 16 && substr($packed, 0, 12) !==
        "\0\0\0\0\0\0\0\0\0\0\xff\xff") {
        return inet_ntop(substr($packed, 0, 8) . str_repeat("\0", 8)) . '/64';
    }
    return $address;
}
