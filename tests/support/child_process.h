// Test helper: runs a program under its own command line, collects its standard output and
// waits for it with a deadline.
#pragma once

#include <windows.h>

#include <string>

// The folder of the running test program, with a trailing backslash.
inline std::string ProgramFolder() {
  char path[MAX_PATH + 1];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

// A started child process; the handles close with the object.
class ChildProcess {
public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() {
    if (output_) CloseHandle(output_);
    if (info_.hThread) CloseHandle(info_.hThread);
    if (info_.hProcess) {
      if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(info_.hProcess, 1);
      CloseHandle(info_.hProcess);
    }
  }

  // Starts `commandLine`; with captureOutput its standard output goes into a pipe.
  bool Start(const std::string& commandLine, bool captureOutput) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE writeEnd = nullptr;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    if (captureOutput) {
      if (!CreatePipe(&output_, &writeEnd, &inherit, 0)) return false;
      SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
      startup.dwFlags = STARTF_USESTDHANDLES;
      startup.hStdOutput = writeEnd;
      startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
      startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    std::string line = commandLine;
    BOOL ok = CreateProcessA(nullptr, &line[0], nullptr, nullptr, captureOutput, 0, nullptr,
                             nullptr, &startup, &info_);
    if (writeEnd) CloseHandle(writeEnd);  // the child holds its own copy
    return ok != FALSE;
  }

  DWORD Id() const { return info_.dwProcessId; }

  // Everything the child writes until it closes its output.
  std::string ReadOutput() {
    std::string text;
    char buffer[512];
    DWORD got = 0;
    while (output_ && ReadFile(output_, buffer, sizeof(buffer), &got, nullptr) && got > 0)
      text.append(buffer, got);
    return text;
  }

  // The exit code, or STILL_ACTIVE when the child has not ended within timeoutMs.
  DWORD Wait(DWORD timeoutMs) {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0)
      GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

private:
  PROCESS_INFORMATION info_ = {};
  HANDLE output_ = nullptr;
};
