// The HTTP client against scripted loopback servers: the request bytes, the lines it
// stores from replies sent in all kinds of batches, the server's close, endless streams,
// and the failures that must end in silence.
#include "http/http_client.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/box_watcher.h"
#include "support/import_stand_in.h"
#include "support/loopback_listener.h"
#include "support/pump.h"
#include "support/scripted_server.h"

namespace {

using Lines = std::vector<std::string>;

struct DoneLog {
  int Count = 0;
  int AfterClose = 0;  // raises that found Closed set
  void Done(HttpClient* client) {
    ++Count;
    AfterClose += client->Closed;
  }
};

Lines Of(StringList* list) {
  Lines lines;
  for (int i = 0; i < list->Count; ++i) lines.push_back(list->LineAt(i).Data());
  return lines;
}

std::string LocalUrl(int port, const std::string& path = "/stat/uninstall.php?prj=x") {
  return "http://127.0.0.1:" + std::to_string(port) + path;
}

HttpClient* StartClient(const std::string& url, DoneLog* log) {
  HttpClient* client = CreateHttpClient();
  client->Url = url.c_str();
  client->OnDone = Bind<&DoneLog::Done>(log);
  client->Get();
  return client;
}

std::vector<Batch> OneByteAtATime(const std::string& bytes) {
  std::vector<Batch> batches;
  for (char c : bytes) batches.push_back({std::string(1, c), 3});
  return batches;
}

const char kReply[] =
    "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n\r\nOK\r\n";
const Lines kReplyLines = {"HTTP/1.1 200 OK", "Content-Type: text/plain", "Content-Length: 2", "",
                           "OK"};

std::string LongReply() {
  std::string reply = "HTTP/1.1 200 OK\r\n\r\n";
  for (int i = 0; i < 2000; ++i) reply += std::string(98, 'a' + i % 26) + "\r\n";
  return reply + "OK";  // 200 KB, the last line without a line end
}

TEST(HttpClient, StoresTheLinesOfRepliesInAnyBatches) {
  struct Row {
    const char* why;
    std::vector<Batch> batches;
    bool close;
    Lines header, body;
    int status;
  } rows[] = {
      {"whole reply in one batch", {{kReply}}, false, kReplyLines, {}, 200},
      {"header and body apart",
       {{"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n\r\n"},
        {"OK\r\n", 150}},
       false,
       kReplyLines,
       {},
       200},
      {"one byte at a time", OneByteAtATime(kReply), false, kReplyLines, {}, 200},
      {"bare line feeds",
       {{"HTTP/1.1 200 OK\nContent-Length: 2\n\nOK\n"}},
       false,
       {"HTTP/1.1 200 OK", "Content-Length: 2", "", "OK"},
       {},
       200},
      {"a line split across reads",
       {{"HTTP/1.1 200 OK\r\nContent-Ty"},
        {"pe: text/plain\r\nContent-Length: 2\r\n\r\nOK\r\n", 150}},
       false,
       kReplyLines,
       {},
       200},
      {"last line without line end, then close",
       {{"HTTP/1.1 200 OK\r\nConnection: close\r\nContent-type: text/html\r\n\r\nOK"}},
       true,
       {"HTTP/1.1 200 OK", "Connection: close", "Content-type: text/html", "", "OK"},
       {},
       200},
      {"Connection: close does not end the reply",
       {{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"}, {"OK\r\n", 100}},
       true,
       {"HTTP/1.1 200 OK", "Connection: close", "", "OK"},
       {},
       200},
      {"markup body",
       {{"HTTP/1.1 200 OK\r\n\r\n<html><body>\r\nOK\r\n</body></html>\r\n"}},
       true,
       {"HTTP/1.1 200 OK", ""},
       {"<html><body>", "OK", "</body></html>"},
       200},
      {"not found",
       {{"HTTP/1.0 404 Not Found\r\n\r\n"}},
       true,
       {"HTTP/1.0 404 Not Found", ""},
       {},
       404},
      {"a later redirect",
       {{"HTTP/1.1 200 OK\r\n"}, {"HTTP/1.1 302 Found\r\n", 50}},
       true,
       {"HTTP/1.1 200 OK", "HTTP/1.1 302 Found"},
       {},
       302},
      {"a bare HTTP/1.1", {{"HTTP/1.1\r\n"}}, true, {"HTTP/1.1"}, {}, 0},
      {"empty reply, then close", {}, true, {}, {}, 0},
  };
  for (const Row& row : rows) {
    ScriptedServer server(row.batches, row.close);
    DoneLog done;
    HttpClient* client = StartClient(LocalUrl(server.Port()), &done);
    auto complete = [&] {
      return Of(client->HeaderLines) == row.header && Of(client->BodyLines) == row.body &&
             client->Closed == row.close && (!row.close || done.AfterClose > 0);
    };
    EXPECT_TRUE(PumpUntil(complete, 20000))
        << row.why << "; the server received " << server.Request().size() << " bytes";
    PumpFor(100);  // nothing more arrives
    EXPECT_EQ(row.header, Of(client->HeaderLines)) << row.why;
    EXPECT_EQ(row.body, Of(client->BodyLines)) << row.why;
    EXPECT_EQ(row.status, client->StatusCode) << row.why;
    EXPECT_EQ(row.close, client->Closed) << row.why;
    EXPECT_EQ(row.close ? 1 : 0, done.AfterClose) << row.why;  // one raise for the close
    EXPECT_GE(done.Count, row.batches.empty() ? 1 : 2 - !row.close) << row.why;
    FreeObject(client);
    EXPECT_EQ(row.close ? 1 : 0, done.AfterClose) << row.why << ": nothing after destruction";
  }
}

TEST(HttpClient, ALongReplySentAtOnceKeepsItsLastLine) {
  std::string reply = LongReply();
  ScriptedServer server({{reply}}, true);
  DoneLog done;
  HttpClient* client = StartClient(LocalUrl(server.Port()), &done);
  ASSERT_TRUE(PumpUntil([&] { return client->Closed; }, 10000));
  EXPECT_EQ(2003, client->HeaderLines->Count);
  EXPECT_EQ(std::string(98, 'a' + 1999 % 26), client->HeaderLines->LineAt(2001).Data());
  EXPECT_STREQ("OK", client->HeaderLines->LineAt(2002).Data());
  EXPECT_EQ(int(reply.size()), client->TakenBytes);
  FreeObject(client);
}

TEST(HttpClient, SendsExactlyTheRequestLines) {
  struct Row {
    const char* why;
    std::string path;  // after the loopback address and port
    bool proxy;
    std::string request;
  } rows[] = {
      {"no user information", "/stat/uninstall.php?prj=a%20b&os=Windows+XP", false,
       "GET /stat/uninstall.php?prj=a%20b&os=Windows+XP HTTP/1.1\r\n"
       "User-Agent: ExitPoll-HTTP\r\nHost: 127.0.0.1\r\n\r\n"},
      {"a host alone asks for /", "", false,
       "GET / HTTP/1.1\r\nUser-Agent: ExitPoll-HTTP\r\nHost: 127.0.0.1\r\n\r\n"},
  };
  for (const Row& row : rows) {
    ScriptedServer server({}, true);
    DoneLog done;
    HttpClient* client = StartClient(LocalUrl(server.Port(), row.path), &done);
    EXPECT_TRUE(PumpUntil([&] { return client->Closed; }, 20000)) << row.why;
    EXPECT_EQ(row.request, server.Request()) << row.why;
    FreeObject(client);
  }
}

TEST(HttpClient, SendsTheAuthorizationLineForUserInformation) {
  struct Row {
    const char* why;
    std::string userInfo;
    std::string authorization;
  } rows[] = {
      {"user and password", "user:secret@", "Authorization: Basic dXNlcjpzZWNyZXQ=\r\n"},
      {"user without password", "user@", "Authorization: Basic dXNlcjo=\r\n"},
  };
  for (const Row& row : rows) {
    ScriptedServer server({}, true);
    DoneLog done;
    std::string url =
        "http://" + row.userInfo + "127.0.0.1:" + std::to_string(server.Port()) + "/x";
    HttpClient* client = StartClient(url, &done);
    EXPECT_TRUE(PumpUntil([&] { return client->Closed; }, 20000)) << row.why;
    EXPECT_EQ("GET /x HTTP/1.1\r\nUser-Agent: ExitPoll-HTTP\r\nHost: 127.0.0.1\r\n" +
                  row.authorization + "\r\n",
              server.Request())
        << row.why;
    FreeObject(client);
  }
}

TEST(HttpClient, AProxyGetsTheAbsoluteFormAndTheOriginsHost) {
  ScriptedServer server({}, true);
  DoneLog done;
  HttpClient* client = CreateHttpClient();
  client->Url = "http://stats.example:8080/stat/uninstall.php?prj=x";  // never resolved
  client->ProxyHost = "127.0.0.1";
  client->ProxyPort = server.Port();
  client->OnDone = Bind<&DoneLog::Done>(&done);
  client->Get();
  EXPECT_TRUE(PumpUntil([&] { return client->Closed; }, 20000));
  EXPECT_EQ(
      "GET http://stats.example/stat/uninstall.php?prj=x HTTP/1.1\r\n"
      "User-Agent: ExitPoll-HTTP\r\nHost: stats.example\r\n\r\n",
      server.Request());
  FreeObject(client);
}

TEST(HttpClient, AbortBeforeTheConnectionSendsAndStoresNothingButStillSignals) {
  ScriptedServer server({{kReply, 200}}, true);
  DoneLog done;
  HttpClient* client = StartClient(LocalUrl(server.Port()), &done);
  client->Abort();
  EXPECT_TRUE(PumpUntil([&] { return client->Closed; }, 20000));
  EXPECT_EQ("", server.Request()) << "the connection came after the abort";
  EXPECT_EQ(0, client->HeaderLines->Count);
  EXPECT_EQ(0, client->BodyLines->Count);
  EXPECT_GE(done.Count, 2);  // the read and the close
  EXPECT_EQ(1, done.AfterClose);
  FreeObject(client);
}

TEST(HttpClient, AnIdleServerMeansNoSignal) {
  ScriptedServer server({}, false);
  DoneLog done;
  HttpClient* client = StartClient(LocalUrl(server.Port()), &done);
  PumpFor(500);
  EXPECT_EQ(0, done.Count);
  EXPECT_NE(std::string::npos, server.Request().find("GET /stat/"));
  FreeObject(client);
  EXPECT_EQ(0, done.Count);  // the close of the destruction reaches nobody
}

struct ErrorLog {
  std::vector<int> Codes;
  void Error(SocketMessage* m) { Codes.push_back(m->ErrorCode); }
};

TEST(HttpClient, ARefusedConnectionIsSilent) {
  DoneLog done;
  HttpClient* client = StartClient(LocalUrl(UnusedLoopbackPort()), &done);
  ErrorLog errors;
  client->Socket->OnError = Bind<&ErrorLog::Error>(&errors);
  EXPECT_TRUE(PumpUntil([&] { return !errors.Codes.empty(); }, 20000));
  PumpFor(200);
  EXPECT_EQ(std::vector<int>{WSAECONNREFUSED}, errors.Codes);
  EXPECT_EQ(0, done.Count);
  FreeObject(client);
}

TEST(HttpClient, ANameIsResolvedInTheBackgroundAndAFailedLookupEndsTheExchangeOnce) {
  // localhost comes from the hosts file; a label over 63 characters fails at once. No
  // query leaves the machine either way.
  ScriptedServer server({{kReply}}, true);
  struct Row {
    std::string host;
    bool resolves;
  } rows[] = {{"localhost", true}, {std::string(70, 'q') + ".example", false}};
  for (const Row& row : rows) {
    DoneLog done;
    HttpClient* client =
        StartClient("http://" + row.host + ":" + std::to_string(server.Port()) + "/x", &done);
    EXPECT_TRUE(client->Socket->LookupPending()) << row.host << ": Get returns at once";
    EXPECT_EQ(INADDR_NONE, client->Socket->Address.sin_addr.s_addr);
    EXPECT_TRUE(PumpUntil([&] { return client->Closed || client->Failed; }, 20000)) << row.host;
    PumpFor(200);
    EXPECT_EQ(!row.resolves, client->Failed) << row.host;
    EXPECT_EQ(row.resolves ? kReplyLines : Lines{}, Of(client->HeaderLines)) << row.host;
    if (!row.resolves) {
      EXPECT_EQ(1, done.Count) << row.host << ": once, for the failure";
    }
    FreeObject(client);
  }
}

TEST(HttpClient, AnAbortedLookupIsCancelledAndItsLateAnswerIgnored) {
  ScriptedServer server({{kReply}}, true);
  for (bool freeAtOnce : {false, true}) {
    DoneLog done;
    HttpClient* client =
        StartClient("http://localhost:" + std::to_string(server.Port()) + "/x", &done);
    AsyncSocket* socket = client->Socket;
    client->Abort();
    EXPECT_FALSE(socket->LookupPending());
    if (freeAtOnce) FreeObject(client);
    PumpFor(500);  // the answer of a lookup that ran on all the same has come by now
    EXPECT_EQ(0, done.Count);
    if (!freeAtOnce) {
      EXPECT_EQ(INADDR_NONE, socket->Address.sin_addr.s_addr) << "the answer was not taken";
      EXPECT_EQ(INVALID_SOCKET, socket->Handle) << "nothing connected";
      FreeObject(client);
    }
  }
}

// Makes WSAStartup fail while it lives: the product's calls go through this process's
// import slot, which is pointed at a stand-in.
extern "C" void* gWsaStartupSlot asm("__imp__WSAStartup@8");

class FailingWinsockStartup {
public:
  FailingWinsockStartup() : slot_(gWsaStartupSlot, reinterpret_cast<void*>(&Fail)) {}

private:
  static int WINAPI Fail(WORD, WSADATA*) { return WSASYSNOTREADY; }
  ImportStandIn slot_;
};

TEST(HttpClient, AFailedWinsockStartUpReachesTheClientAndShowsNoBox) {
  ASSERT_EQ(0, AsyncSocketCount()) << "only the first socket starts Winsock";
  for (const char* host : {"127.0.0.1:9", "localhost:9"}) {
    BoxWatcher boxes;
    DoneLog done;
    ErrorLog errors;
    HttpClient* client;
    {
      FailingWinsockStartup failing;
      client = CreateHttpClient();
      client->Url = (std::string("http://") + host + "/x").c_str();
      client->OnDone = Bind<&DoneLog::Done>(&done);
      client->Get();
    }
    PumpFor(300);
    EXPECT_TRUE(boxes.Seen().empty()) << host << ": " << boxes.Seen()[0].Text;
    // A name cannot even be looked up: the exchange ends at once.
    EXPECT_EQ(std::string(host) == "localhost:9", client->Failed) << host;
    FreeObject(client);
    EXPECT_TRUE(boxes.Seen().empty()) << host;
  }
}

TEST(HttpClient, ARequestThatDoesNotFitIsNeverCompletedAndEndsTheExchange) {
  // A server that never reads: the request fills its receive buffer and the client's send
  // buffer, and send takes only a part of the first line.
  WSADATA data;
  WSAStartup(0x0101, &data);
  int port = 0;
  SOCKET listener = ListenOnLoopback(1, port);
  std::string path = "/stat/uninstall.php?prj=" + std::string(16 << 20, 'x');
  DoneLog done;
  HttpClient* client = StartClient(LocalUrl(port, path), &done);
  EXPECT_TRUE(PumpUntil([&] { return done.Count > 0; }, 20000));
  PumpFor(200);
  EXPECT_TRUE(client->Failed);
  EXPECT_EQ(1, done.Count);
  FreeObject(client);

  // What reached the server is a part of the first line, and then the connection ends.
  SOCKET connection = accept(listener, nullptr, nullptr);
  DWORD timeoutMs = 10000;
  setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
             sizeof timeoutMs);
  std::string received;
  std::vector<char> buffer(1 << 16);
  int n;
  while ((n = recv(connection, buffer.data(), int(buffer.size()), 0)) > 0)
    received.append(buffer.data(), n);
  EXPECT_EQ(0, n) << "the client closed the connection";
  std::string firstLine = "GET " + path + " HTTP/1.1\r\n";
  EXPECT_GT(received.size(), 0u);
  EXPECT_LT(received.size(), firstLine.size());
  EXPECT_EQ(firstLine.substr(0, received.size()), received);
  closesocket(connection);
  closesocket(listener);
  WSACleanup();
}

TEST(HttpClient, AFailedExchangeSignalsOnceAlsoWithAReadQueuedBehindIt) {
  // The server sends at once and never reads: the request does not fit, and the read
  // notification for the server's bytes already waits behind the connect notification.
  ScriptedServer server({{kReply}}, false, false);
  DoneLog done;
  HttpClient* client =
      StartClient(LocalUrl(server.Port(), "/x?" + std::string(16 << 20, 'x')), &done);
  ASSERT_TRUE(server.WaitForScript(20000));
  Sleep(300);
  EXPECT_TRUE(PumpUntil([&] { return done.Count > 0; }, 20000));
  PumpFor(300);
  EXPECT_TRUE(client->Failed);
  EXPECT_EQ(1, done.Count);
  FreeObject(client);
}

TEST(HttpClient, AnEndlessStreamStaysWithinTheCapsAndTheCallersDeadline) {
  struct Row {
    const char* why;
    std::string line;
  } rows[] = {
      {"long lines", std::string(8191, 's') + "\n"},
      {"bare line feeds", std::string(8192, '\n')},
  };
  for (const Row& row : rows) {
    ScriptedServer server({{"HTTP/1.1 200 OK\r\n\r\n"}, {row.line, 0, 3000}}, false);
    DoneLog done;
    DWORD start = GetTickCount();
    HttpClient* client = StartClient(LocalUrl(server.Port()), &done);
    // The caller's own wait, as the applet does it, watching how long each message takes.
    DWORD longest = 0;
    int peakQueue = 0;
    while (GetTickCount() - start < 3000) {
      MSG msg;
      if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        continue;
      }
      DWORD before = GetTickCount();
      DispatchMessageA(&msg);
      DWORD took = GetTickCount() - before;
      if (took > longest) longest = took;
      if (client->Socket->QueuedBytes() > peakQueue) peakQueue = client->Socket->QueuedBytes();
    }
    DWORD waited = GetTickCount() - start;
    EXPECT_LT(waited, 4000u) << row.why;
    EXPECT_LT(longest, 1000u) << row.why << ": a handler must not hold the loop";
    EXPECT_TRUE(client->CapReached) << row.why;
    EXPECT_LE(client->TakenBytes, kReplyByteCap) << row.why;
    EXPECT_LE(client->HeaderLines->Count + client->BodyLines->Count, kReplyLineCap) << row.why;
    EXPECT_LE(peakQueue, kMaxReadChunk) << row.why;
    EXPECT_GT(done.Count, 0) << row.why;
    EXPECT_GT(server.BytesSent(), kReplyByteCap) << row.why;
    FreeObject(client);
  }
}

}  // namespace
