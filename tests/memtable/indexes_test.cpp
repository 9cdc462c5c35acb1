#include "memtable/indexes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "memtable/mem_table.h"
#include "tests/memtable/test_tables.h"

using namespace memtable;
using namespace dataset;
using memtable_test::AppendRow;
using memtable_test::Column;
using memtable_test::TestTable;

namespace {

class IndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t.GetFieldDefs().Add("Id", ftInteger);
    t.GetFieldDefs().Add("Name", ftString, 20);
  }
  void Fill(std::initializer_list<std::pair<int, const char*>> rows) {
    for (auto& r : rows) AppendRow(t, std::to_string(r.first), std::string(r.second));
  }
  TmvxIndex& Index(const char* name) {
    TmvxIndex* i = t.GetIndexes().GetIndexByName(name);
    EXPECT_NE(i, nullptr);
    return *i;
  }
  std::string Ids(TmvxIndex& index) {
    std::string out;
    for (PmvxRecord r : index.References) {
      std::int32_t id;
      std::memcpy(&id, r->Data + t.Common().FieldOffset(0) + 1, 4);
      out += (out.empty() ? "" : ",") + std::to_string(id);
    }
    return out;
  }
  // Searches index for Name = name.
  int Find(TmvxIndex& index, const char* name, bool nearest, bool& found) {
    PmvxRecord key = t.Common().AllocRecord();
    t.WriteFieldValue(key, &t.FieldByName("Name"), Variant(name));
    int pos = -1;
    index.Search(nullptr, key, found, pos, false, nearest);
    t.Common().FreeRecord(key, true, false);
    return pos;
  }
  void GoToId(int id) { ASSERT_TRUE(t.Locate("Id", Variant(id), 0)); }
  TestTable t;
};

}  // namespace

TEST_F(IndexTest, KeepsSortedOrderThroughAppendEditAndDelete) {
  t.GetIndexDefs().Add("ByName", "Name");
  t.Open();
  Fill({{1, "delta"}, {2, "alpha"}, {3, "charlie"}, {4, "bravo"}});
  EXPECT_EQ(Ids(Index("ByName")), "2,4,3,1");
  GoToId(3);
  t.Edit();
  t.FieldByName("Name").SetAsString("aaa");
  t.Post();
  EXPECT_EQ(Ids(Index("ByName")), "3,2,4,1");
  GoToId(2);
  t.Delete();
  EXPECT_EQ(Ids(Index("ByName")), "3,4,1");
  EXPECT_EQ(Ids(*t.GetIndexes().RowOrderIndex), "1,3,4");
  t.SetIndexName("ByName");
  EXPECT_EQ(Column(t, "Id"), "3,4,1");
  EXPECT_EQ(t.IndexFieldNames(), "Name");
  EXPECT_TRUE(t.GetIsIndexField(&t.FieldByName("Name")));
  EXPECT_FALSE(t.GetIsIndexField(&t.FieldByName("Id")));
  t.SetIndexFieldNames("");
  EXPECT_EQ(Column(t, "Id"), "1,3,4");
}

TEST_F(IndexTest, DescendingAndCaseInsensitiveDefinitions) {
  t.GetIndexDefs().Add("Desc", "Name", ixDescending);
  t.GetIndexDefs().Add("NoCase", "Name", ixCaseInsensitive);
  t.Open();
  Fill({{1, "b"}, {2, "B"}, {3, "a"}, {4, ""}, {5, "C"}});

  // The null name sorts first also in descending order.
  EXPECT_EQ(Ids(Index("Desc")), "4,5,2,1,3");
  // Equal keys keep their arrival order, in a maintained index and after a rebuild.
  EXPECT_EQ(Ids(Index("NoCase")), "4,3,1,2,5");
  Index("NoCase").Rebuild();
  EXPECT_EQ(Ids(Index("NoCase")), "4,3,1,2,5");
}

