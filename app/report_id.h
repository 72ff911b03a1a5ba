// The report id: 64 random bits per run, sent with the report and written into the mail,
// so that a maker can tell a report that was both stored and mailed from two reports.
#pragma once

#include <stdint.h>

#include "rt/byte_string.h"

// 16 lower-case hexadecimal digits, the highest first.
ByteString ReportIdText(uint64_t bits);

// Stirs `words` into 64 bits for a system without a random generator. Runs whose inputs
// differ in one word always get different results: every step is invertible.
uint64_t MixReportBits(const uint32_t* words, int count);

// Win32 only: a new id from the system's generator, or from the time, the counters and
// the process id where the system has none (or, for a test, `withoutGenerator`).
ByteString NewReportId(bool withoutGenerator = false);
