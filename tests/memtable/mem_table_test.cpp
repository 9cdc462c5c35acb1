#include "memtable/mem_table.h"

#include <gtest/gtest.h>

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