TEST_F(IndexTest, SearchesSequentiallyUpTo20AndBinaryAbove) {
  t.GetIndexDefs().Add("ByName", "Name");
  t.Open();
  for (int i = 0; i < 20; ++i) AppendRow(t, std::to_string(i), std::string(i < 10 ? "k" : "m") + std::to_string(i / 3));
  TmvxIndex& idx = Index("ByName");
  ASSERT_EQ(idx.Count(), 20);
  bool found = false;
  // Several equal keys: both searches give the first of them.
  EXPECT_EQ(Find(idx, "k1", false, found), 3);
  EXPECT_TRUE(found);
  // A nearest search above every record: a scan reports no position.
  EXPECT_EQ(Find(idx, "z", true, found), -1);
  EXPECT_FALSE(found);
  AppendRow(t, std::string("20"), std::string("m6"));
  ASSERT_EQ(idx.Count(), 21);
  EXPECT_EQ(Find(idx, "k1", false, found), 3);
  EXPECT_TRUE(found);
  EXPECT_EQ(Find(idx, "m6", false, found), 18);
  EXPECT_TRUE(found);
  // ...while the binary search reports where the key would go.
  EXPECT_EQ(Find(idx, "z", true, found), 21);
  EXPECT_FALSE(found);
  EXPECT_EQ(Find(idx, "l", true, found), 10);
  EXPECT_FALSE(found);
}

TEST_F(IndexTest, UniqueIndexesRefuseDuplicates) {
  t.GetIndexDefs().Add("U", "Name", ixUnique);
  t.Open();
  Fill({{1, "a"}, {2, "b"}});
  t.Append();
  t.FieldByName("Id").SetAsInteger(3);
  t.FieldByName("Name").SetAsString("a");
  try {
    t.Post();
    FAIL();
  } catch (const EMemTableDupKey& e) {
    EXPECT_STREQ(e.what(), "Duplicate index value. Operation aborted.");
  }
  EXPECT_EQ(t.State(), dsInsert);
  t.Cancel();
  EXPECT_EQ(t.RecordCount(), 2);
  GoToId(2);
  t.Edit();
  t.FieldByName("Name").SetAsString("a");
  EXPECT_THROW(t.Post(), EMemTableDupKey);
  t.Cancel();
  // Re-posting a record with its own unchanged key is no duplicate.
  t.Edit();
  t.FieldByName("Id").SetAsInteger(22);
  t.Post();
  EXPECT_EQ(Column(t, "Name"), "a,b");
  // A sort that meets two equal keys fails.
  t.SetEnableIndexes(false);
  AppendRow(t, std::string("4"), std::string("a"));
  EXPECT_THROW(Index("U").Rebuild(), EMemTableDupKey);
}

TEST_F(IndexTest, RecordsAddedDirectlyObeyUniqueIndexes) {
  t.GetIndexDefs().Add("U", "Name", ixUnique);
  t.Open();
  Fill({{1, "a"}});
  RecordBuffer b = t.AllocRecordBuffer();
  auto* rec = reinterpret_cast<PmvxRecord>(b);
  t.WriteFieldValue(rec, &t.FieldByName("Name"), Variant("a"));
  EXPECT_THROW(t.InternalAddRecord(b, true), EMemTableDupKey);
  t.WriteFieldValue(rec, &t.FieldByName("Name"), Variant("b"));
  t.InternalAddRecord(b, true);
  EXPECT_EQ(Ids(Index("U")), "1,0");
  // Added at the cursor instead of the end.
  AppendRow(t, std::string("2"), std::string("c"));
  ASSERT_TRUE(t.Locate("Id", Variant(1), 0));
  t.WriteFieldValue(rec, &t.FieldByName("Id"), Variant(9));
  t.WriteFieldValue(rec, &t.FieldByName("Name"), Variant("d"));
  t.InternalAddRecord(b, false);
  t.FreeRecordBuffer(b);
  EXPECT_EQ(Ids(*t.GetIndexes().RowOrderIndex), "9,1,0,2");
}

