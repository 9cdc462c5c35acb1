// Tables on a form stream: their settings and definitions, their records through FormFormat,
// the open state read from the form, and the faults of what a form holds.
#include <gtest/gtest.h>

#include "memtable/binary_format.h"
#include "memtable/mem_table.h"
#include "platform/form_stream.h"
#include "tests/memtable/test_tables.h"

using namespace memtable;
using namespace dataset;
using memtable_test::AppendRow;
using memtable_test::Column;

namespace {

// A form holding tables (TForm "Form1"), or what stands where a table is and writes the given
// published values and binary properties.
struct Object : platform::FormPersistent {
  Object(std::string className, std::string name) : className(std::move(className)), name(std::move(name)) {}
  std::string FormClassName() const override { return className; }
  std::string FormObjectName() const override { return name; }
  std::vector<platform::FormPersistent*> FormChildren() override { return children; }
  void GetPublishedProperties(std::vector<platform::PublishedProperty>& list) override {
    list.insert(list.end(), published.begin(), published.end());
  }
  void DefineProperties(platform::Filer& filer) override {
    for (auto& [property, bytes] : binary) {
      const std::vector<std::uint8_t>& data = bytes;  // clang 14 cannot capture a structured binding
      filer.DefineBinaryProperty(property, nullptr, [&data](platform::ByteStream& s) { s.Write(data.data(), data.size()); }, true);
    }
  }
  std::string className, name;
  std::vector<platform::FormPersistent*> children;
  std::vector<platform::PublishedProperty> published;
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> binary;
};

platform::PublishedProperty Stored(const std::string& name, platform::PropertyValue value) {
  const auto kind = std::holds_alternative<bool>(value) ? platform::PropertyKind::Boolean : platform::PropertyKind::Integer;
  return {name, kind, [value] { return value; }, nullptr, std::string()};
}

void Define(TmvxMemTable& t) {
  t.GetFieldDefs().Add("Id", ftInteger);
  t.GetFieldDefs().Add("Name", ftString, 12);
  t.GetFieldDefs().Add("Notes", ftMemo);
  t.GetIndexDefs().Add("ByName", "Name");
}

void Fill(TmvxMemTable& t) {
  AppendRow(t, std::string("3"), std::string("carol"));
  AppendRow(t, std::string("1"), std::string("alice"));
  AppendRow(t, std::string("2"), std::string(""));
  t.First();
  t.Edit();
  t.CreateBlobStream(t.FieldByName("Notes"), bmWrite)->Write("a\0b", 3);
  t.Post();
}

std::vector<std::uint8_t> WriteForm(std::vector<platform::FormPersistent*> objects) {
  Object form("TForm", "Form1");
  form.children = std::move(objects);
  platform::MemoryStream s;
  platform::FormWriter::WriteRoot(s, form);
  return s.Bytes();
}

// The error reading the form raised, "" for none.
std::string ReadForm(const std::vector<std::uint8_t>& bytes, std::vector<platform::FormPersistent*> objects) {
  Object form("TForm", "Form1");
  form.children = std::move(objects);
  try {
    platform::FormReader::ReadRoot(bytes.data(), bytes.size(), form);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(FormData, ATableAndItsRecordsGoThroughTheFormAndOpenWhenItIsRead) {
  TmvxBinaryStreamFormat format;
  TmvxMemTable a("Table1");
  Define(a);
  a.StoreDataOnForm = true;
  a.FormFormat = &format;
  a.SetFilter("Id > 1");
  a.LoadLimit = 50;
  a.Open();
  Fill(a);
  a.ReadOnly = true;

  TmvxMemTable b("Table1");  // its definitions come from the form
  b.FormFormat = &format;
  int loads = 0;
  b.OnLoad = [&](TmvxCustomMemTable&, TmvxMemTableStorageType type, platform::ByteStream* stream) {
    loads += type == mtstStream && stream;
  };
  ASSERT_EQ(ReadForm(WriteForm({&a}), {&b}), "");
  EXPECT_TRUE(b.Active() && b.StoreDataOnForm && b.ReadOnly);
  EXPECT_EQ(b.LoadLimit, 50);
  EXPECT_EQ(b.Filter(), "Id > 1");
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(b.StoredFormData(), nullptr);  // released once loaded
  EXPECT_EQ(Column(b, "Id"), "3,1,2");
  b.First();
  auto blob = b.CreateBlobStream(b.FieldByName("Notes"), bmRead);
  EXPECT_EQ(std::string(blob->Bytes().begin(), blob->Bytes().end()), std::string("a\0b", 3));
  b.SetIndexName("ByName");
  EXPECT_EQ(Column(b, "Name"), "null,alice,carol");
  EXPECT_EQ(b.GetFieldDefs()[1].Size, 12);
}

TEST(FormData, ClosedTablesAndTablesNotStoringDataBringNoRecordsAndDesignActivationWaits) {
  TmvxBinaryStreamFormat format;
  TmvxMemTable later("Later"), open("Open"), closed("Closed"), b1("Later"), b2("Open"), b3("Closed");
  for (TmvxMemTable* t : {&later, &open, &closed, &b1, &b2, &b3}) {
    Define(*t);
    t->FormFormat = &format;
  }
  later.StoreDataOnForm = closed.StoreDataOnForm = true;
  later.DesignActivation = false;
  for (TmvxMemTable* t : {&later, &open}) {
    t->Open();
    Fill(*t);
  }
  ASSERT_EQ(ReadForm(WriteForm({&later, &open, &closed}), {&b1, &b2, &b3}), "");
  EXPECT_FALSE(b1.Active());
  ASSERT_NE(b1.StoredFormData(), nullptr);
  b1.Open();  // an Active set later is not the stored one
  EXPECT_EQ(Column(b1, "Id"), "3,1,2");
  EXPECT_EQ(b1.StoredFormData(), nullptr);
  EXPECT_TRUE(b2.Active());
  EXPECT_EQ(b2.RecordCount(), 0);
  EXPECT_FALSE(b3.Active());
  b3.Open();  // the empty data stored for a closed table load nothing
  EXPECT_EQ(b3.RecordCount(), 0);
}

TEST(FormData, FaultsAreReportedAndLeaveTheTableWhole) {
  // An open table storing its data needs a format.
  TmvxBinaryStreamFormat format;
  TmvxMemTable a("T");
  Define(a);
  a.StoreDataOnForm = true;
  a.Open();
  AppendRow(a, std::string("1"), std::string("x"));
  try {
    WriteForm({&a});
    ADD_FAILURE() << "written without a format";
  } catch (const EMemTableError& e) {
    EXPECT_STREQ(e.what(), "No format specified.");
  }

  platform::MemoryStream records;
  a.SaveThroughFormat(records, &format);
  std::vector<std::uint8_t> damaged = records.Bytes();
  damaged[8] ^= 1;  // the field count
  const std::vector<std::uint8_t> cutShort = {1, 0, 0, 0, 5, 0, 0, 0, 'I', 'd'};
  const std::vector<std::uint8_t> unknownType = {1, 0, 0, 0, 1, 0, 0, 0, 'I', 255, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  struct Case {
    std::vector<platform::PublishedProperty> published;
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> binary;
    std::string error;
    bool open = false;  // open and empty after the records failed to load
  };
  for (const Case& c : std::vector<Case>{
           {{}, {{"FieldDefs", cutShort}}, "T.FieldDefs: The stored field definitions are damaged."},
           {{}, {{"FieldDefs", unknownType}}, "T.FieldDefs: The stored field definitions are damaged."},
           {{}, {{"IndexDefs", {1, 0, 0, 0}}}, "T.IndexDefs: The stored index definitions are damaged."},
           {{}, {{"IndexDefs", {0, 0, 0, 0, 9}}}, "T.IndexDefs: The stored index definitions are damaged."},  // a byte over
           {{Stored("Active", std::int64_t{1})}, {}, "Error reading Form1.T.Active: Invalid property value"},
           {{Stored("Active", true), Stored("StoreDataOnForm", true)}, {{"Data", damaged}}, "The table stream is damaged",
            true}}) {
    Object impostor("TmvxMemTable", "T");
    impostor.published = c.published;
    impostor.binary = c.binary;
    TmvxMemTable t("T");
    Define(t);
    t.FormFormat = &format;
    const std::string error = ReadForm(WriteForm({&impostor}), {&t});
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_EQ(t.GetFieldDefs().Count(), 3);
    EXPECT_EQ(t.GetIndexDefs().Count(), 1);
    EXPECT_EQ(t.Active(), c.open);
    EXPECT_FALSE(t.Loading());
    EXPECT_EQ(t.StoredFormData(), nullptr);  // damaged records released
    t.Open();  // the table works on
    EXPECT_EQ(t.RecordCount(), 0);
  }
}

// Every published property of the table goes through the form: each is given a value other than
// its default, and a table read from the form has them all; a value no table holds is refused.
TEST(FormData, EveryPublishedPropertyGoesThroughTheForm) {
  TmvxBinaryStreamFormat format;
  TmvxMemTable a("T");
  Define(a);
  a.DesignActivation = false;
  a.StoreDataOnForm = true;
  a.FormFormat = &format;
  a.AttachedAutoRefresh = false;
  a.SetAttachMaxCount(3);
  a.AutoIncMinValue = 10;
  a.SetFilter("Id > 1");
  a.SetFiltered(true);
  a.SetFilterOptions(foCaseInsensitive | foNoPartialCompare);
  a.SetEnableIndexes(false);
  a.AutoReposition = true;
  a.SetIndexFieldNames("Name");
  a.SetIndexName("ByName");
  a.RecalcOnIndex = true;
  a.RecalcOnFetch = false;
  a.AutoCalcFields = false;
  a.SetSortFields("Name;Id");
  a.SetSortOptions(mtcoDescending | mtcoCaseInsensitive);
  a.ReadOnly = true;
  a.SetPerformance(mtpfSmall);
  a.SetStandalone(true);
  a.PersistentFile = "/nonexistent/t.bin";
  a.Persistent = a.PersistentBackup = true;
  a.PersistentBackupExt = ".old";
  a.ProgressFlags = ProgressCodeBit(mtpcEmpty) | ProgressCodeBit(mtpcSort);
  a.LoadLimit = 5;
  a.SaveLimit = 6;
  a.SetEnableVersioning(true);
  a.SetVersioningMode(mtvmAllSinceCheckPoint);
  a.SetMasterFields("Id");
  a.SetDetailFields("Id");
  a.SetLocaleID(0x10807);  // sort 1, sub-language 2, language 7: every part off its default
  const std::vector<std::string> names = {
      "Active", "DesignActivation", "StoreDataOnForm", "AttachedAutoRefresh", "AutoReposition", "ReadOnly",
      "RecalcOnIndex", "RecalcOnFetch", "AutoCalcFields", "EnableIndexes", "Filter", "Filtered", "IndexFieldNames",
      "IndexName", "SortFields", "Persistent", "PersistentFile", "PersistentBackup", "PersistentBackupExt",
      "LoadLimit", "SaveLimit", "AutoIncMinValue", "Standalone", "AttachMaxCount", "Performance", "EnableVersioning",
      "VersioningMode", "LanguageID", "SubLanguageID", "SortID", "LocaleID", "ProgressFlags", "FilterOptions",
      "SortOptions", "MasterFields", "DetailFields"};
  std::vector<platform::PublishedProperty> written;
  a.GetPublishedProperties(written);
  std::vector<std::string> listed;
  for (const auto& p : written) listed.push_back(p.name);
  EXPECT_EQ(listed, names);

  TmvxMemTable b("T");
  b.FormFormat = &format;
  ASSERT_EQ(ReadForm(WriteForm({&a}), {&b}), "");
  std::vector<platform::PublishedProperty> read;
  b.GetPublishedProperties(read);
  ASSERT_EQ(read.size(), written.size());
  for (std::size_t i = 0; i < written.size(); ++i) {
    const auto& p = written[i];
    if (p.name != "Active") {
      EXPECT_NE(p.get(), p.defaultValue) << p.name << " is left at its default";
    }
    EXPECT_EQ(read[i].get(), p.get()) << p.name;
  }
  EXPECT_EQ(b.GetFieldDefs().Count(), 3);
  EXPECT_EQ(b.GetIndexDefs().Count(), 1);

  // Values outside what the property holds: refused, and nothing of the form is set.
  for (auto [property, value] : std::vector<std::pair<std::string, std::int64_t>>{
           {"Performance", 3}, {"VersioningMode", -1}, {"ProgressFlags", 1 << 9}, {"SortOptions", 1 << 7},
           {"FilterOptions", 4}, {"LocaleID", std::int64_t{1} << 32}, {"AttachMaxCount", 0}}) {
    Object impostor("TmvxMemTable", "T");
    impostor.published = {Stored("LoadLimit", std::int64_t{9}), Stored(property, value)};
    TmvxMemTable t("T");
    EXPECT_NE(ReadForm(WriteForm({&impostor}), {&t}), "") << property;
    EXPECT_EQ(t.LoadLimit, -1) << property;
  }
  // An open state read before a refusal is not kept for the next form.
  TmvxMemTable t("T");
  Define(t);
  t.Open();
  Object refused("TmvxMemTable", "T"), plain("TmvxMemTable", "T");
  refused.published = {Stored("Active", true), Stored("Performance", std::int64_t{9})};
  plain.published = {Stored("LoadLimit", std::int64_t{9})};
  EXPECT_NE(ReadForm(WriteForm({&refused}), {&t}), "");
  EXPECT_TRUE(t.Active());
  t.Close();
  EXPECT_EQ(ReadForm(WriteForm({&plain}), {&t}), "");
  EXPECT_FALSE(t.Active());
}
