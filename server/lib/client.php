<?php
// Who is asking for the results page: the client's address (from the forwarding header only
// when a proxy listed in EXITPOLL_TRUSTED_PROXIES sent the request), whether it came over
// HTTPS, and the address and the wider network that its wrong passwords are counted under.

if (realpath($_SERVER['SCRIPT_FILENAME'] ?? '') === __FILE__) {
    http_response_code(404);  // a library, not a page
    exit;
}

require_once __DIR__ . '/settings.php';

// An address as 4 bytes (IPv4, also when written as an IPv4-mapped IPv6 address) or 16,
// null when it is none.
function PackedAddress(string $address): ?string
{
    $packed = @inet_pton(trim($address));
    if (!is_string($packed)) {
        return null;
    }
    return substr($packed, 0, 12) === "\0\0\0\0\0\0\0\0\0\0\xff\xff" ? substr($packed, 12) : $packed;
}

// EXITPOLL_TRUSTED_PROXIES: addresses and networks (192.0.2.1, 10.0.0.0/8, fd00::/8),
// separated by commas or spaces, as [packed network, prefix length]. A malformed entry is
// left out (and logged) rather than trusting more than was meant.
function TrustedProxies(): array
{
    $proxies = [];
    $setting = Setting('EXITPOLL_TRUSTED_PROXIES');
    foreach (preg_split('/[\s,]+/', $setting, -1, PREG_SPLIT_NO_EMPTY) as $entry) {
        $parts = explode('/', $entry, 2);
        $packed = PackedAddress($parts[0]);
        $longest = $packed === null ? 0 : strlen($packed) * 8;
        // An IPv4-mapped network (::ffff:10.0.0.0/104) keeps its meaning for the 4 bytes
        // that its addresses are read as.
        $mapped = $longest === 32 && strpos($parts[0], ':') !== false;
        $bits = !isset($parts[1]) ? $longest
            : (ctype_digit($parts[1]) ? (int)$parts[1] - ($mapped ? 96 : 0) : -1);
        if ($packed === null || $bits < 0 || $bits > $longest) {
            error_log('exitpoll results: EXITPOLL_TRUSTED_PROXIES: not an address or network: '
                      . $entry);
            continue;
        }
        $proxies[] = [$packed, $bits];
    }
    return $proxies;
}

function InNetworks(string $address, array $networks): bool
{
    $packed = PackedAddress($address);
    foreach ($packed === null ? [] : $networks as [$network, $bits]) {
        $whole = intdiv($bits, 8);
        $mask = (0xff << (8 - $bits % 8)) & 0xff;
        if (strlen($packed) === strlen($network)
            && substr($packed, 0, $whole) === substr($network, 0, $whole)
            && ($bits % 8 === 0 || (ord($packed[$whole]) & $mask) === (ord($network[$whole]) & $mask))) {
            return true;
        }
    }
    return false;
}

// The client's address: the peer's, unless the peer is a trusted proxy; then the right-most
// address of X-Forwarded-For that is not itself a trusted proxy, since each proxy appends the
// address it was reached from and whatever stands left of that may be the client's own
// invention. An entry that is no address ends the walk at the last good one.
function ClientAddress(): string
{
    $peer = (string)($_SERVER['REMOTE_ADDR'] ?? '');
    $proxies = TrustedProxies();
    if (!InNetworks($peer, $proxies)) {
        return $peer;
    }
    $client = $peer;
    $hops = explode(',', (string)($_SERVER['HTTP_X_FORWARDED_FOR'] ?? ''));
    foreach (array_reverse($hops) as $hop) {
        if (PackedAddress($hop) === null) {
            break;
        }
        $client = trim($hop);
        if (!InNetworks($client, $proxies)) {
            break;
        }
    }
    return $client;
}

// True when the browser reached us over HTTPS: this server's own TLS, or a trusted proxy's
// word (X-Forwarded-Proto, the value it appended last).
function IsHttps(): bool
{
    $https = strtolower((string)($_SERVER['HTTPS'] ?? ''));
    if ($https !== '' && $https !== 'off') {
        return true;
    }
    if (!InNetworks((string)($_SERVER['REMOTE_ADDR'] ?? ''), TrustedProxies())) {
        return false;
    }
    $schemes = explode(',', (string)($_SERVER['HTTP_X_FORWARDED_PROTO'] ?? ''));
    return strtolower(trim(end($schemes))) === 'https';
}

// The address whose tries are counted together: an IPv4 address, or the /64 network of an
// IPv6 one, which one user usually holds whole.
function ThrottledAddress(string $address): string
{
    $packed = PackedAddress($address);
    if ($packed === null) {
        return $address;
    }
    if (strlen($packed) === 4) {
        return inet_ntop($packed);
    }
    return inet_ntop(substr($packed, 0, 8) . str_repeat("\0", 8)) . '/64';
}

// The wider network whose tries are counted together too, so that fresh addresses from one
// provider's block cannot each start afresh: an IPv4 /24, an IPv6 /48. Null for no address.
function AddressGroup(string $address): ?string
{
    $packed = PackedAddress($address);
    if ($packed === null) {
        return null;
    }
    if (strlen($packed) === 4) {
        return inet_ntop(substr($packed, 0, 3) . "\0") . '/24';
    }
    return inet_ntop(substr($packed, 0, 6) . str_repeat("\0", 10)) . '/48';
}
