// Sort index, master/detail, finding through the filter, and tables attached to one
// store, also from two threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "memtable/binary_format.h"
#include "memtable/mem_table.h"
#include "tests/memtable/test_tables.h"

using namespace memtable;
using namespace dataset;
using memtable_test::AppendRow;
using memtable_test::Column;

TEST(SortIndex, SortFieldsMakeTheCurrentOrderAndStayUnnamed) {
  TmvxMemTable t;
  t.GetFieldDefs().Add("Id", ftInteger);
  t.GetFieldDefs().Add("Name", ftString, 10);
  t.SetSortFields("Name");  // kept until the table opens
  t.Open();
  for (auto [id, name] : {std::pair{1, "b"}, {2, "C"}, {3, "a"}, {4, "B"}})
    AppendRow(t, std::to_string(id), std::string(name));
  EXPECT_EQ(Column(t, "Name"), "a,b,B,C");
  EXPECT_EQ(t.IndexName(), "");
  EXPECT_EQ(t.IndexFieldNames(), "");
  t.SetSortOptions(mtcoDescending | mtcoCaseInsensitive);
  EXPECT_EQ(Column(t, "Id"), t.FieldByName("Id").AsString() == "" ? "" : Column(t, "Id"));
  std::string names = Column(t, "Name");
  EXPECT_TRUE(names == "C,b,B,a" || names == "C,B,b,a") << names;
  t.Locate("Id", Variant(3), 0);
  t.SetSortFields("Id:D");
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 3);  // the cursor stays on its record
  EXPECT_EQ(Column(t, "Id"), "4,3,2,1");
  EXPECT_THROW(t.SetSortFields("Nope"), EDatabaseError);
  EXPECT_EQ(Column(t, "Id"), "4,3,2,1");  // the old sort index stays
  t.SetSortFields("");
  EXPECT_EQ(Column(t, "Id"), "1,2,3,4");
  EXPECT_EQ(t.GetIndexes().Count(), 1);
}

TEST(MasterDetail, TheDetailShowsTheMastersRecordsAndFillsNewOnes) {
  TmvxMemTable master("orders"), detail("lines");
  master.GetFieldDefs().Add("OrderNo", ftInteger);
  master.Open();
  for (int i = 1; i <= 3; ++i) AppendRow(master, std::to_string(i));
  detail.GetFieldDefs().Add("Order", ftInteger);
  detail.GetFieldDefs().Add("Item", ftString, 10);
  detail.GetIndexDefs().Add("ByOrder", "Order;Item");
  detail.Open();
  for (auto [order, item] : {std::pair{1, "a"}, {2, "b"}, {1, "c"}, {3, "d"}, {2, "e"}})
    AppendRow(detail, std::to_string(order), std::string(item));
  detail.SetIndexName("ByOrder");
  detail.SetMasterFields("OrderNo");
  detail.SetMasterSource(&master);
  master.First();
  EXPECT_EQ(Column(detail, "Item"), "a,c");
  master.Next();
  EXPECT_EQ(Column(detail, "Item"), "b,e");
  EXPECT_EQ(detail.RecordCount(), 2);
  detail.Append();  // the order number comes from the master
  detail.FieldByName("Item").SetAsString("f");
  detail.Post();
  EXPECT_EQ(detail.FieldByName("Order").AsInteger(), 2);
  EXPECT_EQ(Column(detail, "Item"), "b,e,f");
  // DetailFields name the detail's fields when they are not the index's.
  detail.SetIndexName("");
  detail.SetDetailFields("Order");
  master.Locate("OrderNo", Variant(3), 0);
  EXPECT_EQ(Column(detail, "Item"), "d");
  // A master that refers back to its detail is refused; closing the master shows all.
  EXPECT_THROW(master.SetMasterSource(&detail), EDatabaseError);
  EXPECT_THROW(detail.SetMasterSource(&detail), EDatabaseError);
  master.Close();
  EXPECT_EQ(detail.RecordCount(), 6);
  master.Open();  // its records went with it: the detail shows the records without an order
  EXPECT_EQ(detail.RecordCount(), 0);
  AppendRow(master, std::string("3"));
  EXPECT_EQ(Column(detail, "Item"), "d");
}

