// Splits an "http://" URL into what the connection and the request need.
#pragma once

#include "rt/byte_string.h"

// The port of an http:// URL that names none.
constexpr int kDefaultHttpPort = 80;

struct UrlParts {
  ByteString Host;
  int Port;
  ByteString Path;
  ByteString UserName;
  ByteString Password;
};

// Always writes Host and Path ("/" when the URL has none). Port, UserName and Password are
// written only when the URL gives them, so the caller presets them (Port 80). Nothing is
// decoded; user information and port are looked for only before the path.
void ParseUrl(const ByteString& url, UrlParts& parts);
