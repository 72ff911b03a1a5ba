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

require_once __DIR__ . '/../lib/report_query.php';
require_once __DIR__ . '/../lib/reports.php';

const kStoreBudget = 1.5;  // seconds from the request's arrival to the commit

WarningsAsExceptions();

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
    [$values, $refusal] = ReportFromQuery((string)($_SERVER['QUERY_STRING'] ?? ''));
    if ($refusal !== null) {
        Answer(...$refusal);
        return;
    }
    try {
        $store = ReportStore::Open();
        $store->StoreReport(ReportRow($values, 'http'), $arrival + kStoreBudget);
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
