<?php
// MIME as the importer reads it: a message's header fields, its text (the first plain-text
// part, else HTML without its markup) through multipart nesting and transfer encodings;
// charsets are read in mail_charsets.php.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/mail_charsets.php';

const kMaxMailDepth = 16;  // multipart nesting followed, well past what mail programs make

final class BrokenMail extends RuntimeException
{
}

// [headers (lower-case name => [unfolded values]), body]; throws BrokenMail when the head
// is not one of header fields.
function ParsedMail(string $raw): array
{
    if ($raw !== '' && $raw[0] === "\n") {
        return [[], substr($raw, 1)];  // a MIME part without header fields
    }
    $end = strpos($raw, "\n\n");
    $head = $end === false ? rtrim($raw, "\n") : substr($raw, 0, $end);
    $body = $end === false ? '' : substr($raw, $end + 2);
    $headers = [];
    foreach (explode("\n", preg_replace('/\n[ \t]+/', ' ', $head)) as $line) {
        if (!preg_match('/^([!-9;-~]+):[ \t]*(.*)$/sD', $line, $field)) {
            throw new BrokenMail('not a header field');
        }
        $headers[strtolower($field[1])][] = rtrim($field[2], " \t");
    }
    return [$headers, $body];
}

// A header value such as a content type: [its lower-case value, [lower-case name => value]].
function HeaderParameters(string $value): array
{
    preg_match_all('/;\s*([^\s=;]+)\s*=\s*(?:"((?:[^"\\\\]|\\\\.)*)"|([^;\s]*))/', $value, $found,
                   PREG_SET_ORDER);
    $parameters = [];
    foreach ($found as $match) {
        $parameters[strtolower($match[1])] = ($match[3] ?? '') !== ''
            ? $match[3] : stripslashes($match[2]);
    }
    return [strtolower(trim(explode(';', $value, 2)[0])), $parameters];
}

// The text a message shows: its first plain-text part that is not an attachment and not
// empty, else its first such HTML part, as [decoded bytes, charset, flowed, delsp, html], or
// null when it has neither.
function TextPart(array $headers, string $body): ?array
{
    $html = null;
    $found = FirstTextPart($headers, $body, 0, $html) ?? $html;
    if ($found === null) {
        return null;
    }
    [$headers, $body, $type, $parameters] = $found;
    $encoding = strtolower(trim($headers['content-transfer-encoding'][0] ?? ''));
    if ($encoding === 'quoted-printable') {
        $body = quoted_printable_decode($body);
    } elseif ($encoding === 'base64') {
        $body = base64_decode(preg_replace('/\s+/', '', $body), true);
        if ($body === false) {
            throw new BrokenMail('bad base64');
        }
    } elseif (!in_array($encoding, ['', '7bit', '8bit', 'binary'], true)) {
        throw new BrokenMail('unknown transfer encoding');
    }
    $charset = $parameters['charset'] ?? '';
    // HTML may name its charset only inside, in a <meta> element of its head.
    if ($type === 'text/html' && $charset === ''
        && preg_match('/<meta\b[^>]*charset\s*=\s*["\']?([\w.:+-]+)/i', substr($body, 0, 4096),
                      $meta)) {
        $charset = $meta[1];
    }
    return [$body, $charset, strtolower($parameters['format'] ?? '') === 'flowed',
            strtolower($parameters['delsp'] ?? '') === 'yes', $type === 'text/html'];
}

