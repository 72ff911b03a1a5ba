// The socket object: Winsock start-up and clean-up, address and port, connecting,
// closing, sending, and reading what the receive queue holds.
#include "net/async_socket.h"

#include <string.h>

#include "rt/memory.h"

namespace {

int gInstanceCount;

constexpr long kSelectedEvents = FD_READ | FD_CONNECT | FD_CLOSE;

char* NewLookupBuffer() {
  char* block = static_cast<char*>(MemAlloc(kLookupBufferSize));
  memset(block, 0, kLookupBufferSize);
  return block;
}

}  // namespace

AsyncSocket* CreateAsyncSocket() {
  ++gInstanceCount;
  AsyncSocket* socket = CreateObject<AsyncSocket>();
  // Set first, so that a failed start-up reports no handle rather than handle 0.
  socket->Handle = INVALID_SOCKET;
  if (gInstanceCount == 1) {
    WSADATA data;
    // WSAStartup returns its error instead of -1. It is reported by the first operation
    // that needs Winsock: nobody can have attached OnError yet, and a report now would
    // show a message box.
    socket->StartupError = WSAStartup(MAKEWORD(1, 1), &data);
  }
  socket->Address.sin_family = AF_INET;
  socket->Address.sin_addr.s_addr = inet_addr("0.0.0.0");
  socket->SetPort(0);
  socket->LookupBuffer = NewLookupBuffer();
  socket->ReceiveQueue = CreateChunkQueue();
  socket->Window = CreateUtilityWindow(Bind<&AsyncSocket::SocketWindowProc>(socket));
  return socket;
}

int AsyncSocketCount() {
  return gInstanceCount;
}

void AsyncSocket::Dispose() {
  CancelLookup();
  Close();
  if (gInstanceCount == 1) CheckResult(WSACleanup());
  FreeObject(Window);
  Window = nullptr;
  FreeObject(ReceiveQueue);
  ReceiveQueue = nullptr;
  MemFree(LookupBuffer);
  LookupBuffer = nullptr;
  --gInstanceCount;
  RefObject::Dispose();
}

// Reported as an error notification with WSAStartup's own code, by the first operation.
void AsyncSocket::ReportStartupFailure() {
  if (StartupError == 0) return;
  WSASetLastError(StartupError);
  StartupError = 0;
  CheckResult(SOCKET_ERROR);
}

void AsyncSocket::SetAddress(const ByteString& host) {
  ReportStartupFailure();
  Address.sin_addr.s_addr = inet_addr(host.Data());
  if (Address.sin_addr.s_addr != INADDR_NONE) return;
  hostent* entry = gethostbyname(host.Data());
  if (entry && entry->h_addr_list && entry->h_addr_list[0])
    memcpy(&Address.sin_addr, entry->h_addr_list[0], 4);
}

void AsyncSocket::LookupHost(const ByteString& name) {
  ReportStartupFailure();
  CancelLookup();
  Address.sin_addr.s_addr = INADDR_NONE;
  LookupTask = WSAAsyncGetHostByName(Window->Handle, WM_SOCKETLOOKUP, name.Data(), LookupBuffer,
                                     kLookupBufferSize);
  if (LookupTask) return;
  SocketMessage message = Record(WM_SOCKETLOOKUP);
  int error = WSAGetLastError();
  message.ErrorCode = WORD(error ? error : WSAHOST_NOT_FOUND);
  Notify(&message);
}

void AsyncSocket::CancelLookup() {
  if (!LookupTask) return;
  WSACancelAsyncRequest(LookupTask);  // too late for it is no fault: the answer is ignored
  LookupTask = nullptr;
  LookupBuffer = NewLookupBuffer();  // the old block may still be written
}

void AsyncSocket::SetPort(int port) {
  if (port >= 1 && port <= 65535) Address.sin_port = htons(u_short(port));
}

void AsyncSocket::EnsureHandle() {
  if (Handle == INVALID_SOCKET) Handle = CheckResult(socket(AF_INET, SOCK_STREAM, 0));
}

void AsyncSocket::Connect() {
  ReportStartupFailure();
  Close();
  EnsureHandle();
  CheckResult(WSAAsyncSelect(Handle, Window->Handle, WM_SOCKET, kSelectedEvents));
  if (connect(Handle, reinterpret_cast<sockaddr*>(&Address), sizeof Address) == SOCKET_ERROR &&
      WSAGetLastError() != WSAEWOULDBLOCK)
    CheckResult(SOCKET_ERROR);
}

void AsyncSocket::Close() {
  CloseHandleAndNotify(false);
}

void AsyncSocket::CloseHandleAndNotify(bool pumpFirst) {
  if (Handle == INVALID_SOCKET) return;
  if (pumpFirst) {
    PumpSocketMessages();
    ReadRemaining();
    if (Handle == INVALID_SOCKET) return;  // a handler closed it meanwhile
  }
  // A close handler that closes the socket itself must not start a second close
  // notification for the same handle (and so on without end).
  if (Closing) return;
  Closing = true;
  SocketMessage message = Record(WM_SOCKETCLOSE);
  Notify(&message);
  CheckResult(closesocket(Handle));
  Handle = INVALID_SOCKET;
  Closing = false;
}

void AsyncSocket::PumpSocketMessages() {
  MSG msg;
  while (Window && PeekMessageA(&msg, Window->Handle, WM_SOCKET, WM_SOCKETLOOKUP, PM_REMOVE))
    DispatchMessageA(&msg);
}

// At a remote close Winsock may still hold data for which no read notification is
// queued any more; read it as further notifications, so that nothing sent before the
// close is lost.
void AsyncSocket::ReadRemaining() {
  for (;;) {
    u_long available = 0;
    if (Handle == INVALID_SOCKET || ioctlsocket(Handle, FIONREAD, &available) != 0 ||
        available == 0)
      return;
    int before = ReceiveQueue->QueuedBytes();
    SocketMessage message = Record(WM_SOCKETREAD);
    message.BytesAvailable = int(available);
    Notify(&message);
    // The handler may have taken what arrived; stop only when nothing was received.
    u_long left = 0;
    if (ReceiveQueue->QueuedBytes() == before && Handle != INVALID_SOCKET &&
        ioctlsocket(Handle, FIONREAD, &left) == 0 && left >= available)
      return;
  }
}

void AsyncSocket::SendBuffer(const void* data, int& length) {
  length = CheckResult(send(Handle, static_cast<const char*>(data), length, 0));
}

void AsyncSocket::ReceiveBuffer(void* data, int& length) {
  length = CheckResult(recv(Handle, static_cast<char*>(data), length, 0));
}

bool AsyncSocket::SendText(const ByteString& text) {
  int length = text.Length();
  SendBuffer(text.Data(), length);
  return length == text.Length();
}

int AsyncSocket::QueuedBytes() const {
  return ReceiveQueue->QueuedBytes();
}

int AsyncSocket::ReadQueued(char* buffer, int count) {
  return ReceiveQueue->ReadQueued(buffer, count);
}

int AsyncSocket::CheckResult(int value) {
  if (value == SOCKET_ERROR) {
    SocketMessage message = Record(WM_SOCKETERROR);
    message.ErrorCode = WORD(WSAGetLastError());
    Notify(&message);
  }
  return value;
}

SocketMessage AsyncSocket::Record(WORD code) const {
  SocketMessage message = {};
  message.Code = code;
  message.SocketHandle = int(Handle);
  message.Sender = const_cast<AsyncSocket*>(this);
  return message;
}
