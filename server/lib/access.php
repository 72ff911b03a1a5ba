<?php
// Who may see the results page: HTTP Basic authentication against the configured password
// hash, with wrong tries slowed down by the login throttle and a cookie for the browsers that
// gave the right one.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/reports.php';
require_once __DIR__ . '/responses.php';
require_once __DIR__ . '/logins.php';
require_once __DIR__ . '/browser_cookie.php';

function GivenPassword(): ?string
{
    if (isset($_SERVER['PHP_AUTH_PW'])) {
        return (string)$_SERVER['PHP_AUTH_PW'];
    }
    $header = (string)($_SERVER['HTTP_AUTHORIZATION'] ?? '');
    if (stripos($header, 'Basic ') !== 0) {
        return null;
    }
    $pair = base64_decode(substr($header, 6), true);
    $colon = $pair === false ? false : strpos($pair, ':');
    return $colon === false ? null : substr($pair, $colon + 1);
}

// The password hash: EXITPOLL_RESULTS_PASSWORD_HASH, else the first line of the file that
// EXITPOLL_RESULTS_PASSWORD_HASH_FILE names. php-fpm reads an env[] value that starts with
// "$" as the name of one of its own variables, so a pool cannot hold the hash itself; it can
// name the file. '' when neither gives one.
function PasswordHash(): string
{
    $hash = Setting('EXITPOLL_RESULTS_PASSWORD_HASH');
    $file = Setting('EXITPOLL_RESULTS_PASSWORD_HASH_FILE');
    if ($hash !== '' || $file === '') {
        return $hash;
    }
    $text = @file_get_contents($file, false, null, 0, 4096);
    if ($text === false) {
        error_log('exitpoll results: PHP, running as ' . PhpUser() . ', cannot read ' . $file);
        return '';
    }
    return trim(strtok($text, "\n") ?: '');
}

// True when the request may see the reports; otherwise the refusal has been sent.
function Admitted(): bool
{
    $hash = PasswordHash();
    if ($hash === '') {
        $file = Setting('EXITPOLL_RESULTS_PASSWORD_HASH_FILE');
        Refuse(403, 'The results page is closed', ($file !== ''
               ? '<p>No password is set: PHP cannot read a hash from the file that '
                 . '<code>EXITPOLL_RESULTS_PASSWORD_HASH_FILE</code> names (the error log '
                 . 'says which; anyone may see this page, so it does not).</p>'
               : '<p>No password is set, so no one may see the reports.</p>')
               . '<p>Make a hash with</p><pre>php -r \'echo password_hash("your password", '
               . 'PASSWORD_DEFAULT), "\n";\'</pre><p>and set it as the environment variable '
               . '<code>EXITPOLL_RESULTS_PASSWORD_HASH</code> of the PHP server (with Apache: '
               . '<code>SetEnv</code> in <code>stat/.htaccess</code>), or, under php-fpm, '
               . 'which would take its <code>$</code> signs for variables, write it to a file '
               . 'and name that file in the pool: <code>env[EXITPOLL_RESULTS_PASSWORD_HASH_FILE]'
               . '</code>. Then sign in with any user name and that password.</p>');
        return false;
    }
    $password = GivenPassword();
    if ($password === null || !PasswordAccepted($password, $hash)) {
        Refuse(401, 'Password needed', '<p>The reports are shown only with the password.</p>');
        return false;
    }
    return true;
}

// Checks the password unless its address (or, with a signed-in browser's cookie, that
// browser) has had too many wrong ones (LoginThrottle), in which case the 429 refusal is sent
// here and the request ends. A throttle that fails lets a few checks a minute go ahead, as
// the maker must still reach the page that says what is wrong, and refuses the rest with 503.
// A right password signs the browser in (again, once half its cookie's time has run).
function PasswordAccepted(string $password, string $hash): bool
{
    $browser = SignedInBrowser($hash);
    try {
        $throttle = LoginThrottle::ForRequest($browser['id'] ?? null);
        if (($wait = $throttle->Wait()) === 0 && !$throttle->Claim()) {
            $wait = max(1, $throttle->Wait());
        }
    } catch (Throwable $failure) {
        error_log('exitpoll results: login throttle: ' . $failure->getMessage());
        $throttle = null;
        if (($wait = UncheckedWait($hash, $browser !== null)) > 0) {
            header('Retry-After: ' . $wait);
            Refuse(503, 'The password cannot be checked now', '<p>Wrong passwords cannot be '
                   . 'counted now (the error log says why), so only a few a minute are checked. '
                   . 'Try again in ' . $wait . ' seconds.</p>');
            exit;
        }
    }
    if ($wait > 0) {
        header('Retry-After: ' . $wait);
        Refuse(429, 'Too many wrong passwords', '<p>Try again in ' . $wait . ' seconds.</p>');
        exit;
    }
    if (!password_verify($password, $hash)) {
        return false;
    }
    try {
        $throttle?->Succeeded();
    } catch (Throwable $failure) {
        error_log('exitpoll results: login throttle: ' . $failure->getMessage());
    }
    if ($browser === null || $browser['expires'] - time() < kBrowserLifetime / 2) {
        SignInBrowser($hash);
    }
    return true;
}
