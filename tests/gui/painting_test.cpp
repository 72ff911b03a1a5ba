// The toolkit's painting, checked by sampled screen pixels: the gradient strip (also in
// the win98 and winxp modes of Wine, through copies of this program with their own
// AppDefaults), a transparent label over it, and the owner-drawn button pressed and
// double-clicked with the real mouse.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <string>

#include "gui/os_family.h"
#include "support/gui_test.h"

namespace {

constexpr int kStripWidth = 412;

// The strip's expected pixel in column x, as 0x00RRGGBB.
unsigned ExpectedStripPixel(GradientPanel* panel, int x) {
  return SwapRedBlue(GradientColor(ToColorRef(panel->GradientFrom), ToColorRef(panel->GradientTo),
                                   x, kStripWidth));
}

class Painting : public ::testing::Test {
protected:
  void SetUp() override {
    ResetToolkitState();
    form_ = CreateTahomaForm("Painting", 100, 100, 430, 200);
    gToolkit.MainWidget = form_;

    panel_ = CreateGradientPanel(form_, kColorButtonShadow, kColorButtonHighlight);
    SetPosition(panel_, 4, 8);
    SetSize(panel_, kStripWidth, 20);
    SetLook3D(panel_, false);
    SetHasBorder(panel_, false);
    SetGradientDirection(panel_, 1);

    button_ = CreateOwnerDrawButton(form_, "Uninstall", 0, 0, nullptr, 0);
    SetPosition(button_, 300, 120);
    SetSize(button_, 76, 25);
    button_->TextShiftX = 1;
    button_->TextShiftY = 1;
    button_->OnClick = {[](void* clicks, Widget*) { ++*static_cast<int*>(clicks); }, &clicks_};
  }
  void TearDown() override {
    gToolkit.MainWidget = nullptr;
    FreeObject(form_);
    PumpFor(50);
    ResetToolkitState();
  }

  void Show() {
    ASSERT_TRUE(ActivateForm(form_));
    PumpFor(300);
  }

  // Columns of `shot` (the strip's client area) in row y that differ from the gradient.
  std::string StripMismatches(const ScreenShot& shot, int y, int fromX, int toX) {
    std::string mismatches;
    for (int x = fromX; x < toX; ++x) {
      unsigned expected = ExpectedStripPixel(panel_, x);
      if (shot.At(x, y) != expected && mismatches.size() < 200) {
        char text[64];
        wsprintfA(text, " x=%d:%06X/%06X", x, shot.At(x, y), expected);
        mismatches += text;
      }
    }
    return mismatches;
  }

