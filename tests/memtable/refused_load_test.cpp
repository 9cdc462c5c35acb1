// Loads that are refused, in every way a sound or a damaged stream can be refused, leave
// the table exactly as it was: a save before and after gives the same bytes, and the
// order of every index, the current index and the current record are the same. A load
// that succeeds leaves nothing locked.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "memtable/binary_format.h"
#include "memtable/mem_table.h"
#include "tests/memtable/test_tables.h"

using namespace memtable;
using namespace dataset;
using memtable_test::Column;

namespace {

// Writes a table stream by hand, so that a test can put into it what no table writes.
class StreamWriter {
 public:
  struct FieldSpec {
    std::string name;
    FieldType type;
    int size;
    bool required;
  };
  explicit StreamWriter(std::vector<FieldSpec> fields) : fields_(std::move(fields)) {}
  // One record: per field an empty optional for null or the value's bytes.
  void Record(const std::vector<const std::vector<std::uint8_t>*>& values) { records_.push_back(values); }

  std::vector<std::uint8_t> Bytes() const {
    std::vector<std::uint8_t> o = {'K', 'V', 'M', 'T', 1, 0, 0, 0};
    U32(o, static_cast<std::uint32_t>(fields_.size()));
    for (const FieldSpec& f : fields_) {
      Text(o, f.name);
      o.push_back(static_cast<std::uint8_t>(f.type));
      U32(o, static_cast<std::uint32_t>(f.size));
      o.push_back(f.required ? 1 : 0);
    }
    U32(o, 0);      // no index definitions
    Text(o, "");    // row order
    U32(o, static_cast<std::uint32_t>(records_.size()));
    for (const auto& rec : records_)
      for (const std::vector<std::uint8_t>* v : rec) {
        if (!v) {
          o.push_back(0);
          continue;
        }
        o.push_back(1);
        U32(o, static_cast<std::uint32_t>(v->size()));
        o.insert(o.end(), v->begin(), v->end());
      }
    U32(o, TableStreamChecksum(o.data(), o.size()));
    return o;
  }

 private:
  static void U32(std::vector<std::uint8_t>& o, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) o.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  static void Text(std::vector<std::uint8_t>& o, const std::string& s) {
    U32(o, static_cast<std::uint32_t>(s.size()));
    o.insert(o.end(), s.begin(), s.end());
  }
  std::vector<FieldSpec> fields_;
  std::vector<std::vector<const std::vector<std::uint8_t>*>> records_;
};

std::vector<std::uint8_t> Int32(std::int32_t v) {
  std::vector<std::uint8_t> b(4);
  std::memcpy(b.data(), &v, 4);
  return b;
}

std::vector<std::uint8_t> Text(const std::string& s, int fieldSize) {
  std::vector<std::uint8_t> b(static_cast<std::size_t>(fieldSize) + 1, 0);
  std::memcpy(b.data(), s.data(), std::min(s.size(), b.size()));
  return b;
}

class RefusedLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    t.GetFieldDefs().Add("Id", ftInteger, 0, true);
    t.GetFieldDefs().Add("Name", ftString, 12);
    t.GetFieldDefs().Add("Born", ftDate);
    t.GetFieldDefs().Add("Notes", ftMemo);
    t.GetIndexDefs().Add("ById", "Id", ixUnique);
    t.GetIndexDefs().Add("ByName", "Name", ixCaseInsensitive);
    t.SetAttachMaxCount(2);
    t.Open();
    // Rows put in at the cursor and slots freed and taken again, so that the row order
    // is not the order of the store's slots.
    for (int id : {10, 20, 30, 40, 50}) Append(id, "n" + std::to_string(60 - id));
    ASSERT_TRUE(t.Locate("Id", Variant(30), 0));
    t.Insert();
    t.FieldByName("Id").SetAsInteger(25);
    t.FieldByName("Name").SetAsString("inserted");
    t.Post();
    ASSERT_TRUE(t.Locate("Id", Variant(10), 0));
    t.Delete();
    ASSERT_TRUE(t.Locate("Id", Variant(50), 0));
    t.Insert();
    t.FieldByName("Id").SetAsInteger(45);
    t.FieldByName("Name").SetAsString("slot");
    t.Post();
    t.SetIndexName("ByName");
    ASSERT_TRUE(t.Locate("Id", Variant(40), 0));
  }

  void Append(int id, const std::string& name) {
    t.Append();
    t.FieldByName("Id").SetAsInteger(id);
    t.FieldByName("Name").SetAsString(name);
    t.FieldByName("Born").SetAsDateTime(40000 + id);
    auto notes = t.CreateBlobStream(t.FieldByName("Notes"), bmWrite);
    notes->Write("memo", 4);
    notes->Close();
    t.Post();
  }

  // Everything a refused load must leave alone.
  std::string State() {
    platform::MemoryStream saved;
    t.SaveThroughFormat(saved, &format);
    std::string out(saved.Bytes().begin(), saved.Bytes().end());
    out += "|index " + t.IndexName() + "|current " + t.FieldByName("Id").AsString() + "|recno " +
           std::to_string(t.GetRecNo());
    const std::string index = t.IndexName();
    const Bookmark here = t.GetBookmark();
    for (const char* name : {"", "ById", "ByName"}) {
      t.SetIndexName(name);
      out += "|" + Column(t, "Id");
    }
    t.SetIndexName(index);
    t.GotoBookmark(here);
    return out;
  }

  // Loads the bytes, expecting a refusal whose text holds `why`.
  void ExpectRefused(const std::vector<std::uint8_t>& bytes, const std::string& why) {
    const std::string before = State();
    platform::MemoryStream stream(bytes);
    try {
      t.LoadThroughFormat(stream, &format);
      ADD_FAILURE() << "loaded; expected: " << why;
    } catch (const EDatabaseError& e) {
      EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
    EXPECT_FALSE(t.ControlsDisabled()) << why;
    EXPECT_FALSE(t.IsLoading()) << why;
    EXPECT_TRUE(t.EnableIndexes()) << why;
    EXPECT_EQ(t.State(), dsBrowse) << why;
    EXPECT_EQ(State(), before) << why;
  }

  TmvxMemTable t{"people"};
  TmvxBinaryStreamFormat format;
  std::vector<StreamWriter::FieldSpec> fields{{"Id", ftInteger, 0, false}, {"Name", ftString, 12, false}};
};

