<?php
// The maker's view of the uninstall reports: counts per reason, per Windows version and per
// day for a period and a product, the latest free-text answers, and the chosen reports as
// CSV. Behind HTTP Basic authentication against EXITPOLL_RESULTS_PASSWORD_HASH; closed when
// that is not set. The counts come from the per-day summary, so the page's work grows with
// the distinct values counted in the period (days, reasons, Windows versions), not with the
// number of reports.

ini_set('display_errors', '0');
header_remove('X-Powered-By');

require __DIR__ . '/../lib/reports.php';
require __DIR__ . '/../lib/view.php';
require __DIR__ . '/../lib/logins.php';
require __DIR__ . '/../lib/version.php';

const kPeriods = ['7' => 'Last 7 days', '30' => 'Last 30 days', '90' => 'Last 90 days',
                  'all' => 'All time'];
const kTopBars = 20;       // bars per chart; the rest are summed into one
const kFreeTexts = 100;
const kCsvBatch = 5000;
const kShareReasons = 7;   // reasons with a colour of their own in the weekly shares
const kSearchLength = 200; // characters of a search taken

function Refuse(int $status, string $title, string $explanation): void
{
    PageHeaders($status, 'text/html; charset=utf-8');
    if ($status === 401) {
        header('WWW-Authenticate: Basic realm="exitpoll results", charset="UTF-8"');
    }
    echo "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>",
        Text($title), "</title></head><body><h1>", Text($title), "</h1>", $explanation,
        "</body></html>\n";
}

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

// Checks the password unless its address has had too many wrong ones (LoginThrottle), in
// which case the 429 refusal is sent here and the request ends. A throttle that fails lets
// the check go ahead: the maker must still reach the page that says what is wrong.
function PasswordAccepted(string $password, string $hash): bool
{
    $throttle = LoginThrottle::ForRequest();
    $wait = 0;
    try {
        if ($throttle !== null && ($wait = $throttle->Wait()) === 0 && !$throttle->Claim()) {
            $wait = max(1, $throttle->Wait());
        }
    } catch (Throwable $failure) {
        error_log('exitpoll results: login throttle: ' . $failure->getMessage());
        $throttle = null;
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
    return true;
}

// The chosen period and product from the query: ['days' => '7'|'30'|'90'|'all',
// 'prj' => stored bytes or null for all, 'since' => first day 'Y-m-d' or '',
// 'ver' => stored bytes or null for all, 'q' => the free-text search, UTF-8, or ''].
function Choice(): array
{
    $days = $_GET['days'] ?? '';
    $days = is_string($days) && array_key_exists($days, kPeriods) ? $days : '30';
    $hex = $_GET['p'] ?? '';
    $prj = is_string($hex) && $hex !== '' && ctype_xdigit($hex) && strlen($hex) % 2 === 0
        ? hex2bin($hex) : null;
    $since = $days === 'all' ? '' : gmdate('Y-m-d', time() - ((int)$days - 1) * 86400);
    return ['days' => $days, 'prj' => $prj, 'since' => $since] + VersionAndSearch();
}

function ChoiceQuery(array $choice, array $extra = []): string
{
    $query = ['days' => $choice['days']];
    if ($choice['prj'] !== null) {
        $query['p'] = bin2hex($choice['prj']);
    }
    if ($choice['ver'] !== null) {
        $query['v'] = bin2hex($choice['ver']);
    }
    return '?' . http_build_query($query + $extra, '', '&amp;');
}

// [[value, count], ...] of the counts of one kind ('reason' or 'os'), the largest first;
// past kTopBars the rest are summed into one bar.
function Counts(ReportStore $store, string $kind, array $choice, int $total): array
{
    [$where, $texts, $bytes] = SummaryFilter($kind, $choice);
    $rows = $store->Rows('SELECT value, SUM(n) FROM ' . CountsTable($store, $choice, $kind)
                         . " $where GROUP BY value ORDER BY 2 DESC, 1 LIMIT " . (kTopBars + 1),
                         $texts, $bytes);
    $bars = array_map(fn ($row) => [$row[0], (int)$row[1]], $rows);
    if (count($bars) > kTopBars) {
        $bars = array_slice($bars, 0, kTopBars - 1);
        $shown = array_sum(array_map(fn ($bar) => $bar[1], $bars));
        $bars[] = ['(all others)', $total - $shown];
    }
    return $bars;
}

function SummaryFilter(string $kind, array $choice): array
{
    $where = 'WHERE kind = ? AND day >= ?';
    $bytes = [];
    if ($choice['prj'] !== null) {
        $where .= ' AND prj = ?';
        $bytes[] = $choice['prj'];
    }
    return [$where, [$kind, $choice['since']], $bytes];
}

function ReportFilter(array $choice): array
{
    $where = 'time >= ?';
    $bytes = [];
    if ($choice['prj'] !== null) {
        $where .= ' AND prj = ?';
        $bytes[] = $choice['prj'];
    }
    if ($choice['ver'] !== null) {
        $where .= ' AND ver = ?';
        $bytes[] = $choice['ver'];
    }
    return [$where, $bytes];
}

// The product version ('v', hex of the stored bytes) and the free-text search ('q') chosen.
function VersionAndSearch(): array
{
    $hex = $_GET['v'] ?? '';
    $ver = is_string($hex) && $hex !== '' && ctype_xdigit($hex) && strlen($hex) % 2 === 0
        ? hex2bin($hex) : null;
    $search = $_GET['q'] ?? '';
    $search = is_string($search) && preg_match('//u', $search)
        ? trim(FirstCharacters($search, kSearchLength)) : '';
    return ['ver' => $ver, 'q' => $search];
}

function FirstCharacters(string $utf8, int $length): string
{
    return preg_match('/^.{0,' . $length . '}/su', $utf8, $cut) ? $cut[0] : '';
}

// Where the counts of one kind come from: the per-day summary, or for one product version
// the summary of that version's reports (whose versions are that one, counted per day). The
// version is written into the SQL as hex, since it comes before the placeholders.
function CountsTable(ReportStore $store, array $choice, string $kind): string
{
    if ($choice['ver'] === null) {
        return 'report_counts';
    }
    $hex = bin2hex($choice['ver']);
    $ver = $store->pgsql ? "'\\x$hex'::bytea" : "CAST(X'$hex' AS TEXT)";
    return $kind === 'ver'
        ? "(SELECT 'ver' AS kind, day, prj, ver AS value, n FROM version_counts
            WHERE ver = $ver AND kind = 'day') AS chosen_counts"
        : "(SELECT kind, day, prj, value, n FROM version_counts WHERE ver = $ver) AS chosen_counts";
}

