// firstpaint.exe RUNS CAPTION COMMANDLINE: measures, from outside, the time from process start
// to the first paint of a program's window, against the floor of a bare window. Each run
// starts COMMANDLINE (taken verbatim from this program's own command line) and then
// barewindow.exe (beside this program, same caption), the order swapped every other run so
// that a busy machine weighs on both alike; for each it polls until the top-level window
// CAPTION is visible and neither it nor any child has anything left to paint, then ends the
// program. Prints every run, both medians, their ratio and the polling resolution achieved.
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

// Milliseconds from the performance counter, and the polling interval achieved.
struct Timer {
  Timer() { QueryPerformanceFrequency(&frequency); }
  double Now() const {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
  }
  double PollInterval() const { return polls ? pollTime / polls : 0.0; }
  LARGE_INTEGER frequency;
  double pollTime = 0;
  long polls = 0;
};

// One run of `commandLine`: milliseconds from just before its start to its window's first
// paint, or -1 (with a message) when none came.
static double MeasureOnce(Timer& timer, const char* commandLine, const char* caption, int run) {
  std::vector<char> line(commandLine, commandLine + lstrlenA(commandLine) + 1);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  double started = timer.Now();
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    fprintf(stderr, "firstpaint: CreateProcess failed, error %lu\n", GetLastError());
    return -1;
  }
  // Until the program first waits for input, polling would only compete with it: the
  // window search and the walk over the update regions are calls into the window server
  // under Wine, many per poll for a window with children, and on a busy machine they slow the
  // program measured, the more so the more windows it has. From then on (its first paint is
  // usually done by then, but need not be), poll.
  WaitForInputIdle(process.hProcess, 30000);
  double painted = -1;
  double lastPoll = timer.Now();
  while (timer.Now() - started < 30000) {
    HWND window = FindWindowA(nullptr, caption);
    if (window && IsWindowVisible(window) && !HasPendingPaint(window)) {
      painted = timer.Now();
      break;
    }
    if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) break;
    double t = timer.Now();
    timer.pollTime += t - lastPoll;
    lastPoll = t;
    ++timer.polls;
  }
  TerminateProcess(process.hProcess, 0);
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  Sleep(200);  // let the ended process's window leave the display
  if (painted < 0) {
    fprintf(stderr, "firstpaint: run %d: no painted window \"%s\" within 30 s from %s\n", run,
            caption, commandLine);
    return -1;
  }
  return painted - started;
}

// Sorts `times` and returns their median.
static double Median(std::vector<double>& times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
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

  char barePath[MAX_PATH + 16];
  DWORD pathLength = GetModuleFileNameA(nullptr, barePath, MAX_PATH);
  while (pathLength > 0 && barePath[pathLength - 1] != '\\') --pathLength;
  lstrcpyA(barePath + pathLength, "barewindow.exe");
  std::vector<char> bareLine(MAX_PATH + 300);
  wsprintfA(bareLine.data(), "\"%s\" %s", barePath, caption);

  Timer timer;
  // One untimed pair first: the first start of each program after a pause pays for
  // loading files and the desktop that later runs (and real uninstalls) find ready.
  if (MeasureOnce(timer, rest, caption, 0) < 0 ||
      MeasureOnce(timer, bareLine.data(), caption, 0) < 0)
    return 1;
  timer = Timer();
  std::vector<double> applet, bare, ratios;
  for (int run = 1; run <= runs; ++run) {
    bool appletFirst = run % 2 == 1;
    double first = MeasureOnce(timer, appletFirst ? rest : bareLine.data(), caption, run);
    double second = MeasureOnce(timer, appletFirst ? bareLine.data() : rest, caption, run);
    if (first < 0 || second < 0) return 1;
    applet.push_back(appletFirst ? first : second);
    bare.push_back(appletFirst ? second : first);
    ratios.push_back(applet.back() / bare.back());
    printf("run %d: %.1f ms, bare window %.1f ms\n", run, applet.back(), bare.back());
    fflush(stdout);
  }
  double appletMedian = Median(applet), bareMedian = Median(bare);
  printf(
      "first paint: median %.1f ms over %d runs (min %.1f, max %.1f); polled every %.2f ms "
      "(0: painted when first idle)\n",
      appletMedian, runs, applet.front(), applet.back(), timer.PollInterval());
  printf("bare window: median %.1f ms over %d runs (min %.1f, max %.1f)\n", bareMedian, runs,
         bare.front(), bare.back());
  // Both runs of a pair start within a second: the ratio of each pair is spared most of
  // the load that changes from second to second.
  printf("ratio of the medians: %.2f; median of the runs' ratios: %.2f\n",
         appletMedian / bareMedian, Median(ratios));
  return 0;
}
