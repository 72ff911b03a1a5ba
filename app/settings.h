// What a maker may change without building: the statistics host, the fallback mail address
// and the window's texts, each with its built-in value, and the rules by which a value
// from the settings file beside the program is taken or ignored.
#pragma once

#include "rt/byte_string.h"

constexpr int kReasonCount = 7;
// The radio boxes' built-in captions in order; the chosen caption is the report's reason
// text, so a translated caption is reported translated.
extern const char* const ReasonTexts[kReasonCount];

// Longest value taken from the file, in bytes; longer texts are cut, and a longer Host or
// Email is ignored.
constexpr int kSettingMaxLength = 255;

// The report's opt-in keys; all off gives the designed report.
struct ReportKeys {
  bool NamedWindows;   // Windows=named: the versions past XP by name, not "Unknown"
  bool MakeId;         // ReportId=yes: a report id per run, in the report and the mail
  ByteString Version;  // Version=: the product's version; empty when not set
};

struct Settings {
  ByteString Host;   // statistics server: "name" or "name:port"
  ByteString Email;  // address of the fallback mail
  ByteString Url;    // the report's full address, sent by the system's HTTP stack; empty: Host
  ByteString Caption;
  ByteString Title;
  ByteString Question;               // "%PRODUCT%" stands for the product's name
  ByteString Reasons[kReasonCount];  // Reason1 to Reason6, then Other
  ByteString Button;
  // The declining button's caption: with one, only the main button sends and every other
  // close (this button, the close box, Alt+F4, Escape) sends nothing. Empty: no such button.
  ByteString Skip;
  ByteString Notice;  // one grey line on what is sent, "%PRODUCT%" as in Question; or none
  // Where an unconfirmed report is opened in the browser, by the rule of Url, in place of
  // the mail; empty: the mail.
  ByteString Page;
  ReportKeys Keys;
  // [window] Dpi=aware: the process declares itself DPI aware and lays the window out at the
  // system's DPI; off, the system draws it at 96 DPI and stretches it where it scales.
  bool DpiAware;
};

// Copies the value of `key` in `section` into `buffer` (at most size - 1 bytes and a
// terminating zero) and returns its length; 0 when there is none.
typedef int (*SettingReader)(void* context, const char* section, const char* key, char* buffer,
                             int size);

// Fills every field with the value `read` gives where it passes its rule, else with the
// built-in value. A null `read` gives the built-in values.
void ResolveSettings(Settings& settings, SettingReader read, void* context);

// Win32 only: ResolveSettings over the file with the program's base name and the extension
// ".ini" beside the program; without one, the built-in values.
void LoadSettings(Settings& settings);

// The rules, one by one.
// The value as taken: cut to kSettingMaxLength bytes, then without the bytes of 32 or
// below at either end; empty means the key counts as missing.
ByteString SettingValue(const char* raw);
// Letters, digits and . _ + - with exactly one @ between two non-empty parts: nothing
// that could add a header or another recipient to the mail URL.
bool IsMailAddress(const ByteString& value);
// Letters, digits and . _ -, then optionally ':' and a port from 1 to 65535: nothing that
// could add a path, user information or a query to the report URL.
bool IsHostName(const ByteString& value);
// `text` with every "%PRODUCT%" replaced by `product`; the product's own bytes are never
// searched for the placeholder.
ByteString WithProduct(const ByteString& text, const ByteString& product);
// Letters, digits and . - _ +, at most kProductVersionMaxLength bytes: a version as
// installers write one, and a value the collector takes.
constexpr int kProductVersionMaxLength = 32;
bool IsProductVersion(const ByteString& value);
// The settings file of the program at `exePath`: the same folder and base name, with the
// extension ".ini" in place of the program's own (or added when it has none).
ByteString SettingsPathOf(const ByteString& exePath);
