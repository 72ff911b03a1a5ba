// The device-context scope guards: each puts back exactly what it changed.
#include <gtest/gtest.h>

#include "gui/dc_scope.h"
#include "support/pump.h"

namespace {

class DCScopes : public ::testing::Test {
protected:
  void SetUp() override { dc_ = CreateCompatibleDC(nullptr); }
  void TearDown() override { DeleteDC(dc_); }
  HDC dc_;
};

TEST_F(DCScopes, SelectedObjectPutsThePreviousObjectBack) {
  HGDIOBJ original = GetCurrentObject(dc_, OBJ_FONT);
  HFONT font = CreateFontA(-20, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, "Tahoma");
  {
    SelectedObject outer(dc_, font);
    EXPECT_EQ(GetCurrentObject(dc_, OBJ_FONT), font);
    {
      SelectedObject inner(dc_, GetStockObject(SYSTEM_FONT));
      EXPECT_EQ(GetCurrentObject(dc_, OBJ_FONT), GetStockObject(SYSTEM_FONT));
    }
    EXPECT_EQ(GetCurrentObject(dc_, OBJ_FONT), font);
  }
  EXPECT_EQ(GetCurrentObject(dc_, OBJ_FONT), original);
  EXPECT_TRUE(DeleteObject(font)) << "no longer selected anywhere";
}

TEST_F(DCScopes, SavedStateRestoresOriginAndClippingInNestingOrder) {
  {
    SavedDCState outer(dc_);
    SetViewportOrgEx(dc_, 10, 20, nullptr);
    {
      SavedDCState inner(dc_);
      SetViewportOrgEx(dc_, 30, 40, nullptr);
      IntersectClipRect(dc_, 0, 0, 5, 5);
    }
    POINT origin;
    GetViewportOrgEx(dc_, &origin);
    EXPECT_EQ(origin.x, 10);
    EXPECT_EQ(origin.y, 20);
    RECT clip;
    EXPECT_EQ(GetClipBox(dc_, &clip), SIMPLEREGION) << "the inner clip is gone";
  }
  POINT origin;
  GetViewportOrgEx(dc_, &origin);
  EXPECT_EQ(origin.x, 0);
  EXPECT_EQ(origin.y, 0);
}

TEST(PaintScope, BeginsAPaintOnlyWhenNoDCWasHandedIn) {
  HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, -100, -100, 50, 50, nullptr, nullptr,
                                nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  // Only a visible window has an update region; shown off the screen, not activated.
  SetWindowPos(window, nullptr, -100, -100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(window, SW_SHOWNA);
  HDC given = CreateCompatibleDC(nullptr);
  InvalidateRect(window, nullptr, FALSE);
  {
    PaintScope paint(window, reinterpret_cast<WPARAM>(given));
    EXPECT_EQ(paint.DC(), given);
  }
  RECT update;
  EXPECT_TRUE(GetUpdateRect(window, &update, FALSE)) << "a handed-in DC validates nothing";
  {
    PaintScope paint(window, 0);
    EXPECT_NE(paint.DC(), nullptr);
  }
  EXPECT_FALSE(GetUpdateRect(window, &update, FALSE)) << "BeginPaint and EndPaint ran";
  DeleteDC(given);
  DestroyWindow(window);
}

}  // namespace
