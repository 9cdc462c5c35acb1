// Lookup fields and field settings in copies, notifications, block reading, blob release,
// records from values, the exception handler and the settings of attached tables.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "memtable/binary_format.h"
#include "memtable/mem_table.h"
#include "tests/memtable/test_tables.h"

using namespace memtable;
using namespace dataset;
using memtable_test::AppendRow;
using memtable_test::Column;

namespace {

// Countries (Id, Name) and people (Name, CountryId, Country looked up).
struct People {
  TmvxMemTable countries{"countries"}, people{"people"};
  People() {
    countries.GetFieldDefs().Add("Id", ftInteger);
    countries.GetFieldDefs().Add("Name", ftString, 20);
    countries.Open();
    AppendRow(countries, std::string("1"), std::string("Norway"));
    AppendRow(countries, std::string("2"), std::string("Chile"));
    people.AddField("Name", ftString, 10);
    people.AddField("CountryId", ftInteger);
    Field& country = people.AddField("Country", ftString, 20, fkLookup);
    country.LookupDataSet = &countries;
    country.KeyFields = "CountryId";
    country.LookupKeyFields = "Id";
    country.LookupResultField = "Name";
    people.Open();
    AppendRow(people, std::string("ann"), std::string("2"));
    AppendRow(people, std::string("bob"), std::string(""));
    AppendRow(people, std::string("cy"), std::string("1"));
    AppendRow(people, std::string("dee"), std::string("9"));
  }
};

}  // namespace

TEST(LookupFields, ShowTheLookedUpValueAndAreMadeLikeTheSourcesInCopies) {
  People p;
  EXPECT_EQ(Column(p.people, "Country"), "Chile,null,Norway,null");
  // A copy of the structure with lookup fields takes them with their settings and shows the
  // same values.
  TmvxMemTable copy;
  copy.LoadRecordsFrom(p.people, TmvxCustomMemTable::mtcpoStructure | TmvxCustomMemTable::mtcpoLookup);
  Field& made = copy.FieldByName("Country");
  EXPECT_EQ(made.Kind(), fkLookup);
  EXPECT_EQ(made.LookupDataSet, &p.countries);
  EXPECT_EQ(made.KeyFields, "CountryId");
  EXPECT_EQ(made.LookupKeyFields, "Id");
  EXPECT_EQ(made.LookupResultField, "Name");
  EXPECT_EQ(Column(copy, "Country"), "Chile,null,Norway,null");
  // A changed key shows another value at once.
  copy.First();
  copy.Edit();
  copy.FieldByName("CountryId").SetAsInteger(1);
  copy.Post();
  EXPECT_EQ(copy.FieldByName("Country").AsString(), "Norway");
  // Without option 8 lookup fields are not made.
  TmvxMemTable plain;
  plain.LoadRecordsFrom(p.people, TmvxCustomMemTable::mtcpoStructure);
  EXPECT_EQ(plain.FindField("Country"), nullptr);
}

TEST(LookupFields, LookupsThatLeadBackEndThere) {
  TmvxMemTable countries("countries"), people("people");
  countries.AddField("Id", ftInteger);
  Field& first = countries.AddField("FirstPerson", ftString, 10, fkLookup);
  first.LookupDataSet = &people;
  first.KeyFields = "Id";
  first.LookupKeyFields = "CountryId";
  first.LookupResultField = "Name";
  people.AddField("Name", ftString, 10);
  people.AddField("CountryId", ftInteger);
  Field& country = people.AddField("Country", ftInteger, 0, fkLookup);
  country.LookupDataSet = &countries;
  country.KeyFields = "CountryId";
  country.LookupKeyFields = "Id";
  country.LookupResultField = "Id";
  countries.Open();
  people.Open();
  AppendRow(countries, std::string("1"), std::string());
  AppendRow(countries, std::string("2"), std::string());
  AppendRow(people, std::string("ann"), std::string("2"), std::string());
  AppendRow(people, std::string("bob"), std::string("1"), std::string());
  EXPECT_EQ(Column(countries, "FirstPerson"), "bob,ann");
  EXPECT_EQ(Column(people, "Country"), "2,1");
}

