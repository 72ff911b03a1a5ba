// The user's language id to the settings file's language sections.
#include "app/language.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/byte_strings.h"

namespace {

std::vector<std::string> Sections(unsigned id) {
  ByteString sections[kMaxTextSections];
  int count = TextSections(id, sections);
  std::vector<std::string> result;
  for (int i = 0; i < count; ++i) result.push_back(Str(sections[i]));
  return result;
}

TEST(TextSections, MostSpecificFirst) {
  const struct {
    const char* why;
    unsigned id;
    std::vector<std::string> sections;
  } cases[] = {
      {"German", 0x0407, {"texts.de", "texts"}},
      {"German, Austria", 0x0C07, {"texts.de-AT", "texts.de", "texts"}},
      {"German, Luxembourg: no region known", 0x1007, {"texts.de", "texts"}},
      {"English", 0x0409, {"texts.en-US", "texts.en", "texts"}},
      {"Russian", 0x0419, {"texts.ru", "texts"}},
      {"Ukrainian", 0x0422, {"texts.uk", "texts"}},
      {"Japanese", 0x0411, {"texts.ja", "texts"}},
      {"Korean", 0x0412, {"texts.ko", "texts"}},
      {"Czech", 0x0405, {"texts.cs", "texts"}},
      {"Turkish", 0x041F, {"texts.tr", "texts"}},
      {"Polish", 0x0415, {"texts.pl", "texts"}},
      {"Dutch", 0x0413, {"texts.nl", "texts"}},
      {"Portuguese, Brazil", 0x0416, {"texts.pt-BR", "texts.pt", "texts"}},
      {"Portuguese, Portugal", 0x0816, {"texts.pt-PT", "texts.pt", "texts"}},
      {"Chinese, Taiwan", 0x0404, {"texts.zh-TW", "texts.zh", "texts"}},
      {"Chinese, Hong Kong reads Traditional", 0x0C04, {"texts.zh-TW", "texts.zh", "texts"}},
      {"Chinese, Macao reads Traditional", 0x1404, {"texts.zh-TW", "texts.zh", "texts"}},
      {"Chinese, PRC", 0x0804, {"texts.zh-CN", "texts.zh", "texts"}},
      {"Chinese, Singapore reads Simplified", 0x1004, {"texts.zh-CN", "texts.zh", "texts"}},
      {"Serbian (Latin) shares Croatian's id", 0x081A, {"texts.hr", "texts"}},
      {"Malay, the last in the table", 0x043E, {"texts.ms", "texts"}},
      {"neutral", 0x0000, {"texts"}},
      {"a gap in the table", 0x042E, {"texts"}},
      {"past the table", 0x0452, {"texts"}},
      {"invariant", 0x007F, {"texts"}},
      {"user default", 0x0400, {"texts"}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.sections, Sections(c.id)) << c.why;
}

}  // namespace
