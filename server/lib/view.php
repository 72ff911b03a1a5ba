<?php
// Output helpers of the pages the collector shows: their headers, Windows-1252 bytes as
// UTF-8 (charsets.php reads the other charsets), HTML escaping, CSV fields and the bar
// charts, drawn here as inline SVG so the page needs no script or style from anywhere else.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/charsets.php';
require_once __DIR__ . '/folding.php';

// The headers of every page the collector shows in a browser: nothing from elsewhere, no
// script, no framing, and no address (which may hold a report) passed on as a referrer.
function PageHeaders(int $status, string $type): void
{
    http_response_code($status);
    header('Content-Type: ' . $type);
    header("Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; "
           . "form-action 'self'; frame-ancestors 'none'; base-uri 'none'");
    header('X-Content-Type-Options: nosniff');
    header('Referrer-Policy: no-referrer');
    header('Cache-Control: no-store');
}

// The applet sends its system's ANSI bytes; reports come from Western systems, whose code
// page is Windows-1252. The five bytes it leaves undefined show as U+FFFD.
function AnsiToUtf8(string $bytes): string
{
    static $map = null;
    if ($map === null) {
        $high = [0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030,
                 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C,
                 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD,
                 0x017E, 0x0178];
        $map = [];
        for ($byte = 0x80; $byte <= 0xFF; ++$byte) {
            $map[chr($byte)] = Utf8($byte < 0xA0 ? $high[$byte - 0x80] : $byte);
        }
    }
    return strtr($bytes, $map);
}

function Utf8(int $code): string
{
    if ($code < 0x800) {
        return chr(0xC0 | $code >> 6) . chr(0x80 | $code & 0x3F);
    }
    return chr(0xE0 | $code >> 12) . chr(0x80 | $code >> 6 & 0x3F) . chr(0x80 | $code & 0x3F);
}

// Stored bytes of a report without a charset, in Windows-1252, as HTML text (StoredUtf8
// reads every charset).
function Html(string $stored): string
{
    return Text(AnsiToUtf8($stored));
}

// Already UTF-8 text (the page's own) as HTML.
function Text(string $utf8): string
{
    return htmlspecialchars($utf8, ENT_QUOTES | ENT_SUBSTITUTE | ENT_HTML5, 'UTF-8');
}

// A label cut to $length characters, with an ellipsis when cut.
function Shortened(string $utf8, int $length): string
{
    if (preg_match('/^.{' . $length . '}(?=.)/su', $utf8, $match)) {
        return $match[0] . "\u{2026}";
    }
    return $utf8;
}

// One CSV field (RFC 4180): always quoted, quotes doubled. Anyone can send any free text, and
// a spreadsheet runs a cell that starts with =, +, -, @, a tab or a CR as a formula. One whose
// list separator is ";" (German, French) splits a line at ";" and misreads the quoting, and a
// line break may start a row, so an apostrophe goes before such a start at the beginning and
// after every ",", ";", tab, quote or line break (spaces in between too).
function CsvField(string $utf8): string
{
    $utf8 = preg_replace('/(^|[,;\t"\r\n])( *)(?=[=+\-@\t\r])/', "\$1\$2'", $utf8);
    return '"' . str_replace('"', '""', $utf8) . '"';
}

function CsvLine(array $fields): string
{
    return implode(',', array_map('CsvField', $fields)) . "\r\n";
}

