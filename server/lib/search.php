<?php
// The free-text search: the SQL conditions that pick the answers containing a search, each
// answer read in its charset and folded the same way on both databases (folding.php).

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/upgrades.php';  // FreeTextTerm
require_once __DIR__ . '/folding.php';
require_once __DIR__ . '/charsets.php';

// The SQL condition that picks free-text answers with some text: "Other:" and a text (the
// applet sends "Other: " for an empty field), or reason number 7 and a text after the
// colon, in any language; its first term is that of the partial indexes. The length is in
// bytes: SQLite's length() of text stops at a NUL.
function FreeTextSql(ReportStore $store): string
{
    return FreeTextTerm($store->pgsql) . ($store->pgsql
        ? " AND length(reason) > CASE WHEN n = 7 THEN position(':'::bytea IN reason) + 1
                                      ELSE 7 END"
        : " AND length(CAST(reason AS BLOB)) > CASE WHEN n = 7
              THEN instr(CAST(reason AS BLOB), ':') + 1 ELSE 7 END");
}

// The bytes of a free-text answer after its "Other:" (or for reason number 7 after the
// first colon), in SQL.
function FreeTextBytes(ReportStore $store): string
{
    return $store->pgsql
        ? "CASE WHEN n = 7 THEN substring(reason from position(':'::bytea IN reason) + 1)
                ELSE substring(reason from 7) END"
        : "CASE WHEN n = 7 THEN substr(CAST(reason AS BLOB), instr(CAST(reason AS BLOB), ':') + 1)
                ELSE substr(CAST(reason AS BLOB), 7) END";
}

// The SQL condition that picks free-text answers (FreeTextSql) whose text after "Other:"
// contains $search (UTF-8), in either case (FoldedUtf8), with the bytes to bind for it. Each
// answer is read in its own charset (StoredUtf8), so both databases find the same answers
// whatever script and code page; the search text is matched as it is, its % and _ included.
function FreeTextMatch(ReportStore $store, string $search): array
{
    $folded = FoldedUtf8($search);
    // A search of ASCII only needs only ASCII letters folded, which both databases' own
    // LIKE and lower() do whatever their locale, and many times faster than reading every
    // answer in its charset: bytes past ASCII never match it in UTF-8 or a code page.
    if (!preg_match('/[\x80-\xFF]/', $folded)) {
        if (!$store->pgsql) {
            // As bytes: SQLite's LIKE stops at a NUL, and PostgreSQL's search reads past one.
            return ["instr(CAST(lower(" . FreeTextBytes($store) . ") AS BLOB), CAST(? AS BLOB))
                     > 0", [$folded]];
        }
        return ['lower(' . PostgresText($store, 'LATIN1')
                . ") LIKE convert_from(?, 'LATIN1') ESCAPE '!'",
                [LikePattern($folded)]];
    }
    if (!$store->pgsql) {
        // SQLite knows no charsets and folds ASCII letters only, so that runs here, in PHP;
        // answers in Windows-1252, the most, folded as bytes (the search in that code page).
        $ansi = @iconv('UTF-8', 'windows-1252', $folded);
        $store->db->sqliteCreateFunction('exitpoll_contains', function ($bytes, $cs, $prj)
                                         use ($folded, $ansi): int {
            if ($cs === null && LegacyCharset((string)$prj) === 'windows-1252') {
                return (int)($ansi !== false && strpos(FoldedAnsi($bytes), $ansi) !== false);
            }
            return (int)(strpos(FoldedUtf8(StoredUtf8((string)$bytes, $cs, (string)$prj)),
                                $folded) !== false);
        }, 3);
        return ['exitpoll_contains(' . FreeTextBytes($store) . ', cs, prj) = 1', []];
    }
    // translate() compares each character with every one it is given, so it is given only
    // the capitals whose small letter is in the search: no other can be part of a match,
    // folded or not.
    $fold = fn (string $text) => "translate($text, convert_from(?, 'UTF8'),
                                             convert_from(?, 'UTF8'))
                                  LIKE convert_from(?, 'UTF8') ESCAPE '!'";
    $pattern = LikePattern($folded);
    $parts = ['(cs IS NOT NULL AND ' . $fold(PostgresText($store, 'UTF8')) . ')'];
    $bytes = [...FoldingPairsFor($folded), $pattern];
    // The answers sent without cs, by the code page of their product: the default one for
    // every product but those named with another.
    [$default, $products] = LegacyCharsets();
    $others = array_filter($products, fn ($charset) => $charset !== $default);
    $charsets = [$default => null];
    foreach ($others as $prj => $charset) {
        $charsets[$charset][] = (string)$prj;
    }
    $marks = fn (array $values) => implode(', ', array_fill(0, count($values), '?'));
    foreach ($charsets as $charset => $names) {
        $names ??= array_map('strval', array_keys($others));
        $which = $charsets[$charset] !== null ? 'prj IN (' . $marks($names) . ')'
            : ($names ? 'prj NOT IN (' . $marks($names) . ')' : '1 = 1');
        $map = SingleByteMap($charset, $folded);
        if ($map !== null) {
            $parts[] = "(cs IS NULL AND $which AND " . $fold(PostgresText($store, 'LATIN1')) . ')';
            $bytes = array_merge($bytes, $names, $map, [$pattern]);
            continue;
        }
        // A code page of two-byte characters, whose scripts have no case: its bytes, the
        // ASCII letters folded; a search it cannot write is in none of its answers.
        $needle = @iconv('UTF-8', $charset, $search);
        if ($needle !== false) {
            $parts[] = "(cs IS NULL AND $which AND position(convert_from(?, 'UTF8')
                         IN lower(encode(" . FreeTextBytes($store) . ", 'escape'))) > 0)";
            $bytes = array_merge($bytes, $names, [strtolower(EscapeEncoded($needle))]);
        }
    }
    return ['(' . implode(' OR ', $parts) . ')', $bytes];
}

