// firstpaint.exe RUNS CAPTION COMMANDLINE: measures, from outside, the time from process start
// to the first paint of a program's window, against two references: a bare window (the
// platform's floor for one window) and the floor window (the applet's window made with system
// calls alone: what the window itself costs). Each run starts COMMANDLINE (taken verbatim from
// this program's own command line), barewindow.exe and floorwindow.exe (beside this program,
// same caption), in another order each run so that a busy machine weighs on all alike; for each
// it polls until the top-level window CAPTION is visible and neither it nor any child has
// anything left to paint, then ends the program. Prints every run, the medians, their ratios
// and the polling resolution achieved.
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

// The command line of a program beside this one, given the caption.
static std::vector<char> BesideThis(const char* program, const char* caption) {
  char path[MAX_PATH + 32];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  while (length > 0 && path[length - 1] != '\\') --length;
  lstrcpyA(path + length, program);
  std::vector<char> line(MAX_PATH + 300);
  wsprintfA(line.data(), "\"%s\" %s", path, caption);
  return line;
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

  // The program measured, the bare window and the floor window, each run in turn in
  // another order, so that load from elsewhere weighs on all three alike.
  const int kPrograms = 3;
  std::vector<char> bareLine = BesideThis("barewindow.exe", caption);
  std::vector<char> floorLine = BesideThis("floorwindow.exe", caption);
  const char* lines[kPrograms] = {rest, bareLine.data(), floorLine.data()};

  Timer timer;
  // One untimed round first: the first start of each program after a pause pays for
  // loading files and the desktop that later runs (and real uninstalls) find ready.
  for (const char* line : lines)
    if (MeasureOnce(timer, line, caption, 0) < 0) return 1;
  timer = Timer();
  std::vector<double> times[kPrograms], ratios;
  for (int run = 1; run <= runs; ++run) {
    for (int i = 0; i < kPrograms; ++i) {
      int program = (i + run) % kPrograms;
      double t = MeasureOnce(timer, lines[program], caption, run);
      if (t < 0) return 1;
      times[program].push_back(t);
    }
    ratios.push_back(times[0].back() / times[1].back());
    printf("run %d: %.1f ms, bare window %.1f ms, floor window %.1f ms\n", run, times[0].back(),
           times[1].back(), times[2].back());
    fflush(stdout);
  }
  static const char* const kNames[kPrograms] = {"first paint", "bare window", "floor window"};
  double medians[kPrograms];
  for (int i = 0; i < kPrograms; ++i) {
    medians[i] = Median(times[i]);
    printf("%s: median %.1f ms over %d runs (min %.1f, max %.1f)", kNames[i], medians[i], runs,
           times[i].front(), times[i].back());
    if (i == 0) printf("; polled every %.2f ms (0: painted when first idle)", timer.PollInterval());
    printf("\n");
  }
  // The runs of a round start within a second: the ratio of each round is spared most of
  // the load that changes from second to second.
  printf("ratio of the medians: %.2f; median of the runs' ratios: %.2f\n", medians[0] / medians[1],
         Median(ratios));
  printf("floor window against the bare window: %.2f; first paint against the floor window: %.2f\n",
         medians[2] / medians[1], medians[0] / medians[2]);
  return 0;
}
