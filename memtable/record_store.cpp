#include "memtable/record_store.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "memtable/errors.h"
#include "memtable/mem_table.h"

// Under AddressSanitizer the pool marks the blocks it does not hand out, so that a record
// read after it was freed is reported as with the heap's own blocks.
#if defined(__SANITIZE_ADDRESS__)
#define KV_POOL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KV_POOL_ASAN 1
#endif
#endif
#ifdef KV_POOL_ASAN
#include <sanitizer/asan_interface.h>
#define KV_POOL_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define KV_POOL_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define KV_POOL_POISON(p, n) ((void)(p), (void)(n))
#define KV_POOL_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace memtable {

using namespace dataset;

namespace {

constexpr std::int32_t kUniqueLimit = 2147483600;

}  // namespace

bool IsStoredFieldType(FieldType t) {
  switch (t) {
    case ftString: case ftSmallint: case ftInteger: case ftWord: case ftBoolean: case ftFloat:
    case ftCurrency: case ftBCD: case ftDate: case ftTime: case ftDateTime: case ftBytes:
    case ftVarBytes: case ftAutoInc: case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo:
    case ftParadoxOle: case ftDBaseOle: case ftTypedBinary: case ftFixedChar: case ftLargeint:
    case ftADT: case ftArray: case ftOraBlob: case ftOraClob: case ftTimeStamp: case ftFMTBcd:
      return true;
    default:
      return false;
  }
}

std::vector<std::uint8_t> StoreCompress(const std::uint8_t* data, std::size_t size) {
  // Control byte c: 0..127 copies c + 1 literal bytes, 128..255 repeats the next byte
  // c - 125 times (3 to 130).
  std::vector<std::uint8_t> out;
  std::size_t i = 0;
  while (i < size) {
    std::size_t run = 1;
    while (i + run < size && run < 130 && data[i + run] == data[i]) ++run;
    if (run >= 3) {
      out.push_back(static_cast<std::uint8_t>(run + 125));
      out.push_back(data[i]);
      i += run;
      continue;
    }
    std::size_t start = i, len = 0;
    while (i < size && len < 128) {
      if (i + 2 < size && data[i] == data[i + 1] && data[i] == data[i + 2]) break;
      ++i;
      ++len;
    }
    out.push_back(static_cast<std::uint8_t>(len - 1));
    out.insert(out.end(), data + start, data + start + len);
  }
  return out;
}

std::vector<std::uint8_t> StoreDecompress(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> out;
  std::size_t i = 0;
  while (i < size) {
    std::uint8_t c = data[i++];
    if (c < 128) {
      std::size_t len = std::min<std::size_t>(c + 1u, size - i);
      out.insert(out.end(), data + i, data + i + len);
      i += len;
    } else if (i < size) {
      out.insert(out.end(), static_cast<std::size_t>(c - 125), data[i++]);
    }
  }
  return out;
}

TmvxCommon::TmvxCommon(TmvxCustomMemTable* owner) : owner_(owner), random_(std::random_device{}()) {
  attachedTables_.resize(1, nullptr);
  NewTableID();
}

TmvxCommon::~TmvxCommon() {
  // Tables that share this store cannot outlive it open.
  for (TmvxCustomMemTable* t : attachedTables_)
    if (t && t != owner_) t->Close();
  DeleteAllRecords();
  for (std::uint8_t* b : blobs_) std::free(b);
}

void TmvxCommon::NewTableID() {
  std::uniform_int_distribution<std::int64_t> dist(0, 2147483648LL);
  std::int32_t id;
  do {
    // 2147483648 does not fit; it stands for the largest id.
    id = static_cast<std::int32_t>(std::min<std::int64_t>(dist(random_), 2147483647));
  } while (id == tableID_);
  tableID_ = id;
}

