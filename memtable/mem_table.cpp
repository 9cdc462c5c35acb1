// The table core: open and close, record buffers, field reads and writes, posting,
// deleting, versions and transactions.
#include "memtable/mem_table.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "memtable/filter.h"

namespace memtable {

using namespace dataset;

TmvxCustomMemTable::TmvxCustomMemTable(std::string name)
    : DataSet(std::move(name)), indexes_(std::make_unique<TmvxIndexes>(this)) {
  ownCommon_ = std::make_unique<TmvxCommon>(this);
  common_ = ownCommon_.get();
  common_->AttachTable(this);
  auto rowOrder = std::make_unique<TmvxIndex>(kRowOrderIndexName, this, "", 0, 0, true);
  rowOrder->IsRowOrder = true;
  // Row order is searched by the records' ids, which the records hold: no sort keys.
  rowOrder->References.SetKeyed(false);
  indexes_->RowOrderIndex = rowOrder.get();
  indexes_->Add(std::move(rowOrder));
  activeIndex_ = indexes_->RowOrderIndex;
}

TmvxCustomMemTable::~TmvxCustomMemTable() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot pass the error on: it goes to the application's handler. A
    // persistent file that could not be written is given up, so that the table closes
    // and frees its buffers.
    InternalHandleException(std::current_exception());
    Persistent = false;
    try {
      Close();
    } catch (...) {
    }
  }
  masterLink_.SetMaster(nullptr);
  SetDeltaHandler(nullptr);
  parsedFilter_.reset();
  if (ownCommon_) {
    // Tables attached to this one's store are closed and go on with stores of their own.
    std::vector<TmvxCustomMemTable*> others;
    for (TmvxCustomMemTable* t : common_->AttachedTables())
      if (t && t != this) others.push_back(t);
    for (TmvxCustomMemTable* t : others) {
      try {
        t->Close();
      } catch (...) {
      }
      t->common_->DetachTable(t);
      t->attachedTo_ = nullptr;
      t->TakeOwnStore();
    }
  }
  indexes_.reset();
  common_->DetachTable(this);
}

void TmvxCustomMemTable::TakeOwnStore() {
  ownCommon_ = std::make_unique<TmvxCommon>(this);
  common_ = ownCommon_.get();
  common_->AttachTable(this);
}

void TmvxCustomMemTable::InternalLast() {
  TmvxCommon::Guard g(*common_);
  cursorPos_ = activeIndex_->Count();
  cursorOnGap_ = false;
}

Field* TmvxCustomMemTable::FieldByNumber(int fieldNo) const {
  for (int i = 0; i < FieldCount(); ++i)
    if (GetField(i).FieldNo() == fieldNo) return &GetField(i);
  return nullptr;
}

void TmvxCustomMemTable::ReportProgress(int percentage, TmvxProgressCode code) {
  if (OnProgress && (ProgressFlags & ProgressCodeBit(code))) OnProgress(*this, percentage, code);
}

void TmvxCustomMemTable::RecalcRecord(PmvxRecord record) {
  if (CalcFieldsSize() > 0 && common_->IsLaidOut())
    std::memset(record->Data + common_->StartCalculated(), 0, static_cast<std::size_t>(common_->CalcFieldsSize()));
  GetCalcFields(reinterpret_cast<RecordBuffer>(record));
}

void TmvxCustomMemTable::SetStandalone(bool value) {
  {
    TmvxCommon::Guard g(*common_);
    if (value == common_->Standalone()) return;
    if (Active()) throw EMemTableError(kTableMustBeClosedText);
    if (attachedTo_) throw EMemTableError("Table is attached to another table.");
  }
  // Switched outside the lock: a guard taken in one mode must be left in the same one.
  common_->SetStandalone(value);
}

// ---- open and close ----

void TmvxCustomMemTable::InternalInitFieldDefs() {
  if (attachedTo_) {
    GetFieldDefs() = attachedTo_->GetFieldDefs();
    return;
  }
  if (!DefaultFields()) {
    FieldDefs& defs = GetFieldDefs();
    defs.Clear();
    for (int i = 0; i < FieldCount(); ++i) {
      Field& f = GetField(i);
      if (f.Kind() == fkData || f.Kind() == fkInternalCalc) defs.Add(f.FieldName(), f.DataType(), f.Size(), f.Required);
    }
  }
  common_->SetAutoIncMax(AutoIncMinValue - 1);
}

void TmvxCustomMemTable::InternalOpen() {
  // A table on another table's store sees that table's records in that table's layout.
  if (attachedTo_ && !attachedTo_->Active()) attachedTo_->Open();
  TmvxCommon::Guard g(*common_);
  InternalInitFieldDefs();
  if (DefaultFields()) {
    if (GetFieldDefs().Count() < 1) throw EMemTableError(kAtLeastOneFieldText);
    CreateFields();
  }
  autoIncrementField_ = nullptr;
  for (int i = 0; i < FieldCount() && !autoIncrementField_; ++i)
    if (GetField(i).DataType() == ftAutoInc) autoIncrementField_ = &GetField(i);
  SetBookmarkSize(kBookmarkDataSize);
  try {
    BindFields(true);
    if (!attachedTo_) common_->LayoutRecord();
    cursorOpen_ = true;
    cursorPos_ = -1;
    repositionPos_ = -1;
    indexes_->Clear();
    for (int i = 0; i < GetIndexDefs().Count(); ++i) indexes_->AddIndexDef(GetIndexDefs()[i]);
  } catch (...) {
    cursorOpen_ = false;
    indexes_->Clear();
    BindFields(false);
    DestroyFields();
    throw;
  }
  activeIndex_ = indexes_->RowOrderIndex;
}

