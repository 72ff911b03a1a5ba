<?php
// The cookie that a browser gets with a right password: its tries are then counted apart from
// its address, so that someone guessing from the same address (a shared NAT, a proxy) cannot
// lock the maker out. Signed with a key derived from the password hash, so that it cannot be
// forged without the hash and ends when the password changes.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/client.php';

const kBrowserCookie = 'exitpoll_browser';
const kBrowserLifetime = 30 * 86400;  // seconds

function BrowserKey(string $hash): string
{
    return hash_hmac('sha256', 'exitpoll results browser cookie', $hash, true);
}

// "ID.EXPIRES.MAC": a random id (32 hex digits), the Unix time it ends, and the HMAC-SHA256
// of the two.
function SignedBrowser(string $hash, string $id, int $expires): string
{
    $value = $id . '.' . $expires;
    return $value . '.' . hash_hmac('sha256', $value, BrowserKey($hash));
}

// The browser's cookie as its id and end (Unix time) when it is ours and still runs, else
// null.
function SignedInBrowser(string $hash): ?array
{
    $cookie = $_COOKIE[kBrowserCookie] ?? null;
    if (!is_string($cookie)
        || !preg_match('/^([0-9a-f]{32})\.([0-9]{1,12})\.[0-9a-f]{64}$/D', $cookie, $parts)) {
        return null;
    }
    $expires = (int)$parts[2];
    if ($expires <= time() || $expires > time() + kBrowserLifetime
        || !hash_equals(SignedBrowser($hash, $parts[1], $expires), $cookie)) {
        return null;
    }
    return ['id' => $parts[1], 'expires' => $expires];
}

// Gives the browser a new cookie for kBrowserLifetime, for this page alone, never to
// scripts, never with a request from another site, and over HTTPS only when it came so.
function SignInBrowser(string $hash): void
{
    $expires = time() + kBrowserLifetime;
    $path = (string)($_SERVER['SCRIPT_NAME'] ?? '');
    setcookie(kBrowserCookie, SignedBrowser($hash, bin2hex(random_bytes(16)), $expires), [
        'expires' => $expires, 'path' => $path !== '' ? $path : '/', 'secure' => IsHttps(),
        'httponly' => true, 'samesite' => 'Strict']);
}
