<?php
// The chosen reports as CSV in UTF-8 with a byte order mark (so that spreadsheets read it
// so), each value read in its charset; streamed in batches: it may hold every report.

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
    echo "\u{FEFF}", CsvLine(['time', 'product', 'reason', 'windows', 'ver', 'id', 'via', 'n']);
    [$where, $texts, $bytes] = ChoiceFilter($choice, [], 'time', true);
    $last = 0;
    do {
        $rows = $store->Rows("SELECT id, time, prj, reason, os, ver, report_id, via, cs, n
                              FROM reports WHERE id > ? AND $where ORDER BY id LIMIT " . kCsvBatch,
                             [$last, ...$texts], $bytes);
        foreach ($rows as [$id, $time, $prj, $reason, $os, $ver, $reportId, $via, $cs, $n]) {
            // The product version is the applet's ANSI bytes whatever the report's charset.
            echo CsvLine([$time, StoredUtf8($prj, $cs, $prj), StoredUtf8($reason, $cs, $prj),
                          StoredUtf8($os, $cs, $prj), StoredUtf8($ver ?? '', null, $prj),
                          $reportId ?? '', $via, (string)($n ?? '')]);
            $last = (int)$id;
        }
    } while (count($rows) === kCsvBatch);
}