void TmvxCommon::LayoutRecord() {
  const FieldDefs& defs = owner_->GetFieldDefs();
  if (defs.Count() == 0) throw EMemTableError(kAtLeastOneFieldText);
  bookmarkArraySize_ = attachMaxCount_ * kBookmarkSlotSize;
  int offset = 0;
  fieldOffsets_.clear();
  fieldFlags_.clear();
  blobSlots_.clear();

  // First walk: in-line slots get their offsets, out-of-line ones are marked.
  std::function<void(const FieldDef&)> walk = [&](const FieldDef& def) {
    if (!IsStoredFieldType(def.DataType))
      throw EMemTableError("Fielddef " + def.Name + " (" + def.DisplayName() + ")" + " Datatype " +
                           std::to_string(static_cast<int>(def.DataType)) + " not supported.");
    int slot = static_cast<int>(fieldOffsets_.size());
    std::uint8_t flags = 0;
    bool longInline = (def.DataType == ftString || def.DataType == ftFixedChar || def.DataType == ftBytes ||
                       def.DataType == ftVarBytes) &&
                      EffectiveFieldSize(def.DataType, def.Size) >= 13 && performance_ != mtpfFast;
    if (IsBlobType(def.DataType) || longInline) flags |= ffBlob;
    if (owner_->OnSetupField && !IsBlobType(def.DataType))
      if (Field* f = owner_->FieldByNumber(slot + 1)) owner_->OnSetupField(*owner_, *f, flags);
    fieldFlags_.push_back(flags);
    if (flags & ffBlob) {
      fieldOffsets_.push_back(-1);
    } else {
      fieldOffsets_.push_back(offset);
      offset += NativeFieldSize(def.DataType, def.Size) + 1;
    }
    int repeat = def.DataType == ftArray ? std::max(def.Size, 1) : 1;
    for (int r = 0; r < repeat; ++r)
      for (const FieldDef& child : def.ChildDefs) walk(child);
  };
  for (const FieldDef& def : defs.Items()) walk(def);
  fieldCount_ = static_cast<int>(fieldOffsets_.size());
  changed_ = std::make_unique<std::atomic<bool>[]>(static_cast<std::size_t>(fieldCount_));

  startCalculated_ = offset;
  calcFieldsSize_ = owner_->CalcFieldsSize();
  startBookmarks_ = startCalculated_ + calcFieldsSize_;
  startBlobs_ = startBookmarks_ + bookmarkArraySize_;

  // Second walk (slot order is the same): out-of-line slots get their places in the blob area.
  blobFieldCount_ = 0;
  for (int slot = 0; slot < fieldCount_; ++slot) {
    if (!(fieldFlags_[static_cast<std::size_t>(slot)] & ffBlob)) continue;
    if (performance_ == mtpfSmall) fieldFlags_[static_cast<std::size_t>(slot)] |= ffCompressed;
    fieldOffsets_[static_cast<std::size_t>(slot)] = startBlobs_ + kBlobSlotSize * blobFieldCount_;
    blobSlots_.push_back(slot);
    ++blobFieldCount_;
  }
  blobAreaSize_ = kBlobSlotSize * blobFieldCount_;
  dataSize_ = startBlobs_;
  totalDataSize_ = dataSize_ + blobAreaSize_;
  recordSize_ = totalDataSize_ + static_cast<int>(sizeof(TmvxRecord));
  isDataModified_ = false;
  ClearModifiedFlags();
}

void* RecordPool::Alloc(std::size_t size) {
  size = (size + 7) & ~static_cast<std::size_t>(7);
  if (live_ == 0 && size != size_) {
    Release();
    size_ = size;
  }
  if (size != size_) return nullptr;
  void* block;
  if (free_) {
    block = free_;
    KV_POOL_UNPOISON(block, size_);
    std::memcpy(&free_, block, sizeof(void*));
  } else {
    if (!next_ || next_ + size_ > end_) {
      // Each chunk as large as all before it together, from 16 blocks up to about a
      // megabyte: a small table takes little, a large one few chunks.
      const std::size_t most = std::max<std::size_t>(16, (std::size_t{1} << 20) / size_);
      const std::size_t blocks = std::min(most, std::max<std::size_t>(16, carved_));
      chunks_.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(blocks * size_));
      chunkBytes_.push_back(blocks * size_);
      next_ = chunks_.back().get();
      end_ = next_ + blocks * size_;
      carved_ += blocks;
      KV_POOL_POISON(next_, blocks * size_);
    }
    block = next_;
    next_ += size_;
    KV_POOL_UNPOISON(block, size_);
  }
  ++live_;
  return block;
}

void RecordPool::Free(void* block) {
  std::memcpy(block, &free_, sizeof(void*));
  free_ = block;
  KV_POOL_POISON(block, size_);
  if (--live_ == 0) Release();
}

