#include "memtable/record_store.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include "memtable/mem_table.h"

using namespace memtable;
using namespace dataset;

TEST(RecordStore, LongFieldsMoveOutOfLineUnlessFast) {
  TmvxMemTable t;
  t.GetFieldDefs().Add("Short", ftString, 12);
  t.GetFieldDefs().Add("Long", ftString, 13);
  t.GetFieldDefs().Add("Memo", ftMemo);
  t.GetFieldDefs().Add("Count", ftInteger);
  TmvxCommon& c = t.Common();
  c.LayoutRecord();  // fast: only the memo is out of line
  EXPECT_EQ(c.BlobFieldCount(), 1);
  EXPECT_EQ(c.FieldOffset(2), c.StartBlobs());

  c.SetPerformance(mtpfBalanced);
  c.LayoutRecord();
  EXPECT_EQ(c.BlobFieldCount(), 2);
  EXPECT_EQ(c.FieldOffset(1), c.StartBlobs());
  EXPECT_EQ(c.TotalDataSize(), c.DataSize() + 2 * kBlobSlotSize);
  EXPECT_EQ(c.FieldFlags(1) & ffCompressed, 0);

  c.SetPerformance(mtpfSmall);
  c.LayoutRecord();
  EXPECT_NE(c.FieldFlags(1) & ffCompressed, 0);
}

TEST(RecordStore, NativeSizesFollowTheFieldTypes) {
  struct Case {
    FieldType type;
    int size;
    int expected;
  } cases[] = {{ftSmallint, 0, 2},  {ftWord, 0, 2},      {ftBoolean, 0, 2},   {ftInteger, 0, 4},
               {ftAutoInc, 0, 4},   {ftFloat, 0, 8},     {ftCurrency, 0, 8},  {ftDate, 0, 8},
               {ftTime, 0, 8},      {ftDateTime, 0, 8},  {ftLargeint, 0, 8},  {ftBCD, 0, 34},
               {ftFMTBcd, 0, 34},   {ftBytes, 6, 6},     {ftVarBytes, 6, 8},  {ftTimeStamp, 0, 16},
               {ftFixedChar, 4, 5}};
  for (const Case& k : cases) {
    TmvxMemTable t;
    t.GetFieldDefs().Add("F", k.type, k.size);
    t.GetFieldDefs().Add("G", ftInteger);
    t.Common().LayoutRecord();
    EXPECT_EQ(t.Common().FieldOffset(1), k.expected + 1) << "type " << k.type;
  }
}

TEST(RecordStore, RefusesUnsupportedTypesAndEmptyDefinitions) {
  TmvxMemTable t;
  EXPECT_THROW(t.Common().LayoutRecord(), EMemTableError);
  t.GetFieldDefs().Add("G", ftGuid);
  try {
    t.Common().LayoutRecord();
    FAIL();
  } catch (const EMemTableError& e) {
    EXPECT_STREQ(e.what(), "Fielddef G (G) Datatype 35 not supported.");
  }
}

TEST(RecordStore, HoldsThreeHundredFieldsPerRecord) {
  TmvxMemTable t;
  for (int i = 0; i < 300; ++i) t.GetFieldDefs().Add("F" + std::to_string(i), ftInteger);
  t.Open();
  EXPECT_EQ(t.Common().FieldCount(), 300);
  t.Append();
  t.FieldByName("F299").SetAsInteger(299);
  t.FieldByName("F0").SetAsInteger(7);
  t.Post();
  EXPECT_EQ(t.FieldByName("F299").AsInteger(), 299);
  EXPECT_EQ(t.FieldByName("F0").AsInteger(), 7);
  EXPECT_TRUE(t.FieldByName("F150").IsNull());
}

