#include "memtable/mem_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "memtable/binary_format.h"

#include "tests/memtable/test_tables.h"

using namespace memtable;
using namespace dataset;
using memtable_test::AppendRow;
using memtable_test::Column;
using memtable_test::TestTable;

namespace {

void Define(TmvxCustomMemTable& t) {
  t.GetFieldDefs().Add("Id", ftInteger);
  t.GetFieldDefs().Add("Name", ftString, 20);
  t.GetFieldDefs().Add("Value", ftFloat);
}

// Notes the store's record count and bulk operation whenever the table is told its data set changed.
class ToldTable : public TmvxMemTable {
 public:
  using TmvxMemTable::TmvxMemTable;
  void DataEvent(dataset::DataEvent event, const Field* field) override {
    if (event == deDataSetChange) told += std::to_string(Common().RecordCount()) + std::to_string(BulkOperation());
    TmvxMemTable::DataEvent(event, field);
  }
  std::string told;
};

}  // namespace

TEST(MemTable, OpensAppendsWalksAndCloses) {
  TmvxMemTable t;
  Define(t);
  t.Open();
  EXPECT_TRUE(t.Active());
  EXPECT_EQ(t.RecordCount(), 0);
  EXPECT_EQ(t.GetRecNo(), -1);
  AppendRow(t, std::string("1"), std::string("one"), std::string("1.5"));
  AppendRow(t, std::string("2"), std::string("two"), std::string(""));
  AppendRow(t, std::string("3"), std::string("three"), std::string("3.25"));
  EXPECT_EQ(t.RecordCount(), 3);
  EXPECT_EQ(Column(t, "Name"), "one,two,three");
  EXPECT_EQ(Column(t, "Value"), "1.5,null,3.25");
  t.Last();
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 3);
  EXPECT_EQ(t.GetRecNo(), 3);
  t.Prior();
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 2);
  EXPECT_EQ(t.MoveBy(-5), -1);
  EXPECT_TRUE(t.Bof());
  t.Close();
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(t.FieldCount(), 0);
}

namespace {

// The first print table's persistent fields.
const std::pair<const char*, int> kPrintFields[] = {{"Description", 120}, {"Code", 40},    {"Unit", 40},
                                                    {"Range", 80},        {"Default", 40}, {"Setting", 40},
                                                    {"Value1", 40},       {"Value2", 40},  {"Value3", 40}};

}  // namespace

TEST(MemTable, PersistentFieldsBecomeDefinitionsAtOpen) {
  // Stored definitions for six fields, persistent fields for nine.
  TmvxMemTable printTable("printTable");
  for (const char* name : {"Description", "Code", "Unit", "Range", "Default", "Setting"})
    printTable.GetFieldDefs().Add(name, ftString, 40);
  for (auto& f : kPrintFields) printTable.AddField(f.first, ftString, f.second);
  printTable.Open();
  ASSERT_EQ(printTable.GetFieldDefs().Count(), 9);
  EXPECT_EQ(printTable.GetFieldDefs()[0].Size, 120);
  EXPECT_EQ(printTable.GetFieldDefs()[8].Name, "Value3");
  printTable.Close();
  EXPECT_EQ(printTable.FieldCount(), 9);  // persistent fields outlive the open state

  TmvxMemTable none;
  try {
    none.Open();
    FAIL();
  } catch (const EMemTableError& e) {
    EXPECT_STREQ(e.what(), "There must be at least one field");
  }
  EXPECT_FALSE(none.Active());
}

namespace {

void PrintRows(TmvxCustomMemTable& t, int rows) {
  t.EmptyTable();
  for (int r = 0; r < rows; ++r) {
    t.Append();
    for (int f = 0; f < t.FieldCount(); ++f) t.GetField(f).SetAsString(t.GetField(f).FieldName() + "#" + std::to_string(r));
    t.Post();
  }
}

}  // namespace