TEST(CopyStructure, OptionSixtyFourGivesMadeFieldsTheirSourcesPlace) {
  TmvxMemTable source;
  source.AddField("Total", ftFloat, 0, fkCalculated);
  source.AddField("A", ftInteger);
  source.AddField("B", ftInteger);
  TmvxMemTable withIndex, without;
  withIndex.CopyStructureFrom(source, TmvxCustomMemTable::mtcpoStructure | TmvxCustomMemTable::mtcpoCalculated |
                                          TmvxCustomMemTable::mtcpoFieldIndex);
  without.CopyStructureFrom(source, TmvxCustomMemTable::mtcpoStructure | TmvxCustomMemTable::mtcpoCalculated);
  auto names = [](TmvxMemTable& t) {
    std::string out;
    for (int i = 0; i < t.FieldCount(); ++i) out += t.GetField(i).FieldName() + std::to_string(t.GetField(i).Index()) + " ";
    return out;
  };
  EXPECT_EQ(names(withIndex), "Total0 A1 B2 ");
  EXPECT_EQ(names(without), "A0 B1 Total2 ");
  withIndex.Open();  // the moved field still finds its place in the record
  AppendRow(withIndex, std::string("1.5"), std::string("1"), std::string("2"));
  EXPECT_EQ(Column(withIndex, "B"), "2");
}

TEST(CopyFieldSettings, EachKindOfFieldTakesItsOwnSettings) {
  TmvxMemTable source, dest;
  for (TmvxMemTable* t : {&source, &dest}) {
    t->AddField("I", ftInteger);
    t->AddField("F", ftFloat);
    t->AddField("S", ftString, 5);
    t->AddField("B", ftBoolean);
    t->AddField("D", ftDateTime);
    t->AddField("M", ftMemo);
    t->AddField("X", ftInteger);  // a string in the source
  }
  source.FieldByName("X").EditMask = "unused";
  TmvxMemTable& s = source;
  for (const char* n : {"I", "F", "S", "B", "D", "M"}) {
    Field& f = s.FieldByName(n);
    f.EditMask = std::string("mask") + n;
    f.DisplayWidth = 9;
    f.Alignment = taCenter;
    f.ProviderFlags = pfInKey;
    f.DisplayLabel = std::string("label") + n;
    f.DisplayFormat = "0.00";
    f.EditFormat = "0";
    f.MaxValue = Variant(100);
    f.MinValue = Variant(-5);
    f.Precision = 7;
    f.Currency = true;
    f.Transliterate = false;
    f.DisplayValues = "yes;no";
    f.BlobType = ftFmtMemo;
  }
  int setups = 0;
  dest.OnSetupFieldProperties = [&](TmvxCustomMemTable&, Field&) { ++setups; };
  dest.CopyAllFieldSettings(source, dest);
  EXPECT_EQ(setups, 7);
  const Field &i = dest.FieldByName("I"), &f = dest.FieldByName("F"), &str = dest.FieldByName("S"),
              &b = dest.FieldByName("B"), &d = dest.FieldByName("D"), &m = dest.FieldByName("M");
  for (const Field* x : {&i, &f, &str, &b, &d, &m}) {
    EXPECT_EQ(x->EditMask, "mask" + x->FieldName());
    EXPECT_EQ(x->DisplayWidth, 9);
    EXPECT_EQ(x->Alignment, taCenter);
    EXPECT_EQ(x->ProviderFlags, pfInKey);
    EXPECT_EQ(x->DisplayLabel, "label" + x->FieldName());
  }
  EXPECT_EQ(i.MaxValue.ToInt(), 100);
  EXPECT_EQ(i.DisplayFormat, "0.00");
  EXPECT_EQ(i.Precision, 15);  // not an integer's setting
  EXPECT_EQ(f.Precision, 7);
  EXPECT_TRUE(f.Currency);
  EXPECT_EQ(f.MinValue.ToInt(), -5);
  EXPECT_FALSE(str.Transliterate);
  EXPECT_EQ(str.DisplayFormat, "");
  EXPECT_EQ(b.DisplayValues, "yes;no");
  EXPECT_TRUE(b.MaxValue.IsNull());
  EXPECT_EQ(d.DisplayFormat, "0.00");
  EXPECT_EQ(d.EditFormat, "");
  EXPECT_EQ(m.BlobType, ftFmtMemo);
  EXPECT_FALSE(m.Transliterate);
  EXPECT_EQ(m.DisplayValues, "");
}