TEST(RecordStore, ReusesFreedIdsLastFirstAndKeepsRaisingUniqueIds) {
  TmvxMemTable t;
  t.GetFieldDefs().Add("A", ftInteger);
  TmvxCommon& c = t.Common();
  c.LayoutRecord();
  std::vector<PmvxRecord> r;
  for (int i = 0; i < 6; ++i) {
    r.push_back(c.AllocRecord());
    c.AddRecord(r.back());
    EXPECT_EQ(r.back()->RecordID, i);
    EXPECT_EQ(r.back()->UniqueRecordID, i);
    EXPECT_EQ(r.back()->Flag & 1, 1);
  }
  c.DeleteRecord(r[3]);
  c.DeleteRecord(r[5]);
  EXPECT_EQ(c.Record(3), nullptr);
  EXPECT_EQ(c.RecordCount(), 6);
  PmvxRecord a = c.AllocRecord(), b = c.AllocRecord();
  c.AddRecord(a);
  c.AddRecord(b);
  EXPECT_EQ(a->RecordID, 5);
  EXPECT_EQ(b->RecordID, 3);
  EXPECT_EQ(a->UniqueRecordID, 6);
  EXPECT_EQ(b->UniqueRecordID, 7);

  std::int32_t before = c.TableID();
  c.DeleteAllRecords();
  EXPECT_EQ(c.RecordCount(), 0);
  EXPECT_NE(c.TableID(), before);
  PmvxRecord d = c.AllocRecord();
  c.AddRecord(d);
  EXPECT_EQ(d->RecordID, 0);
  EXPECT_EQ(d->UniqueRecordID, 0);
}

TEST(RecordStore, RaisesWhenTheUniqueCounterRunsOut) {
  TmvxMemTable t;
  t.GetFieldDefs().Add("A", ftInteger);
  TmvxCommon& c = t.Common();
  c.LayoutRecord();
  c.SetUniqueRecordIDCounterForTest(2147483599);
  PmvxRecord r = c.AllocRecord();
  try {
    c.AddRecord(r);
    FAIL();
  } catch (const EMemTableFatalError& e) {
    EXPECT_STREQ(e.what(), "Bookmark counter is out of range. Please close and reopen table.");
  }
  EXPECT_EQ(c.Record(0), r);  // stored all the same
}

TEST(RecordStore, SplitsAndJoinsLocaleIdentifiers) {
  TmvxMemTable t;
  TmvxCommon& c = t.Common();
  c.SetLocaleID(1024);
  c.SetLanguageID(9);
  EXPECT_EQ(c.LocaleID(), 1033u);
  c.SetSortID(1);
  EXPECT_EQ(c.LocaleID(), 0x10000u + 1033u);
}

TEST(RecordStore, AutoIncrementBoundsAndSettingsGuards) {
  TmvxMemTable t;
  TmvxCommon& c = t.Common();
  c.SetAutoIncMin(100);
  EXPECT_EQ(c.AutoIncMax(), 99);
  c.SetAutoIncMin(0);
  EXPECT_EQ(c.AutoIncMax(), 99);
  EXPECT_THROW(c.SetAttachMaxCount(0), ERangeError);
  t.GetFieldDefs().Add("A", ftInteger);
  t.Open();
  try {
    c.SetAttachMaxCount(2);
    FAIL();
  } catch (const EMemTableError& e) {
    EXPECT_STREQ(e.what(), "Table must be closed for this operation.");
  }
  EXPECT_THROW(t.SetStandalone(true), EMemTableError);
  t.Close();
  t.SetStandalone(true);
  EXPECT_TRUE(t.Standalone());
  t.SetStandalone(false);
  // Switching left the lock free: another thread gets it (a leak would hang here).
  int seen = -1;
  std::thread other([&] { seen = t.Common().RecordCount(); });
  other.join();
  EXPECT_EQ(seen, 0);
  t.SetStandalone(true);
  t.Open();

  t.Append();
  t.FieldByName("A").SetAsInteger(1);
  t.Post();
  EXPECT_EQ(t.RecordCount(), 1);
}