TEST(MemTable, PrintTablesHold500RowsAndWalkInOrder) {
  TmvxMemTable printTable("printTable"), print2Table("print2Table");
  for (auto& f : kPrintFields) printTable.AddField(f.first, ftString, f.second);
  for (const char* name : {"Code1", "Value1", "Code2", "Value2", "Code3", "Value3"}) print2Table.AddField(name, ftString);
  for (TmvxMemTable* t : {&printTable, &print2Table}) {
    t->EmptyTable();  // as at start-up: emptied while closed, then made active
    t->SetActive(true);
    for (int round = 0; round < 2; ++round) {  // emptied again before every fill
      PrintRows(*t, 500);
      ASSERT_EQ(t->RecordCount(), 500);
      int r = 0;
      for (t->First(); !t->Eof(); t->Next(), ++r) {
        ASSERT_EQ(t->GetRecNo(), r + 1);
        for (int f = 0; f < t->FieldCount(); ++f)
          ASSERT_EQ(t->GetField(f).AsString(), t->GetField(f).FieldName() + "#" + std::to_string(r));
      }
      EXPECT_EQ(r, 500);
    }
  }
  EXPECT_EQ(print2Table.FieldByName("Code1").Size(), 20);
  // A text longer than the field is cut to its size.
  print2Table.Append();
  print2Table.FieldByName("Code1").SetAsString(std::string(30, 'x'));
  print2Table.Post();
  EXPECT_EQ(print2Table.FieldByName("Code1").AsString(), std::string(20, 'x'));
  // Emptying an open table leaves it open, empty and before the first record.
  printTable.EmptyTable();
  EXPECT_TRUE(printTable.Active());
  EXPECT_EQ(printTable.RecordCount(), 0);
  EXPECT_TRUE(printTable.Eof());
  EXPECT_EQ(printTable.CursorPos(), -1);
}

TEST(MemTable, FieldWritesNeedAnEditState) {
  TestTable t;
  Define(t);
  t.Open();
  try {
    t.FieldByName("Id").SetAsInteger(1);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Dataset is not in edit mode.");
  }
  t.Append();
  t.FieldByName("Value").SetAsFloat(2.5);
  t.FieldByName("Value").Clear();
  EXPECT_FALSE(t.FieldByName("Value").GetData(nullptr));
  EXPECT_TRUE(t.FieldByName("Value").IsNull());
  t.Post();
  EXPECT_TRUE(t.FieldByName("Value").IsNull());
}

TEST(MemTable, RefusedValuesLeaveTheFieldAsItWas) {
  TmvxMemTable t;
  Define(t);
  t.Open();
  t.FieldByName("Value").OnValidate = [](Field&, const void* buffer) {
    if (!buffer) throw EDatabaseError("Value must not be empty");
    double v;
    std::memcpy(&v, buffer, 8);
    if (v < 0) throw EDatabaseError("Value must not be negative");
  };
  t.Append();
  EXPECT_THROW(t.FieldByName("Value").SetAsFloat(-1), EDatabaseError);
  EXPECT_TRUE(t.FieldByName("Value").IsNull());  // the null flag did not change
  t.FieldByName("Value").SetAsFloat(4);
  EXPECT_THROW(t.FieldByName("Value").Clear(), EDatabaseError);
  EXPECT_EQ(t.FieldByName("Value").AsFloat(), 4);
  EXPECT_THROW(t.FieldByName("Value").SetAsFloat(-3), EDatabaseError);
  EXPECT_EQ(t.FieldByName("Value").AsFloat(), 4);
  t.Post();
  EXPECT_EQ(t.FieldByName("Value").AsFloat(), 4);
}

TEST(MemTable, ReadOnlyTablesAndFields) {
  TmvxMemTable t;
  Define(t);
  t.Open();
  AppendRow(t, std::string("1"), std::string("a"), std::string("1"));
  t.FieldByName("Name").ReadOnly = true;
  t.Edit();
  try {
    t.FieldByName("Name").SetAsString("b");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Field Name is read only");
  }
  t.FieldByName("Name").DisplayLabel = "The name";
  EXPECT_THROW(t.FieldByName("Name").SetAsString("b"), EDatabaseError);
  t.Cancel();
  t.ReadOnly = true;
  EXPECT_THROW(t.Edit(), EDatabaseError);
  EXPECT_THROW(t.Append(), EDatabaseError);
}

