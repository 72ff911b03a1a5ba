// The socket object and its event dispatch, against real Winsock on loopback: address
// and port, connect and close, the remote-close path, decoding of WM_SOCKET, and the
// message boxes of notifications that have no handler.
#include "net/async_socket.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/box_watcher.h"
#include "support/pump.h"
#include "support/scripted_server.h"

namespace {

// Records every event of one socket as "Code" names with their details.
struct EventLog {
  std::vector<std::string> Events;
  std::vector<int> Errors;
  std::string Received;  // what OnRead found queued, taken as it arrived

  void Error(SocketMessage* m) {
    Events.push_back("error");
    Errors.push_back(m->ErrorCode);
  }
  void Close(SocketMessage* m) {
    Events.push_back("close");
    CloseHandle = m->SocketHandle;
  }
  void Connect(SocketMessage*) { Events.push_back("connect"); }
  void Read(SocketMessage* m) {
    Events.push_back("read");
    int n = m->Sender->QueuedBytes();
    std::string bytes(n, '\0');
    m->Sender->ReadQueued(&bytes[0], n);
    Received += bytes;
  }
  void Attach(AsyncSocket* socket, bool withRead = true) {
    socket->OnError = Bind<&EventLog::Error>(this);
    socket->OnClose = Bind<&EventLog::Close>(this);
    socket->OnConnect = Bind<&EventLog::Connect>(this);
    if (withRead) socket->OnRead = Bind<&EventLog::Read>(this);
  }
  int Count(const char* name) const {
    int n = 0;
    for (const std::string& e : Events) n += e == name;
    return n;
  }
  int CloseHandle = 0;
};

LRESULT Notify(AsyncSocket* socket, WORD event, WORD error) {
  return SendMessageA(socket->Window->Handle, WM_SOCKET, socket->Handle, MAKELONG(event, error));
}

TEST(AsyncSocket, SetPortIgnoresValuesOutsideThePortRange) {
  AsyncSocket* socket = CreateAsyncSocket();
  socket->SetPort(8080);
  for (int port : {0, -1, 65536}) {
    socket->SetPort(port);
    EXPECT_EQ(htons(8080), socket->Address.sin_port) << port;
  }
  socket->SetPort(80);
  auto* bytes = reinterpret_cast<unsigned char*>(&socket->Address.sin_port);
  EXPECT_EQ(0x00, bytes[0]);
  EXPECT_EQ(0x50, bytes[1]);
  FreeObject(socket);
}

TEST(AsyncSocket, SetAddressTakesDottedTextAndLeavesNoneForAnUnknownName) {
  AsyncSocket* socket = CreateAsyncSocket();
  EventLog log;
  log.Attach(socket);
  EXPECT_EQ(AF_INET, socket->Address.sin_family);
  EXPECT_EQ(0u, socket->Address.sin_addr.s_addr);
  socket->SetAddress("10.0.0.1");
  EXPECT_EQ(inet_addr("10.0.0.1"), socket->Address.sin_addr.s_addr);
  // A label over 63 characters fails at once, without a query leaving the machine.
  socket->SetAddress(ByteString(std::string(70, 'x').c_str()) + ".example");
  EXPECT_EQ(INADDR_NONE, socket->Address.sin_addr.s_addr);
  EXPECT_TRUE(log.Events.empty());  // nothing is reported
  FreeObject(socket);
}

TEST(AsyncSocket, CloseWithoutAHandleNotifiesNothing) {
  AsyncSocket* socket = CreateAsyncSocket();
  EventLog log;
  log.Attach(socket);
  socket->Close();
  FreeObject(socket);
  EXPECT_TRUE(log.Events.empty());
}

TEST(AsyncSocket, ConnectOnAConnectedSocketClosesTheOldHandleFirst) {
  ScriptedServer server({}, false, false);
  AsyncSocket* socket = CreateAsyncSocket();
  EventLog log;
  log.Attach(socket);
  socket->SetAddress("127.0.0.1");
  socket->SetPort(server.Port());
  socket->Connect();
  ASSERT_TRUE(PumpUntil([&] { return log.Count("connect") == 1; }, 10000));
  EXPECT_TRUE(socket->Connected);
  SOCKET first = socket->Handle;
  socket->Connect();  // the server takes one connection only; the second never connects
  EXPECT_EQ((std::vector<std::string>{"connect", "close"}), log.Events);
  EXPECT_EQ(int(first), log.CloseHandle);
  EXPECT_NE(INVALID_SOCKET, socket->Handle);
  EXPECT_FALSE(socket->Connected);
  FreeObject(socket);
  EXPECT_EQ(2, log.Count("close"));  // the destruction closes the second handle
}

TEST(AsyncSocket, ARemoteCloseReadsWhatArrivedBeforeOnClose) {
  struct Row {
    const char* why;
    bool dropReadNotification;
  } rows[] = {
      {"the read notification is still queued", false},
      {"no read notification is left for the data", true},
  };
  for (const Row& row : rows) {
    ScriptedServer server({{"hello\r\n", 300}}, false, false);
    AsyncSocket* socket = CreateAsyncSocket();
    EventLog log;
    log.Attach(socket);
    socket->SetAddress("127.0.0.1");
    socket->SetPort(server.Port());
    socket->Connect();
    ASSERT_TRUE(PumpUntil([&] { return log.Count("connect") == 1; }, 10000)) << row.why;
    ASSERT_TRUE(server.WaitForScript(3000)) << row.why;
    HWND window = socket->Window->Handle;
    MSG msg;
    for (int i = 0; i < 100 && !PeekMessageA(&msg, window, WM_SOCKET, WM_SOCKET, PM_NOREMOVE); ++i)
      Sleep(10);
    ASSERT_EQ(0, log.Count("read")) << row.why;
    if (row.dropReadNotification)
      while (PeekMessageA(&msg, window, WM_SOCKET, WM_SOCKET, PM_REMOVE)) {
      }
    // The close arrives while the data is still unread.
    Notify(socket, FD_CLOSE, 0);
    EXPECT_EQ((std::vector<std::string>{"connect", "read", "close"}), log.Events) << row.why;
    EXPECT_EQ("hello\r\n", log.Received) << row.why;
    EXPECT_EQ(INVALID_SOCKET, socket->Handle) << row.why;
    EXPECT_FALSE(socket->Connected) << row.why;
    EXPECT_FALSE(PeekMessageA(&msg, window, WM_SOCKET, WM_SOCKET, PM_NOREMOVE))
        << row.why << ": pending notifications were dispatched, not left behind";
    FreeObject(socket);
    EXPECT_EQ(1, log.Count("close")) << row.why;
  }
}

struct ClosingAgain {
  int closes = 0;
  void Close(SocketMessage* m) {
    ++closes;
    m->Sender->Close();
  }
};

TEST(AsyncSocket, ACloseHandlerThatClosesAgainGetsOneNotification) {
  AsyncSocket* socket = CreateAsyncSocket();
  ClosingAgain handler;
  EventLog log;
  log.Attach(socket);
  socket->OnClose = Bind<&ClosingAgain::Close>(&handler);
  socket->SetAddress("127.0.0.1");
  socket->SetPort(9);
  socket->Connect();
  ASSERT_NE(INVALID_SOCKET, socket->Handle);
  socket->Close();
  EXPECT_EQ(1, handler.closes);
  EXPECT_EQ(INVALID_SOCKET, socket->Handle);
  EXPECT_EQ(0, log.Count("error"));  // no second closesocket on a dead handle
  FreeObject(socket);
  EXPECT_EQ(1, handler.closes);
}

TEST(SocketDispatch, WmSocketIsDecodedByErrorThenByEvent) {
  struct Row {
    const char* why;
    WORD event, error;
    std::vector<std::string> events;
    std::vector<int> errors;
  } rows[] = {
      {"a refused connect is an error only", FD_CONNECT, 10061, {"error"}, {10061}},
      {"a close with an error keeps the handle", FD_CLOSE, 10053, {"error"}, {10053}},
      {"error 5 is no Winsock error: a read", FD_READ, 5, {"read"}, {}},
      {"a connect", FD_CONNECT, 0, {"connect"}, {}},
      {"event value 3 is no single event", 3, 0, {}, {}},
      {"no event at all", 0, 0, {}, {}},
  };
  for (const Row& row : rows) {
    AsyncSocket* socket = CreateAsyncSocket();
    socket->SetAddress("127.0.0.1");
    socket->SetPort(9);
    EventLog log;
    log.Attach(socket);
    socket->Connect();  // gives the socket a handle; the outcome is not awaited
    log.Events.clear();
    log.Errors.clear();
    SOCKET handle = socket->Handle;
    EXPECT_EQ(0, Notify(socket, row.event, row.error)) << row.why;
    EXPECT_EQ(row.events, log.Events) << row.why;
    EXPECT_EQ(row.errors, log.Errors) << row.why;
    EXPECT_EQ(handle, socket->Handle) << row.why;
    if (row.error > 10000) {
      EXPECT_FALSE(socket->Connected) << row.why;
    }
    FreeObject(socket);
  }
}

TEST(SocketDispatch, OtherMessagesGoToDefWindowProc) {
  AsyncSocket* socket = CreateAsyncSocket();
  HWND window = socket->Window->Handle;
  SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("abc"));
  EXPECT_EQ(3, SendMessageA(window, WM_GETTEXTLENGTH, 0, 0));
  FreeObject(socket);
}

