// The report's way to the statistics server: one GET, a bounded wait that keeps the
// window responsive, and the mail fallback when the server did not confirm with "OK".
#pragma once

#include <stdint.h>

#include "app/settings.h"
#include "rt/byte_string.h"

// Sends the report of `reason` for `product`, with the opt-in keys of `settings`, to the
// statistics server of its Host and waits for the reply; unless the reply is accepted, opens
// the prepared mail message to its Email instead. With a Url the report goes there through
// the system's HTTP stack instead; where that stack is missing, a plain http:// address
// through the own client, and an https:// one not at all. With a Page an unaccepted report
// opens that page in the browser, the report's query appended, instead of the mail.
// `reasonNumber` is the reason's position, 1 to 7. The wait ends when either stack has seen
// enough of the reply, or at kReportWaitMs.
void DeliverReport(const ByteString& product, const ByteString& reason, const Settings& settings,
                   int reasonNumber);

// Dispatches the thread's messages until `waiting` is false or kReportWaitMs have passed
// since the tick count `start`; blocks while the queue is empty.
void WaitForReply(const bool& waiting, uint32_t start);
