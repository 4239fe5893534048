#include "core/Lists.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "runtime/Exceptions.h"
#include "tests/TestSupport.h"

namespace tw {
namespace {

using test::Sjis;

// Distinct references that are never dereferenced.
void* Ref(std::uintptr_t n) { return reinterpret_cast<void*>(n * 16); }

// A list that records its notices as (item number, action).
class RecordingList : public TList {
 public:
  std::vector<std::pair<std::uintptr_t, TListNotice>> notices;

 protected:
  void ItemNotice(void* item, TListNotice action) override {
    notices.emplace_back(reinterpret_cast<std::uintptr_t>(item) / 16, action);
  }
};

std::vector<std::uintptr_t> Contents(const TList& list) {
  std::vector<std::uintptr_t> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(reinterpret_cast<std::uintptr_t>(list.Items()[i]) / 16);
  return out;
}

std::string IndexError(int i) { return Sjis("リストのインデックスが範囲を超えています (" + std::to_string(i) + ")"); }

TEST(ListTest, CapacityGrowsByTheRule) {
  struct Case {
    int appended;
    int capacity;
  };
  const Case cases[] = {{1, 4},   {4, 4},   {5, 8},   {8, 8},   {9, 12},  {13, 28},
                        {29, 44}, {45, 60}, {61, 76}, {77, 95}, {96, 118}};
  for (const Case& c : cases) {
    TList list;
    for (int i = 0; i < c.appended; ++i) EXPECT_EQ(list.Append(Ref(i + 1)), i);
    EXPECT_EQ(list.Capacity(), c.capacity) << c.appended << " appended";
    EXPECT_EQ(list.Count(), c.appended);
  }
}

TEST(ListTest, GrowthAboveSixtyFourAddsAQuarter) {
  TList list;
  list.ChangeCapacity(80);
  for (int i = 0; i < 80; ++i) list.Append(Ref(i + 1));
  EXPECT_EQ(list.Capacity(), 80);
  list.Append(Ref(81));
  EXPECT_EQ(list.Capacity(), 100);
}

TEST(ListTest, InsertDeleteAndPutKeepTheOrder) {
  TList list;
  list.Append(Ref(1));
  list.Append(Ref(2));
  list.InsertAt(1, Ref(3));
  list.InsertAt(0, Ref(4));
  list.InsertAt(list.Count(), Ref(5));  // at the count: appends
  EXPECT_EQ(Contents(list), (std::vector<std::uintptr_t>{4, 1, 3, 2, 5}));
  list.DeleteAt(2);
  list.DeleteAt(0);
  EXPECT_EQ(Contents(list), (std::vector<std::uintptr_t>{1, 2, 5}));
  list.PutAt(1, Ref(7));
  EXPECT_EQ(list.ItemAt(1), Ref(7));
  EXPECT_EQ(list.FirstItem(), Ref(1));
  EXPECT_EQ(list.LastItem(), Ref(5));
}

TEST(ListTest, NoticesFollowEachChangeAndSkipNull) {
  RecordingList list;
  list.Append(Ref(1));
  list.Append(nullptr);
  list.InsertAt(0, Ref(2));
  list.PutAt(1, Ref(3));  // 1 leaves, 3 enters
  list.PutAt(2, Ref(4));  // null leaves silently
  list.DeleteAt(0);
  list.MoveItem(0, 1);  // no notice
  using N = std::pair<std::uintptr_t, TListNotice>;
  EXPECT_EQ(list.notices,
            (std::vector<N>{{1, inAdded}, {2, inAdded}, {1, inDeleted}, {3, inAdded}, {4, inAdded}, {2, inDeleted}}));
  EXPECT_EQ(Contents(list), (std::vector<std::uintptr_t>{4, 3}));
}

TEST(ListTest, ChangeCountShrinksFromTheLastItemDownAndGrowsWithNulls) {
  RecordingList list;
  for (int i = 1; i <= 4; ++i) list.Append(Ref(i));
  list.notices.clear();
  list.ChangeCount(2);
  using N = std::pair<std::uintptr_t, TListNotice>;
  EXPECT_EQ(list.notices, (std::vector<N>{{4, inDeleted}, {3, inDeleted}}));
  list.ChangeCount(10);
  EXPECT_EQ(list.Capacity(), 10);
  EXPECT_EQ(Contents(list), (std::vector<std::uintptr_t>{1, 2, 0, 0, 0, 0, 0, 0, 0, 0}));
  list.notices.clear();
  list.ClearAll();  // the nulls leave silently
  EXPECT_EQ(list.notices, (std::vector<N>{{2, inDeleted}, {1, inDeleted}}));
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Capacity(), 0);
}

TEST(ListTest, SearchesFindTheFirstOrLastOccurrence) {
  TList list;
  for (int n : {1, 2, 3, 2, 1}) list.Append(Ref(n));
  EXPECT_EQ(list.IndexOfItem(Ref(2)), 1);
  EXPECT_EQ(list.LastIndexOfItem(Ref(2)), 3);
  EXPECT_EQ(list.IndexOfItem(Ref(9)), -1);
  EXPECT_EQ(list.LastIndexOfItem(Ref(9)), -1);
  EXPECT_EQ(list.RemoveItem(Ref(1)), 0);
  EXPECT_EQ(list.RemoveItemFromEnd(Ref(2)), 2);
  EXPECT_EQ(list.RemoveItem(Ref(9)), -1);
  EXPECT_EQ(Contents(list), (std::vector<std::uintptr_t>{2, 3, 1}));
}

TEST(ListTest, MoveItemTakesOutAndPutsBack) {
  struct Case {
    int from, to;
    std::vector<std::uintptr_t> expected;
  };
  const Case cases[] = {{0, 3, {2, 3, 4, 1, 5}},
                        {3, 0, {4, 1, 2, 3, 5}},
                        {4, 1, {1, 5, 2, 3, 4}},
                        {2, 2, {1, 2, 3, 4, 5}},
                        {7, 7, {1, 2, 3, 4, 5}}};
  for (const Case& c : cases) {
    TList list;
    for (int n = 1; n <= 5; ++n) list.Append(Ref(n));
    list.MoveItem(c.from, c.to);
    EXPECT_EQ(Contents(list), c.expected) << c.from << " -> " << c.to;
  }
}

TEST(ListTest, BadIndicesRaiseAndChangeNothing) {
  struct Case {
    const char* what;
    std::function<void(TList&)> action;
    int index;
  };
  const Case cases[] = {
      {"ItemAt -1", [](TList& l) { l.ItemAt(-1); }, -1},
      {"ItemAt count", [](TList& l) { l.ItemAt(3); }, 3},
      {"PutAt count", [](TList& l) { l.PutAt(3, Ref(9)); }, 3},
      {"InsertAt count+1", [](TList& l) { l.InsertAt(4, Ref(9)); }, 4},
      {"InsertAt -1", [](TList& l) { l.InsertAt(-1, Ref(9)); }, -1},
      {"DeleteAt count", [](TList& l) { l.DeleteAt(3); }, 3},
      {"DeleteAt -5", [](TList& l) { l.DeleteAt(-5); }, -5},
      {"MoveItem bad target", [](TList& l) { l.MoveItem(0, 3); }, 3},
      {"MoveItem bad source", [](TList& l) { l.MoveItem(6, 1); }, 6},
      {"MoveItem both bad", [](TList& l) { l.MoveItem(-2, 8); }, 8},
  };
  for (const Case& c : cases) {
    RecordingList list;
    for (int n = 1; n <= 3; ++n) list.Append(Ref(n));
    list.ChangeCapacity(4);
    list.notices.clear();
    EXPECT_EQ(test::MessageOf<EListError>([&] { c.action(list); }), IndexError(c.index)) << c.what;
    EXPECT_EQ(Contents(list), (std::vector<std::uintptr_t>{1, 2, 3})) << c.what;
    EXPECT_EQ(list.Capacity(), 4) << c.what;
    EXPECT_TRUE(list.notices.empty()) << c.what;
  }
}

TEST(ListTest, EmptyListRaisesForEveryIndex) {
  TList list;
  EXPECT_EQ(test::MessageOf<EListError>([&] { list.DeleteAt(0); }), IndexError(0));
  EXPECT_EQ(test::MessageOf<EListError>([&] { list.FirstItem(); }), IndexError(0));
  EXPECT_EQ(test::MessageOf<EListError>([&] { list.LastItem(); }), IndexError(-1));
  list.InsertAt(0, Ref(1));
  EXPECT_EQ(list.FirstItem(), Ref(1));
}

TEST(ListTest, CapacityAndCountLimits) {
  TList list;
  for (int n = 1; n <= 3; ++n) list.Append(Ref(n));
  const std::string capacity = "リストの容量が超えました (";
  const std::string count = "リストの個数を超えました (";
  EXPECT_EQ(test::MessageOf<EListError>([&] { list.ChangeCapacity(2); }), Sjis(capacity + "2)"));
  EXPECT_EQ(test::MessageOf<EListError>([&] { list.ChangeCapacity(-1); }), Sjis(capacity + "-1)"));
  EXPECT_EQ(test::MessageOf<EListError>([&] { list.ChangeCapacity(0x8000000); }), Sjis(capacity + "134217728)"));
  EXPECT_EQ(test::MessageOf<EListError>([&] { list.ChangeCount(-1); }), Sjis(count + "-1)"));
  EXPECT_EQ(test::MessageOf<EListError>([&] { list.ChangeCount(0x8000000); }), Sjis(count + "134217728)"));
  EXPECT_EQ(Contents(list), (std::vector<std::uintptr_t>{1, 2, 3}));
  EXPECT_EQ(list.Capacity(), 4);
  list.ChangeCapacity(3);  // exactly the count is allowed
  EXPECT_EQ(list.Capacity(), 3);
  EXPECT_EQ(Contents(list), (std::vector<std::uintptr_t>{1, 2, 3}));
}

TEST(ListTest, ManyItemsTakenOffTheEnd) {
  // The owner of 100,000 components appends each and frees them last first.
  constexpr int kItems = 100000;
  TList list;
  for (int i = 0; i < kItems; ++i) list.Append(Ref(i + 1));
  ASSERT_EQ(list.Count(), kItems);
  EXPECT_EQ(list.ItemAt(54321), Ref(54322));
  for (int i = kItems; i >= 1; --i) ASSERT_EQ(list.RemoveItemFromEnd(Ref(i)), i - 1);
  EXPECT_EQ(list.Count(), 0);
}

TEST(ThreadListTest, DuplicatePolicies) {
  TThreadList list;
  EXPECT_EQ(list.Duplicates(), dupIgnore);
  list.AddItem(Ref(1));
  list.AddItem(Ref(1));
  {
    TThreadList::Guard locked(list);
    EXPECT_EQ(locked->Count(), 1);
  }
  list.SetDuplicates(dupAccept);
  list.AddItem(Ref(1));
  {
    TThreadList::Guard locked(list);
    EXPECT_EQ(Contents(*locked), (std::vector<std::uintptr_t>{1, 1}));
  }
  list.SetDuplicates(dupError);
  void* item = reinterpret_cast<void*>(std::uintptr_t{0x1234ABC0});
  list.AddItem(item);
  EXPECT_EQ(test::MessageOf<EListError>([&] { list.AddItem(item); }), Sjis("リストは重複を許しません。($01234ABC0)"));
  TList& inner = list.Lock();
  list.RemoveItem(Ref(1));  // the holder of the lock may call in again
  EXPECT_EQ(Contents(inner), (std::vector<std::uintptr_t>{1, 0x1234ABC}));
  list.Unlock();
}

TEST(ThreadListTest, ConcurrentAddsLoseNothing) {
  TThreadList list;
  constexpr int kThreads = 4;
  constexpr int kEach = 1000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&list, t] {
      for (int i = 0; i < kEach; ++i) {
        list.AddItem(Ref(static_cast<std::uintptr_t>(t * kEach + i + 1)));
        list.AddItem(Ref(1));  // contended duplicate, kept once
      }
    });
  for (std::thread& thread : threads) thread.join();
  TThreadList::Guard locked(list);
  EXPECT_EQ(locked->Count(), kThreads * kEach);
}

}  // namespace
}  // namespace tw
