// Compiled by the layering tests (tests/CMakeLists.txt) with the include paths of one
// layer: it must fail to find the toolkit's header in net/ and http/, and find it in app/.
#include "gui/os_family.h"

OsFamily LayerProbe() {
  return kOsOther;
}