void TmvxCustomMemTable::DoAfterOpen() {
  if (afterOpenRunning_) return;
  afterOpenRunning_ = true;
  try {
    indexes_->RebuildAll();
    if (!sortFields_.empty())
      ApplySortIndex();
    else if (!indexFieldNames_.empty())
      SetIndexFieldNames(indexFieldNames_);
    else if (!indexName_.empty())
      SetIndexName(indexName_);
    detailKeyFields_.Clear();
    if (!detailFields_.empty()) ParseFieldList(detailFields_, detailKeyFields_);
    LoadFormDataOnOpen();
    ReadPersistentFile();
    if (!Filter().empty()) BuildFilter(*this, parsedFilter_, Filter(), GetFilterOptions());
    if (masterLink_.Master() && masterLink_.Master()->Active()) MasterRecordChanged();
    First();
    DataSet::DoAfterOpen();
  } catch (...) {
    afterOpenRunning_ = false;
    throw;
  }
  afterOpenRunning_ = false;
}

void TmvxCustomMemTable::DoBeforeClose() {
  refreshDue_.store(0, std::memory_order_relaxed);  // a closing table refreshes nothing
  if (State() == dsEdit || State() == dsInsert) Cancel();
  DataSet::DoBeforeClose();
  // The persistent file is written before the records go; a failed write leaves the
  // table open, its records and the old file as they were.
  WritePersistentFile();
}

void TmvxCustomMemTable::InternalClose() {
  if (!attachedTo_) {
    // The records go with the store's owner; the tables on its store close with it.
    TmvxCommon::Guard g(*common_);
    EmptyTable();
    common_->CloseTables(this);
  }
  {
    TmvxCommon::Guard g(*common_);
    indexes_->Clear();
    activeIndex_ = indexes_->RowOrderIndex;
    cursorOpen_ = false;
  }
  BindFields(false);
  FreeWorkRecords();
  parsedFilter_.reset();
  currentIndexFields_.Clear();
  locateFieldsText_.clear();
  locateFields_.Clear();
  DestroyFields();
}

void TmvxCustomMemTable::FreeWorkRecords() {
  for (PmvxRecord* r : {&keyBuffer_, &masterValues_, &rangeStart_, &rangeEnd_})
    if (*r) {
      common_->FreeRecord(*r, true, false);
      *r = nullptr;
    }
  masterCount_ = 0;
  rangeActive_ = false;
  rangeFields_.Clear();
  detailKeyFields_.Clear();
}

void TmvxCustomMemTable::EmptyTable() {
  ReportProgress(0, mtpcEmpty);
  DisableControls();
  try {
    common_->EmptyTables();
  } catch (...) {
    EnableControls();
    throw;
  }
  EnableControls();
  ReportProgress(100, mtpcEmpty);
}

void TmvxCustomMemTable::ClearCursorStateAndIndexes() {
  CheckBrowseMode();
  ClearBuffers();
  DataEvent(deDataSetChange, nullptr);
  indexes_->EmptyAll();
  // An emptied index is complete and in order.
  for (int i = 0; i < indexes_->Count(); ++i) indexes_->Items(i)->IsOrdered = true;
  cursorPos_ = -1;
}

namespace {

// Runs a step of the store's emptying with the table's bulk operation 3.
template <typename Step>
void AsEmptying(int& bulkOperation, Step step) {
  const int old = std::exchange(bulkOperation, 3);
  try {
    step();
  } catch (...) {
    bulkOperation = old;
    throw;
  }
  bulkOperation = old;
}

}  // namespace

void TmvxCustomMemTable::LeaveEditForEmptying() {
  AsEmptying(bulkOperation_, [this] { CheckBrowseMode(); });
}

void TmvxCustomMemTable::ClearForEmptying() {
  AsEmptying(bulkOperation_, [this] {
    CheckBrowseMode();
    ClearBuffers();
    indexes_->EmptyAll();
    // An emptied index is complete and in order.
    for (int i = 0; i < indexes_->Count(); ++i) indexes_->Items(i)->IsOrdered = true;
    cursorPos_ = -1;
    cursorOnGap_ = false;
  });
}

void TmvxCustomMemTable::TellEmptied() {
  AsEmptying(bulkOperation_, [this] { DataEvent(deDataSetChange, nullptr); });
}

void TmvxCustomMemTable::RestoreAfterFailedEmptying() {
  indexes_->RebuildAll();
  ResyncCursor();
}

// ---- record buffers ----

RecordBuffer TmvxCustomMemTable::AllocRecordBuffer() { return reinterpret_cast<RecordBuffer>(common_->AllocRecord()); }

void TmvxCustomMemTable::FreeRecordBuffer(RecordBuffer& buffer) {
  // A cursor buffer owns the copies of out-of-line values fetched into it.
  common_->FreeRecord(reinterpret_cast<PmvxRecord>(buffer), true, false);
  buffer = nullptr;
}

void TmvxCustomMemTable::InternalInitRecord(RecordBuffer buffer) {
  auto* r = reinterpret_cast<PmvxRecord>(buffer);
  common_->FreeBlobs(r);
  common_->ClearRecord(r);
}

PmvxRecord TmvxCustomMemTable::ActiveRecordBuffer(bool& shared) {
  shared = true;
  if (bufferOverride_) return bufferOverride_;
  // A calculation may run on a stored record too (calculated fields of index keys).
  shared = State() == dsFilter || State() == dsOldValue || State() == dsCalcFields;
  switch (State()) {
    case dsBrowse: return HasActiveRecord() ? reinterpret_cast<PmvxRecord>(ActiveBuffer()) : nullptr;
    case dsEdit: case dsInsert: case dsNewValue: case dsCurValue: case dsBlockRead:
      return reinterpret_cast<PmvxRecord>(ActiveBuffer());
    case dsSetKey: return keyBuffer_;
    case dsCalcFields: return reinterpret_cast<PmvxRecord>(CalcBuffer());
    case dsFilter: return filterRecord_;
    case dsOldValue: {
      auto* a = reinterpret_cast<PmvxRecord>(ActiveBuffer());
      if (!a || a->RecordID < 0) return a;
      PmvxRecord r = common_->Record(a->RecordID);
      while (r && r->PrevRecordVersion) r = r->PrevRecordVersion;
      return r ? r : a;
    }
    default: return nullptr;
  }
}

PmvxRecord TmvxCustomMemTable::StoredRecordOf(const TmvxRecord* buffer) const {
  if (!buffer || buffer->RecordID < 0) return nullptr;
  PmvxRecord r = common_->Record(buffer->RecordID);
  return r && r->UniqueRecordID == buffer->UniqueRecordID ? r : nullptr;
}

