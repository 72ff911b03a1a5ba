// The edit box: single- or multi-line, its options mapped to edit styles.
#include "gui/controls/edit_box.h"

#include "gui/controls/child_control.h"

namespace {

constexpr ClassActionRecord kEditActions = {0, EN_SETFOCUS, EN_KILLFOCUS, EN_CHANGE, 0, 6};

}  // namespace

Widget* CreateEditBox(Widget* parent, unsigned options) {
  static const DWORD kOptionStyles[12] = {0,
                                          0,
                                          ES_LOWERCASE,
                                          ES_MULTILINE,
                                          ES_NOHIDESEL,
                                          ES_OEMCONVERT,
                                          ES_PASSWORD,
                                          ES_READONLY,
                                          ES_UPPERCASE,
                                          ES_WANTRETURN,
                                          0,
                                          ES_NUMBER};
  DWORD style = 0;
  for (int i = 0; i < 12; ++i)
    if (options & (1u << i)) style |= kOptionStyles[i];
  if (!(options & kEditNoHScroll)) style |= WS_HSCROLL | ES_AUTOHSCROLL;
  if (!(options & kEditNoVScroll)) style |= WS_VSCROLL | ES_AUTOVSCROLL;
  if (!(options & kEditMultiLine)) style &= ~(WS_HSCROLL | WS_VSCROLL);
  style |= WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP;

  Widget* w = CreateChild(parent, "EDIT", style, kEditActions, true);
  if (options & kEditMultiLine) {
    SetDefaultBounds(w, 200, 200);
    w->HandlesReturn = true;
  } else {
    SetDefaultBounds(w, 100, 22);
  }
  w->Cursor = LoadCursorA(nullptr, IDC_IBEAM);
  return w;
}
