// Test helper: TCP sockets on 127.0.0.1 at a port the system chooses: a listener, and a
// port that nobody listens on.
#pragma once

#include <windows.h>
#include <winsock.h>

// A socket bound to 127.0.0.1 at a port the system picks, which is stored in `port`.
// Winsock must be started.
inline SOCKET BindOnLoopback(int& port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int length = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return s;
}

// Returns the listening socket and stores its port in `port`. Winsock must be started.
inline SOCKET ListenOnLoopback(int backlog, int& port) {
  SOCKET listener = BindOnLoopback(port);
  listen(listener, backlog);
  return listener;
}

// A loopback port that was free a moment ago: a connection to it is refused.
inline int UnusedLoopbackPort() {
  WSADATA data;
  WSAStartup(0x0101, &data);
  int port = 0;
  closesocket(BindOnLoopback(port));
  WSACleanup();
  return port;
}
