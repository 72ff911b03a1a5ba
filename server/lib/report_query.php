<?php
// A report as its query carries it, by one set of rules for every script that takes reports
// from the applet (the endpoint and the thank-you page): the keys, their caps, and the row
// that is stored.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

const kCaps = ['prj' => 256, 'reason' => 8192, 'os' => 64];
// Keys a report may carry besides: the product's version, the report's id, which makes a
// repeat of a stored report (a late answer, a retry) recognisable, the reason's number (1 to
// 7, 7 being "Other") and the charset of prj, reason and os ('utf-8'; else the applet's ANSI
// bytes).
const kOptionalCaps = ['ver' => 32, 'id' => 16, 'n' => 1, 'cs' => 5];

// The three values from the raw query, decoded byte for byte, or null unless each key is
// there exactly once as a plain value; ver, id, n and cs too when given, at most once each,
// and with cs the three values valid UTF-8. PHP's own $_GET would drop keys past
// max_input_vars, take the last of repeated keys and turn prj[] into an array.
function ReportValues(string $query): ?array
{
    $values = [];
    foreach (explode('&', $query) as $pair) {
        $equals = strpos($pair, '=');
        $key = urldecode($equals === false ? $pair : substr($pair, 0, $equals));
        $bracket = strpos($key, '[');
        $name = $bracket === false ? $key : substr($key, 0, $bracket);
        if (!array_key_exists($name, kCaps) && !array_key_exists($name, kOptionalCaps)) {
            continue;
        }
        if ($bracket !== false || isset($values[$name])) {
            return null;
        }
        $values[$name] = $equals === false ? '' : urldecode(substr($pair, $equals + 1));
    }
    $required = array_intersect_key($values, kCaps);
    if (count($required) !== count(kCaps)) {
        return null;
    }
    if (isset($values['id']) && !preg_match('/^[0-9A-Fa-f]{16}$/D', $values['id'])) {
        return null;
    }
    if (isset($values['n']) && !preg_match('/^[1-7]$/D', $values['n'])) {
        return null;
    }
    if (isset($values['cs'])) {
        // Each on its own: a sequence cut at the end of one can be completed by the next.
        $utf8 = array_filter(array_intersect_key($values, kCaps), fn ($v) => preg_match('//u', $v));
        if ($values['cs'] !== 'utf-8' || count($utf8) !== count(kCaps)) {
            return null;
        }
    }
    return $values;
}

// The report of a raw query as [values, null], or [null, [status, answer]] when it is none
// or a value is longer than its cap.
function ReportFromQuery(string $query): array
{
    $values = ReportValues($query);
    if ($values === null) {
        return [null, [400, "BAD REPORT\n"]];
    }
    foreach (kCaps + kOptionalCaps as $name => $cap) {
        if (strlen($values[$name] ?? '') > $cap) {
            return [null, [413, "TOO LONG\n"]];
        }
    }
    return [$values, null];
}

// The row ReportStore::StoreReport takes for a report that came $via ('http', 'page').
function ReportRow(array $values, string $via): array
{
    return ['time' => gmdate('Y-m-d\TH:i:s\Z'), 'prj' => $values['prj'],
            'reason' => $values['reason'], 'os' => $values['os'], 'ver' => $values['ver'] ?? null,
            // Ids are compared as given, in one case.
            'report_id' => isset($values['id']) ? strtolower($values['id']) : null,
            'via' => $via, 'cs' => $values['cs'] ?? null,
            'n' => isset($values['n']) ? (int)$values['n'] : null];
}

// Every warning becomes an exception, so no half-done store can still answer as stored.
function WarningsAsExceptions(): void
{
    set_error_handler(function (int $level, string $message, string $file, int $line): bool {
        if (!(error_reporting() & $level)) {
            return false;  // silenced with @ where the code checks the outcome itself
        }
        throw new ErrorException($message, 0, $level, $file, $line);
    });
}
