// Reference counting, deferred free, owner clean-up, and the two lists.
#include "rt/object.h"

#include <string.h>

#include "rt/fatal.h"

namespace {

// The UseCount of an object whose Dispose is running: odd, so that a FreeObject or a
// hold taken and dropped by the code Dispose calls cannot start a second destruction.
constexpr int kDisposing = 1;

void FreeObjectProcedure(void* object) {
  FreeObject(static_cast<RefObject*>(object));
}

void Attach(RefObject* owner, void* procedure, void* argument) {
  if (!owner->CleanupList) owner->CleanupList = CreateObjectList();
  owner->CleanupList->Insert(0, argument);
  owner->CleanupList->Insert(0, procedure);
}

}  // namespace

void RefObject::RunDestroyNotifications() {
  BoundMethod<RefObject*> notify = DestroyNotify;
  DestroyNotify = {};
  notify(this);

  ObjectList* cleanup = CleanupList;
  CleanupList = nullptr;
  if (cleanup) {
    for (int i = 0; i + 1 < cleanup->Count; i += 2) {
      auto procedure = reinterpret_cast<void (*)(void*)>(cleanup->Items[i]);
      procedure(cleanup->Items[i + 1]);
    }
    FreeObject(cleanup);
  }
}

void RefObject::Dispose() {
  RunDestroyNotifications();
  this->~RefObject();
  MemFree(this);
}

void FreeObject(RefObject* object) {
  if (!object) return;
  int v = object->UseCount;
  if (v == 0) {
    object->UseCount = kDisposing;
    object->Dispose();
  } else if (v >= 2 && v % 2 == 0) {
    object->UseCount = v - 1;
  }
  // Odd: a free is already pending (or running).
}

void AddRef(RefObject* object) {
  object->UseCount += 2;
}

void ReleaseRef(RefObject* object) {
  object->UseCount -= 2;
  if (object->UseCount == -1) {
    object->UseCount = kDisposing;
    object->Dispose();
  }
}

void AttachOwned(RefObject* owner, RefObject* object) {
  Attach(owner, reinterpret_cast<void*>(&FreeObjectProcedure), object);
}

void AttachCleanup(RefObject* owner, void (*procedure)(void*), void* argument) {
  Attach(owner, reinterpret_cast<void*>(procedure), argument);
}

// ObjectList

ObjectList* CreateObjectList() {
  ObjectList* list = CreateObject<ObjectList>();
  list->GrowBy = 4;
  return list;
}

void ObjectList::Dispose() {
  Clear();
  RefObject::Dispose();
}

int ObjectList::Add(void* value) {
  if (Count == Capacity) SetCapacity(Count + (GrowBy > 0 ? GrowBy : 4));
  Items[Count] = value;
  return Count++;
}

void ObjectList::Insert(int index, void* value) {
  if (index < 0 || index > Count) FatalError("List index out of bounds");
  Add(nullptr);
  memmove(Items + index + 1, Items + index, (Count - 1 - index) * sizeof(void*));
  Items[index] = value;
}

void* ObjectList::ItemAt(int index) const {
  return index >= 0 && index < Count ? Items[index] : nullptr;
}

void ObjectList::PutItem(int index, void* value) {
  if (index >= 0 && index < Count) Items[index] = value;
}

int ObjectList::IndexOf(void* value) const {
  for (int i = 0; i < Count; ++i)
    if (Items[i] == value) return i;
  return -1;
}

void ObjectList::Remove(void* value) {
  int index = IndexOf(value);
  if (index >= 0) Delete(index);
}

void ObjectList::DeleteRange(int index, int count) {
  if (count <= 0) return;
  if (index < 0 || index > Count) FatalError("List index out of bounds");
  if (count > Count - index) count = Count - index;
  memmove(Items + index, Items + index + count, (Count - index - count) * sizeof(void*));
  Count -= count;
}

void ObjectList::SetCapacity(int capacity) {
  if (capacity < Count) capacity = Count;
  if (capacity == Capacity) return;
  if (capacity == 0) {
    MemFree(Items);
    Items = nullptr;
  } else {
    Items = static_cast<void**>(MemRealloc(Items, capacity * sizeof(void*)));
  }
  Capacity = capacity;
}

void ObjectList::Clear() {
  MemFree(Items);
  Items = nullptr;
  Count = 0;
  Capacity = 0;
}

// StringList

StringList* CreateStringList() {
  return CreateObject<StringList>();
}

void StringList::Dispose() {
  Clear();
  RefObject::Dispose();
}

int StringList::Add(const ByteString& line) {
  int index = Count;
  Insert(index, line);
  return index;
}

void StringList::Insert(int index, const ByteString& line) {
  if (index < 0 || index > Count) FatalError("List index out of bounds");
  if (!Lines) Lines = CreateObjectList();
  int length = line.Length();
  char* copy = static_cast<char*>(MemAlloc(length + 1));
  memcpy(copy, line.Data(), length);
  copy[length] = 0;
  Lines->Insert(index, copy);
  ++Count;
}

ByteString StringList::LineAt(int index) const {
  if (!Lines) return ByteString();
  return ByteString(static_cast<const char*>(Lines->ItemAt(index)));
}

void StringList::Delete(int index) {
  if (index < 0 || index >= Count) FatalError("List index out of bounds");
  --Count;
  void* copy = Lines->ItemAt(index);
  Lines->Delete(index);
  MemFree(copy);
}

void StringList::Clear() {
  for (int i = Count - 1; i >= 0; --i) Delete(i);
  FreeObject(Lines);
  Lines = nullptr;
}
