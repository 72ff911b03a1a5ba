<?php
// What a failed statement of the store means, told apart by each database's own codes.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

function IsTimeout(PDOException $failure, bool $pgsql): bool
{
    $code = (string)$failure->getCode();
    if ($pgsql) {
        return $code === '57014' || $code === '55P03';  // statement or lock timeout
    }
    $driverCode = $failure->errorInfo[1] ?? 0;
    return $driverCode === 5 || $driverCode === 6;  // SQLITE_BUSY, SQLITE_LOCKED
}

function IsMissingColumn(PDOException $failure, bool $pgsql): bool
{
    if ($pgsql) {
        return (string)$failure->getCode() === '42703';
    }
    return strpos($failure->getMessage(), 'has no column named') !== false;
}

function IsMissingTable(PDOException $failure, bool $pgsql): bool
{
    if ($pgsql) {
        return (string)$failure->getCode() === '42P01';
    }
    return strpos($failure->getMessage(), 'no such table') !== false;
}
