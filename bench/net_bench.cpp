// Network benchmark: the time from Get to the OnDone that stores "OK" against a loopback
// server, the message rate through a thunked window against a plain window procedure,
// and the process's peak memory while a server streams without end.
// Run: wine build/win32/bench/net_bench.exe   (needs a display, like every Wine GUI run)
#include <windows.h>
// After <windows.h>, which they need.
#include <psapi.h>
#include <winsock.h>

#include <stdio.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "http/http_client.h"
#include "net/thunks.h"
#include "support/loopback_listener.h"

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return double(counter.QuadPart) / double(frequency.QuadPart);
}

void PumpWhile(const std::atomic<bool>& busy, double seconds) {
  double end = Now() + seconds;
  MSG msg;
  while (busy && Now() < end) {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageA(&msg);
    else
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

// A loopback server in a thread: for each connection it reads the request and either
// answers once and closes, or streams `stream` until `stop` is set.
class LoopServer {
public:
  LoopServer(std::string reply, std::string stream) : reply_(reply), stream_(stream) {
    listener_ = ListenOnLoopback(8, port_);
    thread_ = std::thread([this] { Run(); });
  }
  ~LoopServer() {
    stop_ = true;
    closesocket(listener_);  // ends a waiting accept
    thread_.join();
  }
  int Port() const { return port_; }

private:
  void Run() {
    while (!stop_) {
      SOCKET peer = accept(listener_, nullptr, nullptr);
      if (peer == INVALID_SOCKET) return;
      std::string request;
      char buffer[2048];
      while (request.find("\r\n\r\n") == std::string::npos) {
        int n = recv(peer, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, n);
      }
      send(peer, reply_.data(), int(reply_.size()), 0);
      while (!stream_.empty() && !stop_)
        if (send(peer, stream_.data(), int(stream_.size()), 0) <= 0) break;
      closesocket(peer);
    }
  }

  std::string reply_, stream_;
  SOCKET listener_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct Exchange {
  std::atomic<bool> busy{true};
  double doneAt = 0;
  void Done(HttpClient* client) {
    int last = client->HeaderLines->Count - 1;
    if (busy && last >= 0 && client->HeaderLines->LineAt(last) == "OK") {
      doneAt = Now();
      busy = false;
    }
  }
};

std::string LocalUrl(int port) {
  return "http://127.0.0.1:" + std::to_string(port) + "/stat/uninstall.php?prj=bench";
}

void MeasureExchanges() {
  const int kExchanges = 200;
  LoopServer server("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK\r\n", "");
  std::vector<double> times;
  for (int i = 0; i < kExchanges; ++i) {
    Exchange exchange;
    HttpClient* client = CreateHttpClient();
    client->Url = LocalUrl(server.Port()).c_str();
    client->OnDone = Bind<&Exchange::Done>(&exchange);
    double start = Now();
    client->Get();
    PumpWhile(exchange.busy, 3.0);
    if (!exchange.busy) times.push_back((exchange.doneAt - start) * 1000.0);
    FreeObject(client);
  }
  std::sort(times.begin(), times.end());
  if (times.empty()) {
    printf("exchanges: none completed\n");
    return;
  }
  printf(
      "Get -> OnDone storing \"OK\" over %d exchanges (%d completed): median %.3f ms, "
      "min %.3f ms, 90th %.3f ms, max %.3f ms\n",
      kExchanges, int(times.size()), times[times.size() / 2], times.front(),
      times[times.size() * 9 / 10], times.back());
}

struct Counter {
  long long count = 0;
  void Handle(WindowMessage* message) {
    ++count;
    message->Result = 1;
  }
};

long long gPlainCount;
LRESULT CALLBACK PlainProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_USER) {
    ++gPlainCount;
    return 1;
  }
  return DefWindowProcA(window, msg, wParam, lParam);
}

double Rate(HWND window, int messages) {
  double start = Now();
  for (int i = 0; i < messages; ++i) SendMessageA(window, WM_USER, i, 0);
  return messages / (Now() - start);
}

double CallRate(WNDPROC procedure, int calls) {
  double start = Now();
  for (int i = 0; i < calls; ++i) procedure(nullptr, WM_USER, i, 0);
  return calls / (Now() - start);
}

void MeasureThunks() {
  const int kMessages = 300000;
  Counter counter;
  HWND thunked = CreateUtilityWindowHandle(Bind<&Counter::Handle>(&counter));
  WNDCLASSA plainClass = {};
  plainClass.lpfnWndProc = PlainProcedure;
  plainClass.hInstance = GetModuleHandleA(nullptr);
  plainClass.lpszClassName = "BenchPlainWindow";
  RegisterClassA(&plainClass);
  HWND plain = CreateWindowExA(0, "BenchPlainWindow", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               plainClass.hInstance, nullptr);
  Rate(thunked, 1000);  // warm up both
  Rate(plain, 1000);
  double thunkedRate = Rate(thunked, kMessages);
  double plainRate = Rate(plain, kMessages);
  printf("SendMessageA: thunked window %.0f msg/s, plain window procedure %.0f msg/s (%.2fx)\n",
         thunkedRate, plainRate, thunkedRate / plainRate);
  auto thunk = reinterpret_cast<WNDPROC>(GetWindowLongA(thunked, GWL_WNDPROC));
  double thunkCalls = CallRate(thunk, 10 * kMessages);
  double plainCalls = CallRate(PlainProcedure, 10 * kMessages);
  printf("direct calls: thunk %.0f calls/s, plain procedure %.0f calls/s (%.2fx)\n", thunkCalls,
         plainCalls, thunkCalls / plainCalls);
  DestroyWindow(plain);
  DestroyUtilityWindowHandle(thunked);
}

struct Memory {
  SIZE_T workingSet, peakWorkingSet, privateBytes, peakPrivateBytes;
};

Memory ReadMemory() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return {counters.WorkingSetSize, counters.PeakWorkingSetSize, counters.PagefileUsage,
          counters.PeakPagefileUsage};
}

void MeasureEndlessStream() {
  std::string lines;
  while (lines.size() < 65536) lines += std::string(1023, 's') + "\n";
  LoopServer server("HTTP/1.1 200 OK\r\n\r\n", lines);
  Memory before = ReadMemory();
  Exchange exchange;
  HttpClient* client = CreateHttpClient();
  client->Url = LocalUrl(server.Port()).c_str();
  client->Get();
  double start = Now();
  SIZE_T peakPrivate = 0;
  MSG msg;
  while (Now() - start < 3.0) {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageA(&msg);
    else
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    SIZE_T now = ReadMemory().privateBytes;
    if (now > peakPrivate) peakPrivate = now;
  }
  Memory after = ReadMemory();
  printf("endless stream for 3 s: %d bytes taken, %d lines stored, cap reached: %s\n",
         client->TakenBytes, client->HeaderLines->Count + client->BodyLines->Count,
         client->CapReached ? "yes" : "no");
  printf(
      "memory: private bytes %.1f MB before, peak %.1f MB during (process peak %.1f MB); "
      "working set peak %.1f MB\n",
      before.privateBytes / 1048576.0, peakPrivate / 1048576.0, after.peakPrivateBytes / 1048576.0,
      after.peakWorkingSet / 1048576.0);
  FreeObject(client);
}

}  // namespace

int main() {
  WSADATA data;
  WSAStartup(0x0101, &data);  // for the servers' threads
  MeasureExchanges();
  MeasureThunks();
  MeasureEndlessStream();
  WSACleanup();
  return 0;
}
