// The keyboard rules with real input (SendInput through the system's input queue):
// Return clicks the default button from an edit box but not from a radio box, Tab
// inserts nothing and moves no focus, Escape does nothing without a cancel button, and
// keys for a window without the focus are dropped.
#include <gtest/gtest.h>

#include "support/gui_test.h"

namespace {

using Lines = std::vector<std::string>;

// Bound of a wait for an event that comes: generous, for a slow (emulated) Wine.
constexpr DWORD kEventMs = 30000;

class Keyboard : public ::testing::Test {
protected:
  void SetUp() override {
    ResetToolkitState();
    MessageLog::Clear();
    MessageLog::Watched() = {WM_LBUTTONDOWN, WM_LBUTTONUP};
    form_ = CreateFormWidget(nullptr, "Keyboard");
    SetPosition(form_, 60, 60);
    SetSize(form_, 320, 220);
    gToolkit.MainWidget = form_;
    gToolkit.LoopActive = 1;  // as inside RunMainLoop: the main widget's filter sees every key

    Widget* group = CreateGroupBox(form_, "");
    SetPosition(group, 8, 8);
    SetSize(group, 200, 120);
    radio_ = CreateRadioBox(group, "Unstable");
    SetTop(radio_, 12);
    CreateRadioBox(group, "Other");
    edit_ = CreateEditBox(group, 0);
    SetPosition(edit_, 8, 80);
    SetSize(edit_, 150, 0);
    other_ = CreateEditBox(form_, 0);
    SetPosition(other_, 8, 140);

    button_ = CreateOwnerDrawButton(form_, "OK", 0, 0, nullptr, 0);
    SetPosition(button_, 220, 150);
    SetSize(button_, 76, 25);
    button_->HandlesReturn = false;
    button_->OnClick = {[](void*, Widget*) { MessageLog::Add("OnClick"); }, nullptr};
    SetDefaultKey(button_, VK_RETURN, true);
    WatchWidget(button_, "button");
    form_->FocusedChild = edit_;

    ASSERT_TRUE(ActivateForm(form_));
    ASSERT_TRUE(PumpUntil([&] { return GetFocus() == edit_->Handle; }, kEventMs));
    ASSERT_TRUE(KeysReachTheEditBox());
    MessageLog::Clear();
  }

  // Whether a Shift press typed now reaches the edit box, tried until kEventMs have passed.
  // The focus is set at once, but a slow (emulated) Wine may still be taking in the
  // activation from the display, and a key typed meanwhile is lost; the tests' own keys
  // come only after one has arrived.
  bool KeysReachTheEditBox() {
    MessageLog::Watched() = {WM_KEYUP};
    WatchWidget(edit_, "edit");
    DWORD start = GetTickCount();
    bool arrived = false;
    while (!arrived && GetTickCount() - start < kEventMs) {
      PressKey(VK_SHIFT);
      arrived = PumpUntil([] { return !MessageLog::Lines().empty(); }, 1000);
    }
    MessageLog::Watched() = {WM_LBUTTONDOWN, WM_LBUTTONUP};
    return arrived;
  }
  void TearDown() override {
    gToolkit.LoopActive = 0;
    gToolkit.MainWidget = nullptr;
    FreeObject(form_);
    PumpFor(50);
    ResetToolkitState();
  }

  Widget* form_;
  Widget* radio_;
  Widget* edit_;
  Widget* other_;
  Widget* button_;
};

TEST_F(Keyboard, ReturnInTheEditBoxPressesAndReleasesTheDefaultButton) {
  PressKey(VK_RETURN);
  PumpUntil([] { return MessageLog::Lines().size() >= 3; }, kEventMs);
  EXPECT_EQ(MessageLog::Lines(),
            (Lines{"button:WM_LBUTTONDOWN", "button:WM_LBUTTONUP", "OnClick"}));
  EXPECT_EQ(GetText(edit_), "") << "the edit box saw no Return";
}

TEST_F(Keyboard, ReturnOnARadioBoxDoesNotClickTheDefaultButton) {
  SetFocus(radio_->Handle);
  ASSERT_TRUE(PumpUntil([&] { return form_->FocusedChild == radio_; }, kEventMs));
  PressKey(VK_RETURN);
  PumpFor(200);
  EXPECT_EQ(MessageLog::Lines(), Lines{});
}

TEST_F(Keyboard, TabInsertsNothingAndMovesNoFocus) {
  PressKey('A');
  PressKey(VK_TAB);
  PressKey('B');
  // Until the last key's character arrives, whatever came before it.
  PumpUntil([&] { return GetText(edit_).Find('b') >= 0; }, kEventMs);
  EXPECT_EQ(GetText(edit_), "ab") << "shown: \"" << GetText(edit_).Data() << "\"";
  EXPECT_EQ(GetFocus(), edit_->Handle);
}

TEST_F(Keyboard, EscapeDoesNothingWithoutACancelButton) {
  PressKey('A');
  PressKey(VK_ESCAPE);
  // The Escape comes right behind the character: once that has arrived, a little longer
  // shows whatever the Escape did.
  PumpUntil([&] { return GetText(edit_).Find('a') >= 0; }, kEventMs);
  PumpFor(200);
  EXPECT_EQ(MessageLog::Lines(), Lines{});
  EXPECT_EQ(GetText(edit_), "a") << "shown: \"" << GetText(edit_).Data() << "\"";
  EXPECT_TRUE(IsWindowVisible(form_->Handle));
  EXPECT_EQ(GetFocus(), edit_->Handle);
}

TEST_F(Keyboard, EscapeClicksTheCancelButtonWhenThereIsOne) {
  Widget* cancel = CreatePushButton(form_, "Cancel");
  SetPosition(cancel, 220, 120);
  cancel->OnClick = {[](void*, Widget*) { MessageLog::Add("cancel:OnClick"); }, nullptr};
  SetDefaultKey(cancel, VK_ESCAPE, true);
  form_->CreateWindowHandle();
  PressKey(VK_ESCAPE);
  PumpUntil([] { return !MessageLog::Lines().empty(); }, kEventMs);
  EXPECT_EQ(MessageLog::Lines(), Lines{"cancel:OnClick"});
}

TEST_F(Keyboard, KeysForAWindowWithoutTheFocusAreDropped) {
  // Only a posted message can address a window that does not have the focus.
  PostMessageA(other_->Handle, WM_CHAR, 'x', 1);
  PostMessageA(edit_->Handle, WM_CHAR, 'y', 1);
  PumpFor(100);
  EXPECT_EQ(GetText(other_), "");
  EXPECT_EQ(GetText(edit_), "y");
}

}  // namespace