  Widget* form_;
  GradientPanel* panel_;
  OwnerDrawButton* button_;
  int clicks_ = 0;
};

TEST_F(Painting, GradientRunsFromTheFirstColourToOneStepShortOfTheSecond) {
  Show();
  ScreenShot shot = CaptureScreen(ScreenClientRect(panel_));
  ASSERT_EQ(shot.Width, kStripWidth);
  EXPECT_EQ(shot.At(0, 10), SwapRedBlue(ToColorRef(kColorButtonShadow)));
  EXPECT_EQ(shot.At(kStripWidth - 1, 10), ExpectedStripPixel(panel_, kStripWidth - 1));
  EXPECT_EQ(StripMismatches(shot, 10, 0, kStripWidth), "");
  EXPECT_EQ(StripMismatches(shot, 0, 0, kStripWidth), "") << "top row";
  EXPECT_EQ(StripMismatches(shot, 19, 0, kStripWidth), "") << "bottom row";
}

TEST_F(Painting, TransparentLabelShowsTheGradientAroundItsText) {
  Widget* label = CreateLabel(panel_, "Q");
  SetPosition(label, 8, 3);
  SetToolColor(label, 0x00FFFFFF);
  SetFontStyle(label, kFontBold);
  SetTransparent(label, true);
  Show();

  auto check = [&](int textEnd) {
    ScreenShot shot = CaptureScreen(ScreenClientRect(panel_));
    // Beside the text, inside the label: the gradient, not the label's own background.
    EXPECT_EQ(StripMismatches(shot, 10, textEnd, 8 + 64), "");
    EXPECT_EQ(StripMismatches(shot, 4, 8, 8 + 64), "") << "above the letters";
    int white = 0;
    for (int y = 3; y < 20; ++y)
      for (int x = 8; x < textEnd; ++x) white += shot.At(x, y) == 0xFFFFFF;
    EXPECT_GT(white, 5) << "the text itself is drawn";
  };
  check(24);
  SetText(label, "QQ");
  PumpFor(300);
  check(36);
  SetText(label, "Q");
  PumpFor(300);
  EXPECT_EQ(StripMismatches(CaptureScreen(ScreenClientRect(panel_)), 10, 24, 8 + 64), "")
      << "the old text is gone";
}

// Where a transparent bold white "Question:" sits, as the feedback window's title does.
struct TitleCase {
  const char* name;
  bool onForm;  // straight on the form, else on the gradient strip
  int left, top;
  bool autoSize;  // else the label's default width
};

void PrintTo(const TitleCase& c, std::ostream* os) {
  *os << c.name;
}

class TransparentTitle : public Painting, public ::testing::WithParamInterface<TitleCase> {};

// Pixels at least this light in every channel are the white text: what lies beneath the
// label here is far darker, and the glyphs' smoothed edges are not needed.
bool IsWhitish(unsigned pixel) {
  return (pixel & 0xFF) >= 0xE0 && ((pixel >> 8) & 0xFF) >= 0xE0 && (pixel >> 16) >= 0xE0;
}

// Every glyph is drawn whole, the colon last, wherever the label sits in its composition
// root: the text measured in the label's own font is the text that shows.
TEST_P(TransparentTitle, ShowsAllOfItsText) {
  const TitleCase& c = GetParam();
  SetColor(form_, 0x00402000);  // dark, so the white text stands out on the form too
  Widget* parent = c.onForm ? form_ : panel_;
  Widget* label = CreateLabel(parent, "Question:");
  SetPosition(label, c.left, c.top);
  if (c.autoSize) SetAutoSize(label, true);
  SetToolColor(GetFont(label), 0x00FFFFFF);
  SetFontStyle(GetFont(label), kFontBold);
  SetTransparent(label, true);
  Show();

  int whole = TextExtent(WidgetCanvas(label), "Question:").cx;
  int beforeColon = TextExtent(WidgetCanvas(label), "Question").cx;
  ASSERT_LE(whole, GetWidth(label)) << "the label is wide enough for its text";
  ScreenShot shot = CaptureScreen(ScreenClientRect(parent));
  int colon = 0, last = -1;
  // The label may reach past the strip's bottom: only what lies inside its parent shows.
  int bottom = std::min(c.top + GetHeight(label), shot.Height);
  int right = std::min(c.left + GetWidth(label), shot.Width);
  for (int y = c.top; y < bottom; ++y)
    for (int x = c.left; x < right; ++x) {
      if (!IsWhitish(shot.At(x, y))) continue;
      last = std::max(last, x - c.left);
      colon += x - c.left >= beforeColon;
    }
  EXPECT_GE(colon, 4) << "the colon's two dots, in columns " << beforeColon << " to " << whole;
  EXPECT_GE(last, whole - 4) << "text measured " << whole << " px wide";
}

INSTANTIATE_TEST_SUITE_P(Painting, TransparentTitle,
                         ::testing::Values(TitleCase{"StripDefaultWidth", false, 8, 3, false},
                                           TitleCase{"StripFittedToText", false, 8, 3, true},
                                           TitleCase{"StripFurtherIn", false, 40, 2, true},
                                           TitleCase{"DarkForm", true, 30, 60, true}),
                         [](const ::testing::TestParamInfo<TitleCase>& info) {
                           return std::string(info.param.name);
                         });

// The bounding box of the caption's pixels inside the button, away from its frame.
RECT CaptionBox(Widget* button) {
  RECT r = ScreenClientRect(button);
  ScreenShot shot = CaptureScreen(r);
  unsigned text = SwapRedBlue(ToColorRef(button->TextColor));
  RECT box = {shot.Width, shot.Height, -1, -1};
  for (int y = 4; y < shot.Height - 4; ++y)
    for (int x = 4; x < shot.Width - 4; ++x)
      if (shot.At(x, y) == text) {
        box.left = std::min<LONG>(box.left, x);
        box.top = std::min<LONG>(box.top, y);
        box.right = std::max<LONG>(box.right, x + 1);
        box.bottom = std::max<LONG>(box.bottom, y + 1);
      }
  return box;
}

TEST_F(Painting, OwnerDrawnCaptionMovesOnePixelWhilePressed) {
  Show();
  RECT up = CaptionBox(button_);
  ASSERT_GT(up.right, up.left) << "the caption is drawn";
  RECT r = ScreenClientRect(button_);
  int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
  MouseAt(x, y, 0);
  PumpFor(100);
  MouseAt(x, y, MOUSEEVENTF_LEFTDOWN);
  PumpFor(200);
  RECT down = CaptionBox(button_);
  MouseAt(x, y, MOUSEEVENTF_LEFTUP);
  PumpFor(200);
  EXPECT_EQ(down.left, up.left + 1);
  EXPECT_EQ(down.top, up.top + 1);
  EXPECT_EQ(down.right, up.right + 1);
  EXPECT_EQ(down.bottom, up.bottom + 1);
  EXPECT_EQ(clicks_, 1);
}

TEST_F(Painting, DoubleClickOnTheOwnerDrawnButtonClicksTwice) {
  Show();
  PumpFor(static_cast<DWORD>(GetDoubleClickTime()) + 100);  // no earlier click pairs up
  RECT r = ScreenClientRect(button_);
  int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
  MouseAt(x, y, 0);
  MouseAt(x, y, MOUSEEVENTF_LEFTDOWN);
  MouseAt(x, y, MOUSEEVENTF_LEFTUP);
  MouseAt(x, y, MOUSEEVENTF_LEFTDOWN);
  MouseAt(x, y, MOUSEEVENTF_LEFTUP);
  PumpUntil([&] { return clicks_ >= 2; }, 2000);
  PumpFor(100);
  EXPECT_EQ(clicks_, 2);
}

// Runs in a copy of this program that Wine shows another Windows version (see below).
TEST_F(Painting, DISABLED_GradientProbe) {
  const char* expected = getenv("EXPECTED_OS_FAMILY");
  ASSERT_NE(expected, nullptr);
  EXPECT_EQ(ClassifyWindows(), atoi(expected));
  Show();
  ScreenShot shot = CaptureScreen(ScreenClientRect(panel_));
  EXPECT_EQ(StripMismatches(shot, 10, 0, kStripWidth), "");
}

// Runs the probe in a copy of this program named for the mode, with a per-program
// Windows version, so nothing else on the machine sees the change.
DWORD RunProbeAs(const char* mode, const char* family) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string dir(self);
  dir.resize(dir.rfind('\\') + 1);
  std::string name = std::string("painting_probe_") + mode + ".exe";
  std::string copy = dir + name;
  if (!CopyFileA(self, copy.c_str(), FALSE)) return 1000 + GetLastError();

  std::string key = "Software\\Wine\\AppDefaults\\" + name;
  HKEY hkey;
  RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &hkey,
                  nullptr);
  RegSetValueExA(hkey, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(mode),
                 lstrlenA(mode) + 1);
  RegCloseKey(hkey);
  SetEnvironmentVariableA("EXPECTED_OS_FAMILY", family);

  std::string line =
      "\"" + copy +
      "\" --gtest_also_run_disabled_tests --gtest_filter=Painting.DISABLED_GradientProbe";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  DWORD code = 2000;
  if (CreateProcessA(copy.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &process)) {
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
      GetExitCodeProcess(process.hProcess, &code);
    else
      TerminateProcess(process.hProcess, 3000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
  DeleteFileA(copy.c_str());
  return code;
}

TEST(GradientModes, BandByBandInWin98AndStretchedInWinXp) {
  EXPECT_EQ(RunProbeAs("win98", "2"), 0u) << "win98: solid bands";
  EXPECT_EQ(RunProbeAs("winxp", "5"), 0u) << "winxp: a stretched 32-bit DIB";
}

}  // namespace
