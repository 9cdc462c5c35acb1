// Blob streams, the delta handler, the stream format frame, the table's own stream
// format (round trips through a file read back by another process), the persistent
// file, and copying between data sets.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <utility>

#include "memtable/binary_format.h"
#include "memtable/mem_table.h"
#include "tests/memtable/test_tables.h"

using namespace memtable;
using namespace dataset;
using memtable_test::AppendRow;
using memtable_test::Column;

namespace {

std::string TempPath(const std::string& name) {
  return std::string(KV_BINARY_DIR) + "/memtable_" + std::to_string(::getpid()) + "_" + name;
}

std::string ReadBlob(TmvxMemTable& t, const char* field) {
  auto s = t.CreateBlobStream(t.FieldByName(field), bmRead);
  return std::string(s->Bytes().begin(), s->Bytes().end());
}

void WriteBlob(TmvxMemTable& t, const char* field, const std::string& bytes) {
  auto s = t.CreateBlobStream(t.FieldByName(field), bmWrite);
  s->Write(bytes.data(), bytes.size());
}

// A table of every common kind of field, with nulls, indexes and a blob.
void Define(TmvxMemTable& t) {
  t.GetFieldDefs().Add("Id", ftInteger);
  t.GetFieldDefs().Add("Name", ftString, 12);
  t.GetFieldDefs().Add("Value", ftFloat);
  t.GetFieldDefs().Add("When", ftDateTime);
  t.GetFieldDefs().Add("Flag", ftBoolean);
  t.GetFieldDefs().Add("Big", ftLargeint);
  t.GetFieldDefs().Add("Notes", ftMemo);
  t.GetIndexDefs().Add("ByName", "Name", ixCaseInsensitive);
  t.GetIndexDefs().Add("ByValueDown", "Value", ixDescending);
}

void Fill(TmvxMemTable& t, int n) {
  for (int i = 1; i <= n; ++i) {
    t.Append();
    t.FieldByName("Id").SetAsInteger(i);
    if (i % 4) t.FieldByName("Name").SetAsString(std::string(i % 2 ? "Row" : "row") + std::to_string(i % 7));
    if (i % 5) t.FieldByName("Value").SetAsFloat(i * 1.25 - 3);
    if (i % 3) t.FieldByName("When").SetAsDateTime(45000.5 + i);
    t.FieldByName("Flag").SetAsBoolean(i % 2 == 0);
    if (i % 6) t.FieldByName("Big").SetAsInteger(std::int64_t{1} << (30 + i % 30));
    if (i % 2) WriteBlob(t, "Notes", std::string("note ") + std::string(static_cast<std::size_t>(i), '\0') + "end");
    t.Post();
  }
}

// The whole table as text: every record in each index's order, nulls marked.
std::string Dump(TmvxMemTable& t) {
  std::ostringstream out;
  for (const char* index : {"", "ByName", "ByValueDown"}) {
    t.SetIndexName(index);
    out << "[" << index << "]\n";
    for (t.First(); !t.Eof(); t.Next()) {
      for (int i = 0; i < t.FieldCount(); ++i) {
        Field& f = t.GetField(i);
        if (f.IsNull())
          out << "null";
        else if (f.IsBlob())
          out << ReadBlob(t, f.FieldName().c_str()).size() << ":" << ReadBlob(t, f.FieldName().c_str()).substr(0, 5);
        else
          out << f.AsString();
        out << "|";
      }
      out << "\n";
    }
  }
  t.SetIndexName("");
  return out.str();
}

// A data set of another kind than the in-memory table: records as their fields' bytes in a
// list, no indexes, no searching of its own. A buffer: its row, its bookmark flag, then a null
// flag and the value of each field.
class ListDataSet : public DataSet {
 public:
  using DataSet::DataSet;
  ~ListDataSet() override { Close(); }
  int GetRecordCount() override { return static_cast<int>(rows_.size()); }
  bool GetFieldData(const Field* f, void* buffer) override {
    const std::uint8_t* slot = Slot(f);
    if (slot && slot[0] && buffer) std::memcpy(buffer, slot + 1, static_cast<std::size_t>(f->DataSize()));
    return slot && slot[0];
  }
  void SetFieldData(Field* f, const void* buffer) override {
    if (std::uint8_t* slot = Slot(f)) {
      slot[0] = buffer != nullptr;
      if (buffer) std::memcpy(slot + 1, buffer, static_cast<std::size_t>(f->DataSize()));
      DataEvent(deFieldChange, f);
    }
  }
  bool BookmarkValid(const Bookmark& b) override { return b.size() == 1 && b[0] < rows_.size(); }
  int CompareBookmarks(const Bookmark& a, const Bookmark& b) override { return (b < a) - (a < b); }

