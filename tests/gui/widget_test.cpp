// Widgets and controls before the loop runs: styles and default bounds of every
// constructor, windows created hidden on demand, auto-size, radio groups, clicks, the
// size lock, and destruction. No window here is shown.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "support/gui_test.h"

namespace {

class Widgets : public ::testing::Test {
protected:
  void SetUp() override {
    ResetToolkitState();
    form_ = CreateTahomaForm("Widgets", 100, 100, 430, 328);
  }
  void TearDown() override { FreeObject(form_); }

  // The width and height of `text` in w's font, measured independently of the toolkit.
  SIZE Measure(Widget* w, const char* text) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, GetToolHandle(GetFont(w)));
    SIZE size;
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return size;
  }

  Widget* form_;
};

TEST_F(Widgets, ConstructorsSetTheirStylesAndDefaultBounds) {
  Widget* group = CreateGroupBox(form_, "group");
  struct Row {
    const char* why;
    Widget* w;
    DWORD style, exStyle;
    RECT bounds;
  } rows[] = {
      {"label", CreateLabel(form_, "l"), 0x5600018C, 0x00010000, {2, 2, 66, 24}},
      {"gradient panel", CreateGradientPanel(form_, 0, 0), 0x5600018C, 0x00010000, {2, 2, 42, 42}},
      {"group box", group, 0x56030007, 0x00010000, {2, 2, 102, 144}},
      {"edit box", CreateEditBox(form_, 0), 0x560100C0, 0x00010200, {2, 2, 102, 24}},
      {"multi-line edit",
       CreateEditBox(form_, kEditMultiLine),
       0x563100C4,
       0x00010200,
       {2, 2, 202, 202}},
      {"push button", CreatePushButton(form_, "p"), 0x56011000, 0x00010000, {2, 2, 66, 24}},
      {"check box", CreateCheckBox(form_, "c"), 0x50010003, 0x00010000, {2, 2, 74, 24}},
      {"owner-drawn",
       CreateOwnerDrawButton(form_, "o", 0, 0, nullptr, 0),
       0x5601000B,
       0x00010000,
       {2, 2, 66, 24}},
      {"label in a group box sits below its caption",
       CreateLabel(group, "g"),
       0x5600018C,
       0x00010000,
       {2, 24, 66, 46}},
      {"group box in a group box is shorter by the inset",
       CreateGroupBox(group, "g"),
       0x56030007,
       0x00010000,
       {2, 24, 102, 144}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.w->Style, row.style) << row.why;
    EXPECT_EQ(row.w->ExStyle, row.exStyle) << row.why;
    EXPECT_TRUE(EqualRect(&row.w->Bounds, &row.bounds))
        << row.why << ": " << row.w->Bounds.left << "," << row.w->Bounds.top << ","
        << row.w->Bounds.right << "," << row.w->Bounds.bottom;
    EXPECT_EQ(row.w->Handle, nullptr) << row.why << ": no window yet";
  }
  EXPECT_EQ(form_->Style, 0x16CF0000u);
  EXPECT_EQ(form_->ExStyle, 0x00010000u);
  EXPECT_FALSE(group->TabStop);
}

TEST_F(Widgets, BorderOffRemovesTheFrameAndTheEdgesOnly) {
  struct Row {
    const char* why;
    Widget* w;
    DWORD exStyleBefore, style, exStyle;
  } rows[] = {
      // Without WS_EX_CONTROLPARENT, Tab no longer reaches the controls inside a group box.
      {"form", form_, 0x00010101, 0x96000000, 0x00010000},
      {"panel", CreateGradientPanel(form_, 0, 0), 0x00030301, 0x5600018C, 0x00010000},
  };
  for (const Row& row : rows) {
    SetExStyle(row.w, row.exStyleBefore);
    SetHasBorder(row.w, false);
    EXPECT_EQ(row.w->Style, row.style) << row.why;
    EXPECT_EQ(row.w->ExStyle, row.exStyle) << row.why;
  }
}

TEST_F(Widgets, ControlIdsFollowEachOther) {
  Widget* a = CreateLabel(form_, "a");
  Widget* b = CreateLabel(form_, "b");
  EXPECT_EQ(b->ControlId, a->ControlId + 1);
  EXPECT_GE(a->ControlId, 0x8000u);
  EXPECT_EQ(form_->ControlId, 0u);
}

