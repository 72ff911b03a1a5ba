// Symbolic names of the Winsock 1.1 error codes, for the socket's error message box.
#pragma once

#include "rt/byte_string.h"

// The name of `code`, or "UNDEFINED WINSOCK ERROR" for any code Winsock 1.1 does not define.
ByteString WinsockErrorName(int code);