 protected:
  RecordBuffer AllocRecordBuffer() override { return new std::uint8_t[static_cast<std::size_t>(GetRecordSize())](); }
  void FreeRecordBuffer(RecordBuffer& buffer) override { delete[] std::exchange(buffer, nullptr); }
  int GetRecordSize() override { return 2 + size_; }
  GetResult GetRecord(RecordBuffer buffer, GetMode mode, bool) override {
    const int count = static_cast<int>(rows_.size());
    if (mode == gmNext && ++cursor_ >= count) return cursor_ = count, grEOF;
    if (mode == gmPrior && --cursor_ < 0) return cursor_ = -1, grBOF;
    if (cursor_ < 0 || cursor_ >= count) return grError;
    buffer[0] = static_cast<std::uint8_t>(cursor_);
    buffer[1] = bfCurrent;
    std::memcpy(buffer + 2, rows_[static_cast<std::size_t>(cursor_)].data(), static_cast<std::size_t>(size_));
    return grOK;
  }
  void InternalOpen() override {
    if (DefaultFields()) CreateFields();
    BindFields(true);
    size_ = 0;
    for (int i = 0; i < FieldCount(); ++i) size_ += 1 + GetField(i).DataSize();
    SetBookmarkSize(1);
    open_ = true;
  }
  void InternalClose() override {
    BindFields(false);
    DestroyFields();
    open_ = false;
  }
  void InternalInitFieldDefs() override {}
  bool IsCursorOpen() override { return open_; }
  void InternalFirst() override { cursor_ = -1; }
  void InternalLast() override { cursor_ = static_cast<int>(rows_.size()); }
  void InternalInitRecord(RecordBuffer buffer) override { std::memset(buffer + 2, 0, static_cast<std::size_t>(size_)); }
  void InternalPost() override {
    DataSet::InternalPost();
    std::vector<std::uint8_t> row(ActiveBuffer() + 2, ActiveBuffer() + 2 + size_);
    if (State() == dsEdit) {
      rows_[ActiveBuffer()[0]] = std::move(row);
    } else {
      rows_.push_back(std::move(row));
      cursor_ = static_cast<int>(rows_.size()) - 1;
    }
  }
  void InternalDelete() override { rows_.erase(rows_.begin() + cursor_); }
  void InternalGotoBookmark(const Bookmark& b) override { cursor_ = b[0]; }
  void InternalSetToRecord(RecordBuffer buffer) override { cursor_ = buffer[0]; }
  void GetBookmarkData(RecordBuffer buffer, Bookmark& data) override { data.assign(1, buffer[0]); }
  void SetBookmarkData(RecordBuffer buffer, const Bookmark& data) override { buffer[0] = data[0]; }
  BookmarkFlag GetBookmarkFlag(RecordBuffer buffer) override { return static_cast<BookmarkFlag>(buffer[1]); }
  void SetBookmarkFlag(RecordBuffer buffer, BookmarkFlag flag) override { buffer[1] = flag; }

 private:
  std::uint8_t* Slot(const Field* field) {
    if (!HasActiveRecord() && State() == dsBrowse) return nullptr;
    std::uint8_t* slot = ActiveBuffer() + 2;
    for (int i = 0; i < field->Index(); ++i) slot += 1 + GetField(i).DataSize();
    return slot;
  }
  std::vector<std::vector<std::uint8_t>> rows_;
  int cursor_ = -1, size_ = 0;
  bool open_ = false;
};

}  // namespace

TEST(BlobStream, ReadsWritesSeeksAndTruncates) {
  TmvxMemTable t;
  t.GetFieldDefs().Add("Id", ftInteger);
  t.GetFieldDefs().Add("Data", ftBlob);
  t.Open();
  t.Append();
  EXPECT_THROW(t.CreateBlobStream(t.FieldByName("Id"), bmRead), EDatabaseError);  // not out of line
  WriteBlob(t, "Data", "hello world");
  t.Post();
  EXPECT_THROW(t.CreateBlobStream(t.FieldByName("Data"), bmWrite), EDatabaseError);  // browsing
  EXPECT_EQ(ReadBlob(t, "Data"), "hello world");
  t.Edit();
  {
    auto s = t.CreateBlobStream(t.FieldByName("Data"), bmReadWrite);
    s->Seek(6, platform::SeekOrigin::Begin);
    s->Write("there", 5);
    s->Seek(0, platform::SeekOrigin::End);
    s->Write("!", 1);
  }
  t.Post();
  EXPECT_EQ(ReadBlob(t, "Data"), "hello there!");
  t.Edit();
  t.CreateBlobStream(t.FieldByName("Data"), bmWrite);  // opened for writing, nothing written
  t.Post();
  EXPECT_TRUE(t.FieldByName("Data").IsNull());
  // Compression through the table's events: the block holds what the event made.
  t.OnCompressBlobStream = [](TmvxCustomMemTable&, platform::ByteStream& in, platform::ByteStream& out) {
    in.Seek(0, platform::SeekOrigin::Begin);
    char c;
    std::string s;
    while (in.Read(&c, 1) == 1) s.insert(s.begin(), c);
    out.Write(s.data(), s.size());
  };
  t.OnDecompressBlobStream = t.OnCompressBlobStream;
  t.Edit();
  WriteBlob(t, "Data", "abc");
  t.Post();
  EXPECT_EQ(ReadBlob(t, "Data"), "abc");
  t.OnDecompressBlobStream = nullptr;
  EXPECT_EQ(ReadBlob(t, "Data"), "cba");
}