TEST(MasterDetail, ASuspendedStoreNeitherNotifiesNorFollowsUntilItResumes) {
  TmvxMemTable master("M"), detail("D");
  master.GetFieldDefs().Add("ID", ftInteger);
  master.Open();
  for (const char* id : {"1", "2", "3"}) AppendRow(master, std::string(id));
  detail.GetFieldDefs().Add("MID", ftInteger);
  detail.GetFieldDefs().Add("Item", ftString, 10);
  detail.Open();
  for (auto [mid, item] : {std::pair{1, "a"}, {2, "b"}, {3, "c"}, {2, "d"}})
    AppendRow(detail, std::to_string(mid), std::string(item));
  detail.SetDetailFields("MID");
  detail.SetMasterFields("ID");
  detail.SetMasterSource(&master);
  master.First();
  int followed = 0;
  detail.AfterScroll = [&](DataSet&) { ++followed; };
  // The master's moves are told once, when its store resumes.
  master.SuspendEvents();
  master.Next();
  master.Next();
  EXPECT_EQ(detail.FieldByName("Item").AsString(), "a");
  master.ResumeEvents();
  EXPECT_EQ(followed, 1);
  EXPECT_EQ(Column(detail, "Item"), "c");
  // A suspended detail follows its master when it resumes.
  detail.SuspendEvents();
  master.Prior();
  EXPECT_EQ(Column(detail, "Item"), "c");
  detail.ResumeEvents();
  EXPECT_EQ(Column(detail, "Item"), "b,d");
  detail.ResumeEvents();  // nothing suspended: nothing happens
  // An edit made meanwhile is posted, not dropped, when the table moves on.
  master.SuspendEvents();
  master.Edit();
  master.FieldByName("ID").SetAsInteger(3);
  master.Next();
  master.ResumeEvents();
  EXPECT_EQ(Column(master, "ID"), "1,3,3");
}

// Each resume ends one suspension and leaves the store's lock once: another thread's post on
// the store gets through at the last resume, not before.
TEST(Attach, NestedSuspensionsHoldTheStoreUntilTheLastResume) {
  TmvxMemTable a("a"), b("b");
  a.GetFieldDefs().Add("Id", ftInteger);
  a.SetAttachMaxCount(2);
  a.AttachedAutoRefresh = b.AttachedAutoRefresh = false;
  b.SetAttachedTo(&a);
  a.Open();
  b.Open();
  a.SuspendEvents();
  a.SuspendEvents();
  std::future<void> done = std::async(std::launch::async, [&] { AppendRow(b, std::string("1")); });
  EXPECT_EQ(done.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  a.ResumeEvents();
  EXPECT_EQ(done.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);  // one still holds the lock
  a.ResumeEvents();
  const bool through = done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  EXPECT_TRUE(through);
  if (!through) a.Common().Leave();  // let it finish, so that the test ends
  done.get();
}

// The store counts suspensions, whichever table makes them: each resume ends one, and a resume
// with none left changes nothing.
TEST(Attach, EachResumeEndsOneSuspension) {
  TmvxMemTable a("a"), b("b");
  a.SetAttachMaxCount(2);
  b.SetAttachedTo(&a);
  TmvxCommon& store = a.Common();
  a.SuspendEvents();
  b.SuspendEvents();
  std::string counts;
  for (TmvxMemTable* t : {&a, &b, &a}) {
    counts += std::to_string(store.Suspensions());
    t->ResumeEvents();
  }
  a.SuspendEvents();  // a later suspension counts from none
  EXPECT_EQ(counts + std::to_string(store.Suspensions()), "2101");
  a.ResumeEvents();
}

TEST(FindRecord, FindsThroughTheFilterTextEvenWhenNotFiltered) {
  TmvxMemTable t;
  t.GetFieldDefs().Add("Id", ftInteger);
  t.Open();
  for (int i = 1; i <= 9; ++i) AppendRow(t, std::to_string(i));
  t.SetFilter("Id > 3 AND Id < 8");
  EXPECT_TRUE(t.FindFirst());
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 4);
  EXPECT_TRUE(t.FindNext());
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 5);
  EXPECT_TRUE(t.FindLast());
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 7);
  EXPECT_FALSE(t.FindNext());
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 7);  // nothing found: the cursor stays
  EXPECT_TRUE(t.FindPrior());
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 6);
  EXPECT_EQ(t.RecordCount(), 9);  // the table itself is not filtered
}

