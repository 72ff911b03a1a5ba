// The Winsock 1.1 error names as a few dense runs of codes; no <winsock.h> needed.
#include "net/winsock_errors.h"

namespace {

// The codes come in runs of consecutive values: the first code of each run, and the names of
// all runs in one text, each name ended by a zero byte and each run by an empty name. One
// text instead of a pointer per name: the program carries no relocation for each.
const int kRunFirstCodes[] = {10004, 10009, 10013, 10022, 10024, 10035, 10091, 11001};
const char kRunNames[] =
    "WSAEINTR\0\0"
    "WSAEBADF\0\0"
    "WSAEACCES\0WSAEFAULT\0\0"
    "WSAEINVAL\0\0"
    "WSAEMFILE\0\0"
    "WSAEWOULDBLOCK\0WSAEINPROGRESS\0WSAEALREADY\0WSAENOTSOCK\0WSAEDESTADDRREQ\0"
    "WSAEMSGSIZE\0WSAEPROTOTYPE\0WSAENOPROTOOPT\0WSAEPROTONOSUPPORT\0WSAESOCKTNOSUPPORT\0"
    "WSAEOPNOTSUPP\0WSAEPFNOSUPPORT\0WSAEAFNOSUPPORT\0WSAEADDRINUSE\0WSAEADDRNOTAVAIL\0"
    "WSAENETDOWN\0WSAENETUNREACH\0WSAENETRESET\0WSAECONNABORTED\0WSAECONNRESET\0"
    "WSAENOBUFS\0WSAEISCONN\0WSAENOTCONN\0WSAESHUTDOWN\0WSAETOOMANYREFS\0WSAETIMEDOUT\0"
    "WSAECONNREFUSED\0WSAELOOP\0WSAENAMETOOLONG\0WSAEHOSTDOWN\0WSAEHOSTUNREACH\0"
    "WSAENOTEMPTY\0WSAEPROCLIM\0WSAEUSERS\0WSAEDQUOT\0WSAESTALE\0WSAEREMOTE\0\0"
    "WSASYSNOTREADY\0WSAVERNOTSUPPORTED\0WSANOTINITIALISED\0\0"
    "WSAHOST_NOT_FOUND\0WSATRY_AGAIN\0WSANO_RECOVERY\0WSANO_DATA\0";

const char* NextName(const char* name) {
  while (*name) ++name;
  return name + 1;
}

}  // namespace

ByteString WinsockErrorName(int code) {
  const char* name = kRunNames;
  for (int first : kRunFirstCodes) {
    for (int c = first; *name; ++c, name = NextName(name))
      if (c == code) return name;
    ++name;  // past the empty name that ends the run
  }
  return "UNDEFINED WINSOCK ERROR";
}