namespace {

class CountingHandler : public TmvxCustomDeltaHandler {
 public:
  std::string log;
  void ResolveInsert(bool&, std::uint8_t&) override { log += "I" + Id(false) + " "; }
  void ResolveDelete(bool&, std::uint8_t&) override { log += "D" + Id(true) + " "; }
  void ResolveModify(bool& retry, std::uint8_t& state) override {
    log += "M" + Id(false) + "<" + Id(true) + " ";
    if (Id(false) == "30") {  // handed on as unmodified
      retry = true;
      state = usUnmodified;
    }
  }
  void ResolveUnmodified(bool&, std::uint8_t&) override { log += "U" + Id(false) + " "; }

 private:
  std::string Id(bool original) { return GetValue(Table()->FieldByName("Id"), original).ToString(); }
};

}  // namespace

TEST(DeltaHandler, HandsEachChangedRecordToItsHook) {
  TmvxMemTable t;
  t.GetFieldDefs().Add("Id", ftInteger);
  t.Open();
  for (int i = 1; i <= 3; ++i) AppendRow(t, std::to_string(i));
  CountingHandler handler;
  EXPECT_THROW(handler.Resolve(), EMemTableError);
  t.SetDeltaHandler(&handler);
  EXPECT_EQ(handler.Table(), &t);
  t.SetEnableVersioning(true);
  t.SetVersioningMode(mtvmAllSinceCheckPoint);
  AppendRow(t, std::string("4"));  // inserted
  AppendRow(t, std::string("5"));  // inserted, then deleted: never existed
  t.Locate("Id", Variant(5), 0);
  t.Delete();
  t.Locate("Id", Variant(2), 0);  // edited twice
  t.Edit();
  t.FieldByName("Id").SetAsInteger(20);
  t.Post();
  t.Edit();
  t.FieldByName("Id").SetAsInteger(30);
  t.Post();
  t.Locate("Id", Variant(3), 0);
  t.Delete();
  handler.Resolve();
  EXPECT_EQ(handler.log, "U1 M30<2 U30 D3 I4 U5 ");
  t.SetDeltaHandler(nullptr);
  EXPECT_EQ(handler.Table(), nullptr);
  {
    TmvxMemTable gone;
    gone.SetDeltaHandler(&handler);
  }
  EXPECT_EQ(handler.Table(), nullptr);  // a table that goes away lets go of its handler
  EXPECT_THROW(handler.Resolve(), EMemTableError);
}

TEST(StreamFormat, ChoosesFieldsAndRestoresTheTable) {
  TmvxMemTable t;
  t.GetFieldDefs().Add("Id", ftInteger);
  t.AddField("Id", ftInteger);
  t.AddField("Hidden", ftString, 5).Visible = false;
  t.AddField("Calc", ftInteger, 0, fkCalculated);
  t.AddField("Pic", ftGraphic);
  t.Open();
  TmvxBinaryStreamFormat format;
  format.DetermineSaveFields(t);
  EXPECT_EQ(format.SaveFields, (std::vector<int>{0, 1, -1, 3}));
  format.InvisibleOptions = 0;
  format.BlobOptions = sfLoad;
  format.DetermineSaveFields(t);
  EXPECT_EQ(format.SaveFields, (std::vector<int>{0, -1, -1, -1}));
  TmvxBinaryStreamFormat copy;
  copy.Assign(format);
  EXPECT_EQ(copy.InvisibleOptions, 0u);
  for (int i = 1; i <= 6; ++i) AppendRow(t, std::to_string(i));
  // A filtered table with a range saves every record, and is filtered again afterwards.
  t.SetFilter("Id > 4");
  t.SetFiltered(true);
  platform::MemoryStream stream;
  TmvxBinaryStreamFormat plain;
  t.SaveThroughFormat(stream, &plain);
  EXPECT_TRUE(t.Filtered());
  EXPECT_EQ(Column(t, "Id"), "5,6");
  EXPECT_EQ(t.SaveCount(), 6);
  EXPECT_TRUE(t.SavedCompletely());
  EXPECT_THROW(t.SaveThroughFormat(stream, nullptr), EMemTableError);
}

