// SampleTool.exe: the program of the example installer's product; it only says what it is.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxA(nullptr,
              "Sample Tool stands for a real product. Remove it under Add/Remove Programs to "
              "see the uninstall survey.",
              "Sample Tool", MB_OK | MB_ICONINFORMATION);
  return 0;
}
