// The report's GET through WinINet on a worker thread. The worker and the caller share one
// record; whichever of them lets go of it last frees it, so the caller may stop waiting at
// any moment and end the program without waiting for the worker.
#include <windows.h>
// After windows.h, which it needs; only its types and constants: the DLL is loaded below.
#include <wininet.h>

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
};
const char* const kEntryNames[] = {"InternetOpenA", "InternetOpenUrlA", "InternetReadFile",
                                   "HttpQueryInfoA", "InternetCloseHandle"};
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
// Room for a Location beyond the report's own address.
const int kLocationRoom = 1024;
// Posted by the worker to the caller's hidden window when it is done.
const UINT kReplyMessage = WM_APP + 17;

// Only the tail of the body matters to the reply rule; longer bodies are read through.
const int kBodyBuffer = 512;
const int kBodyTail = 8;

enum : LONG { kPending, kAccepted, kRefused, kAbandoned };

}  // namespace

struct SystemRequest {
  LONG State;   // kPending until the worker or the caller settles it; atomic
  HWND Notify;  // the caller's hidden window, which only the caller destroys
  DWORD Size;   // of each of the two buffers at Url: the address and a redirect's Location
  char Url[1];
};

namespace {

bool LoadWinInet() {
  if (gWinInet.Close) return true;
  HMODULE dll = LoadSystemLibrary("wininet.dll");
  if (!dll) return false;
  WinInet loaded;
  FARPROC* entries = reinterpret_cast<FARPROC*>(&loaded);
  for (int i = 0; i < kEntryCount; ++i)
    if (!(entries[i] = GetProcAddress(dll, kEntryNames[i]))) return false;
  gWinInet = loaded;
  return true;
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

// The GET of the request's Url and of each redirect that may be followed; the final reply
// is judged. Stops before the next request once the caller has let go.
LONG Exchange(HINTERNET session, SystemRequest* request) {
  char* url = request->Url;
  char* location = url + request->Size;
  for (int hop = 0; hop <= kMaxRedirects; ++hop) {
    if (__atomic_load_n(&request->State, __ATOMIC_ACQUIRE) != kPending) break;
    HINTERNET reply = gWinInet.OpenUrl(session, url, nullptr, 0, kRequestFlags, 0);
    if (!reply) break;
    DWORD status = 0, size = sizeof(status);
    gWinInet.QueryInfo(reply, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                       nullptr);
    size = request->Size;
    bool moved = status / 100 == 3 &&
                 gWinInet.QueryInfo(reply, HTTP_QUERY_LOCATION, location, &size, nullptr);
    bool ok = !moved && ReadsOk(reply);
    gWinInet.Close(reply);
    if (!moved) return ok ? kAccepted : kRefused;
    if (!MayFollowRedirect(url, location)) break;
    char* next = location;
    location = url;
    url = next;
  }
  return kRefused;
}

DWORD WINAPI SendRequest(void* parameter) {
  auto* request = static_cast<SystemRequest*>(parameter);
  HWND notify = request->Notify;
  HINTERNET session = gWinInet.Open(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  LONG result = session ? Exchange(session, request) : kRefused;
  gWinInet.Close(session);
  LONG pending = kPending;
  if (__atomic_compare_exchange_n(&request->State, &pending, result, false, __ATOMIC_ACQ_REL,
                                  __ATOMIC_ACQUIRE))
    PostMessageA(notify, kReplyMessage, 0, 0);
  else
    MemFree(request);  // abandoned: the caller has let go already
  return 0;
}

void ReplyArrived(void* waiting, WindowMessage* message) {
  if (message->Msg == kReplyMessage) *static_cast<bool*>(waiting) = false;
}

}  // namespace

SystemRequest* StartSystemRequest(const ByteString& url, bool& waiting) {
  if (!LoadWinInet()) return nullptr;
  DWORD size = url.Length() + kLocationRoom;
  auto* request = static_cast<SystemRequest*>(MemAlloc(sizeof(SystemRequest) + 2 * size));
  request->State = kPending;
  request->Size = size;
  memcpy(request->Url, url.Data(), url.Length() + 1);
  request->Notify = CreateUtilityWindowHandle(WindowMethod{&ReplyArrived, &waiting});
  if (!request->Notify) {  // the reply could not be heard of: as without the stack
    MemFree(request);
    return nullptr;
  }
  DWORD id;
  // Without a worker nothing is sent, and the wait runs out into the mail.
  HANDLE worker = CreateThread(nullptr, 0, &SendRequest, request, 0, &id);
  if (worker) CloseHandle(worker);
  return request;
}

bool FinishSystemRequest(SystemRequest* request) {
  HWND window = request->Notify;
  LONG pending = kPending;
  bool settled = !__atomic_compare_exchange_n(&request->State, &pending, kAbandoned, false,
                                              __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
  // Settled: the worker has let go; pending: it frees the record itself when it is done.
  if (settled) MemFree(request);
  DestroyUtilityWindowHandle(window);
  return settled && pending == kAccepted;
}
