// Searching, bookmarks, record numbers and index upkeep of the in-memory table.
#include <gtest/gtest.h>

#include <string>

#include "memtable/mem_table.h"
#include "tests/memtable/test_tables.h"

using namespace memtable;
using namespace dataset;
using memtable_test::AppendRow;
using memtable_test::Column;

namespace {

// Id 1..n, Name "n<Id>" in mixed case, Flag Id % 3.
void Fill(TmvxCustomMemTable& t, int n) {
  t.GetFieldDefs().Add("Id", ftInteger);
  t.GetFieldDefs().Add("Name", ftString, 10);
  t.GetFieldDefs().Add("Flag", ftInteger);
  t.Open();
  for (int i = 1; i <= n; ++i)
    AppendRow(t, std::to_string(i), std::string(i % 2 ? "N" : "n") + std::to_string(i), std::to_string(i % 3));
}

}  // namespace

TEST(Locate, FindsEveryKeyWhateverTheCurrentIndexOrder) {
  TmvxMemTable t;
  t.GetIndexDefs().Add("IdDown", "Id", ixDescending);
  t.GetIndexDefs().Add("NameCI", "Name", ixCaseInsensitive);
  t.GetIndexDefs().Add("NameBytes", "Name:L", 0);
  Fill(t, 30);
  for (const char* index : {"IdDown", "NameCI", "NameBytes", ""}) {
    t.SetIndexName(index);
    for (int i = 1; i <= 30; ++i) {
      ASSERT_TRUE(t.Locate("Id", Variant(i), 0)) << index << " " << i;
      EXPECT_EQ(t.FieldByName("Id").AsInteger(), i);
      std::string name = std::string(i % 2 ? "N" : "n") + std::to_string(i);
      ASSERT_TRUE(t.Locate("Name", Variant(name), 0)) << index << " " << name;
      EXPECT_EQ(t.FieldByName("Id").AsInteger(), i);
      // The other case is found only without regard to case.
      std::string other = std::string(i % 2 ? "n" : "N") + std::to_string(i);
      EXPECT_FALSE(t.Locate("Name", Variant(other), 0)) << index << " " << other;
      ASSERT_TRUE(t.Locate("Name", Variant(other), loCaseInsensitive)) << index << " " << other;
      EXPECT_EQ(t.FieldByName("Id").AsInteger(), i);
    }
    // A partial key finds the first record that begins with it, in the index's order.
    ASSERT_TRUE(t.Locate("Name", Variant("n2"), loPartialKey | loCaseInsensitive)) << index;
    EXPECT_EQ(t.FieldByName("Name").AsString().substr(0, 2) == "n2" ||
                  t.FieldByName("Name").AsString().substr(0, 2) == "N2",
              true);
    EXPECT_TRUE(t.Locate("Name", Variant("N2"), loPartialKey)) << index;  // N21, N23...
    EXPECT_EQ(t.FieldByName("Name").AsString().substr(0, 2), "N2");
  }
}

TEST(Locate, ComparesTheKeyAsGiven) {
  TmvxMemTable t;
  t.GetFieldDefs().Add("Code", ftString, 10);
  t.GetFieldDefs().Add("Num", ftInteger);
  t.GetFieldDefs().Add("Small", ftSmallint);
  t.Open();
  AppendRow(t, std::string("abcdefghij"), std::string("3"), std::string("7"));
  EXPECT_TRUE(t.Locate("Code", Variant("abcdefghij"), 0));
  EXPECT_FALSE(t.Locate("Code", Variant("abcdefghijXYZ"), 0));
  EXPECT_FALSE(t.Locate("Code", Variant("abcdefghijXYZ"), loPartialKey));
  EXPECT_TRUE(t.Locate("Code", Variant("abc"), loPartialKey));
  EXPECT_FALSE(t.Locate("Num", Variant(2.5), 0));
  EXPECT_TRUE(t.Locate("Num", Variant(3.0), 0));
  EXPECT_FALSE(t.Locate("Small", Variant(65543), 0));  // 7 + 65536 does not fit: no match, no error
  EXPECT_TRUE(t.Locate("Code;Num", Variant(std::vector<Variant>{Variant("abcdefghij"), Variant(3)}), 0));
  EXPECT_FALSE(t.Locate("Code;Num", Variant(std::vector<Variant>{Variant("abcdefghij"), Variant(3.5)}), 0));
  EXPECT_EQ(t.Lookup("Num", Variant(3), "Code").ToString(), "abcdefghij");
  EXPECT_TRUE(t.Lookup("Num", Variant(4), "Code").IsNull());
  Variant both = t.Lookup("Code", Variant("abcdefghij"), "Num;Small");
  ASSERT_TRUE(both.IsArray());
  EXPECT_EQ(both.items()[1].ToInt(), 7);
}

