// The report sent to its own address from the settings file (`Url`, a full http:// or
// https:// address that replaces the built-in host and path; its rule is IsReportAddress),
// and the redirect and reply rules of the system's HTTP stack. Pure code.
#pragma once

#include "app/settings.h"

// The report URL `reportUrl` (as ReportUrl composes it) moved to `address`: the report's
// query appended with "?", or with "&" when the address has a query of its own.
ByteString AddressedReportUrl(const ByteString& address, const ByteString& reportUrl);

// True for an https:// address: without the system's HTTP stack it cannot be sent at all.
bool IsSecureAddress(const ByteString& address);

// Whether a redirect from the address `from` to the Location `to` is followed: to https://
// from anywhere, to http:// only from http://. Never from HTTPS down to plain HTTP, where
// the report would travel in clear, and never to a relative or other kind of address.
bool MayFollowRedirect(const char* from, const char* to);

// True when the last line of the `length` bytes at `text` is exactly "OK"; a final line end
// (LF or CR LF) ends that line and starts no new one.
bool LastLineIsOk(const char* text, int length);