TEST(MemTable, GetRecordOnAnEmptyTable) {
  TestTable t;
  Define(t);
  t.Open();
  RecordBuffer b = t.AllocRecordBuffer();
  EXPECT_EQ(t.GetRecord(b, gmCurrent, true), grError);
  EXPECT_EQ(t.GetRecord(b, gmNext, true), grEOF);
  t.SetCursorPos(0);
  EXPECT_EQ(t.GetRecord(b, gmPrior, true), grBOF);
  t.FreeRecordBuffer(b);
  EXPECT_EQ(b, nullptr);
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_THROW(t.Delete(), EDatabaseError);
}

TEST(MemTable, InsertCancelAndDeleteMoveTheCursorSensibly) {
  TmvxMemTable t;
  Define(t);
  t.Open();
  for (int i = 1; i <= 4; ++i) AppendRow(t, std::to_string(i), std::string("n") + std::to_string(i), std::string("0"));
  ASSERT_TRUE(t.Locate("Id", Variant(3), 0));
  t.Insert();
  t.FieldByName("Id").SetAsInteger(9);
  t.Post();
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 9);
  EXPECT_EQ(Column(t, "Id"), "1,2,9,3,4");
  ASSERT_TRUE(t.Locate("Id", Variant(2), 0));
  t.Insert();
  t.Cancel();
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 2);
  t.Edit();
  t.FieldByName("Name").SetAsString("changed");
  t.Cancel();
  EXPECT_EQ(t.FieldByName("Name").AsString(), "n2");
  t.Delete();
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 9);
  t.Last();
  t.Delete();
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 3);
  EXPECT_EQ(Column(t, "Id"), "1,9,3");
  std::int32_t tableID = t.Common().TableID();
  while (!t.IsEmpty()) t.Delete();
  EXPECT_NE(t.Common().TableID(), tableID);  // an emptied store starts a new identity
  EXPECT_EQ(t.Common().RecordIDCounter(), 0);
  // Leaving an edit by moving posts it when something changed.
  AppendRow(t, std::string("5"), std::string("x"), std::string("1"));
  t.Edit();
  t.FieldByName("Name").SetAsString("y");
  t.First();
  EXPECT_EQ(t.FieldByName("Name").AsString(), "y");
}

// Records hidden by a filter, or by a detail link to another master, lie between the shown
// ones: an insert goes right before the record the cursor was on.
TEST(MemTable, AnInsertGoesBeforeTheRecordItBeganOnWhateverIsHidden) {
  for (bool byMaster : {false, true}) {
    TmvxMemTable t, master;
    Define(t);
    Define(master);
    t.Open();
    master.Open();
    AppendRow(master, std::string("7"));
    int name = 0;
    for (int id : {8, 8, 7, 7, 8, 7}) AppendRow(t, std::to_string(id), std::to_string(++name), std::string("0"));
    if (byMaster) {
      t.SetDetailFields("Id");
      t.SetMasterFields("Id");
      t.SetMasterSource(&master);
    } else {
      t.SetFilter("Id = 7");
      t.SetFiltered(true);
    }
    ASSERT_EQ(Column(t, "Name"), "3,4,6");
    t.First();
    t.Next();
    t.Insert();
    t.FieldByName("Id").SetAsInteger(7);
    t.FieldByName("Name").SetAsString("x");
    t.Post();
    EXPECT_EQ(t.FieldByName("Name").AsString(), "x");
    EXPECT_EQ(Column(t, "Name"), "3,x,4,6") << byMaster;
    t.SetFiltered(false);
    t.SetMasterSource(nullptr);
    EXPECT_EQ(Column(t, "Name"), "1,2,3,x,4,5,6") << byMaster;
  }
}

TEST(MemTable, BookmarksAreCheckedBeforeUse) {
  TmvxMemTable t;
  Define(t);
  t.Open();
  for (int i = 1; i <= 5; ++i) AppendRow(t, std::to_string(i), std::string("n"), std::string("0"));
  ASSERT_TRUE(t.Locate("Id", Variant(2), 0));
  Bookmark two = t.GetBookmark();
  ASSERT_TRUE(t.Locate("Id", Variant(4), 0));
  Bookmark four = t.GetBookmark();
  EXPECT_EQ(t.CompareBookmarks(two, four), -1);
  EXPECT_EQ(t.CompareBookmarks(four, two), 1);
  EXPECT_EQ(t.CompareBookmarks(two, two), 0);
  t.GotoBookmark(two);
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 2);
  t.Delete();
  EXPECT_FALSE(t.BookmarkValid(two));
  EXPECT_EQ(t.CompareBookmarks(two, four), 0);
  // The freed slot is reused by the next record: the old bookmark must not reach it.
  AppendRow(t, std::string("6"), std::string("n"), std::string("0"));
  EXPECT_FALSE(t.BookmarkValid(two));
  EXPECT_THROW(t.GotoBookmark(two), EDatabaseError);
  EXPECT_TRUE(t.BookmarkValid(four));
  t.EmptyTable();
  EXPECT_FALSE(t.BookmarkValid(four));
  EXPECT_FALSE(t.BookmarkValid(Bookmark{1, 2, 3}));
  EXPECT_FALSE(t.BookmarkValid(Bookmark{}));
}

