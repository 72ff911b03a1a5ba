// The opt-in sharp window on a scaled desktop: the process tells the system it draws at the
// system's DPI itself, so that the system does not draw it at 96 DPI and stretch it.
#pragma once

// Declares the process system-DPI aware, with the newest of the three ways the system has
// (none before Vista, where nothing stretches a window anyway), and returns the system's
// DPI as the process then sees it. Call before the first window is made.
int DeclareDpiAware();
