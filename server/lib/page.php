<?php
// The results page itself: the figures laid out as HTML with inline SVG charts.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/reports.php';
require_once __DIR__ . '/view.php';
require_once __DIR__ . '/responses.php';
require_once __DIR__ . '/diagnostics.php';
require_once __DIR__ . '/choice.php';
require_once __DIR__ . '/summary.php';
require_once __DIR__ . '/version.php';

// The reason reports are not being stored, when PHP can tell, or why the database cannot be
// brought up to date, above everything else.
function StoreWarning(ReportStore $store): string
{
    $problem = StoreProblem();
    $box = ' style="border: 2px solid #b00; padding: 8px"><strong>';
    if ($problem !== '') {
        return "<p id=\"store-problem\"$box" . 'Reports are not being stored.</strong> '
            . Text($problem) . "</p>\n";
    }
    if ($store->upgradeProblem !== '') {
        return "<p id=\"upgrade-problem\"$box" . 'The database is not up to date.</strong> '
            . Text($store->upgradeProblem) . "</p>\n";
    }
    $slow = SearchProblem($store);
    return $slow === '' ? '' : "<p id=\"search-index-problem\"$box"
        . 'The search has no index.</strong> ' . Text($slow) . "</p>\n";
}

function SendPage(ReportStore $store, array $choice): void
{
    $perDay = PerDay($store, $choice);
    $total = array_sum($perDay);
    $reasons = Counts($store, 'reason', $choice, $total);
    $versions = Counts($store, 'os', $choice, $total);
    $products = $store->Rows("SELECT prj, SUM(n) FROM report_counts WHERE kind = 'day'
                              GROUP BY prj ORDER BY 2 DESC, 1 LIMIT 200", []);
    $productVersions = Counts($store, 'ver', $choice, $total);
    $versionsToChoose = VersionsToChoose($store, $choice);
    $mailed = CountVia($store, $choice, 'mail');
    $paged = CountVia($store, $choice, 'page');
    $today = gmdate('Y-m-d');
    $first = $choice['since'] !== '' ? $choice['since']
        : max(kEarliestDay, min($today, array_key_first($perDay) ?? $today));
    [$dayUnit, $dayColumns] = ChartColumns($first, max($today, $first));
    [$weekUnit, $weekColumns] = ChartColumns($first, max($today, $first), 'week');
    [$weeks, $weekLabels] = WeeklyReasons($store, $choice, $reasons, $perDay,
                                          fn ($day) => ColumnIn($day, $weekUnit, $weekColumns));
    $days = [];
    foreach ($perDay as $day => $count) {
        $column = ColumnIn($day, $dayUnit, $dayColumns);
        $days[$column] = ($days[$column] ?? 0) + $count;
    }
    $freeTexts = $choice['q_problem'] === '' ? FreeTextAnswers($store, $choice) : [];
    $search = $choice['q'];
    $utf8Products = Utf8Products($store);
    $product = fn (string $prj) => ProductText($prj, $utf8Products);
    // Versions are the applet's ANSI bytes whatever the charset of the report.
    $version = fn (string $ver) => StoredUtf8($ver, null, $choice['prj'] ?? '');

    $productName = $choice['prj'] === null ? 'all products' : Text($product($choice['prj']));

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
', StoreWarning($store), '<p class="summary"><span id="total">', $total, '</span> reports, ',
        Text(strtolower(kPeriods[$choice['days']])), ', ', $productName,
        $choice['ver'] === null ? '' : ', version ' . Text($version($choice['ver'])),
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
    $chosen = $choice['prj'] === null ? [] : ProductNames($choice['prj']);
    $listed = [];
    foreach ($products as [$prj]) {
        $name = $product($prj);
        if (isset($listed[$name])) {
            continue;  // the same product, its name sent in another charset
        }
        $listed[$name] = true;
        printf('<option value="%s"%s>%s</option>', bin2hex($prj),
               in_array($prj, $chosen, true) ? ' selected' : '',
               $prj === '' ? '(empty)' : Text(Shortened($name, 60)));
    }
    echo '</select></label>
<label>Version <select name="v"><option value="">All versions</option>';
    foreach ($versionsToChoose as $ver) {
        printf('<option value="%s"%s>%s</option>', bin2hex($ver),
               $ver === $choice['ver'] ? ' selected' : '', Text(Shortened($version($ver), 40)));
    }
    echo '</select></label>
<label>Free text containing <input type="search" name="q" maxlength="', kSearchLength,
        '" value="', Text($choice['q']), '"></label>
<button type="submit">Show</button>
<a id="csv" href="results.php', ChoiceQuery($choice, ['format' => 'csv']), '">Download CSV</a>
</form>
<h2>Reasons</h2>', BarChart('Reports per reason', $reasons), '
<h2>Reasons per week</h2>', WeekShareChart('Share of each reason per ' . $weekUnit, $weeks,
                                             $weekLabels, $weekColumns), '
<h2>Windows versions</h2>', BarChart('Reports per Windows version', $versions), '
<h2>Product versions</h2>', BarChart('Reports per product version', $productVersions), '
<h2>Reports per day</h2>', DayChart('Reports per ' . $dayUnit, $days, $dayColumns), '
<h2>Latest free-text answers', $search === '' ? '' : " containing \u{201C}" . Text($choice['q'])
                                                    . "\u{201D}", '</h2>';
    if ($choice['q_problem'] !== '') {
        echo '<p id="search-problem">', Text($choice['q_problem']), '</p>';
    } elseif (!$freeTexts) {
        echo '<p>None in this period.</p>';
    } else {
        echo '<table id="freetexts"><tr><th>Time (UTC)</th><th>Product</th><th>Answer</th></tr>';
        foreach ($freeTexts as [$time, $prj, $reason, $cs, $n]) {
            // The text after "Other:", or after the colon of reason 7 in any language.
            $cut = (int)$n === 7 ? (int)strpos($reason, ':') + (strpos($reason, ':') !== false)
                : 6;
            $answer = StoredUtf8(ltrim(substr($reason, $cut), ' '), $cs, $prj);
            printf('<tr><td class="when">%s</td><td class="prj">%s</td>'
                   . '<td class="text">%s</td></tr>',
                   Text(str_replace(['T', 'Z'], [' ', ''], $time)), Text($product($prj)),
                   MarkedHtml($answer, $search));
        }
        echo '</table>';
    }
    echo "\n<footer class=\"summary\">exitpoll ", ExitpollVersion(), "</footer>\n"
        . "</body></html>\n";
}