// Horizontal bars, one per [label (UTF-8), count] or [label, count, true] for a bar of
// the page's own ("(all others)"), the longest scaled to the width. Each bar carries its
// label and count as data attributes and a tooltip; the page's own labels, and "(empty)"
// for an empty value, are in italics, so that a stored value that reads the same is told
// apart.
function BarChart(string $title, array $bars): string
{
    $width = 720;
    $labelWidth = 260;
    $row = 24;
    $height = max(1, count($bars)) * $row + 8;
    $max = max(1, ...array_map(fn ($bar) => $bar[1], $bars ?: [[0, 0]]));
    $svg = sprintf('<svg class="chart" role="img" aria-label="%s" width="%d" height="%d" '
                   . 'viewBox="0 0 %d %d" xmlns="http://www.w3.org/2000/svg">',
                   Text($title), $width, $height, $width, $height);
    if (!$bars) {
        $svg .= '<text x="0" y="20" class="none">No reports</text>';
    }
    foreach (array_values($bars) as $index => $bar) {
        [$label, $count] = $bar;
        $own = ($bar[2] ?? false) || $label === '';
        $y = 4 + $index * $row;
        $barWidth = max(1, (int)round(($width - $labelWidth - 70) * $count / $max));
        $text = $label;
        $shown = $text === '' ? '(empty)' : Shortened($text, 34);
        $svg .= sprintf('<g class="bar%s" data-label="%s" data-count="%d">'
                        . '<title>%s: %d</title>'
                        . '<text x="%d" y="%d" text-anchor="end"%s>%s</text>'
                        . '<rect x="%d" y="%d" width="%d" height="%d"/>'
                        . '<text x="%d" y="%d" class="count">%d</text></g>',
                        $own ? ' own' : '', Text($text), $count, Text($text), $count,
                        $labelWidth - 8, $y + 15, $own ? ' font-style="italic"' : '',
                        Text($shown),
                        $labelWidth, $y, $barWidth, $row - 6,
                        $labelWidth + $barWidth + 6, $y + 15, $count);
    }
    return $svg . '</svg>';
}

// One column for each of $columns (the first day of each, 'Y-m-d'; a day, or a week, month
// or year for a long period), those without reports at zero; $counts is [column => n].
function DayChart(string $title, array $counts, array $columns): string
{
    $days = [];
    foreach ($columns as $column) {
        $days[$column] = $counts[$column] ?? 0;
    }
    [$first, $last] = [$columns[0], end($columns)];
    $width = 720;
    $height = 180;
    $plot = $height - 40;
    $max = max(1, ...array_values($days ?: [0]));
    $step = ($width - 50) / max(1, count($days));
    $svg = sprintf('<svg class="chart" role="img" aria-label="%s" width="%d" height="%d" '
                   . 'viewBox="0 0 %d %d" xmlns="http://www.w3.org/2000/svg">',
                   Text($title), $width, $height, $width, $height);
    $svg .= sprintf('<text x="44" y="12" text-anchor="end" class="axis">%d</text>'
                    . '<text x="44" y="%d" text-anchor="end" class="axis">0</text>'
                    . '<line x1="48" y1="%d" x2="%d" y2="%d" class="axis"/>',
                    $max, $plot + 8, $plot + 8, $width, $plot + 8);
    $index = 0;
    foreach ($days as $day => $count) {
        $barHeight = $count ? max(1, (int)round($plot * $count / $max)) : 0;
        $svg .= sprintf('<g class="day" data-day="%s" data-count="%d"><title>%s: %d</title>'
                        . '<rect x="%.1f" y="%d" width="%.1f" height="%d"/></g>',
                        $day, $count, $day, $count, 50 + $index * $step, $plot + 8 - $barHeight,
                        max(1.0, $step - 1), $barHeight);
        ++$index;
    }
    $svg .= sprintf('<text x="50" y="%d" class="axis">%s</text>'
                    . '<text x="%d" y="%d" text-anchor="end" class="axis">%s</text>',
                    $height - 8, $first, $width, $height - 8, $last);
    return $svg . '</svg>';
}

// UTF-8 text as the bytes the applet would have sent (Windows-1252); a character that
// Windows-1252 lacks becomes "?", as Windows itself writes it.
function Utf8ToAnsi(string $utf8): string
{
    static $map = null;
    if ($map === null) {
        $map = [];
        for ($byte = 0x80; $byte <= 0xFF; ++$byte) {
            $text = AnsiToUtf8(chr($byte));
            if ($text !== "\u{FFFD}") {
                $map[$text] = chr($byte);
            }
        }
    }
    return preg_replace_callback('/[^\x00-\x7F]/u', fn ($char) => $map[$char[0]] ?? '?', $utf8);
}

