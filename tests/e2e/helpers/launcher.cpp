// launcher.exe CMDFILE [TIMEOUT_MS [RESULTFILE]]: starts a program with exactly the command
// line stored in CMDFILE (raw bytes, no line end), which Wine's own start-up would re-quote,
// waits for it, and returns its exit code. RESULTFILE receives the full 32-bit exit code in
// decimal, "timeout" (the child was ended after TIMEOUT_MS) or "error N".
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

static std::string ReadFileBytes(const char* path) {
  std::string bytes;
  HANDLE file =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

static void WriteResult(const char* path, const char* text) {
  if (!path) return;
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text, lstrlenA(text), &written, nullptr);
  CloseHandle(file);
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: launcher CMDFILE [TIMEOUT_MS [RESULTFILE]]\n");
    return 254;
  }
  DWORD timeout = argc > 2 ? strtoul(argv[2], nullptr, 10) : INFINITE;
  const char* resultPath = argc > 3 ? argv[3] : nullptr;
  std::string commandLine = ReadFileBytes(argv[1]);

  // The child shares our standard handles, so a console probe's output reaches our caller.
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  // The child runs in a job that ends it when our last handle to the job goes, also when
  // we are killed: a test that gives up on us leaves no program (and window) behind. What
  // the child starts in turn (a mail program) stays out of the job.
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
  if (job) SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                      nullptr, nullptr, &startup, &process)) {
    char text[32];
    wsprintfA(text, "error %lu", GetLastError());
    WriteResult(resultPath, text);
    fprintf(stderr, "launcher: CreateProcess failed: %s\n", text);
    return 255;
  }
  if (job) AssignProcessToJobObject(job, process.hProcess);
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);

  DWORD exitCode = 0;
  if (WaitForSingleObject(process.hProcess, timeout) == WAIT_TIMEOUT) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
    WriteResult(resultPath, "timeout");
    CloseHandle(process.hProcess);
    return 253;
  }
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  char text[16];
  wsprintfA(text, "%lu", exitCode);
  WriteResult(resultPath, text);
  return static_cast<int>(exitCode);
}
