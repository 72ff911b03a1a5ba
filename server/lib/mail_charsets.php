<?php
// Mail text in the charset its header declares, read as UTF-8: the body's charset parameter
// and the encoded words (=?charset?B|Q?...?=) of header fields. Text whose charset is not
// declared, not known, or that is not valid in it, is kept as its bytes, never replaced.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/view.php';  // Utf8ToAnsi, AnsiToUtf8

// Labels read as the wider charset that mail programs mean by them (Windows writes its own
// code pages under the older names), as browsers read them.
const kMailCharsets = [
    'us-ascii' => 'windows-1252', 'ascii' => 'windows-1252', 'iso-8859-1' => 'windows-1252',
    'iso_8859-1' => 'windows-1252', 'latin1' => 'windows-1252', 'l1' => 'windows-1252',
    'cp1252' => 'windows-1252', 'utf8' => 'utf-8',
    'shift_jis' => 'CP932', 'shift-jis' => 'CP932', 'sjis' => 'CP932', 'x-sjis' => 'CP932',
    'ms_kanji' => 'CP932', 'csshiftjis' => 'CP932', 'windows-31j' => 'CP932',
    'euc-kr' => 'CP949', 'ks_c_5601-1987' => 'CP949',
    'gb2312' => 'GB18030', 'gbk' => 'GB18030', 'x-gbk' => 'GB18030', 'cp936' => 'GB18030',
    'big5' => 'BIG5-HKSCS', 'tis-620' => 'CP874', 'iso-8859-11' => 'CP874',
];

// [UTF-8 text, true], or [the bytes as they are, false] when $charset (a mail's label) is
// not declared or not known, or the bytes are not text in it. Plain ASCII under a label that
// is not known (or none) is taken as the ASCII it is in every charset mail programs write.
function MailText(string $bytes, string $charset): array
{
    $charset = strtolower(trim($charset));
    $charset = strtolower(kMailCharsets[$charset] ?? $charset);
    // Only a plain name reaches iconv: "utf-8//IGNORE" would change what it does.
    $known = preg_match('/^[a-z0-9][a-z0-9._:+-]{0,39}$/D', $charset)
        && (in_array($charset, ['utf-8', 'windows-1252', 'iso-2022-jp'], true)
            || @iconv($charset, 'UTF-8', '') !== false);
    $text = !$known ? false : match ($charset) {
        'utf-8' => $bytes,
        'windows-1252' => Windows1252ToUtf8($bytes),
        'iso-2022-jp' => Iso2022JpToUtf8($bytes),
        default => @iconv($charset, 'UTF-8', $bytes),
    };
    if (is_string($text) && preg_match('//u', $text)) {
        $bom = "\u{FEFF}";  // some mail programs begin UTF-8 text with one
        return [strncmp($text, $bom, 3) === 0 ? substr($text, 3) : $text, true];
    }
    return [$bytes, !$known && preg_match('/^[\x00-\x1A\x1C-\x7F]*$/D', $bytes) === 1];
}

// Windows-1252 as browsers read it: the five bytes it leaves undefined as the C1 controls of
// the same number, so that nothing of the text is lost.
function Windows1252ToUtf8(string $bytes): string
{
    static $map = null;
    if ($map === null) {
        for ($byte = 0x80; $byte <= 0xFF; ++$byte) {
            $char = @iconv('CP1252', 'UTF-8', chr($byte));
            $map[chr($byte)] = $char !== false ? $char : chr(0xC2) . chr($byte);
        }
    }
    return strtr($bytes, $map);
}

// ISO-2022-JP as Windows writes it too (NEC and IBM characters, half-width katakana), which
// a strict decoder refuses: the two-byte runs moved into EUC-JP-MS, which holds those.
function Iso2022JpToUtf8(string $bytes): string|false
{
    $modes = ['(B' => 'ascii', '(J' => 'ascii', '$@' => 'jis', '$B' => 'jis', '(I' => 'kana'];
    [$euc, $mode, $length] = ['', 'ascii', strlen($bytes)];
    for ($at = 0; $at < $length;) {
        $byte = ord($bytes[$at]);
        if ($byte === 0x1B) {
            $mode = $modes[substr($bytes, $at + 1, 2)] ?? null;
            if ($mode === null) {
                return false;  // a charset that ISO-2022-JP does not switch to
            }
            $at += 3;
        } elseif ($byte >= 0x80) {
            return false;
        } elseif ($mode === 'jis' && $byte > 0x20 && $byte < 0x7F) {
            $euc .= chr($byte | 0x80) . chr(ord($bytes[$at + 1] ?? "\0") | 0x80);
            $at += 2;
        } else {
            $euc .= $mode === 'kana' && $byte > 0x20 && $byte < 0x60
                ? "\x8E" . chr($byte | 0x80) : $bytes[$at];
            ++$at;
        }
    }
    return @iconv('EUC-JP-MS', 'UTF-8', $euc);
}

// Pieces of one text, each [text, is UTF-8], as one: UTF-8 when all are, else bytes.
function JoinedText(array $pieces): array
{
    if (!in_array(false, array_column($pieces, 1), true)) {
        return [implode('', array_column($pieces, 0)), true];
    }
    return [implode('', array_map(fn ($piece) => $piece[1] ? AsBytes($piece[0]) : $piece[0],
                                  $pieces)), false];
}

// UTF-8 text that goes with text kept as bytes: in Windows-1252 (as an applet's bytes are
// read) where that holds every character of it, else as its UTF-8 bytes. Never "?".
function AsBytes(string $utf8): string
{
    $ansi = Utf8ToAnsi($utf8);
    return AnsiToUtf8($ansi) === $utf8 ? $ansi : $utf8;
}

// A text as the earlier release stored it: UTF-8 as Windows-1252 bytes, "?" for a character
// that has none. Mail keys are made of this, so a mail imported by it is known again.
function EarlierText(array $text): string
{
    return $text[1] ? Utf8ToAnsi($text[0]) : $text[0];
}

// A header value with its encoded words decoded, as [text, is UTF-8] (see MailText).
// Adjacent words of one charset are joined before decoding, since a character may be split
// between them. Raw 8-bit text is read as UTF-8 when it is that, else kept.
function DecodedHeader(string $value): array
{
    $word = '=\?([^?\s*]+)(?:\*[^?\s]*)?\?([BbQq])\?([^?\s]*)\?=';
    $pieces = preg_split("/($word)/", preg_replace("/($word)\s+(?=$word)/", '$1', $value), -1,
                         PREG_SPLIT_DELIM_CAPTURE);
    $decoded = [];
    [$pending, $pendingCharset] = ['', null];
    for ($index = 0; $index < count($pieces); $index += 5) {
        if ($pieces[$index] !== '' || $index + 1 >= count($pieces)
            || ($pendingCharset !== null && strtolower($pieces[$index + 2]) !== $pendingCharset)) {
            if ($pendingCharset !== null) {
                $decoded[] = MailText($pending, $pendingCharset);
                [$pending, $pendingCharset] = ['', null];
            }
            $raw = $pieces[$index];
            $decoded[] = [$raw, preg_match('//u', $raw) === 1];
        }
        if ($index + 1 < count($pieces)) {
            [$charset, $kind, $text] = array_slice($pieces, $index + 2, 3);
            $bytes = strtoupper($kind) === 'B' ? base64_decode($text, true)
                : quoted_printable_decode(str_replace('_', ' ', $text));
            if ($bytes === false) {
                throw new BrokenMail('bad encoded word');
            }
            $pending .= $bytes;
            $pendingCharset = strtolower($charset);
        }
    }
    return JoinedText($decoded);
}
