// The program's own C library functions (rt/libc_subset.cpp) against the platform's C
// library as the model: every offset and length of overlapping moves, copies and scans.
#include <gtest/gtest.h>
#include <stddef.h>
#include <string.h>

#include <string>

extern "C" {
void* Subset_memcpy(void* to, const void* from, size_t count);
void* Subset_memmove(void* to, const void* from, size_t count);
void* Subset_memset(void* to, int value, size_t count);
int Subset_memcmp(const void* a, const void* b, size_t count);
void* Subset_memchr(const void* block, int value, size_t count);
size_t Subset_strlen(const char* text);
char* Subset_strchr(const char* text, int value);
char* Subset_strcpy(char* to, const char* from);
char* Subset_strncpy(char* to, const char* from, size_t count);
int Subset_strncmp(const char* a, const char* b, size_t count);
}

namespace {

constexpr int kSize = 24;

int Sign(int value) {
  return (value > 0) - (value < 0);
}

// Bytes 1..kSize with a high byte among them, so that signedness mistakes show.
std::string Pattern() {
  std::string bytes;
  for (int i = 0; i < kSize; ++i) bytes += char(i == 5 ? 0xE9 : 'a' + i);
  return bytes;
}

TEST(LibcSubset, MovesAndCopiesMatchTheLibraryForEveryOverlap) {
  for (int from = 0; from < kSize; ++from)
    for (int to = 0; to < kSize; ++to)
      for (int count = 0; count + (from > to ? from : to) <= kSize; ++count) {
        std::string mine = Pattern(), model = Pattern();
        EXPECT_EQ(&mine[to], Subset_memmove(&mine[to], &mine[from], count));
        memmove(&model[to], &model[from], count);
        ASSERT_EQ(model, mine) << "memmove from " << from << " to " << to << " count " << count;
        if (from + count <= to || to + count <= from) {  // memcpy needs apart blocks
          mine = model = Pattern();
          EXPECT_EQ(&mine[to], Subset_memcpy(&mine[to], &mine[from], count));
          memcpy(&model[to], &model[from], count);
          ASSERT_EQ(model, mine) << "memcpy from " << from << " to " << to;
        }
        mine = model = Pattern();
        Subset_memset(&mine[to], 0x1E9 - from, count);  // only the low byte counts
        memset(&model[to], 0x1E9 - from, count);
        ASSERT_EQ(model, mine) << "memset at " << to << " count " << count;
      }
}

TEST(LibcSubset, ComparisonsAndScansMatchTheLibrary) {
  // Pairs that differ at each place, by a byte above 127, by an early terminator.
  const char* texts[] = {"", "a", "ab", "abc", "abd", "ab\xE9", "abc\0x", "b", "\xE9"};
  for (const char* a : texts)
    for (const char* b : texts)
      for (size_t count = 0; count <= 4; ++count) {
        size_t common = count < 4 ? count : 4;  // every text has 4 readable bytes or more
        SCOPED_TRACE(std::string(a) + " | " + b + " | " + std::to_string(count));
        EXPECT_EQ(Sign(strncmp(a, b, count)), Sign(Subset_strncmp(a, b, count)));
        if (strlen(a) >= common && strlen(b) >= common) {
          EXPECT_EQ(Sign(memcmp(a, b, common)), Sign(Subset_memcmp(a, b, common)));
        }
      }
  for (const char* text : texts) {
    EXPECT_EQ(strlen(text), Subset_strlen(text));
    for (int value : {0, int('a'), int('b'), int('c'), 0xE9, 0x1E9, int('z')}) {
      EXPECT_EQ(strchr(text, value), Subset_strchr(text, value)) << text << " " << value;
      size_t length = strlen(text) + 1;
      EXPECT_EQ(memchr(text, value, length), Subset_memchr(text, value, length));
    }
  }
}

TEST(LibcSubset, StringCopiesTerminateAndPadLikeTheLibrary) {
  for (const char* from : {"", "x", "abcd", "abcdefgh"})
    for (size_t count = 0; count <= 10; ++count) {
      char mine[12], model[12];
      memset(mine, '#', sizeof mine);
      memset(model, '#', sizeof model);
      EXPECT_EQ(mine, Subset_strncpy(mine, from, count));
      strncpy(model, from, count);
      EXPECT_EQ(0, memcmp(model, mine, sizeof mine)) << from << " " << count;
      memset(mine, '#', sizeof mine);
      EXPECT_EQ(mine, Subset_strcpy(mine, from));
      EXPECT_STREQ(from, mine);
      EXPECT_EQ('#', mine[strlen(from) + 1]);
    }
}

}  // namespace
