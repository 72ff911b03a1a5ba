// Helpers of the toolkit's Win32 tests: a form in the applet's font, a message log filled
// by an attached handler, real input through SendInput, and screen sampling. Each test
// starts with ResetToolkitState.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/controls.h"
#include "gui/message_loop.h"
#include "support/pump.h"

// A top-level form at (x, y) of the given size in the feedback window's font, 8-point
// Tahoma; no window is made yet.
inline Widget* CreateTahomaForm(const char* caption, int x, int y, int width, int height) {
  Widget* form = CreateFormWidget(nullptr, caption);
  SetPosition(form, x, y);
  SetSize(form, width, height);
  SetFontHeight(GetFont(form), -11);
  SetFontName(GetFont(form), "Tahoma");
  return form;
}

// Messages seen by widgets that carry the logging handler, as "name:message".
struct MessageLog {
  static std::vector<std::string>& Lines() {
    static std::vector<std::string> lines;
    return lines;
  }
  static std::vector<UINT>& Watched() {
    static std::vector<UINT> watched;
    return watched;
  }
  static void Add(const std::string& line) { Lines().push_back(line); }
  static void Clear() { Lines().clear(); }
};

inline const char* MessageName(UINT msg) {
  switch (msg) {
    case WM_CLOSE:
      return "WM_CLOSE";
    case WM_NCDESTROY:
      return "WM_NCDESTROY";
    case WM_DESTROY:
      return "WM_DESTROY";
    case WM_KEYDOWN:
      return "WM_KEYDOWN";
    case WM_KEYUP:
      return "WM_KEYUP";
    case WM_CHAR:
      return "WM_CHAR";
    case WM_LBUTTONDOWN:
      return "WM_LBUTTONDOWN";
    case WM_LBUTTONUP:
      return "WM_LBUTTONUP";
    case WM_LBUTTONDBLCLK:
      return "WM_LBUTTONDBLCLK";
    case WM_STYLECHANGING:
      return "WM_STYLECHANGING";
    case WM_STYLECHANGED:
      return "WM_STYLECHANGED";
    case WM_SETFOCUS:
      return "WM_SETFOCUS";
    case WM_NULL:
      return "WM_NULL";
    default:
      break;
  }
  static char text[16];
  wsprintfA(text, "0x%04X", msg);
  return text;
}

// Attached handler: logs the watched messages under the name given by WatchWidget.
inline bool LoggingHandler(Widget* w, WidgetMessage& m, LRESULT&) {
  for (UINT watched : MessageLog::Watched()) {
    if (LOWORD(m.Msg) == watched) {
      const char* name =
          w->Handle ? static_cast<const char*>(GetPropA(w->Handle, "TEST_NAME")) : nullptr;
      MessageLog::Add(std::string(name ? name : "?") + ":" + MessageName(LOWORD(m.Msg)));
    }
  }
  return false;
}

// Logs the watched messages of w under `name` (its window is created if needed).
inline void WatchWidget(Widget* w, const char* name) {
  SetPropA(GetHandle(w), "TEST_NAME", const_cast<char*>(name));
  AttachHandler(w, &LoggingHandler);
}

// Real keyboard input: the key goes down and up through the system's input queue.
inline void PressKey(WORD vk) {
  INPUT input[2] = {};
  for (int i = 0; i < 2; ++i) {
    input[i].type = INPUT_KEYBOARD;
    input[i].ki.wVk = vk;
    input[i].ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, 0));
    input[i].ki.dwFlags = i ? KEYEVENTF_KEYUP : 0;
  }
  SendInput(2, input, sizeof(INPUT));
  PumpFor(100);
}

// Real mouse input at screen coordinates.
inline void MouseAt(int x, int y, DWORD flags) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
  input.mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
  input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | flags;
  SendInput(1, &input, sizeof(INPUT));
}

// Pixels of a screen rectangle, as 0x00RRGGBB, row by row from the top.
struct ScreenShot {
  int Width = 0, Height = 0;
  std::vector<unsigned> Pixels;
  unsigned At(int x, int y) const { return Pixels[y * Width + x]; }
};

inline ScreenShot CaptureScreen(const RECT& r) {
  ScreenShot shot;
  shot.Width = r.right - r.left;
  shot.Height = r.bottom - r.top;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = shot.Width;
  info.bmiHeader.biHeight = -shot.Height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, shot.Width, shot.Height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const unsigned* p = static_cast<const unsigned*>(bits);
  shot.Pixels.assign(p, p + shot.Width * shot.Height);
  for (unsigned& pixel : shot.Pixels) pixel &= 0xFFFFFF;
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return shot;
}

// The screen rectangle of a widget's client area.
inline RECT ScreenClientRect(Widget* w) {
  RECT r;
  GetClientRect(w->Handle, &r);
  MapWindowPoints(w->Handle, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// Brings the form to the front with the keyboard focus, as a click on it would.
inline bool ActivateForm(Widget* form) {
  form->CreateWindowHandle();  // creates and shows the tree, as the loop does
  SetForegroundWindow(form->Handle);
  return PumpUntil([&] { return GetForegroundWindow() == form->Handle; }, 3000);
}
