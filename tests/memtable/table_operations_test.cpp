// Lookup fields and field settings in copies, notifications, block reading, blob release,
// records from values, the exception handler and the settings of attached tables.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "memtable/binary_format.h"
#include "memtable/mem_table.h"
#include "tests/memtable/test_tables.h"

using namespace memtable;
using namespace dataset;
using memtable_test::Column;

namespace {

constexpr unsigned kStructure = TmvxCustomMemTable::mtcpoStructure;

// Appends rows of values (texts; "" sets null).
void Rows(TmvxCustomMemTable& t, std::initializer_list<std::vector<std::string>> rows) {
  for (const auto& row : rows) {
    t.Append();
    for (int i = 0; i < static_cast<int>(row.size()); ++i)
      row[i].empty() ? t.GetField(i).Clear() : t.GetField(i).SetAsString(row[i]);
    t.Post();
  }
}

// An open table with one record, saved to file when it closes.
void OpenPersistent(TmvxMemTable& t, const std::string& file, TmvxCustomStreamFormat& format) {
  t.GetFieldDefs().Add("Id", ftInteger);
  t.Persistent = true;
  t.PersistentFile = file;
  t.PersistentFormat = &format;
  t.Open();
  Rows(t, {{"5"}});
}

Field& Lookup(TmvxMemTable& t, const std::string& name, FieldType type, DataSet& in, const std::string& key,
              const std::string& lookupKey, const std::string& result) {
  Field& f = t.AddField(name, type, type == ftString ? 20 : 0, fkLookup);
  f.LookupDataSet = &in;
  f.KeyFields = key;
  f.LookupKeyFields = lookupKey;
  f.LookupResultField = result;
  return f;
}

}  // namespace

TEST(LookupFields, ShowTheLookedUpValueAreMadeLikeTheSourcesInCopiesAndEndWhereTheyLeadBack) {
  TmvxMemTable countries("countries"), people("people");
  countries.AddField("Id", ftInteger);
  countries.AddField("Name", ftString, 20);
  Lookup(countries, "FirstPerson", ftString, people, "Id", "CountryId", "Name");  // leads back
  people.AddField("Name", ftString, 10);
  people.AddField("CountryId", ftInteger);
  Lookup(people, "Country", ftString, countries, "CountryId", "Id", "Name");
  countries.Open();
  people.Open();
  Rows(countries, {{"1", "Norway"}, {"2", "Chile"}});
  Rows(people, {{"ann", "2"}, {"bob", ""}, {"cy", "1"}, {"dee", "9"}});
  EXPECT_EQ(Column(people, "Country"), "Chile,null,Norway,null");
  EXPECT_EQ(Column(countries, "FirstPerson"), "cy,ann");

  TmvxMemTable copy, plain;
  copy.LoadRecordsFrom(people, kStructure | TmvxCustomMemTable::mtcpoLookup);
  plain.LoadRecordsFrom(people, kStructure);
  EXPECT_EQ(copy.FieldByName("Country").Kind(), fkLookup);
  EXPECT_EQ(Column(copy, "Country"), "Chile,null,Norway,null");
  copy.First();  // a changed key shows another value at once
  copy.Edit();
  copy.FieldByName("CountryId").SetAsInteger(1);
  copy.Post();
  EXPECT_EQ(copy.FieldByName("Country").AsString(), "Norway");
  EXPECT_EQ(plain.FindField("Country"), nullptr);  // made only with its option
}

