// probe.exe: a small program the harness tests drive instead of the applet.
//   probe ...              writes its exact command line to stdout, exits with code 42
//   probe ... --shell URL  opens URL with ShellExecuteA (no owner, default verb, SW_SHOWNORMAL)
//   probe ... --acp        writes the ANSI code page (GetACP) in decimal
//   probe ... --version    writes "PLATFORM MAJOR.MINOR" from GetVersionExA
//   probe ... --hang       never ends by itself
//   probe ... --window     shows "Harness probe" at 100,100 (300 x 200, client painted in
//                          RGB 0x99,0x66,0x33) with an edit box at client 10,10 (200 x 22,
//                          focused) and a "Done" button at client 10,50 (80 x 25); writes
//                          "clicked:" or "closed:" and the edit's text, then ends
#include <windows.h>

#include <string.h>

static const COLORREF kProbeColor = RGB(0x99, 0x66, 0x33);
static HWND gEdit;

static void Write(const char* text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, lstrlenA(text), &written, nullptr);
}

static void WriteEditText(const char* prefix) {
  char text[1024];
  GetWindowTextA(gEdit, text, sizeof text);
  Write(prefix);
  Write(text);
}

static LRESULT CALLBACK ProbeProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        WriteEditText("clicked:");
        DestroyWindow(window);
      }
      return 0;
    case WM_CLOSE:
      WriteEditText("closed:");
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, msg, wParam, lParam);
}

static int ShowProbeWindow() {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ProbeProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = CreateSolidBrush(kProbeColor);
  windowClass.lpszClassName = "HarnessProbe";
  RegisterClassA(&windowClass);
  HWND window =
      CreateWindowExA(0, "HarnessProbe", "Harness probe", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                      100, 100, 300, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
  gEdit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 10,
                          10, 200, 22, window, nullptr, windowClass.hInstance, nullptr);
  CreateWindowExA(0, "BUTTON", "Done", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 50, 80, 25,
                  window, reinterpret_cast<HMENU>(IDOK), windowClass.hInstance, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  SetForegroundWindow(window);
  SetFocus(gEdit);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}

int main() {
  const char* commandLine = GetCommandLineA();
  if (const char* shell = strstr(commandLine, " --shell ")) {
    HINSTANCE result = ShellExecuteA(nullptr, nullptr, shell + 9, nullptr, nullptr, SW_SHOWNORMAL);
    char text[32];
    wsprintfA(text, "shell %d", static_cast<int>(reinterpret_cast<INT_PTR>(result)));
    Write(text);
    return 0;
  }
  if (strstr(commandLine, " --acp")) {
    char text[16];
    wsprintfA(text, "%u", GetACP());
    Write(text);
    return 0;
  }
  if (strstr(commandLine, " --version")) {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    char text[32];
    wsprintfA(text, "%lu %lu.%lu", version.dwPlatformId, version.dwMajorVersion,
              version.dwMinorVersion);
    Write(text);
    return 0;
  }
  if (strstr(commandLine, " --hang")) Sleep(INFINITE);
  if (strstr(commandLine, " --window")) return ShowProbeWindow();
  Write(commandLine);
  return 42;
}
