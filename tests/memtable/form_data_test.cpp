// Tables on a form stream: their settings, their records through FormFormat, and the open
// state read from the form.
#include <gtest/gtest.h>

#include <memory>

#include "memtable/binary_format.h"
#include "memtable/mem_table.h"
#include "platform/form_stream.h"
#include "tests/memtable/test_tables.h"

using namespace memtable;
using namespace dataset;
using memtable_test::AppendRow;
using memtable_test::Column;

namespace {

// A form holding tables.
class Form : public platform::FormPersistent {
 public:
  std::string FormClassName() const override { return "TForm"; }
  std::string FormObjectName() const override { return "Form1"; }
  std::vector<platform::FormPersistent*> FormChildren() override { return children; }
  std::vector<platform::FormPersistent*> children;
};

void Define(TmvxMemTable& t) {
  t.GetFieldDefs().Add("Id", ftInteger);
  t.GetFieldDefs().Add("Name", ftString, 12);
  t.GetFieldDefs().Add("Notes", ftMemo);
  t.GetIndexDefs().Add("ByName", "Name");
}

std::vector<std::uint8_t> WriteForm(std::vector<platform::FormPersistent*> objects) {
  Form form;
  form.children = std::move(objects);
  platform::MemoryStream s;
  platform::FormWriter::WriteRoot(s, form);
  return s.Bytes();
}

void ReadForm(const std::vector<std::uint8_t>& bytes, std::vector<platform::FormPersistent*> objects) {
  Form form;
  form.children = std::move(objects);
  platform::FormReader::ReadRoot(bytes.data(), bytes.size(), form);
}

void Fill(TmvxMemTable& t) {
  AppendRow(t, std::string("3"), std::string("carol"));
  AppendRow(t, std::string("1"), std::string("alice"));
  AppendRow(t, std::string("2"), std::string(""));
  t.First();
  t.Edit();
  auto blob = t.CreateBlobStream(t.FieldByName("Notes"), bmWrite);
  blob->Write("a\0b", 3);
  blob.reset();
  t.Post();
}

}  // namespace

TEST(FormData, ATableAndItsRecordsGoThroughTheFormAndOpenWhenItIsRead) {
  TmvxBinaryStreamFormat format;
  TmvxMemTable a("Table1");
  Define(a);
  a.StoreDataOnForm = true;
  a.FormFormat = &format;
  a.SetFilter("Id > 1");
  a.ReadOnly = true;
  a.LoadLimit = 50;
  a.Open();
  a.ReadOnly = false;
  Fill(a);
  a.ReadOnly = true;
  const auto bytes = WriteForm({&a});

  TmvxMemTable b("Table1");  // its definitions come from the form
  b.FormFormat = &format;
  int loads = 0;
  b.OnLoad = [&](TmvxCustomMemTable&, TmvxMemTableStorageType type, platform::ByteStream* stream) {
    EXPECT_EQ(type, mtstStream);
    EXPECT_NE(stream, nullptr);
    ++loads;
  };
  ReadForm(bytes, {&b});
  EXPECT_TRUE(b.Active());
  EXPECT_TRUE(b.StoreDataOnForm);
  EXPECT_TRUE(b.ReadOnly);
  EXPECT_EQ(b.LoadLimit, 50);
  EXPECT_EQ(b.Filter(), "Id > 1");
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(b.StoredFormData(), nullptr);  // released once loaded
  EXPECT_EQ(Column(b, "Id"), "3,1,2");
  EXPECT_EQ(Column(b, "Name"), "carol,alice,null");
  b.First();
  auto blob = b.CreateBlobStream(b.FieldByName("Notes"), bmRead);
  EXPECT_EQ(std::string(blob->Bytes().begin(), blob->Bytes().end()), std::string("a\0b", 3));
  b.SetIndexName("ByName");
  EXPECT_EQ(Column(b, "Name"), "null,alice,carol");
  EXPECT_EQ(b.GetFieldDefs()[1].Size, 12);
  EXPECT_EQ(b.GetIndexDefs().Count(), 1);
}