TEST(MemTable, VersionsAndTransactions) {
  TmvxMemTable t;
  Define(t);
  t.Open();
  EXPECT_THROW(t.BeginTransactionLevel(), EMemTableError);  // needs multi-version versioning
  EXPECT_EQ(t.Common().TransactionLevel(), 0);
  t.SetEnableVersioning(true);
  try {
    t.BeginTransactionLevel();
    FAIL();
  } catch (const EMemTableError& e) {
    EXPECT_STREQ(e.what(), "Transactioning requires multiversion versioning.");
  }
  AppendRow(t, std::string("1"), std::string("a"), std::string("1"));
  EXPECT_EQ(t.UpdateStatus(), usInserted);
  t.SetEnableVersioning(false);
  AppendRow(t, std::string("2"), std::string("b"), std::string("2"));
  EXPECT_EQ(t.UpdateStatus(), usUnmodified);
  t.SetEnableVersioning(true);
  // One version since the check point: edited twice, one older version.
  for (const char* name : {"b1", "b2"}) {
    t.Edit();
    t.FieldByName("Name").SetAsString(name);
    t.Post();
  }
  EXPECT_EQ(t.UpdateStatus(), usModified);
  PmvxRecord stored = t.Common().Record(1);
  ASSERT_NE(stored->PrevRecordVersion, nullptr);
  EXPECT_EQ(stored->PrevRecordVersion->PrevRecordVersion, nullptr);

  t.SetVersioningMode(mtvmAllSinceCheckPoint);
  t.BeginTransactionLevel();
  EXPECT_EQ(t.Common().TransactionLevel(), 1);
  t.Edit();
  t.FieldByName("Name").SetAsString("b3");
  t.Post();
  t.BeginTransactionLevel();
  t.Edit();
  t.FieldByName("Name").SetAsString("b4");
  t.Post();
  AppendRow(t, std::string("3"), std::string("c"), std::string("3"));
  t.RollbackTransactionLevel();
  EXPECT_EQ(Column(t, "Name"), "a,b3");
  t.CommitTransactionLevel();
  EXPECT_EQ(t.Common().TransactionLevel(), 0);
  EXPECT_EQ(Column(t, "Name"), "a,b3");
  t.CommitTransactionLevel();  // nothing open: nothing happens
  t.Close();
  t.BeginTransactionLevel();  // closed: nothing happens
  EXPECT_EQ(t.Common().TransactionLevel(), 0);
}

TEST(MemTable, AutoIncrementDefaultsAndCalculatedFields) {
  TmvxMemTable t;
  t.AddField("Id", ftAutoInc);
  t.AddField("Kind", ftString, 10).DefaultExpression = "new";
  t.AddField("Price", ftFloat);
  t.AddField("Gross", ftFloat, 0, fkCalculated);
  t.OnCalcFields = [](DataSet& ds) {
    ds.FieldByName("Gross").SetAsFloat(ds.FieldByName("Price").AsFloat() * 1.5);
  };
  t.AutoIncMinValue = 10;
  t.Open();
  for (int i = 0; i < 3; ++i) {
    t.Append();
    t.FieldByName("Price").SetAsFloat(i);
    t.Post();
  }
  EXPECT_EQ(Column(t, "Id"), "10,11,12");
  EXPECT_EQ(Column(t, "Kind"), "new,new,new");
  EXPECT_EQ(Column(t, "Gross"), "0,1.5,3");
  t.Append();
  t.FieldByName("Id").SetAsInteger(50);
  t.Post();
  t.Append();
  t.FieldByName("Price").SetAsFloat(1);
  t.Post();
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 51);
}

