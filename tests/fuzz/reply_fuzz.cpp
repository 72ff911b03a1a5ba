// Fuzzes the receive queue and the reply-line rules: whatever the bytes and however they
// are cut into batches, the client stores the same lines, those a plain reading of the
// whole reply gives, and never more than the caps allow.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "http/reply_lines.h"
#include "net/receive_queue.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "property violated: %s\n", what);
    abort();
  }
}

// Cut points from a small generator, so that one input byte picks a whole batching.
struct Cutter {
  uint32_t state;
  int Next(int most) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return 1 + int(state % uint32_t(most));
  }
};

struct Outcome {
  std::vector<std::string> header, body;
  int status = 0;
  int taken = 0;
};

std::vector<std::string> Lines(StringList* list) {
  std::vector<std::string> lines;
  for (int i = 0; i < list->Count; ++i) lines.push_back(list->LineAt(i).Data());
  return lines;
}

Outcome Run(const std::string& stream, int byteCap, int lineCap, bool close, Cutter cutter,
            int largestBatch) {
  ReplyLines reply = {};
  reply.HeaderLines = CreateStringList();
  reply.BodyLines = CreateStringList();
  reply.StartReply();
  reply.ByteCap = byteCap;
  reply.LineCap = lineCap;
  ChunkQueue* queue = CreateChunkQueue();
  for (size_t at = 0; at < stream.size();) {
    int n = cutter.Next(largestBatch);
    if (size_t(n) > stream.size() - at) n = int(stream.size() - at);
    queue->AppendBytes(stream.data() + at, n);
    at += n;
    reply.TakeLines(queue);
    Check(reply.TakenBytes <= byteCap, "taken bytes stay within the cap");
    Check(reply.HeaderLines->Count + reply.BodyLines->Count <= lineCap, "lines within the cap");
    Check(!reply.CapReached || queue->QueuedBytes() == 0, "at the cap nothing stays queued");
  }
  if (close) {
    reply.TakeLastLine(queue);
    Check(queue->QueuedBytes() == 0, "the close takes everything");
  }
  Outcome outcome;
  outcome.header = Lines(reply.HeaderLines);
  outcome.body = Lines(reply.BodyLines);
  outcome.status = reply.StatusCode;
  outcome.taken = reply.TakenBytes;
  FreeObject(reply.HeaderLines);
  FreeObject(reply.BodyLines);
  FreeObject(queue);
  return outcome;
}

// The text of a line: its first run of bytes other than CR, as the line list gives it
// back (it holds zero-terminated copies).
std::string Text(const std::string& raw) {
  size_t start = raw.find_first_not_of('\r');
  if (start == std::string::npos) return "";
  size_t end = raw.find('\r', start);
  std::string text = raw.substr(start, end == std::string::npos ? std::string::npos : end - start);
  return text.substr(0, text.find('\0'));
}

// The lines of the whole reply read at once, by the rules spelled out plainly.
Outcome Expected(const std::string& stream, int byteCap, int lineCap, bool close) {
  std::vector<std::string> texts;
  size_t pos = 0;
  bool capped = false;
  for (;;) {
    if (int(texts.size()) >= lineCap) {
      capped = true;
      break;
    }
    size_t allowance = size_t(byteCap) - pos;
    size_t end = stream.find('\n', pos);
    if (end == std::string::npos || end - pos >= allowance) {
      capped = stream.size() - pos >= allowance;
      break;
    }
    texts.push_back(Text(stream.substr(pos, end - pos)));
    pos = end + 1;
  }
  if (close && !capped && pos < stream.size()) texts.push_back(Text(stream.substr(pos)));
  Outcome outcome;
  bool inBody = false;
  for (const std::string& text : texts) {
    if (!text.empty() && text[0] == '<') inBody = true;
    (inBody ? outcome.body : outcome.header).push_back(text);
  }
  return outcome;
}

void CheckQueueReads(const std::string& stream, Cutter cutter) {
  ChunkQueue* queue = CreateChunkQueue();
  for (size_t at = 0; at < stream.size();) {
    int n = cutter.Next(9);
    if (size_t(n) > stream.size() - at) n = int(stream.size() - at);
    queue->AppendBytes(stream.data() + at, n);
    at += n;
  }
  std::string back;
  while (queue->QueuedBytes() > 0) {
    int before = queue->QueuedBytes();
    if (cutter.Next(2) == 1) {
      ByteString line;
      if (queue->ReadLine('x', line)) {
        back.append(line.Data(), line.Length());
        back += 'x';
      } else {
        Check(queue->QueuedBytes() == before && line.IsEmpty(), "no line takes nothing");
      }
    }
    char buffer[16];
    int n = queue->ReadQueued(buffer, cutter.Next(16));
    back.append(buffer, n);
    Check(queue->QueuedBytes() < before, "every round takes something");
  }
  Check(back == stream, "bytes come out as they went in");
  FreeObject(queue);
}

}  // namespace

// Input: cap of bytes, cap of lines, batching and close in the first three bytes; the
// reply after them.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  int byteCap = 1 + data[0] * 2;
  int lineCap = 1 + data[1] % 40;
  bool close = data[2] & 1;
  Cutter cutter = {uint32_t(data[2]) * 2654435761u | 1u};
  std::string stream(reinterpret_cast<const char*>(data) + 3, size - 3);

  Outcome whole = Run(stream, byteCap, lineCap, close, {1}, 1 << 30);
  Outcome cut = Run(stream, byteCap, lineCap, close, cutter, 1 + data[2] % 13);
  Outcome expected = Expected(stream, byteCap, lineCap, close);
  Check(whole.header == expected.header && whole.body == expected.body, "whole reply: lines");
  Check(cut.header == whole.header && cut.body == whole.body, "any batching: the same lines");
  Check(cut.status == whole.status, "any batching: the same status code");
  Check(cut.taken == whole.taken, "any batching: the same bytes taken");
  CheckQueueReads(stream, cutter);
  return 0;
}
