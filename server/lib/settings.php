<?php
// The collector's configuration: settings from the environment or the server, and where an
// SQLite file may live (never inside the served folder).

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
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

function PhpUser(): string
{
    if (function_exists('posix_geteuid')) {
        $entry = function_exists('posix_getpwuid') ? posix_getpwuid(posix_geteuid()) : false;
        return is_array($entry) ? $entry['name'] : (string)posix_geteuid();
    }
    return get_current_user();
}
