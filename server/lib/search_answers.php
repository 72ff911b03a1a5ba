<?php
// The free-text search through its index (search_index.php). The answers the index holds in
// the reading today's settings give are found through it; the others (stored past the
// collector, or indexed while the settings read the product's old reports in another
// charset; none, as a rule) are read and folded here by the same rules, so that every answer
// is found alike and the results never depend on the index.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/search_index.php';

const kFewMatches = 5000;  // candidates from the index fetched by id; past that, by time
const kReadingProbes = 200;  // indexed charsets per product looked up, at most

// The latest free-text answers among those ChoiceFilter's $filter picks that contain $search
// (UTF-8, in either case): rows of time, prj, reason, cs and n, the latest first.
function SearchedAnswers(ReportStore $store, string $search, array $filter, int $limit): array
{
    [$where, $texts, $bytes] = $filter;
    $folded = SearchFolded($search);
    $chosen = [...array_map(fn ($text) => [$text, false], $texts),
               ...array_map(fn ($value) => [$value, true], $bytes)];
    $contains = ($store->pgsql ? 'strpos(search, ?)' : 'instr(search, ?)') . ' > 0';
    $ids = CandidateIds($store, $folded);
    // A rare text: its few candidates by id. A frequent one (or one the index cannot narrow
    // down): the latest indexed answers, until enough contain it.
    $which = $ids === null ? 'search IS NOT NULL' : 'id IN (' . implode(', ', $ids ?: [0]) . ')';
    $found = SearchRows($store, "SELECT time, prj, reason, cs, n, id FROM reports
                                 WHERE $which AND $where AND search_cs = " . ReadingSql($store)
                        . " AND $contains ORDER BY time DESC, id DESC LIMIT $limit",
                        [...$chosen, [$folded, false]]);
    $others = $store->db->prepare("SELECT time, prj, reason, cs, n, id FROM reports
                                   WHERE $where AND (" . UnindexedSql($store) . ')
                                   ORDER BY time DESC, id DESC');
    $store->Bind($others, $texts, $bytes);
    $others->execute();
    for ($more = 0; $more < $limit && ($row = $others->fetch(PDO::FETCH_NUM)) !== false;) {
        $row = array_map('Bytes', $row);
        $columns = SearchColumns(['reason' => $row[2], 'cs' => $row[3], 'prj' => $row[1],
                                  'n' => $row[4]]);
        if ($columns && strpos($columns['search'], $folded) !== false) {
            $found[] = $row;
            ++$more;
        }
    }
    usort($found, fn ($a, $b) => [$b[0], (int)$b[5]] <=> [$a[0], (int)$a[5]]);
    return array_map(fn ($row) => array_slice($row, 0, 5), array_slice($found, 0, $limit));
}

// The ids of the indexed answers that may contain $folded, or null when there are more than
// kFewMatches or the index cannot narrow the search down (no index, or on SQLite fewer than
// three characters: then the index's own copy of the texts is read, which is small).
function CandidateIds(ReportStore $store, string $folded): ?array
{
    $limit = ' LIMIT ' . (kFewMatches + 1);
    if ($store->pgsql) {
        if (!$store->db->query("SELECT to_regclass('reports_search_trgm') IS NOT NULL")
                ->fetchColumn() || preg_match_all('/./su', $folded) < 3) {
            return null;
        }
        // Not a backslash as the escape: PDO's parser takes it as escaping the closing quote.
        $rows = SearchRows($store, "SELECT id FROM reports WHERE search LIKE ? ESCAPE '!'$limit",
                           [['%' . strtr($folded, ['!' => '!!', '%' => '!%', '_' => '!_']) . '%',
                             false]]);
    } elseif (!$store->db->query("SELECT 1 FROM sqlite_master WHERE name = 'reports_search'")
                  ->fetchColumn()) {
        return null;
    } elseif (preg_match_all('/./su', $folded) >= 3) {
        $rows = SearchRows($store, "SELECT rowid FROM reports_search WHERE reports_search
                                    MATCH ?$limit", [['"' . str_replace('"', '""', $folded)
                                                      . '"', false]]);
    } else {
        $rows = SearchRows($store, "SELECT rowid FROM reports_search
                                    WHERE instr(search, ?) > 0$limit", [[$folded, false]]);
    }
    return count($rows) > kFewMatches ? null : array_map(fn ($row) => (int)$row[0], $rows);
}

// The SQL condition of the free-text answers the index does not answer for: not indexed, or
// old reports indexed in a charset the settings no longer give their product. The charsets
// are looked up product by product in their index; past kReadingProbes every indexed
// answer's charset is compared instead.
function UnindexedSql(ReportStore $store): string
{
    $conditions = [UnsearchedSql($store->pgsql) . ' AND ' . FreeTextSql($store)];
    $probes = 0;
    $tag = '';
    $old = 'search IS NOT NULL AND cs IS NULL';
    while ($found = $store->Rows("SELECT search_cs FROM reports WHERE $old AND search_cs > ?
                                  ORDER BY search_cs LIMIT 1", [$tag])) {
        $tag = $found[0][0];
        $prj = null;
        while ($found = $store->Rows("SELECT prj FROM reports WHERE $old AND search_cs = ?"
                                     . ($prj === null ? '' : ' AND prj > ?')
                                     . ' ORDER BY prj LIMIT 1', [$tag],
                                     $prj === null ? [] : [$prj])) {
            if (++$probes > kReadingProbes) {
                return "$old AND search_cs " . ($store->pgsql ? 'IS DISTINCT FROM' : 'IS NOT')
                    . ' ' . ReadingSql($store) . ' OR ' . $conditions[0];
            }
            $prj = $found[0][0];
            if (LegacyCharset($prj) !== $tag) {
                $conditions[] = "$old AND search_cs = " . $store->db->quote($tag)
                    . ' AND prj = ' . BytesSql($store, $prj);
            }
        }
    }
    return '(' . implode(') OR (', $conditions) . ')';
}

// Every row of a query, BYTEA values read into strings; $values are [value, is stored
// bytes] in the order of the placeholders.
function SearchRows(ReportStore $store, string $sql, array $values): array
{
    $statement = $store->db->prepare($sql);
    foreach ($values as $index => [$value, $isBytes]) {
        $statement->bindValue($index + 1, $value,
                              $isBytes && $store->pgsql ? PDO::PARAM_LOB : PDO::PARAM_STR);
    }
    $statement->execute();
    return array_map(fn ($row) => array_map('Bytes', $row), $statement->fetchAll(PDO::FETCH_NUM));
}

// SQL for the charset a report's texts are read in today (SearchReading).
function ReadingSql(ReportStore $store): string
{
    [$default, $products] = LegacyCharsets();
    $sql = "CASE WHEN cs = 'utf-8' THEN 'utf-8'";
    foreach ($products as $prj => $charset) {
        $sql .= ' WHEN prj = ' . BytesSql($store, (string)$prj) . ' THEN '
            . $store->db->quote($charset);
    }
    return $sql . ' ELSE ' . $store->db->quote($default) . ' END';
}

// Stored bytes as an SQL literal.
function BytesSql(ReportStore $store, string $bytes): string
{
    $hex = bin2hex($bytes);
    return $store->pgsql ? "'\\x$hex'::bytea" : "CAST(X'$hex' AS TEXT)";
}
