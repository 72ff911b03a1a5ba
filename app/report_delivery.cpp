// Delivery of the report: one GET to the statistics server by either stack, one bounded
// wait that keeps the window responsive and that either stack ends, and the mail fallback
// when the server did not confirm with "OK".
#include "app/report_delivery.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "app/delivery_rules.h"
#include "app/report.h"
#include "app/report_address.h"
#include "app/report_id.h"
#include "app/system_http.h"
#include "app/text_code.h"
#include "app/windows_version.h"
#include "gui/message_loop.h"
#include "http/http_client.h"

namespace {

// One report's wait for its reply. Either stack ends it the same way, from the thread's own
// message dispatch, once it has seen enough of the reply.
struct ReplyWait {
  bool Waiting;
  bool Accepted;  // the own client's verdict; the system stack's is FinishSystemRequest's

  // The own client's OnDone, raised after every batch of data: an "OK" may still be on its
  // way unless the lines so far are accepted or the server has closed the connection.
  void ClientDone(HttpClient* client) {
    Accepted = ReplyAccepted(client->HeaderLines);
    if (Accepted || client->Closed || client->Failed) Waiting = false;
  }
  void RequestDone() { Waiting = false; }
};

}  // namespace

void DeliverReport(const ByteString& ansiProduct, const ByteString& ansiReason,
                   const Settings& settings, int reasonNumber) {
  const ReportKeys& keys = settings.Keys;
  ByteString id = keys.MakeId ? NewReportId() : ByteString();
  ByteString product = keys.Utf8 ? Utf8OfAnsi(ansiProduct) : ansiProduct;
  ByteString reason = keys.Utf8 ? Utf8OfAnsi(ansiReason) : ansiReason;
  const ByteString query =
      ReportQuery(product, reason, WindowsVersionName(keys.NamedWindows), keys.Version, id,
                  keys.ReasonNumber ? reasonNumber : 0, keys.Utf8);
  const ByteString& address = settings.Url;
  ReplyWait wait = {true, false};
  HttpClient* client = nullptr;
  SystemRequest* request = nullptr;
  DWORD start = GetTickCount();
  if (!address.IsEmpty())
    request = StartSystemRequest(WithQuery(address, query), Bind<&ReplyWait::RequestDone>(&wait));
  // Without the system's stack a plain address still goes by the own client; a secure one
  // cannot go at all, and the answer is mailed at once.
  if (!request && !IsSecureAddress(address)) {
    client = CreateHttpClient();
    client->OnDone = Bind<&ReplyWait::ClientDone>(&wait);
    client->Get(ReportTarget(settings.Host, address, query));
  }
  if (request || client) WaitForReply(wait.Waiting, start);

  // The client is gone before the mail opens: the shell may dispatch messages, and a
  // connection made then would deliver the report that the mail is about to repeat.
  bool accepted = request ? FinishSystemRequest(request) : wait.Accepted;
  if (client) {
    client->Abort();
    FreeObject(client);
  }
  if (!accepted) {
    ByteString fallback = settings.Page.IsEmpty()
                              ? MailUrl(product, reason, settings.Email, id, keys.Utf8)
                              : WithQuery(settings.Page, query);
    ShellExecuteA(nullptr, nullptr, fallback.Data(), nullptr, nullptr, SW_SHOWNORMAL);
  }
}

// The flag and the clock are tested after every message, so messages that keep coming
// cannot hold the close beyond the limit; an empty queue is waited on without spinning.
void WaitForReply(const bool& waiting, uint32_t start) {
  for (;;) {
    if (!waiting) return;
    uint32_t left = WaitTimeLeft(start, GetTickCount(), kReportWaitMs);
    if (left == 0) return;
    if (PumpOne()) continue;
    // PumpOne also answers false for a WM_NULL it took; messages behind it were already
    // seen and would not end the wait below, so look again before blocking.
    MSG next;
    if (PeekMessageA(&next, nullptr, 0, 0, PM_NOREMOVE)) continue;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_ALLINPUT);
  }
}
