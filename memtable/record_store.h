// The record store behind an in-memory table: record layout, record identities and the
// free-slot list, version chains, transaction level, text locale, out-of-line values and
// the tables attached to the store.
//
// A record is one allocation: a header (TmvxRecord) followed by the data area:
//   fixed fields in field-slot order (a null-flag byte, then the native value),
//   the calculated-field area,
//   one bookmark slot per attachable table (kBookmarkSlotSize bytes: record id and
//     unique id, 32 bits each, then the bookmark-flag byte),
//   one out-of-line slot per blob or long field (kBlobSlotSize bytes: a null-flag byte
//     and the 32-bit handle of a blob block in the store, 0 for none).
// Slots hold ids rather than addresses: a bookmark is checked against the record that
// now holds its slot before it is used, and blob handles stay 32 bits wide.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "platform/dataset/dataset.h"
#include "platform/dataset/lock.h"
#include "memtable/field_list.h"

namespace memtable {

class TmvxCustomMemTable;

struct TmvxRecord {
  std::int32_t RecordNo;
  std::int32_t RecordID;
  std::int32_t UniqueRecordID;
  std::uint8_t Flag;          // bit 0: stored in the table (owns its version chain);
                              // bit 7: its memory is the store's (see kPooledRecord)
  std::uint8_t UpdateStatus;  // 0 unmodified, 1 modified, 2 inserted, 3 deleted
  std::int32_t TransactionLevel;
  std::uint32_t Reserved;
  TmvxRecord* PrevRecordVersion;
  // The data area, which follows the header in the same allocation (a trailing array of
  // no size, so that the header needs no pointer to it).
  std::uint8_t Data[];
};
using PmvxRecord = TmvxRecord*;
static_assert(offsetof(TmvxRecord, Data) == sizeof(TmvxRecord), "the data area follows the header");

enum : std::uint8_t { usUnmodified = 0, usModified = 1, usInserted = 2, usDeleted = 3 };

// Flag bit of a record whose memory comes from the store's record pool: stored records
// and their versions, all of one size, packed without a heap block's overhead each.
constexpr std::uint8_t kPooledRecord = 0x80;

// Blocks of one size carved from large chunks, with a list of the freed ones; the chunks
// go back to the heap when no block is in use. Used under the store's lock.
class RecordPool {
 public:
  RecordPool() = default;
  RecordPool(const RecordPool&) = delete;
  RecordPool& operator=(const RecordPool&) = delete;
  // A block of `size` bytes (8-aligned), or nullptr when blocks of another size are in use.
  void* Alloc(std::size_t size);
  void Free(void* block);
  std::size_t Live() const { return live_; }

 private:
  void Release();
  std::size_t size_ = 0;
  std::vector<std::unique_ptr<std::uint8_t[]>> chunks_;
  std::vector<std::size_t> chunkBytes_;
  std::uint8_t* next_ = nullptr;
  std::uint8_t* end_ = nullptr;
  void* free_ = nullptr;
  std::size_t live_ = 0;
  std::size_t carved_ = 0;  // blocks in the chunks so far
};

constexpr int kBookmarkSlotSize = 9;
constexpr int kBlobSlotSize = 5;
// Bookmark data: record id, unique id and the store's table id, 32 bits each.
constexpr int kBookmarkDataSize = 12;

enum TmvxPerformance { mtpfFast, mtpfBalanced, mtpfSmall };
enum TmvxVersioningMode { mtvm1SinceCheckPoint, mtvmAllSinceCheckPoint };

// Field flag bits.
enum : std::uint8_t { ffBlob = 1, ffCompressed = 2, ffChanged = 4 };

// The field types the store keeps a slot for; a definition of any other type is refused.
bool IsStoredFieldType(dataset::FieldType type);

// The store's own compression of out-of-line values (used when the table has no
// compression events): a byte-oriented run-length code.
std::vector<std::uint8_t> StoreCompress(const std::uint8_t* data, std::size_t size);
std::vector<std::uint8_t> StoreDecompress(const std::uint8_t* data, std::size_t size);

class TmvxCommon;

// The comparison of CompareRecords in mode 0 without ignored nulls, prepared once for a
// field list: in-line fields of the common types are compared straight from the record
// data; any other case (out-of-line values, a compare event, a locale the collation
// does not serve) goes through CompareRecords itself.
class TmvxRecordComparer {
 public:
  TmvxRecordComparer(TmvxCommon& store, const TmvxFieldList& list, bool partial);
  int operator()(const TmvxRecord* key, const TmvxRecord* record) const {
    if (!fast_) return Slow(key, record);
    // The common single keys, a text or an integer, are compared here.
    const Part& p = parts_[0];
    if (count_ == 1 && (p.type == dataset::ftString || p.type == dataset::ftInteger) &&
        !(p.options & (mtcoPartialKey | mtcoIgnoreNullKey))) {
      const std::uint8_t* kp = key->Data + p.offset;
      const std::uint8_t* vp = record->Data + p.offset;
      if (kp[0] == 0 || vp[0] == 0) return (kp[0] == 0 && vp[0] == 0) ? 0 : (kp[0] == 0 ? -1 : 1);
      if (p.type == dataset::ftString)
        return CompareTextFast(reinterpret_cast<const char*>(kp + 1), reinterpret_cast<const char*>(vp + 1), p.options);
      std::int32_t a, b;
      std::memcpy(&a, kp + 1, 4);
      std::memcpy(&b, vp + 1, 4);
      int r = a < b ? -1 : (a > b ? 1 : 0);
      return (p.options & mtcoDescending) ? -r : r;
    }
    return Parts(key, record);
  }

