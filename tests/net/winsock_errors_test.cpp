// Winsock error names: the table's edges and the codes around its gaps.
#include "net/winsock_errors.h"

#include <gtest/gtest.h>

#include <string>

#include "support/byte_strings.h"

namespace {

TEST(WinsockErrorName, KnownAndUnknownCodes) {
  const struct {
    int code;
    const char* name;
  } cases[] = {
      {10004, "WSAEINTR"},
      {10009, "WSAEBADF"},
      {10013, "WSAEACCES"},
      {10014, "WSAEFAULT"},
      {10022, "WSAEINVAL"},
      {10024, "WSAEMFILE"},
      {10035, "WSAEWOULDBLOCK"},
      {10048, "WSAEADDRINUSE"},
      {10053, "WSAECONNABORTED"},
      {10054, "WSAECONNRESET"},
      {10060, "WSAETIMEDOUT"},
      {10061, "WSAECONNREFUSED"},
      {10071, "WSAEREMOTE"},
      {10091, "WSASYSNOTREADY"},
      {10092, "WSAVERNOTSUPPORTED"},
      {10093, "WSANOTINITIALISED"},
      {11001, "WSAHOST_NOT_FOUND"},
      {11002, "WSATRY_AGAIN"},
      {11003, "WSANO_RECOVERY"},
      {11004, "WSANO_DATA"},
      {0, "UNDEFINED WINSOCK ERROR"},
      {10000, "UNDEFINED WINSOCK ERROR"},
      {10003, "UNDEFINED WINSOCK ERROR"},
      {10015, "UNDEFINED WINSOCK ERROR"},
      {10034, "UNDEFINED WINSOCK ERROR"},
      {10072, "UNDEFINED WINSOCK ERROR"},
      {10090, "UNDEFINED WINSOCK ERROR"},
      {10094, "UNDEFINED WINSOCK ERROR"},
      {10101, "UNDEFINED WINSOCK ERROR"},
      {11000, "UNDEFINED WINSOCK ERROR"},
      {11005, "UNDEFINED WINSOCK ERROR"},
      {-1, "UNDEFINED WINSOCK ERROR"},
      {65535, "UNDEFINED WINSOCK ERROR"},
  };
  for (const auto& c : cases) {
    ByteString name = WinsockErrorName(c.code);
    EXPECT_EQ(c.name, Str(name)) << c.code;
  }
}

TEST(WinsockErrorName, FiftyCodesHaveNames) {
  int named = 0;
  for (int code = 0; code < 0x10000; ++code)
    if (WinsockErrorName(code) != "UNDEFINED WINSOCK ERROR") ++named;
  EXPECT_EQ(50, named);
}

}  // namespace
