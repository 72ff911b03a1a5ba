// The HTTP GET exchange: the request bytes, and the reply taken line by line as the
// socket reports data and the server's close.
#include "http/http_client.h"

#include "http/base64.h"

HttpClient* CreateHttpClient() {
  HttpClient* client = CreateObject<HttpClient>();
  client->Port = kDefaultHttpPort;
  client->Method = "GET";
  client->HeaderLines = CreateStringList();
  client->BodyLines = CreateStringList();
  client->StartReply();
  return client;
}

void HttpClient::Dispose() {
  ReleaseSocket();
  FreeObject(HeaderLines);
  FreeObject(BodyLines);
  RefObject::Dispose();
}

// Frees the socket; the close it reports on the way out reaches nobody.
void HttpClient::ReleaseSocket() {
  Releasing = true;
  FreeObject(Socket);
  Socket = nullptr;
  Releasing = false;
}

void HttpClient::Get() {
  UrlParts target;
  target.Port = Port;
  target.UserName = UserName;
  target.Password = Password;
  ParseUrl(Url, target);
  Get(target);
}

void HttpClient::Get(const UrlParts& target) {
  Finished = false;
  Closed = false;
  Failed = false;
  StartReply();
  ReleaseSocket();  // a client carries one exchange at a time
  Socket = CreateAsyncSocket();
  // Bound before the socket does anything, so that all it reports reaches the client.
  Socket->OnConnect = Bind<&HttpClient::SocketConnect>(this);
  Socket->OnRead = Bind<&HttpClient::SocketRead>(this);
  Socket->OnClose = Bind<&HttpClient::SocketClose>(this);
  Socket->OnError = Bind<&HttpClient::SocketError>(this);
  Socket->OnLookup = Bind<&HttpClient::SocketLookup>(this);

  Host = target.Host;
  Port = target.Port;
  Path = target.Path;
  UserName = target.UserName;
  Password = target.Password;

  Socket->SetPort(Port);
  ByteString server = Host;
  if (!ProxyHost.IsEmpty()) {
    server = ProxyHost;
    Socket->SetPort(ProxyPort);  // ignored when out of range: Port stays in force
    Path = "http://" + Host + Path;
  }
  Method = "GET";
  // A name is resolved in the background: a resolver that does not answer must not hold
  // the caller's thread (and its window) beyond the caller's own limit.
  if (inet_addr(server.Data()) == INADDR_NONE) {
    Socket->LookupHost(server);
    return;
  }
  Socket->SetAddress(server);
  Socket->Connect();
}

void HttpClient::Abort() {
  Finished = true;
  if (Socket) Socket->CancelLookup();
}

// The lookup's answer: connect to the address, or end the exchange when there is none.
void HttpClient::SocketLookup(SocketMessage* message) {
  if (Releasing) return;
  if (Finished) return;  // aborted: the answer came too late to be cancelled
  if (message->ErrorCode != 0 || Socket->Address.sin_addr.s_addr == INADDR_NONE) {
    Fail();
    return;
  }
  Socket->Connect();
}

// Ends an exchange that has no reply to wait for. The connection goes with it, so that a
// request cut short is never completed by the lines that were to follow; the close it
// reports reaches nobody, and OnDone is raised once, for the failure.
void HttpClient::Fail() {
  Finished = true;
  Failed = true;
  Releasing = true;
  Socket->Close();
  Releasing = false;
  OnDone(this);
}

void HttpClient::SocketConnect(SocketMessage*) {
  if (Releasing) return;
  if (Finished) return;  // aborted or failed: no request goes out any more
  HeaderLines->Clear();
  BodyLines->Clear();
  // A line that send takes only in part (its buffer is full) ends the exchange: the lines
  // after it would otherwise follow the cut, and the server would read another request.
  bool whole =
      Socket->SendText(Method + " " + Path + " HTTP/1.1\r\n") &&
      Socket->SendText("User-Agent: ExitPoll-HTTP\r\n") &&
      Socket->SendText("Host: " + Host + "\r\n") &&
      (UserName.IsEmpty() || Socket->SendText("Authorization: Basic " +
                                              Base64Encode(UserName + ":" + Password) + "\r\n")) &&
      Socket->SendText("\r\n");
  if (!whole) Fail();
}

void HttpClient::SocketRead(SocketMessage*) {
  if (Releasing) return;
  // A read notification queued before the failure: the failure has signalled the end.
  if (Failed) return;
  // Once finished the client still empties the queue, so that a server that keeps
  // sending cannot make it grow.
  if (Finished)
    Socket->ReceiveQueue->Clear();
  else
    TakeLines(Socket->ReceiveQueue);
  OnDone(this);
}

void HttpClient::SocketClose(SocketMessage*) {
  if (Releasing) return;
  // Whatever the server sent before closing has been read by now; a last line without
  // a line end is still a line of the reply.
  if (!Finished) TakeLastLine(Socket->ReceiveQueue);
  Closed = true;
  OnDone(this);
}

void HttpClient::SocketError(SocketMessage*) {
  // Network failures are silent: the caller notices only that OnDone does not come.
}