TEST(Locate, KeysOfSeveralFieldsMatchOnEveryGivenField) {
  TmvxMemTable t;
  t.GetFieldDefs().Add("A", ftString, 8);
  t.GetFieldDefs().Add("B", ftString, 8);
  t.GetIndexDefs().Add("AB", "A;B");
  t.Open();
  // Case decides the order of A only among equal folded texts: "X" and "x" lie apart
  // from what a case-insensitive search of A;B would expect of their B values.
  for (auto [a, b] : {std::pair{"x", "2"}, {"X", "3"}, {"x", "1"}, {"X", "0"}, {"w", "9"}, {"y", "5"}})
    AppendRow(t, std::string(a), std::string(b));
  for (int i = 0; i < 30; ++i) AppendRow(t, "z" + std::to_string(i), std::to_string(i));  // past the scan limit
  // A partial key is matched on every field it gives, not on the first one alone.
  const struct {
    const char *a, *b;
    LocateOptions options;
    const char* found;
  } cases[] = {{"x", "2", loCaseInsensitive, "x/2"}, {"X", "2", loCaseInsensitive, "x/2"},
               {"x", "3", loCaseInsensitive, "X/3"}, {"X", "1", loCaseInsensitive, "x/1"},
               {"x", "0", loCaseInsensitive, "X/0"}, {"x", "4", loCaseInsensitive, "none"},
               {"z1", "15", loPartialKey, "z15/15"}, {"z1", "2", loPartialKey, "none"},
               {"z2", "2", loPartialKey, "z2/2"}};
  for (const char* index : {"", "AB"}) {
    t.SetIndexName(index);
    for (const auto& c : cases) {
      const bool found = t.Locate("A;B", Variant(std::vector<Variant>{Variant(c.a), Variant(c.b)}), c.options);
      EXPECT_EQ(found ? t.FieldByName("A").AsString() + "/" + t.FieldByName("B").AsString() : "none", c.found)
          << index << " " << c.a << c.b;
    }
  }
  // The search may walk the index only where its comparison keeps the index's order.
  TmvxFieldList index, search;
  t.ParseFieldList("A;B", index);
  for (auto [text, serves] : {std::pair{"A:C;B", false}, {"A;B:C", true}, {"A:CP;B:C", false}}) {
    t.ParseFieldList(text, search);
    EXPECT_EQ(TmvxCustomMemTable::IndexServesSearch(index, search), serves) << text;
  }
}

TEST(Fields, TextWithoutSizeGetsTheDefaultSizeInTheRecordToo) {
  // Under AddressSanitizer a short slot would show as a heap overflow; here the
  // neighbouring field also has to survive.
  TmvxMemTable t;
  t.GetFieldDefs().Add("Text", ftString, 0);
  t.GetFieldDefs().Add("After", ftInteger);
  t.GetFieldDefs().Add("Fixed", ftFixedChar, -5);
  t.Open();
  EXPECT_EQ(t.FieldByName("Text").Size(), kDefaultStringSize);
  t.Append();
  t.FieldByName("After").SetAsInteger(12345);
  t.FieldByName("Text").SetAsString(std::string(30, 'x'));
  t.FieldByName("Fixed").SetAsString(std::string(25, 'y'));
  t.Post();
  EXPECT_EQ(t.FieldByName("Text").AsString(), std::string(kDefaultStringSize, 'x'));
  EXPECT_EQ(t.FieldByName("Fixed").AsString(), std::string(kDefaultStringSize, 'y'));
  EXPECT_EQ(t.FieldByName("After").AsInteger(), 12345);
  EXPECT_TRUE(t.Locate("Text", Variant(std::string(kDefaultStringSize, 'x')), 0));
}

