<?php
// What the maker chose to see (period, product, version, free-text search), read from the
// query, written back into links, and turned into SQL conditions in one place.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

const kPeriods = ['7' => 'Last 7 days', '30' => 'Last 30 days', '90' => 'Last 90 days',
                  'all' => 'All time'];
const kSearchLength = 200; // characters of a search taken

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

// The SQL condition (without WHERE) that picks what $choice chose, with the values to bind
// for it: first the texts (each column of $fixed equal to its value, then the period's first
// day against the $period column: 'day' of the counts, 'time' of the reports), then the
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
    }
    $bytes = [];
    foreach ($byVersion ? ['prj', 'ver'] : ['prj'] as $column) {
        if ($choice[$column] !== null) {
            $conditions[] = "$column = ?";
            $bytes[] = $choice[$column];
        }
    }
    return [$conditions ? implode(' AND ', $conditions) : '1 = 1', $texts, $bytes];
}
