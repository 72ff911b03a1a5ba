// capture.exe: a stand-in mail program for tests. Registered as the mailto handler, it
// appends its whole command line and a line feed to the file named by EXITPOLL_CAPTURE_FILE
// (else capture.log beside itself), so a test sees the exact URL the shell handed over.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("EXITPOLL_CAPTURE_FILE", path, sizeof path);
  if (length == 0 || length >= sizeof path) {
    length = GetModuleFileNameA(nullptr, path, sizeof path);
    while (length > 0 && path[length - 1] != '\\') --length;
    lstrcpyA(path + length, "capture.log");
  }
  // Another capture may be appending at the same moment: retry while the file is locked.
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) Sleep(20);
  }
  if (file == INVALID_HANDLE_VALUE) return 1;
  SetFilePointer(file, 0, nullptr, FILE_END);
  const char* line = GetCommandLineA();
  DWORD written = 0;
  WriteFile(file, line, lstrlenA(line), &written, nullptr);
  WriteFile(file, "\n", 1, &written, nullptr);
  CloseHandle(file);
  return 0;
}
