<?php
// The page a report opens in the user's browser when the applet could not deliver it (its
// [report] Page= setting): stores the report of the query by the endpoint's rules (the same
// caps, a report whose id is stored already not stored again, via 'page') and thanks the
// user in the language of the report's texts where it knows them, else in English. The page
// runs no script and loads nothing from anywhere.

ini_set('display_errors', '0');
header_remove('X-Powered-By');

require_once __DIR__ . '/../lib/report_query.php';
require_once __DIR__ . '/../lib/reports.php';
require_once __DIR__ . '/../lib/view.php';

// A person waits here, not the applet: longer than the endpoint's budget, still bounded.
const kPageStoreBudget = 5.0;

// Per language: the applet's reasons as the shipped translations write them (the last is
// "Other", sent followed by ": " and the free text), and the page's texts.
const kLanguages = [
    'en' => ['reasons' => ['Unstable', 'Lacks some functions', 'Resource hungry',
                           'Unfriendly interface', 'Too expensive', 'Upgrade version', 'Other'],
             'title' => 'Thank you', 'stored' => 'Your answer has arrived. Thank you!',
             'close' => 'You may close this window.',
             'failed' => 'Your answer could not be stored just now. Please load this page '
                         . 'again in a while.',
             'refused' => 'This address holds no answer to send.'],
    'de' => ['reasons' => ['Läuft nicht stabil', 'Es fehlen Funktionen',
                           'Braucht zu viele Ressourcen', 'Unfreundliche Oberfläche', 'Zu teuer',
                           'Umstieg auf eine neue Version', 'Andere'],
             'title' => 'Vielen Dank', 'stored' => 'Ihre Antwort ist angekommen. Vielen Dank!',
             'close' => 'Sie können dieses Fenster schließen.',
             'failed' => 'Ihre Antwort konnte gerade nicht gespeichert werden. Bitte laden '
                         . 'Sie diese Seite später noch einmal.',
             'refused' => 'Diese Adresse enthält keine Antwort.'],
    'fr' => ['reasons' => ['Instable', 'Il manque des fonctions', 'Trop gourmand en ressources',
                           'Interface peu conviviale', 'Trop cher',
                           'Passage à une nouvelle version', 'Autre'],
             'title' => 'Merci', 'stored' => 'Votre réponse est bien arrivée. Merci !',
             'close' => 'Vous pouvez fermer cette fenêtre.',
             'failed' => 'Votre réponse n’a pas pu être enregistrée pour le moment. Veuillez '
                         . 'recharger cette page un peu plus tard.',
             'refused' => 'Cette adresse ne contient aucune réponse.'],
];

// The language whose reason texts the report's reason is, or English. The applet sends its
// ANSI bytes (read as Windows-1252) or, where so set, UTF-8, which a reason of these
// languages is only when it is valid UTF-8.
function LanguageOf(?array $values): string
{
    $reason = (string)($values['reason'] ?? '');
    $reason = preg_match('//u', $reason) ? $reason : AnsiToUtf8($reason);
    foreach (kLanguages as $language => $texts) {
        $reasons = $texts['reasons'];
        $other = array_pop($reasons) . ':';
        if (in_array($reason, $reasons, true) || strncmp($reason, $other, strlen($other)) === 0) {
            return $language;
        }
    }
    return 'en';
}

function ShowPage(int $status, string $language, string $message): void
{
    $texts = kLanguages[$language];
    PageHeaders($status, 'text/html; charset=utf-8');
    echo '<!DOCTYPE html>
<html lang="', $language, '"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>', Text($texts['title']), '</title>
<style>
body { font: 17px/1.5 system-ui, sans-serif; color: #222; max-width: 34em;
       margin: 18vh auto 0; padding: 0 16px; }
h1 { font-size: 24px; font-weight: 600; margin: 0 0 8px; } p { color: #555; margin: 0; }
</style></head><body>
<h1 id="message">', Text($texts[$message]), '</h1>
', $message === 'stored' ? '<p>' . Text($texts['close']) . '</p>' : '', '
</body></html>
';
}

function HandlePage(): void
{
    $arrival = (float)($_SERVER['REQUEST_TIME_FLOAT'] ?? microtime(true));
    if (!in_array($_SERVER['REQUEST_METHOD'] ?? '', ['GET', 'HEAD'], true)) {
        header('Allow: GET, HEAD');
        ShowPage(405, 'en', 'refused');
        return;
    }
    [$values, $refusal] = ReportFromQuery((string)($_SERVER['QUERY_STRING'] ?? ''));
    $language = LanguageOf($values);
    if ($refusal !== null) {
        ShowPage($refusal[0], $language, 'refused');
        return;
    }
    if ($_SERVER['REQUEST_METHOD'] === 'HEAD') {
        ShowPage(200, $language, 'stored');  // a look at the page stores nothing
        return;
    }
    try {
        // A reload or a second visit finds its id stored and stores nothing more.
        ReportStore::Open()->StoreReport(ReportRow($values, 'page'),
                                         $arrival + kPageStoreBudget);
        ShowPage(200, $language, 'stored');
    } catch (StoreTimeout $late) {
        error_log('exitpoll thanks: not stored in time: ' . $late->getMessage());
        ShowPage(503, $language, 'failed');
    } catch (Throwable $failure) {
        error_log('exitpoll thanks: ' . $failure->getMessage());
        ShowPage(500, $language, 'failed');
    }
}

WarningsAsExceptions();
HandlePage();