TEST_F(IndexTest, UniquenessIgnoresDeletedVersions) {
  t.GetIndexDefs().Add("U", "Name", ixUnique);
  t.SetEnableVersioning(true);
  t.Open();
  Fill({{1, "a"}, {2, "b"}});
  GoToId(1);
  t.Delete();
  EXPECT_EQ(t.RecordCount(), 1);
  AppendRow(t, std::string("3"), std::string("a"));
  EXPECT_EQ(Column(t, "Id"), "2,3");
  // A rebuild takes the deleted version back into the index; it still is no duplicate.
  t.GetIndexes().RebuildAll();
  t.Refresh();
  EXPECT_EQ(Column(t, "Id"), "2,3");
  t.Edit();
  t.FieldByName("Id").SetAsInteger(33);
  t.Post();
}

TEST_F(IndexTest, DeletingIndexesKeepsOrdinalsAndRowOrder) {
  t.GetIndexDefs().Add("A", "Name");
  t.GetIndexDefs().Add("B", "Id");
  t.GetIndexDefs().Add("C", "Name;Id");
  t.Open();
  TmvxIndexes& list = t.GetIndexes();
  ASSERT_EQ(list.Count(), 4);
  TmvxIndex* c = list.GetIndexByName("c");
  EXPECT_EQ(c->Ordinal, 3);
  EXPECT_EQ(list.GetIndexByFields("name;id"), c);
  auto taken = list.DeleteIndex(list.GetIndexByName("B"));
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(c->Ordinal, 2);
  EXPECT_EQ(list.DeleteIndex(list.RowOrderIndex), nullptr);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.GetIndexByName(kRowOrderIndexName), list.RowOrderIndex);
  EXPECT_THROW(list.AddIndexDef(IndexDef{"X", "", 0}), EMemTableError);
}

TEST_F(IndexTest, EditWithUnchangedKeyKeepsThePosition) {
  t.GetIndexDefs().Add("ByName", "Name");
  t.Open();
  Fill({{1, "b"}, {2, "a"}, {3, "b"}, {4, "b"}});
  t.SetIndexName("ByName");
  GoToId(3);
  int recNo = t.GetRecNo();
  std::string before = Ids(Index("ByName"));
  t.Edit();
  t.FieldByName("Id").SetAsInteger(30);
  t.Post();
  EXPECT_EQ(t.GetRecNo(), recNo);
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 30);
  EXPECT_EQ(Ids(Index("ByName")), "2,1,30,4");
  EXPECT_EQ(before, "2,1,3,4");
}

TEST_F(IndexTest, ANonMaintainedCurrentIndexHoldsEveryRecordOutOfOrderAndIsScanned) {
  t.GetIndexDefs().Add("Kept", "Name");
  t.GetIndexDefs().Add("Loose", "Name", ixNonMaintained);
  t.Open();
  Fill({{1, "c"}, {2, "a"}, {3, "b"}});
  EXPECT_EQ(Ids(Index("Loose")), "");  // not kept up to date while appending
  Index("Loose").Rebuild();
  EXPECT_EQ(Ids(Index("Loose")), "2,3,1");
  GoToId(2);
  t.Delete();
  // The non-maintained index lets go of the record too, before anything could read it.
  EXPECT_EQ(Ids(Index("Loose")), "3,1");
  AppendRow(t, std::string("4"), std::string("0"));
  EXPECT_FALSE(Index("Loose").IsOrdered);
  EXPECT_EQ(Ids(Index("Loose")), "3,1");
  // Searching an index that is not the current one rebuilds it first.
  bool found = false;
  EXPECT_EQ(Find(Index("Loose"), "0", false, found), 0);
  EXPECT_TRUE(found);
  EXPECT_EQ(Ids(Index("Loose")), "4,3,1");
  // As the current index it takes new records at its end, so that it counts what a walk
  // shows, and is scanned as it stands instead of being sorted again.
  t.SetIndexName("Loose");
  AppendRow(t, std::string("5"), std::string("a"));
  EXPECT_EQ(Column(t, "Id"), "4,3,1,5");
  EXPECT_EQ(t.RecordCount(), 4);
  EXPECT_EQ(Find(Index("Loose"), "a", false, found), 3);
  EXPECT_EQ(Ids(Index("Loose")), "4,3,1,5");
  // An edit that leaves the key alone keeps the order; one that changes it does not.
  auto edit = [&](int id, const char* field, const char* value) {
    GoToId(id);
    t.Edit();
    t.FieldByName(field).SetAsString(value);
    t.Post();
  };
  edit(3, "Id", "33");
  EXPECT_EQ(Column(t, "Id"), "4,33,1,5");
  t.SetIndexName("");
  t.SetIndexName("Loose");
  EXPECT_TRUE(Index("Loose").IsOrdered);
  edit(33, "Name", "z");
  EXPECT_FALSE(Index("Loose").IsOrdered);
  EXPECT_EQ(Column(t, "Id"), "4,5,33,1");
  // The same holds for a maintained current index while indexes are off.
  t.SetIndexName("Kept");
  t.SetEnableIndexes(false);
  AppendRow(t, std::string("6"), std::string("m"));
  EXPECT_EQ(Column(t, "Id"), "4,5,1,33,6");
  EXPECT_EQ(t.RecordCount(), 5);
  t.SetEnableIndexes(true);
  t.First();
  EXPECT_EQ(Column(t, "Id"), "4,5,1,6,33");
}

