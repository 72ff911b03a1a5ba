// A socket's receive queue: the blocks received so far, in order of arrival, taken
// from the front as bytes or as lines. Pure code, shared by the socket and its tests.
#pragma once

#include "rt/object.h"

// One received block of `Length` bytes at `Data`, which has room for `Capacity`. The
// first `Offset` of them have been read already: a partly read block is consumed in
// place, never copied.
struct ReceiveChunk {
  int Length;
  char* Data;
  int Offset;
  int Capacity;
};

// Small arrivals are gathered into blocks of this size, so that a long line received a
// few bytes at a time stays a handful of chunks that a line search walks quickly.
constexpr int kGatherChunkSize = 4096;

// A chunk with room for `length` bytes, to be filled and then appended (or freed).
ReceiveChunk* CreateReceiveChunk(int length);
void FreeReceiveChunk(ReceiveChunk* chunk);

class ChunkQueue : public RefObject {
public:
  void Dispose() override;

  // Takes ownership of `chunk`. A chunk with no bytes is freed instead of queued, and a
  // small one may be copied into the last queued chunk and freed.
  void Append(ReceiveChunk* chunk);
  // Copies `length` bytes into a new chunk and appends it.
  void AppendBytes(const char* data, int length);

  // The number of bytes not read yet.
  int QueuedBytes() const { return Bytes; }
  // Moves up to `count` bytes from the front into `buffer`; returns how many.
  int ReadQueued(char* buffer, int count);
  // Drops up to `count` bytes from the front; returns how many.
  int Skip(int count);
  // Index of the first `byte` among the first `limit` queued bytes, or -1.
  int Find(char byte, int limit) const;
  // Takes the bytes before the next `terminator` into `line` and drops the terminator.
  // Returns false, taking nothing and leaving `line` empty, when no terminator is queued.
  bool ReadLine(char terminator, ByteString& line);
  // Takes every queued byte.
  ByteString ReadAll();
  void Clear();

  ObjectList* Chunks;  // of ReceiveChunk, the oldest first
  int Bytes;           // unread bytes over all chunks
};

ChunkQueue* CreateChunkQueue();
