// The rules of report delivery, free of Win32: when the statistics server's reply counts
// as accepted, and how much of the wait for it is left on a wrapping millisecond clock.
#pragma once

#include <stdint.h>

#include "rt/object.h"

// How long the applet waits for the server's answer before it falls back to mail.
constexpr uint32_t kReportWaitMs = 3000;

// True when the reply's stored header lines end with the line "OK", exactly.
bool ReplyAccepted(const StringList* headerLines);

// Milliseconds left of a `limit` that started at tick `start`, at tick `now`; 0 once it
// has run out. Ticks are 32-bit and wrap, so the difference is taken modulo 2^32.
uint32_t WaitTimeLeft(uint32_t start, uint32_t now, uint32_t limit);
