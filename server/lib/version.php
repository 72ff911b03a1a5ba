<?php
// The release's version, for the pages to show: lib/VERSION in a release's server/ folder
// (scripts/release puts it there), else the VERSION of the checkout this folder is part of.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

function ExitpollVersion(): string
{
    foreach ([__DIR__ . '/VERSION', __DIR__ . '/../../VERSION'] as $file) {
        $line = is_readable($file) ? trim(strtok((string)file_get_contents($file), "\n")) : '';
        if (preg_match('/^[0-9]+\.[0-9]+\.[0-9]+$/', $line)) {
            return $line;
        }
    }
    return '';
}