// A refresh handler that raises while a filtered table is saved ends the save (each time) with
// its error, and gives back the store's lock (to another thread, within a bounded wait), the
// controls and the filter.
TEST(StreamFormat, ARefreshHandlerThatRaisesDuringASaveLeavesTheTableWhole) {
  for (bool before : {true, false}) {
    SCOPED_TRACE(before ? "BeforeRefresh" : "AfterRefresh");
    TmvxMemTable t;
    t.GetFieldDefs().Add("Id", ftInteger);
    t.Open();
    for (int i = 1; i <= 6; ++i) AppendRow(t, std::to_string(i));
    t.SetFilter("Id > 4");
    t.SetFiltered(true);
    (before ? t.BeforeRefresh : t.AfterRefresh) = [](DataSet&) { throw EDatabaseError("refresh refused"); };
    platform::MemoryStream stream;
    TmvxBinaryStreamFormat format;
    EXPECT_THROW(t.SaveThroughFormat(stream, &format), EDatabaseError);
    EXPECT_THROW(t.SaveThroughFormat(stream, &format), EDatabaseError);
    std::future<void> other = std::async(std::launch::async, [&] { TmvxCommon::Guard g(t.Common()); });
    bool through = other.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    EXPECT_TRUE(through);
    for (int kept = 0; !through && kept < 4; ++kept) {  // the kept lock is given up so that the test ends
      t.Common().Leave();
      through = other.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    }
    ASSERT_TRUE(through);
    other.get();
    EXPECT_FALSE(t.ControlsDisabled());
    t.BeforeRefresh = t.AfterRefresh = nullptr;
    EXPECT_EQ(Column(t, "Id"), "5,6");
  }
}

TEST(BinaryFormat, RoundTripsThroughAFileReadByAnotherProcess) {
  const std::string path = TempPath("roundtrip.kvmt"), dumpPath = TempPath("roundtrip.dump");
  TmvxBinaryStreamFormat format;
  TmvxMemTable t;
  Define(t);
  t.DefaultFormat = &format;
  t.Open();
  Fill(t, 40);
  t.SetIndexName("ByName");
  t.SaveToFile(path);
  std::string mine = Dump(t);
  // The child loads the file into a new table and writes the same dump.
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::setenv("KV_MEMTABLE_CHILD_IN", path.c_str(), 1);
    ::setenv("KV_MEMTABLE_CHILD_OUT", dumpPath.c_str(), 1);
    ::execl("/proc/self/exe", "memtable_tests", "--gtest_filter=BinaryFormatChild.*", nullptr);
    ::_exit(127);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  std::ifstream in(dumpPath, std::ios::binary);
  std::stringstream theirs;
  theirs << in.rdbuf();
  EXPECT_EQ(theirs.str(), mine);
  EXPECT_NE(mine.find("null|"), std::string::npos);
  std::remove(path.c_str());
  std::remove(dumpPath.c_str());
}

TEST(BinaryFormatChild, LoadsAndDumps) {
  const char* in = std::getenv("KV_MEMTABLE_CHILD_IN");
  const char* out = std::getenv("KV_MEMTABLE_CHILD_OUT");
  if (!in || !out) GTEST_SKIP() << "run by the round trip test";
  TmvxBinaryStreamFormat format;
  TmvxMemTable t;
  t.LoadFileThroughFormat(in, &format);
  ASSERT_TRUE(t.Active());
  EXPECT_EQ(t.IndexName(), "ByName");
  EXPECT_EQ(t.LoadCount(), 40);
  std::ofstream(out, std::ios::binary) << Dump(t);
}

TEST(BinaryFormat, ADamagedStreamIsRefusedAndTheTableKeepsItsRecords) {
  TmvxBinaryStreamFormat format;
  TmvxMemTable source;
  Define(source);
  source.Open();
  Fill(source, 12);
  platform::MemoryStream good;
  source.SaveThroughFormat(good, &format);
  TmvxMemTable t;
  Define(t);
  t.Open();
  Fill(t, 3);
  t.Persistent = true;
  std::vector<std::vector<std::uint8_t>> bad;
  bad.push_back({'n', 'o', 'p', 'e'});
  bad.push_back(std::vector<std::uint8_t>(good.Bytes().begin(), good.Bytes().begin() + 60));  // cut short
  bad.push_back(good.Bytes());
  bad.back()[good.Bytes().size() / 2] ^= 0x40;  // one bit changed
  bad.push_back(good.Bytes());
  bad.back()[4] = 9;  // a later format version
  // No fields but four billion records, with a right checksum: refused at once, not walked.
  bad.push_back({'K', 'V', 'M', 'T', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF});
  const std::uint32_t crc = TableStreamChecksum(bad.back().data(), bad.back().size());
  for (int i = 0; i < 4; ++i) bad.back().push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
  for (std::size_t k = 0; k < bad.size(); ++k) {
    platform::MemoryStream stream(bad[k]);
    try {
      t.LoadThroughFormat(stream, &format);
      ADD_FAILURE() << "case " << k << " loaded";
    } catch (const EMemTableError& e) {
      EXPECT_TRUE(std::string(e.what()).find("damaged") != std::string::npos ||
                  std::string(e.what()).find("version 9") != std::string::npos)
          << e.what();
    }
    EXPECT_EQ(t.RecordCount(), 3) << k;
    EXPECT_TRUE(t.Persistent);  // the load's switches are back
    EXPECT_TRUE(t.EnableIndexes());
    EXPECT_FALSE(t.IsLoading());
  }
  // The good stream loads, replacing the records; a load limit stops it early.
  t.LoadLimit = 5;
  t.LoadThroughFormat(good, &format);
  EXPECT_EQ(t.RecordCount(), 5);
  EXPECT_FALSE(t.LoadedCompletely());
  t.SetIndexName("ByValueDown");
  EXPECT_EQ(Column(t, "Id"), "5,4,3,2,1");  // a null first, then descending
}

