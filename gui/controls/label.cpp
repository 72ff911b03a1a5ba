// The label: a static text control that reports clicks.
#include "gui/controls/label.h"

#include "gui/controls/child_control.h"

namespace {

constexpr ClassActionRecord kStaticActions = {0, 0, 0, 0, 1, 1};

}  // namespace

Widget* CreateLabel(Widget* parent, const ByteString& text, Widget* made) {
  Widget* w =
      CreateChild(parent, "STATIC", kControlStyle | SS_NOTIFY | SS_NOPREFIX | SS_LEFTNOWORDWRAP,
                  kStaticActions, false, made);
  w->IsLabel = true;
  SetDefaultBounds(w, 64, 22);
  SetText(w, text);
  return w;
}
