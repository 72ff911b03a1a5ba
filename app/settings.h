// What a maker may change without building: the statistics host, the fallback mail address
// and the window's texts, each with its built-in value, taken from the settings file beside
// the program by the rules of app/setting_rules.h.
#pragma once

#include "app/setting_rules.h"
#include "rt/byte_string.h"

constexpr int kReasonCount = 7;
// The radio boxes' built-in captions in order; the chosen caption is the report's reason
// text, so a translated caption is reported translated.
extern const char* const ReasonTexts[kReasonCount];

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
};

// Fills every field with the value `read` gives where it passes its rule, else with the
// built-in value. A null `read` gives the built-in values.
void ResolveSettings(Settings& settings, SettingReader read, void* context);

// Win32 only: ResolveSettings over the file with the program's base name and the extension
// ".ini" beside the program; without one, the built-in values.
void LoadSettings(Settings& settings);

// `text` with every "%PRODUCT%" replaced by `product`; the product's own bytes are never
// searched for the placeholder.
ByteString WithProduct(const ByteString& text, const ByteString& product);
// The settings file of the program at `exePath`: the same folder and base name, with the
// extension ".ini" in place of the program's own (or added when it has none).
ByteString SettingsPathOf(const ByteString& exePath);
