// Small scope guards for device-context state the painters change for one paint: a
// selected object, a saved DC state, and a paint begun with BeginPaint.
#pragma once

#include <windows.h>

// Selects `object` into `dc` and selects the previous object back at the end.
class SelectedObject {
public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (previous_) SelectObject(dc_, previous_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

private:
  HDC dc_;
  HGDIOBJ previous_;
};

// SaveDC now, RestoreDC at the end: origin, clipping and selections come back.
class SavedDCState {
public:
  explicit SavedDCState(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  ~SavedDCState() {
    if (saved_) RestoreDC(dc_, saved_);
  }
  SavedDCState(const SavedDCState&) = delete;
  SavedDCState& operator=(const SavedDCState&) = delete;

private:
  HDC dc_;
  int saved_;
};

// The DC of a WM_PAINT or WM_PRINTCLIENT: the one handed in through wParam, or one from
// BeginPaint, which is ended at the end of the scope.
class PaintScope {
public:
  PaintScope(HWND window, WPARAM wParam)
      : window_(window), dc_(reinterpret_cast<HDC>(wParam)), began_(false) {
    if (!dc_) {
      dc_ = BeginPaint(window, &paint_);
      began_ = true;
    }
  }
  ~PaintScope() {
    if (began_) EndPaint(window_, &paint_);
  }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;

  HDC DC() const { return dc_; }

private:
  HWND window_;
  HDC dc_;
  bool began_;
  PAINTSTRUCT paint_;
};
