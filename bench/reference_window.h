// What the two reference windows of firstpaint.exe share: the applet's form (its size, place,
// styles and caption from the command line), and the message loop that ends the process.
// Header-only: the reference programs link no C run-time and no library of the product.
#pragma once

#include <windows.h>

// The command line after the program's own (possibly quoted) path.
inline const char* CaptionOf(const char* line) {
  bool quoted = false;
  while (*line && (quoted || *line > ' ')) {
    if (*line == '"') quoted = !quoted;
    ++line;
  }
  while (*line == ' ' || *line == '\t') ++line;
  return line;
}

// The applet's window, hidden: 430 x 328 at 324, 199, a dialog frame with a caption and
// close box, of a class of its own with the arrow cursor and the button-face background.
inline HWND CreateReferenceForm(const char* className, WNDPROC procedure, HICON icon) {
  HINSTANCE module = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass = {};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = module;
  windowClass.hIcon = icon;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = className;
  RegisterClassA(&windowClass);
  return CreateWindowExA(
      WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE, className, CaptionOf(GetCommandLineA()),
      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 324,
      199, 430, 328, nullptr, nullptr, module, nullptr);
}

// Dispatches messages until the window is closed, then ends the process.
[[noreturn]] inline void RunReferenceLoop() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  ExitProcess(0);
}