TEST_F(IndexTest, IndexesThatMissedChangesAreRebuiltNotTrusted) {
  t.GetIndexDefs().Add("ByName", "Name");
  t.Open();
  Fill({{1, "c"}, {2, "a"}});
  t.SetEnableIndexes(false);
  AppendRow(t, std::string("3"), std::string("b"));
  EXPECT_FALSE(Index("ByName").IsOrdered);
  t.SetEnableIndexes(true);
  // The next change does not mark the stale index as ordered: it is rebuilt.
  AppendRow(t, std::string("4"), std::string("d"));
  EXPECT_TRUE(Index("ByName").IsOrdered);
  EXPECT_EQ(Ids(Index("ByName")), "2,3,1,4");
  // Choosing a stale index rebuilds it as well.
  t.SetEnableIndexes(false);
  AppendRow(t, std::string("5"), std::string("0"));
  t.SetEnableIndexes(true);
  t.SetIndexName("ByName");
  EXPECT_EQ(Column(t, "Id"), "5,2,3,1,4");
}

TEST_F(IndexTest, FilteredIndexIgnoresRecordsItDoesNotHold) {
  t.GetIndexDefs().Add("Short", "Name");
  t.OnFilterIndex = [](TmvxCustomMemTable& table, TmvxIndex& index, bool& accept) {
    if (index.Name == "Short") accept = table.FieldByName("Name").AsString().size() <= 1;
  };
  t.Open();
  Fill({{1, "b"}, {2, "long"}, {3, "a"}, {4, "zz"}});
  EXPECT_EQ(Ids(Index("Short")), "3,1");
  // An edit of a record the index does not hold takes nothing else out of it.
  GoToId(2);
  t.Edit();
  t.FieldByName("Name").SetAsString("longer");
  t.Post();
  EXPECT_EQ(Ids(Index("Short")), "3,1");
  // Nor does a delete.
  GoToId(4);
  t.Delete();
  EXPECT_EQ(Ids(Index("Short")), "3,1");
  // A record whose new key the index accepts joins it.
  GoToId(2);
  t.Edit();
  t.FieldByName("Name").SetAsString("c");
  t.Post();
  EXPECT_EQ(Ids(Index("Short")), "3,1,2");
}

