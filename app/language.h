// Which language sections of the settings file a user's Windows consults: the language id
// that Windows reports, named by the tag a maker writes ("de", "pt-BR", "zh-TW").
#pragma once

#include "rt/byte_string.h"

// The tag of a Windows language id: the language ("de"), with "-" and a region where the
// table knows one ("de-AT", "pt-BR"). Chinese always has its region: Taiwan, Hong Kong and
// Macao read Traditional Chinese (zh-TW), the rest Simplified (zh-CN). Empty for a language
// the table does not know.
ByteString LanguageTag(unsigned languageId);

// The sections that hold the window's texts, most specific first: "texts." and the tag,
// "texts." and the language alone where the tag has a region, then "texts". Returns how
// many it wrote (1 to 3).
constexpr int kMaxTextSections = 3;
int TextSections(unsigned languageId, ByteString sections[kMaxTextSections]);
