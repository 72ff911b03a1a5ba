// Delivery of the answer when the feedback window closes (FeedbackForm::FormClose and
// HttpDone live in report_delivery.cpp); the bounded wait for the server's reply.
#pragma once

#include <stdint.h>

#include "gui/widget.h"

// Dispatches the thread's messages until `waiting` is false or kReportWaitMs have passed
// since the tick count `start`; blocks while the queue is empty.
void WaitForReply(const bool& waiting, uint32_t start);