TEST(SocketDispatch, UnhandledNotificationsShowTheirBoxes) {
  struct Row {
    const char* why;
    UINT msg;
    WORD event, error;
    const char* caption;
    const char* text;
    WPARAM task = 0;
  } rows[] = {
      {"timed out", WM_SOCKET, FD_CONNECT, 10060, "Message_Error", "WSAETIMEDOUT on socket -1"},
      {"refused", WM_SOCKET, FD_CONNECT, 10061, "Message_Error", "WSAECONNREFUSED on socket -1"},
      {"connect", WM_SOCKET, FD_CONNECT, 0, "Message_Connect", "WM_SOCKETCONNECT on socket -1"},
      {"write", WM_SOCKET, FD_WRITE, 0, "Message_Write", "WM_SOCKETWRITE on socket -1"},
      {"out-of-band", WM_SOCKET, FD_OOB, 0, "Message_OOB", "WM_SOCKETOOB on socket -1"},
      {"accept", WM_SOCKET, FD_ACCEPT, 0, "Message_Accept", "WM_SOCKETACCEPT on socket -1"},
      {"lookup", WM_SOCKETLOOKUP, 0, 0, "Message_Lookup", "WM_SOCKETLOOKUP on socket -1", 0x5A},
  };
  BoxWatcher watcher;
  AsyncSocket* socket = CreateAsyncSocket();
  socket->LookupTask = reinterpret_cast<HANDLE>(0x5A);  // the lookup row answers it
  for (const Row& row : rows)
    SendMessageA(socket->Window->Handle, row.msg, row.task, MAKELONG(row.event, row.error));
  // Compared as whole lists, so that a failure shows which box was missing or different.
  std::vector<std::string> expected, seen;
  for (const Row& row : rows) expected.push_back(std::string(row.caption) + ": " + row.text);
  for (const SeenBox& box : watcher.Seen()) seen.push_back(box.Caption + ": " + box.Text);
  EXPECT_EQ(expected, seen);
  FreeObject(socket);
}