// How many of the chosen reports came $via ('mail', 'page').
function CountVia(ReportStore $store, array $choice, string $via): int
{
    [$where, $texts, $bytes] = SummaryFilter('via', $choice);
    $rows = $store->Rows('SELECT SUM(n) FROM ' . CountsTable($store, $choice, 'via')
                         . " $where AND value = ?", $texts, [...$bytes, $via]);
    return (int)($rows[0][0] ?? 0);
}

// The product versions to choose from: those of the chosen product, or of all.
function VersionsToChoose(ReportStore $store, array $choice): array
{
    $where = "kind = 'ver'";
    $bytes = [];
    if ($choice['prj'] !== null) {
        $where .= ' AND prj = ?';
        $bytes[] = $choice['prj'];
    }
    $rows = $store->Rows("SELECT value FROM report_counts WHERE $where GROUP BY value
                          ORDER BY SUM(n) DESC, 1 LIMIT 201", [], $bytes);
    return array_values(array_filter(array_column($rows, 0), fn ($ver) => $ver !== ''));
}

// Per week (its Monday), the reports of each of the most frequent reasons and of the rest:
// [[week => [label => n]], [labels in order]]. The counts are per day, so weeks are summed
// here from a bounded number of rows: days times kShareReasons.
function WeeklyReasons(ReportStore $store, array $choice, array $reasons, array $perDay): array
{
    $labels = array_slice(array_column($reasons, 0), 0, kShareReasons);  // never "(all others)"
    $weeks = [];
    foreach ($perDay as $day => $count) {
        $weeks[WeekOf($day)]['(others)'] = ($weeks[WeekOf($day)]['(others)'] ?? 0) + $count;
    }
    if ($labels) {
        [$where, $texts, $bytes] = SummaryFilter('reason', $choice);
        $marks = implode(', ', array_fill(0, count($labels), '?'));
        foreach ($store->Rows('SELECT day, value, SUM(n) FROM '
                              . CountsTable($store, $choice, 'reason')
                              . " $where AND value IN ($marks) GROUP BY day, value",
                              $texts, [...$bytes, ...$labels]) as [$day, $value, $count]) {
            $week = WeekOf($day);
            $weeks[$week][$value] = ($weeks[$week][$value] ?? 0) + (int)$count;
            $weeks[$week]['(others)'] -= (int)$count;
        }
    }
    $labels[] = '(others)';
    return [$weeks, $labels];
}

function WeekOf(string $day): string
{
    $time = strtotime($day . 'T00:00:00Z');
    return gmdate('Y-m-d', $time - ((int)gmdate('N', $time) - 1) * 86400);
}

// The latest free-text answers of the chosen reports that contain the search, if any.
function FreeTextAnswers(ReportStore $store, array $choice): array
{
    [$reportWhere, $reportBytes] = ReportFilter($choice);
    $search = Utf8ToAnsi($choice['q']);
    [$match, $matchBytes] = $search !== '' ? $store->FreeTextMatch($search) : ['1 = 1', []];
    return $store->Rows('SELECT time, prj, reason FROM reports WHERE '
                        . $store->FreeTextSql() . " AND $reportWhere AND $match
                        ORDER BY time DESC, id DESC LIMIT " . kFreeTexts,
                        [$choice['since']], [...$reportBytes, ...$matchBytes]);
}

function SendCsv(ReportStore $store, array $choice): void
{
    PageHeaders(200, 'text/csv; charset=utf-8; header=present');
    header('Content-Disposition: attachment; filename="uninstall-reports.csv"');
    echo "\u{FEFF}", CsvLine(['time', 'product', 'reason', 'windows', 'ver', 'id', 'via']);
    [$where, $bytes] = ReportFilter($choice);
    $last = 0;
    do {
        $rows = $store->Rows("SELECT id, time, prj, reason, os, ver, report_id, via FROM reports
                              WHERE id > ? AND $where ORDER BY id LIMIT " . kCsvBatch,
                             [$last, $choice['since']], $bytes);
        foreach ($rows as [$id, $time, $prj, $reason, $os, $ver, $reportId, $via]) {
            echo CsvLine([$time, AnsiToUtf8($prj), AnsiToUtf8($reason), AnsiToUtf8($os),
                          AnsiToUtf8($ver ?? ''), $reportId ?? '', $via]);
            $last = (int)$id;
        }
    } while (count($rows) === kCsvBatch);
}

// The reason reports are not being stored, when PHP can tell, above everything else.
function StoreWarning(): string
{
    $problem = StoreProblem();
    return $problem === '' ? '' : '<p id="store-problem" style="border: 2px solid #b00; '
        . 'padding: 8px"><strong>Reports are not being stored.</strong> ' . Text($problem)
        . "</p>\n";
}

function SendPage(ReportStore $store, array $choice): void
{
    [$where, $texts, $bytes] = SummaryFilter('day', $choice);
    $perDay = [];
    foreach ($store->Rows('SELECT day, SUM(n) FROM ' . CountsTable($store, $choice, 'day')
                          . " $where GROUP BY day ORDER BY day",
                          $texts, $bytes) as [$day, $count]) {
        $perDay[$day] = (int)$count;
    }
    $total = array_sum($perDay);
    $reasons = Counts($store, 'reason', $choice, $total);
    $versions = Counts($store, 'os', $choice, $total);
    $products = $store->Rows("SELECT prj, SUM(n) FROM report_counts WHERE kind = 'day'
                              GROUP BY prj ORDER BY 2 DESC, 1 LIMIT 200", []);
    $productVersions = Counts($store, 'ver', $choice, $total);
    $versionsToChoose = VersionsToChoose($store, $choice);
    $mailed = CountVia($store, $choice, 'mail');
    $paged = CountVia($store, $choice, 'page');
    [$weeks, $weekLabels] = WeeklyReasons($store, $choice, $reasons, $perDay);
    $freeTexts = FreeTextAnswers($store, $choice);
    $search = Utf8ToAnsi($choice['q']);

    $today = gmdate('Y-m-d');
    $first = $choice['since'] !== '' ? $choice['since'] : (array_key_first($perDay) ?? $today);
    $productName = $choice['prj'] === null ? 'all products' : Html($choice['prj']);

    PageHeaders(200, 'text/html; charset=utf-8');
    echo '<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Uninstall reports</title>
<style>
body { font: 15px/1.45 system-ui, sans-serif; color: #222;
       margin: 24px auto; max-width: 760px; padding: 0 12px; }
h1 { font-size: 22px; margin: 0 0 4px; } h2 { font-size: 17px; margin: 28px 0 8px; }
form { display: flex; gap: 10px; align-items: end; flex-wrap: wrap; margin: 16px 0; }
label { display: flex; flex-direction: column; font-size: 13px; color: #555; }
select, button { font: inherit; padding: 3px 6px; }
.summary { color: #555; } .chart { max-width: 100%; height: auto; display: block; }
.chart text { font: 12px system-ui, sans-serif; fill: #333; } .chart .count { fill: #555; }
.chart rect { fill: #3d6fb6; } .chart .day rect { fill: #4b8f5a; }
.chart line.axis { stroke: #999; } .chart .axis { fill: #777; }
table { border-collapse: collapse; width: 100%; font-size: 14px; }
td, th { text-align: left; padding: 4px 6px; border-bottom: 1px solid #e3e3e3;
         vertical-align: top; }
td.text { white-space: pre-wrap; word-break: break-word; }
td.when { white-space: nowrap; color: #666; } td.prj { white-space: nowrap; }
input { font: inherit; padding: 2px 6px; } mark { background: #ffe27a; }
</style></head><body>
<h1>Uninstall reports</h1>
', StoreWarning(), '<p class="summary"><span id="total">', $total, '</span> reports, ',
        Text(strtolower(kPeriods[$choice['days']])), ', ', $productName,
        $choice['ver'] === null ? '' : ', version ' . Html($choice['ver']),
        '; <span id="mailed">', $mailed, '</span> of them by mail, <span id="paged">', $paged,
        '</span> of them by page.</p>
<form method="get" action="results.php">
<label>Period <select name="days">';
    foreach (kPeriods as $value => $name) {
        printf('<option value="%s"%s>%s</option>', $value,
               (string)$value === $choice['days'] ? ' selected' : '', Text($name));
    }
    echo '</select></label>
<label>Product <select name="p"><option value="">All products</option>';
    foreach ($products as [$prj]) {
        printf('<option value="%s"%s>%s</option>', bin2hex($prj),
               $prj === $choice['prj'] ? ' selected' : '',
               $prj === '' ? '(empty)' : Text(Shortened(AnsiToUtf8($prj), 60)));
    }
    echo '</select></label>
<label>Version <select name="v"><option value="">All versions</option>';
    foreach ($versionsToChoose as $ver) {
        printf('<option value="%s"%s>%s</option>', bin2hex($ver),
               $ver === $choice['ver'] ? ' selected' : '', Text(Shortened(AnsiToUtf8($ver), 40)));
    }
    echo '</select></label>
<label>Free text containing <input type="search" name="q" maxlength="', kSearchLength,
        '" value="', Text($choice['q']), '"></label>
<button type="submit">Show</button>
<a id="csv" href="results.php', ChoiceQuery($choice, ['format' => 'csv']), '">Download CSV</a>
</form>
<h2>Reasons</h2>', BarChart('Reports per reason', $reasons), '
<h2>Reasons per week</h2>', WeekShareChart('Share of each reason per week', $weeks, $weekLabels,
                                             WeekOf($first), WeekOf(max($today, $first))), '
<h2>Windows versions</h2>', BarChart('Reports per Windows version', $versions), '
<h2>Product versions</h2>', BarChart('Reports per product version', $productVersions), '
<h2>Reports per day</h2>', DayChart('Reports per day', $perDay, $first, max($today, $first)), '
<h2>Latest free-text answers', $search === '' ? '' : " containing \u{201C}" . Text($choice['q'])
                                                    . "\u{201D}", '</h2>';
    if (!$freeTexts) {
        echo '<p>None in this period.</p>';
    } else {
        echo '<table id="freetexts"><tr><th>Time (UTC)</th><th>Product</th><th>Answer</th></tr>';
        foreach ($freeTexts as [$time, $prj, $reason]) {
            printf('<tr><td class="when">%s</td><td class="prj">%s</td>'
                   . '<td class="text">%s</td></tr>',
                   Text(str_replace(['T', 'Z'], [' ', ''], $time)), Html($prj),
                   MarkedHtml(ltrim(substr($reason, 6), ' '), $search));
        }
        echo '</table>';
    }
    echo "\n<footer class=\"summary\">exitpoll ", ExitpollVersion(), "</footer>\n"
        . "</body></html>\n";
}

if (Admitted()) {
    try {
        $store = ReportStore::Open();
        $store->EnsureSchema();
        $choice = Choice();
        if (($_GET['format'] ?? '') === 'csv') {
            SendCsv($store, $choice);  // streamed: it may hold every report
        } else {
            ob_start();  // a failure half-way must not leave half a page behind a 200
            SendPage($store, $choice);
            ob_end_flush();
        }
    } catch (Throwable $failure) {
        while (ob_get_level() > 0) {
            ob_end_clean();
        }
        error_log('exitpoll results: ' . $failure->getMessage());
        header_remove();
        $problem = StoreProblem();
        Refuse(500, 'The reports cannot be read now', $problem !== ''
               ? '<p id="store-problem">' . Text($problem) . '</p>'
               : '<p>See the server\'s error log.</p>');
    }
}