// The text of an answer after "Other:" in PostgreSQL, read in $encoding ('UTF8', or
// 'LATIN1' for each byte as the character of its number). A text value cannot hold NUL, so
// an answer with one is searched in its escaped form (bytes past ASCII as octal escapes),
// which still matches its ASCII.
function PostgresText(ReportStore $store, string $encoding): string
{
    $text = FreeTextBytes($store);
    return "CASE WHEN position('\\x00'::bytea IN reason) = 0
                 THEN convert_from($text, '$encoding') ELSE encode($text, 'escape') END";
}

// A LIKE pattern that finds $text anywhere, its %, _ and ! as plain characters. The escape
// is not a backslash: PDO's parser would take a quoted backslash to escape the quote and
// miss the placeholders after it.
function LikePattern(string $text): string
{
    return '%' . strtr($text, ['!' => '!!', '%' => '!%', '_' => '!_']) . '%';
}

// Bytes as PostgreSQL's encode(..., 'escape') writes them.
function EscapeEncoded(string $bytes): string
{
    return preg_replace_callback('/[\x00\x80-\xFF]|\\\\/', fn ($byte) => $byte[0] === '\\'
        ? '\\\\' : sprintf('\\%03o', ord($byte[0])), $bytes);
}

// For a code page of one byte per character, what translate() makes of its bytes, each read
// as the character of the same number (LATIN1), to find the folded search $folded in them:
// [those characters, what each byte is in that code page, folded], both UTF-8, of the bytes
// that matter (their character, or what they are, is in the search); null for a code page
// with two-byte characters.
function SingleByteMap(string $charset, string $folded): ?array
{
    $from = $to = '';
    for ($byte = 0x41; $byte <= 0xFF; ++$byte) {
        $alone = $byte < 0x80 ? chr($byte) : @iconv($charset, 'UTF-8', chr($byte));
        foreach (["\x40", "\x81", "\xA1"] as $next) {
            if ($alone === false && @iconv($charset, 'UTF-8', chr($byte) . $next) !== false) {
                return null;  // a lead byte
            }
        }
        $read = $charset === 'windows-1252' ? AnsiToUtf8(chr($byte))
            : ($alone === false || $alone === '' ? "\u{FFFD}" : $alone);
        $read = FoldedUtf8($read);
        $latin1 = $byte < 0x80 ? chr($byte) : Utf8($byte);
        if ($read !== $latin1 && (strpos($folded, $read) !== false
                                  || strpos($folded, $latin1) !== false)) {
            $from .= $latin1;
            $to .= $read;
        }
    }
    return [$from, $to];
}