TEST_F(IndexTest, RollbackRebuildsEveryIndex) {
  t.GetIndexDefs().Add("ByName", "Name");
  t.SetEnableVersioning(true);
  t.SetVersioningMode(mtvmAllSinceCheckPoint);
  t.Open();
  Fill({{1, "b"}, {2, "d"}});
  t.BeginTransactionLevel();
  AppendRow(t, std::string("3"), std::string("a"));
  GoToId(1);
  t.Edit();
  t.FieldByName("Name").SetAsString("z");
  t.Post();
  GoToId(2);
  t.Delete();
  t.SetIndexName("ByName");
  EXPECT_EQ(Column(t, "Id"), "3,1");
  t.RollbackTransactionLevel();
  EXPECT_EQ(Ids(Index("ByName")), "1,2");
  EXPECT_EQ(Column(t, "Name"), "b,d");
  EXPECT_EQ(t.Common().TransactionLevel(), 0);
  // The undone delete is no longer counted, and the undone insert's slot is free again.
  EXPECT_EQ(t.Common().DeletedCount(), 0);
  EXPECT_EQ(t.Common().RecordCount(), 3);
  AppendRow(t, std::string("4"), std::string("c"));
  EXPECT_EQ(t.Common().RecordCount(), 3);
  EXPECT_EQ(Ids(Index("ByName")), "1,4,2");
}

TEST(IndexSort, RebuiltIndexesAreInOrderOfTheGeneralComparison) {
  // Long texts with long common beginnings, nulls, every text option: the sort's own
  // shortcuts must agree with the record comparison.
  const char* defs[] = {"S", "S:D", "S:C", "S:CD", "S:L", "S:LD", "S:LC", "S:LCD", "S:D;N", "N;S:C", "S:CD;N:D"};
  unsigned seed = 5;
  auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 8; };
  TmvxMemTable t;
  t.GetFieldDefs().Add("S", ftString, 16);
  t.GetFieldDefs().Add("N", ftInteger);
  for (const char* d : defs) t.GetIndexDefs().Add(d, d);
  t.Open();
  for (int i = 0; i < 3000; ++i) {
    t.Append();
    if (next() % 10) {
      std::string s = std::string(next() % 10, 'a');
      for (unsigned n = next() % 4; n > 0; --n) s += "aAbB_"[next() % 5];
      t.FieldByName("S").SetAsString(s);
    }
    if (next() % 10) t.FieldByName("N").SetAsInteger(static_cast<int>(next() % 7));
    t.Post();
  }
  for (const char* d : defs) {
    TmvxIndex& index = *t.GetIndexes().GetIndexByName(d);
    index.Rebuild();
    ASSERT_EQ(index.Count(), 3000);
    for (int i = 1; i < index.Count(); ++i)
      ASSERT_LE(t.Common().CompareRecords(index.IndexFieldList, 0, index.References[static_cast<std::size_t>(i - 1)],
                                          index.References[static_cast<std::size_t>(i)], false, false, 0),
                0)
          << d << " at " << i;
  }
}

TEST(RecordList, ChunksBehaveAsOneArray) {
  // Random inserts, erases and searches across many chunks, against a plain vector;
  // the entries are fake addresses whose numbers also serve as their sort keys.
  // Small chunks and groups, so that a few thousand entries split, merge and regroup
  // them many times over. A keyless list (row order's) behaves the same, searched
  // without keys.
  for (bool keyed : {true, false}) {
    SCOPED_TRACE(keyed ? "keyed" : "keyless");
    BasicRecordList<8, 4> list;
    list.SetKeyed(keyed);
    std::vector<std::uintptr_t> model;
    std::mt19937 rng(5);
    auto rec = [](std::uintptr_t v) { return reinterpret_cast<TmvxRecord*>(v * 8); };
    for (int step = 0; step < 60000; ++step) {
      const bool grow = model.size() < 300 || (model.size() < 3000 ? rng() % 3 != 0 : rng() % 2 == 0);
      if (grow) {
        std::uintptr_t v = 1 + rng() % 100000;
        std::size_t pos = std::lower_bound(model.begin(), model.end(), v) - model.begin();
        if (keyed) {
          ASSERT_EQ(list.PartitionPointKeyed(v, false, [&](TmvxRecord* r) { return rec(v) > r; }), pos);
        }
        ASSERT_EQ(list.PartitionPoint([&](TmvxRecord* r) { return rec(v) > r; }), pos);
        list.insert(pos, rec(v), v);
        model.insert(model.begin() + static_cast<std::ptrdiff_t>(pos), v);
      } else {
        std::size_t pos = rng() % model.size();
        list.erase(pos);
        model.erase(model.begin() + static_cast<std::ptrdiff_t>(pos));
      }
      if (step % 1000 == 0 || step == 59999) {
        ASSERT_EQ(list.size(), model.size());
        std::size_t i = 0;
        for (TmvxRecord* r : list) ASSERT_EQ(r, rec(model[i++]));
        for (std::size_t k = 0; k < model.size(); k += 7) ASSERT_EQ(list[k], rec(model[k]));
      }
    }
    while (!model.empty()) {
      list.erase(0);
      model.erase(model.begin());
    }
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.begin(), list.end());
  }
}