TEST(SocketDispatch, AReadWithoutHandlerShowsItsBoxAndStillQueuesTheBytes) {
  ScriptedServer server({{"hello", 0}}, false, false);
  AsyncSocket* socket = CreateAsyncSocket();
  EventLog log;
  log.Attach(socket, false);
  socket->SetAddress("127.0.0.1");
  socket->SetPort(server.Port());
  BoxWatcher watcher;
  socket->Connect();
  ASSERT_TRUE(PumpUntil([&] { return socket->QueuedBytes() == 5; }, 10000));
  PumpFor(100);
  std::vector<SeenBox> seen = watcher.Seen();
  ASSERT_GE(seen.size(), 1u);
  EXPECT_EQ("Message_Read", seen[0].Caption);
  EXPECT_EQ("WM_SOCKETREAD on socket " + std::to_string(int(socket->Handle)), seen[0].Text);
  FreeObject(socket);
}

struct LookupLog {
  std::vector<int> Errors;
  void Lookup(SocketMessage* m) { Errors.push_back(m->ErrorCode); }
};

TEST(AsyncSocket, OnlyTheAnswerToTheLookupInFlightCounts) {
  // localhost comes from the hosts file: no query leaves the machine.
  AsyncSocket* socket = CreateAsyncSocket();
  LookupLog log;
  socket->OnLookup = Bind<&LookupLog::Lookup>(&log);
  socket->LookupHost("localhost");
  HANDLE cancelled = socket->LookupTask;
  socket->CancelLookup();
  // The answer of a cancelled lookup, as a system that could not stop it in time posts it.
  PostMessageA(socket->Window->Handle, WM_SOCKETLOOKUP, WPARAM(cancelled), 0);
  PumpFor(300);
  EXPECT_EQ(std::vector<int>{}, log.Errors);
  EXPECT_EQ(INADDR_NONE, socket->Address.sin_addr.s_addr);

  socket->LookupHost("localhost");
  ASSERT_TRUE(PumpUntil([&] { return !log.Errors.empty(); }, 20000));
  EXPECT_EQ(std::vector<int>{0}, log.Errors);
  EXPECT_EQ(inet_addr("127.0.0.1"), socket->Address.sin_addr.s_addr);
  EXPECT_EQ("localhost", std::string(socket->HostName.Data()));
  EXPECT_FALSE(socket->LookupPending());
  FreeObject(socket);
}