TEST(MemTable, OutOfLineAndCompressedValues) {
  for (TmvxPerformance perf : {mtpfBalanced, mtpfSmall}) {
    TmvxMemTable t;
    t.GetFieldDefs().Add("Id", ftInteger);
    t.GetFieldDefs().Add("Text", ftString, 60);
    t.GetFieldDefs().Add("Raw", ftBytes, 16);
    t.GetIndexDefs().Add("ByText", "Text:D");
    t.SetPerformance(perf);
    t.Open();
    ASSERT_EQ(t.Common().BlobFieldCount(), 2);
    // A new record's unwritten out-of-line value reads as null.
    t.Append();
    EXPECT_TRUE(t.FieldByName("Text").IsNull());
    EXPECT_EQ(t.FieldByName("Text").AsString(), "");
    t.Cancel();
    for (int i = 0; i < 30; ++i)
      AppendRow(t, std::to_string(i), std::string(static_cast<std::size_t>(i), 'a') + "z", std::string(""));
    // Walking does not pile up copies of the values: each buffer lets go of its old ones.
    std::size_t held = t.Common().LiveBlobCount();
    for (int round = 0; round < 3; ++round) Column(t, "Text");
    EXPECT_LE(t.Common().LiveBlobCount(), held + 2);
    // Compressed or not, the index orders by the values themselves.
    t.GetIndexes().GetIndexByName("ByText")->Rebuild();
    t.SetIndexName("ByText");
    t.First();
    EXPECT_EQ(t.FieldByName("Id").AsInteger(), 0);  // "z" is the greatest text
    t.Next();
    EXPECT_EQ(t.FieldByName("Id").AsInteger(), 1);
    t.SetIndexName("");
    t.First();
    t.MoveBy(7);
    EXPECT_EQ(t.FieldByName("Text").AsString(), "aaaaaaaz");
    t.Edit();
    t.FieldByName("Text").SetAsString("replaced");
    t.FieldByName("Raw").SetAsString("0123456789abcdef");
    t.Post();
    EXPECT_EQ(t.FieldByName("Text").AsString(), "replaced");
    EXPECT_EQ(t.FieldByName("Raw").AsString(), "0123456789abcdef");
    EXPECT_TRUE(t.Locate("Text", Variant("aaaz"), 0));
    EXPECT_EQ(t.FieldByName("Id").AsInteger(), 3);
    t.Edit();
    t.FieldByName("Text").Clear();
    t.Post();
    EXPECT_TRUE(t.FieldByName("Text").IsNull());
    // Closing frees the buffers with the copies they hold.
    ASSERT_TRUE(t.Locate("Id", Variant(7), 0));
    EXPECT_EQ(t.FieldByName("Raw").AsString(), "0123456789abcdef");
    t.Append();  // the new record's buffer lets go of the copies first
    t.Cancel();
    t.Close();
    EXPECT_EQ(t.Common().LiveBlobCount(), 0u);
  }
  // Compression events replace the store's own coding.
  TmvxMemTable t;
  t.GetFieldDefs().Add("Text", ftString, 30);
  t.SetPerformance(mtpfSmall);
  int packs = 0, unpacks = 0;
  t.OnCompressField = [&](TmvxCustomMemTable&, Field&, const std::uint8_t* d, std::uint32_t n, std::vector<std::uint8_t>& out) {
    ++packs;
    out.assign(d, d + n);
    std::reverse(out.begin(), out.end());
  };
  t.OnDecompressField = [&](TmvxCustomMemTable&, Field&, const std::uint8_t* d, std::uint32_t n, std::vector<std::uint8_t>& out) {
    ++unpacks;
    out.assign(d, d + n);
    std::reverse(out.begin(), out.end());
  };
  t.Open();
  AppendRow(t, std::string("hello"));
  EXPECT_EQ(t.FieldByName("Text").AsString(), "hello");
  EXPECT_EQ(packs, 1);
  EXPECT_GT(unpacks, 0);
}