// ---- fields ----

bool TmvxCustomMemTable::GetFieldData(const Field* field, void* buffer) {
  if (!cursorOpen_) return false;
  // The table's own buffers belong to the thread that uses the table: an in-line value
  // read from one needs no lock. Stored records and out-of-line blocks are shared with
  // every table on the store.
  bool shared;
  PmvxRecord rec = ActiveRecordBuffer(shared);
  if (!rec) return false;
  int no = field->FieldNo();
  std::uint8_t flags = no > 0 && no <= common_->FieldCount() ? common_->FieldFlags(no - 1) : 0;
  if (!shared && !(flags & ffBlob)) {
    std::uint8_t* p = common_->FieldPointer(rec, field);
    if (!p) return false;
    bool has = p[0] != 0;
    if (has && buffer) std::memcpy(buffer, p + 1, static_cast<std::size_t>(field->DataSize()));
    return has;
  }
  TmvxCommon::Guard g(*common_);
  std::uint8_t* p = common_->FieldPointer(rec, field);
  if (!p) return false;
  bool has = p[0] != 0;
  if (!(flags & ffBlob)) {
    if (has && buffer) std::memcpy(buffer, p + 1, static_cast<std::size_t>(field->DataSize()));
    return has;
  }
  if (!has) return false;
  std::uint32_t h = TmvxCommon::SlotBlob(p);
  if (!h && rec->RecordID >= 0) {
    if (PmvxRecord stored = common_->Record(rec->RecordID)) h = TmvxCommon::SlotBlob(common_->FieldPointer(stored, field));
  }
  if (!h && rec->RecordID < 0 && buffer) throw EMemTableInvalidRecord("Invalid record ");
  if (IsBlobType(field->DataType())) return has;
  if (h && buffer) {
    const std::uint8_t* d = common_->BlobData(h);
    std::uint32_t len = common_->BlobLength(h);
    std::vector<std::uint8_t> plain;
    if (flags & ffCompressed) {
      if (OnDecompressField)
        OnDecompressField(*this, const_cast<Field&>(*field), d, len, plain);
      else
        plain = StoreDecompress(d, len);
      d = plain.data();
      len = static_cast<std::uint32_t>(plain.size());
    }
    std::size_t size = static_cast<std::size_t>(field->DataSize());
    std::memset(buffer, 0, size);
    std::memcpy(buffer, d, std::min<std::size_t>(len, size));
  }
  return has;
}

void TmvxCustomMemTable::SetFieldData(Field* field, const void* buffer) {
  if (!cursorOpen_) return;
  switch (State()) {
    case dsEdit: case dsInsert: case dsSetKey: case dsCalcFields: case dsFilter: case dsNewValue: case dsInternalCalc:
      break;
    default:
      dataset::DatabaseError("Dataset is not in edit mode.", this);
  }
  bool shared;
  PmvxRecord rec = ActiveRecordBuffer(shared);
  int no = field->FieldNo();
  bool dataField = no > 0 && no <= common_->FieldCount() && field->Kind() != fkCalculated && field->Kind() != fkLookup;
  std::uint8_t flags = dataField ? common_->FieldFlags(no - 1) : 0;
  // As for reads: the lock guards stored records and out-of-line blocks, not the
  // table's own buffers.
  std::optional<TmvxCommon::Guard> guard;
  if (shared || (flags & ffBlob)) guard.emplace(*common_);
  std::uint8_t* p = common_->FieldPointer(rec, field);
  if (!p) return;
  if (!writeAnyField_ && (ReadOnly || (field->ReadOnly && State() != dsSetKey)))
    dataset::DatabaseError("Field " + field->DisplayName() + " is read only", this);
  std::size_t size = static_cast<std::size_t>(field->DataSize());
  // Validation comes before any byte of the slot changes, so a refused value leaves the
  // field as it was, null flag included.
  if (field->Kind() == fkData || field->Kind() == fkCalculated || field->Kind() == fkInternalCalc) field->Validate(buffer);
  if (flags & ffBlob) {
    common_->BlobFree(TmvxCommon::SlotBlob(p));
    TmvxCommon::SetSlotBlob(p, 0);
    if (buffer) {
      const auto* data = static_cast<const std::uint8_t*>(buffer);
      if (flags & ffCompressed) {
        std::vector<std::uint8_t> packed;
        if (OnCompressField)
          OnCompressField(*this, *field, data, static_cast<std::uint32_t>(size), packed);
        else
          packed = StoreCompress(data, size);
        TmvxCommon::SetSlotBlob(p, common_->BlobFromBuffer(packed.data(), static_cast<std::uint32_t>(packed.size())));
      } else {
        TmvxCommon::SetSlotBlob(p, common_->BlobFromBuffer(data, static_cast<std::uint32_t>(size)));
      }
    }
  } else if (buffer) {
    std::memcpy(p + 1, buffer, size);
  }
  p[0] = buffer ? 2 : 0;
  if (no > 0 && no <= common_->FieldCount()) common_->MarkChanged(no - 1);
  // The change is told outside the lock: computing calculated fields may look up values
  // in other tables.
  guard.reset();
  if (State() != dsCalcFields && State() != dsFilter && State() != dsNewValue) DataEvent(deFieldChange, field);
}

