// textwidth.exe FILE: for each line of FILE ("B " or "N " and a text in the ANSI code page),
// prints the text's width in pixels in the applet's font (Tahoma, 11 pixels high; B: bold),
// as the system draws it for this process's language, other fonts linked in included.
#include <windows.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  FILE* in = fopen(argv[1], "rb");
  if (!in) return 2;
  HDC dc = GetDC(nullptr);
  char line[1024];
  while (fgets(line, sizeof(line), in)) {
    size_t length = strcspn(line, "\r\n");
    if (length < 2) continue;
    LOGFONTA font = {};
    font.lfHeight = -11;
    font.lfWeight = line[0] == 'B' ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    strcpy(font.lfFaceName, "Tahoma");
    HFONT handle = CreateFontIndirectA(&font);
    HGDIOBJ old = SelectObject(dc, handle);
    SIZE size = {};
    GetTextExtentPoint32A(dc, line + 2, static_cast<int>(length - 2), &size);
    SelectObject(dc, old);
    DeleteObject(handle);
    printf("%ld\n", size.cx);
  }
  fflush(stdout);
  ReleaseDC(nullptr, dc);
  return 0;
}