void RecordPool::Release() {
  for (std::size_t i = 0; i < chunks_.size(); ++i) KV_POOL_UNPOISON(chunks_[i].get(), chunkBytes_[i]);
  chunks_.clear();
  chunkBytes_.clear();
  carved_ = 0;
  next_ = end_ = nullptr;
  free_ = nullptr;
}

PmvxRecord TmvxCommon::AllocStoredRecord() {
  const std::size_t size = static_cast<std::size_t>(recordSize_ > 0 ? recordSize_ : static_cast<int>(sizeof(TmvxRecord)));
  void* mem = pool_.Alloc(size);
  if (!mem) return AllocRecord();
  auto* r = static_cast<PmvxRecord>(mem);
  r->Flag = kPooledRecord;
  ClearRecord(r);
  return r;
}

PmvxRecord TmvxCommon::AllocRecord() {
  void* mem = ::operator new(static_cast<std::size_t>(recordSize_ > 0 ? recordSize_ : static_cast<int>(sizeof(TmvxRecord))));
  auto* r = static_cast<PmvxRecord>(mem);
  r->Flag = 0;
  ClearRecord(r);
  return r;
}

void TmvxCommon::ClearRecord(PmvxRecord r) {
  r->RecordNo = r->RecordID = r->UniqueRecordID = r->TransactionLevel = -1;
  r->Reserved = 0;
  r->PrevRecordVersion = nullptr;
  r->Flag &= kPooledRecord;
  r->UpdateStatus = 0;
  if (totalDataSize_ > 0) std::memset(r->Data, 0, static_cast<std::size_t>(totalDataSize_));
}

void TmvxCommon::CopyRecord(const TmvxRecord* s, PmvxRecord d) {
  d->RecordNo = s->RecordNo;
  d->RecordID = s->RecordID;
  d->UniqueRecordID = s->UniqueRecordID;
  d->UpdateStatus = s->UpdateStatus;
  d->TransactionLevel = s->TransactionLevel;
  d->Reserved = s->Reserved;
  d->PrevRecordVersion = s->PrevRecordVersion;
  if (dataSize_ > 0) std::memcpy(d->Data, s->Data, static_cast<std::size_t>(dataSize_));
  for (int slot : blobSlots_) {
    int off = fieldOffsets_[static_cast<std::size_t>(slot)];
    d->Data[off] = s->Data[off];
  }
}

PmvxRecord TmvxCommon::DuplicateRecord(const TmvxRecord* source, bool withBlobs) {
  PmvxRecord r = AllocStoredRecord();
  CopyRecord(source, r);
  if (withBlobs) CopyBlobs(source, r);
  return r;
}

void TmvxCommon::CopyBlobs(const TmvxRecord* s, PmvxRecord d) {
  for (int slot : blobSlots_) {
    int off = fieldOffsets_[static_cast<std::size_t>(slot)];
    std::uint8_t* ds = d->Data + off;
    BlobFree(SlotBlob(ds));
    ds[0] = 0;
    SetSlotBlob(ds, 0);
    std::uint32_t h = SlotBlob(s->Data + off);
    if (h) {
      SetSlotBlob(ds, BlobDuplicate(h));
      ds[0] = 2;
    }
  }
}

void TmvxCommon::TransferBlobs(PmvxRecord s, PmvxRecord d) {
  for (int slot : blobSlots_) {
    int off = fieldOffsets_[static_cast<std::size_t>(slot)];
    std::uint8_t* ss = s->Data + off;
    std::uint8_t* ds = d->Data + off;
    std::uint32_t h = SlotBlob(ss);
    if (h) {
      BlobFree(SlotBlob(ds));
      SetSlotBlob(ds, h);
      SetSlotBlob(ss, 0);
    } else if (ss[0] == 0) {
      BlobFree(SlotBlob(ds));
      SetSlotBlob(ds, 0);
      ds[0] = 0;
    }
  }
  CopyRecord(s, d);
}

void TmvxCommon::FreeBlobs(PmvxRecord r) {
  for (int slot : blobSlots_) {
    std::uint8_t* s = r->Data + fieldOffsets_[static_cast<std::size_t>(slot)];
    std::uint32_t h = SlotBlob(s);
    if (h) {
      BlobFree(h);
      std::memset(s, 0, kBlobSlotSize);
    }
  }
}