TEST(PersistentFile, WrittenOnCloseWithABackupAndReadOnOpen) {
  const std::string path = TempPath("persist.kvmt"), backup = TempPath("persist.bak");
  TmvxBinaryStreamFormat format;
  {
    TmvxMemTable t;
    Define(t);
    t.PersistentFormat = &format;
    t.PersistentFile = path;
    t.Persistent = true;
    t.PersistentBackup = true;
    t.PersistentBackupExt = ".bak";
    t.Open();  // no file yet: opens empty
    EXPECT_EQ(t.RecordCount(), 0);
    Fill(t, 7);
    t.Close();
    t.Open();
    EXPECT_EQ(t.RecordCount(), 7);
    AppendRow(t, std::string("99"));
  }  // written when the table goes away
  TmvxMemTable again;
  Define(again);
  again.PersistentFormat = &format;
  again.PersistentFile = path;
  again.Persistent = true;
  again.Open();
  EXPECT_EQ(again.RecordCount(), 8);
  TmvxMemTable old;
  old.LoadFileThroughFormat(backup, &format);
  EXPECT_EQ(old.RecordCount(), 7);
  // A file that cannot be written leaves the table open with its records.
  again.PersistentFile = TempPath("no/such/dir/persist.kvmt");
  AppendRow(again, std::string("100"));
  EXPECT_THROW(again.Close(), EMemTableError);
  EXPECT_TRUE(again.Active());
  EXPECT_EQ(again.RecordCount(), 9);
  again.Persistent = false;
  again.Close();
  std::remove(path.c_str());
  std::remove(backup.c_str());
}

TEST(Copying, LoadsFromATableWithAnotherFieldOrderAndCountsWhatItTook) {
  TmvxMemTable source, t;
  source.GetFieldDefs().Add("Name", ftString, 10);
  source.GetFieldDefs().Add("Extra", ftInteger);
  source.GetFieldDefs().Add("Id", ftInteger);
  source.Open();
  for (int i = 1; i <= 25; ++i) AppendRow(source, "n" + std::to_string(i), std::to_string(i * 10), std::to_string(i));
  t.GetFieldDefs().Add("Id", ftInteger);
  t.GetFieldDefs().Add("Name", ftString, 10);
  t.Open();
  t.LoadRecordsFrom(source, 0);
  EXPECT_EQ(t.LoadCount(), 25);
  EXPECT_TRUE(t.LoadedCompletely());
  t.Last();
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 25);
  EXPECT_EQ(t.FieldByName("Name").AsString(), "n25");
  t.LoadLimit = 10;
  t.LoadRecordsFrom(source, 0);
  EXPECT_EQ(t.RecordCount(), 10);
  EXPECT_FALSE(t.LoadedCompletely());
  t.LoadLimit = 25;
  t.LoadRecordsFrom(source, 0);
  EXPECT_FALSE(t.LoadedCompletely());  // the limit was reached, though nothing was left
  t.LoadLimit = -1;
  t.OnLoadRecord = [](TmvxCustomMemTable& table, bool& accept) {
    accept = table.FieldByName("Id").AsInteger() % 2 == 0;
  };
  t.LoadRecordsFrom(source, TmvxMemTable::mtcpoAppend);
  EXPECT_EQ(t.LoadCount(), 25);  // the records read, the refused ones too
  EXPECT_EQ(t.RecordCount(), 37);
  t.OnLoadRecord = nullptr;
  EXPECT_THROW(t.LoadRecordsFrom(source, TmvxMemTable::mtcpoAppend | TmvxMemTable::mtcpoStructure), EMemTableError);
  // With the structure: the source's fields, in its order.
  t.LoadRecordsFrom(source, TmvxMemTable::mtcpoStructure);
  ASSERT_EQ(t.FieldCount(), 3);
  EXPECT_EQ(t.GetField(1).FieldName(), "Extra");
  EXPECT_EQ(t.RecordCount(), 25);
  EXPECT_FALSE(t.Filtered());
  t.SaveRecordsTo(t);  // onto itself: nothing
  EXPECT_EQ(t.RecordCount(), 25);
}

