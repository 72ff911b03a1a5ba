// Socket event dispatch: Winsock's window messages become notifications, each handled by
// its Message_ handler and passed on to the socket's event, or shown in a message box
// when the user attached no handler to that event.
#include <windows.h>

#include <string.h>

#include "net/async_socket.h"
#include "net/winsock_errors.h"

namespace {

// Runs `event`, or shows "<what> on socket <handle>" captioned `caption` when the event
// has no handler. The box is modal: messages keep flowing while it is open.
void Raise(const SocketEvent& event, SocketMessage* message, const char* what,
           const char* caption) {
  if (event.Assigned()) {
    event(message);
    return;
  }
  char text[96];
  wsprintfA(text, "%s on socket %d", what, message->SocketHandle);
  MessageBoxA(nullptr, text, caption, 0);
}

}  // namespace

void AsyncSocket::SocketWindowProc(WindowMessage* message) {
  if (message->Msg == WM_SOCKET) {
    WORD error = HIWORD(message->LParam);
    if (error > 10000) {
      WSASetLastError(error);
      CheckResult(SOCKET_ERROR);
      return;
    }
    SocketMessage record = Record(0);
    switch (LOWORD(message->LParam)) {
      case FD_READ: {
        u_long available = 0;
        CheckResult(ioctlsocket(Handle, FIONREAD, &available));
        record = Record(WM_SOCKETREAD);
        record.BytesAvailable = int(available);
        Message_Read(&record);
        break;
      }
      case FD_WRITE:
        record.Code = WM_SOCKETWRITE;
        Message_Write(&record);
        break;
      case FD_OOB:
        record.Code = WM_SOCKETOOB;
        Message_OOB(&record);
        break;
      case FD_ACCEPT:
        record.Code = WM_SOCKETACCEPT;
        Message_Accept(&record);
        break;
      case FD_CONNECT:
        record.Code = WM_SOCKETCONNECT;
        Message_Connect(&record);
        break;
      case FD_CLOSE:
        CloseHandleAndNotify(true);
        break;
      default:  // a combination of events, or none: not a notification Winsock sends
        break;
    }
    return;
  }
  if (message->Msg == WM_SOCKETLOOKUP) {
    // Only the answer to the lookup in flight counts: a cancelled lookup may still answer,
    // and without a lookup a stray message would connect the socket again.
    if (!LookupTask || reinterpret_cast<HANDLE>(message->WParam) != LookupTask) return;
    LookupTask = nullptr;
    SocketMessage record = Record(WM_SOCKETLOOKUP);
    record.ErrorCode = WSAGETASYNCERROR(message->LParam);
    Message_Lookup(&record);
    return;
  }
  message->Result = DefWindowProcA(Window ? Window->Handle : nullptr, message->Msg, message->WParam,
                                   message->LParam);
}

void AsyncSocket::Message_Error(SocketMessage* message) {
  Raise(OnError, message, WinsockErrorName(message->ErrorCode).Data(), "Message_Error");
}

// A successful answer names the host and gives the address to connect to: the first
// IPv4 address of the record, its bytes in network order as they are.
void AsyncSocket::Message_Lookup(SocketMessage* message) {
  if (message->ErrorCode == 0) {
    const hostent* entry = reinterpret_cast<const hostent*>(LookupBuffer);
    HostName = ByteString(entry->h_name);
    if (entry->h_addrtype == AF_INET && entry->h_length == 4 && entry->h_addr_list &&
        entry->h_addr_list[0])
      memcpy(&Address.sin_addr, entry->h_addr_list[0], 4);
  }
  Raise(OnLookup, message, "WM_SOCKETLOOKUP", "Message_Lookup");
}

void AsyncSocket::Message_Close(SocketMessage* message) {
  Connected = false;
  Raise(OnClose, message, "WM_SOCKETCLOSE", "Message_Close");
}

void AsyncSocket::Message_Accept(SocketMessage* message) {
  Connected = true;
  Raise(OnAccept, message, "WM_SOCKETACCEPT", "Message_Accept");
}

void AsyncSocket::Message_Read(SocketMessage* message) {
  if (message->BytesAvailable > 0) {
    Connected = true;
    int length = message->BytesAvailable < kMaxReadChunk ? message->BytesAvailable : kMaxReadChunk;
    ReceiveChunk* chunk = CreateReceiveChunk(length);
    ReceiveBuffer(chunk->Data, chunk->Length);
    // A failed receive (-1) or an orderly end (0) queues nothing.
    ReceiveQueue->Append(chunk);
  }
  Raise(OnRead, message, "WM_SOCKETREAD", "Message_Read");
}

void AsyncSocket::Message_Connect(SocketMessage* message) {
  Connected = true;
  Raise(OnConnect, message, "WM_SOCKETCONNECT", "Message_Connect");
}

void AsyncSocket::Message_Write(SocketMessage* message) {
  Connected = true;
  Raise(OnWrite, message, "WM_SOCKETWRITE", "Message_Write");
}

void AsyncSocket::Message_OOB(SocketMessage* message) {
  Raise(OnOOB, message, "WM_SOCKETOOB", "Message_OOB");
}
