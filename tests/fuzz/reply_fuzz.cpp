// Fuzzes the receive queue and the reply-line rules against a plain model: whatever the
// bytes and however they are cut into reads of up to 65535 bytes, the client stores the
// lines, the status code and the byte count that a reading of the whole reply by the rules
// gives, with the real caps (1 MiB, 10,000 lines) as well as small ones.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "http/reply_lines.h"
#include "net/receive_queue.h"

namespace {

// The caps a reply is held to, as promised to the server side.
constexpr int kByteCap = 1024 * 1024;
constexpr int kLineCap = 10000;
// Reads of a socket are at most this long.
constexpr int kLargestRead = 65535;

void Check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "property violated: %s\n", what);
    abort();
  }
}

// Read lengths from a small generator, so that a few input bytes pick a whole batching.
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
  bool capped = false;
  bool operator==(const Outcome& o) const {
    return header == o.header && body == o.body && status == o.status && taken == o.taken &&
           capped == o.capped;
  }
};

std::vector<std::string> Lines(StringList* list) {
  std::vector<std::string> lines;
  for (int i = 0; i < list->Count; ++i) lines.push_back(list->LineAt(i).Data());
  return lines;
}

// Caps of 0 leave those StartReply sets.
Outcome Run(const std::string& stream, int byteCap, int lineCap, bool close, Cutter cutter,
            int largestRead) {
  ReplyLines reply = {};
  reply.HeaderLines = CreateStringList();
  reply.BodyLines = CreateStringList();
  reply.StartReply();
  if (byteCap > 0) reply.ByteCap = byteCap;
  if (lineCap > 0) reply.LineCap = lineCap;
  int lineLimit = lineCap > 0 ? lineCap : kLineCap;
  ChunkQueue* queue = CreateChunkQueue();
  for (size_t at = 0; at < stream.size();) {
    int n = cutter.Next(largestRead);
    if (size_t(n) > stream.size() - at) n = int(stream.size() - at);
    queue->AppendBytes(stream.data() + at, n);
    at += n;
    reply.TakeLines(queue);
    Check(reply.TakenBytes <= (byteCap > 0 ? byteCap : kByteCap), "bytes within the cap");
    Check(reply.HeaderLines->Count + reply.BodyLines->Count <= lineLimit, "lines within the cap");
    if (reply.CapReached)
      Check(queue->QueuedBytes() == 0, "at the cap nothing stays queued");
    else
      Check(size_t(reply.TakenBytes + queue->QueuedBytes()) == at, "no byte lost or made up");
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
  outcome.capped = reply.CapReached;
  FreeObject(reply.HeaderLines);
  FreeObject(reply.BodyLines);
  FreeObject(queue);
  return outcome;
}

// The text of a line: its first run of bytes other than CR. The line list gives back its
// bytes up to the first NUL (it holds zero-terminated copies).
std::string Text(const std::string& raw) {
  size_t start = raw.find_first_not_of('\r');
  if (start == std::string::npos) return "";
  size_t end = raw.find('\r', start);
  return raw.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The number a status line announces: its second space-separated word read as an optional
// sign and decimal digits, modulo 2^32.
int StatusOf(const std::string& line) {
  size_t start = line.find_first_not_of(' ', line.find(' '));
  if (line.find(' ') == std::string::npos || start == std::string::npos) return 0;
  std::string word = line.substr(start, line.find(' ', start) - start);
  size_t i = word[0] == '-' || word[0] == '+' ? 1 : 0;
  uint32_t value = 0;
  for (; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) value = value * 10 + (word[i] - '0');
  return int(word[0] == '-' ? 0u - value : value);
}

// The whole reply read at once, by the rules spelled out plainly: a line is taken with its
// line feed while both fit within the caps; at a cap everything else is dropped.
Outcome Expected(const std::string& stream, int byteCap, int lineCap, bool close) {
  Outcome outcome;
  std::vector<std::string> texts;
  size_t pos = 0;
  for (;;) {
    if (int(texts.size()) >= lineCap) {
      outcome.capped = true;
      break;
    }
    size_t allowance = size_t(byteCap) - pos;
    size_t end = stream.find('\n', pos);
    if (end == std::string::npos || end - pos >= allowance) {
      outcome.capped = stream.size() - pos >= allowance;
      break;
    }
    texts.push_back(Text(stream.substr(pos, end - pos)));
    pos = end + 1;
  }
  if (close && !outcome.capped && pos < stream.size()) {
    texts.push_back(Text(stream.substr(pos)));
    pos = stream.size();
    outcome.capped = int(texts.size()) >= lineCap;
  }
  outcome.taken = int(pos);
  bool inBody = false;
  for (const std::string& text : texts) {
    if (!text.empty() && text[0] == '<') inBody = true;
    (inBody ? outcome.body : outcome.header).push_back(text.substr(0, text.find('\0')));
    if (text.compare(0, 7, "HTTP/1.") == 0) outcome.status = StatusOf(text);
  }
  return outcome;
}

// Bytes come out of the queue as they went in, whatever the reads and line reads.
void CheckQueueReads(const std::string& stream, Cutter cutter, int largestRead) {
  ChunkQueue* queue = CreateChunkQueue();
  for (size_t at = 0; at < stream.size();) {
    int n = cutter.Next(largestRead);
    if (size_t(n) > stream.size() - at) n = int(stream.size() - at);
    queue->AppendBytes(stream.data() + at, n);
    at += n;
  }
  Check(size_t(queue->QueuedBytes()) == stream.size(), "every appended byte is queued");
  std::string back, buffer(kLargestRead, '\0');
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
    int n = queue->ReadQueued(&buffer[0], cutter.Next(largestRead));
    back.append(buffer.data(), n);
    Check(queue->QueuedBytes() < before, "every round takes something");
  }
  Check(back == stream, "bytes come out as they went in");
  FreeObject(queue);
}

}  // namespace

// Input: flags, the largest read, a repeat count and two cut points in the first seven
// bytes; the rest is a reply whose middle part is repeated, so that a short input can
// reach the real caps.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 7) return 0;
  bool close = data[0] & 1;
  bool smallCaps = data[0] & 2;
  int largestRead = 1 + (data[1] | data[2] << 8) % kLargestRead;
  int repeats = data[3] < 128 ? data[3] % 4 : (data[3] - 127) * 100;
  std::string rest(reinterpret_cast<const char*>(data) + 7, size - 7);
  size_t first = data[4] % (rest.size() + 1);
  size_t second = first + data[5] % (rest.size() - first + 1);
  std::string middle = rest.substr(first, second - first);
  std::string stream = data[0] & 4 ? "HTTP/1.1 " : "";
  stream += rest.substr(0, first);
  for (int i = 0; i < repeats && stream.size() < size_t(kByteCap) + 4096; ++i) stream += middle;
  stream += rest.substr(second);

  // Small caps come from the same bytes, so that the fuzzer moves lines across them.
  int byteCap = smallCaps ? 1 + data[6] * 2 : 0;
  int lineCap = smallCaps ? 1 + data[5] % 40 : 0;
  Outcome expected = Expected(stream, smallCaps ? byteCap : kByteCap,
                              smallCaps ? lineCap : kLineCap, close);
  Cutter cutter = {(uint32_t(data[0]) << 24 | data[6]) * 2654435761u | 1u};
  Check(Run(stream, byteCap, lineCap, close, {1}, 1 << 30) == expected, "the whole reply at once");
  Check(Run(stream, byteCap, lineCap, close, cutter, largestRead) == expected,
        "the reply in reads of any length");
  CheckQueueReads(stream, cutter, largestRead);
  return 0;
}
