// Calculated fields: computed while a record is edited and stored with it, computed afresh
// before indexing and filtering (RecalcOnIndex) and at each fetch (RecalcOnFetch).
#include <gtest/gtest.h>

#include <string>

#include "memtable/mem_table.h"
#include "platform/form_stream.h"
#include "tests/memtable/test_tables.h"

using namespace memtable;
using namespace dataset;
using memtable_test::AppendRow;
using memtable_test::Column;

namespace {

// N and the calculated C = factor * N, filled with N = 1, 3, 2 while the factor is -1.
struct Scaled {
  TmvxMemTable t;
  int factor = -1;
  Scaled() {
    t.AddField("N", ftInteger);
    t.AddField("C", ftInteger, 0, fkCalculated);
    t.OnCalcFields = [this](DataSet& ds) { ds.FieldByName("C").SetAsInteger(factor * ds.FieldByName("N").AsInteger()); };
    t.GetIndexDefs().Add("ByC", "C");
    t.Open();
    for (const char* n : {"1", "3", "2"}) AppendRow(t, std::string(n));
  }
  int C() { return static_cast<int>(t.FieldByName("C").AsInteger()); }
};

}  // namespace

TEST(CalculatedFields, StoredRecordsHoldThemForIndexesSortsSearchesAndFilters) {
  Scaled s;
  s.t.RecalcOnFetch = false;  // what is read is what was stored
  EXPECT_EQ(Column(s.t, "C"), "-1,-3,-2");
  s.t.SetIndexName("ByC");
  EXPECT_EQ(Column(s.t, "N"), "3,2,1");
  s.t.SetSortFields("C");
  EXPECT_EQ(Column(s.t, "N"), "3,2,1");
  ASSERT_TRUE(s.t.Locate("C", Variant(-3), 0));
  EXPECT_EQ(s.t.FieldByName("N").AsInteger(), 3);
  s.t.SetFilter("C = -1");
  s.t.SetFiltered(true);
  EXPECT_EQ(Column(s.t, "N"), "1");
}

TEST(CalculatedFields, ValuesThatChangedMeanwhileAreComputedAgainAtFetchIndexingAndPost) {
  Scaled s;
  s.factor = 1;
  EXPECT_EQ(Column(s.t, "C"), "1,3,2");
  s.t.RecalcOnIndex = true;
  s.t.SetSortFields("C");  // built now, from the values computed now
  EXPECT_EQ(Column(s.t, "N"), "1,2,3");
  // A post computes them for the indexes also where AutoCalcFields left them behind.
  s.t.AutoCalcFields = false;
  s.t.First();
  s.t.Edit();
  s.t.FieldByName("N").SetAsInteger(9);
  EXPECT_EQ(s.C(), 1);
  s.t.Post();
  EXPECT_EQ(Column(s.t, "N"), "2,3,9");
}

TEST(CalculatedFields, AChangeWhileEditingComputesThemUnlessAutoCalcFieldsIsOff) {
  Scaled s;
  s.t.Append();
  s.t.FieldByName("N").SetAsInteger(5);
  EXPECT_EQ(s.C(), -5);
  s.t.Post();
  s.t.Edit();
  s.t.FieldByName("N").SetAsInteger(7);
  EXPECT_EQ(s.C(), -7);
  s.t.FieldByName("C").SetAsInteger(100);  // written itself, it stays as written
  EXPECT_EQ(s.C(), 100);
  s.t.SuspendEvents();  // a change made meanwhile is computed when the events resume
  s.t.FieldByName("N").SetAsInteger(6);
  EXPECT_EQ(s.C(), 100);
  s.t.ResumeEvents();
  EXPECT_EQ(s.C(), -6);
  s.t.Cancel();
  s.t.AutoCalcFields = false;
  s.t.Edit();
  s.t.FieldByName("N").SetAsInteger(8);
  EXPECT_EQ(s.C(), -5);
  s.t.Cancel();

  // The setting goes through a form with the table's other settings.
  s.t.Close();
  platform::MemoryStream form;
  platform::FormWriter::WriteRoot(form, s.t);
  TmvxMemTable read;
  platform::FormReader::ReadRoot(form.Bytes().data(), form.Bytes().size(), read);
  EXPECT_FALSE(read.AutoCalcFields);
}