// Records the save event refuses are passed over: the limit and the count leave them out. A post
// the destination's error event aborts (here for a key it has) ends the copy silently, cut short.
TEST(Copying, SavingPassesOverRefusedRecordsAndAnAbortCutsItShort) {
  TmvxMemTable source, t;
  t.GetIndexDefs().Add("ById", "Id", ixUnique);
  for (TmvxMemTable* table : {&source, &t}) {
    table->GetFieldDefs().Add("Id", ftInteger);
    table->Open();
  }
  for (int i = 0; i < 10; ++i) AppendRow(source, std::to_string(i));
  source.OnSaveRecord = [](TmvxCustomMemTable& table, bool& accept) { accept = table.FieldByName("Id").AsInteger() % 2 == 0; };
  source.SaveLimit = 3;
  source.SaveRecordsTo(t);
  EXPECT_EQ(Column(t, "Id") + " " + std::to_string(source.SaveCount()), "0,2,4 3");
  t.OnPostError = [](DataSet&, const EDatabaseError&, DataAction& action) { action = daAbort; };
  EXPECT_THROW(source.SaveRecordsTo(t), EAbort);
  EXPECT_EQ(source.SaveCount(), 0);
}

// The counts say what was stored: a save into a table whose filter handler raises as the first
// record is shown again stored that record; a merge stopped by a value that does not fit had
// taken the records before it.
TEST(Copying, AStoppedSaveOrMergeCountsTheRecordsItStored) {
  TmvxMemTable source, d;
  memtable_test::IdsAndNames(source, 8, {{"1", "a"}, {"2", "bb"}, {"3", "long"}});
  memtable_test::IdsAndNames(d, 3, {});
  d.SetFilter("Id > 0");
  d.SetFiltered(true);
  d.OnFilterRecord = [](DataSet&, bool&) { throw EDatabaseError("the filter broke"); };
  using testing::HasSubstr;
  EXPECT_THAT([&] { source.SaveRecordsTo(d); },
              testing::ThrowsMessage<EDatabaseError>(HasSubstr("the filter broke (the copy stopped after 1 record)")));
  EXPECT_EQ(source.SaveCount(), 1);
  EXPECT_FALSE(source.SavedCompletely());
  d.OnFilterRecord = nullptr;
  d.SetFiltered(false);
  EXPECT_EQ(Column(d, "Id"), "1");
  EXPECT_THAT([&] { source.UpdateRecordsInDefault(d, "Id"); },
              testing::ThrowsMessage<EDatabaseError>(HasSubstr("(the copy stopped after 2 records)")));
  EXPECT_EQ(source.SaveCount(), 2);
  EXPECT_EQ(Column(d, "Name"), "a,bb");
}

TEST(Copying, MergeMatchesFieldsByNameAndKeepsTheirTypes) {
  TmvxMemTable source, target;
  source.GetFieldDefs().Add("Price", ftFloat);
  source.GetFieldDefs().Add("Code", ftString, 6);
  source.GetFieldDefs().Add("When", ftDateTime);
  source.Open();
  target.GetFieldDefs().Add("Code", ftString, 6);
  target.GetFieldDefs().Add("When", ftDateTime);
  target.GetFieldDefs().Add("Price", ftFloat);
  target.Open();
  AppendRow(target, std::string("A"), std::string(""), std::string("1"));
  AppendRow(target, std::string("B"), std::string(""), std::string("2"));
  auto add = [&](const char* code, double price, double when) {
    source.Append();
    source.FieldByName("Code").SetAsString(code);
    source.FieldByName("Price").SetAsFloat(price);
    source.FieldByName("When").SetAsDateTime(when);
    source.Post();
  };
  add("B", 0.1 + 0.2, 45000.123456789);
  add("C", 1e-17, 45001.5);
  source.UpdateRecordsIn(target, "Code", 1);  // edit only
  EXPECT_EQ(target.RecordCount(), 2);
  ASSERT_TRUE(target.Locate("Code", Variant("B"), 0));
  EXPECT_EQ(target.FieldByName("Price").AsFloat(), 0.1 + 0.2);  // not through a 15-digit text
  EXPECT_NEAR(target.FieldByName("When").AsDateTime(), 45000.123456789, 1e-8);
  source.UpdateRecordsInDefault(target, "Code");
  EXPECT_EQ(target.RecordCount(), 3);
  ASSERT_TRUE(target.Locate("Code", Variant("C"), 0));
  EXPECT_EQ(target.FieldByName("Price").AsFloat(), 1e-17);
  // The destination's fields keep their order.
  EXPECT_EQ(target.GetField(0).FieldName(), "Code");
}

