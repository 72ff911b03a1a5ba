// HttpClient: one HTTP/1.1 GET over an AsyncSocket, driven by the socket's notifications
// through the caller's message loop; the reply is collected as text lines.
#pragma once

#include "http/reply_lines.h"
#include "http/url_parser.h"
#include "net/async_socket.h"
#include "rt/object.h"

class HttpClient : public RefObject, public ReplyLines {
public:
  void Dispose() override;

  // Starts the exchange with the server and port of `target` for its path (with the query)
  // as they are, and returns at once: a host name is resolved in the background, and the
  // connection attempt follows the answer; dotted text connects at once.
  void Get(const UrlParts& target);
  // The same for the URL in Url, split by ParseUrl; where it names no port or user, Port,
  // UserName and Password stay as set.
  void Get();
  // Takes no more lines; those stored stay. A lookup still running is cancelled, and a
  // connection made from now on sends no request.
  void Abort();

  ByteString Host;
  ByteString Url;   // what Get() without parts fetches: set by the caller before
  ByteString Path;  // the request target; with a proxy the absolute form
  ByteString UserName;
  ByteString Password;
  ByteString Method;
  ByteString ProxyHost;  // empty: connect directly
  int ProxyPort;
  AsyncSocket* Socket;
  bool Finished;  // set by Abort: no more lines are taken
  int Port;
  // Raised after each read notification and when the server has closed the connection;
  // never for an error.
  BoundMethod<HttpClient*> OnDone;
  // Set once the server has closed the connection, before OnDone is raised for it.
  bool Closed;
  // Set when the exchange ended without a reply: the name did not resolve, or the request
  // could not be sent whole. OnDone is raised once for it, with nothing stored.
  bool Failed;

private:
  void SocketConnect(SocketMessage* message);
  void SocketRead(SocketMessage* message);
  void SocketClose(SocketMessage* message);
  void SocketError(SocketMessage* message);
  void SocketLookup(SocketMessage* message);
  void Fail();
  void ReleaseSocket();

  bool Releasing;  // the client is letting go of its socket: its events raise nothing
};

HttpClient* CreateHttpClient();