  // A sort key of the first field that orders like the comparison itself wherever two
  // keys differ: the first 8 bytes of a text, folded as the options ask, big-endian; an
  // integer moved into the unsigned range above the null key; a float's bits turned to
  // order as unsigned numbers. Equal keys tell nothing;
  // the full comparison decides then. Only for a first field of text, integer or float
  // without a partial key.
  bool HasPrefix() const {
    return fast_ && count_ > 0 &&
           (parts_[0].type == dataset::ftString || parts_[0].type == dataset::ftInteger ||
            parts_[0].type == dataset::ftFloat) &&
           !(parts_[0].options & (mtcoPartialKey | mtcoIgnoreNullKey));
  }
  bool PrefixDescending() const { return (parts_[0].options & mtcoDescending) != 0; }
  std::uint64_t Prefix(const TmvxRecord* record) const {
    const std::uint8_t* p = record->Data + parts_[0].offset;
    // A null sorts first in both directions.
    if (p[0] == 0) return PrefixDescending() ? ~std::uint64_t{0} : 0;
    if (parts_[0].type == dataset::ftFloat) {
      // The bits of a float, turned so that they order as the numbers do; -0 is 0.
      double d;
      std::memcpy(&d, p + 1, 8);
      if (d == 0) d = 0;
      std::uint64_t bits;
      std::memcpy(&bits, &d, 8);
      return (bits >> 63) ? ~bits : (bits | (std::uint64_t{1} << 63));
    }
    if (parts_[0].type == dataset::ftInteger) {
      std::int32_t v;
      std::memcpy(&v, p + 1, 4);
      return static_cast<std::uint64_t>(static_cast<std::int64_t>(v) + 2147483649LL);
    }
    const bool fold = !(parts_[0].options & mtcoIgnoreLocale) || (parts_[0].options & mtcoCaseInsensitive);
    std::uint64_t key = 0;
    int i = 0;
    for (; i < 8 && p[1 + i]; ++i) key = (key << 8) | (fold ? kLowerFold[p[1 + i]] : p[1 + i]);
    return i == 0 ? 0 : key << (8 * (8 - i));
  }

 private:
  struct Part {
    int offset;  // of the null flag in the data area
    dataset::FieldType type;
    TmvxMemTableCompareOptions options;
  };
  static constexpr int kMaxParts = 8;
  int Slow(const TmvxRecord* key, const TmvxRecord* record) const;
  int Parts(const TmvxRecord* key, const TmvxRecord* record) const;

  TmvxCommon& store_;
  const TmvxFieldList& list_;
  bool partial_;
  bool fast_ = true;
  int count_ = 0;
  Part parts_[kMaxParts];
};

class TmvxCommon {
 public:
  explicit TmvxCommon(TmvxCustomMemTable* owner);
  ~TmvxCommon();
  TmvxCommon(const TmvxCommon&) = delete;
  TmvxCommon& operator=(const TmvxCommon&) = delete;