TEST(Attach, TablesOnOneStoreSeeOneSetOfRecords) {
  auto a = std::make_unique<TmvxMemTable>("a");
  TmvxMemTable b("b");
  a->GetFieldDefs().Add("Id", ftInteger);
  a->GetFieldDefs().Add("Name", ftString, 10);
  a->SetAttachMaxCount(2);
  EXPECT_THROW(b.SetAttachedTo(&b), EMemTableError);
  b.SetAttachedTo(a.get());
  b.GetIndexDefs().Add("ByName", "Name:D");
  b.Open();  // opens the table it is attached to first
  EXPECT_TRUE(a->Active());
  AppendRow(*a, std::string("1"), std::string("x"));
  AppendRow(b, std::string("2"), std::string("y"));
  b.SetIndexName("ByName");
  EXPECT_EQ(Column(*a, "Id"), "1,2");
  EXPECT_EQ(Column(b, "Id"), "2,1");
  TmvxMemTable c("c");
  EXPECT_THROW(c.SetAttachedTo(&b), EMemTableError);  // b is itself an attachment
  b.Locate("Id", Variant(1), 0);
  b.Delete();
  EXPECT_EQ(Column(*a, "Id"), "2");
  // Closing an attached table leaves the records; the owner going away closes it.
  b.Close();
  EXPECT_EQ(a->RecordCount(), 1);
  b.Open();
  a.reset();
  EXPECT_FALSE(b.Active());
  EXPECT_EQ(b.AttachedTo(), nullptr);
  b.GetFieldDefs().Clear();
  b.GetIndexDefs().Clear();
  b.GetFieldDefs().Add("Other", ftInteger);
  b.Open();  // a store of its own again
  EXPECT_EQ(b.RecordCount(), 0);
}

TEST(Attach, ACursorFindsItsPlaceAfterTheOtherTableChangedTheOrder) {
  TmvxMemTable a("a"), b("b");
  a.GetFieldDefs().Add("Id", ftInteger);
  a.SetAttachMaxCount(2);
  a.AttachedAutoRefresh = false;  // b is told nothing of a's changes
  b.SetAttachedTo(&a);
  b.GetIndexDefs().Add("ById", "Id");
  a.Open();
  b.Open();
  b.SetIndexName("ById");
  for (const char* id : {"10", "20", "30", "40", "50"}) AppendRow(a, std::string(id));
  auto id = [&] { return b.FieldByName("Id").AsInteger(); };
  ASSERT_TRUE(b.Locate("Id", Variant(20), 0));
  AppendRow(a, std::string("15"));  // before b's cursor
  b.Next();
  EXPECT_EQ(id(), 30);
  ASSERT_TRUE(a.Locate("Id", Variant(30), 0));
  a.Delete();  // the record under b's cursor
  b.Prior();
  EXPECT_EQ(id(), 20);
  ASSERT_TRUE(b.Locate("Id", Variant(40), 0));
  ASSERT_TRUE(a.Locate("Id", Variant(40), 0));
  a.Delete();
  b.Next();
  EXPECT_EQ(id(), 50);
  // A record that went away cannot be edited or deleted; appending needs no record.
  ASSERT_TRUE(a.Locate("Id", Variant(50), 0));
  a.Delete();
  EXPECT_THROW(b.Edit(), EDatabaseError);
  EXPECT_THROW(b.Delete(), EDatabaseError);
  AppendRow(b, std::string("60"));
  EXPECT_EQ(Column(b, "Id"), "10,15,20,60");
}

// The refresh a change asks of the other tables on the store waits for their next step, and
// never trades the record a table stands on, deleted by another table, for its neighbour: an
// edit or delete of it is refused, a step moves from its place, and a record changed meanwhile
// shows its new values. Every table's unique index has its say on a post through another.
TEST(Attach, ARefreshWaitsForTheTablesNextStepAndKeepsToItsRecord) {
  TmvxMemTable a("a"), b("b");
  a.SetAttachMaxCount(2);
  b.SetAttachedTo(&a);
  b.GetIndexDefs().Add("ById", "Id", ixUnique);
  memtable_test::IdsAndNames(a, 10, {});
  b.Open();
  for (const char* id : {"10", "20", "30"}) AppendRow(a, std::string(id), "n" + std::string(id));
  ASSERT_TRUE(b.Locate("Id", Variant(20), 0));
  ASSERT_TRUE(a.Locate("Id", Variant(20), 0));
  a.Delete();
  EXPECT_EQ(b.FieldByName("Id").AsInteger(), 20);  // not yet
  EXPECT_THROW(b.Edit(), EDatabaseError);
  EXPECT_THROW(b.Delete(), EDatabaseError);
  b.Next();
  EXPECT_EQ(b.FieldByName("Id").AsInteger(), 30);
  ASSERT_TRUE(a.Locate("Id", Variant(30), 0));
  a.Edit();
  a.FieldByName("Name").SetAsString("new");
  a.Post();
  EXPECT_EQ(b.FieldByName("Name").AsString(), "n30");
  b.Edit();  // its next step fetches the record again, and the edit starts from it
  EXPECT_EQ(b.FieldByName("Name").AsString(), "new");
  b.Cancel();
  EXPECT_EQ(Column(b, "Id"), "10,30");
  EXPECT_THROW(AppendRow(a, std::string("10"), std::string("n")), EMemTableDupKey);
  a.Cancel();
}

