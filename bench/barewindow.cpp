// barewindow.exe CAPTION: the floor that firstpaint.exe measures the applet against: one
// class, one window of the applet's size, place, styles and caption, shown, updated, and a
// message loop. Like the applet it links no C run-time, so both pay the same start-up.
#include <windows.h>

namespace {

LRESULT CALLBACK BareWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, msg, wParam, lParam);
}

// The command line after the program's own (possibly quoted) path.
const char* CaptionOf(const char* line) {
  bool quoted = false;
  while (*line && (quoted || *line > ' ')) {
    if (*line == '"') quoted = !quoted;
    ++line;
  }
  while (*line == ' ' || *line == '\t') ++line;
  return line;
}

}  // namespace

extern "C" __attribute__((force_align_arg_pointer, noreturn)) void ReferenceEntry() {
  HINSTANCE module = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass = {};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = &BareWindowProc;
  windowClass.hInstance = module;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = "BareWindow";
  RegisterClassA(&windowClass);
  // The applet's window: 430 x 328 at 324, 199, a dialog frame with a caption and close box.
  HWND window = CreateWindowExA(
      WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE, "BareWindow", CaptionOf(GetCommandLineA()),
      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 324,
      199, 430, 328, nullptr, nullptr, module, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  ExitProcess(0);
}
