// Sort index, master/detail, finding through the filter, and tables attached to one
// store, also from two threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <set>
#include <string>
#include <thread>

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
  std::atomic<int> failures{0};
  auto work = [&](TmvxMemTable& t, int thread) {
    std::mt19937 rng(static_cast<unsigned>(thread));
    try {
      for (int i = 0; i < kPerThread; ++i) {
        t.Append();
        t.FieldByName("Id").SetAsInteger(thread * 100000 + i);
        t.FieldByName("Thread").SetAsInteger(thread);
        t.FieldByName("Text").SetAsString("t" + std::to_string(rng() % 1000));
        t.Post();
        if (i % 3 == 0 && t.Locate("Id", Variant(thread * 100000 + static_cast<int>(rng() % (i + 1))), 0)) {
          t.Edit();
          t.FieldByName("Text").SetAsString("e" + std::to_string(i));
          t.Post();
        }
        if (i % 5 == 0 && t.Locate("Id", Variant(thread * 100000 + static_cast<int>(rng() % (i + 1))), 0)) t.Delete();
        if (i % 50 == 0) {
          int n = 0;
          for (t.First(); !t.Eof() && n < 200; t.Next()) ++n;
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
  // Both tables see the same records, each in its own order.
  a.GetIndexes().RebuildAll();
  b.GetIndexes().RebuildAll();
  a.Refresh();
  b.Refresh();
  std::multiset<std::string> inA, inB;
  for (a.First(); !a.Eof(); a.Next()) inA.insert(a.FieldByName("Id").AsString() + a.FieldByName("Text").AsString());
  for (b.First(); !b.Eof(); b.Next()) inB.insert(b.FieldByName("Id").AsString() + b.FieldByName("Text").AsString());
  EXPECT_EQ(inA, inB);
  EXPECT_GT(inA.size(), static_cast<std::size_t>(kPerThread));
  EXPECT_EQ(static_cast<int>(inA.size()), a.RecordCount());
}
