// firstpaint.exe RUNS CAPTION COMMANDLINE: measures, from outside, the time from process start
// to the first paint of a program's window. Each run starts COMMANDLINE (taken verbatim from
// this program's own command line), polls until the top-level window CAPTION is visible and
// neither it nor any child has anything left to paint, then ends the program. Prints every
// run, the median, and the polling resolution actually achieved.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

static bool HasPendingPaint(HWND window) {
  if (GetUpdateRect(window, nullptr, FALSE)) return true;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (IsWindowVisible(child) && HasPendingPaint(child)) return true;
  return false;
}

// Returns the next space-separated token of `text` (a leading quoted run may hold spaces).
static const char* NextToken(const char* text, const char** start, int* length) {
  while (*text == ' ' || *text == '\t') ++text;
  *start = text;
  bool quoted = false;
  while (*text && (quoted || (*text != ' ' && *text != '\t'))) {
    if (*text == '"') quoted = !quoted;
    ++text;
  }
  *length = static_cast<int>(text - *start);
  return text;
}

int main() {
  const char* start;
  int length;
  const char* rest = NextToken(GetCommandLineA(), &start, &length);  // this program
  rest = NextToken(rest, &start, &length);
  int runs = atoi(start);
  rest = NextToken(rest, &start, &length);
  char caption[256];
  lstrcpynA(caption, start, std::min(length + 1, static_cast<int>(sizeof caption)));
  while (*rest == ' ') ++rest;
  if (runs < 1 || !*caption || !*rest) {
    fprintf(stderr, "usage: firstpaint RUNS CAPTION COMMANDLINE\n");
    return 2;
  }

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  auto now = [&] {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
  };

  std::vector<double> times;
  double pollTime = 0;
  long polls = 0;
  for (int run = 1; run <= runs; ++run) {
    std::vector<char> commandLine(rest, rest + lstrlenA(rest) + 1);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    double started = now();
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      fprintf(stderr, "firstpaint: CreateProcess failed, error %lu\n", GetLastError());
      return 1;
    }
    double painted = -1;
    double lastPoll = started;
    while (now() - started < 30000) {
      HWND window = FindWindowA(nullptr, caption);
      if (window && IsWindowVisible(window) && !HasPendingPaint(window)) {
        painted = now();
        break;
      }
      if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) break;
      double t = now();
      pollTime += t - lastPoll;
      lastPoll = t;
      ++polls;
    }
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (painted < 0) {
      fprintf(stderr, "firstpaint: run %d: no painted window \"%s\" within 30 s\n", run, caption);
      return 1;
    }
    times.push_back(painted - started);
    printf("run %d: %.1f ms\n", run, painted - started);
    Sleep(200);  // let the ended process's window leave the display
  }
  std::sort(times.begin(), times.end());
  printf("first paint: median %.1f ms over %d runs (min %.1f, max %.1f); polled every %.2f ms\n",
         times[times.size() / 2], runs, times.front(), times.back(),
         polls ? pollTime / polls : 0.0);
  return 0;
}