TEST(Attach, TwoThreadsChangeAndWalkOneStore) {
  TmvxMemTable a("a"), b("b");
  a.GetFieldDefs().Add("Id", ftInteger);
  a.GetFieldDefs().Add("Thread", ftInteger);
  a.GetFieldDefs().Add("Text", ftString, 30);
  a.GetIndexDefs().Add("ById", "Id");
  a.SetPerformance(mtpfBalanced);  // the text lives out of line, in the store's blocks
  a.SetAttachMaxCount(2);
  a.AttachedAutoRefresh = false;
  b.AttachedAutoRefresh = false;
  b.SetAttachedTo(&a);
  b.GetIndexDefs().Add("ByText", "Text");
  a.Open();
  b.Open();
  a.SetIndexName("ById");
  b.SetIndexName("ByText");
  constexpr int kPerThread = 1500;
  // The two threads' ids interleave over the whole id order, so that each thread puts
  // records in and takes them out before and after the other's cursor.
  auto idOf = [](int thread, int k) { return (k * 7919 % kPerThread) * 2 + thread; };
  // Each thread changes only its own records; what it keeps is what the store must hold.
  std::map<int, std::string> kept[3];
  std::atomic<int> failures{0};
  auto work = [&](TmvxMemTable& t, int thread) {
    std::mt19937 rng(static_cast<unsigned>(thread));
    std::map<int, std::string>& mine = kept[thread];
    // A record of its own is found exactly while the thread keeps it, and the cursor
    // lands on it and stays there through the edit.
    auto locateOwn = [&](int i) {
      int id = idOf(thread, static_cast<int>(rng() % static_cast<unsigned>(i + 1)));
      bool found = t.Locate("Id", Variant(id), 0);
      EXPECT_EQ(found, mine.count(id) == 1) << "thread " << thread << ", id " << id;
      if (found) {
        EXPECT_EQ(t.FieldByName("Id").AsInteger(), id) << "thread " << thread;
      }
      return found && t.FieldByName("Id").AsInteger() == id ? id : -1;
    };
    try {
      for (int i = 0; i < kPerThread; ++i) {
        std::string text = "t" + std::to_string(rng() % 1000);
        t.Append();
        t.FieldByName("Id").SetAsInteger(idOf(thread, i));
        t.FieldByName("Thread").SetAsInteger(thread);
        t.FieldByName("Text").SetAsString(text);
        t.Post();
        mine[idOf(thread, i)] = text;
        if (int id = i % 3 == 0 ? locateOwn(i) : -1; id >= 0) {
          t.Edit();
          t.FieldByName("Text").SetAsString("e" + std::to_string(i));
          t.Post();
          mine[id] = "e" + std::to_string(i);
          EXPECT_EQ(t.FieldByName("Id").AsInteger(), id) << "thread " << thread;
        }
        if (int id = i % 5 == 0 ? locateOwn(i) : -1; id >= 0) {
          t.Delete();
          mine.erase(id);
        }
        if (i % 50 == 0) {
          // A walk steps from the record it stands on to the one that follows it now,
          // also when the other thread took that record away meanwhile: in table a's
          // order, by ids that no thread changes, strictly upwards.
          int n = 0;
          std::int64_t last = -1;
          for (t.First(); !t.Eof() && n < 200; t.Next(), ++n) {
            if (&t != &a) continue;
            std::int64_t id = t.FieldByName("Id").AsInteger();
            EXPECT_GT(id, last) << "thread " << thread << ", step " << n;
            last = id;
          }
          (void)t.RecordCount();
        }
      }
    } catch (const std::exception& e) {
      ADD_FAILURE() << "thread " << thread << ": " << e.what();
      ++failures;
    }
  };
  std::thread one(work, std::ref(a), 1), two(work, std::ref(b), 2);
  one.join();
  two.join();
  ASSERT_EQ(failures.load(), 0);
  // Both tables see the records the threads kept, each in its own order, through the
  // indexes as the changes kept them and as rebuilt.
  std::map<int, std::string> expected = kept[1];
  expected.insert(kept[2].begin(), kept[2].end());
  auto seen = [](TmvxMemTable& t) {
    std::map<int, std::string> out;
    for (t.First(); !t.Eof(); t.Next())
      out[static_cast<int>(t.FieldByName("Id").AsInteger())] = t.FieldByName("Text").AsString();
    return out;
  };
  EXPECT_EQ(seen(a), expected);
  EXPECT_EQ(seen(b), expected);
  a.GetIndexes().RebuildAll();
  b.GetIndexes().RebuildAll();
  a.Refresh();
  b.Refresh();
  EXPECT_EQ(seen(a), expected);
  EXPECT_EQ(seen(b), expected);
  EXPECT_GT(expected.size(), static_cast<std::size_t>(kPerThread));
  EXPECT_EQ(static_cast<int>(expected.size()), a.RecordCount());
  EXPECT_EQ(static_cast<int>(expected.size()), b.RecordCount());
}

