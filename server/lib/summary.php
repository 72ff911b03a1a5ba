<?php
// The figures of the results page, read from the per-day counts: counts per kind, reports
// by mail or page, weekly shares of reasons, product versions to choose from, and the latest
// free texts.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/reports.php';
require_once __DIR__ . '/choice.php';

const kTopBars = 20;       // bars per chart; the rest are summed into one
const kFreeTexts = 100;
const kShareReasons = 7;   // reasons with a colour of their own in the weekly shares

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

// [[value, count], ...] of the counts of one kind ('reason' or 'os'), the largest first;
// past kTopBars the rest are summed into one bar.
function Counts(ReportStore $store, string $kind, array $choice, int $total): array
{
    [$where, $texts, $bytes] = ChoiceFilter($choice, ['kind' => $kind], 'day', false);
    $rows = $store->Rows('SELECT value, SUM(n) FROM ' . CountsTable($store, $choice, $kind)
                         . " WHERE $where GROUP BY value ORDER BY 2 DESC, 1 LIMIT "
                         . (kTopBars + 1), $texts, $bytes);
    $bars = array_map(fn ($row) => [$row[0], (int)$row[1]], $rows);
    if (count($bars) > kTopBars) {
        $bars = array_slice($bars, 0, kTopBars - 1);
        $shown = array_sum(array_map(fn ($bar) => $bar[1], $bars));
        $bars[] = ['(all others)', $total - $shown];
    }
    return $bars;
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
        [$where, $texts, $bytes] = ChoiceFilter($choice, ['kind' => 'reason'], 'day', false);
        $marks = implode(', ', array_fill(0, count($labels), '?'));
        foreach ($store->Rows('SELECT day, value, SUM(n) FROM '
                              . CountsTable($store, $choice, 'reason')
                              . " WHERE $where AND value IN ($marks) GROUP BY day, value",
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
    [$where, $texts, $bytes] = ChoiceFilter($choice, [], 'time', true);
    $search = Utf8ToAnsi($choice['q']);
    [$match, $matchBytes] = $search !== '' ? FreeTextMatch($store, $search) : ['1 = 1', []];
    return $store->Rows('SELECT time, prj, reason FROM reports WHERE '
                        . FreeTextSql($store) . " AND $where AND $match
                        ORDER BY time DESC, id DESC LIMIT " . kFreeTexts,
                        $texts, [...$bytes, ...$matchBytes]);
}