TEST(Copying, AFailedLoadGivesBackWhatItSwitchedOff) {
  TmvxMemTable source, t;
  source.GetFieldDefs().Add("Id", ftInteger);
  source.GetFieldDefs().Add("Name", ftString, 8);
  source.Open();
  for (int i = 1; i <= 5; ++i) AppendRow(source, std::to_string(i), "n" + std::to_string(i));
  t.GetFieldDefs().Add("Id", ftInteger);
  t.GetFieldDefs().Add("Name", ftString, 8);
  t.Open();
  t.FieldByName("Name").ReadOnly = true;
  t.SetFilter("Id > 0");
  t.SetFiltered(true);
  t.OnLoadField = [](TmvxCustomMemTable& table, int, Field&) {
    if (table.FieldByName("Id").AsInteger() == 3) throw EMemTableError("refused");
  };
  source.First();
  source.Next();  // on its second record, which it comes back to
  EXPECT_THROW(t.LoadRecordsFrom(source, 0), EMemTableError);
  EXPECT_EQ(source.FieldByName("Id").AsInteger(), 2);
  EXPECT_TRUE(t.EnableIndexes());
  EXPECT_TRUE(t.Filtered());
  EXPECT_FALSE(source.ControlsDisabled());
  EXPECT_EQ(t.BulkOperation(), 0);
  EXPECT_EQ(t.State(), dsBrowse);
  t.Append();
  EXPECT_THROW(t.FieldByName("Name").SetAsString("x"), EDatabaseError);  // read-only again
  t.Cancel();
  EXPECT_EQ(Column(t, "Id"), "1,2");
}

TEST(Copying, SixtyFourBitIntegersCopyExactlyAndAFailedCopySaysWhatItTook) {
  auto table = [](TmvxMemTable& t, FieldType type, std::vector<std::int64_t> values) {
    t.GetFieldDefs().Add("Big", type);
    t.Open();
    for (std::int64_t v : values) {
      t.Append();
      t.FieldByName("Big").SetAsInteger(v);
      t.Post();
    }
  };
  // Large integers pass as text; every one arrives as it left, in both directions.
  const std::vector<std::int64_t> values = {9007199254740993LL, INT64_MAX, INT64_MIN, -9007199254740993LL, 1LL << 40};
  std::string expected;
  for (std::int64_t v : values) expected += (expected.empty() ? "" : ",") + std::to_string(v);
  TmvxMemTable source, t, back;
  table(source, ftLargeint, values);
  table(t, ftLargeint, {});
  table(back, ftLargeint, {});
  t.LoadRecordsFrom(source, 0);
  t.SaveRecordsTo(back);
  EXPECT_EQ(Column(t, "Big"), expected);
  EXPECT_EQ(Column(back, "Big"), expected);
  EXPECT_EQ(Variant(" -9007199254740993 ").ToInt(), -9007199254740993LL);
  EXPECT_THROW(Variant("9223372036854775808").ToInt(), VariantError);
  EXPECT_EQ(Variant("2.5e3").ToInt(), 2500);
  // A destination that cannot hold the fourth value: the error and the count say that
  // three records were taken, copied either way.
  TmvxMemTable narrow, small;
  table(narrow, ftInteger, {});
  table(small, ftLargeint, {1, 2, 3, 1LL << 40, 5});
  auto tookThree = [](const std::function<void()>& copy) {
    try {
      copy();
      ADD_FAILURE() << "copied";
    } catch (const EDatabaseError& e) {
      EXPECT_NE(std::string(e.what()).find("after 3 records"), std::string::npos) << e.what();
    }
  };
  tookThree([&] { narrow.LoadRecordsFrom(small, 0); });
  EXPECT_EQ(narrow.LoadCount(), 3);
  EXPECT_FALSE(narrow.LoadedCompletely());
  EXPECT_EQ(Column(narrow, "Big"), "1,2,3");
  tookThree([&] { small.SaveRecordsTo(narrow); });
  EXPECT_EQ(small.SaveCount(), 3);
  EXPECT_FALSE(small.SavedCompletely());
}

// A blob and a field of another kind pass their values as text, binary contents whole; a text too
// long for its string field, passed as text or as a value, stops the copy with an error naming it.
TEST(Copying, BlobAndTextFieldsPassTheirValuesAsText) {
  const std::string picture("\x89PNG\0\x01", 6);
  auto define = [](TmvxMemTable& t, bool memo, int size) {  // Notes a memo and Code a string, or the other way
    t.GetFieldDefs().Add("Notes", memo ? ftMemo : ftString, memo ? 0 : size);
    t.GetFieldDefs().Add("Code", memo ? ftString : ftMemo, memo ? size : 0);
    t.GetFieldDefs().Add("Pic", memo ? ftBlob : ftGraphic);
    t.Open();
  };
  TmvxMemTable s, d, narrow;
  define(s, true, 8);
  define(d, false, 4);
  define(narrow, true, 2);
  s.Append();
  WriteBlob(s, "Notes", "note");
  s.FieldByName("Code").SetAsString("K12");
  WriteBlob(s, "Pic", picture);
  s.Post();
  d.LoadRecordsFrom(s, 0);
  EXPECT_EQ(d.FieldByName("Notes").AsString() + "|" + ReadBlob(d, "Code") + "|" + std::to_string(ReadBlob(d, "Pic") == picture), "note|K12|1");
  using testing::HasSubstr;
  EXPECT_THAT([&] { narrow.LoadRecordsFrom(s, 0); },
              testing::ThrowsMessage<EDatabaseError>(HasSubstr("Field 'Code' cannot hold a text of 3 characters (its size is 2)")));
  s.Edit();
  WriteBlob(s, "Notes", "longer");
  s.Post();
  EXPECT_THAT([&] { d.LoadRecordsFrom(s, 0); }, testing::ThrowsMessage<EDatabaseError>(HasSubstr("Field 'Notes' cannot hold a text of 6")));
  EXPECT_EQ(d.RecordCount(), 0);
}