// UTF-8 text as HTML with each occurrence of $search (in either case, FoldedUtf8) marked.
// The pieces are escaped one by one and the marks put between them, so nothing of the
// answer or the search can become markup. Folding keeps every byte in its place, so a
// match in the folded text is the same bytes of the text.
function MarkedHtml(string $text, string $search): string
{
    if ($search === '') {
        return Text($text);
    }
    $folded = FoldedUtf8($text);
    $needle = FoldedUtf8($search);
    $html = '';
    $at = 0;
    while (($found = strpos($folded, $needle, $at)) !== false) {
        $html .= Text(substr($text, $at, $found - $at)) . '<mark>'
            . Text(substr($text, $found, strlen($needle))) . '</mark>';
        $at = $found + strlen($needle);
    }
    return $html . Text(substr($text, $at));
}

// One column for each of $columns (the Monday of a week, 'Y-m-d', or the first day of a
// month or year for a long period), split into each label's share of its reports; $weeks is
// [column => [place of the label => count]], $labels (UTF-8) the order of the parts,
// the last drawn grey. A legend below names the colours.
function WeekShareChart(string $title, array $weeks, array $labels, array $columns): string
{
    $colours = ['#3d6fb6', '#e07b39', '#4b8f5a', '#c44e52', '#8172b2', '#937860', '#d17fb5'];
    $width = 720;
    $plot = 150;
    $legendRows = (int)ceil(count($labels) / 3);
    $height = $plot + 36 + $legendRows * 20;
    $step = ($width - 50) / max(1, count($columns));
    $svg = sprintf('<svg class="chart" role="img" aria-label="%s" width="%d" height="%d" '
                   . 'viewBox="0 0 %d %d" xmlns="http://www.w3.org/2000/svg">',
                   Text($title), $width, $height, $width, $height);
    $svg .= sprintf('<text x="44" y="12" text-anchor="end" class="axis">100%%</text>'
                    . '<text x="44" y="%d" text-anchor="end" class="axis">0%%</text>',
                    $plot + 8);
    foreach ($columns as $index => $week) {
        $counts = $weeks[$week] ?? [];
        $total = array_sum($counts);
        $svg .= sprintf('<g class="week" data-week="%s" data-total="%d"><title>Week of %s: %d '
                        . 'reports</title>', $week, $total, $week, $total);
        $y = 8.0;
        foreach ($labels as $part => $label) {
            $count = $counts[$part] ?? 0;
            if ($count <= 0) {
                continue;
            }
            $share = $plot * $count / $total;
            $text = $label;
            $svg .= sprintf('<rect class="share" data-label="%s" data-count="%d" x="%.1f" '
                            . 'y="%.1f" width="%.1f" height="%.1f" style="fill:%s">'
                            . '<title>%s: %d of %d</title></rect>',
                            Text($text), $count, 50 + $index * $step, $y, max(1.0, $step - 1),
                            $share, $part === count($labels) - 1 ? '#a0a0a0' : $colours[$part % 7],
                            Text($text), $count, $total);
            $y += $share;
        }
        $svg .= '</g>';
    }
    if ($columns) {
        $svg .= sprintf('<text x="50" y="%d" class="axis">%s</text>'
                        . '<text x="%d" y="%d" text-anchor="end" class="axis">%s</text>',
                        $plot + 24, $columns[0], $width, $plot + 24, end($columns));
    }
    foreach ($labels as $part => $label) {
        $x = 50 + ($part % 3) * 225;
        $y = $plot + 40 + intdiv($part, 3) * 20;
        $text = $label;
        $svg .= sprintf('<g class="legend"><rect x="%d" y="%d" width="12" height="12" '
                        . 'style="fill:%s"/><text x="%d" y="%d">%s</text></g>', $x, $y,
                        $part === count($labels) - 1 ? '#a0a0a0' : $colours[$part % 7],
                        $x + 18, $y + 11, Text($text === '' ? '(empty)' : Shortened($text, 28)));
    }
    return $svg . '</svg>';
}