TEST_F(Widgets, SetSizeWithZeroHeightChangesOnlyTheWidth) {
  Widget* edit = CreateEditBox(form_, 0);
  SetSize(edit, 301, 0);
  EXPECT_EQ(GetWidth(edit), 301);
  EXPECT_EQ(GetHeight(edit), 22);
}

TEST_F(Widgets, ClientWidthOfAFormWithoutWindowCreatesItHidden) {
  ASSERT_EQ(form_->Handle, nullptr);
  int width = ClientWidth(form_);
  ASSERT_NE(form_->Handle, nullptr);
  RECT client;
  GetClientRect(form_->Handle, &client);
  EXPECT_EQ(width, client.right);
  EXPECT_GT(width, 0);
  EXPECT_LT(width, 430) << "the frame takes its share";
  EXPECT_FALSE(IsWindowVisible(form_->Handle));
  EXPECT_TRUE(form_->CreatedHidden);
}

TEST_F(Widgets, FormNeverPositionedOpensAtTheDefaultPlace) {
  // Bounds set behind the setters' back: the left and top were never set explicitly.
  Widget* unplaced = CreateFormWidget(nullptr, "unplaced");
  unplaced->Bounds = {50, 60, 250, 160};
  RECT placed, defaulted;
  GetWindowRect(GetHandle(unplaced), &defaulted);
  GetWindowRect(GetHandle(form_), &placed);
  EXPECT_FALSE(defaulted.left == 50 && defaulted.top == 60) << "the system chose the place";
  EXPECT_EQ(defaulted.right - defaulted.left, 200) << "the size is still the given one";
  EXPECT_EQ(placed.left, 100);
  EXPECT_EQ(placed.top, 100);
  FreeObject(unplaced);
}

TEST_F(Widgets, TheSameStyleTwiceReachesTheWindowOnce) {
  Widget* label = CreateLabel(form_, "styled");
  MessageLog::Clear();
  MessageLog::Watched() = {WM_STYLECHANGING};
  WatchWidget(label, "label");
  SetStyle(label, label->Style | SS_CENTER);
  SetStyle(label, label->Style);
  SetExStyle(label, label->ExStyle | WS_EX_STATICEDGE);
  SetExStyle(label, label->ExStyle);
  EXPECT_EQ(MessageLog::Lines(),
            (std::vector<std::string>{"label:WM_STYLECHANGING", "label:WM_STYLECHANGING"}));
}

TEST_F(Widgets, AutoSizeFitsTheText) {
  Widget* label = SetAutoSize(CreateLabel(form_, "Question:"), true);
  Widget* empty = SetAutoSize(CreateLabel(form_, ""), true);
  Widget* radio = CreateRadioBox(form_, "Other");
  SetAutoSize(radio, true);
  Widget* edit = CreateEditBox(form_, 0);
  SetText(edit, "typed");
  SetAutoSize(edit, true);
  Widget* button = SetAutoSize(CreateOwnerDrawButton(form_, "Uninstall", 0, 0, nullptr, 0), true);

  SIZE text = Measure(label, "Question:");
  EXPECT_EQ(GetWidth(label), text.cx + 1);
  EXPECT_EQ(GetHeight(label), text.cy + 1);
  EXPECT_EQ(GetWidth(empty), 1);
  EXPECT_EQ(GetHeight(empty), 1);
  EXPECT_EQ(GetWidth(radio), Measure(radio, "Other").cx + 24);
  EXPECT_EQ(GetHeight(radio), 22) << "a radio box keeps its height";
  EXPECT_EQ(GetWidth(edit), 100) << "an edit box keeps its width";
  EXPECT_EQ(GetHeight(edit), Measure(edit, "typed").cy + 6);
  SIZE caption = Measure(button, "Uninstall");
  EXPECT_EQ(GetWidth(button), caption.cx + 8);
  EXPECT_EQ(GetHeight(button), caption.cy + 8);
}

// The size each window was created with, seen by a CBT hook.
std::vector<std::pair<HWND, SIZE>> gMadeSizes;

