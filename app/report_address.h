// Where the report goes: the built-in host and path, or its own address from the settings
// file (`Url`, a full http:// or https:// address that replaces them; its rule is
// IsReportAddress), with the report's query; and the redirect and reply rules of the
// system's HTTP stack. Pure code.
#pragma once

#include "app/settings.h"
#include "http/url_parser.h"

// `address` (a whole address or a path) with the report's `query` appended: with "?", or
// with "&" when the address has a query of its own.
ByteString WithQuery(const ByteString& address, const ByteString& query);

// The server, port and request target that the own client sends the report's `query` to:
// kReportPath on `host` ("name" or "name:port", by IsHostName) when `address` is empty,
// else the server and path of `address` (by the Url rule). The port is 80 unless named.
UrlParts ReportTarget(const ByteString& host, const ByteString& address, const ByteString& query);

// The report URL `reportUrl` (as ReportUrl composes it) moved to `address`: WithQuery of
// the address and the report's query.
ByteString AddressedReportUrl(const ByteString& address, const ByteString& reportUrl);

// True for an https:// address: without the system's HTTP stack it cannot be sent at all.
bool IsSecureAddress(const ByteString& address);

// Whether a redirect from the address `from` to the Location `to` is followed: to https://
// from anywhere, to http:// only from http://. Never from HTTPS down to plain HTTP, where
// the report would travel in clear, and never to another kind of address.
bool MayFollowRedirect(const char* from, const char* to);

// Where a redirect from the address `from` (one that keeps the Url rule) with the Location
// `location` leads, or empty when it is not followed. A Location of "/" and a path is on
// `from`'s server. The target must keep the Url rule (no user information, no spaces or
// bytes beyond ASCII), with `maxLength` bytes at most, and MayFollowRedirect.
ByteString RedirectTarget(const char* from, const char* location, int maxLength);

// True when the last line of the `length` bytes at `text` is exactly "OK"; a final line end
// (LF or CR LF) ends that line and starts no new one.
bool LastLineIsOk(const char* text, int length);