void TmvxCustomMemTable::WriteFieldValue(PmvxRecord record, Field* field, const Variant& value) {
  TmvxCommon::Guard g(*common_);
  std::uint8_t* p = common_->FieldPointer(record, field);
  if (!p) return;
  int no = field->FieldNo();
  std::uint8_t flags = no > 0 ? common_->FieldFlags(no - 1) : 0;
  std::size_t size = static_cast<std::size_t>(field->DataSize());
  if (value.IsNull()) {
    p[0] = 0;
    if (flags & ffBlob) {
      common_->BlobFree(TmvxCommon::SlotBlob(p));
      TmvxCommon::SetSlotBlob(p, 0);
    } else {
      std::memset(p + 1, 0, size);
    }
    return;
  }
  // Fixed values and short texts are converted on the stack.
  std::uint8_t small[64];
  std::vector<std::uint8_t> large;
  std::uint8_t* native = small;
  if (size + 1 > sizeof small) {
    large.assign(size + 1, 0);
    native = large.data();
  } else {
    std::memset(small, 0, sizeof small);
  }
  if (size > 0) VariantToNative(field->DataType(), field->Size(), value, native);
  p[0] = 2;
  if (flags & ffBlob) {
    common_->BlobFree(TmvxCommon::SlotBlob(p));
    std::vector<std::uint8_t> data(native, native + size);
    if (flags & ffCompressed) {
      std::vector<std::uint8_t> packed;
      if (OnCompressField)
        OnCompressField(*this, *field, data.data(), static_cast<std::uint32_t>(data.size()), packed);
      else
        packed = StoreCompress(data.data(), data.size());
      data.swap(packed);
    }
    TmvxCommon::SetSlotBlob(p, common_->BlobFromBuffer(data.data(), static_cast<std::uint32_t>(data.size())));
    common_->SetFieldFlags(no - 1, common_->FieldFlags(no - 1) | ffChanged);
  } else {
    std::memcpy(p + 1, native, size);
  }
}

bool TmvxCustomMemTable::HeldBack(bool& behind) {
  if (!common_->UpdateFlag()) return false;
  // The flag changes only under the lock: looked at again there, it holds until the
  // table is done.
  TmvxCommon::Guard g(*common_);
  if (!common_->UpdateFlag()) return false;
  behind = true;
  return true;
}

void TmvxCustomMemTable::DataEvent(dataset::DataEvent event, const Field* field) {
  // While the store's events are suspended no table on it tells its details anything or
  // computes calculated fields; ResumeEvents catches up what was held back. An edited
  // record still counts as modified, so that moving on posts it instead of dropping it.
  switch (event) {
    case deDataSetScroll:
      if (HeldBack(detailsBehind_)) return;
      break;
    case deFieldChange: {
      bool other = false;
      const bool data = field && (field->Kind() == fkData || field->Kind() == fkInternalCalc);
      if (HeldBack(data ? calcBehind_ : other)) {
        MarkModified();
        return;
      }
      break;
    }
    default:
      if (common_->UpdateFlag()) return;
  }
  DataSet::DataEvent(event, field);
}

void TmvxCustomMemTable::SuspendEvents() {
  common_->Enter();
  common_->SetSuspensions(common_->Suspensions() + 1);
  common_->SetUpdateFlag(true);
}

void TmvxCustomMemTable::ResumeEvents() {
  struct Behind {
    TmvxCustomMemTable* table;
    bool master, details, calc;
  };
  std::vector<Behind> behind;
  {
    // Only a suspension held by this thread is ended, one per call: another thread waits
    // here until the suspending one resumed them all, and then finds none to end.
    TmvxCommon::Guard g(*common_);
    if (common_->Suspensions() == 0) return;
    common_->SetSuspensions(common_->Suspensions() - 1);
    common_->SetUpdateFlag(false);
    for (TmvxCustomMemTable* t : common_->AttachedTables())
      if (t && (t->masterBehind_ || t->detailsBehind_ || t->calcBehind_)) {
        behind.push_back({t, t->masterBehind_, t->detailsBehind_, t->calcBehind_});
        t->masterBehind_ = t->detailsBehind_ = t->calcBehind_ = false;
      }
  }
  common_->Leave();
  // Each table catches up once, outside the lock (a detail may live on another store).
  for (const Behind& b : behind) {
    TmvxCustomMemTable& t = *b.table;
    if (b.calc && t.AutoCalcFields && (t.State() == dsEdit || t.State() == dsInsert)) t.GetCalcFields(t.ActiveBuffer());
    bool told = false;
    if (b.master) {
      const DataSet* master = t.MasterSource();
      if (master && master->Active()) {
        told = t.FollowMaster();
      } else {
        t.MasterLinkDisabled();
        told = t.Active();
      }
    }
    if (b.details && !told) t.NotifyDetails();
  }
}

std::uint8_t TmvxCustomMemTable::UpdateStatus() {
  if (!Active() || !HasActiveRecord()) return usUnmodified;
  return reinterpret_cast<PmvxRecord>(ActiveBuffer())->UpdateStatus;
}

// ---- fetching ----

bool TmvxCustomMemTable::CursorNext(bool applyFilterAlways) {
  int count = activeIndex_->Count();
  if (cursorPos_ < -1) cursorPos_ = -1;
  while (cursorPos_ < count - 1) {
    ++cursorPos_;
    if (AcceptRecord(*this, activeIndex_->References[static_cast<std::size_t>(cursorPos_)], applyFilterAlways)) return true;
  }
  return false;
}

bool TmvxCustomMemTable::CursorPrior(bool applyFilterAlways) {
  int count = activeIndex_->Count();
  if (cursorPos_ > count) cursorPos_ = count;
  while (cursorPos_ >= 1) {
    --cursorPos_;
    if (AcceptRecord(*this, activeIndex_->References[static_cast<std::size_t>(cursorPos_)], applyFilterAlways)) return true;
  }
  return false;
}

