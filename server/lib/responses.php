<?php
// The results page's answers: the headers every answer carries and the short page that
// refuses a request.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/view.php';

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

function Refuse(int $status, string $title, string $explanation): void
{
    PageHeaders($status, 'text/html; charset=utf-8');
    if ($status === 401) {
        header('WWW-Authenticate: Basic realm="exitpoll results", charset="UTF-8"');
    }
    echo "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>",
        Text($title), "</title></head><body><h1>", Text($title), "</h1>", $explanation,
        "</body></html>\n";
}
