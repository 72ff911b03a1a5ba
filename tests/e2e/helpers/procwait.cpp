// procwait.exe NAME [TIMEOUT_MS]: waits until every process that runs, when it starts, from
// an image file named NAME (no folder, case ignored) has ended. It prints how many it found
// and returns 0 once they have all ended, 1 when one still runs after TIMEOUT_MS, 2 on an
// error. Tests wait so for programs they did not start themselves, such as the copy of
// itself that an uninstaller re-launches from the temporary folder.
#include <windows.h>

#include <tlhelp32.h>

#include <stdio.h>
#include <stdlib.h>

static const char* BaseName(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  return name;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: procwait NAME [TIMEOUT_MS]\n");
    return 2;
  }
  DWORD timeout = argc > 2 ? strtoul(argv[2], nullptr, 10) : INFINITE;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 2;
  HANDLE found[MAXIMUM_WAIT_OBJECTS];
  DWORD count = 0;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more && count < MAXIMUM_WAIT_OBJECTS;
       more = Process32Next(snapshot, &entry)) {
    if (lstrcmpiA(BaseName(entry.szExeFile), argv[1]) != 0) continue;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (process) found[count++] = process;
  }
  CloseHandle(snapshot);
  printf("%lu\n", count);
  fflush(stdout);
  DWORD result = count == 0 ? WAIT_OBJECT_0 : WaitForMultipleObjects(count, found, TRUE, timeout);
  for (DWORD i = 0; i < count; ++i) CloseHandle(found[i]);
  if (result == WAIT_TIMEOUT) return 1;
  return result == WAIT_FAILED ? 2 : 0;
}