TEST(Indexes, MaintainedIndexesStayInOrderAcrossManyChanges) {
  TmvxMemTable t;
  t.GetFieldDefs().Add("Id", ftInteger);
  t.GetFieldDefs().Add("Name", ftString, 8);
  t.GetIndexDefs().Add("ByName", "Name", 0);
  t.GetIndexDefs().Add("ByIdDown", "Id", ixDescending);
  t.Open();
  std::mt19937 rng(11);
  auto name = [&] {
    std::string s;
    for (int i = 0; i < 3; ++i) s += static_cast<char>("aBc"[rng() % 3]);
    return s;
  };
  for (int i = 0; i < 5000; ++i) {
    t.Append();
    t.FieldByName("Id").SetAsInteger(static_cast<int>(rng() % 100000) - 50000);
    t.FieldByName("Name").SetAsString(name());
    t.Post();
  }
  for (int i = 0; i < 1500; ++i) {
    t.SetRecNo(1 + static_cast<int>(rng() % static_cast<unsigned>(t.RecordCount())));
    if (i % 2) {
      t.Delete();
    } else {
      t.Edit();
      t.FieldByName(i % 4 ? "Name" : "Id").SetAsString(i % 4 ? name() : std::to_string(rng() % 1000));
      t.Post();
    }
  }
  for (const char* index : {"ByName", "ByIdDown"}) {
    TmvxIndex* idx = t.GetIndexes().GetIndexByName(index);
    ASSERT_EQ(idx->Count(), 5000 - 750);
    for (int i = 1; i < idx->Count(); ++i)
      ASSERT_LE(t.Common().CompareRecords(idx->IndexFieldList, 0, idx->References[static_cast<std::size_t>(i - 1)],
                                          idx->References[static_cast<std::size_t>(i)], false, false, 0),
                0)
          << index << " at " << i;
  }
}

// A post asks every index's filter before it changes anything: a filter that raises leaves no
// new record in the store or in an index handled before it, and an edit's record where it was
// in every index, with its old values.
TEST_F(IndexTest, AFilterThatRaisesLeavesThePostUndone) {
  t.GetIndexDefs().Add("A", "Name");
  t.GetIndexDefs().Add("B", "Id");
  t.OnFilterIndex = [](TmvxCustomMemTable& table, TmvxIndex& index, bool&) {
    if (index.Name == "A" && table.FieldByName("Name").AsString() == "bad") throw EMemTableError("filter failed");
  };
  t.Open();
  Fill({{1, "a"}, {2, "b"}});
  // records in the store, row order, A, B, the names
  auto state = [&] {
    int stored = 0;
    for (PmvxRecord r : t.Common().Records()) stored += r != nullptr;
    return std::to_string(stored) + " " + Ids(*t.GetIndexes().RowOrderIndex) + " " + Ids(Index("A")) + " " +
           Ids(Index("B")) + " " + Column(t, "Name");
  };
  EXPECT_EQ(state(), "2 1,2 1,2 1,2 a,b");
  for (bool edit : {false, true}) {  // a new record 3, then an edit of record 1
    if (edit) GoToId(1);
    edit ? t.Edit() : t.Append();
    t.FieldByName("Id").SetAsInteger(edit ? 1 : 3);
    t.FieldByName("Name").SetAsString("bad");
    EXPECT_THROW(t.Post(), EMemTableError);
    t.Cancel();
    EXPECT_EQ(state(), "2 1,2 1,2 1,2 a,b");
  }
}

