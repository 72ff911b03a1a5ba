<?php
// The chosen reports as CSV, streamed in batches: it may hold every report.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/reports.php';
require_once __DIR__ . '/view.php';
require_once __DIR__ . '/responses.php';
require_once __DIR__ . '/choice.php';

const kCsvBatch = 5000;

function SendCsv(ReportStore $store, array $choice): void
{
    PageHeaders(200, 'text/csv; charset=utf-8; header=present');
    header('Content-Disposition: attachment; filename="uninstall-reports.csv"');
    echo "\u{FEFF}", CsvLine(['time', 'product', 'reason', 'windows', 'ver', 'id', 'via']);
    [$where, $texts, $bytes] = ChoiceFilter($choice, [], 'time', true);
    $last = 0;
    do {
        // A database still awaiting its upgrade has no versions, ids or ways yet.
        $rows = $store->Rows('SELECT id, time, prj, reason, os, ' . $store->Column('ver', 'NULL')
                             . ', ' . $store->Column('report_id', 'NULL') . ', '
                             . $store->Column('via', "'http'") . " FROM reports
                              WHERE id > ? AND $where ORDER BY id LIMIT " . kCsvBatch,
                             [$last, ...$texts], $bytes);
        foreach ($rows as [$id, $time, $prj, $reason, $os, $ver, $reportId, $via]) {
            echo CsvLine([$time, AnsiToUtf8($prj), AnsiToUtf8($reason), AnsiToUtf8($os),
                          AnsiToUtf8($ver ?? ''), $reportId ?? '', $via]);
            $last = (int)$id;
        }
    } while (count($rows) === kCsvBatch);
}