void TmvxCommon::FreeRecord(PmvxRecord r, bool freeBlobs, bool freeVersions) {
  // Walk the version chain iteratively: a record edited many times must not recurse.
  while (r) {
    PmvxRecord older = ((r->Flag & 1) && freeVersions) ? r->PrevRecordVersion : nullptr;
    if (freeBlobs) FreeBlobs(r);
    if (r->Flag & kPooledRecord)
      pool_.Free(r);
    else
      ::operator delete(r);
    r = older;
  }
}

void TmvxCommon::AddRecord(PmvxRecord r) {
  Guard g(*this);
  if (deletedRecords_.empty()) {
    r->RecordID = recordID_++;
    r->UniqueRecordID = uniqueRecordID_++;
    r->Flag |= 1;
    records_.push_back(r);
    if (uniqueRecordID_ >= kUniqueLimit)
      throw EMemTableFatalError("Bookmark counter is out of range. Please close and reopen table.");
  } else {
    r->RecordID = deletedRecords_.back();
    deletedRecords_.pop_back();
    r->UniqueRecordID = uniqueRecordID_++;
    records_[static_cast<std::size_t>(r->RecordID)] = r;
    r->Flag |= 1;
  }
  if (enableVersioning_) r->UpdateStatus = usInserted;
}

void TmvxCommon::DeleteRecord(PmvxRecord r) {
  if (!r) return;
  {
    Guard g(*this);
    deletedRecords_.push_back(r->RecordID);
    records_[static_cast<std::size_t>(r->RecordID)] = nullptr;
  }
  FreeRecord(r, true, true);
}

void TmvxCommon::DeleteAllRecords() {
  for (PmvxRecord r : records_) FreeRecord(r, true, true);
  deletedRecords_.clear();
  recordID_ = uniqueRecordID_ = 0;
  deletedCount_ = 0;
  records_.clear();
  NewTableID();
}

void TmvxCommon::EmptyTables() {
  Guard g(*this);
  std::vector<TmvxCustomMemTable*> active;
  for (TmvxCustomMemTable* t : attachedTables_)
    if (t && t->Active()) active.push_back(t);
  // Every table settles its edit before any is cleared: when one cannot (its post fails),
  // the error goes to the caller and every table still shows every record.
  for (TmvxCustomMemTable* t : active) t->LeaveEditForEmptying();
  std::size_t cleared = 0;
  try {
    for (; cleared < active.size(); ++cleared) active[cleared]->ClearForEmptying();
  } catch (...) {
    // A table that a handler put back in edit meanwhile: the records stay, and the
    // tables cleared so far take them back.
    for (std::size_t i = 0; i < cleared; ++i) active[i]->RestoreAfterFailedEmptying();
    throw;
  }
  DeleteAllRecords();
  for (TmvxCustomMemTable* t : active) t->TellEmptied();
}

void TmvxCommon::ReplaceRecords(TmvxCustomMemTable* loader, std::vector<PmvxRecord>& records) {
  Guard g(*this);
  if (records.size() >= static_cast<std::size_t>(kUniqueLimit))
    throw EMemTableFatalError("Bookmark counter is out of range. Please close and reopen table.");
  if (records_.capacity() < records.size()) records_.reserve(records.size());
  for (TmvxCustomMemTable* t : attachedTables_) {
    if (!t || !t->OpenOnStore()) continue;
    // Another table's cursor finds its record gone at its next step; only its indexes,
    // which hold the records about to be freed, are emptied here.
    if (t == loader)
      t->ClearCursorStateAndIndexes();
    else
      t->GetIndexes().EmptyAll();
  }
  // The new records' unique numbers go on from the old ones' (while the counter has room):
  // an edit of a record that went away, made through another table, is not taken for one
  // of them.
  std::int32_t unique = uniqueRecordID_;
  if (static_cast<std::int64_t>(unique) + static_cast<std::int64_t>(records.size()) >= kUniqueLimit) unique = 0;
  DeleteAllRecords();
  uniqueRecordID_ = unique;
  for (PmvxRecord r : records) {
    r->RecordID = recordID_++;
    r->UniqueRecordID = uniqueRecordID_++;
    r->Flag |= 1;
    r->TransactionLevel = transactionLevel_;
    if (enableVersioning_) r->UpdateStatus = usInserted;
    records_.push_back(r);
  }
  if (!records.empty()) isDataModified_ = true;
  records.clear();
}

int TmvxCommon::RecordCount() {
  Guard g(*this);
  return static_cast<int>(records_.size());
}

