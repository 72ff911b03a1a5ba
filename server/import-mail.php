<?php
// Counts the reports that reached the maker by mail: reads mailbox files (mbox) and single
// messages (.eml), stores each of the applet's mails as a report marked as mailed, and skips
// what is stored already, other mail and what cannot be read. Run it again on the same
// files and nothing is stored twice. The database is the one the endpoint uses (the same
// environment variables, see server/README.md).
//
//   php server/import-mail.php FILE...

if (PHP_SAPI !== 'cli') {
    http_response_code(404);  // a command, not a page
    exit;
}

require_once __DIR__ . '/lib/reports.php';
require_once __DIR__ . '/lib/view.php';
require_once __DIR__ . '/lib/mail.php';

// ['stored' => n, 'already stored' => n, 'other mail' => n, 'broken' => n, 'kept as bytes'
// => n] for one file; the last of the stored, those with text in a charset that was not
// declared or not known, or not valid in it, stored as its bytes.
function ImportMailFile(ReportStore $store, $file): array
{
    $counts = ['stored' => 0, 'already stored' => 0, 'other mail' => 0, 'broken' => 0,
               'kept as bytes' => 0];
    foreach (MailMessages($file) as [$envelope, $raw]) {
        try {
            $report = $raw === null ? throw new BrokenMail('too large')
                                    : MailedReport($envelope, $raw);
        } catch (BrokenMail $broken) {
            ++$counts['broken'];
            continue;
        }
        if ($report === null) {
            ++$counts['other mail'];
        } elseif ($store->StoreReport($report, microtime(true) + 30)) {
            ++$counts['stored'];
            $counts['kept as bytes'] += $report['cs'] === null ? 1 : 0;
        } else {
            ++$counts['already stored'];
        }
    }
    return $counts;
}

function Summary(array $counts): string
{
    return implode(', ', array_map(fn ($what, $n) => "$n $what", array_keys($counts), $counts));
}

function ImportMail(array $paths): int
{
    if (!$paths) {
        fwrite(STDERR, "usage: php import-mail.php FILE...\n");
        return 2;
    }
    $status = 0;
    $total = [];
    try {
        $store = ReportStore::Open();
        foreach ($paths as $path) {
            $file = is_file($path) ? @fopen($path, 'rb') : false;
            if ($file === false) {
                fwrite(STDERR, "$path: cannot be read\n");
                $status = 1;
                continue;
            }
            $counts = ImportMailFile($store, $file);
            fclose($file);
            echo "$path: ", Summary($counts), "\n";
            foreach ($counts as $what => $n) {
                $total[$what] = ($total[$what] ?? 0) + $n;
            }
        }
    } catch (Throwable $failure) {
        fwrite(STDERR, 'import-mail: ' . $failure->getMessage() . "\n");
        return 1;
    }
    if (count($paths) > 1) {
        echo 'all files: ', Summary($total), "\n";
    }
    return $status;
}

exit(ImportMail(array_slice($argv, 1)));
