// URL splitting on the word functions: the scheme, then the authority (user information,
// host, port) up to the first "/", then the path with its query, untouched.
#include "http/url_parser.h"

#include "http/str_utils.h"
#include "http/text_convert.h"
#include "http/word_utils.h"

void ParseUrl(const ByteString& url, UrlParts& parts) {
  ByteString rest = url;
  if (UpperCase(rest.Left(7)) == "HTTP://") rest = rest.From(7);

  // An "@" or ":" in the path or query (a reason text may carry an e-mail address) must not
  // be taken for user information or a port, so both are looked for in the authority only.
  int slash = rest.Find('/');
  if (slash == 0) {
    // No authority at all: the host is the first path segment, as the word rules give it.
    ByteString host = ExtractWord(rest, '/', 1);
    parts.Host = host.IsEmpty() ? rest : host;
    parts.Path = rest;
    return;
  }
  ByteString authority = slash < 0 ? rest : rest.Left(slash);
  parts.Path = slash < 0 ? ByteString("/") : rest.From(slash);

  ByteString userInfo = ExtractWord(authority, '@', 1);
  if (userInfo != authority) {
    parts.UserName = ExtractWord(userInfo, ':', 1);
    parts.Password = ExtractWord(userInfo, ':', 2);
    authority = ExtractWord(authority, '@', 2);
  }
  ByteString port = ExtractWord(authority, ':', 2);
  if (!port.IsEmpty()) {
    parts.Port = DecimalValue(port);
    authority.Truncate(authority.Find(':'));
  }
  parts.Host = authority;
}