TEST_F(RefusedLoad, ValuesThatDoNotFitLeaveTheTableAsItWas) {
  const auto one = Int32(1), two = Int32(2), name = Text("ok", 12);
  // A text where the table has an integer.
  {
    StreamWriter w({{"Id", ftString, 5, false}, {"Name", ftString, 12, false}});
    const auto abc = Text("abc", 5), seven = Text("7", 5);
    w.Record({&seven, &name});
    w.Record({&abc, &name});
    ExpectRefused(w.Bytes(), "field 'Id' cannot hold");
  }
  // A null in the required field, after records that fit.
  {
    StreamWriter w(fields);
    w.Record({&one, &name});
    w.Record({nullptr, &name});
    ExpectRefused(w.Bytes(), "Field 'Id' must have a value");
  }
  // A text longer than the table's field, from a stream whose field is longer.
  {
    StreamWriter w({{"Id", ftInteger, 0, false}, {"Name", ftString, 40, false}});
    const auto longName = Text(std::string(30, 'x'), 40);
    w.Record({&one, &longName});
    ExpectRefused(w.Bytes(), "field 'Name' is shorter");
  }
  // A number that the integer field cannot hold.
  {
    StreamWriter w({{"Id", ftLargeint, 0, false}});
    std::vector<std::uint8_t> big(8, 0);
    big[5] = 1;  // 2^40
    w.Record({&big});
    ExpectRefused(w.Bytes(), "field 'Id' cannot hold");
  }
  // Two records with one key of the unique index: refused before anything is replaced.
  {
    StreamWriter w(fields);
    w.Record({&one, &name});
    w.Record({&two, &name});
    w.Record({&one, &name});
    ExpectRefused(w.Bytes(), kDuplicateKeyText);
  }
}

