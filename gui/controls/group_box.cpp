// The group box: a framed caption over a client area, painted in the form's background.
#include "gui/controls/group_box.h"

#include "gui/background.h"
#include "gui/controls/child_control.h"
#include "gui/window_proc.h"

Widget* CreateGroupBox(Widget* parent, const ByteString& text) {
  Widget* w = CreateChild(parent, "BUTTON", kControlStyle | WS_GROUP | WS_TABSTOP | BS_GROUPBOX,
                          kButtonActions, false);
  int t = parent ? UnscaledFromDpi(parent->ClientInsets.Top, gToolkit.Dpi) : 0;
  SetDefaultBounds(w, 100, 142 - t);
  w->TabStop = false;
  w->ClientInsets = {Scaled(22), Scaled(2), Scaled(2), Scaled(2)};
  AttachHandler(w, &BackgroundPainter);
  SetText(w, text);
  return w;
}
