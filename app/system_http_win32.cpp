// The report's GET through WinINet on a worker thread. The worker and the caller share one
// record; whichever of them lets go of it last frees it. When the caller's wait ends first,
// it closes the worker's open handles, which ends a call blocked in them, and waits a
// moment for the worker to leave WinINet before the program goes on to its end.
#include <windows.h>
// After windows.h, which it needs; only its types and constants: the DLL is loaded below.
#include <wininet.h>

#include "app/delivery_rules.h"
#include "app/report_address.h"
#include "app/system_http.h"
#include "net/thunks.h"
#include "rt/memory.h"
#include "rt/system_library.h"

namespace {

// The entry points, in the order of kEntryNames.
struct WinInet {
  HINTERNET(WINAPI* Open)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD);
  HINTERNET(WINAPI* OpenUrl)(HINTERNET, LPCSTR, LPCSTR, DWORD, DWORD, DWORD_PTR);
  BOOL(WINAPI* Read)(HINTERNET, LPVOID, DWORD, LPDWORD);
  BOOL(WINAPI* QueryInfo)(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD);
  BOOL(WINAPI* Close)(HINTERNET);
  BOOL(WINAPI* SetOption)(HINTERNET, DWORD, LPVOID, DWORD);
};
const char* const kEntryNames[] = {"InternetOpenA",  "InternetOpenUrlA",    "InternetReadFile",
                                   "HttpQueryInfoA", "InternetCloseHandle", "InternetSetOptionA"};
const int kEntryCount = sizeof(kEntryNames) / sizeof(kEntryNames[0]);
WinInet gWinInet;

// The own client's user agent: the server sees the same program either way.
const char kUserAgent[] = "ExitPoll-HTTP";
// Straight from the server, never from a cache on the way (a cached "OK" would be a report
// that never arrived), nothing kept on disk, no cookies and no dialog. No flag that relaxes
// certificate checks, ever. Redirects are followed here rather than by the system, which
// (under Wine) follows one from HTTPS down to plain HTTP as well.
const DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE |
                            INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                            INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;
const int kMaxRedirects = 5;
// Room for a Location beyond the report's own address; a longer one is not followed.
const int kLocationRoom = 1024;
// Posted by the worker to the caller's hidden window when it is done.
const UINT kReplyMessage = WM_APP + 17;
// How long the caller's end waits for a worker still inside WinINet.
const DWORD kWorkerExitWaitMs = 300;

// Only the tail of the body matters to the reply rule; longer bodies are read through.
const int kBodyBuffer = 512;
const int kBodyTail = 8;

enum : LONG { kPending, kAccepted, kRefused, kAbandoned };

}  // namespace

struct SystemRequest {
  LONG State;            // kPending until the worker or the caller settles it; atomic
  HWND Notify;           // the caller's hidden window, which only the caller destroys
  BoundMethod<> OnDone;  // raised by that window when the worker has settled the state
  HANDLE Worker;         // the worker thread; only the caller uses and closes it
  DWORD Start;           // tick count at the start: the wait's limit bounds every time-out
  HINTERNET Handle[2];   // the session and the reply open now: taken (atomically) by the one
                         // side that closes each
  DWORD Size;            // of each of the two buffers at Url: the address and a redirect's Location
  char Url[1];
};

namespace {

bool LoadWinInet() {
  if (gWinInet.SetOption) return true;
  HMODULE dll = LoadSystemLibrary("wininet.dll");
  if (!dll) return false;
  WinInet loaded;
  FARPROC* entries = reinterpret_cast<FARPROC*>(&loaded);
  for (int i = 0; i < kEntryCount; ++i)
    if (!(entries[i] = GetProcAddress(dll, kEntryNames[i]))) return false;
  gWinInet = loaded;
  return true;
}

// Closes the handle in `slot` unless the other side has taken it already.
void CloseTaken(HINTERNET* slot) {
  HINTERNET handle = __atomic_exchange_n(slot, nullptr, __ATOMIC_ACQ_REL);
  if (handle) gWinInet.Close(handle);
}

bool ReadsOk(HINTERNET reply) {
  char body[kBodyBuffer];
  int kept = 0;
  for (;;) {
    if (kept > kBodyBuffer - kBodyTail) {
      memmove(body, body + kept - kBodyTail, kBodyTail);
      kept = kBodyTail;
    }
    DWORD got = 0;
    if (!gWinInet.Read(reply, body + kept, kBodyBuffer - kept, &got)) return false;
    if (got == 0) return LastLineIsOk(body, kept);
    kept += got;
  }
}

// Connect, send and receive may take no longer than the wait has left; false once it has
// run out.
bool LimitTimes(SystemRequest* request, HINTERNET session) {
  DWORD left = WaitTimeLeft(request->Start, GetTickCount(), kReportWaitMs);
  const DWORD options[] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                           INTERNET_OPTION_RECEIVE_TIMEOUT};
  for (DWORD option : options) gWinInet.SetOption(session, option, &left, sizeof(left));
  return left > 0;
}

