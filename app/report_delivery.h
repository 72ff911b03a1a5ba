// The report's way to the statistics server: one GET, a bounded wait that keeps the
// window responsive, and the mail fallback when the server did not confirm with "OK".
#pragma once

#include <stdint.h>

#include "app/settings.h"
#include "http/http_client.h"
#include "rt/bound_method.h"
#include "rt/byte_string.h"

// Sends the report of `reason` for `product`, with the opt-in `keys`, to the statistics
// server `host` and waits for the reply; unless the reply is accepted, opens the prepared
// mail message to `mailAddress` instead. `onDone` becomes the client's OnDone and clears
// `waiting`, which is set just before the request starts, when it has seen enough of the
// reply. With an `address` (the Url setting) the report goes there through the system's
// HTTP stack instead; where that stack is missing, a plain http:// address through the own
// client, and an https:// one not at all. With a `page` (the Page setting) an unaccepted
// report opens that page in the browser, the report's query appended, instead of the mail.
void DeliverReport(const ByteString& product, const ByteString& reason, const ByteString& host,
                   const ByteString& mailAddress, const ReportKeys& keys,
                   BoundMethod<HttpClient*> onDone, bool& waiting,
                   const ByteString& address = ByteString(), const ByteString& page = ByteString());

// Dispatches the thread's messages until `waiting` is false or kReportWaitMs have passed
// since the tick count `start`; blocks while the queue is empty.
void WaitForReply(const bool& waiting, uint32_t start);
