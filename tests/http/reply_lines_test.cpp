// The reply-line rules: the CR rule, header and body, status lines, the last line at the
// server's close, and the caps on what one reply can make the client take.
#include "http/reply_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

struct Reply : ReplyLines {
  ChunkQueue* Queue = CreateChunkQueue();
  Reply() {
    HeaderLines = CreateStringList();
    BodyLines = CreateStringList();
    StatusCode = 0;
    StartReply();
  }
  ~Reply() {
    FreeObject(HeaderLines);
    FreeObject(BodyLines);
    FreeObject(Queue);
  }
  void Receive(const std::string& bytes) {
    Queue->AppendBytes(bytes.data(), int(bytes.size()));
    TakeLines(Queue);
  }
  static Lines Of(StringList* list) {
    Lines lines;
    for (int i = 0; i < list->Count; ++i) lines.push_back(list->LineAt(i).Data());
    return lines;
  }
  Lines Header() const { return Of(HeaderLines); }
  Lines Body() const { return Of(BodyLines); }
};

TEST(ReplyLines, LinesAreSortedAndReadLikeTheServerMeantThem) {
  struct Row {
    const char* why;
    std::string bytes;
    Lines header, body;
    int status;
  } rows[] = {
      {"plain reply",
       "HTTP/1.1 200 OK\r\nA: 1\r\nB: 2\r\n\r\nOK\r\n",
       {"HTTP/1.1 200 OK", "A: 1", "B: 2", "", "OK"},
       {},
       200},
      {"markup body",
       "HTTP/1.1 200 OK\r\n\r\n<html>\r\nOK\r\n</html>\r\n",
       {"HTTP/1.1 200 OK", ""},
       {"<html>", "OK", "</html>"},
       200},
      {"bare line feeds",
       "HTTP/1.0 404 Not Found\nX: y\n\nOK\n",
       {"HTTP/1.0 404 Not Found", "X: y", "", "OK"},
       {},
       404},
      {"Connection: close keeps the body",
       "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nOK\r\n",
       {"HTTP/1.1 200 OK", "Connection: close", "", "OK"},
       {},
       200},
      {"a later status line wins",
       "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 302 Found\r\n",
       {"HTTP/1.1 100 Continue", "", "HTTP/1.1 302 Found"},
       {},
       302},
      {"a bare HTTP/1.1 gives 0",
       "HTTP/1.1 200 OK\r\nHTTP/1.1\r\n",
       {"HTTP/1.1 200 OK", "HTTP/1.1"},
       {},
       0},
      {"an inner CR cuts the line", "ab\rcd\r\n", {"ab"}, {}, 0},
      {"a line of CRs is empty", "\r\r\r\n", {""}, {}, 0},
      {"lower case is no status line", "http/1.1 500 x\n", {"http/1.1 500 x"}, {}, 0},
      {"an unfinished line waits", "OK\r\nrest", {"OK"}, {}, 0},
  };
  for (const Row& row : rows) {
    Reply reply;
    reply.Receive(row.bytes);
    EXPECT_EQ(row.header, reply.Header()) << row.why;
    EXPECT_EQ(row.body, reply.Body()) << row.why;
    EXPECT_EQ(row.status, reply.StatusCode) << row.why;
    EXPECT_FALSE(reply.CapReached) << row.why;
  }
}

TEST(ReplyLines, TheServersCloseTakesTheUnfinishedLastLine) {
  struct Row {
    const char* why;
    std::string bytes;
    Lines header;
  } rows[] = {
      {"OK without line end", "HTTP/1.1 200 OK\r\n\r\nOK", {"HTTP/1.1 200 OK", "", "OK"}},
      {"a last CR goes too", "X\r\nOK\r", {"X", "OK"}},
      {"nothing after the last line end", "X\r\n", {"X"}},
      {"nothing at all", "", {}},
  };
  for (const Row& row : rows) {
    Reply reply;
    reply.Queue->AppendBytes(row.bytes.data(), int(row.bytes.size()));
    reply.TakeLastLine(reply.Queue);
    EXPECT_EQ(row.header, reply.Header()) << row.why;
    EXPECT_EQ(0, reply.Queue->QueuedBytes()) << row.why;
  }
}

TEST(ReplyLines, AnEndlessStreamStopsAtTheByteCap) {
  Reply reply;
  std::string line(999, 'x');
  line += '\n';  // 1000 bytes a line
  for (int i = 0; i < 2000; ++i) reply.Receive(line);
  EXPECT_TRUE(reply.CapReached);
  EXPECT_EQ(kReplyByteCap / 1000, reply.HeaderLines->Count);
  EXPECT_LE(reply.TakenBytes, kReplyByteCap);
  EXPECT_EQ(0, reply.Queue->QueuedBytes());
  reply.Receive(line);  // later data is discarded too
  EXPECT_EQ(kReplyByteCap / 1000, reply.HeaderLines->Count);
  EXPECT_EQ(0, reply.Queue->QueuedBytes());
}

TEST(ReplyLines, ALineLongerThanTheCapIsNeverStored) {
  Reply reply;
  reply.Receive("HTTP/1.1 200 OK\r\n");
  std::string block(65535, 'y');
  for (int i = 0; i < 17 && !reply.CapReached; ++i) reply.Receive(block);
  EXPECT_TRUE(reply.CapReached);
  reply.Receive("\nOK\n");
  reply.TakeLastLine(reply.Queue);
  EXPECT_EQ((Lines{"HTTP/1.1 200 OK"}), reply.Header());
  EXPECT_EQ(0, reply.Queue->QueuedBytes());
}

TEST(ReplyLines, AnEndlessStreamOfEmptyLinesStopsAtTheLineCap) {
  Reply reply;
  reply.Receive(std::string(kReplyLineCap + 500, '\n'));
  EXPECT_TRUE(reply.CapReached);
  EXPECT_EQ(kReplyLineCap, reply.HeaderLines->Count);
  EXPECT_EQ(kReplyLineCap, reply.TakenBytes);
  EXPECT_EQ(0, reply.Queue->QueuedBytes());
}

}  // namespace
