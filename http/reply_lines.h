// The reply-line rules of the HTTP client: which received bytes become stored lines,
// which list each line goes to, and the status code the lines announce. Pure code.
#pragma once

#include "net/receive_queue.h"
#include "rt/object.h"

// A reply may make the client take this many bytes, line ends included, and store this
// many lines; what a server sends beyond that is discarded.
constexpr int kReplyByteCap = 1 << 20;
constexpr int kReplyLineCap = 10000;

// What the client has taken from one reply so far.
struct ReplyLines {
  // Sets the counters and the caps for a new reply (the lists are left alone).
  void StartReply();
  // Takes every complete line from `queue`, within the caps; once a cap is reached
  // everything queued is discarded.
  void TakeLines(ChunkQueue* queue);
  // For the server's close: the complete lines, then the bytes after the last line end
  // as one more line.
  void TakeLastLine(ChunkQueue* queue);
  // Stores the text of one line, given the bytes before its line feed.
  void StoreLine(const ByteString& raw);

  int StatusCode;           // from the last line that began with "HTTP/1."
  bool InBody;              // set by the first line that begins with "<"
  StringList* HeaderLines;  // the lines before that one
  StringList* BodyLines;    // that line and every line after it
  int TakenBytes;           // bytes taken from the stream, line ends included
  bool CapReached;
  int ByteCap;
  int LineCap;
};