  // Lock (skipped when standalone).
  void Enter() { if (!standalone_) lock_.Enter(); }
  void Leave() { if (!standalone_) lock_.Leave(); }
  struct Guard {
    TmvxCommon& c;
    bool locked;  // as entered, whatever Standalone says when leaving
    explicit Guard(TmvxCommon& common) : c(common), locked(!common.standalone_) {
      if (locked) c.lock_.Enter();
    }
    ~Guard() {
      if (locked) c.lock_.Leave();
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
  };

  TmvxCustomMemTable* Owner() const { return owner_; }

  // Layout.
  void LayoutRecord();
  int FieldCount() const { return fieldCount_; }
  int FieldOffset(int slot) const { return fieldOffsets_[static_cast<std::size_t>(slot)]; }
  std::uint8_t FieldFlags(int slot) const {
    std::uint8_t flags = fieldFlags_[static_cast<std::size_t>(slot)];
    return changed_[static_cast<std::size_t>(slot)].load(std::memory_order_relaxed) ? flags | ffChanged : flags;
  }
  void SetFieldFlags(int slot, std::uint8_t flags) {
    fieldFlags_[static_cast<std::size_t>(slot)] = static_cast<std::uint8_t>(flags & ~ffChanged);
    changed_[static_cast<std::size_t>(slot)].store((flags & ffChanged) != 0, std::memory_order_relaxed);
  }
  // Marks a field changed; safe without the lock (the mark is a flag on its own).
  void MarkChanged(int slot) { changed_[static_cast<std::size_t>(slot)].store(true, std::memory_order_relaxed); }
  int BookmarkArraySize() const { return bookmarkArraySize_; }
  int DataSize() const { return dataSize_; }
  int RecordSize() const { return recordSize_; }
  int TotalDataSize() const { return totalDataSize_; }
  int CalcFieldsSize() const { return calcFieldsSize_; }
  int BlobAreaSize() const { return blobAreaSize_; }
  int StartCalculated() const { return startCalculated_; }
  int StartBookmarks() const { return startBookmarks_; }
  int StartBlobs() const { return startBlobs_; }
  int BlobFieldCount() const { return blobFieldCount_; }
  bool IsLaidOut() const { return recordSize_ > 0; }

  // Records.
  PmvxRecord AllocRecord();
  // A record for the store itself (a stored record or a version), from its pool; freed
  // by FreeRecord like any other.
  PmvxRecord AllocStoredRecord();
  void ClearRecord(PmvxRecord record);
  void CopyRecord(const TmvxRecord* source, PmvxRecord destination);
  PmvxRecord DuplicateRecord(const TmvxRecord* source, bool withBlobs);
  void CopyBlobs(const TmvxRecord* source, PmvxRecord destination);
  void TransferBlobs(PmvxRecord source, PmvxRecord destination);
  void FreeBlobs(PmvxRecord record);
  void FreeRecord(PmvxRecord record, bool freeBlobs, bool freeVersions);
  std::uint8_t* FieldPointer(const TmvxRecord* record, const dataset::Field* field) const {
    if (!record) return nullptr;
    int no = field->FieldNo();
    // The pointer may write the record, as the store's callers do with their own records.
    std::uint8_t* data = const_cast<TmvxRecord*>(record)->Data;
    if (no > 0) return no > fieldCount_ ? nullptr : data + fieldOffsets_[static_cast<std::size_t>(no - 1)];
    return data + startCalculated_ + field->Offset();
  }
  void AddRecord(PmvxRecord record);
  void AppendRecord(PmvxRecord record) { AddRecord(record); }
  void DeleteRecord(PmvxRecord record);
  void DeleteAllRecords();
  void EmptyTables();
  // Empties the store and takes the records (made by AllocStoredRecord, not yet added) in
  // their order, as a load does: the loading table clears its cursor and indexes, the other
  // tables on the store their indexes (rebuilt by the load); the list is left empty.
  void ReplaceRecords(TmvxCustomMemTable* loader, std::vector<PmvxRecord>& records);
  // After a load replaced the records: every open table's indexes are built again (one that
  // is not maintained and not in use is left to be built when it is chosen or searched).
  void RebuildIndexesAfterLoad();
  int RecordCount();
  PmvxRecord Record(int recordID) const {
    return recordID >= 0 && recordID < static_cast<int>(records_.size()) ? records_[static_cast<std::size_t>(recordID)] : nullptr;
  }
  const std::vector<PmvxRecord>& Records() const { return records_; }
  void ClearModifiedFlags();

