// The thread's message loop: one message at a time, all that are queued, and the main
// loop with its ending.
#include "gui/message_loop.h"

bool PumpOne() {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (LOWORD(msg.message) == WM_QUIT) {
    gToolkit.LoopTerminated = true;
  } else {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return LOWORD(msg.message) != 0;
}

void PumpAll() {
  while (PumpOne()) {
  }
}

void RunMainLoop(Widget** mainWidget) {
  ++gToolkit.LoopActive;
  gToolkit.MainWidget = *mainWidget;
  if (gToolkit.MainWidget && gToolkit.MainWidget->CreateWindowHandle())
    UpdateWindow(gToolkit.MainWidget->Handle);
  while (!gToolkit.LoopTerminated) {
    // PumpAll also stops at a WM_NULL; what is queued behind it was seen already, and
    // WaitMessage waits only for news: look again before blocking.
    MSG next;
    if (!PeekMessageA(&next, nullptr, 0, 0, PM_NOREMOVE)) WaitMessage();
    PumpAll();
  }
  EndMainLoop(mainWidget);
}

void EndMainLoop(Widget** mainWidget) {
  bool wasTerminated = gToolkit.LoopTerminated;
  gToolkit.LoopTerminated = true;
  gToolkit.LoopActive = 0;
  Widget* main = gToolkit.MainWidget;
  gToolkit.MainWidget = nullptr;
  if (!main) return;
  AddRef(main);
  if (!wasTerminated) {
    PumpAll();
    Perform(main, WM_CLOSE, 0, 0);
  }
  *mainWidget = nullptr;
  FreeObject(main);
  ReleaseRef(main);
}
