<?php
// Case folding of UTF-8 text for the free-text search, the same in PHP (SQLite, the marks
// on the page) and in PostgreSQL (translate() with the same two strings): each capital
// letter of the Latin, Greek, Cyrillic and Armenian alphabets and of the full-width Latin
// letters made small, one character for one of the same length in bytes.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

// UTF-8 text with every capital letter of FoldingPairsUtf8 made small. The bytes keep their
// places, so a match found in the folded text marks the same bytes of the text.
function FoldedUtf8($text): string
{
    static $map = null;
    if ($map === null) {
        [$upper, $lower] = FoldingPairsUtf8();
        $map = array_combine(preg_split('//u', $upper, -1, PREG_SPLIT_NO_EMPTY),
                             preg_split('//u', $lower, -1, PREG_SPLIT_NO_EMPTY));
        // ASCII by strtolower (which knows nothing else), so that strtr skips every ASCII
        // byte at once: many times faster for text that is mostly ASCII.
        $map = array_filter($map, fn ($upper) => strlen($upper) > 1, ARRAY_FILTER_USE_KEY);
    }
    return strtr(strtolower((string)$text), $map);
}

// Windows-1252 bytes with every capital letter made small, byte for byte: the same letters
// as FoldedUtf8 folds of that code page, but without reading the text as UTF-8 first.
function FoldedAnsi($bytes): string
{
    static $pairs = null;
    if ($pairs === null) {
        $pairs = [implode('', range('A', 'Z')) . "\x8A\x8C\x8E\x9F",
                  implode('', range('a', 'z')) . "\x9A\x9C\x9E\xFF"];
        for ($byte = 0xC0; $byte <= 0xDE; ++$byte) {
            if ($byte !== 0xD7) {  // the multiplication sign
                $pairs[0] .= chr($byte);
                $pairs[1] .= chr($byte + 0x20);
            }
        }
    }
    return strtr((string)$bytes, $pairs[0], $pairs[1]);
}

// The capital letters and their small letters, in the same order, as two UTF-8 strings.
// The rules of each alphabet: a block shifted by a distance, or pairs where the capital
// comes first (on an even or odd code point, as the block has them).
function FoldingPairsUtf8(): array
{
    static $pairs = null;
    if ($pairs !== null) {
        return $pairs;
    }
    $shifted = [[0x41, 0x5A, 0x20], [0xC0, 0xD6, 0x20], [0xD8, 0xDE, 0x20],
                [0x386, 0x386, 0x26], [0x388, 0x38A, 0x25], [0x38C, 0x38C, 0x40],
                [0x38E, 0x38F, 0x3F], [0x391, 0x3A1, 0x20], [0x3A3, 0x3AB, 0x20],
                [0x400, 0x40F, 0x50], [0x410, 0x42F, 0x20], [0x4C0, 0x4C0, 0x0F],
                [0x531, 0x556, 0x30], [0xFF21, 0xFF3A, 0x20], [0x178, 0x178, -0x79],
                [0x37F, 0x37F, 0x74], [0x3CF, 0x3CF, 0x08], [0x3F4, 0x3F4, -0x3C],
                [0x3F9, 0x3F9, -0x07], [0x3FD, 0x3FF, -0x82]];
    $paired = [[0x100, 0x12F], [0x132, 0x137], [0x139, 0x148], [0x14A, 0x177],
               [0x179, 0x17E], [0x370, 0x373], [0x376, 0x377], [0x3D8, 0x3EF],
               [0x3F7, 0x3F8], [0x3FA, 0x3FB], [0x460, 0x481], [0x48A, 0x4BF], [0x4C1, 0x4CE],
               [0x4D0, 0x52F], [0x1E00, 0x1E95], [0x1EA0, 0x1EFF]];
    $upper = $lower = [];
    foreach ($shifted as [$first, $last, $distance]) {
        for ($code = $first; $code <= $last; ++$code) {
            $upper[] = $code;
            $lower[] = $code + $distance;
        }
    }
    foreach ($paired as [$first, $last]) {
        for ($code = $first; $code < $last; $code += 2) {
            $upper[] = $code;
            $lower[] = $code + 1;
        }
    }
    $utf8 = fn (array $codes) => iconv('UTF-32BE', 'UTF-8', pack('N*', ...$codes));
    return $pairs = [$utf8($upper), $utf8($lower)];
}

// The pairs of FoldingPairsUtf8 whose small letter is in $folded (folded text), as the same
// two strings.
function FoldingPairsFor(string $folded): array
{
    [$upper, $lower] = FoldingPairsUtf8();
    $upper = preg_split('//u', $upper, -1, PREG_SPLIT_NO_EMPTY);
    $pairs = ['', ''];
    foreach (preg_split('//u', $lower, -1, PREG_SPLIT_NO_EMPTY) as $at => $small) {
        if (strpos($folded, $small) !== false) {
            $pairs[0] .= $upper[$at];
            $pairs[1] .= $small;
        }
    }
    return $pairs;
}