TEST_F(RefusedLoad, DamagedValuesAreRefusedBeforeTheyAreRead) {
  const auto one = Int32(1);
  // A text without its end: reading it would run past the value.
  {
    StreamWriter w(fields);
    const std::vector<std::uint8_t> unended(13, 'y');
    w.Record({&one, &unended});
    ExpectRefused(w.Bytes(), "has no end");
  }
  // A value shorter than its field.
  {
    StreamWriter w(fields);
    const std::vector<std::uint8_t> shortId(2, 1);
    w.Record({&shortId, nullptr});
    ExpectRefused(w.Bytes(), "wrong size");
  }
  // Dates no calendar holds, as a date and as a date-time.
  {
    StreamWriter w({{"Id", ftInteger, 0, false}, {"Born", ftDate, 0, false}});
    std::vector<std::uint8_t> smallest = Int32(INT_MIN);
    smallest.resize(8, 0);  // a date's slot is 8 bytes wide, its day number the first 4
    w.Record({&one, &smallest});
    ExpectRefused(w.Bytes(), "no date");
  }
  {
    StreamWriter w({{"Id", ftInteger, 0, false}, {"Born", ftDateTime, 0, false}});
    std::vector<std::uint8_t> huge(8);
    const double ms = 1e300;
    std::memcpy(huge.data(), &ms, 8);
    w.Record({&one, &huge});
    ExpectRefused(w.Bytes(), "no date");
  }
  // A stream cut short and one with a bit changed.
  {
    StreamWriter w(fields);
    const auto name = Text("ok", 12);
    w.Record({&one, &name});
    std::vector<std::uint8_t> bytes = w.Bytes();
    std::vector<std::uint8_t> cut(bytes.begin(), bytes.end() - 9);
    ExpectRefused(cut, "damaged");
    bytes[bytes.size() - 8] ^= 4;
    ExpectRefused(bytes, "damaged");
  }
}

TEST(TableStream, ChecksumIsTheStandardCrc32AtEveryLength) {
  const std::string check = "123456789";
  EXPECT_EQ(TableStreamChecksum(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0xCBF43926u);
  // Eight bytes a step and one byte a step give the same sum, whatever the tail.
  std::vector<std::uint8_t> bytes(100);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
  for (std::size_t n = 0; n <= bytes.size(); ++n) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
      crc ^= bytes[i];
      for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    EXPECT_EQ(TableStreamChecksum(bytes.data(), n), crc ^ 0xFFFFFFFFu) << n;
  }
}

TEST_F(RefusedLoad, AGoodLoadReplacesTheRecordsAndReleasesTheStore) {
  // A table on the same store, used from another thread after a refused and after a
  // good load: neither leaves the store's lock held.
  TmvxMemTable other("other");
  other.SetAttachedTo(&t);
  other.Open();
  auto walkElsewhere = [&] {
    auto done = std::async(std::launch::async, [&] {
      int n = 0;
      for (other.First(); !other.Eof(); other.Next()) ++n;
      return n;
    });
    EXPECT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    return done.get();
  };
  const auto one = Int32(1), two = Int32(2), name = Text("Zed", 12), other2 = Text("abe", 12);
  StreamWriter dup(fields);
  dup.Record({&one, &name});
  dup.Record({&one, &other2});
  platform::MemoryStream refused(dup.Bytes());
  EXPECT_THROW(t.LoadThroughFormat(refused, &format), EMemTableDupKey);
  EXPECT_FALSE(t.ControlsDisabled());
  EXPECT_EQ(walkElsewhere(), 6);
  EXPECT_EQ(t.RecordCount(), 6);

  StreamWriter good(fields);
  good.Record({&two, &name});
  good.Record({&one, &other2});
  platform::MemoryStream loaded(good.Bytes());
  t.LoadThroughFormat(loaded, &format);
  EXPECT_FALSE(t.ControlsDisabled());
  EXPECT_EQ(walkElsewhere(), 2);
  // Row order is the stream's, the chosen index orders them, fields the stream lacks are null.
  EXPECT_EQ(t.IndexName(), "ByName");
  EXPECT_EQ(Column(t, "Id"), "1,2");
  t.SetIndexName("");
  EXPECT_EQ(Column(t, "Id"), "2,1");
  EXPECT_EQ(Column(t, "Born"), "null,null");
  EXPECT_EQ(t.LoadCount(), 2);
  EXPECT_TRUE(t.LoadedCompletely());
  // The unique index holds: a third record with a taken key is refused.
  t.Append();
  t.FieldByName("Id").SetAsInteger(1);
  EXPECT_THROW(t.Post(), EMemTableDupKey);
  t.Cancel();
  other.Close();
}

}  // namespace
