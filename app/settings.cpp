// The built-in settings, and which rule decides whether a value from the settings file
// replaces each of them.
#include "app/settings.h"

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

bool AcceptAny(const ByteString&) {
  return true;
}

bool IsNamed(const ByteString& value) {
  return value == "named";
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
    RawSetting raw;
    ReadRawSetting(raw, read_, context_, section, key);
    if (raw.Length <= 0) return;
    // A host or an address cut short could pass its rule as another one ("h:18" of
    // "h:18471"): a value under a rule is taken whole or not at all.
    if (raw.Cut() && accept != AcceptAny) return;
    ByteString value = SettingValue(raw.Text);
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
