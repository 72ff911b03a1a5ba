<?php
// The bars of the results page's charts of reasons, Windows versions and product versions,
// read from the per-day counts and grouped as the page shows them: each value as its text
// (StoredUtf8), whatever charset it came in, and a reason sent with its number by that
// number, in whatever language, labelled by the text most often sent with it or by the
// maker's label (EXITPOLL_REASON_LABELS).

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/reports.php';
require_once __DIR__ . '/choice.php';
require_once __DIR__ . '/charsets.php';

const kTopBars = 20;          // bars per chart; the rest are summed into one
const kShareReasons = 7;      // reasons with a colour of their own in the weekly shares
const kCountedValues = 1000;  // distinct counted values read per chart, the largest first

// The kinds of report_counts that hold each chart's values (schema.php: with '.utf-8' for
// UTF-8 reports, 'n' for reasons with a number).
const kCountedKinds = ['reason' => ['reason', 'reason.utf-8', 'n', 'n.utf-8'],
                       'os' => ['os', 'os.utf-8'], 'ver' => ['ver']];

// [[label (UTF-8), count, own, members], ...] of the counts of one chart ('reason', 'os' or
// 'ver'), the largest first; past kTopBars the rest are summed into one bar of the page's
// own. members are the [kind, value, product] counted in a bar.
function Counts(ReportStore $store, string $chart, array $choice, int $total): array
{
    $bars = [];
    foreach (CountGroups($store, $chart, $choice) as $group) {
        $bars[] = [$group['label'], $group['count'], false, $group['members']];
    }
    if (count($bars) > kTopBars) {
        $bars = array_slice($bars, 0, kTopBars - 1);
        $shown = array_sum(array_map(fn ($bar) => $bar[1], $bars));
        $bars[] = ['(all others)', $total - $shown, true, []];
    }
    return $bars;
}

// The groups of a chart: [['label', 'count', 'members'], ...], the largest first.
function CountGroups(ReportStore $store, string $chart, array $choice): array
{
    // The products are told apart only where their code pages differ.
    $product = LegacyCharsets()[1] ? ', prj' : '';
    $rows = [];
    // One kind at a time: grouping by kind as well costs a third more.
    foreach (kCountedKinds[$chart] as $kind) {
        [$where, $texts, $bytes] = ChoiceFilter($choice, ['kind' => $kind], 'day', false);
        foreach ($store->Rows("SELECT value, SUM(n)$product FROM "
                              . CountsTable($store, $choice, $chart) . " WHERE $where
                              GROUP BY value$product ORDER BY 2 DESC, 1 LIMIT "
                              . kCountedValues, $texts, $bytes) as $row) {
            $rows[] = [$kind, ...$row];
        }
    }
    $groups = [];
    foreach ($rows as $row) {
        [$key, $text] = CountedText(...$row);
        $group = &$groups[$key];
        $group['count'] = ($group['count'] ?? 0) + (int)$row[2];
        $group['texts'][$text] = ($group['texts'][$text] ?? 0) + (int)$row[2];
        $group['members'][] = [$row[0], $row[1], $row[3] ?? null];
        unset($group);
    }
    // A reason sent without its number, by an applet not told to, counts with the number
    // that its text is sent with most, and "Other" (the free texts) with 7.
    $numbered = isset($groups['n7']) ? ['Other' => ['n7', 0]] : [];
    foreach ($groups as $key => $group) {
        foreach ($key[0] === 'n' ? $group['texts'] : [] as $text => $count) {
            if (($numbered[$text][1] ?? 0) < $count) {
                $numbered[$text] = [$key, $count];
            }
        }
    }
    foreach ($groups as $key => $group) {
        $into = $numbered[substr($key, 1)][0] ?? null;
        if ($key[0] === 't' && $into !== null) {
            $groups[$into]['count'] += $group['count'];
            foreach ($group['texts'] as $text => $count) {
                $groups[$into]['texts'][$text] = ($groups[$into]['texts'][$text] ?? 0) + $count;
            }
            $groups[$into]['members'] = array_merge($groups[$into]['members'], $group['members']);
            unset($groups[$key]);
        }
    }
    $labels = ReasonLabels();
    foreach ($groups as $key => &$group) {
        arsort($group['texts']);
        $group['label'] = $key[0] === 'n' && ($labels[(int)substr($key, 1)] ?? '') !== ''
            ? $labels[(int)substr($key, 1)] : (string)array_key_first($group['texts']);
    }
    unset($group);
    uasort($groups, fn ($a, $b) => [$b['count'], $a['label']] <=> [$a['count'], $b['label']]);
    return array_values($groups);
}

