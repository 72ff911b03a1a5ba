<?php
// Statistics endpoint for exitpoll's uninstall reports: takes one GET with prj, reason and
// os (and ver and id when the applet sends them), stores it, and answers "OK" only once the
// row is safely written (or was already: a report whose id is stored is not stored twice), so
// the applet mails the answer instead whenever it was not stored. Every answer comes well
// within the applet's 3000 ms wait: a store that cannot finish in 1500 ms is abandoned and
// answered 503, so a slow store does not leave a report both stored and mailed.
//
// Where the reports go: see server/README.md (EXITPOLL_STATS_DSN, EXITPOLL_STATS_DB).

ini_set('display_errors', '0');
ini_set('default_charset', '');  // keeps PHP from appending "; charset=..." to text/plain
header_remove('X-Powered-By');

require_once __DIR__ . '/../lib/reports.php';

const kStoreBudget = 1.5;  // seconds from the request's arrival to the commit
const kCaps = ['prj' => 256, 'reason' => 8192, 'os' => 64];
// Keys a report may carry besides: the product's version and the report's id, which makes a
// repeat of a stored report (a late answer, a retry) recognisable.
const kOptionalCaps = ['ver' => 32, 'id' => 16];

// Every warning becomes an exception, so no half-done store can still answer "OK".
set_error_handler(function (int $level, string $message, string $file, int $line): bool {
    if (!(error_reporting() & $level)) {
        return false;  // silenced with @ where the code checks the outcome itself
    }
    throw new ErrorException($message, 0, $level, $file, $line);
});

// The three values from the raw query, decoded byte for byte, or null unless each key is
// there exactly once as a plain value; ver and id too when given, at most once each. PHP's
// own $_GET would drop keys past max_input_vars, take the last of repeated keys and turn
// prj[] into an array.
function ReportValues(string $query): ?array
{
    $values = [];
    foreach (explode('&', $query) as $pair) {
        $equals = strpos($pair, '=');
        $key = urldecode($equals === false ? $pair : substr($pair, 0, $equals));
        $bracket = strpos($key, '[');
        $name = $bracket === false ? $key : substr($key, 0, $bracket);
        if (!array_key_exists($name, kCaps) && !array_key_exists($name, kOptionalCaps)) {
            continue;
        }
        if ($bracket !== false || isset($values[$name])) {
            return null;
        }
        $values[$name] = $equals === false ? '' : urldecode(substr($pair, $equals + 1));
    }
    $required = array_intersect_key($values, kCaps);
    if (count($required) !== count(kCaps)) {
        return null;
    }
    if (isset($values['id']) && !preg_match('/^[0-9A-Fa-f]{16}$/D', $values['id'])) {
        return null;
    }
    return $values;
}

// The answer is complete and final on its own: a fixed length and a closed connection, so a
// client that reads lines until the connection ends sees exactly this and nothing more.
function Answer(int $status, string $text, array $headers = []): void
{
    http_response_code($status);
    header('Content-Type: text/plain');
    header('Content-Length: ' . strlen($text));
    foreach ($headers as $header) {
        header($header);
    }
    if (PHP_SAPI !== 'cli-server') {  // PHP's own server always closes, and says so itself
        header('Connection: close');
    }
    echo $text;
}

// Hands the answer given so far to the client before the script goes on.
function SendAnswerNow(): void
{
    if (function_exists('fastcgi_finish_request')) {
        fastcgi_finish_request();
        return;
    }
    while (ob_get_level() > 0) {
        ob_end_flush();
    }
    flush();
}

// When the request reached the server. PHP's own start time misses the wait in php-fpm's
// queue, which under load can outlast the applet's patience, so the site passes nginx's
// clock (EXITPOLL_ARRIVAL, seconds) along. nginx and php-fpm share a host or a synchronised
// clock; a value that is not plausible is ignored.
function Arrival(): float
{
    $started = (float)($_SERVER['REQUEST_TIME_FLOAT'] ?? microtime(true));
    $given = $_SERVER['EXITPOLL_ARRIVAL'] ?? '';
    if (is_string($given) && is_numeric($given)) {
        $arrival = (float)$given;
        if ($arrival <= $started + 0.01 && $arrival > $started - 10) {
            return $arrival;
        }
    }
    return $started;
}

function HandleReport(): void
{
    $arrival = Arrival();
    if (($_SERVER['REQUEST_METHOD'] ?? '') !== 'GET') {
        Answer(405, "GET ONLY\n", ['Allow: GET']);
        return;
    }
    $values = ReportValues((string)($_SERVER['QUERY_STRING'] ?? ''));
    if ($values === null) {
        Answer(400, "BAD REPORT\n");
        return;
    }
    foreach (kCaps + kOptionalCaps as $name => $cap) {
        if (strlen($values[$name] ?? '') > $cap) {
            Answer(413, "TOO LONG\n");
            return;
        }
    }
    try {
        // Ids are compared as given, in one case.
        $reportId = isset($values['id']) ? strtolower($values['id']) : null;
        $store = ReportStore::Open();
        $store->Store($values['prj'], $values['reason'], $values['os'], $arrival + kStoreBudget,
                      $values['ver'] ?? null, $reportId);
        Answer(200, "OK\n");
        // The store is closed only after the answer has gone: closing an SQLite file folds
        // its log back into it, several syncs that a slow disk could stretch past the
        // applet's wait for a report already stored.
        SendAnswerNow();
    } catch (StoreTimeout $late) {
        error_log('exitpoll stats: not stored in time: ' . $late->getMessage());
        Answer(503, "NOT STORED\n");
    } catch (Throwable $failure) {
        error_log('exitpoll stats: ' . $failure->getMessage());
        Answer(500, "NOT STORED\n");
    }
}

HandleReport();
