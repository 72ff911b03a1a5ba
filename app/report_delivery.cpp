// Delivery of the answer when the feedback window closes: one GET to the statistics
// server, a bounded wait that keeps the window responsive, and the mail fallback when
// the server did not confirm with "OK".
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "app/feedback_form.h"
#include "app/report.h"
#include "app/report_delivery.h"
#include "app/report_wait.h"
#include "app/windows_version.h"
#include "gui/controls.h"
#include "gui/message_loop.h"

namespace {

const char kOtherSeparator[] = ": ";
const int kOtherPosition = kReasonCount;  // "Other", after OtherEdit and six reasons

}  // namespace

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

void FeedbackForm::FormClose(Widget*, bool* accept) {
  if (Closing) {
    // A second close (the close box again, or the button) while the report is on its
    // way: refused, so that one run sends one report and opens at most one mail.
    *accept = false;
    return;
  }
  Closing = true;

  int position = 0;
  int count = ChildCount(ChoiceGroup);
  while (position < count && !IsChecked(ChildAt(ChoiceGroup, position))) ++position;
  if (position == count) return;  // nothing chosen, nothing to say
  ByteString reason = GetText(ChildAt(ChoiceGroup, position));
  if (position == kOtherPosition) reason = reason + kOtherSeparator + GetText(OtherEdit);

  HttpClient* client = CreateHttpClient();
  client->Url = ReportUrl(ProductName, reason, WindowsVersionName());
  client->OnDone = Bind<&FeedbackForm::HttpDone>(this);
  Waiting = true;
  DWORD start = GetTickCount();
  client->Get();
  WaitForReply(Waiting, start);

  if (!ReplyAccepted(client->HeaderLines))
    ShellExecuteA(nullptr, nullptr, MailUrl(ProductName, reason).Data(), nullptr, nullptr,
                  SW_SHOWNORMAL);
  client->Abort();
  FreeObject(client);
}

void FeedbackForm::HttpDone(HttpClient* sender) {
  // Raised after every batch of data: an "OK" may still be on its way unless the lines so
  // far are accepted or the server has closed the connection.
  if (ReplyAccepted(sender->HeaderLines) || sender->Closed) Waiting = false;
}