  // Bookmark slot of a record buffer for an attach index.
  std::uint8_t* BookmarkSlot(const TmvxRecord* record, int attachIndex) const {
    return const_cast<TmvxRecord*>(record)->Data + startBookmarks_ + attachIndex * kBookmarkSlotSize;
  }

  // Blob blocks, addressed by handle (0 = none).
  std::uint32_t BlobAlloc(std::uint32_t length);
  std::uint32_t BlobFromBuffer(const void* data, std::uint32_t length);
  std::uint32_t BlobDuplicate(std::uint32_t handle);
  void BlobFree(std::uint32_t handle);
  std::uint8_t* BlobData(std::uint32_t handle) const;
  std::uint32_t BlobLength(std::uint32_t handle) const;
  // Blocks held now, by stored records and buffers together.
  std::size_t LiveBlobCount() const { return blobs_.size() - freeBlobs_.size(); }
  static std::uint32_t SlotBlob(const std::uint8_t* slot);
  static void SetSlotBlob(std::uint8_t* slot, std::uint32_t handle);

  // Comparison of two records over a field list (mode 0 to 4, see CompareRecords).
  int CompareRecords(const TmvxFieldList& fieldList, int maxFields, const TmvxRecord* keyRecord, const TmvxRecord* record,
                     bool ignoreNull, bool partial, int mode);

  // Attached tables.
  void AttachTable(TmvxCustomMemTable* table);
  void DetachTable(TmvxCustomMemTable* table);
  int AttachIndexOf(const TmvxCustomMemTable* table) const;
  const std::vector<TmvxCustomMemTable*>& AttachedTables() const { return attachedTables_; }
  bool IsAnyTableActive() const;
  void CloseTables(TmvxCustomMemTable* except);
  // Every other open table refreshes at its next step, on the thread that uses it (with its
  // refresh events, or quietly finding its record again): a table is never changed under
  // the thread that uses it.
  void RefreshTables(TmvxCustomMemTable* except, bool withEvents = true);
  void RebuildIndexes();
  void MarkIndexesDirty();
  // A change to the records as every open table's indexes see it: their filters' answers,
  // asked before anything changes (a filter that raises leaves everything as it was).
  struct ChangePlan {
    std::vector<std::pair<TmvxCustomMemTable*, std::vector<char>>> tables;
    std::size_t count = 0;  // of the entries in use (the others keep their room for the next plan)
  };
  void PlanChange(int how, PmvxRecord storedRecord, PmvxRecord newRecord, ChangePlan& plan);
  // Raises EMemTableDupKey when a unique index of a table on the store would take the record
  // and holds its key in another record than storedRecord; nothing has changed yet.
  void CheckUnique(const ChangePlan& plan, PmvxRecord record, PmvxRecord storedRecord);
  void ReflectChange(const ChangePlan& plan, TmvxCustomMemTable* originTable, int how, PmvxRecord newRecord,
                     int originPosition, PmvxRecord storedRecord);
  // Stores a new record (not yet added) and has every open table's indexes take it by the
  // plan, the origin table's current index at originPosition (-1: at its place or end).
  void AddPlannedRecord(const ChangePlan& plan, TmvxCustomMemTable* originTable, PmvxRecord record, int originPosition);

