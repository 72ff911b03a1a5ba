// The receive queue: chunks in order of arrival, read from the front through an offset.
#include "net/receive_queue.h"

#include <string.h>

ReceiveChunk* CreateReceiveChunk(int length) {
  auto* chunk = static_cast<ReceiveChunk*>(MemAlloc(sizeof(ReceiveChunk)));
  chunk->Length = length > 0 ? length : 0;
  chunk->Data = static_cast<char*>(MemAlloc(chunk->Length > 0 ? chunk->Length : 1));
  chunk->Offset = 0;
  chunk->Capacity = chunk->Length;
  return chunk;
}

void FreeReceiveChunk(ReceiveChunk* chunk) {
  if (!chunk) return;
  MemFree(chunk->Data);
  MemFree(chunk);
}

ChunkQueue* CreateChunkQueue() {
  ChunkQueue* queue = CreateObject<ChunkQueue>();
  queue->Chunks = CreateObjectList();
  return queue;
}

void ChunkQueue::Dispose() {
  Clear();
  FreeObject(Chunks);
  RefObject::Dispose();
}

void ChunkQueue::Append(ReceiveChunk* chunk) {
  if (!chunk) return;
  int n = chunk->Length - chunk->Offset;
  if (n <= 0) {
    FreeReceiveChunk(chunk);
    return;
  }
  Bytes += n;
  if (n < kGatherChunkSize) {
    auto* tail = static_cast<ReceiveChunk*>(Chunks->ItemAt(Chunks->Count - 1));
    if (tail && tail->Capacity - tail->Length >= n) {
      memcpy(tail->Data + tail->Length, chunk->Data + chunk->Offset, n);
      tail->Length += n;
      FreeReceiveChunk(chunk);
      return;
    }
    if (chunk->Offset > 0) {
      memmove(chunk->Data, chunk->Data + chunk->Offset, n);
      chunk->Offset = 0;
      chunk->Length = n;
    }
    chunk->Data = static_cast<char*>(MemRealloc(chunk->Data, kGatherChunkSize));
    chunk->Capacity = kGatherChunkSize;
  }
  Chunks->Add(chunk);
}

void ChunkQueue::AppendBytes(const char* data, int length) {
  if (length <= 0) return;
  ReceiveChunk* chunk = CreateReceiveChunk(length);
  memcpy(chunk->Data, data, length);
  Append(chunk);
}

int ChunkQueue::ReadQueued(char* buffer, int count) {
  int copied = 0;
  while (copied < count && Chunks->Count > 0) {
    auto* head = static_cast<ReceiveChunk*>(Chunks->Items[0]);
    int n = head->Length - head->Offset;
    if (n > count - copied) n = count - copied;
    if (buffer) memcpy(buffer + copied, head->Data + head->Offset, n);
    copied += n;
    head->Offset += n;
    if (head->Offset == head->Length) {
      Chunks->Delete(0);
      FreeReceiveChunk(head);
    }
  }
  Bytes -= copied;
  return copied;
}

int ChunkQueue::Skip(int count) {
  return ReadQueued(nullptr, count);
}

int ChunkQueue::Find(char byte, int limit) const {
  int seen = 0;
  for (int i = 0; i < Chunks->Count && seen < limit; ++i) {
    auto* chunk = static_cast<ReceiveChunk*>(Chunks->Items[i]);
    int n = chunk->Length - chunk->Offset;
    if (n > limit - seen) n = limit - seen;
    const void* found = memchr(chunk->Data + chunk->Offset, byte, n);
    if (found) return seen + int(static_cast<const char*>(found) - (chunk->Data + chunk->Offset));
    seen += n;
  }
  return -1;
}

bool ChunkQueue::ReadLine(char terminator, ByteString& line) {
  line.Clear();
  int end = Find(terminator, Bytes);
  if (end < 0) return false;
  if (end > 0) {
    line = ByteString::OfLength(end);
    ReadQueued(line.MutableData(), end);
  }
  Skip(1);
  return true;
}

ByteString ChunkQueue::ReadAll() {
  if (Bytes == 0) return ByteString();
  ByteString all = ByteString::OfLength(Bytes);
  ReadQueued(all.MutableData(), Bytes);
  return all;
}

void ChunkQueue::Clear() {
  for (int i = 0; i < Chunks->Count; ++i)
    FreeReceiveChunk(static_cast<ReceiveChunk*>(Chunks->Items[i]));
  Chunks->Clear();
  Bytes = 0;
}