// The first plain-text part under a part, as [headers, body, type, parameters]; the first
// HTML part met on the way is left in $html. Nesting deeper than mail programs make is
// passed over, so a hostile message cannot recurse without end.
function FirstTextPart(array $headers, string $body, int $depth, ?array &$html): ?array
{
    [$type, $parameters] = HeaderParameters($headers['content-type'][0] ?? 'text/plain');
    if (strncmp($type, 'multipart/', 10) === 0) {
        $boundary = $parameters['boundary'] ?? '';
        if ($boundary === '') {
            throw new BrokenMail('multipart without a boundary');
        }
        if ($depth >= kMaxMailDepth) {
            return null;
        }
        foreach (MultipartParts($body, $boundary) as $part) {
            if (trim($part) === '') {
                continue;  // an empty part: neither header fields nor text
            }
            [$partHeaders, $partBody] = ParsedMail($part);
            $text = FirstTextPart($partHeaders, $partBody, $depth + 1, $html);
            if ($text !== null) {
                return $text;
            }
        }
        return null;
    }
    $disposition = HeaderParameters($headers['content-disposition'][0] ?? '')[0];
    if ($disposition === 'attachment' || trim($body) === '') {
        return null;
    }
    if ($type === 'text/plain' || $type === '') {
        return [$headers, $body, $type, $parameters];
    }
    if ($type === 'text/html' && $html === null) {
        $html = [$headers, $body, $type, $parameters];
    }
    return null;
}

// A multipart body's parts. A closing boundary that is missing (a message cut short, or a
// mail program that never writes one) ends the last part at the end of the body.
function MultipartParts(string $body, string $boundary): array
{
    $parts = [];
    $part = null;
    foreach (explode("\n", $body) as $line) {
        $line = rtrim($line, " \t");
        if ($line === "--$boundary" || $line === "--$boundary--") {
            if ($part !== null) {
                $parts[] = substr($part, 0, -1);  // its last line break belongs to the boundary
            }
            if ($line === "--$boundary--") {
                return $parts;
            }
            $part = '';
        } elseif ($part !== null) {
            $part .= $line . "\n";
        }
    }
    if ($part !== null) {
        $parts[] = $part;
    }
    return $parts;
}

// The text an HTML part shows, in lines: no markup, comments, scripts, styles or head, line
// breaks where <br>, paragraphs and other blocks make them, other white space as one space.
// Character references are decoded into UTF-8 text; into text kept as bytes (its charset
// unknown) only those that stand for ASCII characters are, the others are left as written.
function HtmlText(string $html, bool $utf8): string
{
    $html = preg_replace('/[ \t\r\n\f]+/', ' ', WithoutHiddenHtml($html));
    $html = preg_replace('/<(br|\/?(p|div|li|tr|h[1-6]|blockquote|pre|table|ul|ol))\b[^>]*>/i',
                         "\n", $html);
    $entity = '/&(#[0-9]+|#x[0-9a-f]+|[a-z][a-z0-9]*);/i';
    $text = preg_replace_callback($entity, function ($found) use ($utf8) {
        $char = html_entity_decode($found[0], ENT_QUOTES | ENT_HTML5, 'UTF-8');
        $char = str_replace("\u{A0}", ' ', $char);  // editors write spaces as &nbsp;
        return $utf8 || !preg_match('/[^\x00-\x7F]/', $char) ? $char : $found[0];
    }, strip_tags($html));
    $lines = [];
    foreach (explode("\n", $utf8 ? str_replace("\u{A0}", ' ', $text) : $text) as $line) {
        $line = trim($line, " \t");
        if ($line !== '') {
            $lines[] = $line === '--' ? '-- ' : $line;  // a signature's separator
        }
    }
    return implode("\n", $lines);
}

// HTML without comments and without the elements whose content is not shown (scripts,
// styles, the head); one left open hides the rest. Found by plain searching, so a large
// part cannot run a pattern out of its backtracking limit.
function WithoutHiddenHtml(string $html): string
{
    $shown = '';
    $at = 0;
    while (preg_match('/<!--|<(script|style|head|title)\b/i', $html, $found, PREG_OFFSET_CAPTURE,
                      $at)) {
        $shown .= substr($html, $at, $found[0][1] - $at);
        $close = isset($found[1]) ? '</' . $found[1][0] : '-->';
        $end = stripos($html, $close, $found[0][1] + strlen($found[0][0]));
        $end = $end === false || $close === '-->' ? $end : strpos($html, '>', $end);
        if ($end === false) {
            return $shown;
        }
        $at = $end + ($close === '-->' ? 3 : 1);
    }
    return $shown . substr($html, $at);
}