void TmvxCommon::ClearModifiedFlags() {
  Guard g(*this);
  for (int i = 0; i < fieldCount_; ++i) changed_[static_cast<std::size_t>(i)].store(false, std::memory_order_relaxed);
}

std::uint32_t TmvxCommon::SlotBlob(const std::uint8_t* slot) {
  std::uint32_t h;
  std::memcpy(&h, slot + 1, 4);
  return h;
}

void TmvxCommon::SetSlotBlob(std::uint8_t* slot, std::uint32_t handle) { std::memcpy(slot + 1, &handle, 4); }

std::uint32_t TmvxCommon::BlobAlloc(std::uint32_t length) {
  auto* block = static_cast<std::uint8_t*>(std::calloc(1, 4 + static_cast<std::size_t>(length)));
  if (!block) throw std::bad_alloc();
  std::memcpy(block, &length, 4);
  Guard g(*this);
  if (!freeBlobs_.empty()) {
    std::uint32_t h = freeBlobs_.back();
    freeBlobs_.pop_back();
    blobs_[h - 1] = block;
    return h;
  }
  blobs_.push_back(block);
  return static_cast<std::uint32_t>(blobs_.size());
}

std::uint32_t TmvxCommon::BlobFromBuffer(const void* data, std::uint32_t length) {
  std::uint32_t h = BlobAlloc(length);
  if (length) std::memcpy(BlobData(h), data, length);
  return h;
}

std::uint32_t TmvxCommon::BlobDuplicate(std::uint32_t handle) {
  if (!handle) return 0;
  std::uint32_t len = BlobLength(handle);
  std::uint32_t h = BlobAlloc(len);
  if (len) std::memcpy(BlobData(h), BlobData(handle), len);
  return h;
}

void TmvxCommon::BlobFree(std::uint32_t handle) {
  if (!handle) return;
  Guard g(*this);
  if (handle > blobs_.size() || !blobs_[handle - 1]) return;
  std::free(blobs_[handle - 1]);
  blobs_[handle - 1] = nullptr;
  freeBlobs_.push_back(handle);
}

std::uint8_t* TmvxCommon::BlobData(std::uint32_t handle) const {
  if (!handle || handle > blobs_.size() || !blobs_[handle - 1]) return nullptr;
  return blobs_[handle - 1] + 4;
}

std::uint32_t TmvxCommon::BlobLength(std::uint32_t handle) const {
  if (!handle || handle > blobs_.size() || !blobs_[handle - 1]) return 0;
  std::uint32_t len;
  std::memcpy(&len, blobs_[handle - 1], 4);
  return len;
}

int TmvxCommon::CompareRecords(const TmvxFieldList& list, int maxFields, const TmvxRecord* keyRecord,
                               const TmvxRecord* record, bool ignoreNull, bool partial, int mode) {
  int result = 0;
  if (!keyRecord || !record) return 0;
  int n = list.Count();
  if (maxFields > 0 && maxFields < n) n = maxFields;
  for (int i = 0; i < n; ++i) {
    Field* field = list.Fields(i);
    TmvxMemTableCompareOptions opts = list.Options(i);
    if (mode != 0) opts &= ~static_cast<unsigned>(mtcoDescending);
    bool skipNull = (opts & mtcoIgnoreNullKey) || ignoreNull;
    if (partial) opts |= mtcoPartialKey;
    const std::uint8_t* kp = FieldPointer(keyRecord, field);
    const std::uint8_t* vp = FieldPointer(record, field);
    if (!kp || !vp) continue;
    if (skipNull && kp[0] == 0) continue;
    bool full = true;
    if (kp[0] == 0 || vp[0] == 0) {
      result = (kp[0] == 0 && vp[0] == 0) ? 0 : (kp[0] == 0 ? -1 : 1);
    } else {
      const void* kv = kp + 1;
      const void* vv = vp + 1;
      std::vector<std::uint8_t> kd, vd;
      int no = field->FieldNo();
      std::uint8_t flags = no > 0 ? fieldFlags_[static_cast<std::size_t>(no - 1)] : 0;
      if (flags & ffBlob) {
        auto fetch = [&](const TmvxRecord* r, const std::uint8_t* slot, std::vector<std::uint8_t>& out) {
          std::uint32_t h = SlotBlob(slot);
          if (!h) {
            if (r->RecordID < 0) throw EMemTableInvalidRecord("Invalid record ");
            PmvxRecord stored = Record(r->RecordID);
            if (stored) h = SlotBlob(stored->Data + fieldOffsets_[static_cast<std::size_t>(no - 1)]);
          }
          const std::uint8_t* d = BlobData(h);
          std::uint32_t len = BlobLength(h);
          if (d && (flags & ffCompressed)) {
            if (owner_->OnDecompressField) {
              owner_->OnDecompressField(*owner_, *field, d, len, out);
            } else {
              out = StoreDecompress(d, len);
            }
          } else if (d) {
            out.assign(d, d + len);
          }
          // Texts and fixed values are read past their stored length as zeros.
          out.resize(std::max<std::size_t>(out.size(), static_cast<std::size_t>(field->DataSize())) + 1, 0);
        };
        fetch(keyRecord, kp, kd);
        fetch(record, vp, vd);
        kv = kd.data();
        vv = vd.data();
      }
      if (owner_->OnCompareFields) {
        int r = 0;
        owner_->OnCompareFields(*owner_, kv, vv, field->DataType(), opts, full, r);
        result = r;
      } else {
        result = CompareFields(kv, vv, field->DataType(), localeID_, opts, full);
      }
    }
    // A partial match of one field does not decide: the fields after it are compared
    // too, so that a key of several fields matches only where every given field does.
    (void)full;
    switch (mode) {
      case 0:
        if (result != 0) return result;
        break;
      case 1: if (result < 0) return result; break;
      case 2: if (result > 0) return result; break;
      case 3: if (result <= 0) return result; break;
      case 4: if (result >= 0) return result; break;
      default: break;
    }
  }
  return result;
}