LRESULT CALLBACK RecordMadeSize(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    const CREATESTRUCTA* cs = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
    gMadeSizes.push_back({reinterpret_cast<HWND>(wParam), SIZE{cs->cx, cs->cy}});
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(Widgets, AnAutoSizedControlsWindowIsMadeAtItsFinalSize) {
  GetHandle(form_);
  gMadeSizes.clear();
  HHOOK hook = SetWindowsHookExA(WH_CBT, &RecordMadeSize, nullptr, GetCurrentThreadId());
  Widget* made[] = {SetAutoSize(CreateLabel(form_, "Question:"), true),
                    SetAutoSize(CreateCheckBox(form_, "Too expensive"), true),
                    SetAutoSize(CreateOwnerDrawButton(form_, "Uninstall", 0, 0, nullptr, 0), true)};
  UnhookWindowsHookEx(hook);
  ASSERT_EQ(gMadeSizes.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(gMadeSizes[i].first, made[i]->Handle);
    EXPECT_EQ(gMadeSizes[i].second.cx, GetWidth(made[i])) << i;
    EXPECT_EQ(gMadeSizes[i].second.cy, GetHeight(made[i])) << i;
  }
  EXPECT_GT(GetWidth(made[1]), 72) << "measured, not the default width";
}

TEST_F(Widgets, AutoSizeFollowsTextAndFontChanges) {
  Widget* label = SetAutoSize(CreateLabel(form_, "Why"), true);
  SetText(label, "Why have you made up your mind to remove it?");
  EXPECT_EQ(GetWidth(label), Measure(label, "Why have you made up your mind to remove it?").cx + 1);
  int plain = GetWidth(label);
  SetFontStyle(label, kFontBold);
  EXPECT_EQ(GetWidth(label), Measure(label, "Why have you made up your mind to remove it?").cx + 1);
  EXPECT_GT(GetWidth(label), plain);
}

TEST_F(Widgets, GroupBoxClientAreaLeavesRoomForCaptionAndFrame) {
  Widget* group = CreateGroupBox(form_, "");
  SetPosition(group, 16, 60);
  SetSize(group, 389, 181);
  EXPECT_EQ(ClientHeight(group), 181 - 22 - 2);
  EXPECT_EQ(ClientWidth(group), 389 - 2 - 2);
  EXPECT_EQ((ClientHeight(group) - 16) / 6, 23) << "the feedback form's row step";
}

TEST_F(Widgets, FirstRadioBoxStartsCheckedAndClickingAnotherClearsIt) {
  Widget* group = CreateGroupBox(form_, "");
  Widget* edit = CreateEditBox(group, 0);
  Widget* first = CreateRadioBox(group, "Unstable");
  Widget* second = CreateRadioBox(group, "Too expensive");
  Widget* last = CreateRadioBox(group, "Other");
  EXPECT_TRUE(IsChecked(first));
  EXPECT_FALSE(IsChecked(second));
  EXPECT_FALSE(IsChecked(edit)) << "an edit box among radio boxes reads as unchecked";
  EXPECT_FALSE(IsWindowVisible(first->Handle)) << "created hidden";

  int clicks = 0;
  last->OnClick = {[](void* counter, Widget*) { ++*static_cast<int*>(counter); }, &clicks};
  Click(last);
  EXPECT_TRUE(IsChecked(last));
  EXPECT_FALSE(IsChecked(first));
  EXPECT_FALSE(IsChecked(second));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(group->FirstRadioId, first->ControlId);
  EXPECT_EQ(group->LastRadioId, last->ControlId);
}

TEST_F(Widgets, FirstTabStopControlBecomesTheFocusedChild) {
  CreateLabel(form_, "no tab stop");
  Widget* edit = CreateEditBox(form_, 0);
  CreatePushButton(form_, "later");
  EXPECT_EQ(form_->FocusedChild, edit);
}

TEST_F(Widgets, SizeLockAnswersHitTestsAndTrackingSizes) {
  SetResizable(form_, false);
  HWND window = form_->Handle;
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(GetWindowLongA(window, GWL_STYLE) & WS_THICKFRAME) << "the sizing frame stays";
  RECT r;
  GetWindowRect(window, &r);
  int midY = (r.top + r.bottom) / 2;
  LRESULT hit = SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(r.right - 2, midY));
  EXPECT_EQ(hit, HTBORDER);
  hit = SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(r.right - 2, r.bottom - 2));
  EXPECT_EQ(hit, HTBORDER) << "corner";

  MINMAXINFO info = {};
  SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, 430);
  EXPECT_EQ(info.ptMinTrackSize.y, 328);
  EXPECT_EQ(info.ptMaxTrackSize.x, 430);
  EXPECT_EQ(info.ptMaxTrackSize.y, 328);

  SetWindowPos(window, nullptr, 0, 0, 600, 500, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  GetWindowRect(window, &r);
  EXPECT_EQ(r.right - r.left, 430);
  EXPECT_EQ(r.bottom - r.top, 328);

  SetResizable(form_, true);
  hit = SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(r.right - 2, midY));
  EXPECT_EQ(hit, HTRIGHT) << "a resizable form sizes from its border again";
}

