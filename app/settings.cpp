// The built-in settings and the rules that decide whether a value from the settings file
// replaces one of them.
#include "app/settings.h"

#include "app/report_address.h"

#include <string.h>

const char* const ReasonTexts[kReasonCount] = {
    "Unstable",      "Lacks some functions", "Resource hungry", "Unfriendly interface",
    "Too expensive", "Upgrade version",      "Other",
};

namespace {

const char kReportSection[] = "report";
const char kTextsSection[] = "texts";
const char kProductPlaceholder[] = "%PRODUCT%";
const int kPlaceholderLength = sizeof(kProductPlaceholder) - 1;

bool IsLetterOrDigit(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool AcceptAny(const ByteString&) {
  return true;
}

bool IsNamed(const ByteString& value) {
  return value == "named";
}

bool IsAware(const ByteString& value) {
  return value == "aware";
}

bool IsYes(const ByteString& value) {
  return value == "yes";
}

class SettingSource {
public:
  SettingSource(SettingReader read, void* context) : read_(read), context_(context) {}

  // Sets `out` to the value of `key` where it passes `accept`, else to `builtIn`. Writing
  // into the field keeps each of the many call sites small.
  void Take(ByteString& out, const char* section, const char* key, const char* builtIn,
            bool (*accept)(const ByteString&) = AcceptAny) const {
    out = builtIn;
    if (!read_) return;
    // One byte more than is taken, to see whether the value had to be cut.
    char buffer[kSettingMaxLength + 2];
    buffer[0] = 0;
    int length = read_(context_, section, key, buffer, sizeof(buffer));
    if (length <= 0) return;
    // A host or an address cut short could pass its rule as another one ("h:18" of
    // "h:18471"): a value under a rule is taken whole or not at all.
    if (length > kSettingMaxLength && accept != AcceptAny) return;
    buffer[sizeof(buffer) - 1] = 0;  // whatever the reader wrote
    ByteString value = SettingValue(buffer);
    if (!value.IsEmpty() && accept(value)) out = value;
  }

private:
  SettingReader read_;
  void* context_;
};

}  // namespace

void ResolveSettings(Settings& settings, SettingReader read, void* context) {
  SettingSource source(read, context);
  source.Take(settings.Host, kReportSection, "Host", EXITPOLL_STATS_HOST, IsHostName);
  source.Take(settings.Email, kReportSection, "Email", EXITPOLL_FEEDBACK_EMAIL, IsMailAddress);
  settings.Url = ReadReportAddress(read, context, "Url");
  source.Take(settings.Caption, kTextsSection, "Caption", "Uninstall");
  source.Take(settings.Title, kTextsSection, "Title", "Question:");
  source.Take(settings.Question, kTextsSection, "Question",
              "Why have you made up your mind to remove %PRODUCT%?");
  char reasonKey[] = "Reason1";
  for (int i = 0; i < kReasonCount - 1; ++i) {
    reasonKey[6] = static_cast<char>('1' + i);
    source.Take(settings.Reasons[i], kTextsSection, reasonKey, ReasonTexts[i]);
  }
  source.Take(settings.Reasons[kReasonCount - 1], kTextsSection, "Other",
              ReasonTexts[kReasonCount - 1]);
  source.Take(settings.Button, kTextsSection, "Button", "Uninstall");
  source.Take(settings.Skip, kTextsSection, "Skip", "");
  source.Take(settings.Notice, kTextsSection, "Notice", "");
  settings.Page = ReadReportAddress(read, context, "Page");

  ReportKeys& keys = settings.Keys;
  ByteString word;
  source.Take(word, kReportSection, "Windows", "", IsNamed);
  keys.NamedWindows = !word.IsEmpty();
  source.Take(word, kReportSection, "ReportId", "", IsYes);
  keys.MakeId = !word.IsEmpty();
  source.Take(keys.Version, kReportSection, "Version", "", IsProductVersion);
  source.Take(word, "window", "Dpi", "", IsAware);
  settings.DpiAware = !word.IsEmpty();
}

ByteString SettingValue(const char* raw) {
  int end = 0;
  while (end < kSettingMaxLength && raw[end] != 0) ++end;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(raw);
  int start = 0;
  while (start < end && bytes[start] <= ' ') ++start;
  while (end > start && bytes[end - 1] <= ' ') --end;
  return ByteString(raw + start, end - start);
}

bool IsMailAddress(const ByteString& value) {
  int at = -1;
  for (int i = 0; i < value.Length(); ++i) {
    char c = value[i];
    if (c == '@') {
      if (at >= 0) return false;
      at = i;
    } else if (!IsLetterOrDigit(c) && !strchr("._+-", c)) {
      return false;
    }
  }
  return at > 0 && at < value.Length() - 1;
}

bool IsHostName(const ByteString& value) {
  int colon = value.Find(':');
  int nameEnd = colon < 0 ? value.Length() : colon;
  if (nameEnd == 0) return false;
  for (int i = 0; i < nameEnd; ++i) {
    char c = value[i];
    if (!IsLetterOrDigit(c) && !strchr("._-", c)) return false;
  }
  if (colon < 0) return true;
  int digits = value.Length() - colon - 1;
  if (digits < 1 || digits > 5) return false;
  long port = 0;
  for (int i = colon + 1; i < value.Length(); ++i) {
    char c = value[i];
    if (c < '0' || c > '9') return false;
    port = port * 10 + (c - '0');
  }
  return port >= 1 && port <= 65535;
}

bool IsProductVersion(const ByteString& value) {
  if (value.Length() > kProductVersionMaxLength) return false;
  for (int i = 0; i < value.Length(); ++i)
    if (!IsLetterOrDigit(value[i]) && !strchr(".-_+", value[i])) return false;
  return true;
}

ByteString WithProduct(const ByteString& text, const ByteString& product) {
  ByteString result;
  int done = 0;
  const char* data = text.Data();
  for (int i = 0; i + kPlaceholderLength <= text.Length();) {
    if (memcmp(data + i, kProductPlaceholder, kPlaceholderLength) == 0) {
      result.Append(data + done, i - done);
      result += product;
      i += kPlaceholderLength;
      done = i;
    } else {
      ++i;
    }
  }
  result.Append(data + done, text.Length() - done);
  return result;
}

ByteString SettingsPathOf(const ByteString& exePath) {
  int nameStart = 0;
  for (int i = 0; i < exePath.Length(); ++i)
    if (exePath[i] == '\\' || exePath[i] == '/' || exePath[i] == ':') nameStart = i + 1;
  int dot = -1;
  for (int i = nameStart; i < exePath.Length(); ++i)
    if (exePath[i] == '.') dot = i;
  return (dot < 0 ? exePath : exePath.Left(dot)) + ".ini";
}
