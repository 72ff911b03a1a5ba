// AsyncSocket: an IPv4 TCP client socket on Winsock 1.1 that never blocks on the wire.
// Its progress arrives as window messages at a hidden window of its own and is turned
// into events; received data waits in a queue to be read as bytes or lines.
#pragma once

#include <windows.h>
#include <winsock.h>

#include "net/receive_queue.h"
#include "net/thunks.h"
#include "rt/object.h"

// The window message that Winsock posts for every notification, and the codes of the
// records handed to the socket's events. All lie in 0x7400..0x7409.
constexpr UINT WM_SOCKET = 0x7400;
constexpr UINT WM_SOCKETERROR = 0x7401;
constexpr UINT WM_SOCKETCLOSE = 0x7402;
constexpr UINT WM_SOCKETREAD = 0x7403;
constexpr UINT WM_SOCKETCONNECT = 0x7404;
constexpr UINT WM_SOCKETACCEPT = 0x7405;
constexpr UINT WM_SOCKETWRITE = 0x7406;
constexpr UINT WM_SOCKETOOB = 0x7407;
constexpr UINT WM_SOCKETLOOKUP = 0x7409;

// One read notification takes at most this many bytes; Winsock posts another
// notification for whatever is left.
constexpr int kMaxReadChunk = 65535;

// What an asynchronous lookup may write: a hostent record and everything it points to.
constexpr int kLookupBufferSize = 1024;

class AsyncSocket;

// What every socket event receives; it lives only for the duration of the call.
struct SocketMessage {
  WORD Code;
  union {
    WORD ErrorCode;      // error notifications: the Winsock error
    int BytesAvailable;  // read notifications: what Winsock reported as readable
  };
  int SocketHandle;  // the socket's handle when the record was made, -1 for none
  AsyncSocket* Sender;
};

using SocketEvent = BoundMethod<SocketMessage*>;

class AsyncSocket : public RefObject {
public:
  void Dispose() override;

  // Dotted IPv4 text, or a name resolved at once (blocking); a name that does not
  // resolve leaves 255.255.255.255.
  void SetAddress(const ByteString& host);
  // Resolves `name` in the background into LookupBuffer; the address stays
  // 255.255.255.255 until the answer arrives as a lookup notification, which takes the
  // address (ErrorCode 0) or carries the resolver's error. A lookup that cannot start is
  // reported the same way at once.
  void LookupHost(const ByteString& name);
  // Cancels the lookup in flight, if any: its answer, should it still come, is ignored.
  void CancelLookup();
  bool LookupPending() const { return LookupTask != nullptr; }
  // Ports outside 1..65535 are ignored.
  void SetPort(int port);
  // Closes an open connection, makes a handle, asks for read, connect and close
  // notifications and starts a non-blocking connect.
  void Connect();
  void Close();

  // `length`: in, the bytes at `data`; out, what send/recv returned.
  void SendBuffer(const void* data, int& length);
  void ReceiveBuffer(void* data, int& length);
  // True when send took every byte. A request cut short is the caller's to handle: the
  // socket never sends the rest on its own.
  bool SendText(const ByteString& text);

  int QueuedBytes() const;
  int ReadQueued(char* buffer, int count);

  // Bound to the utility window: decodes Winsock's notifications.
  void SocketWindowProc(WindowMessage* message);

  // Runs the notification `message` carries: its effect on the socket (a read queues the
  // readable bytes, a lookup's answer sets the address), then its event.
  void Notify(SocketMessage* message);

  // Runs an error notification when `value` is -1 (SOCKET_ERROR); returns `value`.
  int CheckResult(int value);
  // Runs the close notification, then closes the handle. A remote close pumps first,
  // so that the data that arrived before it is queued and read before OnClose.
  void CloseHandleAndNotify(bool pumpFirst);
  void PumpSocketMessages();

  sockaddr_in Address;
  SOCKET Handle;
  UtilityWindow* Window;
  bool Connected;
  ByteString HostName;
  // A hostent record of kLookupBufferSize bytes, written by the lookup in flight. A block
  // handed to a cancelled lookup is never reused or freed: some systems let the lookup
  // write its answer all the same.
  char* LookupBuffer;
  ChunkQueue* ReceiveQueue;
  int StartupError;   // a failed WSAStartup, reported by the first operation
  HANDLE LookupTask;  // the lookup in flight, null when none

  SocketEvent OnError;
  SocketEvent OnLookup;
  SocketEvent OnAccept;
  SocketEvent OnClose;
  SocketEvent OnConnect;
  SocketEvent OnRead;
  SocketEvent OnWrite;
  SocketEvent OnOOB;

private:
  void EnsureHandle();
  void ReportStartupFailure();
  void ReadRemaining();
  void QueueReadable(int available);
  void TakeLookupAnswer();
  SocketMessage Record(WORD code) const;

  bool Closing;  // a close notification is running
};

AsyncSocket* CreateAsyncSocket();
// Live sockets; Winsock runs while there is at least one.
int AsyncSocketCount();
