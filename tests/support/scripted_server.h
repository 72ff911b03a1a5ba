// Test helper: a scripted TCP server on 127.0.0.1, run in a thread of the test. It
// accepts one connection, records the request, then sends the case's bytes in batches
// with pauses, and closes or stays silent. Every wait is bounded.
#pragma once

#include <windows.h>
#include <winsock.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_listener.h"

struct Batch {
  std::string Bytes;
  DWORD PauseMs = 0;   // before sending
  DWORD RepeatMs = 0;  // when set: send Bytes again and again for this long
};

class ScriptedServer {
public:
  // `closeAtEnd`: close after the last batch; otherwise keep the connection open and
  // silent until the server is destroyed.
  ScriptedServer(std::vector<Batch> batches, bool closeAtEnd, bool readRequest = true)
      : batches_(std::move(batches)), closeAtEnd_(closeAtEnd), readRequest_(readRequest) {
    WSADATA data;
    WSAStartup(0x0101, &data);
    listener_ = ListenOnLoopback(1, port_);
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedServer() {
    SetEvent(stop_);
    thread_.join();
    closesocket(listener_);
    CloseHandle(stop_);
    WSACleanup();
  }
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int Port() const { return port_; }
  // The request bytes once the script has run (call after Finished() or the client's end).
  std::string Request() {
    WaitForScript(5000);
    return request_;
  }
  bool WaitForScript(DWORD ms) { return WaitForSingleObject(done_.native(), ms) == WAIT_OBJECT_0; }
  bool Finished() const { return finished_; }
  long long BytesSent() const { return sent_; }

private:
  struct DoneEvent {
    HANDLE h = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ~DoneEvent() { CloseHandle(h); }
    HANDLE native() const { return h; }
  };

  bool Stopped(DWORD ms) { return WaitForSingleObject(stop_, ms) == WAIT_OBJECT_0; }

  bool Readable(SOCKET s, DWORD ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait = {LONG(ms / 1000), LONG(ms % 1000 * 1000)};
    return select(0, &set, nullptr, nullptr, &wait) == 1;
  }

  void Run() {
    // Waits long for the client: a process's first window (which every socket has) can
    // take seconds to create on a busy machine.
    SOCKET peer = INVALID_SOCKET;
    for (int i = 0; i < 400 && peer == INVALID_SOCKET && !Stopped(0); ++i)
      if (Readable(listener_, 50)) peer = accept(listener_, nullptr, nullptr);
    if (peer == INVALID_SOCKET) {
      finished_ = true;
      SetEvent(done_.native());
      return;
    }
    if (readRequest_) {
      DWORD start = GetTickCount();
      while (request_.find("\r\n\r\n") == std::string::npos && GetTickCount() - start < 3000) {
        if (!Readable(peer, 50)) continue;
        char buffer[4096];
        int n = recv(peer, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request_.append(buffer, n);
      }
    }
    for (const Batch& batch : batches_) {
      if (batch.PauseMs && Stopped(batch.PauseMs)) break;
      DWORD start = GetTickCount();
      do {
        int n = send(peer, batch.Bytes.data(), int(batch.Bytes.size()), 0);
        if (n < 0) break;
        sent_ += n;
      } while (batch.RepeatMs && GetTickCount() - start < batch.RepeatMs && !Stopped(0));
    }
    finished_ = true;
    SetEvent(done_.native());
    if (!closeAtEnd_) WaitForSingleObject(stop_, INFINITE);
    closesocket(peer);
  }

  std::vector<Batch> batches_;
  bool closeAtEnd_;
  bool readRequest_;
  SOCKET listener_;
  int port_ = 0;
  HANDLE stop_;
  DoneEvent done_;
  std::thread thread_;
  std::string request_;
  std::atomic<bool> finished_{false};
  std::atomic<long long> sent_{0};
};