TEST(FormData, DamagedDefinitionsAreRefused) {
  // A table whose field definitions are stored as bytes no table writes.
  class Impostor : public platform::FormPersistent {
   public:
    std::string FormClassName() const override { return "TmvxMemTable"; }
    std::string FormObjectName() const override { return "T"; }
    void DefineProperties(platform::Filer& filer) override {
      filer.DefineBinaryProperty(
          "FieldDefs", nullptr, [](platform::ByteStream& s) { s.Write("\1\0\0\0\5\0\0\0Id", 10); }, true);
    }
  } impostor;
  const auto bytes = WriteForm({&impostor});
  TmvxMemTable t("T");
  Define(t);
  try {
    ReadForm(bytes, {&t});
    FAIL() << "read";
  } catch (const platform::EReadError& e) {
    EXPECT_NE(std::string(e.what()).find("T.FieldDefs: The stored field definitions are damaged."), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(t.GetFieldDefs().Count(), 3);  // kept
}

TEST(FormData, DesignActivationOffKeepsTheTableClosedAndTheDataForLater) {
  TmvxBinaryStreamFormat format;
  TmvxMemTable a("T");
  Define(a);
  a.StoreDataOnForm = true;
  a.FormFormat = &format;
  a.DesignActivation = false;
  a.Open();
  Fill(a);
  const auto bytes = WriteForm({&a});

  TmvxMemTable b("T");
  Define(b);
  b.FormFormat = &format;
  ReadForm(bytes, {&b});
  EXPECT_FALSE(b.DesignActivation);
  EXPECT_FALSE(b.Active());
  ASSERT_NE(b.StoredFormData(), nullptr);
  b.Open();  // an Active set later is not the stored one
  EXPECT_EQ(Column(b, "Id"), "3,1,2");
  EXPECT_EQ(b.StoredFormData(), nullptr);
}

TEST(FormData, WithoutStoreDataOnFormOrWhileClosedNoRecordsTravel) {
  TmvxBinaryStreamFormat format;
  TmvxMemTable open("Open"), closed("Closed");
  Define(open);
  Define(closed);
  open.FormFormat = closed.FormFormat = &format;
  closed.StoreDataOnForm = true;
  open.Open();
  Fill(open);
  const auto bytes = WriteForm({&open, &closed});

  TmvxMemTable b1("Open"), b2("Closed");
  Define(b1);
  Define(b2);
  b1.FormFormat = b2.FormFormat = &format;
  ReadForm(bytes, {&b1, &b2});
  EXPECT_TRUE(b1.Active());
  EXPECT_EQ(b1.RecordCount(), 0);
  EXPECT_FALSE(b2.Active());
  b2.Open();  // the empty data stored for a closed table load nothing
  EXPECT_EQ(b2.RecordCount(), 0);
}

TEST(FormData, FaultsOfTheFormDataAreReported) {
  // An open table storing its data needs a format.
  TmvxMemTable a("T");
  Define(a);
  a.StoreDataOnForm = true;
  a.Open();
  AppendRow(a, std::string("1"), std::string("x"));
  try {
    WriteForm({&a});
    FAIL() << "written without a format";
  } catch (const EMemTableError& e) {
    EXPECT_STREQ(e.what(), "No format specified.");
  }

  // Damaged records in the form: the open table reports the format's error and the data are
  // released.
  TmvxBinaryStreamFormat format;
  a.FormFormat = &format;
  auto bytes = WriteForm({&a});
  auto at = std::search(bytes.begin(), bytes.end(), std::begin("KVMT"), std::end("KVMT") - 1);
  ASSERT_NE(at, bytes.end());
  at[8] ^= 1;  // the field count
  // The form's own checksum is made right again, so that only the table data are damaged.
  platform::MemoryStream fixed;
  {
    std::vector<std::uint8_t> body(bytes.begin(), bytes.end() - 4);
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t byte : body) {
      crc ^= byte;
      for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    crc ^= 0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i) body.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
    bytes = body;
  }
  TmvxMemTable b("T");
  Define(b);
  b.FormFormat = &format;
  EXPECT_THROW(ReadForm(bytes, {&b}), EMemTableError);
  EXPECT_EQ(b.StoredFormData(), nullptr);
  EXPECT_EQ(b.RecordCount(), 0);
}

TEST(FormData, AStoredValueOfTheWrongKindRaisesTheReadError) {
  // A stream whose table has "Active" stored as an integer.
  class Impostor : public platform::FormPersistent {
   public:
    std::string FormClassName() const override { return "TmvxMemTable"; }
    std::string FormObjectName() const override { return "T"; }
    void GetPublishedProperties(std::vector<platform::PublishedProperty>& list) override {
      list.push_back({"Active", platform::PropertyKind::Integer, [] { return platform::PropertyValue(std::int64_t{1}); },
                      nullptr, std::int64_t{0}});
    }
  } impostor;
  const auto bytes = WriteForm({&impostor});
  TmvxMemTable t("T");
  Define(t);
  try {
    ReadForm(bytes, {&t});
    FAIL() << "read";
  } catch (const platform::EReadError& e) {
    EXPECT_NE(std::string(e.what()).find("Invalid property value"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("T.Active"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(t.Active());
  EXPECT_FALSE(t.Loading());
  t.Open();  // the table works on
  EXPECT_TRUE(t.Active());
}
