// Delivery of the report: one GET to the statistics server, a bounded wait that keeps the
// window responsive, and the mail fallback when the server did not confirm with "OK".
#include "app/report_delivery.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "app/delivery_rules.h"
#include "app/report.h"
#include "app/report_address.h"
#include "app/report_id.h"
#include "app/system_http.h"
#include "app/windows_version.h"
#include "gui/message_loop.h"

void DeliverReport(const ByteString& product, const ByteString& reason, const ByteString& host,
                   const ByteString& mailAddress, const ReportKeys& keys,
                   BoundMethod<HttpClient*> onDone, bool& waiting, const ByteString& address,
                   const ByteString& page) {
  ByteString id = keys.MakeId ? NewReportId() : ByteString();
  const ByteString report =
      ReportUrl(product, reason, WindowsVersionName(keys.NamedWindows), host, keys.Version, id);
  ByteString url = report;
  HttpClient* client = nullptr;
  SystemRequest* request = nullptr;
  waiting = true;
  DWORD start = GetTickCount();
  if (!address.IsEmpty()) {
    url = AddressedReportUrl(address, url);
    request = StartSystemRequest(url, waiting);
  }
  // Without the system's stack a plain address still goes by the own client; a secure one
  // cannot go at all, and the answer is mailed at once.
  if (!request && !IsSecureAddress(url)) {
    client = CreateHttpClient();
    client->Url = url;
    client->OnDone = onDone;
    client->Get();
  }
  if (request || client) WaitForReply(waiting, start);

  // The client is gone before the mail opens: the shell may dispatch messages, and a
  // connection made then would deliver the report that the mail is about to repeat.
  bool accepted =
      request ? FinishSystemRequest(request) : client && ReplyAccepted(client->HeaderLines);
  if (client) {
    client->Abort();
    FreeObject(client);
  }
  if (!accepted) {
    ByteString fallback = page.IsEmpty() ? MailUrl(product, reason, mailAddress, id)
                                         : AddressedReportUrl(page, report);
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
