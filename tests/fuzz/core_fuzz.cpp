// Fuzzes the pure text functions of the report path against independent models: what is
// encoded decodes back to the input (URL encoding, Base64 by a reference decoder, the
// report and mail URLs key by key), ParseUrl gives back the parts a URL was built from, and
// the word functions split as a plain reading does.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/report.h"
#include "http/base64.h"
#include "http/url_parser.h"
#include "http/word_utils.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "property violated: %s\n", what);
    abort();
  }
}

std::string Std(const ByteString& s) { return std::string(s.Data(), s.Length()); }
std::string UpToNul(const std::string& s) { return s.substr(0, s.find('\0')); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Percent-decoding, with "+" for a space when `plusIsSpace` (query strings). Every "%" must
// start an escape of two hex digits.
std::string Decode(const std::string& text, bool plusIsSpace) {
  std::string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%') {
      Check(i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0,
            "every % starts an escape of two hex digits");
      decoded += char(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      decoded += plusIsSpace && text[i] == '+' ? ' ' : text[i];
    }
  }
  return decoded;
}

void CheckUrlEncode(const ByteString& text) {
  std::string encoded = Std(UrlEncode(text));
  for (char c : encoded) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 strchr("!$'()*-.@_+%", c) != nullptr;
    Check(c != 0 && plain, "UrlEncode gives letters, digits, unreserved marks and escapes");
  }
  for (size_t i = encoded.find('%'); i != std::string::npos; i = encoded.find('%', i + 1))
    Check(i + 2 < encoded.size() && HexValue(encoded[i + 1]) >= 0 &&
              !(encoded[i + 1] >= 'A' && encoded[i + 1] <= 'F') &&
              !(encoded[i + 2] >= 'A' && encoded[i + 2] <= 'F'),
          "escapes use lower-case hex digits");
  Check(Decode(encoded, true) == UpToNul(Std(text)), "UrlEncode decodes to the text up to a NUL");
}

// A reference Base64 decoder (standard alphabet, "=" padding, no line breaks) that accepts
// only the one encoding of each input: padding only at the end, unused bits zero.
bool DecodeBase64(const std::string& text, std::string& out) {
  if (text.size() % 4 != 0) return false;
  for (size_t group = 0; group < text.size(); group += 4) {
    int values[4], padding = 0;
    for (int k = 0; k < 4; ++k) {
      char c = text[group + k];
      values[k] = c >= 'A' && c <= 'Z'   ? c - 'A'
                  : c >= 'a' && c <= 'z' ? c - 'a' + 26
                  : c >= '0' && c <= '9' ? c - '0' + 52
                  : c == '+'             ? 62
                  : c == '/'             ? 63
                                         : -1;
      if (c == '=' && k >= 2 && group + 4 == text.size()) {
        values[k] = 0;
        ++padding;
      } else if (values[k] < 0 || padding > 0) {
        return false;
      }
    }
    uint32_t bits = values[0] << 18 | values[1] << 12 | values[2] << 6 | values[3];
    if (padding > 0 && (bits & (padding == 2 ? 0xFFFF : 0xFF)) != 0) return false;
    for (int k = 0; k < 3 - padding; ++k) out += char(bits >> (16 - 8 * k));
  }
  return true;
}

void CheckBase64(const ByteString& input) {
  std::string decoded;
  Check(DecodeBase64(Std(Base64Encode(input)), decoded), "Base64 is well formed");
  Check(decoded == Std(input), "Base64 decodes to the input");
}

void CheckWords(const ByteString& text, char separator) {
  std::vector<std::string> words;  // the maximal runs of other bytes
  std::string run;
  for (char c : Std(text) + separator) {
    if (c != separator) {
      run += c;
    } else if (!run.empty()) {
      words.push_back(run);
      run.clear();
    }
  }
  Check(WordCount(text, separator) == int(words.size()), "WordCount counts the runs");
  for (int n = 0; n <= int(words.size()) + 1; ++n) {
    std::string expected = n == 0 ? Std(text).substr(0, Std(text).find(separator))
                           : n <= int(words.size()) ? words[n - 1]
                                                    : "";
    Check(Std(ExtractWord(text, separator, n)) == expected, "ExtractWord gives the n-th run");
  }
}

// Bytes for the parts of a URL, from the input; each part keeps to its alphabet.
struct Source {
  const uint8_t* data;
  size_t size, at;
  uint8_t Byte() { return at < size ? data[at++] : 0; }
  std::string Take(size_t length, const char* alphabet) {
    std::string text;
    size_t count = strlen(alphabet);
    while (text.size() < length && at < size) text += alphabet[data[at++] % count];
    return text;
  }
};

