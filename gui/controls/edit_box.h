// The edit box and its options.
#pragma once

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

Widget* CreateEditBox(Widget* parent, unsigned options);