TmvxRecordComparer::TmvxRecordComparer(TmvxCommon& store, const TmvxFieldList& list, bool partial)
    : store_(store), list_(list), partial_(partial) {
  if (store.Owner()->OnCompareFields || list.Count() > kMaxParts) fast_ = false;
  for (int i = 0; i < list.Count() && fast_; ++i) {
    Field* f = list.Fields(i);
    int no = f->FieldNo();
    if (no > store.FieldCount() || (no > 0 && (store.FieldFlags(no - 1) & ffBlob))) {
      fast_ = false;
      break;
    }
    TmvxMemTableCompareOptions o = list.Options(i) | (partial ? static_cast<unsigned>(mtcoPartialKey) : 0u);
    bool text = f->DataType() == ftString || f->DataType() == ftFixedChar;
    if (text && !(o & mtcoIgnoreLocale) && !LocaleServed(store.LocaleID())) fast_ = false;
    int offset = no > 0 ? store.FieldOffset(no - 1) : store.StartCalculated() + f->Offset();
    parts_[count_++] = {offset, f->DataType(), o};
  }
}

int TmvxRecordComparer::Slow(const TmvxRecord* key, const TmvxRecord* record) const {
  return store_.CompareRecords(list_, 0, key, record, false, partial_, 0);
}

int TmvxRecordComparer::Parts(const TmvxRecord* key, const TmvxRecord* record) const {
  int result = 0;
  for (int i = 0; i < count_; ++i) {
    const Part& p = parts_[i];
    const std::uint8_t* kp = key->Data + p.offset;
    const std::uint8_t* vp = record->Data + p.offset;
    if (kp[0] == 0 && (p.options & mtcoIgnoreNullKey)) continue;
    if (kp[0] == 0 || vp[0] == 0) {
      result = (kp[0] == 0 && vp[0] == 0) ? 0 : (kp[0] == 0 ? -1 : 1);
      if (result != 0) return result;
      continue;
    }
    bool full = true;
    switch (p.type) {
      case ftString:
      case ftFixedChar:
        if (p.options & mtcoPartialKey)
          result = CompareFields(kp + 1, vp + 1, p.type, store_.LocaleID(), p.options, full);
        else
          result = CompareTextFast(reinterpret_cast<const char*>(kp + 1), reinterpret_cast<const char*>(vp + 1), p.options);
        break;
      case ftInteger:
      case ftAutoInc: {
        std::int32_t a, b;
        std::memcpy(&a, kp + 1, 4);
        std::memcpy(&b, vp + 1, 4);
        result = a < b ? -1 : (a > b ? 1 : 0);
        if (p.options & mtcoDescending) result = -result;
        break;
      }
      default:
        result = CompareFields(kp + 1, vp + 1, p.type, store_.LocaleID(), p.options, full);
        break;
    }
    (void)full;
    if (result != 0) return result;
  }
  return result;
}