TEST(CopyStructure, OptionSixtyFourGivesMadeFieldsTheirSourcesPlace) {
  TmvxMemTable source, withIndex, without;
  source.AddField("Total", ftFloat, 0, fkCalculated);
  source.AddField("A", ftInteger);
  source.AddField("B", ftInteger);
  withIndex.CopyStructureFrom(source, kStructure | TmvxCustomMemTable::mtcpoCalculated | TmvxCustomMemTable::mtcpoFieldIndex);
  without.CopyStructureFrom(source, kStructure | TmvxCustomMemTable::mtcpoCalculated);
  auto names = [](TmvxMemTable& t) {
    std::string out;
    for (int i = 0; i < t.FieldCount(); ++i) out += t.GetField(i).FieldName() + std::to_string(t.GetField(i).Index()) + " ";
    return out;
  };
  EXPECT_EQ(names(withIndex), "Total0 A1 B2 ");
  EXPECT_EQ(names(without), "A0 B1 Total2 ");
  withIndex.Open();  // the moved field still finds its place in the record
  Rows(withIndex, {{"1.5", "1", "2"}});
  EXPECT_EQ(Column(withIndex, "B"), "2");
}

TEST(CopyFieldSettings, EveryFieldTakesTheCommonSettingsAndOnlyItsOwnKindsOthers) {
  TmvxMemTable source, dest;
  const std::vector<std::pair<const char*, FieldType>> fields = {
      {"I", ftInteger},  {"F", ftFloat}, {"S", ftString}, {"B", ftBoolean},
      {"D", ftDateTime}, {"M", ftMemo},  {"X", ftString}};
  for (auto [name, type] : fields) {
    source.AddField(name, type, type == ftString ? 5 : 0);
    dest.AddField(name, name == std::string("X") ? ftInteger : type, type == ftString ? 5 : 0);  // X: another kind
    Field& f = source.FieldByName(name);
    f.EditMask = f.DisplayLabel = std::string("set") + name;
    f.DisplayWidth = 9;
    f.Alignment = taCenter;
    f.ProviderFlags = pfInKey;
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
  // The kind's settings that arrived: Display/Edit format, Max/min, Precision, Currency,
  // display Values, Blob type, Transliterate.
  auto arrived = [](const Field& d) {
    const std::pair<char, bool> settings[] = {
        {'D', d.DisplayFormat == "0.00"}, {'E', d.EditFormat == "0"},       {'M', !d.MaxValue.IsNull()},
        {'m', !d.MinValue.IsNull()},      {'P', d.Precision == 7},           {'C', d.Currency},
        {'V', d.DisplayValues == "yes;no"}, {'B', d.BlobType == ftFmtMemo}, {'T', !d.Transliterate}};
    std::string out;
    for (auto [letter, same] : settings)
      if (same) out += letter;
    return out;
  };
  const std::map<std::string, std::string> expected = {
      {"I", "DEMm"}, {"F", "DEMmPC"}, {"S", "T"}, {"B", "V"}, {"D", "D"}, {"M", "BT"}, {"X", ""}};
  for (auto [name, type] : fields) {
    const Field& d = dest.FieldByName(name);
    EXPECT_EQ(arrived(d), expected.at(name)) << name;
    EXPECT_EQ(d.EditMask + d.DisplayLabel, std::string("set") + name + "set" + name);
    EXPECT_TRUE(d.DisplayWidth == 9 && d.Alignment == taCenter && d.ProviderFlags == pfInKey) << name;
  }
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
  const Field& hidden = attached.FieldByName("Name");
  EXPECT_FALSE(hidden.Visible);
  EXPECT_EQ(hidden.DisplayLabel + hidden.EditMask, "Full name>L");
  EXPECT_EQ(attached.FieldByName("Id").DisplayLabel, "");  // its own field keeps its settings
  try {
    attached.SetStandalone(true);
    ADD_FAILURE() << "switched";
  } catch (const EMemTableError& e) {
    EXPECT_STREQ(e.what(), "Table is attached to another table.");
  }
  EXPECT_FALSE(attached.Standalone());
}

TEST(Notification, ARemovedComponentIsLetGoOfAndTheTableItselfGoingSavesAndCloses) {
  TmvxBinaryStreamFormat format;
  TmvxMemTable master, t, target;
  t.DefaultFormat = t.CommaTextFormat = t.PersistentFormat = t.FormFormat = &format;
  t.Notification(&format, TmvxCustomMemTable::opInsert);
  EXPECT_EQ(t.CommaTextFormat, &format);
  t.Notification(&format, TmvxCustomMemTable::opRemove);
  for (auto* f : {t.DefaultFormat, t.CommaTextFormat, t.PersistentFormat, t.FormFormat}) EXPECT_EQ(f, nullptr);
  t.SetMasterSource(&master);
  t.Notification(&master, TmvxCustomMemTable::opRemove);
  EXPECT_EQ(t.MasterSource(), nullptr);
  target.GetFieldDefs().Add("Id", ftInteger);
  target.SetAttachMaxCount(2);
  t.SetAttachedTo(&target);
  t.Notification(&target, TmvxCustomMemTable::opRemove);
  EXPECT_EQ(t.AttachedTo(), nullptr);
  EXPECT_EQ(target.Common().AttachIndexOf(&t), -1);

  const std::string file = std::string(KV_BINARY_DIR) + "/memtable_notify_" + std::to_string(::getpid()) + ".kvm";
  TmvxMemTable p, back;
  OpenPersistent(p, file, format);
  p.Notification(&p, TmvxCustomMemTable::opRemove);
  EXPECT_FALSE(p.Active());
  back.LoadFileThroughFormat(file, &format);
  EXPECT_EQ(Column(back, "Id"), "5");
  std::filesystem::remove(file);
}

TEST(BlockRead, APositiveSizeWalksInBlockReadStateAndZeroEndsIt) {
  TmvxMemTable t;
  t.GetFieldDefs().Add("Id", ftInteger);
  t.Open();
  Rows(t, {{"1"}, {"2"}, {"3"}, {"4"}});
  t.First();
  t.SetBlockReadSize(10);
  EXPECT_EQ(t.State(), dsBlockRead);
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 2);  // stepped on
  EXPECT_THROW(t.FieldByName("Id").SetAsInteger(9), EDatabaseError);
  t.Next();
  t.SetBlockReadSize(-1);
  EXPECT_EQ(t.BlockReadSize(), 0);
  EXPECT_EQ(t.State(), dsBrowse);
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 3);  // the walk's place kept
  t.Next();
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 4);
}

