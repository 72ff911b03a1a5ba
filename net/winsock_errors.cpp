// The Winsock 1.1 error names as a few dense runs of codes; no <winsock.h> needed.
#include "net/winsock_errors.h"

#include <string.h>

namespace {

// The names one after another, each ended by a zero byte and without the "WSA" that every
// one begins with: a table of pointers would cost more than the names themselves.
const char kNames[] =
    "EINTR\0EBADF\0EACCES\0EFAULT\0EINVAL\0EMFILE\0EWOULDBLOCK\0EINPROGRESS\0EALREADY\0"
    "ENOTSOCK\0EDESTADDRREQ\0EMSGSIZE\0EPROTOTYPE\0ENOPROTOOPT\0EPROTONOSUPPORT\0"
    "ESOCKTNOSUPPORT\0EOPNOTSUPP\0EPFNOSUPPORT\0EAFNOSUPPORT\0EADDRINUSE\0EADDRNOTAVAIL\0"
    "ENETDOWN\0ENETUNREACH\0ENETRESET\0ECONNABORTED\0ECONNRESET\0ENOBUFS\0EISCONN\0"
    "ENOTCONN\0ESHUTDOWN\0ETOOMANYREFS\0ETIMEDOUT\0ECONNREFUSED\0ELOOP\0ENAMETOOLONG\0"
    "EHOSTDOWN\0EHOSTUNREACH\0ENOTEMPTY\0EPROCLIM\0EUSERS\0EDQUOT\0ESTALE\0EREMOTE\0"
    "SYSNOTREADY\0VERNOTSUPPORTED\0NOTINITIALISED\0HOST_NOT_FOUND\0TRY_AGAIN\0NO_RECOVERY\0"
    "NO_DATA\0";

// Runs of consecutive codes; their names follow one another in kNames.
struct ErrorRun {
  short first;
  short count;
};
const ErrorRun kRuns[] = {
    {10004, 1}, {10009, 1}, {10013, 2}, {10022, 1}, {10024, 1}, {10035, 37}, {10091, 3}, {11001, 4},
};

}  // namespace

ByteString WinsockErrorName(int code) {
  const char* name = kNames;
  for (const ErrorRun& run : kRuns) {
    for (int i = 0; i < run.count; ++i) {
      if (code == run.first + i) return "WSA" + ByteString(name);
      name += strlen(name) + 1;
    }
  }
  return "UNDEFINED WINSOCK ERROR";
}
