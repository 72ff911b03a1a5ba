// GDI objects over many lives of a window like the feedback form: built, shown, painted
// (transparent composition, gradient, owner-drawn button, auto-size, font changes) and
// freed, the process's count of GDI objects must come back to where it was.
#include <gtest/gtest.h>

#include <stdio.h>

#include "support/gui_test.h"

namespace {

// GetGuiResources answers 0 under Wine, so the count comes from where Windows and Wine
// both keep the process's GDI handles: the table that the PEB's GdiSharedHandleTable
// (offset 0x94 in a 32-bit PEB) points to. Wine's entries are 24 bytes, the type byte at
// offset 14 and 0 for a free entry; Windows answers GetGuiResources itself.
DWORD GdiObjects() {
  DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (count) return count;
  const BYTE* peb;
  asm("movl %%fs:0x30, %0" : "=r"(peb));  // the PEB of a 32-bit process
  const BYTE* table = *reinterpret_cast<const BYTE* const*>(peb + 0x94);
  if (!table) return 0;
  for (int i = 0; i < 0x4000; ++i)
    if (table[i * 24 + 14]) ++count;
  return count;
}

void OneLife(int round) {
  Widget* form = CreateTahomaForm("Leak", 60, 60, 430, 240);
  gToolkit.MainWidget = form;
  GradientPanel* panel = CreateGradientPanel(form, kColorButtonShadow, kColorButtonHighlight);
  SetSize(panel, 412, 40);
  SetGradientDirection(panel, 1);
  Widget* title = CreateLabel(panel, "Title");
  SetTransparent(title, true);
  SetFontStyle(title, kFontBold);
  SetToolColor(title, 0xFFFFFF);
  SetAutoSize(title, true);
  Widget* group = CreateGroupBox(form, "Reasons");
  SetPosition(group, 4, 50);
  Widget* radio = CreateRadioBox(group, "Other");
  SetAutoSize(radio, true);
  Widget* edit = CreateEditBox(form, kEditNoHScroll | kEditNoVScroll);
  SetPosition(edit, 120, 60);
  SetColor(edit, kColorWindow);
  Widget* button = CreateOwnerDrawButton(form, "Uninstall", 0, 0, nullptr, 0);
  SetPosition(button, 300, 180);
  SetDefaultKey(button, VK_RETURN, true);
  form->CreateWindowHandle();
  PumpFor(30);
  SetText(title, round % 2 ? "Changed" : "Title");
  RedrawWindow(form->Handle, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  SetFocus(button->Handle);
  PumpFor(30);
  gToolkit.MainWidget = nullptr;
  FreeObject(form);
  PumpFor(10);
}

TEST(GdiLeaks, AWindowLikeTheFormGivesBackEveryGdiObject) {
  ResetToolkitState();
  // The count must see one brush come and go, or the comparison below proves nothing.
  DWORD start = GdiObjects();
  HBRUSH probe = CreateSolidBrush(0x123456);
  ASSERT_EQ(start + 1, GdiObjects());
  DeleteObject(probe);
  ASSERT_EQ(start, GdiObjects());
  OneLife(0);  // the first life makes what the process keeps for good (stock, classes)
  DWORD before = GdiObjects();
  for (int i = 1; i <= 40; ++i) OneLife(i);
  DWORD after = GdiObjects();
  EXPECT_LE(after, before + 2) << "before " << before << ", after " << after;
  printf("GDI objects: %lu before, %lu after 40 lives of the window\n", before, after);
  ResetToolkitState();
}

// A button whose click frees its form, then measures or paints with its font: the form's
// font (whose handle the button's shared) is gone by then.
void FreeTheFormFromItsButton() {
  Widget* form = CreateFormWidget(nullptr, "Leak");
  Widget* button = CreatePushButton(form, "Free");
  GetHandle(button);
  button->OnClick = {[](void*, Widget* sender) {
                       FreeObject(sender->Parent);
                       GetToolHandle(GetFont(sender));
                     },
                     nullptr};
  Click(button);
}

TEST(GdiLeaks, AButtonThatFreesItsFormGivesBackTheFontItUsesAfterwards) {
  ResetToolkitState();
  FreeTheFormFromItsButton();
  DWORD before = GdiObjects();
  for (int i = 0; i < 5; ++i) FreeTheFormFromItsButton();
  EXPECT_EQ(before, GdiObjects());
}

}  // namespace