  // Settings.
  bool Standalone() const { return standalone_; }
  void SetStandalone(bool value);
  int AttachMaxCount() const { return attachMaxCount_; }
  void SetAttachMaxCount(int value);
  std::uint32_t LocaleID() const { return localeID_; }
  void SetLocaleID(std::uint32_t value);
  std::uint32_t LanguageID() const { return languageID_; }
  void SetLanguageID(std::uint32_t value) { SetLocalePart(languageID_, value); }
  std::uint32_t SubLanguageID() const { return subLanguageID_; }
  void SetSubLanguageID(std::uint32_t value) { SetLocalePart(subLanguageID_, value); }
  std::uint32_t SortID() const { return sortID_; }
  void SetSortID(std::uint32_t value) { SetLocalePart(sortID_, value); }
  std::int32_t AutoIncMin() const { return autoIncMin_; }
  void SetAutoIncMin(std::int32_t value);
  std::int32_t AutoIncMax() const { return autoIncMax_; }
  void SetAutoIncMax(std::int32_t value) { autoIncMax_ = value; }
  TmvxPerformance Performance() const { return performance_; }
  void SetPerformance(TmvxPerformance value) { performance_ = value; }
  TmvxVersioningMode VersioningMode() const { return versioningMode_; }
  void SetVersioningMode(TmvxVersioningMode value) { versioningMode_ = value; }
  bool EnableVersioning() const { return enableVersioning_; }
  void SetEnableVersioning(bool value) { enableVersioning_ = value; }
  bool IsDataModified() const { return isDataModified_; }
  void SetIsDataModified(bool value) { isDataModified_ = value; }
  std::int32_t TableID() const { return tableID_; }
  std::int32_t DeletedCount() const { return deletedCount_; }
  void SetDeletedCount(std::int32_t value) { deletedCount_ = value; }
  std::int32_t UniqueRecordIDCounter() const { return uniqueRecordID_; }
  std::int32_t RecordIDCounter() const { return recordID_; }
  // Set while the tables' events are suspended; changed only under the lock, read also
  // without it (a table asks at each event whether to take the lock and look again).
  bool UpdateFlag() const { return updateFlag_.load(std::memory_order_acquire); }
  void SetUpdateFlag(bool value) { updateFlag_.store(value, std::memory_order_release); }
  // Suspensions of the events not yet resumed, each holding the lock once: all of them
  // are the lock holder's. Changed and read only under the lock.
  int Suspensions() const { return suspensions_; }
  void SetSuspensions(int value) { suspensions_ = value; }

  // Transactions.
  std::int32_t TransactionLevel() const { return transactionLevel_; }
  void StartTransaction();
  void Commit();
  void Rollback();
  void EndTransaction();  // lowers the level by one, never below 0

  // Test hook: lets a test start the unique counter near its limit.
  void SetUniqueRecordIDCounterForTest(std::int32_t value) { uniqueRecordID_ = value; }

 private:
  void NewTableID();
  // Sets one part of the locale and joins the parts into the identifier again.
  void SetLocalePart(std::uint32_t& part, std::uint32_t value);
  void FreeVersions(PmvxRecord record);

  dataset::RecursiveLock lock_;
  bool standalone_ = false;
  std::vector<PmvxRecord> records_;
  TmvxCustomMemTable* owner_;
  int fieldCount_ = 0;
  std::vector<std::int32_t> fieldOffsets_;
  std::vector<std::uint8_t> fieldFlags_;  // out-of-line and compressed bits
  std::unique_ptr<std::atomic<bool>[]> changed_;  // the changed bit, per slot
  std::uint32_t languageID_ = 0, subLanguageID_ = 1, sortID_ = 0;
  std::int32_t tableID_ = 0;
  std::uint32_t localeID_ = kDefaultLocaleID;
  int bookmarkArraySize_ = 0, dataSize_ = 0, recordSize_ = 0, totalDataSize_ = 0, calcFieldsSize_ = 0,
      blobAreaSize_ = 0, startCalculated_ = 0, startBookmarks_ = 0, startBlobs_ = 0, blobFieldCount_ = 0;
  std::vector<int> blobSlots_;  // field slots held out of line, in slot order
  bool isDataModified_ = false;
  std::int32_t autoIncMin_ = 0, autoIncMax_ = 0;
  std::int32_t deletedCount_ = 0;
  std::int32_t uniqueRecordID_ = 0, recordID_ = 0;
  TmvxPerformance performance_ = mtpfFast;
  int attachMaxCount_ = 1;
  std::vector<TmvxCustomMemTable*> attachedTables_;
  std::atomic<int> attachedCount_{0};
  std::vector<std::int32_t> deletedRecords_;
  TmvxVersioningMode versioningMode_ = mtvm1SinceCheckPoint;
  bool enableVersioning_ = false;
  std::int32_t transactionLevel_ = 0;
  std::atomic<bool> updateFlag_{false};
  int suspensions_ = 0;

  std::vector<std::uint8_t*> blobs_;
  std::vector<std::uint32_t> freeBlobs_;
  RecordPool pool_;
  std::mt19937 random_;
};

}  // namespace memtable
