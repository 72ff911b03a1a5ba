// Test helper: while it lives, one of this process's import slots (the address the code's
// calls go through, as `extern "C" void* slot asm("__imp__Name@N")`) holds a stand-in.
#pragma once

#include <windows.h>

class ImportStandIn {
public:
  ImportStandIn(void*& slot, void* standIn) : slot_(slot), saved_(Swap(slot, standIn)) {}
  ~ImportStandIn() { Swap(slot_, saved_); }
  ImportStandIn(const ImportStandIn&) = delete;
  ImportStandIn& operator=(const ImportStandIn&) = delete;

private:
  static void* Swap(void*& slot, void* code) {
    DWORD access;
    VirtualProtect(&slot, sizeof(void*), PAGE_READWRITE, &access);
    void* old = slot;
    slot = code;
    VirtualProtect(&slot, sizeof(void*), access, &access);
    return old;
  }

  void*& slot_;
  void* saved_;
};
