// The IDs of the program's icon groups, for app/exitpoll.rc and the code that loads them.
#pragma once

// The big icon drawn at 48 and 64 pixels, for a DPI-aware window on a scaled desktop.
// The program's own icon is the group named MAINICON.
#define EXITPOLL_SCALED_ICON 2
