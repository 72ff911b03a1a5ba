<?php
// What the maker chose to see (period, product, version, free-text search), read from the
// query, written back into links, and turned into SQL conditions in one place.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/charsets.php';

const kPeriods = ['7' => 'Last 7 days', '30' => 'Last 30 days', '90' => 'Last 90 days',
                  'all' => 'All time'];
const kSearchLength = 200; // characters of a search taken

// The chosen period and product from the query: ['days' => '7'|'30'|'90'|'all',
// 'prj' => stored bytes or null for all, 'since' => first day 'Y-m-d' or '', 'before' =>
// the day after the last or '', 'ver' => stored bytes or null for all, 'q' => the free-text
// search, UTF-8, or '', 'q_problem' => why the search given was refused, or ''].
function Choice(): array
{
    $days = $_GET['days'] ?? '';
    $days = is_string($days) && array_key_exists($days, kPeriods) ? $days : '30';
    $hex = $_GET['p'] ?? '';
    $prj = is_string($hex) && $hex !== '' && ctype_xdigit($hex) && strlen($hex) % 2 === 0
        ? hex2bin($hex) : null;
    $since = $days === 'all' ? '' : gmdate('Y-m-d', time() - ((int)$days - 1) * 86400);
    // A period ends tomorrow (a clock a day ahead): a report stored with a forged date years
    // ahead is not one of the last 7 days. All time holds it.
    $before = $days === 'all' ? '' : gmdate('Y-m-d', time() + 2 * 86400);
    return ['days' => $days, 'prj' => $prj, 'since' => $since, 'before' => $before]
        + VersionAndSearch();
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

// The product version ('v', hex of the stored bytes) and the free-text search ('q') chosen.
function VersionAndSearch(): array
{
    $hex = $_GET['v'] ?? '';
    $ver = is_string($hex) && $hex !== '' && ctype_xdigit($hex) && strlen($hex) % 2 === 0
        ? hex2bin($hex) : null;
    $search = $_GET['q'] ?? '';
    $problem = '';
    if (!is_string($search)) {
        $search = '';
    } elseif (!preg_match('//u', $search)) {
        $problem = 'The search was not UTF-8 text, so nothing was searched.';
    } elseif (preg_match('/[\x00-\x1F\x7F\x{80}-\x{9F}]/u', $search)) {
        // Neither database compares them alike (PostgreSQL text cannot hold a NUL), and
        // the applet's text field sends none.
        $problem = 'The search may not hold control characters (a NUL, a tab, a line '
            . 'break), so nothing was searched.';
    }
    $search = $problem === '' ? trim(FirstCharacters($search, kSearchLength)) : '';
    return ['ver' => $ver, 'q' => $search, 'q_problem' => $problem];
}

function FirstCharacters(string $utf8, int $length): string
{
    return preg_match('/^.{0,' . $length . '}/su', $utf8, $cut) ? $cut[0] : '';
}

// The SQL condition (without WHERE) that picks what $choice chose, with the values to bind
// for it: first the texts (each column of $fixed equal to its value, then the period's days
// against the $period column: 'day' of the counts, 'time' of the reports), then the
// stored bytes (the product, and the product version when $byVersion). Every query of the
// chosen reports or their counts is filtered here, so that they all agree.
function ChoiceFilter(array $choice, array $fixed, ?string $period, bool $byVersion): array
{
    $conditions = [];
    $texts = [];
    foreach ($fixed as $column => $value) {
        $conditions[] = "$column = ?";
        $texts[] = $value;
    }
    if ($period !== null) {
        $conditions[] = "$period >= ?";
        $texts[] = $choice['since'];
        if ($choice['before'] !== '') {
            $conditions[] = "$period < ?";
            $texts[] = $choice['before'];
        }
    }
    $bytes = [];
    foreach ($byVersion ? ['prj', 'ver'] : ['prj'] as $column) {
        if ($choice[$column] !== null) {
            // A product is one whether its name came as ANSI bytes or as UTF-8.
            $values = $column === 'prj' ? ProductNames($choice['prj']) : [$choice[$column]];
            $conditions[] = count($values) === 1 ? "$column = ?"
                : "$column IN (" . implode(', ', array_fill(0, count($values), '?')) . ')';
            $bytes = array_merge($bytes, $values);
        }
    }
    return [$conditions ? implode(' AND ', $conditions) : '1 = 1', $texts, $bytes];
}