TEST_F(Widgets, FreeingTheFormDestroysTheWindowsAndNotifiesOnce) {
  Widget* label = CreateLabel(form_, "child");
  HWND labelWindow = GetHandle(label);
  HWND formWindow = form_->Handle;
  int notified = 0;
  form_->DestroyNotify = {[](void* counter, RefObject*) { ++*static_cast<int*>(counter); },
                          &notified};
  FreeObject(form_);
  form_ = nullptr;
  EXPECT_EQ(notified, 1);
  EXPECT_FALSE(IsWindow(labelWindow));
  EXPECT_FALSE(IsWindow(formWindow));
}

TEST_F(Widgets, FreedButtonsStopBeingDefaultAndCancel) {
  gToolkit.MainWidget = form_;
  Widget* ok = CreateOwnerDrawButton(form_, "OK", 0, 0, nullptr, 0);
  Widget* cancel = CreatePushButton(form_, "Cancel");
  SetDefaultKey(ok, VK_RETURN, true);
  SetDefaultKey(cancel, VK_ESCAPE, true);
  EXPECT_EQ(form_->DefaultButton, ok);
  EXPECT_EQ(form_->CancelButton, cancel);
  EXPECT_EQ(form_->OnMessage.Code, &DialogKeyFilter);
  FreeObject(ok);
  FreeObject(cancel);
  EXPECT_EQ(form_->DefaultButton, nullptr);
  EXPECT_EQ(form_->CancelButton, nullptr);
  SetDefaultKey(form_, VK_RETURN, false);
  EXPECT_FALSE(form_->OnMessage.Assigned()) << "the filter is removed again";
}

// The procedure each destruction message of an edit window is about to reach.
std::vector<LONG> gDestroyProcs;
LRESULT CALLBACK RecordDestroy(int code, WPARAM wParam, LPARAM lParam) {
  const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && (call->message == WM_DESTROY || call->message == WM_NCDESTROY)) {
    char name[32] = "";
    GetClassNameA(call->hwnd, name, sizeof(name));
    if (lstrcmpA(name, "tk_EDIT") == 0)
      gDestroyProcs.push_back(GetWindowLongA(call->hwnd, GWL_WNDPROC));
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(Widgets, FreedControlIsDestroyedByItsSystemClass) {
  Widget* edit = CreateEditBox(form_, 0);
  HWND window = GetHandle(edit);
  LONG systemProc = reinterpret_cast<LONG>(edit->SystemProc);
  ASSERT_NE(systemProc, 0);
  gDestroyProcs.clear();
  HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, &RecordDestroy, nullptr, GetCurrentThreadId());
  FreeObject(edit);
  UnhookWindowsHookEx(hook);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(gDestroyProcs, (std::vector<LONG>{systemProc, systemProc}))
      << "WM_DESTROY and WM_NCDESTROY go to the edit control's own procedure";
  EXPECT_EQ(ChildCount(form_), 0);
}

TEST_F(Widgets, TextIsKeptBeforeAndReadFromTheWindowAfter) {
  Widget* edit = CreateEditBox(form_, 0);
  SetText(edit, "before");
  EXPECT_EQ(GetText(edit), "before");
  GetHandle(edit);
  SetWindowTextA(edit->Handle, "typed by the user");
  EXPECT_EQ(GetText(edit), "typed by the user");
}

}  // namespace