// One rule for a post and a load, appending or replacing: a key is taken by a record that the
// unique index holds (its filter takes it) and that is not kept only as a deleted version, and
// only a record the index takes is refused for it.
TEST_F(IndexTest, PostsAndLoadsRefuseTheSameKeys) {
  t.GetIndexDefs().Add("U", "Name", ixUnique);
  t.SetEnableVersioning(true);
  t.OnFilterIndex = [](TmvxCustomMemTable& table, TmvxIndex& index, bool& accept) {
    if (index.Name == "U") accept = table.FieldByName("Name").AsString() != "x" && table.FieldByName("Id").AsInteger() != 8;
  };
  t.Open();
  TmvxMemTable source;
  memtable_test::IdsAndNames(source, 20, {});
  // the record added -> refused when posted or appended, and when a replacing load brings it twice
  const struct { int id; const char* name; bool refused, refusedTwice; } cases[] = {
      {9, "gone", false, true}, {9, "kept", true, true}, {8, "kept", false, false},
      {9, "x", false, false},   {9, "new", false, true}};
  enum Way { kPost, kAppendingLoad, kReplacingLoad };
  for (Way way : {kPost, kAppendingLoad, kReplacingLoad})
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " way " + std::to_string(way));
      // The records the cases start from (still there after a refused post or appending load).
      if (way == kReplacingLoad || Column(t, "Name") != "kept,x") {
        t.EmptyTable();
        Fill({{1, "gone"}, {2, "kept"}, {3, "x"}});
        GoToId(1);
        t.Delete();  // kept as a deleted version
      }
      source.EmptyTable();
      for (int n = way == kReplacingLoad ? 2 : 1; n > 0; --n)
        AppendRow(source, std::to_string(c.id), std::string(c.name));
      bool refused = false;
      try {
        if (way == kPost)
          AppendRow(t, std::to_string(c.id), std::string(c.name));
        else
          t.LoadRecordsFrom(source, way == kAppendingLoad ? unsigned{TmvxCustomMemTable::mtcpoAppend} : 0u);
      } catch (const EMemTableDupKey&) {
        refused = true;
        t.Cancel();
      }
      EXPECT_EQ(refused, way == kReplacingLoad ? c.refusedTwice : c.refused);
      if (refused) {
        EXPECT_EQ(Column(t, "Name"), "kept,x");
      }
    }
}

// An appending load searches each record it adds in the indexes: its comparisons follow the
// records it adds and the logarithm of the table, not the table.
TEST_F(IndexTest, AnAppendingLoadComparesInProportionToWhatItAdds) {
  t.GetIndexDefs().Add("ById", "Id", ixUnique);
  long compares = 0;
  t.OnCompareFields = [&](TmvxCustomMemTable&, const void* key, const void* value, FieldType, TmvxMemTableCompareOptions,
                          bool&, int& result) {
    ++compares;
    std::int32_t a, b;
    std::memcpy(&a, key, 4);
    std::memcpy(&b, value, 4);
    result = (a > b) - (a < b);
  };
  t.Open();
  TmvxMemTable source;
  memtable_test::IdsAndNames(source, 20, {});
  // The comparisons of a load of `count` records from `first` on.
  auto load = [&](int first, int count) {
    source.EmptyTable();
    for (int i = 0; i < count; ++i) AppendRow(source, std::to_string(first + i));
    compares = 0;
    t.LoadRecordsFrom(source, TmvxCustomMemTable::mtcpoAppend);
    return compares;
  };
  // About 8 * 3 * log2(n) each (a search, a check and a place per record); a sort of the
  // table's keys would take n * log2(n).
  load(0, 4000);
  const long into4000 = load(100000, 8);
  EXPECT_EQ(t.RecordCount(), 4008);
  EXPECT_LT(into4000, 8 * 3 * 14);
  load(200000, 60000);
  const long into64000 = load(300000, 8);
  EXPECT_EQ(t.RecordCount(), 64016);
  EXPECT_LT(into64000, 8 * 3 * 18);
  EXPECT_LT(into64000, into4000 * 2);
}
