<?php
// The applet's fallback mails read back into reports, from mailbox files (mbox) and single
// messages (.eml) as mail programs keep them: the subject "uninstall " and the product, the
// body the reason, and the line "Report id: " and an id last when the applet added one.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/mime.php';

const kMaxMailBytes = 1 << 20;    // a larger message is not one of the applet's
const kEarliestMail = 946684800;  // 2000-01-01: no report was mailed before

// Each message of an open file as [envelope line or null, bytes with LF line ends, or null
// when too large]. A file that begins with "From " is an mbox: a line beginning with "From "
// after an empty line (or first) starts the next message when a header field follows it, and
// ">From " lines are unquoted (mboxrd, which also reads mboxo right unless a body line began
// with ">From "). A writer that did not quote a body's "From " line thus leaves it in the
// body, unless a line that reads as a header field follows it. Any other file is one
// message. Lines are read in bounded pieces, so a file without line breaks costs no more
// memory than a large message.
function MailMessages($file): Generator
{
    $mbox = null;
    $started = false;
    $envelope = null;
    $message = '';
    $tooLarge = false;
    $lineStart = true;
    $afterBlank = true;
    $from = null;  // a "From " line that starts a message if a header field comes next
    $add = function (string $text) use (&$message, &$tooLarge) {
        if (!$tooLarge) {
            $message .= $text;
            if (strlen($message) > kMaxMailBytes) {
                [$tooLarge, $message] = [true, ''];
            }
        }
    };
    while (($piece = fgets($file, 65536)) !== false) {
        $mbox ??= strncmp($piece, 'From ', 5) === 0;
        $complete = substr($piece, -1) === "\n";
        if ($from !== null) {
            if (preg_match('/^[!-9;-~]+:/', $piece)) {
                yield [$envelope, $tooLarge ? null : $message];
                [$envelope, $message, $tooLarge] = [rtrim($from), '', false];
            } else {
                $add(rtrim($from, "\r\n") . "\n");
            }
            $from = null;
        }
        if ($lineStart && $mbox && $afterBlank && strncmp($piece, 'From ', 5) === 0) {
            $afterBlank = false;
            if (!$started) {
                [$started, $envelope, $lineStart] = [true, rtrim($piece), $complete];
                continue;
            }
            if ($complete) {
                $from = $piece;
                continue;
            }
        }
        $started = true;
        $text = $complete ? rtrim($piece, "\r\n") . "\n" : $piece;
        if ($lineStart) {
            $afterBlank = $text === "\n";
            if ($mbox) {
                $text = preg_replace('/^>(>*From )/', '$1', $text);
            }
        }
        $lineStart = $complete;
        $add($text);
    }
    if ($from !== null) {
        $add(rtrim($from, "\r\n") . "\n");
    }
    if ($started) {
        yield [$envelope, $tooLarge ? null : $message];
    }
}

