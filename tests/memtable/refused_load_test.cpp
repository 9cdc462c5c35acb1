// Loads that are refused, in every way a sound or a damaged stream can be refused, leave
// the table exactly as it was: a save before and after gives the same bytes, and the
// order of every index, the current index and the current record are the same. A load
// that succeeds leaves nothing locked.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "memtable/binary_format.h"
#include "memtable/mem_table.h"
#include "tests/memtable/test_tables.h"

using namespace memtable;
using namespace dataset;
using memtable_test::Column;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Value = std::optional<Bytes>;  // no value: null
struct Spec {
  std::string name;
  FieldType type;
  int size;
};

// A table stream written by hand, so that it can hold what no table writes.
Bytes Stream(const std::vector<Spec>& fields, const std::vector<std::vector<Value>>& records) {
  Bytes o = {'K', 'V', 'M', 'T', 1, 0, 0, 0};
  auto u32 = [&](std::size_t v) {
    for (int i = 0; i < 4; ++i) o.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  auto bytes = [&](const auto& b) {
    u32(b.size());
    o.insert(o.end(), b.begin(), b.end());
  };
  u32(fields.size());
  for (const Spec& f : fields) {
    bytes(f.name);
    o.push_back(static_cast<std::uint8_t>(f.type));
    u32(static_cast<std::size_t>(f.size));
    o.push_back(0);  // not required
  }
  u32(0);                 // no index definitions
  bytes(std::string());  // row order
  u32(records.size());
  for (const auto& record : records)
    for (const Value& v : record) {
      o.push_back(v ? 1 : 0);
      if (v) bytes(*v);
    }
  u32(TableStreamChecksum(o.data(), o.size()));
  return o;
}

// A value's bytes, widened with zeros to `width`; a text with its end in a field of `width`.
template <typename T>
Bytes Raw(T v, std::size_t width = sizeof(T)) {
  Bytes b(std::max(width, sizeof(T)), 0);
  std::memcpy(b.data(), &v, sizeof(T));
  b.resize(width);
  return b;
}
Bytes Text(const std::string& s, std::size_t width) {
  Bytes b(s.begin(), s.end());
  b.resize(width + 1, 0);
  return b;
}

const Spec kId{"Id", ftInteger, 0}, kName{"Name", ftString, 12};

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
    for (int id : {10, 20, 30, 40, 50}) {
      t.Append();
      t.FieldByName("Id").SetAsInteger(id);
      t.FieldByName("Name").SetAsString("n" + std::to_string(60 - id));
      t.FieldByName("Born").SetAsDateTime(40000 + id);
      auto notes = t.CreateBlobStream(t.FieldByName("Notes"), bmWrite);
      notes->Write("memo", 4);
      notes->Close();
      t.Post();
    }
    // Rows put in at the cursor and a slot freed and taken again, so that the row order
    // is not the order of the store's slots.
    for (auto [at, id] : {std::pair{30, 25}, {10, 0}, {50, 45}}) {
      ASSERT_TRUE(t.Locate("Id", Variant(at), 0));
      if (id == 0) {
        t.Delete();
        continue;
      }
      t.Insert();
      t.FieldByName("Id").SetAsInteger(id);
      t.FieldByName("Name").SetAsString("in" + std::to_string(id));
      t.Post();
    }
    t.SetIndexName("ByName");
    ASSERT_TRUE(t.Locate("Id", Variant(40), 0));
    other.SetAttachedTo(&t);
    other.Open();
  }

  // The records another table on the store sees, walked from another thread: a load that
  // kept the store's lock leaves it waiting, and the test ends there.
  int WalkElsewhere() {
    auto done = std::async(std::launch::async, [&] {
      int n = 0;
      for (other.First(); !other.Eof(); other.Next()) ++n;
      return n;
    });
    if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      std::fprintf(stderr, "%s: the store's lock was kept\n", testing::UnitTest::GetInstance()->current_test_info()->name());
      std::_Exit(1);
    }
    return done.get();
  }

  // Everything a refused load must leave alone.
  std::string State() {
    platform::MemoryStream saved;
    t.SaveThroughFormat(saved, &format);
    std::string out(saved.Bytes().begin(), saved.Bytes().end());
    out += "|" + t.IndexName() + "|" + t.FieldByName("Id").AsString() + "|" + std::to_string(t.GetRecNo());
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
  void ExpectRefused(const Bytes& bytes, const std::string& why) {
    const std::string before = State();
    platform::MemoryStream stream(bytes);
    try {
      t.LoadThroughFormat(stream, &format);
      ADD_FAILURE() << "loaded; expected: " << why;
    } catch (const EDatabaseError& e) {
      EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
    EXPECT_FALSE(t.ControlsDisabled() || t.IsLoading() || !t.EnableIndexes()) << why;
    EXPECT_EQ(t.State(), dsBrowse) << why;
    EXPECT_EQ(State(), before) << why;
    EXPECT_EQ(WalkElsewhere(), 6) << why;
  }

  TmvxMemTable t{"people"}, other{"other"};
  TmvxBinaryStreamFormat format;
};

TEST_F(RefusedLoad, ValuesThatDoNotFitAndDamagedStreamsLeaveTheTableAsItWas) {
  const Value one = Raw(1), ok = Text("ok", 12);
  const struct {
    std::vector<Spec> fields;
    std::vector<std::vector<Value>> records;
    const char* why;
  } cases[] = {
      // Values that do not fit the table, after records that do.
      {{{"Id", ftString, 5}, kName}, {{Text("7", 5), ok}, {Text("abc", 5), ok}}, "field 'Id' cannot hold"},
      {{{"Id", ftLargeint, 0}}, {{Raw(std::int64_t{1} << 40)}}, "field 'Id' cannot hold"},
      {{kId, kName}, {{one, ok}, {std::nullopt, ok}}, "Field 'Id' must have a value"},
      {{kId, {"Name", ftString, 40}}, {{one, Text(std::string(30, 'x'), 40)}}, "field 'Name' is shorter"},
      // One key twice in the unique index: refused before anything is replaced.
      {{kId, kName}, {{one, ok}, {Raw(2), ok}, {one, ok}}, kDuplicateKeyText},
      // Damaged values, refused before they are read: a text without its end, a value shorter
      // than its field, dates no calendar holds (a day number in a date's 8-byte slot, and
      // milliseconds in a date-time).
      {{kId, kName}, {{one, Bytes(13, 'y')}}, "has no end"},
      {{kId, kName}, {{Bytes(2, 1), std::nullopt}}, "wrong size"},
      {{kId, {"Born", ftDate, 0}}, {{one, Raw(INT_MIN, 8)}}, "no date"},
      {{kId, {"Born", ftDateTime, 0}}, {{one, Raw(1e300)}}, "no date"},
      // Two fields of one name (found by the fuzzer: the second was never reached by name).
      {{kId, kName, {"NAME", ftString, 6}}, {{one, ok, Text("x", 6)}}, "two fields named"},
  };
  for (const auto& c : cases) ExpectRefused(Stream(c.fields, c.records), c.why);
  // A stream cut short and one with a bit changed.
  Bytes bytes = Stream({kId, kName}, {{one, ok}});
  ExpectRefused(Bytes(bytes.begin(), bytes.end() - 9), "damaged");
  bytes[bytes.size() - 8] ^= 4;
  ExpectRefused(bytes, "damaged");
}

// A load from another data set that would leave one key twice in a unique index takes nothing,
// as a stream does, replacing or appending; so does one whose index filter fails while the keys
// are checked, and one from a table on the same store (it would walk the records it adds without
// end): the table is as it was, filtered, on its record, and every table on the store still
// walks its records. Without the repeat the load replaces the records, in the source's order,
// with the free slots of the table's store taken again.
TEST_F(RefusedLoad, ADataSetThatRepeatsAUniqueKeyIsRefusedWhole) {
  using testing::StrEq;
  using testing::ThrowsMessage;
  TmvxMemTable source, shown;  // shown: records the table's filter shows
  memtable_test::IdsAndNames(source, 12, {{"1", "a"}, {"2", "b"}, {"3", "c"}, {"1", "d"}});  // its own key twice
  memtable_test::IdsAndNames(shown, 12, {{"61", ""}, {"62", ""}});
  t.SetFilter("Id > 10");
  t.SetFiltered(true);
  auto refused = [&](auto load, const auto& throws) {
    const std::string before = State();
    ASSERT_TRUE(t.Locate("Id", Variant(40), 0));
    EXPECT_THAT(load, throws);
    EXPECT_EQ(t.FieldByName("Id").AsInteger(), 40);  // on its record
    EXPECT_TRUE(t.Filtered());
    EXPECT_FALSE(t.ControlsDisabled() || !t.EnableIndexes() || t.BulkOperation() != 0);
    EXPECT_EQ(State(), before);
    EXPECT_EQ(WalkElsewhere(), 6);
    EXPECT_EQ(t.LoadCount(), 0);
  };
  const auto duplicate = ThrowsMessage<EMemTableDupKey>(StrEq(kDuplicateKeyText));
  refused([&] { t.LoadRecordsFrom(source, 0); }, duplicate);
  bool armed = false;
  t.OnLoadRecord = [&](TmvxCustomMemTable&, bool&) { armed = true; };
  t.OnFilterIndex = [&](TmvxCustomMemTable&, TmvxIndex&, bool&) {
    if (armed) throw EMemTableError("the index filter failed");
  };
  refused([&] { t.LoadRecordsFrom(shown, 0); }, ThrowsMessage<EMemTableError>(StrEq("the index filter failed")));
  t.OnLoadRecord = nullptr;
  t.OnFilterIndex = nullptr;
  refused([&] { t.LoadRecordsFrom(other, TmvxMemTable::mtcpoAppend); }, testing::Throws<EMemTableError>());
  source.Last();
  source.Edit();
  source.FieldByName("Id").SetAsInteger(20);  // a key the table holds
  source.Post();
  refused([&] { t.LoadRecordsFrom(source, TmvxMemTable::mtcpoAppend); }, duplicate);
  source.Last();
  source.Edit();
  source.FieldByName("Id").SetAsInteger(21);
  source.Post();
  t.LoadRecordsFrom(source, 0);
  t.SetIndexName("");
  EXPECT_EQ(Column(t, "Id") + " " + std::to_string(t.LoadCount()), "21 4");
  t.SetFiltered(false);
  EXPECT_EQ(Column(t, "Id"), "1,2,3,21");
  EXPECT_EQ(WalkElsewhere(), 4);
}

// A filtered detail table with a unique index on Name: a load whose records repeat a name is
// refused with the stream's text, the same records through a stream likewise, and the filter
// and the master link are back. A filter handler that raises as the filter comes back on
// after a load that went in is passed on.
TEST(LoadFromDataSet, ARepeatedKeyAndARaisingFilterAreReportedAndTheLinksComeBack) {
  TmvxMemTable master("master"), t("t"), source("source");
  master.GetFieldDefs().Add("Name", ftString, 5);
  master.Open();
  for (const char* name : {"z1", "z2"}) memtable_test::AppendRow(master, std::string(name));
  t.GetIndexDefs().Add("ByName", "Name", ixUnique);
  memtable_test::IdsAndNames(t, 5, {{"5", "z1"}, {"6", "z2"}});
  memtable_test::IdsAndNames(source, 5, {{"1", "a1"}, {"2", "a2"}, {"3", "a3"}, {"4", "a1"}});
  t.SetFilter("Id > 1");
  t.SetFiltered(true);
  t.SetIndexName("ByName");
  t.SetMasterFields("Name");
  t.SetMasterSource(&master);
  master.Last();
  using testing::StrEq;
  EXPECT_THAT([&] { t.LoadRecordsFrom(source, 0); }, testing::ThrowsMessage<EMemTableDupKey>(StrEq(kDuplicateKeyText)));
  EXPECT_EQ(t.MasterSource(), &master);
  EXPECT_TRUE(t.Filtered());
  EXPECT_EQ(Column(t, "Id"), "6");
  platform::MemoryStream stream;
  TmvxBinaryStreamFormat format;
  source.SaveThroughFormat(stream, &format);
  EXPECT_THAT([&] { t.LoadThroughFormat(stream, &format); }, testing::ThrowsMessage<EMemTableDupKey>(StrEq(kDuplicateKeyText)));
  t.SetMasterSource(nullptr);
  EXPECT_EQ(Column(t, "Id"), "5,6");

  source.Last();
  source.Delete();
  bool armed = false;
  t.OnLoad = [&](TmvxCustomMemTable&, TmvxMemTableStorageType, platform::ByteStream*) { armed = true; };
  t.OnFilterRecord = [&](DataSet&, bool& accept) {
    if (armed) throw EDatabaseError("the filter refused");
    accept = true;
  };
  EXPECT_THAT([&] { t.LoadRecordsFrom(source, 0); }, testing::ThrowsMessage<EDatabaseError>(StrEq("the filter refused")));
  armed = false;
  EXPECT_TRUE(t.Filtered());
  EXPECT_FALSE(t.ControlsDisabled() || !t.EnableIndexes() || t.BulkOperation() != 0);
  t.Refresh();
  EXPECT_EQ(Column(t, "Id"), "2,3");
  // The index holds each name once: a repeat is refused.
  t.Append();
  t.FieldByName("Id").SetAsInteger(9);
  t.FieldByName("Name").SetAsString("a1");
  EXPECT_THROW(t.Post(), EMemTableDupKey);
  t.Cancel();
}

TEST(TableStream, ChecksumIsTheStandardCrc32AtEveryLength) {
  const std::string check = "123456789";
  EXPECT_EQ(TableStreamChecksum(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0xCBF43926u);
  // Eight bytes a step give what one byte a step gives, whatever the tail.
  Bytes bytes(100);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t n = 0;; ++n) {
    EXPECT_EQ(TableStreamChecksum(bytes.data(), n), crc ^ 0xFFFFFFFFu) << n;
    if (n == bytes.size()) break;
    crc ^= bytes[n];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
}

TEST_F(RefusedLoad, AGoodLoadReplacesTheRecordsAndLeavesNothingLocked) {
  const Value one = Raw(1);
  platform::MemoryStream loaded(Stream({kId, kName}, {{Raw(2), Text("Zed", 12)}, {one, Text("abe", 12)}}));
  t.LoadThroughFormat(loaded, &format);
  EXPECT_FALSE(t.ControlsDisabled());
  EXPECT_EQ(WalkElsewhere(), 2);
  // Row order is the stream's, the chosen index orders them, fields the stream lacks are
  // null, and the unique index holds.
  EXPECT_EQ(Column(t, "Id"), "1,2");
  t.SetIndexName("");
  EXPECT_EQ(Column(t, "Id"), "2,1");
  EXPECT_EQ(Column(t, "Born"), "null,null");
  t.Append();
  t.FieldByName("Id").SetAsInteger(1);
  EXPECT_THROW(t.Post(), EMemTableDupKey);
  t.Cancel();
}

}  // namespace