GetResult TmvxCustomMemTable::GetRecord(RecordBuffer buffer, GetMode mode, bool) {
  TmvxCommon::Guard g(*common_);
  // From the place of a record that went away, the next record is the one standing there.
  if (std::exchange(cursorOnGap_, false) && mode == gmNext) --cursorPos_;
  GetResult result = grOK;
  switch (mode) {
    case gmCurrent:
      if (!(cursorPos_ >= 0 && cursorPos_ < activeIndex_->Count() &&
            AcceptRecord(*this, activeIndex_->References[static_cast<std::size_t>(cursorPos_)], false)))
        result = grError;
      break;
    case gmNext: result = CursorNext(false) ? grOK : grEOF; break;
    case gmPrior: result = CursorPrior(false) ? grOK : grBOF; break;
  }
  if (result != grOK) return result;
  PmvxRecord stored = activeIndex_->References[static_cast<std::size_t>(cursorPos_)];
  auto* rec = reinterpret_cast<PmvxRecord>(buffer);
  // The buffer lets go of its old copies of out-of-line values; the copy below writes
  // every header field and byte that clearing it first would.
  common_->FreeBlobs(rec);
  common_->CopyRecord(stored, rec);
  rec->Flag = 0;
  common_->CopyBlobs(stored, rec);
  rec->RecordNo = cursorPos_;
  rec->RecordID = stored->RecordID;
  rec->UniqueRecordID = stored->UniqueRecordID;
  rec->Flag &= static_cast<std::uint8_t>(~1u);
  std::uint8_t* slot = common_->BookmarkSlot(rec, bookmarkSlot_);
  std::memcpy(slot, &stored->RecordID, 4);
  std::memcpy(slot + 4, &stored->UniqueRecordID, 4);
  slot[8] = bfCurrent;
  if (RecalcOnFetch) GetCalcFields(buffer);
  return grOK;
}

int TmvxCustomMemTable::GetRecordCount() {
  CheckActive();
  TmvxCommon::Guard g(*common_);
  // The current index holds every record it shows, kept in order or not: the count is
  // the walk's.
  if (!IsFiltered(*this)) return activeIndex_->Count();
  int n = 0;
  for (PmvxRecord r : activeIndex_->References)
    if (AcceptRecord(*this, r, false)) ++n;
  return n;
}

int TmvxCustomMemTable::GetRecNo() {
  if (!Active()) return -1;
  PmvxRecord rec = State() == dsBrowse ? (HasActiveRecord() ? reinterpret_cast<PmvxRecord>(ActiveBuffer()) : nullptr)
                                       : reinterpret_cast<PmvxRecord>(ActiveBuffer());
  TmvxCommon::Guard g(*common_);
  if (!rec || activeIndex_->Count() == 0 || rec->RecordNo < 0) return -1;
  if (!IsFiltered(*this) || rec->RecordNo >= activeIndex_->Count()) return rec->RecordNo + 1;
  // Under a filter the number counts the records shown up to this one.
  int n = 0;
  for (int i = 0; i <= rec->RecordNo; ++i)
    if (AcceptRecord(*this, activeIndex_->References[static_cast<std::size_t>(i)], false)) ++n;
  return n;
}

void TmvxCustomMemTable::SetRecNo(int value) {
  CheckActive();
  CheckBrowseMode();
  if (value < 1 || value == GetRecNo()) return;
  auto positionOf = [&] {
    int position = -1;
    if (!IsFiltered(*this)) {
      if (value <= activeIndex_->Count()) position = value - 1;
    } else {
      int n = 0;
      for (int i = 0; i < activeIndex_->Count() && position < 0; ++i)
        if (AcceptRecord(*this, activeIndex_->References[static_cast<std::size_t>(i)], false) && ++n == value)
          position = i;
    }
    return position;
  };
  {
    TmvxCommon::Guard g(*common_);
    if (positionOf() < 0) return;
  }
  if (BeforeScroll) BeforeScroll(*this);
  {
    // Counted again under the lock the position is used under: another table on the
    // store may have changed the order meanwhile.
    TmvxCommon::Guard g(*common_);
    int position = positionOf();
    if (position < 0) return;
    cursorPos_ = position;
    cursorOnGap_ = false;
    CursorPosChanged();
    ResyncExact();
  }
  Scrolled();
}

void TmvxCustomMemTable::SetEnableIndexes(bool value) {
  TmvxCommon::Guard g(*common_);
  bool switchedOn = value && !enableIndexes_;
  enableIndexes_ = value;
  if (!switchedOn || !Active()) return;
  // The other tables' cursors find their records in the rebuilt indexes at their next step.
  for (TmvxCustomMemTable* t : common_->AttachedTables())
    if (t && t->OpenOnStore() && t->enableIndexes_ && t->indexes_->RebuildDirty()) {
      if (t == this)
        ResyncCursor();
      else
        t->RefreshAtNextStep(false);
    }
}

// ---- bookmarks ----

void TmvxCustomMemTable::GetBookmarkData(RecordBuffer buffer, Bookmark& data) {
  auto* rec = reinterpret_cast<PmvxRecord>(buffer);
  data.assign(kBookmarkDataSize, 0);
  std::memcpy(data.data(), common_->BookmarkSlot(rec, bookmarkSlot_), 8);
  std::int32_t id = common_->TableID();
  std::memcpy(data.data() + 8, &id, 4);
}

void TmvxCustomMemTable::SetBookmarkData(RecordBuffer buffer, const Bookmark& data) {
  if (data.size() < 8) return;
  std::memcpy(common_->BookmarkSlot(reinterpret_cast<PmvxRecord>(buffer), bookmarkSlot_), data.data(), 8);
}

BookmarkFlag TmvxCustomMemTable::GetBookmarkFlag(RecordBuffer buffer) {
  return static_cast<BookmarkFlag>(common_->BookmarkSlot(reinterpret_cast<PmvxRecord>(buffer), bookmarkSlot_)[8]);
}

void TmvxCustomMemTable::SetBookmarkFlag(RecordBuffer buffer, BookmarkFlag flag) {
  common_->BookmarkSlot(reinterpret_cast<PmvxRecord>(buffer), bookmarkSlot_)[8] = flag;
}

namespace {

struct BookmarkParts {
  std::int32_t recordID, uniqueID, tableID;
};

bool SplitBookmark(const Bookmark& b, BookmarkParts& parts) {
  if (b.size() != static_cast<std::size_t>(kBookmarkDataSize)) return false;
  std::memcpy(&parts.recordID, b.data(), 4);
  std::memcpy(&parts.uniqueID, b.data() + 4, 4);
  std::memcpy(&parts.tableID, b.data() + 8, 4);
  return true;
}

}  // namespace

bool TmvxCustomMemTable::BookmarkValid(const Bookmark& bookmark) {
  BookmarkParts p{};
  if (!Active() || !SplitBookmark(bookmark, p)) return false;
  TmvxCommon::Guard g(*common_);
  if (p.tableID != common_->TableID()) return false;
  PmvxRecord r = common_->Record(p.recordID);
  return r && r->UniqueRecordID == p.uniqueID && r->UpdateStatus != usDeleted;
}

