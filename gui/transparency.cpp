// Transparent composition: the root paints itself and everything inside it into one
// off-screen image, so a transparent label shows exactly what lies beneath it.
#include "gui/transparency.h"

#include "gui/dc_scope.h"
#include "gui/toolkit_state.h"

namespace {

const char kPrevProcProp[] = "TK_PREV_PROC";

void DeleteComposeBitmap(void* object) {
  Widget* root = static_cast<Widget*>(object);
  if (root->ComposeBitmap) DeleteObject(root->ComposeBitmap);
  root->ComposeBitmap = nullptr;
}

// The screen position of the composed image's top-left corner: a form composes its
// client area, any other root its whole window.
POINT SurfaceOrigin(Widget* root) {
  POINT origin = {0, 0};
  if (root->IsForm) {
    ClientToScreen(root->Handle, &origin);
  } else {
    RECT r;
    GetWindowRect(root->Handle, &r);
    origin = {r.left, r.top};
  }
  return origin;
}

// An off-screen surface for one child's client area at a time, compatible with the
// window's DC and grown as needed during one composition.
class ScratchSurface {
public:
  explicit ScratchSurface(HDC like) : like_(like), dc_(CreateCompatibleDC(like)) {}
  ~ScratchSurface() {
    if (previous_) SelectObject(dc_, previous_);
    if (bitmap_) DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  ScratchSurface(const ScratchSurface&) = delete;
  ScratchSurface& operator=(const ScratchSurface&) = delete;

  // The DC, with room for at least width x height pixels from its origin.
  HDC Fit(int width, int height) {
    if (width > size_.cx || height > size_.cy) {
      size_ = {width > size_.cx ? width : size_.cx, height > size_.cy ? height : size_.cy};
      HBITMAP bitmap = CreateCompatibleBitmap(like_, size_.cx, size_.cy);
      HGDIOBJ old = SelectObject(dc_, bitmap);
      if (!previous_) previous_ = old;
      if (bitmap_) DeleteObject(bitmap_);
      bitmap_ = bitmap;
    }
    return dc_;
  }

private:
  HDC like_;
  HDC dc_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  SIZE size_ = {0, 0};
};

// Paints a child's client area into `dc`, whose origin and clipping are at that area. The
// child paints on a surface of its own whose device origin is its client corner, as with
// BeginPaint: system controls clip to their client rectangle taken in device coordinates
// (the static control does under Wine), so an origin moved by SetViewportOrgEx would cut
// their painting short by the child's offset in the root. The surface starts as a copy of
// what lies beneath, so a transparent child shows it.
void PaintClient(HWND child, HDC dc, const RECT& client, ScratchSurface& scratch) {
  HDC surface = scratch.Fit(client.right, client.bottom);
  SavedDCState saved(surface);  // whatever the child leaves selected or set goes with it
  BitBlt(surface, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
  SendMessageA(child, WM_ERASEBKGND, reinterpret_cast<WPARAM>(surface), 0);
  SendMessageA(child, WM_PAINT, reinterpret_cast<WPARAM>(surface), 0);
  BitBlt(dc, 0, 0, client.right, client.bottom, surface, 0, 0, SRCCOPY);
}

void ComposeChildren(HWND parent, HDC dc, POINT origin, ScratchSurface& scratch) {
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    SavedDCState saved(dc);
    RECT window;
    GetWindowRect(child, &window);
    SetViewportOrgEx(dc, window.left - origin.x, window.top - origin.y, nullptr);
    IntersectClipRect(dc, 0, 0, window.right - window.left, window.bottom - window.top);
    SendMessageA(child, WM_PRINT, reinterpret_cast<WPARAM>(dc), PRF_NONCLIENT);
    POINT client = {0, 0};
    ClientToScreen(child, &client);
    RECT clientRect;
    GetClientRect(child, &clientRect);
    SetViewportOrgEx(dc, client.x - origin.x, client.y - origin.y, nullptr);
    IntersectClipRect(dc, 0, 0, clientRect.right, clientRect.bottom);
    PaintClient(child, dc, clientRect, scratch);
    ComposeChildren(child, dc, origin, scratch);
  }
}

void Compose(Widget* root) {
  HWND window = root->Handle;
  RECT update;
  if (!GetUpdateRect(window, &update, FALSE)) return;
  root->Composing = true;

  RECT windowRect, clientRect;
  GetWindowRect(window, &windowRect);
  GetClientRect(window, &clientRect);
  SIZE size = root->IsForm
                  ? SIZE{clientRect.right, clientRect.bottom}
                  : SIZE{windowRect.right - windowRect.left, windowRect.bottom - windowRect.top};
  // The target: the window DC without clipping out the children, which the image covers.
  HDC target = GetDCEx(window, nullptr, DCX_WINDOW | DCX_CACHE | DCX_CLIPSIBLINGS);
  if (root->ComposeBitmap && (root->ComposeSize.cx != size.cx || root->ComposeSize.cy != size.cy)) {
    DeleteObject(root->ComposeBitmap);
    root->ComposeBitmap = nullptr;
  }
  if (!root->ComposeBitmap) {
    if (!root->ComposeCleanupAttached) {
      AttachCleanup(root, &DeleteComposeBitmap, root);
      root->ComposeCleanupAttached = true;
    }
    root->ComposeBitmap = CreateCompatibleBitmap(target, size.cx, size.cy);
    root->ComposeSize = size;
  }
  HDC memory = CreateCompatibleDC(target);
  {
    SelectedObject image(memory, root->ComposeBitmap);
    HDC oldPaintDC = root->PaintDC;
    root->PaintDC = memory;
    SendMessageA(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0);
    SendMessageA(window, WM_PAINT, reinterpret_cast<WPARAM>(memory), 0);
    ScratchSurface scratch(target);
    ComposeChildren(window, memory, SurfaceOrigin(root), scratch);

    POINT corner = {0, 0};
    if (root->IsForm) {
      POINT client = SurfaceOrigin(root);
      corner = {client.x - windowRect.left, client.y - windowRect.top};
    }
    BitBlt(target, corner.x, corner.y, size.cx, size.cy, memory, 0, 0, SRCCOPY);
    root->PaintDC = oldPaintDC;
  }
  DeleteDC(memory);
  ReleaseDC(window, target);
  // The image holds the children as they are now: what they had left to paint is done too.
  // Validated with the root, they do not each ask for the whole composition once more.
  RedrawWindow(window, nullptr, nullptr, RDW_VALIDATE | RDW_ALLCHILDREN);
  root->Composing = false;
}

bool TransparencyPreMessage(Widget* w, WidgetMessage& m, LRESULT& result) {
  Widget* root = CompositionRoot(w);
  if (!root || !w->Handle) return false;
  switch (LOWORD(m.Msg)) {
    case WM_ERASEBKGND:
      if (w->Parent && (w->Transparent || !root->Composing)) {
        result = 1;
        return true;
      }
      return false;
    case WM_PAINT:
      if (w == root) {
        if (m.WParam) return false;  // the root's own painting, into the composed image
        Compose(root);
        result = 0;
        return true;
      }
      if (root->Composing) return false;
      // All painting under a root goes through the root.
      ValidateRect(w->Handle, nullptr);
      InvalidateRect(root->Handle, nullptr, TRUE);
      result = 0;
      return true;
    case WM_NCPAINT:
      if (!w->IsForm && !root->Composing) {
        result = 0;
        return true;
      }
      return false;
    case WM_SETTEXT:
      if (w->IsLabel) {
        // Hidden while the text changes, so the system draws nothing over the image.
        bool shown = IsWindowVisible(w->Handle) != 0;
        if (shown) ShowWindow(w->Handle, SW_HIDE);
        result = DefWindowProcA(w->Handle, m.Msg, m.WParam, m.LParam);
        if (shown) {
          ShowWindow(w->Handle, SW_SHOWNA);
          UpdateWindow(w->Handle);
        }
        return true;
      }
      return false;
    case WM_WINDOWPOSCHANGED:
    case WM_HSCROLL:
    case WM_VSCROLL:
      InvalidateRect(root->Handle, nullptr, TRUE);
      return false;
    case WM_COMMAND:
      if (HIWORD(m.WParam) == 1) InvalidateRect(root->Handle, nullptr, TRUE);
      return false;
    default:
      return false;
  }
}

void TransparencyInvalidate(Widget* w) {
  Widget* root = CompositionRoot(w);
  if (root && root != w && root->Handle) InvalidateRect(root->Handle, nullptr, TRUE);
}

// Windows inside the tree that are not widgets (a control's own children) must not
// paint their background or frame over the composed image either.
LRESULT CALLBACK SubclassedChildProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  WNDPROC previous = reinterpret_cast<WNDPROC>(GetPropA(window, kPrevProcProp));
  if (msg == WM_ERASEBKGND || msg == WM_NCPAINT) {
    Widget* parent = WidgetFromHandle(GetParent(window));
    if (!WidgetFromHandle(window) && parent) {
      Widget* root = CompositionRoot(parent);
      if (root && !root->Composing) return msg == WM_ERASEBKGND ? 1 : 0;
    }
  }
  return previous ? CallWindowProcA(previous, window, msg, wParam, lParam)
                  : DefWindowProcA(window, msg, wParam, lParam);
}

void SubclassChildWindows(Widget* w) {
  for (HWND child = GetWindow(w->Handle, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetPropA(child, kPrevProcProp)) continue;
    LONG previous =
        SetWindowLongA(child, GWL_WNDPROC, reinterpret_cast<LONG>(&SubclassedChildProc));
    SetPropA(child, kPrevProcProp, reinterpret_cast<HANDLE>(previous));
  }
}

}  // namespace

Widget* CompositionRoot(Widget* w) {
  Widget* root = nullptr;
  for (; w; w = w->Parent)
    if (w->HasTransparentChild) root = w;
  return root;
}

void SetTransparent(Widget* w, bool on) {
  w->Transparent = on;
  if (!on || !w->Parent) return;
  w->Parent->HasTransparentChild = true;
  gToolkit.PreMessageHook = &TransparencyPreMessage;
  gToolkit.InvalidateHook = &TransparencyInvalidate;
  gToolkit.CreationHook = &SubclassChildWindows;
}
