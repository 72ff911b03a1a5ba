// The HTTP GET exchange: the request bytes, and the reply taken line by line as the
// socket reports data and the server's close.
#include "http/http_client.h"

#include "http/base64.h"
#include "http/url_parser.h"

HttpClient* CreateHttpClient() {
  HttpClient* client = CreateObject<HttpClient>();
  client->Port = 80;
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
  Finished = false;
  Closed = false;
  StartReply();
  ReleaseSocket();  // a client carries one exchange at a time
  Socket = CreateAsyncSocket();

  UrlParts parts;
  parts.Port = Port;
  parts.UserName = UserName;
  parts.Password = Password;
  ParseUrl(Url, parts);
  Host = parts.Host;
  Port = parts.Port;
  Path = parts.Path;
  UserName = parts.UserName;
  Password = parts.Password;

  Socket->SetPort(Port);
  if (ProxyHost.IsEmpty()) {
    Socket->SetAddress(Host);
  } else {
    Socket->SetAddress(ProxyHost);
    Socket->SetPort(ProxyPort);  // ignored when out of range: Port stays in force
    Path = "http://" + Host + Path;
  }
  Socket->OnConnect = Bind<&HttpClient::SocketConnect>(this);
  Socket->OnRead = Bind<&HttpClient::SocketRead>(this);
  Socket->OnClose = Bind<&HttpClient::SocketClose>(this);
  Socket->OnError = Bind<&HttpClient::SocketError>(this);
  Method = "GET";
  Socket->Connect();
}

void HttpClient::Abort() {
  Finished = true;
}

void HttpClient::SocketConnect(SocketMessage*) {
  if (Releasing) return;
  HeaderLines->Clear();
  BodyLines->Clear();
  Socket->SendText(Method + " " + Path + " HTTP/1.1\r\n");
  Socket->SendText("User-Agent: ExitPoll-HTTP\r\n");
  Socket->SendText("Host: " + Host + "\r\n");
  if (!UserName.IsEmpty())
    Socket->SendText("Authorization: Basic " + Base64Encode(UserName + ":" + Password) + "\r\n");
  Socket->SendText("\r\n");
}

void HttpClient::SocketRead(SocketMessage*) {
  if (Releasing) return;
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