// Index switches read the store under its lock: one thread switches, loads (good and
// refused streams) and changes records while the other switches, walks and locates.
TEST(Attach, OneThreadSwitchesIndexesAndLoadsWhileTheOtherWalksAndSwitches) {
  TmvxMemTable a("a"), b("b"), foreign;
  a.GetFieldDefs().Add("Id", ftInteger);
  a.GetFieldDefs().Add("Text", ftString, 30);
  a.GetIndexDefs().Add("ById", "Id");
  a.GetIndexDefs().Add("ByText", "Text");
  a.SetPerformance(mtpfBalanced);
  a.SetAttachMaxCount(2);
  a.AttachedAutoRefresh = b.AttachedAutoRefresh = false;
  b.SetAttachedTo(&a);
  b.GetIndexDefs().Add("ByTextDown", "Text", ixDescending);
  b.GetIndexDefs().Add("ById", "Id");
  a.Open();
  b.Open();
  for (int i = 0; i < 300; ++i) AppendRow(a, std::to_string(i), "t" + std::to_string(i * 37 % 300));
  // A stream of a's records, and one whose text does not fit a's integer field.
  TmvxBinaryStreamFormat format;
  platform::MemoryStream good, bad;
  a.SaveThroughFormat(good, &format);
  foreign.GetFieldDefs().Add("Id", ftString, 4);
  foreign.Open();
  AppendRow(foreign, std::string("x"));
  foreign.SaveThroughFormat(bad, &format);
  auto load = [&](platform::MemoryStream& stream) {
    stream.Seek(0, platform::SeekOrigin::Begin);
    a.LoadThroughFormat(stream, &format);
  };
  std::atomic<bool> done{false};
  std::thread walker([&] {
    const char* indexes[] = {"", "ByTextDown", "ById"};
    try {
      for (int round = 0; !done.load() || round < 3; ++round) {
        b.SetIndexName(indexes[round % 3]);
        int n = 0;
        for (b.First(); !b.Eof() && n < (round % 10 ? 3 : 400); b.Next()) ++n;
        if (b.Locate("Id", Variant(round % 300), 0)) {
          EXPECT_EQ(b.FieldByName("Id").AsInteger(), round % 300);
        }
        (void)b.RecordCount();
      }
    } catch (const std::exception& e) {
      ADD_FAILURE() << "walker: " << e.what();
    }
  });
  try {
    const char* indexes[] = {"ById", "", "ByText"};
    for (int round = 0; round < 60; ++round) {
      a.SetIndexName(indexes[round % 3]);
      if (round % 4 == 0) {
        load(good);
      } else if (round % 4 == 2) {
        EXPECT_THROW(load(bad), EMemTableError);
      } else {
        for (int k = 0; k < 40; ++k) AppendRow(a, std::to_string(1000 + round * 40 + k), std::string("new"));
        if (a.Locate("Id", Variant(round), 0)) a.Delete();
      }
      EXPECT_FALSE(a.ControlsDisabled());
    }
  } catch (const std::exception& e) {
    ADD_FAILURE() << "loader: " << e.what();
  }
  done = true;
  walker.join();
  load(good);
  b.Refresh();
  EXPECT_EQ(b.RecordCount(), 300);
  b.SetIndexName("ById");
  b.Last();
  EXPECT_EQ(b.FieldByName("Id").AsInteger(), 299);
}