TEST(MemTable, LocateByOneOrSeveralFields) {
  TmvxMemTable t;
  Define(t);
  t.GetIndexDefs().Add("ByName", "Name");
  t.Open();
  AppendRow(t, std::string("1"), std::string("ABC"), std::string("1"));
  AppendRow(t, std::string("2"), std::string("abd"), std::string("2"));
  AppendRow(t, std::string("3"), std::string("abd"), std::string("3"));
  // Case and partial keys over every index order: search_test.
  EXPECT_TRUE(t.Locate("Name;Value", Variant(std::vector<Variant>{Variant("abd"), Variant(3.0)}), 0));
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 3);
  t.SetIndexName("ByName");
  EXPECT_TRUE(t.Locate("Name", Variant("abd"), 0));
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 2);  // the first of two equal keys, by arrival
  EXPECT_EQ(t.GetRecNo(), 2);
  try {
    t.Locate("Name;Value", Variant("abd"), 0);
    FAIL();
  } catch (const EMemTableError& e) {
    EXPECT_STREQ(e.what(), "More fields than values");
  }
  EXPECT_THROW(t.Locate("Name", Variant(std::vector<Variant>{Variant(std::vector<Variant>{})}), 0), EMemTableError);
  EXPECT_THROW(t.Locate("", Variant(1), 0), EMemTableError);
  EXPECT_THROW(t.Locate("Nope", Variant(1), 0), EDatabaseError);
}

TEST(MemTable, ReportsProgressOnlyForChosenCodes) {
  std::vector<std::pair<int, TmvxProgressCode>> seen;  // outlives the table, which reports while closing
  TmvxMemTable t;
  Define(t);
  t.Open();
  t.OnProgress = [&](TmvxCustomMemTable&, int pct, TmvxProgressCode code) { seen.emplace_back(pct, code); };
  t.EmptyTable();
  EXPECT_TRUE(seen.empty());
  t.ProgressFlags |= ProgressCodeBit(mtpcEmpty);
  t.EmptyTable();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], std::make_pair(0, mtpcEmpty));
  EXPECT_EQ(seen[1], std::make_pair(100, mtpcEmpty));
}

// Two tables on one store. Refresh is told before a table settles its edit and after it fetched
// its record again; the other hears of the post at its next step (it may belong to another
// thread). A replacing load settles the loading table's edit as an emptying does (bulk operation
// 3), then posts what it copies (1); another table keeps its edit, whose post is then refused.
TEST(MemTable, RefreshEventsAndEmptyingAsABulkOperationOfEveryTableOnTheStore) {
  TmvxMemTable a("a"), b("b"), source;
  for (TmvxMemTable* t : {&a, &source}) Define(*t);
  a.SetAttachMaxCount(2);
  b.SetAttachedTo(&a);
  for (TmvxMemTable* t : {&a, &b, &source}) t->Open();
  AppendRow(source, std::string("2"), std::string("two"), std::string("2"));
  std::string log, bulk;
  for (TmvxMemTable* t : {&a, &b}) {
    t->BeforeRefresh = [&](DataSet& d) { log += "before " + d.Name() + ", "; };
    t->AfterRefresh = [&](DataSet& d) { log += "after " + d.Name() + ", "; };
    t->BeforePost = [&](DataSet& d) { bulk += d.Name() + std::to_string(static_cast<TmvxCustomMemTable&>(d).BulkOperation()) + " "; };
  }
  a.Append();
  a.FieldByName("Name").SetAsString("one");
  a.Refresh();
  EXPECT_EQ(log, "before a, after a, ");
  b.Edit();  // its next step: b shows the record, and edits it
  EXPECT_EQ(log, "before a, after a, before b, after b, ");
  for (TmvxMemTable* t : {&a, &b}) {
    t->Edit();
    t->FieldByName("Name").SetAsString("edited");
  }
  a.LoadRecordsFrom(source, 0);
  EXPECT_EQ(bulk + Column(a, "Name"), "a0 a3 a1 two");
  EXPECT_EQ(b.State(), dsEdit);
  EXPECT_THROW(b.Post(), EMemTableInvalidRecord);
  b.Cancel();
  EXPECT_EQ(Column(b, "Name"), "two");
  for (TmvxMemTable* t : {&a, &b}) t->BeforeRefresh = t->AfterRefresh = t->BeforePost = nullptr;
}

