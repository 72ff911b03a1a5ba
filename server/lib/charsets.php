<?php
// The charsets of stored reports: a report with cs 'utf-8' holds UTF-8, any other the
// applet's ANSI bytes, read in the code page that EXITPOLL_LEGACY_CHARSET names for its
// product (Windows-1252 unless set); and those bytes as UTF-8 for every page and the CSV.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/settings.php';
require_once __DIR__ . '/view.php';  // AnsiToUtf8

// Stored bytes of a report whose charset is $cs and whose product's stored bytes are $prj,
// as UTF-8 text for display. What cannot be read (a byte the code page leaves undefined)
// shows as U+FFFD; nothing is dropped.
function StoredUtf8(string $bytes, ?string $cs, string $prj): string
{
    if ($cs === 'utf-8') {
        return ValidUtf8($bytes);
    }
    $charset = LegacyCharset($prj);
    return $charset === 'windows-1252' ? AnsiToUtf8($bytes) : DecodedText($bytes, $charset);
}

// The code page of the reports of the product $prj (stored bytes) sent without cs.
function LegacyCharset(string $prj): string
{
    [$default, $products] = LegacyCharsets();
    return $products[$prj] ?? $default;
}

// EXITPOLL_LEGACY_CHARSET, read once: entries separated by ";", each a charset for every
// product ("windows-1251") or "Product=charset" for one. The product is written as the page
// shows it; it names the product whose stored name is that text in that charset (as the
// applet on such a Windows sent it). An entry whose charset iconv does not know is
// ignored, and said so in the error log.
function LegacyCharsets(): array
{
    static $parsed = null;
    if ($parsed !== null) {
        return $parsed;
    }
    $default = 'windows-1252';
    $products = [];
    foreach (explode(';', Setting('EXITPOLL_LEGACY_CHARSET')) as $entry) {
        if (trim($entry) === '') {
            continue;
        }
        $equals = strrpos($entry, '=');
        $charset = strtolower(trim($equals === false ? $entry : substr($entry, $equals + 1)));
        if ($charset === 'cp1252') {
            $charset = 'windows-1252';
        }
        if (@iconv($charset, 'UTF-8', 'a') !== 'a') {
            error_log('exitpoll: EXITPOLL_LEGACY_CHARSET names an unknown charset: ' . $charset);
            continue;
        }
        if ($equals === false) {
            $default = $charset;
            continue;
        }
        $name = @iconv('UTF-8', $charset, trim(substr($entry, 0, $equals)));
        if ($name !== false) {
            $products[$name] = $charset;
        }
    }
    return $parsed = [$default, $products];
}

// The stored names that a product's name $prj (stored bytes) may have come as: itself, as
// UTF-8 and in the code page of the product's reports without cs, so that its reports are
// one product whichever way its applets sent them.
function ProductNames(string $prj): array
{
    $text = preg_match('//u', $prj) ? $prj : StoredUtf8($prj, null, $prj);
    $names = [$prj, $text];
    foreach (array_unique([LegacyCharsets()[0], ...array_values(LegacyCharsets()[1])])
             as $charset) {
        $legacy = @iconv('UTF-8', $charset, $text);
        if ($legacy !== false && LegacyCharset($legacy) === $charset
            && StoredUtf8($legacy, null, $legacy) === $text) {
            $names[] = $legacy;
        }
    }
    return array_values(array_unique($names));
}

// Bytes in $charset as UTF-8; where they cannot be read as a whole, character by character,
// each byte that starts none as U+FFFD.
function DecodedText(string $bytes, string $charset): string
{
    if (!preg_match('/[\x80-\xFF]/', $bytes)) {
        $text = @iconv($charset, 'UTF-8', $bytes);  // ASCII alike in every code page taken
        return $text === false ? $bytes : $text;
    }
    $text = @iconv($charset, 'UTF-8', $bytes);
    if ($text !== false) {
        return $text;
    }
    $text = '';
    for ($at = 0, $length = strlen($bytes); $at < $length;) {
        $char = false;
        for ($size = 1; $size <= 4 && $at + $size <= $length; ++$size) {
            $char = @iconv($charset, 'UTF-8', substr($bytes, $at, $size));
            if ($char !== false && $char !== '') {
                break;
            }
        }
        if ($char === false || $char === '' || $at + $size > $length) {
            $text .= "\u{FFFD}";
            ++$at;
        } else {
            $text .= $char;
            $at += $size;
        }
    }
    return $text;
}

// UTF-8 as it is; in bytes that are not, each byte of a broken sequence as U+FFFD.
function ValidUtf8(string $bytes): string
{
    if (preg_match('//u', $bytes)) {
        return $bytes;
    }
    return preg_replace_callback(
        '/([\x00-\x7F]|[\xC2-\xDF][\x80-\xBF]|\xE0[\xA0-\xBF][\x80-\xBF]'
        . '|[\xE1-\xEC\xEE\xEF][\x80-\xBF]{2}|\xED[\x80-\x9F][\x80-\xBF]'
        . '|\xF0[\x90-\xBF][\x80-\xBF]{2}|[\xF1-\xF3][\x80-\xBF]{3}|\xF4[\x80-\x8F][\x80-\xBF]{2})'
        . '|./s',
        fn ($match) => isset($match[1]) && $match[1] !== '' ? $match[1] : "\u{FFFD}",
        $bytes);
}