// ParseUrl over URLs built from known parts: user information and a port in the authority,
// a path full of "@" and ":" that must not be taken for either.
void CheckParseUrl(const uint8_t* data, size_t size) {
  Source in = {data, size, 0};
  uint8_t flags = in.Byte();
  std::string user = in.Take(1 + in.Byte() % 12, "abcXYZ019-._~!$&'()*+,;=%");
  std::string password = in.Take(in.Byte() % 12, "abcXYZ019-._~!$&'()*+,;=%");
  std::string host = in.Take(1 + in.Byte() % 24, "abcdefghijklmnopqrstuvwxyz0123456789.-ABCZ");
  int port = in.Byte() << 8 | in.Byte();
  std::string path;
  for (uint8_t b = in.Byte(); in.at < in.size; b = in.Byte())
    path += b % 4 == 0 ? '@' : b % 4 == 1 ? ':' : char(b);
  if (user.empty()) user = "u";
  if (host.empty()) host = "h";

  bool hasUser = flags & 1, hasPassword = flags & 2, hasPort = flags & 4, hasPath = flags & 8;
  std::string url = flags & 16 ? "HTTP://" : "http://";
  if (hasUser) url += user + (hasPassword ? ":" + password : "") + "@";
  url += host;
  if (hasPort) url += ":" + std::to_string(port);
  if (hasPath) url += "/" + path;

  UrlParts parts = {"unset", 4321, "unset", "unset", "unset"};
  ParseUrl(ByteString(url.data(), int(url.size())), parts);
  Check(Std(parts.Host) == host, "ParseUrl finds the host");
  Check(parts.Port == (hasPort ? port : 4321), "ParseUrl finds the port, or leaves it");
  Check(Std(parts.Path) == (hasPath ? "/" + path : "/"), "ParseUrl keeps the path");
  Check(Std(parts.UserName) == (hasUser ? user : "unset"), "ParseUrl finds the user name");
  Check(Std(parts.Password) == (hasUser ? (hasPassword ? password : "") : "unset"),
        "ParseUrl finds the password");

  UrlParts any = {"", 80, "", "", ""};
  ParseUrl(ByteString(reinterpret_cast<const char*>(data), int(size)), any);  // must not fail
}

// The URL's query as key=value pairs, after checking that nothing in it ends or splits the
// URL: one "?", no space, control byte, quote or "#".
std::vector<std::pair<std::string, std::string>> Query(const std::string& url,
                                                       const std::string& prefix) {
  Check(url.compare(0, prefix.size(), prefix) == 0, "the URL starts with its fixed part");
  for (unsigned char c : url)
    Check(c > ' ' && c != 0x7F && c != '"' && c != '#', "no byte ends or splits the URL");
  Check(url.find('?') == prefix.size() - 1 && url.find('?', prefix.size()) == std::string::npos,
        "exactly one ?");
  std::vector<std::pair<std::string, std::string>> pairs;
  std::string query = url.substr(prefix.size()) + "&";
  for (size_t start = 0, end; (end = query.find('&', start)) != std::string::npos;
       start = end + 1) {
    std::string pair = query.substr(start, end - start);
    size_t equals = pair.find('=');
    Check(equals != std::string::npos, "every pair has a key and a value");
    pairs.push_back({pair.substr(0, equals), pair.substr(equals + 1)});
  }
  return pairs;
}

void CheckReportUrls(const uint8_t* data, size_t size) {
  if (size < 2) return;
  std::string input(reinterpret_cast<const char*>(data) + 2, size - 2);
  size_t first = data[0] % (input.size() + 1);
  size_t second = first + data[1] % (input.size() - first + 1);
  std::string product = input.substr(0, first), reason = input.substr(first, second - first),
              version = input.substr(second);
  auto bytes = [](const std::string& s) { return ByteString(s.data(), int(s.size())); };

  std::string reportUrl = Std(ReportUrl(bytes(product), bytes(reason), bytes(version)));
  for (unsigned char c : reportUrl) Check(c < 0x80, "the report URL is ASCII");
  auto report = Query(reportUrl, "http://" EXITPOLL_STATS_HOST "/stat/uninstall.php?");
  Check(report.size() == 3 && report[0].first == "prj" && report[1].first == "reason" &&
            report[2].first == "os",
        "the report has prj, reason and os, in order");
  Check(Decode(report[0].second, true) == UpToNul(product) &&
            Decode(report[1].second, true) == UpToNul(reason) &&
            Decode(report[2].second, true) == UpToNul(version),
        "the report's values decode to the texts up to a NUL");

  auto mail = Query(Std(MailUrl(bytes(product), bytes(reason))),
                    "mailto:" EXITPOLL_FEEDBACK_EMAIL "?");
  Check(mail.size() == 2 && mail[0].first == "subject" && mail[1].first == "body",
        "the mail has a subject and a body, in order");
  Check(Decode(mail[0].second, true) == UpToNul("uninstall " + product),
        "the subject decodes to the product");
  Check(Decode(mail[1].second, false) == reason, "the body decodes to the whole reason");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteString input(reinterpret_cast<const char*>(data), static_cast<int>(size));
  CheckUrlEncode(input);
  CheckBase64(input);
  CheckWords(input.From(1), size > 0 ? static_cast<char>(data[0]) : '/');
  CheckWords(input, '/');
  CheckParseUrl(data, size);
  CheckReportUrls(data, size);
  return 0;
}
