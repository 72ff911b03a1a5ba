// The feedback window laid out for 96, 120, 144 and 192 DPI in-process, with Skip and
// Notice: every text's extent, measured in its control's own font, inside that control, and
// each control inside its parent; "Other" short of the free-text field; the big icon's size,
// and its image, where one was drawn at that size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/exitpoll_icons.h"
#include "app/feedback_form.h"
#include "gui/message_loop.h"

namespace {

SIZE Extent(Widget* w) {
  SIZE size = {0, 0};
  ByteString text = GetText(w);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, GetToolHandle(GetFont(w)));
  GetTextExtentPoint32A(dc, text.Data(), text.Length(), &size);
  SelectObject(dc, old);
  DeleteDC(dc);
  return size;
}

// Every descendant of `w` with a text: the text, measured in the control's own font, fits
// inside the control (a radio box's beside its glyph) and inside the parent's client area.
void ExpectFits(Widget* w, int dpi) {
  int parentWidth = w->IsForm ? ClientWidth(w) : GetWidth(w);
  int parentHeight = w->IsForm ? ClientHeight(w) : GetHeight(w);
  for (int i = 0; i < ChildCount(w); ++i) {
    Widget* child = ChildAt(w, i);
    std::string text(GetText(child).Data());
    if (!text.empty()) {
      RECT bounds = GetBounds(child);
      SIZE extent = Extent(child);
      int glyph = child->ClassActions.WidthExtra > 14 ? ScaledToDpi(16, dpi) : 0;  // radio
      EXPECT_LE(extent.cx + glyph, GetWidth(child)) << text << " at " << dpi;
      EXPECT_LE(extent.cy, GetHeight(child)) << text << " at " << dpi;
      EXPECT_TRUE(bounds.left >= 0 && bounds.left + glyph + extent.cx <= parentWidth &&
                  bounds.top >= 0 && bounds.top + extent.cy <= parentHeight)
          << text << " inside its parent at " << dpi;
    }
    ExpectFits(child, dpi);
  }
}

// The icon drawn at `size` on white, pixel by pixel.
std::vector<DWORD> Drawn(HICON icon, int size) {
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  PatBlt(dc, 0, 0, size, size, WHITENESS);
  DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  GdiFlush();
  std::vector<DWORD> pixels(static_cast<DWORD*>(bits), static_cast<DWORD*>(bits) + size * size);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bitmap);
  return pixels;
}

// The settings file beside this test program, as beside the applet.
struct SettingsFile {
  explicit SettingsFile(const char* text) {
    char path[MAX_PATH];
    int length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    path_ = std::string(path, length - 4) + ".ini";  // in place of ".exe"
    HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text, lstrlenA(text), &written, nullptr);
    CloseHandle(file);
  }
  ~SettingsFile() { DeleteFileA(path_.c_str()); }
  std::string path_;
};

TEST(FeedbackLayout, TextsFitTheirControlsAtEveryDpi) {
  SettingsFile settings(
      "[texts]\r\nSkip=Don't send\r\nNotice=Sent without your name to Example.\r\n");
  for (int dpi : {96, 120, 144, 192}) {
    ResetToolkitState();
    gToolkit.Dpi = dpi;
    FeedbackForm* f = nullptr;
    CreateFeedbackForm(nullptr, &f);
    // The longest texts the window shows beside the built-in ones.
    SetText(f->QuestionLabel, "Why have you made up your mind to remove Example Tool 2026?");
    SetLeft(f->QuestionLabel, ClientWidth(f->Form) / 2 - GetWidth(f->QuestionLabel) / 2);
    ExpectFits(f->Form, dpi);
    Widget* other = ChildAt(f->ChoiceGroup, ChildCount(f->ChoiceGroup) - 1);
    EXPECT_LE(GetBounds(other).right, GetBounds(f->OtherEdit).left) << dpi;
    EXPECT_EQ(GetHeight(f->Form), ScaledToDpi(328, dpi));
    // The big icon at 32 pixels times the scale: this test's system stays at 96 DPI, so an
    // icon of the system's size would stay at 32.
    ICONINFO icon = {};
    BITMAP mask = {};
    ASSERT_TRUE(GetIconInfo(
        reinterpret_cast<HICON>(SendMessageA(GetHandle(f->Form), WM_GETICON, ICON_BIG, 0)), &icon));
    GetObjectA(icon.hbmMask, sizeof mask, &mask);
    EXPECT_EQ(mask.bmWidth, ScaledToDpi(32, dpi));
    EXPECT_EQ(icon.hbmColor ? mask.bmHeight : mask.bmHeight / 2, ScaledToDpi(32, dpi));
    DeleteObject(icon.hbmMask);
    if (icon.hbmColor) DeleteObject(icon.hbmColor);
    // At the sizes the scaled icon group was drawn at, its image is the one shown, not the
    // program's 32 pixel one stretched.
    int size = ScaledToDpi(32, dpi);
    if (size == 48 || size == 64) {
      HICON drawn = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr),
                                                  MAKEINTRESOURCEA(EXITPOLL_SCALED_ICON),
                                                  IMAGE_ICON, size, size, 0));
      HICON shown =
          reinterpret_cast<HICON>(SendMessageA(GetHandle(f->Form), WM_GETICON, ICON_BIG, 0));
      EXPECT_TRUE(Drawn(shown, size) == Drawn(drawn, size)) << "the icon shown at " << dpi;
      DestroyIcon(drawn);
    }
    ASSERT_TRUE(f->SkipButton && f->NoticeLabel) << "the settings file was read";
    Widget* form = f->Form;
    gToolkit.MainWidget = nullptr;
    FreeObject(form);
  }
  ResetToolkitState();
}

}  // namespace
