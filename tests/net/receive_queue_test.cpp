// The receive queue: reads and lines across chunk boundaries, in-place consumption of
// the head chunk, and gathering of small arrivals.
#include "net/receive_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/byte_strings.h"

namespace {

struct Queue {
  ChunkQueue* q = CreateChunkQueue();
  ~Queue() { FreeObject(q); }
  explicit Queue(const std::vector<std::string>& chunks) {
    for (const std::string& c : chunks) q->AppendBytes(c.data(), int(c.size()));
  }
  std::string Rest() {
    ByteString all = q->ReadAll();
    return Str(all);
  }
};

TEST(ReceiveQueue, ReadQueuedSpansChunksAndKeepsThePartlyReadHead) {
  Queue queue({"abc", "defg"});
  char buffer[16] = {};
  EXPECT_EQ(5, queue.q->ReadQueued(buffer, 5));
  EXPECT_EQ("abcde", std::string(buffer, 5));
  EXPECT_EQ(2, queue.q->QueuedBytes());
  EXPECT_EQ(1, queue.q->Chunks->Count);
  EXPECT_EQ(2, queue.q->ReadQueued(buffer, 10));
  EXPECT_EQ("fg", std::string(buffer, 2));
  EXPECT_EQ(0, queue.q->QueuedBytes());
  EXPECT_EQ(0, queue.q->Chunks->Count);
  EXPECT_EQ(0, queue.q->ReadQueued(buffer, 10));
}

TEST(ReceiveQueue, ReadLineTakesWhatLiesBeforeTheTerminator) {
  struct Row {
    const char* why;
    std::vector<std::string> chunks;
    std::vector<std::string> lines;  // complete lines, in order
    std::string rest;                // what stays queued
  } rows[] = {
      {"status line with CR, then one byte", {"HTTP/1.1 200 OK\r\nX"}, {"HTTP/1.1 200 OK\r"}, "X"},
      {"an empty line before text", {"\nabc"}, {""}, "abc"},
      {"a line in two chunks", {"HTTP/1.1 2", "00 OK\n"}, {"HTTP/1.1 200 OK"}, ""},
      {"a line in many chunks", {"a", "b", "", "c", "d\ne"}, {"abcd"}, "e"},
      {"terminator alone in a chunk", {"ab", "\n", "\n"}, {"ab", ""}, ""},
      {"no terminator at all", {"abc", "def"}, {}, "abcdef"},
      {"nothing queued", {}, {}, ""},
      {"bytes zero and 255 are plain bytes",
       {std::string("a\0\xff\n", 4)},
       {std::string("a\0\xff", 3)},
       ""},
  };
  for (const Row& row : rows) {
    Queue queue(row.chunks);
    std::vector<std::string> lines;
    ByteString line;
    while (queue.q->ReadLine('\n', line)) lines.push_back(Str(line));
    EXPECT_TRUE(line.IsEmpty()) << row.why;  // a failed read leaves the line empty
    EXPECT_EQ(row.lines, lines) << row.why;
    EXPECT_EQ(int(row.rest.size()), queue.q->QueuedBytes()) << row.why;
    EXPECT_EQ(row.rest, queue.Rest()) << row.why;
  }
}

TEST(ReceiveQueue, FindLooksOnlyWithinTheLimit) {
  Queue queue({"ab", "c\nd"});
  EXPECT_EQ(3, queue.q->Find('\n', 100));
  EXPECT_EQ(3, queue.q->Find('\n', 4));
  EXPECT_EQ(-1, queue.q->Find('\n', 3));
  EXPECT_EQ(-1, queue.q->Find('\n', 0));
  queue.q->Skip(1);
  EXPECT_EQ(2, queue.q->Find('\n', 3));
}

TEST(ReceiveQueue, SmallArrivalsAreGatheredIntoFewChunks) {
  Queue queue({});
  std::string sent;
  for (int i = 0; i < 20000; ++i) {
    char c = char('a' + i % 26);
    sent += c;
    queue.q->AppendBytes(&c, 1);
  }
  EXPECT_EQ(20000, queue.q->QueuedBytes());
  EXPECT_LE(queue.q->Chunks->Count, 20000 / kGatherChunkSize + 1);
  queue.q->AppendBytes(nullptr, 0);  // nothing to queue
  EXPECT_EQ(sent, queue.Rest());
}

TEST(ReceiveQueue, AChunkWithoutBytesIsNotQueued) {
  Queue queue({"x"});
  int chunks = queue.q->Chunks->Count;
  ReceiveChunk* empty = CreateReceiveChunk(10);
  empty->Length = 0;  // as after a receive that got nothing
  queue.q->Append(empty);
  EXPECT_EQ(chunks, queue.q->Chunks->Count);
  EXPECT_EQ(1, queue.q->QueuedBytes());
}

}  // namespace
