// A new report id from the system's random generator, loaded at run time since Windows
// before XP lacks it; else from what two runs do not share.
#include <windows.h>

#include "app/late_bound.h"
#include "app/report_id.h"

ByteString NewReportId(bool withoutGenerator) {
  typedef BOOLEAN(WINAPI * RandomFunction)(void* buffer, ULONG length);
  RandomFunction random =
      withoutGenerator
          ? nullptr
          : reinterpret_cast<RandomFunction>(LateBound("advapi32.dll", "SystemFunction036"));
  uint64_t bits;
  if (!random || !random(&bits, sizeof(bits))) {
    // Two runs differ in the process id while both run, in the clock and the tick counter
    // otherwise; two ids of one run in the count.
    static DWORD count;
    struct {
      FILETIME now;
      DWORD tick;
      DWORD process;
      DWORD count;
    } run;
    GetSystemTimeAsFileTime(&run.now);
    run.tick = GetTickCount();
    run.process = GetCurrentProcessId();
    run.count = ++count;
    bits = MixReportBits(reinterpret_cast<const uint32_t*>(&run), sizeof(run) / 4);
  }
  return ReportIdText(bits);
}
