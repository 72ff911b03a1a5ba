// wintree.exe CAPTION [TRIGGER]: describes the live top-level window with that caption and all its
// descendants as one JSON object on stdout, so that tests can read positions, texts, styles,
// check states, the keyboard focus and the responsiveness of another process's window. Texts are
// the window's ANSI bytes, each written as the code point of the same value (read them back as
// Latin-1).
#include <windows.h>

#include <stdio.h>

#include <string>

static HWND gFocus;

static std::string Quoted(const char* text) {
  std::string out = "\"";
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    if (*p >= 0x20 && *p < 0x7F && *p != '"' && *p != '\\') {
      out += static_cast<char>(*p);
    } else {
      char escape[8];
      wsprintfA(escape, "\\u%04x", *p);
      out += escape;
    }
  }
  return out + "\"";
}

static std::string Number(long value) {
  char text[16];
  wsprintfA(text, "%ld", value);
  return text;
}

static std::string Bool(bool value) {
  return value ? "true" : "false";
}

static std::string Describe(HWND window) {
  char className[256] = "";
  GetClassNameA(window, className, sizeof className);
  // WM_GETTEXT is marshalled between processes; GetWindowText would give only the name the
  // window was created with for another process's controls.
  static char text[65536];
  text[0] = 0;
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 2000, &ignored);
  RECT rect = {};
  GetWindowRect(window, &rect);
  RECT client = {};
  GetClientRect(window, &client);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  LONG style = GetWindowLongA(window, GWL_STYLE);
  std::string checked = "null";
  // The toolkit's controls are superclasses named after the system class ("tk_BUTTON").
  int classLength = lstrlenA(className);
  if (classLength >= 6 && lstrcmpiA(className + classLength - 6, "Button") == 0) {
    DWORD_PTR state = 0;
    SendMessageTimeoutA(window, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &state);
    checked = Number(static_cast<long>(state));
  }

  std::string out = "{\"hwnd\": " + Number(reinterpret_cast<LONG_PTR>(window));
  out += ", \"class\": " + Quoted(className) + ", \"text\": " + Quoted(text);
  out += ", \"rect\": [" + Number(rect.left) + ", " + Number(rect.top) + ", " +
         Number(rect.right - rect.left) + ", " + Number(rect.bottom - rect.top) + "]";
  out += ", \"client\": [" + Number(origin.x) + ", " + Number(origin.y) + ", " +
         Number(client.right) + ", " + Number(client.bottom) + "]";
  out += ", \"style\": " + Number(style) +
         ", \"exstyle\": " + Number(GetWindowLongA(window, GWL_EXSTYLE));
  out += ", \"visible\": " + Bool(IsWindowVisible(window)) +
         ", \"enabled\": " + Bool(IsWindowEnabled(window));
  out += ", \"focused\": " + Bool(window == gFocus) + ", \"checked\": " + checked;
  out += ", \"children\": [";
  bool first = true;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!first) out += ", ";
    out += Describe(child);
    first = false;
  }
  return out + "]}";
}

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    fprintf(stderr, "usage: wintree CAPTION [TRIGGER]\n");
    return 2;
  }
  if (argc == 3) {
    // Started ahead of time: say so, then look once the file TRIGGER exists (at most two
    // minutes on), so that the look itself costs no start-up of a program.
    printf("ready\n");
    fflush(stdout);
    for (int i = 0; i < 24000 && GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES; ++i)
      Sleep(5);
  }
  HWND window = FindWindowA(nullptr, argv[1]);
  if (!window) {
    printf("{\"found\": false}\n");
    return 1;
  }
  GUITHREADINFO thread = {};
  thread.cbSize = sizeof thread;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread);
  gFocus = thread.hwndFocus;
  // Whether the window's thread is pumping: a hung window answers no sent message.
  DWORD start = GetTickCount();
  DWORD_PTR ignored = 0;
  long responds = SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored)
                      ? static_cast<long>(GetTickCount() - start)
                      : -1;
  std::string out = "{\"found\": true, \"focus\": " + Number(reinterpret_cast<LONG_PTR>(gFocus));
  out += ", \"active\": " + Number(reinterpret_cast<LONG_PTR>(thread.hwndActive));
  out += ", \"respondsMs\": " + Number(responds);
  out += ", \"window\": " + Describe(window) + "}\n";
  fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