void TmvxCommon::AttachTable(TmvxCustomMemTable* table) {
  Guard g(*this);
  for (std::size_t i = 0; i < attachedTables_.size(); ++i)
    if (!attachedTables_[i]) {
      attachedTables_[i] = table;
      table->SetBookmarkSlotIndex(static_cast<int>(i));
      ++attachedCount_;
      return;
    }
  if (IsAnyTableActive()) throw EMemTableError(kTableMustBeClosedText);
  attachedTables_.push_back(table);
  ++attachedCount_;
  table->SetBookmarkSlotIndex(static_cast<int>(attachedTables_.size()) - 1);
  attachMaxCount_ = static_cast<int>(attachedTables_.size());
}

void TmvxCommon::DetachTable(TmvxCustomMemTable* table) {
  Guard g(*this);
  for (auto& t : attachedTables_)
    if (t == table) {
      t = nullptr;
      --attachedCount_;
    }
}

int TmvxCommon::AttachIndexOf(const TmvxCustomMemTable* table) const {
  for (std::size_t i = 0; i < attachedTables_.size(); ++i)
    if (attachedTables_[i] == table) return static_cast<int>(i);
  return -1;
}

bool TmvxCommon::IsAnyTableActive() const {
  for (TmvxCustomMemTable* t : attachedTables_)
    if (t && t->OpenOnStore()) return true;
  return false;
}

void TmvxCommon::CloseTables(TmvxCustomMemTable* except) {
  Guard g(*this);
  for (std::size_t i = attachedTables_.size(); i-- > 0;)
    if (attachedTables_[i] && attachedTables_[i] != except) attachedTables_[i]->Close();
}

void TmvxCommon::RefreshTables(TmvxCustomMemTable* except, bool withEvents) {
  // A store that serves one table has nothing to refresh (the common case, checked
  // without taking the lock).
  if (attachedCount_.load(std::memory_order_relaxed) <= 1) return;
  Guard g(*this);
  for (TmvxCustomMemTable* t : attachedTables_)
    if (t && t != except && t->OpenOnStore()) t->RefreshAtNextStep(withEvents);
}

void TmvxCommon::RebuildIndexes() {
  Guard g(*this);
  for (TmvxCustomMemTable* t : attachedTables_)
    if (t && t->OpenOnStore()) t->GetIndexes().RebuildAll();
}

void TmvxCommon::MarkIndexesDirty() {
  Guard g(*this);
  for (TmvxCustomMemTable* t : attachedTables_)
    if (t && t->OpenOnStore()) t->GetIndexes().MarkAllDirty();
}

void TmvxCommon::PlanChange(int how, PmvxRecord storedRecord, PmvxRecord newRecord, ChangePlan& plan) {
  Guard g(*this);
  plan.count = 0;
  for (TmvxCustomMemTable* t : attachedTables_) {
    if (!t || !t->OpenOnStore()) continue;
    if (plan.count == plan.tables.size()) plan.tables.emplace_back();
    auto& [table, accepts] = plan.tables[plan.count++];
    table = t;
    t->GetIndexes().Accepts(how, storedRecord, newRecord, accepts);
  }
}

void TmvxCommon::CheckUnique(const ChangePlan& plan, PmvxRecord record, PmvxRecord storedRecord) {
  Guard g(*this);
  for (std::size_t i = 0; i < plan.count; ++i)
    plan.tables[i].first->GetIndexes().CheckUnique(record, storedRecord, plan.tables[i].second);
}

void TmvxCommon::ReflectChange(const ChangePlan& plan, TmvxCustomMemTable* originTable, int how, PmvxRecord newRecord,
                               int originPosition, PmvxRecord storedRecord) {
  Guard g(*this);
  for (std::size_t i = 0; i < plan.count; ++i) {
    TmvxCustomMemTable* t = plan.tables[i].first;
    t->GetIndexes().ReflectChange(how, storedRecord, t == originTable ? originPosition : -1, newRecord,
                                  t == originTable, plan.tables[i].second);
  }
}

