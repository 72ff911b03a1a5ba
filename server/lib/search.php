<?php
// The free-text search: the SQL conditions that pick the answers containing a search, each
// answer read in its charset and folded the same way on both databases (folding.php).

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/folding.php';
require_once __DIR__ . '/charsets.php';

// The SQL condition that picks free-text answers with some text: "Other:" and a text (the
// applet sends "Other: " for an empty field), or reason number 7 and a text after the
// colon, in any language; it matches the partial indexes. The length is in bytes: SQLite's
// length() of text stops at a NUL.
function FreeTextSql(ReportStore $store): string
{
    return $store->pgsql
        ? "(substring(reason from 1 for 6) = 'Other:'::bytea AND length(reason) > 7
            OR n = 7 AND length(reason) > position(':'::bytea IN reason) + 1)"
        : "(substr(reason, 1, 6) = 'Other:' AND length(CAST(reason AS BLOB)) > 7
            OR n = 7 AND length(CAST(reason AS BLOB)) > instr(CAST(reason AS BLOB), ':') + 1)";
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
        // SQLite knows no charsets and folds ASCII letters only, so that runs here, in PHP.
        $store->db->sqliteCreateFunction(
            'exitpoll_folded', fn ($bytes, $cs, $prj) => FoldedUtf8(StoredUtf8(
                (string)$bytes, $cs, (string)$prj)), 3, PDO::SQLITE_DETERMINISTIC);
        return ['instr(CAST(exitpoll_folded(' . FreeTextBytes($store) . ', cs, prj) AS BLOB),
                       CAST(? AS BLOB)) > 0', [$folded]];
    }
    [$upper, $lower] = FoldingPairsUtf8();
    $fold = fn (string $text) => "translate($text, convert_from(?, 'UTF8'),
                                             convert_from(?, 'UTF8'))
                                  LIKE convert_from(?, 'UTF8') ESCAPE '!'";
    $foldBytes = [$upper, $lower, LikePattern($folded)];
    $parts = ['(cs IS NOT NULL AND ' . $fold(PostgresText($store, 'UTF8')) . ')'];
    $bytes = $foldBytes;
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
        $map = SingleByteMap($charset);
        if ($map !== null) {
            $parts[] = "(cs IS NULL AND $which AND " . $fold('translate('
                . PostgresText($store, 'LATIN1') . ", convert_from(?, 'UTF8'),
                                                     convert_from(?, 'UTF8'))") . ')';
            $bytes = array_merge($bytes, $names, $map, $foldBytes);
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

// For a code page of one byte per character: [the characters U+0080 to U+00FF, what each
// byte 0x80 to 0xFF is in that code page], both UTF-8, for translate(); null for a code
// page with two-byte characters.
function SingleByteMap(string $charset): ?array
{
    $from = $to = '';
    for ($byte = 0x80; $byte <= 0xFF; ++$byte) {
        $alone = @iconv($charset, 'UTF-8', chr($byte));
        foreach (["\x40", "\x81", "\xA1"] as $next) {
            if ($alone === false && @iconv($charset, 'UTF-8', chr($byte) . $next) !== false) {
                return null;  // a lead byte
            }
        }
        $from .= Utf8($byte);
        $to .= $charset === 'windows-1252' ? AnsiToUtf8(chr($byte))
            : ($alone === false || $alone === '' ? "\u{FFFD}" : $alone);
    }
    return [$from, $to];
}
