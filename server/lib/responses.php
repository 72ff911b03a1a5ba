<?php
// The short page with which the results page refuses a request (the headers every answer
// carries are PageHeaders, in view.php).

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/view.php';

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
