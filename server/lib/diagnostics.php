<?php
// Why the reports cannot be stored, in words for the maker, shown by the results page when
// the endpoint can only answer "NOT STORED".

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/settings.php';

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
