// The object model: deferred free, clean-up order, destroy notification, and the lists.
#include "rt/object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> gLog;

struct Probe : RefObject {
  const char* Name;
  ByteString Text;  // released by the destruction
  void Initialize() override { gLog.push_back("init"); }
  void Dispose() override {
    gLog.push_back(std::string("dispose ") + (Name ? Name : "?"));
    RefObject::Dispose();
  }
};

Probe* MakeProbe(const char* name) {
  Probe* probe = CreateObject<Probe>();
  probe->Name = name;
  return probe;
}

class ObjectModel : public ::testing::Test {
protected:
  void SetUp() override { gLog.clear(); }
};

TEST_F(ObjectModel, CreationZeroFillsAndInitializes) {
  Probe* probe = CreateObject<Probe>();
  EXPECT_EQ(0, probe->UseCount);
  EXPECT_EQ(nullptr, probe->CleanupList);
  EXPECT_FALSE(probe->DestroyNotify.Assigned());
  EXPECT_EQ(nullptr, probe->Name);
  EXPECT_EQ(std::vector<std::string>{"init"}, gLog);
  FreeObject(probe);
  FreeObject(nullptr);
}

TEST_F(ObjectModel, FreeWhileHeldWaitsForTheLastRelease) {
  Probe* probe = MakeProbe("p");
  probe->Text = "keep";
  AddRef(probe);
  AddRef(probe);
  FreeObject(probe);
  EXPECT_EQ(3, probe->UseCount);
  FreeObject(probe);  // already pending
  EXPECT_EQ(3, probe->UseCount);
  ReleaseRef(probe);
  EXPECT_EQ(1, gLog.size());
  EXPECT_TRUE(probe->Text == "keep");
  ReleaseRef(probe);
  EXPECT_EQ((std::vector<std::string>{"init", "dispose p"}), gLog);
}

TEST_F(ObjectModel, HoldsWithoutAFreeLeaveTheObjectAlive) {
  Probe* probe = MakeProbe("p");
  AddRef(probe);
  ReleaseRef(probe);
  EXPECT_EQ(0, probe->UseCount);
  EXPECT_EQ(1, gLog.size());
  FreeObject(probe);
  EXPECT_EQ("dispose p", gLog.back());
}

void LogCleanup(void* text) {
  gLog.push_back(static_cast<const char*>(text));
}

TEST_F(ObjectModel, OwnedObjectsAndCleanupsRunLastAttachedFirst) {
  Probe* owner = MakeProbe("owner");
  AttachOwned(owner, MakeProbe("first"));
  AttachCleanup(owner, LogCleanup, const_cast<char*>("cleanup"));
  AttachOwned(owner, MakeProbe("second"));
  gLog.clear();
  FreeObject(owner);
  EXPECT_EQ(
      (std::vector<std::string>{"dispose owner", "dispose second", "cleanup", "dispose first"}),
      gLog);
}

struct Watcher {
  int Calls = 0;
  void Destroyed(RefObject* object) {
    ++Calls;
    FreeObject(object);  // a second free from inside the destruction finds nothing to do
    AddRef(object);
    ReleaseRef(object);
  }
};

TEST_F(ObjectModel, DestroyNotifyRunsOnceEvenWhenItFreesAgain) {
  Watcher watcher;
  Probe* probe = MakeProbe("p");
  probe->DestroyNotify = Bind<&Watcher::Destroyed>(&watcher);
  FreeObject(probe);
  EXPECT_EQ(1, watcher.Calls);
  EXPECT_EQ((std::vector<std::string>{"init", "dispose p"}), gLog);
}

struct Frees {
  static void Owner(void* object) { FreeObject(static_cast<RefObject*>(object)); }
};

TEST_F(ObjectModel, CleanupThatFreesItsOwnerDoesNotDestroyTwice) {
  Probe* owner = MakeProbe("owner");
  AttachCleanup(owner, Frees::Owner, owner);
  FreeObject(owner);
  EXPECT_EQ((std::vector<std::string>{"init", "dispose owner"}), gLog);
}

