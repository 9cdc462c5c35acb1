// Calculated fields: computed while a record is edited and stored with it, computed afresh
// before indexing, sorting, searching and filtering (RecalcOnIndex) and at each fetch
// (RecalcOnFetch).
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
  explicit Scaled(bool recalcOnIndex) {
    t.AddField("N", ftInteger);
    t.AddField("C", ftInteger, 0, fkCalculated);
    t.OnCalcFields = [this](DataSet& ds) {
      ds.FieldByName("C").SetAsInteger(factor * ds.FieldByName("N").AsInteger());
    };
    t.RecalcOnIndex = recalcOnIndex;
  }
  void Fill() {
    t.Open();
    for (const char* n : {"1", "3", "2"}) AppendRow(t, std::string(n));
  }
};

}  // namespace

TEST(CalculatedFields, IndexesSortsFiltersAndSearchesSeeTheirValues) {
  Scaled s(true);
  s.t.GetIndexDefs().Add("ByC", "C");
  s.Fill();
  s.t.SetIndexName("ByC");
  EXPECT_EQ(Column(s.t, "N"), "3,2,1");
  s.t.SetIndexName("");
  s.t.SetSortFields("C");
  EXPECT_EQ(Column(s.t, "N"), "3,2,1");
  s.t.SetSortFields("");
  ASSERT_TRUE(s.t.Locate("C", Variant(-3), 0));
  EXPECT_EQ(s.t.FieldByName("N").AsInteger(), 3);

  // The stored records hold the values computed while they were edited: a filter finds
  // them also without RecalcOnIndex.
  Scaled plain(false);
  plain.Fill();
  plain.t.SetFilter("C = -1");
  plain.t.SetFiltered(true);
  EXPECT_EQ(plain.t.RecordCount(), 1);
  EXPECT_EQ(Column(plain.t, "N"), "1");
}

TEST(CalculatedFields, ValuesThatChangedMeanwhileAreComputedAgainWhereAsked) {
  Scaled s(false);
  s.Fill();
  s.factor = 1;
  // Without RecalcOnFetch a fetched record shows the values it was stored with.
  s.t.RecalcOnFetch = false;
  EXPECT_EQ(Column(s.t, "C"), "-1,-3,-2");
  s.t.RecalcOnFetch = true;
  EXPECT_EQ(Column(s.t, "C"), "1,3,2");
  // A sort index built with RecalcOnIndex orders by the values computed now, not by the
  // stored ones (-1, -3, -2), and so does a filter.
  s.t.RecalcOnIndex = true;
  s.t.SetSortFields("C");
  EXPECT_EQ(Column(s.t, "N"), "1,2,3");
  s.t.SetFilter("C = 2");
  s.t.SetFiltered(true);
  EXPECT_EQ(Column(s.t, "N"), "2");
}

TEST(CalculatedFields, AFieldChangeWhileEditingComputesThemUnlessAutoCalcFieldsIsOff) {
  Scaled s(false);
  s.Fill();
  s.t.RecalcOnFetch = false;  // what is read after a post is what was stored
  EXPECT_TRUE(s.t.AutoCalcFields);
  s.t.Append();
  s.t.FieldByName("N").SetAsInteger(5);
  EXPECT_EQ(s.t.FieldByName("C").AsInteger(), -5);
  s.t.Post();
  EXPECT_EQ(s.t.FieldByName("C").AsInteger(), -5);
  s.t.Edit();
  s.t.FieldByName("N").SetAsInteger(7);
  EXPECT_EQ(s.t.FieldByName("C").AsInteger(), -7);
  s.t.Cancel();
  EXPECT_EQ(s.t.FieldByName("C").AsInteger(), -5);
  // A value written to the calculated field itself stays as written.
  s.t.Edit();
  s.t.FieldByName("C").SetAsInteger(100);
  EXPECT_EQ(s.t.FieldByName("C").AsInteger(), 100);
  s.t.Cancel();

  s.t.AutoCalcFields = false;
  s.t.Edit();
  s.t.FieldByName("N").SetAsInteger(8);
  EXPECT_EQ(s.t.FieldByName("C").AsInteger(), -5);
  s.t.Post();
  EXPECT_EQ(s.t.FieldByName("C").AsInteger(), -5);
  s.t.RecalcOnFetch = true;
  s.t.Refresh();
  EXPECT_EQ(s.t.FieldByName("C").AsInteger(), -8);
  // With RecalcOnIndex a posted record is indexed by the values computed at the post.
  s.t.RecalcOnIndex = true;
  s.t.SetSortFields("C");
  EXPECT_EQ(Column(s.t, "N"), "8,3,2,1");
  s.t.First();
  s.t.Edit();
  s.t.FieldByName("N").SetAsInteger(0);
  s.t.Post();
  EXPECT_EQ(Column(s.t, "N"), "3,2,1,0");

  // The setting goes through a form with the table's other settings.
  s.t.Close();
  platform::MemoryStream form;
  platform::FormWriter::WriteRoot(form, s.t);
  TmvxMemTable read;
  platform::FormReader::ReadRoot(form.Bytes().data(), form.Bytes().size(), read);
  EXPECT_FALSE(read.AutoCalcFields);
}