TEST(CloseBlob, TheBuffersOwnCopyIsFreedAndTheStoredContentsStay) {
  TmvxMemTable t;
  t.GetFieldDefs().Add("Notes", ftMemo);
  t.Open();
  auto closeFrees = [&t] {
    const std::size_t held = t.Common().LiveBlobCount();
    t.CloseBlob(t.FieldByName("Notes"));
    return held - t.Common().LiveBlobCount();
  };
  t.Append();
  t.CreateBlobStream(t.FieldByName("Notes"), bmWrite)->Write("kept", 4);
  t.Post();
  t.First();
  EXPECT_EQ(closeFrees(), 1u);
  auto read = t.CreateBlobStream(t.FieldByName("Notes"), bmRead);
  EXPECT_EQ(std::string(read->Bytes().begin(), read->Bytes().end()), "kept");
  read.reset();
  t.Append();  // a new record's contents are dropped without leaking their block
  t.CreateBlobStream(t.FieldByName("Notes"), bmWrite)->Write("gone", 4);
  EXPECT_EQ(closeFrees(), 1u);
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
  EXPECT_EQ(Column(t, "Id") + " " + Column(t, "Name") + " " + Column(t, "Score"), "2,0,1 a,b,none null,2,null");
  EXPECT_THROW(t.AppendRecord({Variant(), Variant("b")}), EMemTableDupKey);
  EXPECT_EQ(t.State(), dsBrowse);
  EXPECT_THROW(t.AppendRecord({Variant(), Variant("x"), Variant("not a number")}), std::exception);
  EXPECT_EQ(Column(t, "Name"), "a,b,none");
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
    OpenPersistent(t, "/nonexistent-folder/for/sure/table.kvm", format);
  }
  TmvxCustomMemTable::SetApplicationExceptionHandler(nullptr);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_NE(seen[0].find("/nonexistent-folder/for/sure"), std::string::npos) << seen[0];
}
