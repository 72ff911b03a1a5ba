<?php
// Statistics endpoint for exitpoll's uninstall reports: stores one row per report in SQLite
// and answers "OK" only once the row is safely written, so the applet mails the answer instead
// whenever it was not stored.
//
// The database lives outside the served folder, since a web server may hand out any file
// under its document root. Set EXITPOLL_STATS_DB to choose the file; by default it is
// exitpoll-data/uninstall.sqlite beside the document root.

ini_set('display_errors', '0');
ini_set('default_charset', '');  // keeps PHP from appending "; charset=..." to text/plain
header_remove('X-Powered-By');

// Every warning becomes an exception, so no half-done store can still answer "OK".
set_error_handler(function (int $level, string $message, string $file, int $line): bool {
    if (!(error_reporting() & $level)) {
        return false;  // silenced with @ where the code checks the outcome itself
    }
    throw new ErrorException($message, 0, $level, $file, $line);
});

// A query value as it came: a string stays byte for byte, anything else (a missing key, an
// array such as prj[]=x) is stored empty.
function QueryValue(string $key): string
{
    $value = $_GET[$key] ?? '';
    return is_string($value) ? $value : '';
}

function DatabasePath(): string
{
    $configured = getenv('EXITPOLL_STATS_DB');
    if (is_string($configured) && $configured !== '') {
        return $configured;
    }
    $root = $_SERVER['DOCUMENT_ROOT'] ?? '';
    if ($root === '') {
        $root = dirname(__DIR__);
    }
    return dirname(rtrim($root, '/')) . '/exitpoll-data/uninstall.sqlite';
}

// True when the path lies inside the served folder, where anyone could download it.
function IsServed(string $path): bool
{
    $root = realpath($_SERVER['DOCUMENT_ROOT'] ?? '');
    $folder = realpath(dirname($path));
    return $root !== false && $folder !== false
        && ($folder === $root || strpos($folder . '/', rtrim($root, '/') . '/') === 0);
}

function StoreReport(string $path): void
{
    // Two first reports at once may both try to create the folder: only its absence counts.
    $folder = dirname($path);
    if (!is_dir($folder) && !@mkdir($folder, 0700, true) && !is_dir($folder)) {
        throw new RuntimeException('cannot create ' . $folder);
    }
    if (IsServed($path)) {
        throw new RuntimeException('refusing to keep the reports inside the served folder');
    }
    $db = new PDO('sqlite:' . $path, null, null, [
        PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION,
        PDO::ATTR_TIMEOUT => 5,
    ]);
    $db->exec('CREATE TABLE IF NOT EXISTS reports (
        id INTEGER PRIMARY KEY,
        time TEXT NOT NULL,
        prj TEXT NOT NULL,
        reason TEXT NOT NULL,
        os TEXT NOT NULL)');
    $insert = $db->prepare('INSERT INTO reports (time, prj, reason, os) VALUES (?, ?, ?, ?)');
    $insert->execute([gmdate('Y-m-d\TH:i:s\Z'), QueryValue('prj'), QueryValue('reason'),
                      QueryValue('os')]);
}

// The answer is complete and final on its own: a fixed length and a closed connection, so a
// client that reads lines until the connection ends sees exactly this and nothing more.
function Answer(int $status, string $text): void
{
    http_response_code($status);
    header('Content-Type: text/plain');
    header('Content-Length: ' . strlen($text));
    if (PHP_SAPI !== 'cli-server') {  // PHP's own server always closes, and says so itself
        header('Connection: close');
    }
    echo $text;
}

try {
    StoreReport(DatabasePath());
    Answer(200, "OK\n");
} catch (Throwable $failure) {
    error_log('exitpoll stats: ' . $failure->getMessage());
    Answer(500, "NOT STORED\n");
}
