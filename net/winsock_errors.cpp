// The Winsock 1.1 error names as a few dense runs of codes; no <winsock.h> needed.
#include "net/winsock_errors.h"

namespace {

struct ErrorRun {
  int first;
  int count;
  const char* const* names;
};

const char* const kRun10004[] = {"WSAEINTR"};
const char* const kRun10009[] = {"WSAEBADF"};
const char* const kRun10013[] = {"WSAEACCES", "WSAEFAULT"};
const char* const kRun10022[] = {"WSAEINVAL"};
const char* const kRun10024[] = {"WSAEMFILE"};
const char* const kRun10035[] = {
    "WSAEWOULDBLOCK",     "WSAEINPROGRESS",     "WSAEALREADY",      "WSAENOTSOCK",
    "WSAEDESTADDRREQ",    "WSAEMSGSIZE",        "WSAEPROTOTYPE",    "WSAENOPROTOOPT",
    "WSAEPROTONOSUPPORT", "WSAESOCKTNOSUPPORT", "WSAEOPNOTSUPP",    "WSAEPFNOSUPPORT",
    "WSAEAFNOSUPPORT",    "WSAEADDRINUSE",      "WSAEADDRNOTAVAIL", "WSAENETDOWN",
    "WSAENETUNREACH",     "WSAENETRESET",       "WSAECONNABORTED",  "WSAECONNRESET",
    "WSAENOBUFS",         "WSAEISCONN",         "WSAENOTCONN",      "WSAESHUTDOWN",
    "WSAETOOMANYREFS",    "WSAETIMEDOUT",       "WSAECONNREFUSED",  "WSAELOOP",
    "WSAENAMETOOLONG",    "WSAEHOSTDOWN",       "WSAEHOSTUNREACH",  "WSAENOTEMPTY",
    "WSAEPROCLIM",        "WSAEUSERS",          "WSAEDQUOT",        "WSAESTALE",
    "WSAEREMOTE"};
const char* const kRun10091[] = {"WSASYSNOTREADY", "WSAVERNOTSUPPORTED", "WSANOTINITIALISED"};
const char* const kRun11001[] = {"WSAHOST_NOT_FOUND", "WSATRY_AGAIN", "WSANO_RECOVERY",
                                 "WSANO_DATA"};

template <int N>
constexpr ErrorRun Run(int first, const char* const (&names)[N]) {
  return {first, N, names};
}

const ErrorRun kRuns[] = {
    Run(10004, kRun10004), Run(10009, kRun10009), Run(10013, kRun10013), Run(10022, kRun10022),
    Run(10024, kRun10024), Run(10035, kRun10035), Run(10091, kRun10091), Run(11001, kRun11001),
};

}  // namespace

ByteString WinsockErrorName(int code) {
  for (const ErrorRun& run : kRuns)
    if (code >= run.first && code < run.first + run.count) return run.names[code - run.first];
  return "UNDEFINED WINSOCK ERROR";
}
