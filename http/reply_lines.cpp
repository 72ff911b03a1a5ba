// Reply lines: taken from the receive queue at each line feed, cut at the first carriage
// return, and sorted into header and body.
#include "http/reply_lines.h"

#include "http/text_convert.h"
#include "http/word_utils.h"

void ReplyLines::StartReply() {
  InBody = false;
  TakenBytes = 0;
  CapReached = false;
  ByteCap = kReplyByteCap;
  LineCap = kReplyLineCap;
}

void ReplyLines::StoreLine(const ByteString& raw) {
  // The first run of bytes other than CR: a trailing CR goes, an inner one cuts the line.
  ByteString text = ExtractWord(raw, '\r', 1);
  if (text.StartsWith("<")) InBody = true;
  (InBody ? BodyLines : HeaderLines)->Add(text);
  if (text.StartsWith("HTTP/1.")) StatusCode = DecimalValue(ExtractWord(text, ' ', 2));
  if (HeaderLines->Count + BodyLines->Count >= LineCap) CapReached = true;
}

void ReplyLines::TakeLines(ChunkQueue* queue) {
  ByteString raw;
  while (!CapReached) {
    int allowance = ByteCap - TakenBytes;
    int end = queue->Find('\n', allowance);
    if (end < 0) {
      // A line that cannot end within the cap is never taken.
      if (queue->QueuedBytes() >= allowance) CapReached = true;
      break;
    }
    queue->ReadLine('\n', raw);
    TakenBytes += end + 1;
    StoreLine(raw);
  }
  if (CapReached) queue->Clear();
}

void ReplyLines::TakeLastLine(ChunkQueue* queue) {
  TakeLines(queue);
  if (CapReached || queue->QueuedBytes() == 0) return;
  // TakeLines left only bytes that fit within the cap.
  TakenBytes += queue->QueuedBytes();
  StoreLine(queue->ReadAll());
}