TEST(AsyncSocket, ALookupMessageWithoutALookupInFlightIsIgnored) {
  AsyncSocket* socket = CreateAsyncSocket();
  LookupLog log;
  socket->OnLookup = Bind<&LookupLog::Lookup>(&log);
  socket->SetAddress("127.0.0.1");
  SendMessageA(socket->Window->Handle, WM_SOCKETLOOKUP, 0, 0);
  EXPECT_EQ(std::vector<int>{}, log.Errors) << "an address needs no lookup";

  socket->LookupHost("localhost");
  HANDLE answered = socket->LookupTask;
  ASSERT_TRUE(PumpUntil([&] { return !log.Errors.empty(); }, 20000));
  for (HANDLE task : {answered, HANDLE(nullptr)})
    SendMessageA(socket->Window->Handle, WM_SOCKETLOOKUP, WPARAM(task), 0);
  EXPECT_EQ(std::vector<int>{0}, log.Errors) << "the answer was taken already";
  FreeObject(socket);
}

TEST(AsyncSocket, FreeingASocketCancelsItsLookup) {
  AsyncSocket* socket = CreateAsyncSocket();
  socket->LookupHost("localhost");
  char* block = socket->LookupBuffer;
  FreeObject(socket);
  // The lookup may run on and write its answer: its block stays out of the heap's hands.
  EXPECT_NE(SIZE_T(-1), HeapSize(GetProcessHeap(), 0, block));
  // Its late answer reaches no socket, also not one made next with the same thunk.
  AsyncSocket* next = CreateAsyncSocket();
  LookupLog log;
  next->OnLookup = Bind<&LookupLog::Lookup>(&log);
  PumpFor(500);
  EXPECT_EQ(std::vector<int>{}, log.Errors);
  FreeObject(next);
}

TEST(AsyncSocket, WinsockRunsWhileASocketLives) {
  ASSERT_EQ(0, AsyncSocketCount());
  AsyncSocket* first = CreateAsyncSocket();
  AsyncSocket* second = CreateAsyncSocket();
  EXPECT_EQ(2, AsyncSocketCount());
  FreeObject(first);
  SOCKET probe = socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_NE(INVALID_SOCKET, probe);
  closesocket(probe);
  FreeObject(second);
  EXPECT_EQ(0, AsyncSocketCount());
  EXPECT_EQ(INVALID_SOCKET, socket(AF_INET, SOCK_STREAM, 0));
  EXPECT_EQ(WSANOTINITIALISED, WSAGetLastError());
  // A new socket starts Winsock again.
  AsyncSocket* again = CreateAsyncSocket();
  probe = socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_NE(INVALID_SOCKET, probe);
  closesocket(probe);
  FreeObject(again);
}

}  // namespace
