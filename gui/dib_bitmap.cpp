// DibBitmap: the pixel buffer, its DIB section and its memory-DC canvas.
#include "gui/dib_bitmap.h"

#include <string.h>

#include "rt/fatal.h"

namespace {

const BYTE kBitsPerPixel[] = {0, 1, 4, 8, 16, 16, 24, 32};

void Write32(BYTE* pixel, uint32_t rgbQuad) {
  // The fourth byte is left as it is.
  pixel[0] = static_cast<BYTE>(rgbQuad);
  pixel[1] = static_cast<BYTE>(rgbQuad >> 8);
  pixel[2] = static_cast<BYTE>(rgbQuad >> 16);
}

[[noreturn]] void DibSectionFailed() {
  DWORD error = GetLastError();
  char text[512];
  int length = wsprintfA(text, "Can not create DIB section, error: %lu, ", error);
  DWORD written = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, text + length, sizeof(text) - length, nullptr);
  text[length + written] = 0;
  FatalError(text);
}

HDC AcquireBitmapDC(void* context, bool* mustRelease) {
  DibBitmap* bitmap = static_cast<DibBitmap*>(context);
  HDC dc = CreateCompatibleDC(nullptr);
  bitmap->OldBitmap = SelectObject(dc, DibHandle(bitmap));
  *mustRelease = true;
  return dc;
}

void ReleaseBitmapDC(void* context, HDC dc) {
  DibBitmap* bitmap = static_cast<DibBitmap*>(context);
  SelectObject(dc, bitmap->OldBitmap);
  bitmap->OldBitmap = nullptr;
  DeleteDC(dc);
}

}  // namespace

DibBitmap* CreateDibBitmap(int width, int height, DibFormat format) {
  DibBitmap* bitmap = CreateObject<DibBitmap>();
  bitmap->Width = width;
  bitmap->Height = height;
  bitmap->Format = format;
  if (width == 0 || height == 0) return bitmap;
  int bits = kBitsPerPixel[format & 7];
  bitmap->Info = static_cast<DibHeader*>(MemAlloc(sizeof(DibHeader)));
  memset(bitmap->Info, 0, sizeof(DibHeader));
  BITMAPINFOHEADER& header = bitmap->Info->Header;
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = width;
  header.biHeight = height;  // positive: rows stored bottom-up
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(bits);
  if (format == kDib16) {
    header.biCompression = BI_BITFIELDS;
    DWORD* masks = reinterpret_cast<DWORD*>(bitmap->Info->Colors);
    masks[0] = 0xF800;
    masks[1] = 0x07E0;
    masks[2] = 0x001F;
  }
  bitmap->ScanLine = ScanLineSize(bits, width);
  bitmap->PixelBytes = bits / 8;
  bitmap->BitsSize = bitmap->ScanLine * height;
  bitmap->Bits = static_cast<BYTE*>(MemAlloc(bitmap->BitsSize));
  memset(bitmap->Bits, 0, bitmap->BitsSize);
  return bitmap;
}

HBITMAP DibHandle(DibBitmap* bitmap) {
  if (bitmap->Handle || !bitmap->Info) return bitmap->Handle;
  HDC screen = GetDC(nullptr);
  void* sectionBits = nullptr;
  HBITMAP handle = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(bitmap->Info),
                                    DIB_RGB_COLORS, &sectionBits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  if (!handle) DibSectionFailed();
  memcpy(sectionBits, bitmap->Bits, bitmap->BitsSize);
  MemFree(bitmap->Bits);
  bitmap->Bits = static_cast<BYTE*>(sectionBits);
  bitmap->BitsInSection = true;
  bitmap->Handle = handle;
  bitmap->WritePixel = nullptr;  // the rows moved: pick the writer again
  return handle;
}

DeviceCanvas* BitmapCanvas(DibBitmap* bitmap) {
  if (bitmap->Width == 0 || bitmap->Height == 0) return nullptr;
  if (!bitmap->Canvas) {
    bitmap->Canvas = CreateCanvas({&AcquireBitmapDC, &ReleaseBitmapDC, bitmap});
    bitmap->Canvas->KeepsDC = true;
    SetToolColor(bitmap->Canvas->Brush, bitmap->BackColor);
  }
  return bitmap->Canvas;
}

void SetDibPixel(DibBitmap* bitmap, int x, int y, ColorValue color) {
  if (!bitmap->Bits || x < 0 || y < 0 || x >= bitmap->Width || y >= bitmap->Height) return;
  if (!bitmap->WritePixel) {
    if (bitmap->Format != kDib32) return;  // only the 32-bit writer is needed
    if (bitmap->Handle) GdiFlush();
    bitmap->WritePixel = &Write32;
    // Bottom-up: scan line y is buffer row Height - 1 - y.
    bitmap->Row0 = bitmap->Bits + (bitmap->Height - 1) * bitmap->ScanLine;
    bitmap->RowStep = -bitmap->ScanLine;
  }
  bitmap->WritePixel(bitmap->Row0 + y * bitmap->RowStep + x * bitmap->PixelBytes, ToRgbQuad(color));
}

void DibBitmap::Dispose() {
  FreeObject(Canvas);  // selects the old bitmap back and deletes its DC
  Canvas = nullptr;
  if (Handle) DeleteObject(Handle);
  if (!BitsInSection) MemFree(Bits);
  MemFree(Info);
  RefObject::Dispose();
}
