<?php
// The maker's view of the uninstall reports: counts per reason, per Windows version and per
// day for a period and a product, the latest free-text answers, and the chosen reports as
// CSV. Behind HTTP Basic authentication against EXITPOLL_RESULTS_PASSWORD_HASH; closed when
// that is not set. The counts come from the per-day summary, so the page's work grows with
// the distinct values counted in the period (days, reasons, Windows versions), not with the
// number of reports.

ini_set('display_errors', '0');
header_remove('X-Powered-By');

require_once __DIR__ . '/../lib/access.php';
require_once __DIR__ . '/../lib/choice.php';
require_once __DIR__ . '/../lib/csv.php';
require_once __DIR__ . '/../lib/page.php';

if (Admitted()) {
    try {
        $store = ReportStore::Open();
        $store->EnsureSchema();
        $choice = Choice();
        if ($store->Column('ver', '') === '') {
            $choice['ver'] = null;  // a database awaiting its upgrade keeps no versions
        }
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