TEST(RecordStore, CopiesRecordsWithAndWithoutTheirBlobs) {
  TmvxMemTable t;
  t.GetFieldDefs().Add("A", ftInteger);
  t.GetFieldDefs().Add("M", ftMemo);
  TmvxCommon& c = t.Common();
  c.LayoutRecord();
  PmvxRecord a = c.AllocRecord();
  std::uint8_t* slot = a->Data + c.FieldOffset(1);
  TmvxCommon::SetSlotBlob(slot, c.BlobFromBuffer("hello", 5));
  slot[0] = 2;
  a->Data[0] = 2;
  PmvxRecord b = c.DuplicateRecord(a, true);
  std::uint32_t hb = TmvxCommon::SlotBlob(b->Data + c.FieldOffset(1));
  ASSERT_NE(hb, 0u);
  EXPECT_NE(hb, TmvxCommon::SlotBlob(slot));
  EXPECT_EQ(c.BlobLength(hb), 5u);
  EXPECT_EQ(std::memcmp(c.BlobData(hb), "hello", 5), 0);
  PmvxRecord d = c.DuplicateRecord(a, false);
  EXPECT_EQ(TmvxCommon::SlotBlob(d->Data + c.FieldOffset(1)), 0u);
  EXPECT_EQ(d->Data[c.FieldOffset(1)], 2);  // null flag copied, block not

  // Moving blobs hands the block over instead of copying it.
  PmvxRecord e = c.AllocRecord();
  c.TransferBlobs(b, e);
  EXPECT_EQ(TmvxCommon::SlotBlob(e->Data + c.FieldOffset(1)), hb);
  EXPECT_EQ(TmvxCommon::SlotBlob(b->Data + c.FieldOffset(1)), 0u);
  c.FreeRecord(a, true, false);
  c.FreeRecord(b, true, false);
  c.FreeRecord(d, true, false);
  c.FreeRecord(e, true, false);
  c.FreeRecord(nullptr, true, true);
}

TEST(RecordStore, CompressionRoundTrips) {
  std::vector<std::uint8_t> samples[] = {
      {}, {1}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {'a', 'b', 'c', 'c', 'c', 'c', 'd'}, std::vector<std::uint8_t>(1000, 7)};
  std::vector<std::uint8_t> mixed;
  for (int i = 0; i < 700; ++i) mixed.push_back(static_cast<std::uint8_t>((i * 37) % 5 == 0 ? 9 : i));
  for (auto& s : samples) {
    auto packed = StoreCompress(s.data(), s.size());
    EXPECT_EQ(StoreDecompress(packed.data(), packed.size()), s);
  }
  auto packed = StoreCompress(mixed.data(), mixed.size());
  EXPECT_EQ(StoreDecompress(packed.data(), packed.size()), mixed);
  EXPECT_LT(StoreCompress(samples[4].data(), 1000).size(), 30u);
}

TEST(RecordStore, ThePoolHandsOutBlocksOfOneSizeAndReusesThem) {
  RecordPool pool;
  std::vector<void*> blocks;
  for (int i = 0; i < 1000; ++i) {
    blocks.push_back(pool.Alloc(90));  // rounded up to 96
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(blocks.back()) % 8, 0u);
    std::memset(blocks.back(), i & 0xFF, 90);
  }
  EXPECT_EQ(pool.Alloc(40), nullptr);  // another size while blocks are in use
  // No two blocks overlap: each still holds what was written into it.
  for (std::size_t i = 0; i < 1000; ++i) EXPECT_EQ(static_cast<unsigned char*>(blocks[i])[89], i & 0xFF);
  pool.Free(blocks[500]);
  EXPECT_EQ(pool.Alloc(96), blocks[500]);  // a freed block is the next one handed out
  for (void* b : blocks) pool.Free(b);
  EXPECT_EQ(pool.Live(), 0u);
  void* other = pool.Alloc(40);  // empty again, it takes blocks of any size
  EXPECT_NE(other, nullptr);
  pool.Free(other);
#if defined(__SANITIZE_ADDRESS__)
  // Under AddressSanitizer a freed block is reported when it is read.
  EXPECT_DEATH(
      {
        void* kept = pool.Alloc(64);
        auto* gone = static_cast<volatile std::uint8_t*>(pool.Alloc(64));
        pool.Free(const_cast<std::uint8_t*>(gone));
        std::printf("%d %p\n", gone[20], kept);
      },
      "use-after-poison");
#endif
  // Stored records come from the store's pool, cursor buffers from the heap.
  TmvxMemTable t;
  t.GetFieldDefs().Add("Id", ftInteger);
  t.Open();
  t.Append();
  t.FieldByName("Id").SetAsInteger(1);
  t.Post();
  EXPECT_TRUE(t.Common().Record(0)->Flag & kPooledRecord);
  PmvxRecord buffer = t.Common().AllocRecord();
  EXPECT_FALSE(buffer->Flag & kPooledRecord);
  t.Common().FreeRecord(buffer, true, false);
}
