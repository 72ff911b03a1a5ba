// Test helper: a listening TCP socket on 127.0.0.1 at a port the system chooses.
#pragma once

#include <windows.h>
#include <winsock.h>

// Returns the listening socket and stores its port in `port`. Winsock must be started.
inline SOCKET ListenOnLoopback(int backlog, int& port) {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(listener, backlog);
  int length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return listener;
}
