<?php
// The figures of the results page, read from the per-day counts: reports per day, by mail
// or page, the columns of the charts, product versions to choose from, and the latest free
// texts. The bars per reason and version are grouped in grouped_counts.php.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/reports.php';
require_once __DIR__ . '/choice.php';
require_once __DIR__ . '/grouped_counts.php';

const kFreeTexts = 100;
const kMaxColumns = 400;   // columns of a chart at most, whatever dates are stored
const kEarliestDay = '2000-01-01';  // all time is charted from here: no report is older

// The chosen reports per day: ['Y-m-d' => n], the days in order.
function PerDay(ReportStore $store, array $choice): array
{
    [$where, $texts, $bytes] = ChoiceFilter($choice, ['kind' => 'day'], 'day', false);
    $perDay = [];
    foreach ($store->Rows('SELECT day, SUM(n) FROM ' . CountsTable($store, $choice, 'day')
                          . " WHERE $where GROUP BY day ORDER BY day",
                          $texts, $bytes) as [$day, $count]) {
        $perDay[$day] = (int)$count;
    }
    return $perDay;
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
    [$where, $texts, $bytes] = ChoiceFilter($choice, ['kind' => 'via'], 'day', false);
    $rows = $store->Rows('SELECT SUM(n) FROM ' . CountsTable($store, $choice, 'via')
                         . " WHERE $where AND value = ?", $texts, [...$bytes, $via]);
    return (int)($rows[0][0] ?? 0);
}

// The product versions to choose from: those of the chosen product, or of all.
function VersionsToChoose(ReportStore $store, array $choice): array
{
    [$where, $texts, $bytes] = ChoiceFilter($choice, ['kind' => 'ver'], null, false);
    $rows = $store->Rows("SELECT value FROM report_counts WHERE $where GROUP BY value
                          ORDER BY SUM(n) DESC, 1 LIMIT 201", $texts, $bytes);
    return array_values(array_filter(array_column($rows, 0), fn ($ver) => $ver !== ''));
}

function WeekOf(string $day): string
{
    $time = strtotime($day . 'T00:00:00Z');
    return gmdate('Y-m-d', $time - ((int)gmdate('N', $time) - 1) * 86400);
}

// The columns of a chart from $first to $last ('Y-m-d'): [unit, [first day of each
// column]], by day (not for $smallest 'week'), week, month or year, the first of them that
// needs no more than kMaxColumns; past that the last kMaxColumns years. Whatever dates are
// stored, a chart stays that small.
function ChartColumns(string $first, string $last, string $smallest = 'day'): array
{
    foreach (['day', 'week', 'month', 'year'] as $unit) {
        if ($unit === 'day' && $smallest === 'week') {
            continue;
        }
        $columns = [];
        for ($at = ColumnOf($first, $unit); $at <= $last && count($columns) <= kMaxColumns;
             $at = NextColumn($at, $unit)) {
            $columns[] = $at;
        }
        if (count($columns) <= kMaxColumns) {
            return [$unit, $columns ?: [ColumnOf($first, $unit)]];
        }
    }
    $year = (int)substr($last, 0, 4);
    return ['year', array_map(fn ($year) => sprintf('%04d-01-01', $year),
                              range($year - kMaxColumns + 1, $year))];
}

// The first day of the column of that unit which holds $day.
function ColumnOf(string $day, string $unit): string
{
    return match ($unit) {
        'day' => $day,
        'week' => WeekOf($day),
        'month' => substr($day, 0, 8) . '01',
        'year' => substr($day, 0, 5) . '01-01',
    };
}

function NextColumn(string $column, string $unit): string
{
    if ($unit === 'day' || $unit === 'week') {
        $days = $unit === 'day' ? 1 : 7;
        return gmdate('Y-m-d', strtotime($column . 'T00:00:00Z') + $days * 86400);
    }
    [$year, $month] = [(int)substr($column, 0, 4), (int)substr($column, 5, 2)];
    return $unit === 'year' || $month === 12 ? sprintf('%04d-01-01', $year + 1)
        : sprintf('%04d-%02d-01', $year, $month + 1);
}

// The column of $columns (of that unit) that counts $day: days before the first are counted
// in it, days after the last (a forged date years ahead) in the last.
function ColumnIn(string $day, string $unit, array $columns): string
{
    return max($columns[0], min(end($columns), ColumnOf($day, $unit)));
}

// The latest free-text answers of the chosen reports that contain the search, if any:
// [[time, prj, reason, cs, n], ...].
function FreeTextAnswers(ReportStore $store, array $choice): array
{
    [$where, $texts, $bytes] = ChoiceFilter($choice, [], 'time', true);
    if ($choice['q'] !== '' && $store->Column('search', '') !== '') {
        return SearchedAnswers($store, $choice['q'], [$where, $texts, $bytes], kFreeTexts);
    }
    $search = $choice['q'];
    [$match, $matchBytes] = $search !== '' ? FreeTextMatch($store, $search) : ['1 = 1', []];
    return $store->Rows('SELECT time, prj, reason, cs, n FROM reports WHERE '
                        . FreeTextSql($store) . " AND $where AND $match
                        ORDER BY time DESC, id DESC LIMIT " . kFreeTexts,
                        $texts, [...$bytes, ...$matchBytes]);
}
