// Socket event dispatch: Winsock's window messages become notifications, each passed on to
// the socket's event, or shown in a message box when the user attached no handler to it.
#include <windows.h>

#include <string.h>

#include "net/async_socket.h"
#include "net/winsock_errors.h"

namespace {

// What a notification does to the socket's Connected flag before its event runs.
enum class ConnectedAfter : unsigned char { Unchanged, Set, Cleared };

// One notification: the code of its record, the Winsock event that brings it (0 for those
// the socket raises itself), the event it runs and what an unhandled one shows. Accept,
// write and out-of-band are never selected, so they never arrive; they stay under their
// names for a socket that would select them.
struct Notification {
  WORD Code;
  WORD Selected;
  SocketEvent AsyncSocket::*Event;
  ConnectedAfter Connected;
  const char* Text;  // null: the name of the record's Winsock error
  const char* Caption;
};

const Notification kNotifications[] = {
    {WM_SOCKETERROR, 0, &AsyncSocket::OnError, ConnectedAfter::Unchanged, nullptr,
     "Message_Error"},
    {WM_SOCKETLOOKUP, 0, &AsyncSocket::OnLookup, ConnectedAfter::Unchanged, "WM_SOCKETLOOKUP",
     "Message_Lookup"},
    {WM_SOCKETCLOSE, FD_CLOSE, &AsyncSocket::OnClose, ConnectedAfter::Cleared, "WM_SOCKETCLOSE",
     "Message_Close"},
    // A read sets Connected only when it brought bytes (QueueReadable).
    {WM_SOCKETREAD, FD_READ, &AsyncSocket::OnRead, ConnectedAfter::Unchanged, "WM_SOCKETREAD",
     "Message_Read"},
    {WM_SOCKETCONNECT, FD_CONNECT, &AsyncSocket::OnConnect, ConnectedAfter::Set,
     "WM_SOCKETCONNECT", "Message_Connect"},
    {WM_SOCKETACCEPT, FD_ACCEPT, &AsyncSocket::OnAccept, ConnectedAfter::Set, "WM_SOCKETACCEPT",
     "Message_Accept"},
    {WM_SOCKETWRITE, FD_WRITE, &AsyncSocket::OnWrite, ConnectedAfter::Set, "WM_SOCKETWRITE",
     "Message_Write"},
    {WM_SOCKETOOB, FD_OOB, &AsyncSocket::OnOOB, ConnectedAfter::Unchanged, "WM_SOCKETOOB",
     "Message_OOB"},
};

// The row whose `field` is `value`, or null; 0 names no row (the rows that Winsock
// brings none of have 0 there).
const Notification* Find(WORD Notification::*field, WORD value) {
  if (value == 0) return nullptr;
  for (const Notification& row : kNotifications)
    if (row.*field == value) return &row;
  return nullptr;
}

}  // namespace

void AsyncSocket::SocketWindowProc(WindowMessage* message) {
  if (message->Msg == WM_SOCKET) {
    WORD error = WSAGETSELECTERROR(message->LParam);
    if (error > WSABASEERR) {
      WSASetLastError(error);
      CheckResult(SOCKET_ERROR);
      return;
    }
    WORD selected = WSAGETSELECTEVENT(message->LParam);
    if (selected == FD_CLOSE) {
      CloseHandleAndNotify(true);
      return;
    }
    // A combination of events, or none, is not a notification Winsock sends.
    const Notification* row = Find(&Notification::Selected, selected);
    if (!row) return;
    u_long available = 0;
    if (selected == FD_READ) CheckResult(ioctlsocket(Handle, FIONREAD, &available));
    SocketMessage record = Record(row->Code);
    if (selected == FD_READ) record.BytesAvailable = int(available);
    Notify(&record);
    return;
  }
  if (message->Msg == WM_SOCKETLOOKUP) {
    // Only the answer to the lookup in flight counts: a cancelled lookup may still answer,
    // and without a lookup a stray message would connect the socket again.
    if (!LookupTask || reinterpret_cast<HANDLE>(message->WParam) != LookupTask) return;
    LookupTask = nullptr;
    SocketMessage record = Record(WM_SOCKETLOOKUP);
    record.ErrorCode = WSAGETASYNCERROR(message->LParam);
    Notify(&record);
    return;
  }
  message->Result = DefWindowProcA(Window ? Window->Handle : nullptr, message->Msg, message->WParam,
                                   message->LParam);
}

void AsyncSocket::Notify(SocketMessage* message) {
  const Notification* row = Find(&Notification::Code, message->Code);
  if (!row) return;
  if (message->Code == WM_SOCKETREAD) QueueReadable(message->BytesAvailable);
  if (message->Code == WM_SOCKETLOOKUP && message->ErrorCode == 0) TakeLookupAnswer();
  if (row->Connected != ConnectedAfter::Unchanged)
    Connected = row->Connected == ConnectedAfter::Set;
  const SocketEvent& event = this->*row->Event;
  if (event.Assigned()) {
    event(message);
    return;
  }
  // The box is modal: messages keep flowing while it is open.
  ByteString what = row->Text ? ByteString(row->Text) : WinsockErrorName(message->ErrorCode);
  char text[96];
  wsprintfA(text, "%s on socket %d", what.Data(), message->SocketHandle);
  MessageBoxA(nullptr, text, row->Caption, MB_OK);
}

// A successful answer names the host and gives the address to connect to: the first
// IPv4 address of the record, its bytes in network order as they are.
void AsyncSocket::TakeLookupAnswer() {
  const hostent* entry = reinterpret_cast<const hostent*>(LookupBuffer);
  HostName = ByteString(entry->h_name);
  if (entry->h_addrtype == AF_INET && entry->h_length == 4 && entry->h_addr_list &&
      entry->h_addr_list[0])
    memcpy(&Address.sin_addr, entry->h_addr_list[0], 4);
}

void AsyncSocket::QueueReadable(int available) {
  if (available <= 0) return;
  Connected = true;
  int length = available < kMaxReadChunk ? available : kMaxReadChunk;
  ReceiveChunk* chunk = CreateReceiveChunk(length);
  ReceiveBuffer(chunk->Data, chunk->Length);
  // A failed receive (-1) or an orderly end (0) queues nothing.
  ReceiveQueue->Append(chunk);
}
