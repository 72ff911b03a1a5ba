// barewindow.exe CAPTION: the floor that firstpaint.exe measures the applet against: one
// class, one window of the applet's size, place, styles and caption, shown, updated, and a
// message loop. Like the applet it links no C run-time, so both pay the same start-up.
#include "reference_window.h"

namespace {

LRESULT CALLBACK BareWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, msg, wParam, lParam);
}

}  // namespace

extern "C" __attribute__((force_align_arg_pointer, noreturn)) void ReferenceEntry() {
  HWND window = CreateReferenceForm("BareWindow", &BareWindowProc, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  RunReferenceLoop();
}
