// Windows language ids to the tags of the settings file's language sections.
#include "app/language.h"

namespace {

// Two letters for each primary language id from 1 on; blanks where none is known.
const char kLanguages[] =
    "arbgcazhcsdadeelenesfifrhehuisitjakonlnbplptrmroruhrsksqsvthtruridukbesletlvlttgfavihy"
    "azeu  mk    tn  xhzuafkafohimtsega  ms";
const unsigned kLanguageCount = (sizeof(kLanguages) - 1) / 2;

// Full language ids whose region a maker may want to tell apart.
struct Region {
  unsigned short Id;
  char Name[2];
};
const Region kRegions[] = {
    {0x0404, {'T', 'W'}}, {0x0C04, {'T', 'W'}}, {0x1404, {'T', 'W'}}, {0x7C04, {'T', 'W'}},
    {0x0804, {'C', 'N'}}, {0x1004, {'C', 'N'}}, {0x0004, {'C', 'N'}}, {0x0416, {'B', 'R'}},
    {0x0816, {'P', 'T'}}, {0x0409, {'U', 'S'}}, {0x0809, {'G', 'B'}}, {0x0C09, {'A', 'U'}},
    {0x1009, {'C', 'A'}}, {0x0807, {'C', 'H'}}, {0x0C07, {'A', 'T'}}, {0x080C, {'B', 'E'}},
    {0x0C0C, {'C', 'A'}}, {0x100C, {'C', 'H'}}, {0x080A, {'M', 'X'}}, {0x0813, {'B', 'E'}},
};

}  // namespace

ByteString LanguageTag(unsigned languageId) {
  unsigned primary = languageId & 0x3FF;
  if (primary == 0 || primary > kLanguageCount || kLanguages[2 * primary - 2] == ' ')
    return ByteString();
  ByteString tag(kLanguages + 2 * primary - 2, 2);
  for (const Region& region : kRegions) {
    if (region.Id != languageId) continue;
    tag += '-';
    tag.Append(region.Name, 2);
  }
  return tag;
}

int TextSections(unsigned languageId, ByteString sections[kMaxTextSections]) {
  ByteString tag = LanguageTag(languageId);
  int count = 0;
  if (!tag.IsEmpty()) sections[count++] = "texts." + tag;
  if (tag.Length() > 2) sections[count++] = "texts." + tag.Left(2);
  sections[count++] = "texts";
  return count;
}