TEST(Attach, HiddenFieldsTakeTheTargetsSettingsAndStandaloneIsRefused) {
  TmvxMemTable target, attached;
  target.AddField("Id", ftInteger).DisplayLabel = "Number";
  Field& name = target.AddField("Name", ftString, 8);
  name.DisplayLabel = "Full name";
  name.EditMask = ">L";
  target.SetAttachMaxCount(2);
  attached.AddField("Id", ftInteger);
  attached.SetAttachedTo(&target);
  Field& hidden = attached.FieldByName("Name");
  EXPECT_FALSE(hidden.Visible);
  EXPECT_EQ(hidden.DisplayLabel, "Full name");
  EXPECT_EQ(hidden.EditMask, ">L");
  EXPECT_EQ(attached.FieldByName("Id").DisplayLabel, "");  // its own field keeps its settings
  try {
    attached.SetStandalone(true);
    FAIL() << "switched";
  } catch (const EMemTableError& e) {
    EXPECT_STREQ(e.what(), "Table is attached to another table.");
  }
  EXPECT_FALSE(attached.Standalone());
}

TEST(Notification, ARemovedComponentIsLetGoOf) {
  TmvxBinaryStreamFormat format;
  TmvxMemTable master, t, target;
  t.DefaultFormat = t.CommaTextFormat = t.PersistentFormat = t.FormFormat = &format;
  t.Notification(&format, TmvxCustomMemTable::opInsert);
  EXPECT_EQ(t.CommaTextFormat, &format);
  t.Notification(&format, TmvxCustomMemTable::opRemove);
  EXPECT_EQ(t.DefaultFormat, nullptr);
  EXPECT_EQ(t.CommaTextFormat, nullptr);
  EXPECT_EQ(t.PersistentFormat, nullptr);
  EXPECT_EQ(t.FormFormat, nullptr);
  t.SetMasterSource(&master);
  t.Notification(&master, TmvxCustomMemTable::opRemove);
  EXPECT_EQ(t.MasterSource(), nullptr);
  target.GetFieldDefs().Add("Id", ftInteger);
  target.SetAttachMaxCount(2);
  t.SetAttachedTo(&target);
  t.Notification(&target, TmvxCustomMemTable::opRemove);
  EXPECT_EQ(t.AttachedTo(), nullptr);
  EXPECT_EQ(target.Common().AttachIndexOf(&t), -1);

  // The table itself going: its persistent file is written and it closes.
  const std::string file = std::string(KV_BINARY_DIR) + "/memtable_notify_" + std::to_string(::getpid()) + ".kvm";
  TmvxMemTable p;
  p.GetFieldDefs().Add("Id", ftInteger);
  p.Persistent = true;
  p.PersistentFile = file;
  p.PersistentFormat = &format;
  p.Open();
  AppendRow(p, std::string("5"));
  p.Notification(&p, TmvxCustomMemTable::opRemove);
  EXPECT_FALSE(p.Active());
  TmvxMemTable back;
  back.LoadFileThroughFormat(file, &format);
  EXPECT_EQ(Column(back, "Id"), "5");
  std::filesystem::remove(file);
}

