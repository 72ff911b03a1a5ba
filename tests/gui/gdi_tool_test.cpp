// Font and brush tools (handle sharing, style rules, system colour changes) and the
// 32-bit DIB bitmap, on the real GDI under Wine.
#include <gtest/gtest.h>

#include <string.h>

#include "gui/dib_bitmap.h"
#include "support/gui_test.h"

namespace {

class Tools : public ::testing::Test {
protected:
  void SetUp() override { ResetToolkitState(); }
  void TearDown() override { FreeObject(form_); }
  Widget* form_ = CreateFormWidget(nullptr, "Tools");
};

TEST_F(Tools, ChildWithUnchangedFontSharesTheParentsHandle) {
  SetFontHeight(GetFont(form_), -11);
  SetFontName(GetFont(form_), "Tahoma");
  Widget* plain = CreateLabel(form_, "plain");
  Widget* bold = CreateLabel(form_, "bold");
  SetFontStyle(bold, kFontBold);

  HGDIOBJ formFont = GetToolHandle(GetFont(form_));
  ASSERT_NE(formFont, nullptr);
  EXPECT_EQ(GetToolHandle(GetFont(plain)), formFont);
  EXPECT_EQ(GetFont(plain)->ToolHandle, nullptr) << "the child made no font of its own";
  HGDIOBJ boldFont = GetToolHandle(GetFont(bold));
  EXPECT_NE(boldFont, formFont);
  LOGFONTA described = {};
  GetObjectA(boldFont, sizeof(described), &described);
  EXPECT_EQ(described.lfWeight, FW_BOLD);
  EXPECT_EQ(described.lfHeight, -11);
}

TEST_F(Tools, ChildWindowGetsTheSharedFont) {
  Widget* label = CreateLabel(form_, "text");
  HWND window = GetHandle(label);
  EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageA(window, WM_GETFONT, 0, 0)),
            GetToolHandle(GetFont(form_)));
}

TEST_F(Tools, ChildKeepsAWorkingFontWhenTheSharedOneIsReplaced) {
  Widget* group = CreateGroupBox(form_, "");
  Widget* label = CreateLabel(group, "text");
  HWND window = GetHandle(label);
  HGDIOBJ shared = GetToolHandle(GetFont(form_));
  ASSERT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageA(window, WM_GETFONT, 0, 0)), shared);
  SetFontName(GetFont(form_), "Courier New");  // deletes the shared handle
  HGDIOBJ now = reinterpret_cast<HGDIOBJ>(SendMessageA(window, WM_GETFONT, 0, 0));
  EXPECT_EQ(GetObjectType(now), static_cast<DWORD>(OBJ_FONT)) << "not a deleted font";
  LOGFONTA described = {};
  GetObjectA(now, sizeof(described), &described);
  EXPECT_STREQ(described.lfFaceName, "MS Sans Serif") << "the child's own description";
  HGDIOBJ groupFont = reinterpret_cast<HGDIOBJ>(SendMessageA(group->Handle, WM_GETFONT, 0, 0));
  EXPECT_EQ(GetObjectType(groupFont), static_cast<DWORD>(OBJ_FONT));
}

TEST_F(Tools, BoldAndPlainFollowTheWeightRules) {
  struct Row {
    const char* why;
    int weight;
    unsigned style;
    int expected;
  } rows[] = {
      {"bold on normal weight", 400, kFontBold, 700},
      {"bold keeps a heavier weight", 800, kFontBold, 800},
      {"clearing bold on 800 gives 0", 800, 0, 0},
      {"clearing bold on 700 gives 0", 700, 0, 0},
      {"light weight is not bold, stays", 300, kFontItalic, 300},
  };
  for (const Row& row : rows) {
    GdiTool* font = CreateFontTool();
    SetToolInt(font, 20, row.weight);
    SetFontStyle(font, row.style);
    EXPECT_EQ(font->ToolData.Font.lfWeight, row.expected) << row.why;
    EXPECT_EQ(GetFontStyle(font), row.style) << row.why;
    FreeObject(font);
  }
}

TEST_F(Tools, ChangesDropTheHandleAndNotifyTheWidget) {
  Widget* label = CreateLabel(form_, "text");
  GetHandle(label);
  SetFontStyle(label, kFontBold);  // now a handle of its own
  HGDIOBJ before = GetToolHandle(GetFont(label));
  SetToolColor(label, 0x00FFFFFF);
  EXPECT_EQ(label->TextColor, 0x00FFFFFFu) << "the widget takes the font colour";
  HGDIOBJ after = GetToolHandle(GetFont(label));
  EXPECT_NE(after, nullptr);
  EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageA(label->Handle, WM_GETFONT, 0, 0)), after);
  EXPECT_EQ(GetObjectType(before), 0u) << "the old font was deleted";
}

