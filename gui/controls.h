// The concrete controls: constructors with their exact styles and defaults, and the
// behaviour particular to controls (auto-size, radio groups, clicks, default and cancel
// buttons, background colour, frame styles).
#pragma once

#include "gui/transparency.h"
#include "gui/widget.h"

// Edit box options (bits of the `options` set).
enum : unsigned {
  kEditNoHScroll = 1u << 0,
  kEditNoVScroll = 1u << 1,
  kEditLowerCase = 1u << 2,
  kEditMultiLine = 1u << 3,
  kEditNoHideSel = 1u << 4,
  kEditOemConvert = 1u << 5,
  kEditPassword = 1u << 6,
  kEditReadOnly = 1u << 7,
  kEditUpperCase = 1u << 8,
  kEditWantReturn = 1u << 9,
  kEditNumber = 1u << 11,
};

Widget* CreateFormWidget(Widget* parent, const ByteString& text);
Widget* CreateLabel(Widget* parent, const ByteString& text);
Widget* CreateGradientPanel(Widget* parent, ColorValue from, ColorValue to);
Widget* CreateGroupBox(Widget* parent, const ByteString& text);
Widget* CreateEditBox(Widget* parent, unsigned options);
Widget* CreatePushButton(Widget* parent, const ByteString& text);
Widget* CreateCheckBox(Widget* parent, const ByteString& text);
Widget* CreateRadioBox(Widget* parent, const ByteString& text);
// `layout` places the glyph; this toolkit draws no glyph (glyph may be null).
Widget* CreateOwnerDrawButton(Widget* parent, const ByteString& text, unsigned options, int layout,
                              HBITMAP glyph, int glyphCount);

void SetColor(Widget* w, ColorValue color);
void SetLook3D(Widget* w, bool on);
void SetHasBorder(Widget* w, bool on);
void SetResizable(Widget* w, bool on);
void SetGradientDirection(Widget* w, int direction);
// Fits the widget to its text now and after every later text or font change.
Widget* SetAutoSize(Widget* w, bool on);
// key VK_RETURN: w becomes its form's default button; VK_ESCAPE: the cancel button.
void SetDefaultKey(Widget* w, int key, bool on);
bool IsChecked(Widget* w);
void Click(Widget* w);
// Shorthands for the widget's font.
inline void SetFontStyle(Widget* w, unsigned style) {
  SetFontStyle(GetFont(w), style);
}
inline void SetToolColor(Widget* w, ColorValue color) {
  SetToolColor(GetFont(w), color);
}
