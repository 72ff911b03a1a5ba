// System colours resolved through the running system.
#include <windows.h>

#include "gui/color.h"

uint32_t ToColorRef(ColorValue c) {
  return IsSystemColor(c) ? GetSysColor(c & 0xFF) : c;
}