// The report an applet's mail carries, as StoreReport takes it, or null for any other mail;
// throws BrokenMail for a message that cannot be read, or an applet's mail that cannot be
// read as a report.
function MailedReport(?string $envelope, string $raw): ?array
{
    [$headers, $body] = ParsedMail($raw);
    if (!isset($headers['subject'])) {
        return null;
    }
    // The subject as the applet made it, its spaces as plus signs when the mail program left
    // them so (a product's own plus sign is then read as a space too).
    [$subjectText, $subjectUtf8] = DecodedHeader($headers['subject'][0]);
    if (!preg_match('/^uninstall(?:([ +])(.*))?$/sD', $subjectText, $subject)) {
        return null;
    }
    $product = ($subject[1] ?? '') === '+' ? strtr($subject[2], '+', ' ') : ($subject[2] ?? '');
    // From here on the mail is the applet's: one that cannot be read is broken, not other mail.
    [$text, $charset, $flowed, $delsp, $html] = TextPart($headers, $body)
        ?? throw new BrokenMail('no text');
    [$text, $utf8] = MailText($text, $charset);
    if ($html) {
        [$text, $flowed] = [HtmlText($text, $utf8), false];
    }
    $lines = MailBodyLines(str_replace("\r\n", "\n", $text), $flowed, $delsp);
    // The id is on the last line that is exactly an id line; what follows it is the mail
    // program's (a footer such as "Sent from Mail for Windows"), not the reason's.
    $reportId = null;
    for ($index = count($lines) - 1; $index >= 0; --$index) {
        if (preg_match('/^Report id:[ \t]+([0-9A-Fa-f]{16})[ \t]*$/D', $lines[$index], $id)) {
            $reportId = strtolower($id[1]);
            $lines = DropTrailingBlankLines(array_slice($lines, 0, $index));
            break;
        }
    }
    // The applet's reason is one line; more lines are that line wrapped by the mail program.
    $reason = implode(' ', $lines);
    // The key is made of the texts as the earlier release stored them (Windows-1252, "?" for
    // what that lacks), so that a mail it imported is known again.
    $earlier = [EarlierText([$product, $subjectUtf8]), EarlierText([$reason, $utf8])];
    // Stored as UTF-8 when both texts were read so, else as bytes, the one that was read
    // made to go with the other.
    $cs = $utf8 && $subjectUtf8 ? 'utf-8' : null;
    if ($cs === null) {
        $product = $subjectUtf8 ? AsBytes($product) : $product;
        $reason = $utf8 ? AsBytes($reason) : $reason;
    }
    if ($reason === '' || strlen($reason) > 8192 || strlen($product) > 256) {
        throw new BrokenMail('not a report the endpoint would take either');
    }
    $date = $headers['date'][0] ?? '';
    $messageId = $headers['message-id'][0] ?? '';
    $key = $messageId !== '' ? ['id', $messageId, ...$earlier]
                             : ['date', $date, $headers['from'][0] ?? '', ...$earlier];
    $report = [
        'time' => gmdate('Y-m-d\TH:i:s\Z', MailTime($date, $envelope)),
        'prj' => $product, 'reason' => $reason, 'os' => '', 'via' => 'mail',
        'report_id' => $reportId, 'cs' => $cs,
        // The same mail imported again, from this file or from another folder holding a copy,
        // has the same key. Without a Message-ID, mails of one sender and reason would share
        // the key of their Date (or of none), so the envelope line tells them apart, or for a
        // single message its bytes.
        'mail_key' => hash('sha256', implode("\0", $messageId !== '' ? $key
            : [...$key, $envelope ?? hash('sha256', $raw)])),
    ];
    if ($messageId === '') {
        // The key such a mail was stored under before: a copy of it is a repeat.
        $report['earlier_mail_key'] = hash('sha256', implode("\0", $key));
    }
    return $report;
}

// The body's lines without flowed wrapping, signature and trailing blank lines.
function MailBodyLines(string $text, bool $flowed, bool $delsp): array
{
    $lines = [];
    $soft = false;
    foreach (explode("\n", $text) as $line) {
        if ($flowed) {
            $line = $line !== '' && $line[0] === ' ' ? substr($line, 1) : $line;  // unstuffed
        }
        if ($line === '-- ') {
            break;  // the mail program's signature
        }
        if ($soft) {
            $lines[count($lines) - 1] .= $line;
        } else {
            $lines[] = $line;
        }
        $soft = $flowed && substr($line, -1) === ' ';
        if ($soft && $delsp) {
            $lines[count($lines) - 1] = substr($lines[count($lines) - 1], 0, -1);
        }
    }
    return DropTrailingBlankLines($lines);
}

function DropTrailingBlankLines(array $lines): array
{
    while ($lines && trim(end($lines)) === '') {
        array_pop($lines);
    }
    return $lines;
}

// When the mail was written: its Date, else its mbox envelope's date, else now. A time
// before 2000 or more than a day ahead is forged or a broken clock, and is not taken: stored,
// it would be counted in every period or stretch the page's charts over centuries.
function MailTime(string $date, ?string $envelope): int
{
    $now = time();
    $plausible = fn ($time) => is_int($time) && $time >= kEarliestMail && $time <= $now + 86400;
    $time = strtotime(trim(preg_replace('/\([^)]*\)/', '', $date)));
    if (!$plausible($time) && $envelope !== null
        && preg_match('/^From \S+\s+(.+)$/', $envelope, $found)) {
        $time = strtotime($found[1] . ' UTC');
    }
    return $plausible($time) ? $time : $now;
}