// [key of its group, text] of one counted value: 'n' and the number for a reason with one,
// else 't' and the value's text.
function CountedText(string $kind, string $value, $count, ?string $prj = null): array
{
    $cs = substr($kind, -6) === '.utf-8' ? 'utf-8' : null;
    if ($kind === 'n' || $kind === 'n.utf-8') {
        [$number, $text] = explode(' ', $value, 2) + [1 => ''];
        return ['n' . $number, StoredUtf8($text, $cs, $prj ?? '')];
    }
    $text = StoredUtf8($value, $cs, $prj ?? '');
    return ['t' . $text, $text];
}

// The maker's labels of the reasons by number (EXITPOLL_REASON_LABELS: up to seven labels
// separated by "|", the first for number 1; an empty one leaves that number's label to the
// text most often sent with it): [number => label].
function ReasonLabels(): array
{
    $labels = array_map('trim', explode('|', Setting('EXITPOLL_REASON_LABELS')));
    return array_combine(range(1, count($labels)), $labels);
}

// Per column of the weekly chart ($columnOf gives a day's), the reports of each of the most
// frequent reasons (the bars of Counts) and of the rest: [[column => [place in labels =>
// n]], [labels in order]]. Parts are kept by their place, the rest after them, so that a
// stored reason that reads like the page's "(others)" stays a part of its own. The counts
// are per day, so weeks are summed here from a bounded number of rows: days times the
// values counted in those reasons.
function WeeklyReasons(ReportStore $store, array $choice, array $reasons, array $perDay,
                       callable $columnOf): array
{
    $shown = array_slice($reasons, 0, kShareReasons);  // never "(all others)"
    $labels = array_column($shown, 0);
    $rest = count($labels);
    $weeks = [];
    foreach ($perDay as $day => $count) {
        $weeks[$columnOf($day)][$rest] = ($weeks[$columnOf($day)][$rest] ?? 0) + $count;
    }
    $places = [];
    foreach ($shown as $place => $bar) {
        foreach ($bar[3] as [$kind, $value, $prj]) {
            $places[$kind][$value][(string)$prj] = $place;
        }
    }
    $product = LegacyCharsets()[1] ? ', prj' : '';
    foreach ($places as $kind => $byValue) {
        [$where, $texts, $bytes] = ChoiceFilter($choice, ['kind' => $kind], 'day', false);
        $values = array_map('strval', array_keys($byValue));
        $marks = implode(', ', array_fill(0, count($values), '?'));
        foreach ($store->Rows("SELECT day, value, SUM(n)$product FROM "
                              . CountsTable($store, $choice, 'reason')
                              . " WHERE $where AND value IN ($marks) GROUP BY day, value$product",
                              $texts, [...$bytes, ...$values]) as $row) {
            [$day, $value, $count] = $row;
            $part = $byValue[$value][(string)($row[3] ?? '')] ?? null;
            if ($part === null) {
                continue;  // counted in a reason past the shown ones
            }
            $week = $columnOf($day);
            $weeks[$week][$part] = ($weeks[$week][$part] ?? 0) + (int)$count;
            $weeks[$week][$rest] -= (int)$count;
        }
    }
    $labels[] = '(others)';
    return [$weeks, $labels];
}

// The stored names of the products some of whose reports came as UTF-8, as keys.
function Utf8Products(ReportStore $store): array
{
    $rows = $store->Rows("SELECT prj FROM report_counts WHERE kind = 'os.utf-8' GROUP BY prj
                          LIMIT 1000", []);
    return array_fill_keys(array_map('strval', array_column($rows, 0)), true);
}

// A product's stored name as text: as UTF-8 where its reports came so and it is UTF-8.
function ProductText(string $prj, array $utf8Products): string
{
    $utf8 = isset($utf8Products[$prj]) && preg_match('//u', $prj);
    return StoredUtf8($prj, $utf8 ? 'utf-8' : null, $prj);
}