// A value of any kind whose text does not fit a text field, and a text or memo longer than a byte
// field, stop every copy with an error naming the field, before the destination holds any of it.
TEST(Copying, AValueThatDoesNotFitItsFieldStopsEveryCopy) {
  struct Case {
    const char* field;
    FieldType from, to;
    int fromSize, toSize;
    std::function<void(Field&)> set;
    const char* error;  // none: the value fits and is copied
  };
  const Case cases[] = {
      {"Num", ftInteger, ftString, 0, 3, [](Field& f) { f.SetAsInteger(123456); }, "Field 'Num' cannot hold a text of 6 characters (its size is 3)"},
      {"Num", ftInteger, ftString, 0, 3, [](Field& f) { f.SetAsInteger(-12); }, nullptr},
      {"Day", ftDate, ftString, 0, 9, [](Field& f) { f.SetAsDateTime(45000); }, "Field 'Day' cannot hold a text of 10 characters"},
      {"Raw", ftMemo, ftBytes, 0, 4, [](Field& f) { WriteBlob(static_cast<TmvxMemTable&>(*f.Owner()), "Raw", "0123456789"); },
       "Field 'Raw' cannot hold 10 bytes (its size is 4)"},
      {"Raw", ftString, ftVarBytes, 12, 4, [](Field& f) { f.SetAsString("0123"); }, nullptr},
  };
  // Each path copies the source's one record (Id 1) onto a destination holding Id 1 with the field
  // empty: a load and a save append it, an update (a merge by key) edits it.
  const std::pair<const char*, std::function<void(TmvxMemTable&, TmvxMemTable&)>> paths[] = {
      {"load", [](TmvxMemTable& s, TmvxMemTable& d) { d.LoadRecordsFrom(s, TmvxMemTable::mtcpoAppend); }},
      {"save", [](TmvxMemTable& s, TmvxMemTable& d) { s.SaveRecordsTo(d); }},
      {"update", [](TmvxMemTable& s, TmvxMemTable& d) { s.UpdateRecordsIn(d, "Id", 1); }},
  };
  for (const Case& c : cases) {
    for (const auto& path : paths) {
      const auto& copy = path.second;  // a plain name: clang does not capture structured bindings
      SCOPED_TRACE(std::string(c.field) + " by " + path.first);
      TmvxMemTable s, d;
      s.GetFieldDefs().Add("Id", ftInteger);
      s.GetFieldDefs().Add(c.field, c.from, c.fromSize);
      d.GetFieldDefs().Add("Id", ftInteger);
      d.GetFieldDefs().Add(c.field, c.to, c.toSize);
      s.Open();
      d.Open();
      AppendRow(d, std::string("1"));
      s.Append();
      s.FieldByName("Id").SetAsInteger(1);
      c.set(s.FieldByName(c.field));
      s.Post();
      if (c.error) {
        EXPECT_THAT([&] { copy(s, d); }, testing::ThrowsMessage<EDatabaseError>(testing::HasSubstr(c.error)));
        EXPECT_THAT(Column(d, c.field), testing::AnyOf("null", ""));
      } else {
        copy(s, d);
        d.Last();
        EXPECT_EQ(d.FieldByName(c.field).AsString(), s.FieldByName(c.field).AsString());
      }
    }
  }
}

// Key fields of a merge take option letters as a field list does: "Code:C" finds "ABC" for "abc".
TEST(Copying, MergeKeysTakeOptionLetters) {
  TmvxMemTable s, d;
  for (TmvxMemTable* t : {&s, &d}) {
    t->GetFieldDefs().Add("Code", ftString, 6);
    t->GetFieldDefs().Add("Qty", ftInteger);
    t->Open();
  }
  AppendRow(d, std::string("ABC"), std::string("1"));
  AppendRow(s, std::string("abc"), std::string("5"));
  s.UpdateRecordsIn(d, "Code:C", 3);
  EXPECT_EQ(Column(d, "Code") + " " + Column(d, "Qty"), "abc 5");
  // A destination of another kind is searched record by record with the same options (only
  // found records are edited).
  ListDataSet list;
  list.GetFieldDefs().Add("Code", ftString, 6);
  list.GetFieldDefs().Add("Qty", ftInteger);
  list.Open();
  AppendRow(list, std::string("ABC"), std::string("1"));
  s.UpdateRecordsIn(list, "Code", 1);
  EXPECT_EQ(Column(list, "Code") + " " + Column(list, "Qty"), "ABC 1");
  s.UpdateRecordsIn(list, "Code:C", 1);
  EXPECT_EQ(Column(list, "Code") + " " + Column(list, "Qty"), "abc 5");
}