void TmvxCommon::AddPlannedRecord(const ChangePlan& plan, TmvxCustomMemTable* originTable, PmvxRecord record,
                                  int originPosition) {
  Guard g(*this);
  try {
    AddRecord(record);
  } catch (...) {
    // The record is stored all the same (the counter ran out); the indexes must know it
    // before the error travels on.
    ReflectChange(plan, originTable, rcInsert, record, -1, record);
    throw;
  }
  record->TransactionLevel = transactionLevel_;
  ReflectChange(plan, originTable, rcInsert, record, originPosition, record);
}

void TmvxCommon::RebuildIndexesAfterLoad() {
  Guard g(*this);
  for (TmvxCustomMemTable* t : attachedTables_) {
    if (!t || !t->OpenOnStore()) continue;
    TmvxIndexes& indexes = t->GetIndexes();
    for (int i = 0; i < indexes.Count(); ++i) {
      TmvxIndex& index = *indexes.Items(i);
      if ((index.IndexOptions & mtcoNonMaintained) && &index != t->ActiveIndex() && !index.IsRowOrder) {
        index.Clear();
      } else {
        index.IsOrdered = false;
        index.Rebuild();
      }
    }
  }
}

void TmvxCommon::SetStandalone(bool value) {
  Enter();
  int attached = 0;
  for (TmvxCustomMemTable* t : attachedTables_)
    if (t) ++attached;
  if (attached >= 2) {
    Leave();
    throw EMemTableError("Children are attached to this table.");
  }
  // Leave in the mode the lock was entered in, then switch.
  Leave();
  standalone_ = value;
}

void TmvxCommon::SetAttachMaxCount(int value) {
  if (value < 1) throw ERangeError("Invalid argument.");
  Guard g(*this);
  if (IsAnyTableActive()) throw EMemTableError(kTableMustBeClosedText);
  attachMaxCount_ = value;
  attachedTables_.resize(static_cast<std::size_t>(value), nullptr);
}

void TmvxCommon::SetLocaleID(std::uint32_t value) {
  Guard g(*this);
  localeID_ = value;
  sortID_ = (value >> 16) & 0xF;
  languageID_ = value & 0xFF;
  subLanguageID_ = (value >> 10) & 0x3F;
}

void TmvxCommon::SetLocalePart(std::uint32_t& part, std::uint32_t value) {
  Guard g(*this);
  part = value;
  localeID_ = (sortID_ << 16) | (subLanguageID_ * 1024) | languageID_;
}

void TmvxCommon::SetAutoIncMin(std::int32_t value) {
  Guard g(*this);
  autoIncMin_ = value;
  if (value > autoIncMax_) autoIncMax_ = value - 1;
}

void TmvxCommon::StartTransaction() {
  Guard g(*this);
  ++transactionLevel_;
}

void TmvxCommon::EndTransaction() {
  Guard g(*this);
  if (transactionLevel_ > 0) --transactionLevel_;
}

void TmvxCommon::Commit() {
  Guard g(*this);
  for (PmvxRecord r : records_) {
    if (!r) continue;
    PmvxRecord v = r->PrevRecordVersion;
    while (v && v->TransactionLevel == transactionLevel_) {
      PmvxRecord older = v->PrevRecordVersion;
      FreeRecord(v, true, false);
      v = older;
    }
    r->PrevRecordVersion = v;
    if (r->TransactionLevel == transactionLevel_) r->TransactionLevel = transactionLevel_ - 1;
  }
}

void TmvxCommon::Rollback() {
  Guard g(*this);
  isDataModified_ = false;
  for (std::size_t i = 0; i < records_.size(); ++i) {
    PmvxRecord r = records_[i];
    while (r && r->TransactionLevel == transactionLevel_) {
      if (r->UpdateStatus == usUnmodified) break;
      if (r->UpdateStatus == usInserted) {
        FreeRecord(r, true, true);
        records_[i] = nullptr;
        deletedRecords_.push_back(static_cast<std::int32_t>(i));
        r = nullptr;
        break;
      }
      PmvxRecord older = r->PrevRecordVersion;
      if (r->UpdateStatus == usDeleted && deletedCount_ > 0) --deletedCount_;
      FreeRecord(r, true, false);
      r = older;
      if (r) r->Flag |= 1;
      records_[i] = r;
      if (!r) deletedRecords_.push_back(static_cast<std::int32_t>(i));
    }
    if (r && r->UpdateStatus != usUnmodified) isDataModified_ = true;
  }
}

}  // namespace memtable
