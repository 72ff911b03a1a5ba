// floorwindow.exe CAPTION: the applet's window made with nothing but the system's calls: the
// same form with its icon and the same thirteen child controls (classes, styles, places,
// texts, fonts), each made once at its place inside the hidden form; the group box and the
// title strip fill their backgrounds, the strip with its gradient under a transparent title,
// as the applet's do. Then the form is shown, the edit box focused, the form updated, and a
// message loop runs. No toolkit, no settings, no off-screen composition: what this window
// costs the platform, the least the applet can come down to.
#include "reference_window.h"

namespace {

HFONT gFont;
HFONT gBoldFont;
HWND gStrip;  // the title strip
HWND gTitle;  // its transparent title

// The group box and the title strip: their own background, and their children's colours.
LRESULT CALLBACK ContainerProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  WNDPROC previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_USERDATA));
  HDC dc = reinterpret_cast<HDC>(wParam);
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(window, &r);
      FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
      if (reinterpret_cast<HWND>(lParam) == gTitle) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
      }
      if (msg == WM_CTLCOLOREDIT) break;
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_PAINT:
      if (window == gStrip) {  // shadow to highlight, left to right
        PAINTSTRUCT paint;
        HDC target = BeginPaint(window, &paint);
        RECT r;
        GetClientRect(window, &r);
        COLORREF from = GetSysColor(COLOR_BTNSHADOW), to = GetSysColor(COLOR_BTNHIGHLIGHT);
        DWORD pixels[512];
        int n = r.right < 512 ? r.right : 512;
        for (int i = 0; i < n; ++i) {
          int red = GetRValue(from) + (GetRValue(to) - GetRValue(from)) * i / n;
          int green = GetGValue(from) + (GetGValue(to) - GetGValue(from)) * i / n;
          int blue = GetBValue(from) + (GetBValue(to) - GetBValue(from)) * i / n;
          pixels[i] = static_cast<DWORD>(red << 16 | green << 8 | blue);
        }
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), n, 1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        StretchDIBits(target, 0, 0, r.right, r.bottom, 0, 0, n, 1, pixels, &info, DIB_RGB_COLORS,
                      SRCCOPY);
        EndPaint(window, &paint);
        return 0;
      }
      break;
    default:
      break;
  }
  return CallWindowProcA(previous, window, msg, wParam, lParam);
}

void Contain(HWND window) {
  SetWindowLongPtrA(window, GWLP_USERDATA, GetWindowLongPtrA(window, GWLP_WNDPROC));
  SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ContainerProc));
}

LRESULT CALLBACK FloorWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_DESTROY:
      PostQuitMessage(0);
      break;
    case WM_DRAWITEM: {
      DRAWITEMSTRUCT* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      RECT r = item->rcItem;
      DrawEdge(item->hDC, &r, EDGE_RAISED, BF_RECT | BF_ADJUST);
      SetBkColor(item->hDC, GetSysColor(COLOR_BTNFACE));
      HGDIOBJ old = SelectObject(item->hDC, gFont);
      ExtTextOutA(item->hDC, r.left + 17, r.top + 5, ETO_OPAQUE | ETO_CLIPPED, &r, "Uninstall", 9,
                  nullptr);
      SelectObject(item->hDC, old);
      return TRUE;
    }
    default:
      break;
  }
  return DefWindowProcA(window, msg, wParam, lParam);
}

HWND Child(HWND parent, const char* className, const char* text, DWORD style, DWORD exStyle, int x,
           int y, int width, int height, int id, HFONT font) {
  HWND window = CreateWindowExA(exStyle | WS_EX_CONTROLPARENT, className, text,
                                WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                GetModuleHandleA(nullptr), nullptr);
  SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  return window;
}

}  // namespace

extern "C" __attribute__((force_align_arg_pointer, noreturn)) void ReferenceEntry() {
  HWND form = CreateReferenceForm("FloorWindow", &FloorWindowProc,
                                  LoadIconA(GetModuleHandleA(nullptr), "MAINICON"));
  gFont = CreateFontA(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma");
  gBoldFont = CreateFontA(-11, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma");

  const DWORD clip = WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  const DWORD label = clip | SS_NOTIFY | SS_NOPREFIX | SS_LEFTNOWORDWRAP;
  Child(form, "STATIC", "Why have you made up your mind to remove My Tool?", label, 0, 42, 36, 338,
        14, 1, gBoldFont);
  // The strip paints beneath its transparent title: it does not clip its child out.
  gStrip = Child(form, "STATIC", "", label & ~WS_CLIPCHILDREN, 0, 4, 8, 412, 20, 2, gFont);
  Contain(gStrip);
  gTitle = Child(gStrip, "STATIC", "Question:", label, 0, 8, 3, 64, 14, 3, gBoldFont);
  HWND group =
      Child(form, "BUTTON", "", clip | WS_GROUP | BS_GROUPBOX, 0, 16, 60, 389, 181, 4, gFont);
  Contain(group);
  HWND edit = Child(group, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 78, 150, 301,
                    22, 5, gFont);
  static const char* const kReasons[7] = {"Unstable",
                                          "Lacks some functions",
                                          "Resource hungry",
                                          "Unfriendly interface",
                                          "Too expensive",
                                          "Upgrade version",
                                          "Other"};
  static const int kWidths[7] = {73, 145, 121, 136, 107, 118, 56};  // the applet's auto-sizes
  HWND radio = nullptr;
  for (int i = 0; i < 7; ++i)
    radio = Child(group, "BUTTON", kReasons[i], WS_GROUP | WS_TABSTOP | BS_NOTIFY | BS_RADIOBUTTON,
                  0, 8, 12 + 23 * i, kWidths[i], 22, 6 + i, gFont);
  SendMessageA(radio, BM_SETCHECK, BST_CHECKED, 0);
  Child(form, "BUTTON", "Uninstall", clip | WS_TABSTOP | BS_OWNERDRAW, 0, 328, 252, 76, 25, 13,
        gFont);

  ShowWindow(form, SW_SHOWNORMAL);
  SetFocus(edit);
  UpdateWindow(form);
  RunReferenceLoop();
}