TEST_F(Tools, UnchangedValueIsNoChange) {
  GdiTool* font = CreateFontTool();
  HGDIOBJ handle = GetToolHandle(font);
  SetToolInt(font, 4, 0);
  SetFontName(font, "MS Sans Serif");
  SetFontStyle(font, 0);
  EXPECT_EQ(font->ToolHandle, handle);
  FreeObject(font);
}

TEST_F(Tools, LongFaceNameKeepsItsFirst31Characters) {
  GdiTool* font = CreateFontTool();
  SetFontName(font, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn");  // 40 characters
  EXPECT_STREQ(font->ToolData.Font.lfFaceName, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcde");
  HGDIOBJ handle = GetToolHandle(font);
  SetFontName(font, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn");
  EXPECT_EQ(font->ToolHandle, handle) << "the same long name again changes nothing";
  FreeObject(font);
}

TEST_F(Tools, ChangedSystemColourGivesANewHandle) {
  GdiTool* brush = CreateBrushTool();  // button face
  HGDIOBJ first = GetToolHandle(brush);
  EXPECT_EQ(GetToolHandle(brush), first) << "unchanged colour: same handle";

  int index = COLOR_BTNFACE;
  COLORREF original = GetSysColor(index);
  COLORREF changed = original ^ 0x00010101;
  SetSysColors(1, &index, &changed);
  HGDIOBJ second = GetToolHandle(brush);
  SetSysColors(1, &index, &original);

  EXPECT_NE(second, first);
  LOGBRUSH described = {};
  GetObjectA(second, sizeof(described), &described);
  EXPECT_EQ(described.lbColor, changed);
  FreeObject(brush);
}

TEST_F(Tools, AssignCopiesTheDescriptionAndNotifies) {
  GdiTool* source = CreateFontTool();
  SetFontName(source, "Tahoma");
  SetToolInt(source, 4, -13);
  int notified = 0;
  GdiTool* dest = CreateFontTool();
  dest->OnToolChange = {[](void* counter, GdiTool*) { ++*static_cast<int*>(counter); }, &notified};
  EXPECT_EQ(AssignTool(dest, source), dest);
  EXPECT_EQ(memcmp(&dest->ToolData, &source->ToolData, sizeof(ToolDataBlock)), 0);
  EXPECT_GE(notified, 1);
  EXPECT_EQ(AssignTool(dest, nullptr), nullptr) << "a null source frees the destination";
  FreeObject(source);
}

TEST(DibBitmap, PixelsAreStoredBottomUpKeepingTheFourthByte) {
  DibBitmap* bitmap = CreateDibBitmap(3, 2, kDib32);
  ASSERT_EQ(bitmap->ScanLine, 12);
  bitmap->Bits[3] = 0x5A;                 // fourth byte of buffer row 0, pixel 0 (scan line 1)
  SetDibPixel(bitmap, 0, 1, 0x00332211);  // scan line 1 is the bottom row: buffer row 0
  SetDibPixel(bitmap, 2, 0, 0x00CCBBAA);  // top row: buffer row 1
  const BYTE* bits = bitmap->Bits;
  EXPECT_EQ(bits[0], 0x33);  // blue, green, red
  EXPECT_EQ(bits[1], 0x22);
  EXPECT_EQ(bits[2], 0x11);
  EXPECT_EQ(bits[3], 0x5A);
  EXPECT_EQ(bits[12 + 8 + 0], 0xCC);
  EXPECT_EQ(bits[12 + 8 + 2], 0xAA);

  // Once the DIB section exists, its pixels are the ones written before.
  HDC dc = CanvasDC(BitmapCanvas(bitmap));
  EXPECT_EQ(GetPixel(dc, 0, 1), 0x00332211u);
  EXPECT_EQ(GetPixel(dc, 2, 0), 0x00CCBBAAu);
  SetDibPixel(bitmap, 1, 1, 0x00010203);
  EXPECT_EQ(GetPixel(dc, 1, 1), 0x00010203u) << "writes after the section go into it";
  FreeObject(bitmap);
}

TEST(DibBitmap, ScanLinesArePaddedTo32Bits) {
  struct Row {
    int bits, width, expected;
  } rows[] = {{32, 412, 1648}, {24, 5, 16}, {1, 1, 4}, {1, 33, 8}, {8, 3, 4}, {16, 3, 8}};
  for (const Row& row : rows)
    EXPECT_EQ(ScanLineSize(row.bits, row.width), row.expected) << row.bits << "x" << row.width;
}

TEST(DibBitmap, EmptyBitmapHasNoCanvas) {
  DibBitmap* bitmap = CreateDibBitmap(0, 5, kDib32);
  EXPECT_EQ(BitmapCanvas(bitmap), nullptr);
  SetDibPixel(bitmap, 0, 0, 0);  // ignored, no buffer
  FreeObject(bitmap);
}

}  // namespace