TEST(ObjectList, GrowsInStepsOfFourAndNeverShrinks) {
  ObjectList* list = CreateObjectList();
  EXPECT_EQ(4, list->GrowBy);
  int a, b, c, d, e;
  void* values[] = {&a, &b, &c, &d, &e};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(i, list->Add(values[i]));
  EXPECT_EQ(4, list->Capacity);
  list->Add(values[4]);
  EXPECT_EQ(8, list->Capacity);
  list->DeleteRange(1, 3);
  EXPECT_EQ(2, list->Count);
  EXPECT_EQ(8, list->Capacity);
  EXPECT_EQ(&e, list->ItemAt(1));
  list->SetCapacity(0);
  EXPECT_EQ(2, list->Capacity);
  list->DeleteRange(1, 100);
  EXPECT_EQ(1, list->Count);
  list->DeleteRange(0, 0);
  EXPECT_EQ(1, list->Count);
  FreeObject(list);
}

TEST(ObjectList, OutOfRangeAccessIsHarmless) {
  ObjectList* list = CreateObjectList();
  int a, b, absent;
  list->Add(&a);
  list->Insert(0, &b);
  EXPECT_EQ(&b, list->ItemAt(0));
  EXPECT_EQ(&a, list->ItemAt(1));
  EXPECT_EQ(nullptr, list->ItemAt(list->Count));
  EXPECT_EQ(nullptr, list->ItemAt(-1));
  EXPECT_EQ(-1, list->IndexOf(&absent));
  list->PutItem(2, &absent);
  list->PutItem(-1, &absent);
  EXPECT_EQ(-1, list->IndexOf(&absent));
  list->Remove(&absent);
  list->Remove(&b);
  EXPECT_EQ(1, list->Count);
  EXPECT_EQ(&a, list->ItemAt(0));
  list->Clear();
  EXPECT_EQ(0, list->Capacity);
  EXPECT_EQ(nullptr, list->Items);
  FreeObject(list);
}

TEST(ObjectList, InsertInTheMiddleShiftsTheTail) {
  ObjectList* list = CreateObjectList();
  int v[6];
  for (int i = 0; i < 5; ++i) list->Add(&v[i]);
  list->Insert(2, &v[5]);
  ASSERT_EQ(6, list->Count);
  void* expected[] = {&v[0], &v[1], &v[5], &v[2], &v[3], &v[4]};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(expected[i], list->ItemAt(i)) << i;
  FreeObject(list);
}

TEST(StringList, HoldsCopiesUpToTheirFirstZeroByte) {
  StringList* list = CreateStringList();
  EXPECT_TRUE(list->LineAt(0).IsEmpty());
  ByteString line("one");
  EXPECT_EQ(0, list->Add(line));
  line.MutableData()[0] = 'X';
  EXPECT_EQ(1, list->Add(ByteString("a\0b", 3)));
  EXPECT_EQ(2, list->Add(ByteString()));
  list->Insert(0, "zero");
  ASSERT_EQ(4, list->Count);
  EXPECT_TRUE(list->LineAt(0) == "zero");
  EXPECT_TRUE(list->LineAt(1) == "one");
  EXPECT_TRUE(list->LineAt(2) == "a");
  EXPECT_TRUE(list->LineAt(3) == "");
  EXPECT_TRUE(list->LineAt(4).IsEmpty());
  EXPECT_TRUE(list->LineAt(-1).IsEmpty());
  list->Delete(1);
  EXPECT_TRUE(list->LineAt(1) == "a");
  list->Clear();
  EXPECT_EQ(0, list->Count);
  EXPECT_EQ(nullptr, list->Lines);
  list->Add("again");
  EXPECT_EQ(1, list->Count);
  FreeObject(list);
}

}  // namespace