// One GET of `url`; the status and, for a redirect, where it leads (empty when it is not
// to be followed). Accepted only for a 2xx whose body's last line is "OK".
LONG Hop(SystemRequest* request, HINTERNET session, const char* url, char* location) {
  HINTERNET reply = gWinInet.OpenUrl(session, url, nullptr, 0, kRequestFlags, 0);
  if (!reply) return kRefused;
  __atomic_store_n(&request->Handle[1], reply, __ATOMIC_RELEASE);
  // The caller may have let go while the request was made: then it is not read on.
  if (__atomic_load_n(&request->State, __ATOMIC_ACQUIRE) != kPending) {
    CloseTaken(&request->Handle[1]);
    return kRefused;
  }
  DWORD status = 0, size = sizeof(status);
  gWinInet.QueryInfo(reply, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                     nullptr);
  LONG result = kRefused;
  location[0] = 0;
  if (status / 100 == 3) {
    size = request->Size;
    // Unreadable or longer than the buffer: not followed, and its body is not judged.
    if (!gWinInet.QueryInfo(reply, HTTP_QUERY_LOCATION, location, &size, nullptr)) location[0] = 0;
  } else if (status / 100 == 2 && ReadsOk(reply)) {
    result = kAccepted;
  }
  CloseTaken(&request->Handle[1]);
  return result;
}

// The GET of the request's Url and of each redirect that may be followed; the final reply
// is judged. Stops before the next request once the caller has let go.
LONG Exchange(SystemRequest* request, HINTERNET session) {
  char* url = request->Url;
  char* location = url + request->Size;
  for (int hop = 0; hop <= kMaxRedirects; ++hop) {
    if (__atomic_load_n(&request->State, __ATOMIC_ACQUIRE) != kPending) break;
    if (!LimitTimes(request, session)) break;
    LONG result = Hop(request, session, url, location);
    if (!location[0]) return result;
    ByteString next = RedirectTarget(url, location, request->Size - 1);
    if (next.IsEmpty()) break;
    memcpy(location, next.Data(), next.Length() + 1);
    char* swap = location;
    location = url;
    url = swap;
  }
  return kRefused;
}

DWORD WINAPI SendRequest(void* parameter) {
  auto* request = static_cast<SystemRequest*>(parameter);
  HWND notify = request->Notify;
  HINTERNET session = gWinInet.Open(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  __atomic_store_n(&request->Handle[0], session, __ATOMIC_RELEASE);
  LONG result = session ? Exchange(request, session) : kRefused;
  CloseTaken(&request->Handle[0]);
  LONG pending = kPending;
  if (__atomic_compare_exchange_n(&request->State, &pending, result, false, __ATOMIC_ACQ_REL,
                                  __ATOMIC_ACQUIRE))
    PostMessageA(notify, kReplyMessage, 0, 0);
  else
    MemFree(request);  // abandoned: the caller has let go already
  return 0;
}

// The worker posts only once it has settled the state, and then lets go of the record; the
// caller frees it only after the window is gone: the record is there for the message.
void ReplyArrived(void* request, WindowMessage* message) {
  if (message->Msg == kReplyMessage) static_cast<SystemRequest*>(request)->OnDone();
}

}  // namespace

SystemRequest* StartSystemRequest(const ByteString& url, BoundMethod<> onDone) {
  if (!LoadWinInet()) return nullptr;
  DWORD size = url.Length() + kLocationRoom;
  auto* request = static_cast<SystemRequest*>(MemAlloc(sizeof(SystemRequest) + 2 * size));
  memset(request, 0, sizeof(SystemRequest));
  request->Start = GetTickCount();
  request->Size = size;
  memcpy(request->Url, url.Data(), url.Length() + 1);
  request->OnDone = onDone;
  request->Notify = CreateUtilityWindowHandle(WindowMethod{&ReplyArrived, request});
  if (!request->Notify) {  // the reply could not be heard of: as without the stack
    MemFree(request);
    return nullptr;
  }
  DWORD id;
  // Without a worker nothing is sent, and the wait runs out into the mail.
  request->Worker = CreateThread(nullptr, 0, &SendRequest, request, 0, &id);
  return request;
}

bool FinishSystemRequest(SystemRequest* request) {
  HWND window = request->Notify;
  HANDLE worker = request->Worker;
  // While the state is pending the worker does not free the record. Closing its handles
  // ends a call blocked in them; each is closed by exactly one side.
  if (__atomic_load_n(&request->State, __ATOMIC_ACQUIRE) == kPending) {
    CloseTaken(&request->Handle[1]);
    CloseTaken(&request->Handle[0]);
  }
  LONG pending = kPending;
  bool settled = !__atomic_compare_exchange_n(&request->State, &pending, kAbandoned, false,
                                              __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
  // Settled: the worker has let go; pending: it frees the record itself when it is done.
  // The window goes first: a message of the worker's still queued then reaches nobody.
  DestroyUtilityWindowHandle(window);
  if (settled) MemFree(request);
  if (worker) {
    // The program ends soon after: not while the worker may still be inside WinINet, if
    // it leaves within a moment.
    WaitForSingleObject(worker, kWorkerExitWaitMs);
    CloseHandle(worker);
  }
  return settled && pending == kAccepted;
}