TEST(BlockRead, APositiveSizeWalksInBlockReadStateAndZeroEndsIt) {
  TmvxMemTable t;
  t.GetFieldDefs().Add("Id", ftInteger);
  t.Open();
  for (int i = 1; i <= 4; ++i) AppendRow(t, std::to_string(i));
  t.First();
  t.SetBlockReadSize(10);
  EXPECT_EQ(t.State(), dsBlockRead);
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 2);  // stepped on
  t.Next();
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 3);
  EXPECT_THROW(t.FieldByName("Id").SetAsInteger(9), EDatabaseError);
  t.SetBlockReadSize(-1);
  EXPECT_EQ(t.BlockReadSize(), 0);
  EXPECT_EQ(t.State(), dsBrowse);
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 3);
  t.Next();
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 4);
}

TEST(CloseBlob, TheBuffersOwnCopyIsFreedAndTheStoredContentsStay) {
  TmvxMemTable t;
  t.GetFieldDefs().Add("Notes", ftMemo);
  t.Open();
  t.Append();
  t.CreateBlobStream(t.FieldByName("Notes"), bmWrite)->Write("kept", 4);
  t.Post();
  t.First();
  const std::size_t held = t.Common().LiveBlobCount();
  t.CloseBlob(t.FieldByName("Notes"));
  EXPECT_EQ(t.Common().LiveBlobCount(), held - 1);
  auto read = t.CreateBlobStream(t.FieldByName("Notes"), bmRead);
  EXPECT_EQ(std::string(read->Bytes().begin(), read->Bytes().end()), "kept");
  read.reset();
  // A new record's contents are dropped without leaking their block.
  t.Append();
  t.CreateBlobStream(t.FieldByName("Notes"), bmWrite)->Write("gone", 4);
  const std::size_t before = t.Common().LiveBlobCount();
  t.CloseBlob(t.FieldByName("Notes"));
  EXPECT_EQ(t.Common().LiveBlobCount(), before - 1);
  t.Cancel();
  EXPECT_EQ(t.RecordCount(), 1);
}

TEST(RecordsFromValues, AppendRecordAndInsertRecordPostAtOnceOrLeaveTheTableAsItWas) {
  TmvxMemTable t;
  t.AddField("Id", ftAutoInc);
  t.AddField("Name", ftString, 8).DefaultExpression = "none";
  t.AddField("Score", ftInteger);
  t.GetIndexDefs().Add("ByName", "Name", ixUnique);
  t.Open();
  t.AppendRecord({Variant(), Variant("b"), Variant(2)});
  t.AppendRecord({Variant(), Variant(), Variant::MakeNull()});
  t.First();
  t.InsertRecord({Variant(), Variant("a")});
  EXPECT_EQ(Column(t, "Id"), "2,0,1");
  EXPECT_EQ(Column(t, "Name"), "a,b,none");
  EXPECT_EQ(Column(t, "Score"), "null,2,null");
  EXPECT_THROW(t.AppendRecord({Variant(), Variant("b")}), EMemTableDupKey);
  EXPECT_EQ(t.State(), dsBrowse);
  EXPECT_EQ(Column(t, "Name"), "a,b,none");
  EXPECT_THROW(t.AppendRecord({Variant(), Variant("x"), Variant("not a number")}), std::exception);
  EXPECT_EQ(t.RecordCount(), 3);
}

TEST(ExceptionHandler, ErrorsADestructorCannotPassOnReachTheApplicationsHandler) {
  std::vector<std::string> seen;
  TmvxCustomMemTable::SetApplicationExceptionHandler([&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& x) {
      seen.push_back(x.what());
    }
  });
  TmvxBinaryStreamFormat format;
  {
    TmvxMemTable t;
    t.GetFieldDefs().Add("Id", ftInteger);
    t.Persistent = true;
    t.PersistentFile = "/nonexistent-folder/for/sure/table.kvm";
    t.PersistentFormat = &format;
    t.Open();
    AppendRow(t, std::string("1"));
  }
  TmvxCustomMemTable::SetApplicationExceptionHandler(nullptr);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_NE(seen[0].find("/nonexistent-folder/for/sure"), std::string::npos) << seen[0];
}
