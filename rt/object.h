// The object model: reference-counted objects with a deferred free and an owner's
// clean-up list, and the two containers of the whole system, ObjectList and StringList.
#pragma once

#include <new>

#include "rt/bound_method.h"
#include "rt/byte_string.h"
#include "rt/memory.h"

class ObjectList;

// Base of every object with a lifetime of its own. Object types are made only by
// CreateObject and declare no constructors of their own: a new instance starts
// zero-filled, and Initialize is the place for set-up.
class RefObject {
public:
  virtual ~RefObject() = default;
  // Called once, right after the zero-filled instance is made.
  virtual void Initialize() {}
  // The destruction. Overrides do their own clean-up, then call RefObject::Dispose,
  // which runs DestroyNotify and the clean-up list and releases the instance.
  virtual void Dispose();

  // 2 x holds, minus 1 while a free is pending.
  int UseCount;
  // Called with (its object, the destroyed object) once, at destruction.
  BoundMethod<RefObject*> DestroyNotify;
  // Pairs of (procedure, argument), run first to last at destruction.
  ObjectList* CleanupList;

protected:
  // The first step of destruction: DestroyNotify, then the clean-up list, each taken out
  // of its field first, so that a second call finds nothing left to run.
  void RunDestroyNotifications();
};

template <class T>
T* CreateObject() {
  void* memory = MemAlloc(sizeof(T));
  T* object = new (memory) T();  // value-initialised: every field starts at zero
  object->Initialize();
  return object;
}

// Destroys the object now, or when its last hold is released. Null is ignored.
void FreeObject(RefObject* object);
void AddRef(RefObject* object);
void ReleaseRef(RefObject* object);

// `object` is freed when `owner` is destroyed; objects attached later go first.
void AttachOwned(RefObject* owner, RefObject* object);
// procedure(argument) runs when `owner` is destroyed.
void AttachCleanup(RefObject* owner, void (*procedure)(void*), void* argument);

// An ordered list of untyped pointers; it never frees what they point to.
class ObjectList : public RefObject {
public:
  void Dispose() override;

  int Add(void* value);
  void Insert(int index, void* value);   // 0 <= index <= Count
  void* ItemAt(int index) const;         // null outside 0..Count-1
  void PutItem(int index, void* value);  // ignored outside 0..Count-1
  int IndexOf(void* value) const;        // -1 when absent
  void Remove(void* value);
  void Delete(int index) { DeleteRange(index, 1); }
  void DeleteRange(int index, int count);  // 0 <= index <= Count
  void SetCapacity(int capacity);
  void Clear();

  void** Items;
  int Count;
  int Capacity;
  int GrowBy;
};

ObjectList* CreateObjectList();

// An ordered list of byte strings, held as zero-terminated copies.
class StringList : public RefObject {
public:
  void Dispose() override;

  int Add(const ByteString& line);
  void Insert(int index, const ByteString& line);  // 0 <= index <= Count
  // The stored bytes up to the first zero; empty outside 0..Count-1.
  ByteString LineAt(int index) const;
  void Delete(int index);  // 0 <= index < Count
  void Clear();

  ObjectList* Lines;
  int Count;
};

StringList* CreateStringList();