// A failed emptying leaves every table on the store showing its records: all settle their edits
// before any is cleared, and one cleared before a later failure (b, put back in edit by its
// handler, refuses its post) takes them back. Each table is told once the records are gone.
TEST(MemTable, AFailedEmptyingLeavesEveryTableShowingTheStore) {
  ToldTable a("a"), b("b");
  a.GetFieldDefs().Add("Id", ftInteger);
  a.SetAttachMaxCount(2);
  b.SetAttachedTo(&a);
  a.Open();
  b.Open();
  for (const char* id : {"1", "2"}) AppendRow(a, std::string(id));
  int posts = 0;
  b.BeforePost = [&](DataSet&) {
    if (++posts > 1) throw EDatabaseError("b refuses");
  };
  b.AfterPost = [&](DataSet& d) {
    d.Edit();
    d.FieldByName("Id").SetAsInteger(7);
  };
  b.Edit();
  b.FieldByName("Id").SetAsInteger(8);
  EXPECT_THROW(a.EmptyTable(), EDatabaseError);
  b.Cancel();
  EXPECT_EQ(Column(a, "Id") + " " + Column(b, "Id") + " " + a.told + b.told, "8,2 8,2 ");
  a.EmptyTable();
  EXPECT_EQ(Column(a, "Id") + "|" + Column(b, "Id") + "|" + a.told + " " + b.told, "||03 03");
}

// Each refresh of the table itself tells its handlers once before and once after: a change of
// index (on no record, and staying on its record), a commit, a rollback, the filter going on,
// changing while on and going off, a save of the filtered table and a load through a stream
// format.
TEST(MemTable, EachRefreshOfTheTableItselfRaisesTheRefreshEventsOnce) {
  TmvxMemTable t("t");
  Define(t);
  t.GetIndexDefs().Add("ByName", "Name", 0);
  t.SetEnableVersioning(true);
  t.SetVersioningMode(mtvmAllSinceCheckPoint);
  t.Open();
  std::string log;
  t.BeforeRefresh = [&](DataSet&) { log += "<"; };
  t.AfterRefresh = [&](DataSet&) { log += ">"; };
  t.SetIndexFieldNames("Name");  // on no record: to the first
  log += "|";
  for (const char* id : {"3", "1", "2"}) AppendRow(t, std::string(id), "n" + std::string(id));
  TmvxBinaryStreamFormat format;
  platform::MemoryStream stream;
  t.SaveThroughFormat(stream, &format);
  t.First();
  t.SetIndexFieldNames("");
  log += t.FieldByName("Id").AsString() + "|";  // stays on its record
  const std::function<void()> steps[] = {
      [&] { t.BeginTransactionLevel(); },
      [&] { t.CommitTransactionLevel(); },
      [&] { t.BeginTransactionLevel(); },
      [&] { t.RollbackTransactionLevel(); },
      [&] { t.SetFilter("Id > 1"); },  // not filtered: nothing to show anew
      [&] { t.SetFiltered(true); },
      [&] { t.SetFilter("Id > 2"); },
      [&] { t.SaveThroughFormat(stream, &format); },
      [&] { t.SetFiltered(false); },
      [&] { t.LoadThroughFormat(stream, &format); },
  };
  for (const auto& step : steps) {
    step();
    log += "|";
  }
  EXPECT_EQ(log, "<>|<>1||<>||<>||<>|<>|<>|<>|<>|");
}

TEST(MemTable, RecordCountAndNumbersUnderAFilter) {
  TmvxMemTable t;
  Define(t);
  t.Open();
  for (int i = 1; i <= 10; ++i) AppendRow(t, std::to_string(i), std::string("x"), std::to_string(i % 3));
  t.SetFilter("Value = 0");
  EXPECT_EQ(t.RecordCount(), 10);  // not filtered yet
  t.SetFiltered(true);
  EXPECT_EQ(t.RecordCount(), 3);
  EXPECT_EQ(Column(t, "Id"), "3,6,9");
  t.Last();
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 9);
  EXPECT_EQ(t.GetRecNo(), 3);  // the shown records are numbered
  t.Close();
  EXPECT_THROW(t.GetRecordCount(), EDatabaseError);
  t.Open();  // the filter text is parsed again at open
  AppendRow(t, std::string("12"), std::string("x"), std::string("0"));
  AppendRow(t, std::string("13"), std::string("x"), std::string("1"));
  EXPECT_EQ(Column(t, "Id"), "12");
}
