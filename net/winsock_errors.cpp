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

#define RUN(first, names) \
  { first, static_cast<int>(sizeof(names) / sizeof(names[0])), names }
const ErrorRun kRuns[] = {
    RUN(10004, kRun10004), RUN(10009, kRun10009), RUN(10013, kRun10013), RUN(10022, kRun10022),
    RUN(10024, kRun10024), RUN(10035, kRun10035), RUN(10091, kRun10091), RUN(11001, kRun11001),
};
#undef RUN

}  // namespace

ByteString WinsockErrorName(int code) {
  for (const ErrorRun& run : kRuns)
    if (code >= run.first && code < run.first + run.count) return run.names[code - run.first];
  return "UNDEFINED WINSOCK ERROR";
}
