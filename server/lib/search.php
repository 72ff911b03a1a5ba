<?php
// The free-text search: Windows-1252 case folding, the same on both databases, and the SQL
// conditions that pick the answers containing a search.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

// Stored bytes (Windows-1252) with every capital letter made small, byte for byte, so that a
// search finds "Crash" in "CRASH" and "é" in "É" alike.
function FoldedAnsi($bytes): string
{
    static $map = null;
    if ($map === null) {
        [$upper, $lower] = FoldingPairs();
        $map = array_combine(str_split($upper), str_split($lower));
    }
    return strtr((string)$bytes, $map);
}

// The capital letters of Windows-1252 and their small letters, in the same order.
function FoldingPairs(): array
{
    $upper = implode('', range('A', 'Z')) . "\x8A\x8C\x8E\x9F";
    $lower = implode('', range('a', 'z')) . "\x9A\x9C\x9E\xFF";
    for ($byte = 0xC0; $byte <= 0xDE; ++$byte) {
        if ($byte !== 0xD7) {  // the multiplication sign
            $upper .= chr($byte);
            $lower .= chr($byte + 0x20);
        }
    }
    return [$upper, $lower];
}

// The SQL condition that picks free-text answers with some text (the applet sends
// "Other: " for an empty field); it matches the partial indexes. The length is in bytes:
// SQLite's length() of text stops at a NUL.
function FreeTextSql(ReportStore $store): string
{
    return $store->pgsql
        ? "substring(reason from 1 for 6) = 'Other:'::bytea AND length(reason) > 7"
        : "substr(reason, 1, 6) = 'Other:' AND length(CAST(reason AS BLOB)) > 7";
}

// The SQL condition that picks free-text answers (FreeTextSql) whose text after "Other:"
// contains $search (stored bytes), in either case, with the bytes to bind for it. Both
// sides are folded the same way, by FoldedAnsi's table, so both databases find the same
// answers; the search text is matched as it is, its % and _ included.
function FreeTextMatch(ReportStore $store, string $search): array
{
    $folded = FoldedAnsi($search);
    $pattern = '%' . strtr($folded, ['\\' => '\\\\', '%' => '\\%', '_' => '\\_']) . '%';
    // A search of ASCII only needs only ASCII letters folded, which both databases' own
    // LIKE and lower() do whatever their locale, and many times faster than folding
    // every byte: bytes past ASCII never match it either way.
    $ascii = !preg_match('/[\x80-\xFF]/', $folded);
    if (!$store->pgsql) {
        if ($ascii) {
            return ["substr(reason, 7) LIKE ? ESCAPE '\\'", [$pattern]];
        }
        // SQLite folds ASCII letters only, so the folding runs here, in PHP.
        $store->db->sqliteCreateFunction('exitpoll_folded', 'FoldedAnsi', 1,
                                         PDO::SQLITE_DETERMINISTIC);
        return ['instr(CAST(exitpoll_folded(substr(reason, 7)) AS BLOB), CAST(? AS BLOB)) > 0',
                [$folded]];
    }
    // Each byte read as the character of the same number (LATIN1); a text value cannot
    // hold NUL, so an answer with one is searched in its escaped form (bytes past ASCII
    // as octal escapes), which still matches its ASCII.
    $text = "CASE WHEN position('\\x00'::bytea IN reason) = 0
                  THEN convert_from(substring(reason from 7), 'LATIN1')
                  ELSE encode(substring(reason from 7), 'escape') END";
    if ($ascii) {
        return ["lower($text) LIKE convert_from(?, 'LATIN1') ESCAPE '\\'", [$pattern]];
    }
    [$upper, $lower] = FoldingPairs();
    return ["translate($text, convert_from(?, 'LATIN1'), convert_from(?, 'LATIN1'))
             LIKE convert_from(?, 'LATIN1') ESCAPE '\\'",
            [$upper, $lower, $pattern]];
}