int TmvxCustomMemTable::CompareBookmarks(const Bookmark& a, const Bookmark& b) {
  if (!BookmarkValid(a) || !BookmarkValid(b)) return 0;
  BookmarkParts x{}, y{};
  SplitBookmark(a, x);
  SplitBookmark(b, y);
  TmvxCommon::Guard g(*common_);
  PmvxRecord ra = common_->Record(x.recordID), rb = common_->Record(y.recordID);
  int r = 0;
  if (!activeIndex_->IsRowOrder) {
    r = common_->CompareRecords(activeIndex_->IndexFieldList, 0, ra, rb, false, false, 0);
    if (r == 0) r = ra->RecordNo < rb->RecordNo ? -1 : (ra->RecordNo > rb->RecordNo ? 1 : 0);
  }
  if (r == 0) r = ra->RecordID < rb->RecordID ? -1 : (ra->RecordID > rb->RecordID ? 1 : 0);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

void TmvxCustomMemTable::InternalGotoBookmark(const Bookmark& bookmark) {
  if (bookmark.empty()) throw EMemTableError("Bookmark -200 not found.");
  // A bookmark is resolved only when it still names the record it was made for, and
  // only to that record: one the current index or filter does not show is not found,
  // and the cursor stays where it was.
  if (!BookmarkValid(bookmark)) dataset::DatabaseError("Record not found", this);
  BookmarkParts p{};
  SplitBookmark(bookmark, p);
  TmvxCommon::Guard g(*common_);
  PmvxRecord record = common_->Record(p.recordID);
  int pos = -1;
  if (!activeIndex_->SearchRecord(record, pos, false) || !AcceptRecord(*this, record, false))
    dataset::DatabaseError("Record not found", this);
  cursorPos_ = pos;
}

namespace {

// The record identity that a buffer's bookmark slot names.
void SlotIdentity(const std::uint8_t* slot, std::int32_t& id, std::int32_t& unique) {
  std::memcpy(&id, slot, 4);
  std::memcpy(&unique, slot + 4, 4);
}

}  // namespace

bool TmvxCustomMemTable::CursorStillOn(RecordBuffer buffer) {
  // Another table on the store may have put records in or taken them out before this
  // one's cursor since it was fetched: its position then names another record.
  TmvxCommon::Guard g(*common_);
  if (cursorOnGap_ || cursorPos_ < 0 || cursorPos_ >= activeIndex_->Count()) return false;
  std::int32_t id, unique;
  SlotIdentity(common_->BookmarkSlot(reinterpret_cast<PmvxRecord>(buffer), bookmarkSlot_), id, unique);
  PmvxRecord r = activeIndex_->References[static_cast<std::size_t>(cursorPos_)];
  return r->RecordID == id && r->UniqueRecordID == unique;
}

void TmvxCustomMemTable::InternalSetToRecord(RecordBuffer buffer) {
  TmvxCommon::Guard g(*common_);
  auto* rec = reinterpret_cast<PmvxRecord>(buffer);
  std::int32_t id, unique;
  SlotIdentity(common_->BookmarkSlot(rec, bookmarkSlot_), id, unique);
  cursorOnGap_ = false;
  // Most often the buffer still sits where it was fetched.
  int no = rec->RecordNo;
  if (no >= 0 && no < activeIndex_->Count()) {
    PmvxRecord r = activeIndex_->References[static_cast<std::size_t>(no)];
    if (r->RecordID == id && r->UniqueRecordID == unique) {
      cursorPos_ = no;
      return;
    }
  }
  PmvxRecord stored = common_->Record(id);
  if (stored && stored->UniqueRecordID != unique) stored = nullptr;
  int pos = -1;
  if (stored && activeIndex_->SearchRecord(stored, pos, false) && AcceptRecord(*this, stored, false)) {
    cursorPos_ = pos;
    return;
  }
  // The record is gone, or this table no longer shows it: another table on the store
  // deleted or changed it since it was fetched. The cursor stands where the buffer's
  // values would stand, so that a step forward or back reaches its neighbours.
  cursorPos_ = pos >= 0 ? pos : std::clamp(activeIndex_->InsertPosition(rec), 0, activeIndex_->Count());
  cursorOnGap_ = true;
}

// ---- editing ----

void TmvxCustomMemTable::DoBeforeInsert() {
  // The record the new one goes in before, by identity: a record number counts only the
  // records shown, and the position may move while the new record is being filled.
  insertBeforeID_ = insertBeforeUnique_ = -1;
  if (HasActiveRecord()) {
    const auto* current = reinterpret_cast<const TmvxRecord*>(ActiveBuffer());
    insertBeforeID_ = current->RecordID;
    insertBeforeUnique_ = current->UniqueRecordID;
  }
  if (AutoReposition) {
    TmvxCommon::Guard g(*common_);
    repositionPos_ = cursorPos_;
  }
  DataSet::DoBeforeInsert();
}

void TmvxCustomMemTable::DoOnNewRecord() {
  // A new detail record takes the master's key values.
  if (MasterLinkActive() && masterValues_) {
    const TmvxFieldList& list = detailKeyFields_.Count() > 0 ? detailKeyFields_ : currentIndexFields_;
    for (int i = 0; i < masterCount_ && i < list.Count(); ++i) {
      Field* f = list.Fields(i);
      std::uint8_t* p = common_->FieldPointer(masterValues_, f);
      if (p && p[0]) f->SetData(p + 1);
    }
  }
  for (int i = 0; i < FieldCount(); ++i) {
    Field& f = GetField(i);
    if (!f.DefaultExpression.empty()) f.SetAsString(f.DefaultExpression);
  }
  DataSet::DoOnNewRecord();
  if (autoIncrementField_)
    WriteFieldValue(reinterpret_cast<PmvxRecord>(ActiveBuffer()), autoIncrementField_, Variant(common_->AutoIncMax() + 1));
}

void TmvxCustomMemTable::DoBeforePost() {
  DataSet::DoBeforePost();
  if (autoIncrementField_ && !autoIncrementField_->IsNull()) {
    std::int64_t v = autoIncrementField_->AsInteger();
    if (v > common_->AutoIncMax()) common_->SetAutoIncMax(static_cast<std::int32_t>(v));
  }
}

void TmvxCustomMemTable::DoAfterPost() {
  // The post fetched this table's record again: a refresh asked for before is done. A post
  // into a load's records tells the other tables once, when the load is decided.
  refreshDue_.store(0, std::memory_order_relaxed);
  if (AttachedAutoRefresh && !staged_) common_->RefreshTables(this);
  if (AutoReposition && repositionPos_ >= 0) {
    {
      TmvxCommon::Guard g(*common_);
      cursorPos_ = repositionPos_;
      cursorOnGap_ = false;
    }
    repositionPos_ = -1;
    Resync();
  }
  DataSet::DoAfterPost();
}

void TmvxCustomMemTable::DoAfterDelete() {
  refreshDue_.store(0, std::memory_order_relaxed);
  if (AttachedAutoRefresh) common_->RefreshTables(this);
  DataSet::DoAfterDelete();
}

void TmvxCustomMemTable::DoBeforeRefresh() {
  refreshDue_.store(0, std::memory_order_relaxed);
  DataSet::DoBeforeRefresh();
}

void TmvxCustomMemTable::CatchUp() {
  if (refreshDue_.load(std::memory_order_relaxed) != 0 && !refreshingWhenDue_ && State() == dsBrowse) RefreshWhenDue();
}

void TmvxCustomMemTable::RefreshWhenDue() {
  // As a refresh, but the cursor never leaves a record that another table deleted or
  // hid meanwhile: it stands at its place, so that the step that follows moves from there
  // or refuses to edit or delete it (never changing a record the caller did not see).
  const int due = refreshDue_.exchange(0, std::memory_order_relaxed);
  refreshingWhenDue_ = true;
  try {
    if (due & kDueEvents) DataSet::DoBeforeRefresh();
    {
      TmvxCommon::Guard g(*common_);
      CursorPosChanged();
      if (!HasActiveRecord()) {
        Resync();
      } else {
        UpdateCursorPos();
        if (!cursorOnGap_) ResyncExact();
      }
    }
    if (due & kDueEvents) DoAfterRefresh();
  } catch (...) {
    refreshingWhenDue_ = false;
    throw;
  }
  refreshingWhenDue_ = false;
}

void TmvxCustomMemTable::AfterIndexesChanged(PmvxRecord stored) {
  // Indexes that had missed changes are rebuilt now that the store is up to date; the
  // cursor follows the record to its place in a rebuilt current index.
  if (indexes_->RebuildDirty() && stored) {
    int pos = -1;
    if (activeIndex_->SearchRecord(stored, pos, false)) cursorPos_ = pos;
  }
}

int TmvxCustomMemTable::InsertPlace() {
  // One above the position of the record the insert began on, in the whole row order
  // (records a filter, range or master link hides count too); where that record has gone
  // meanwhile, the cursor's place.
  if (!activeIndex_->IsRowOrder) return -1;
  PmvxRecord before = common_->Record(insertBeforeID_);
  int pos = -1;
  if (before && before->UniqueRecordID == insertBeforeUnique_ && activeIndex_->SearchRecordID(insertBeforeID_, pos))
    return pos + 1;
  return insertBeforeID_ >= 0 && cursorPos_ >= 0 ? cursorPos_ + 1 : -1;
}

void TmvxCustomMemTable::InternalPost() {
  DataSet::InternalPost();
  TmvxCommon::Guard g(*common_);
  auto* rec = reinterpret_cast<PmvxRecord>(ActiveBuffer());
  // With RecalcOnIndex the indexes see the calculated values as they are at the post (also
  // where AutoCalcFields left them behind the edits).
  if (RecalcOnIndex && CalcFieldsSize() > 0) RecalcRecord(rec);
  PmvxRecord stored;
  if (State() != dsEdit && staged_) {
    // A load's record waits with the others it copies in.
    stored = common_->DuplicateRecord(rec, true);
    common_->FreeBlobs(rec);
    common_->ClearRecord(rec);
    StageLoadedRecord(stored);
    common_->ClearModifiedFlags();
    return;
  }
  if (State() != dsEdit) {
    // Every index's filter and every unique index have their say before anything changes:
    // the post goes in whole or not at all.
    TmvxCommon::ChangePlan& plan = changePlan_;
    common_->PlanChange(rcInsert, nullptr, rec, plan);
    common_->CheckUnique(plan, rec, nullptr);
    bool append = GetBookmarkFlag(ActiveBuffer()) == bfEOF;
    stored = common_->DuplicateRecord(rec, true);
    common_->FreeBlobs(rec);
    common_->ClearRecord(rec);
    common_->AddPlannedRecord(plan, this, stored, append ? -1 : InsertPlace());
    common_->SetIsDataModified(true);
  } else {
    stored = StoredRecordOf(rec);
    if (!stored) throw EMemTableInvalidRecord("Invalid record ");
    TmvxCommon::ChangePlan& plan = changePlan_;
    common_->PlanChange(rcEdit, stored, rec, plan);
    common_->CheckUnique(plan, rec, stored);
    if (Modified() && common_->EnableVersioning() &&
        (common_->VersioningMode() == mtvmAllSinceCheckPoint || rec->UpdateStatus == usUnmodified)) {
      rec->UpdateStatus = usModified;
      PmvxRecord version = common_->DuplicateRecord(stored, true);
      version->Flag |= 1;
      rec->PrevRecordVersion = version;
      stored->PrevRecordVersion = version;
      common_->SetIsDataModified(true);
    }
    common_->ReflectChange(plan, this, rcEdit, rec, cursorPos_, stored);
    common_->TransferBlobs(rec, stored);
    stored->Flag |= 1;
    stored->TransactionLevel = common_->TransactionLevel();
    // The cursor stays with the record, also where another table on the store put
    // records in or took them out before it since it was fetched.
    int at = cursorPos_;
    if (!(at >= 0 && at < activeIndex_->Count() && activeIndex_->References[static_cast<std::size_t>(at)] == stored) &&
        activeIndex_->SearchRecord(stored, at, false))
      cursorPos_ = at;
  }
  AfterIndexesChanged(stored);
  common_->ClearModifiedFlags();
}

void TmvxCustomMemTable::InternalAddRecord(RecordBuffer buffer, bool append) {
  TmvxCommon::Guard g(*common_);
  auto* rec = reinterpret_cast<PmvxRecord>(buffer);
  // Records added this way obey the indexes' filters and unique indexes like posted ones.
  TmvxCommon::ChangePlan& plan = changePlan_;
  common_->PlanChange(rcInsert, nullptr, rec, plan);
  common_->CheckUnique(plan, rec, nullptr);
  PmvxRecord stored = common_->DuplicateRecord(rec, true);
  stored->TransactionLevel = common_->TransactionLevel();
  stored->Flag |= 1;
  common_->SetIsDataModified(true);
  common_->AddRecord(stored);
  // Row order takes a record number (one above the cursor position): the record goes in
  // at the cursor, as an inserted one does.
  common_->ReflectChange(plan, this, rcInsert, stored, append ? -1 : cursorPos_ + 1, stored);
  AfterIndexesChanged(stored);
}

void TmvxCustomMemTable::InternalEdit() {
  // Another table on the store may have deleted the record since it was fetched.
  TmvxCommon::Guard g(*common_);
  if (!StoredRecordOf(reinterpret_cast<PmvxRecord>(ActiveBuffer()))) dataset::DatabaseError("Record not found", this);
  DataSet::InternalEdit();
}

void TmvxCustomMemTable::InternalDelete() {
  TmvxCommon::Guard g(*common_);
  PmvxRecord stored = StoredRecordOf(reinterpret_cast<PmvxRecord>(ActiveBuffer()));
  // Another table on the store may have deleted it since it was fetched.
  if (!stored) dataset::DatabaseError("Record not found", this);
  // A record kept as a deleted version stays in the indexes, as a rebuild would put it:
  // the filter hides it, and a status filter that asks for deleted records shows it.
  if (!common_->EnableVersioning()) {
    common_->PlanChange(rcDelete, stored, nullptr, changePlan_);
    common_->ReflectChange(changePlan_, this, rcDelete, nullptr, cursorPos_, stored);
  }
  if (!common_->EnableVersioning()) {
    common_->DeleteRecord(stored);
    bool any = false;
    for (PmvxRecord r : common_->Records())
      if (r) {
        any = true;
        break;
      }
    if (!any) common_->DeleteAllRecords();
  } else {
    PmvxRecord version = common_->DuplicateRecord(stored, true);
    version->Flag |= 1;
    stored->PrevRecordVersion = version;
    stored->UpdateStatus = usDeleted;
    stored->TransactionLevel = common_->TransactionLevel();
    common_->SetDeletedCount(common_->DeletedCount() + 1);
  }
  ClearBuffers();
  common_->SetIsDataModified(true);
  AfterIndexesChanged(nullptr);
}

void TmvxCustomMemTable::InternalCancel() {
  DataSet::InternalCancel();
  common_->ClearModifiedFlags();
}

// ---- transactions ----

void TmvxCustomMemTable::BeginTransactionLevel() {
  if (!Active()) return;
  if (!common_->EnableVersioning() || common_->VersioningMode() != mtvmAllSinceCheckPoint)
    throw EMemTableError("Transactioning requires multiversion versioning.");
  common_->StartTransaction();
}

void TmvxCustomMemTable::RefreshAfterTransaction() {
  // Rolled back records are gone: every table on the store rebuilds its indexes before
  // anything walks them again. The others find their records again quietly; this one is
  // refreshed, with its refresh events.
  common_->RebuildIndexes();
  common_->RefreshTables(this, false);
  CursorPosChanged();
  Refresh();
}

void TmvxCustomMemTable::CommitTransactionLevel() {
  if (!Active()) return;
  TmvxCommon::Guard g(*common_);
  if (common_->TransactionLevel() <= 0) return;
  common_->Commit();
  common_->EndTransaction();
  RefreshAfterTransaction();
}

void TmvxCustomMemTable::RollbackTransactionLevel() {
  if (!Active()) return;
  TmvxCommon::Guard g(*common_);
  if (common_->TransactionLevel() <= 0) return;
  CheckBrowseMode();
  common_->Rollback();
  common_->EndTransaction();
  RefreshAfterTransaction();
}

void TmvxCustomMemTable::ResyncCursor() {
  if (!Active() || State() != dsBrowse) return;
  TmvxCommon::Guard g(*common_);  // the indexes may change under another thread's table
  CursorPosChanged();
  if (HasActiveRecord()) {
    PmvxRecord stored = StoredRecordOf(reinterpret_cast<PmvxRecord>(ActiveBuffer()));
    int pos = -1;
    if (stored && activeIndex_->SearchRecord(stored, pos, false)) cursorPos_ = pos;
  }
  cursorPos_ = std::min(cursorPos_, activeIndex_->Count());
  Resync();
}

// ---- filter ----

void TmvxCustomMemTable::SetFilterText(const std::string& text) {
  if (Active()) {
    // A text that does not parse is refused whole: the table keeps its filter.
    std::unique_ptr<ParsedFilter> parsed;
    BuildFilter(*this, parsed, text, GetFilterOptions());
    DataSet::SetFilterText(text);
    parsedFilter_ = std::move(parsed);
    if (Filtered()) FirstAndRefresh();
  } else {
    DataSet::SetFilterText(text);
    parsedFilter_.reset();
  }
}

void TmvxCustomMemTable::SetFiltered(bool value) {
  DataSet::SetFiltered(value);
  if (!Active()) return;
  if (value && !parsedFilter_ && !Filter().empty()) {
    SetFilterText(Filter());
  } else {
    FirstAndRefresh();
  }
}

void TmvxCustomMemTable::FirstAndRefresh() {
  First();
  Refresh();
}

}  // namespace memtable