TEST(Bookmarks, ABookmarkTheCurrentIndexDoesNotShowIsNotFound) {
  TmvxMemTable t;
  Fill(t, 40);
  t.SetRecNo(5);
  Bookmark five = t.GetBookmark();
  t.SetRecNo(6);
  Bookmark six = t.GetBookmark();
  t.SetFilter("Flag = 0");  // 3, 6, 9, ...
  t.SetFiltered(true);
  t.Locate("Id", Variant(9), 0);
  try {
    t.GotoBookmark(five);
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("Record not found"), std::string::npos) << e.what();
  }
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 9);
  t.Next();
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 12);  // the cursor stayed where it was
  t.GotoBookmark(six);
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 6);
  // An index filter that leaves the record out, and a deleted record, are not found either.
  t.SetFiltered(false);
  t.Locate("Id", Variant(6), 0);
  t.Delete();
  t.Locate("Id", Variant(20), 0);
  EXPECT_THROW(t.GotoBookmark(six), EDatabaseError);
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 20);
}

TEST(RecordNumbers, CountOnlyTheShownRecords) {
  TmvxMemTable t;
  t.GetIndexDefs().Add("IdDown", "Id", ixDescending);
  Fill(t, 20);
  t.SetFilter("Flag = 1");  // 1, 4, 7, 10, 13, 16, 19
  t.SetFiltered(true);
  EXPECT_EQ(t.RecordCount(), 7);
  t.SetRecNo(3);
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 7);
  EXPECT_EQ(t.GetRecNo(), 3);
  t.SetRecNo(8);  // beyond the shown records: nothing happens
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 7);
  t.SetIndexName("IdDown");
  EXPECT_EQ(t.GetRecNo(), 5);  // 19, 16, 13, 10, 7
  t.SetRecNo(1);
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 19);
  t.SetRecNo(0);
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 19);
}

TEST(IndexUpkeep, SwitchingIndexesBackOnRebuildsThem) {
  TmvxMemTable t;
  t.GetIndexDefs().Add("ByName", "Name", 0);
  Fill(t, 5);
  t.SetIndexName("ByName");
  t.SetEnableIndexes(false);
  AppendRow(t, std::string("6"), std::string("a"), std::string("0"));
  AppendRow(t, std::string("7"), std::string("b"), std::string("0"));
  EXPECT_EQ(t.RecordCount(), 7);  // counted while the index is stale
  t.SetEnableIndexes(true);
  EXPECT_EQ(t.RecordCount(), 7);
  EXPECT_EQ(Column(t, "Name"), "a,b,N1,n2,N3,n4,N5");
  EXPECT_TRUE(t.Locate("Name", Variant("b"), 0));
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 7);
}

TEST(IndexUpkeep, AnIndexFilterJudgesEveryEdit) {
  TmvxMemTable t;
  t.GetIndexDefs().Add("ByName", "Name", 0);
  t.OnFilterIndex = [](TmvxCustomMemTable& table, TmvxIndex& index, bool& accept) {
    accept = index.Name != "ByName" || table.FieldByName("Flag").AsInteger() != 0;
  };
  Fill(t, 6);  // Flag 1,2,0,1,2,0
  t.SetIndexName("ByName");
  EXPECT_EQ(Column(t, "Id"), "1,2,4,5");
  t.Locate("Id", Variant(4), 0);
  t.Edit();
  t.FieldByName("Flag").SetAsInteger(0);  // the key stays, the filter now refuses
  t.Post();
  EXPECT_EQ(Column(t, "Id"), "1,2,5");
  t.SetIndexName("");
  ASSERT_TRUE(t.Locate("Id", Variant(3), 0));
  t.Edit();
  t.FieldByName("Flag").SetAsInteger(7);  // now accepted by both indexes
  t.Post();
  EXPECT_EQ(Column(t, "Id"), "1,2,3,4,5,6");
  t.SetIndexName("ByName");
  EXPECT_EQ(Column(t, "Id"), "1,2,3,5");
}

TEST(IndexUpkeep, DeletedVersionsShowAtOnceUnderAStatusFilter) {
  TmvxMemTable t;
  t.GetIndexDefs().Add("ByName", "Name", 0);
  Fill(t, 4);
  t.SetEnableVersioning(true);
  t.SetIndexName("ByName");
  t.Locate("Id", Variant(2), 0);
  t.Delete();
  EXPECT_EQ(Column(t, "Id"), "1,3,4");
  t.StatusFilter = 1u << usDeleted;
  t.First();
  EXPECT_EQ(Column(t, "Id"), "2");
  t.StatusFilter = 0;
  t.First();
  EXPECT_EQ(Column(t, "Id"), "1,3,4");
}
