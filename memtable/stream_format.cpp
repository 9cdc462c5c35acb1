// Blob streams, the delta handler and the frame of the stream formats.
#include "memtable/stream_format.h"

#include "memtable/errors.h"
#include "memtable/mem_table.h"

namespace memtable {

using namespace dataset;

// ---- blob stream ----

TmvxBlobStream::TmvxBlobStream(TmvxCustomMemTable& table, Field& field, TmvxBlobStreamMode mode)
    : table_(table), field_(field), mode_(mode) {
  table.CheckActive();
  if (mode != bmRead && table.State() != dsEdit && table.State() != dsInsert)
    dataset::DatabaseError("Dataset is not in edit mode.", &table);
  bool shared;
  buffer_ = table.ActiveRecordBuffer(shared);
  const int no = field.FieldNo();
  TmvxCommon& c = table.Common();
  if (!buffer_ || no <= 0 || no > c.FieldCount() || !(c.FieldFlags(no - 1) & ffBlob))
    dataset::DatabaseError("Field '" + field.DisplayName() + "' is not held out of line", &table);
  if (mode == bmWrite)
    Truncate();
  else
    ReadValue();
}

TmvxBlobStream::~TmvxBlobStream() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; Close tells the caller that wants to know.
  }
}

void TmvxBlobStream::ReadValue() {
  TmvxCommon& c = table_.Common();
  TmvxCommon::Guard g(c);
  const std::uint8_t* slot = c.FieldPointer(buffer_, &field_);
  std::uint32_t handle = TmvxCommon::SlotBlob(slot);
  if (!handle && slot[0] != 0) {
    // The buffer holds no copy of the value: the stored record has it.
    if (PmvxRecord stored = c.Record(buffer_->RecordID)) handle = TmvxCommon::SlotBlob(c.FieldPointer(stored, &field_));
  }
  Bytes().clear();
  if (handle) {
    const std::uint8_t* data = c.BlobData(handle);
    std::uint32_t length = c.BlobLength(handle);
    if (table_.OnDecompressBlobStream) {
      platform::MemoryStream packed(std::vector<std::uint8_t>(data, data + length)), plain;
      table_.OnDecompressBlobStream(table_, packed, plain);
      Bytes() = std::move(plain.Bytes());
    } else {
      Bytes().assign(data, data + length);
    }
  }
  Seek(0, platform::SeekOrigin::Begin);
}

std::size_t TmvxBlobStream::Write(const void* data, std::size_t count) {
  if (mode_ == bmRead) return 0;
  modified_ = true;
  return MemoryStream::Write(data, count);
}

void TmvxBlobStream::Truncate() {
  if (mode_ == bmRead) return;
  Bytes().clear();
  Seek(0, platform::SeekOrigin::Begin);
  TmvxCommon& c = table_.Common();
  TmvxCommon::Guard g(c);
  std::uint8_t* slot = c.FieldPointer(buffer_, &field_);
  c.BlobFree(TmvxCommon::SlotBlob(slot));
  TmvxCommon::SetSlotBlob(slot, 0);
  slot[0] = 0;
  modified_ = true;
}

void TmvxBlobStream::Close() {
  if (closed_) return;
  closed_ = true;
  if (modified_) WriteBack();
}

void TmvxBlobStream::WriteBack() {
  TmvxCommon& c = table_.Common();
  std::vector<std::uint8_t> packed;
  const std::vector<std::uint8_t>* bytes = &Bytes();
  if (table_.OnCompressBlobStream) {
    platform::MemoryStream result;
    table_.OnCompressBlobStream(table_, *this, result);
    packed = std::move(result.Bytes());
    bytes = &packed;
  }
  {
    TmvxCommon::Guard g(c);
    std::uint8_t* slot = c.FieldPointer(buffer_, &field_);
    c.BlobFree(TmvxCommon::SlotBlob(slot));
    std::uint32_t handle =
        bytes->empty() ? 0 : c.BlobFromBuffer(bytes->data(), static_cast<std::uint32_t>(bytes->size()));
    TmvxCommon::SetSlotBlob(slot, handle);
    slot[0] = handle ? 2 : 0;
    c.MarkChanged(field_.FieldNo() - 1);
  }
  table_.DataEvent(deFieldChange, &field_);
}

std::unique_ptr<TmvxBlobStream> TmvxCustomMemTable::CreateBlobStream(Field& field, TmvxBlobStreamMode mode) {
  return std::make_unique<TmvxBlobStream>(*this, field, mode);
}

// ---- delta handler ----

TmvxCustomDeltaHandler::~TmvxCustomDeltaHandler() {
  if (table_) table_->deltaHandler_ = nullptr;
}

void TmvxCustomMemTable::SetDeltaHandler(TmvxCustomDeltaHandler* handler) {
  if (handler == deltaHandler_) return;
  if (deltaHandler_) deltaHandler_->table_ = nullptr;
  if (handler && handler->table_) handler->table_->deltaHandler_ = nullptr;
  deltaHandler_ = handler;
  if (handler) handler->table_ = this;
}

Variant TmvxCustomDeltaHandler::GetValue(Field& field, bool original) {
  Variant value;
  if (!table_) return value;
  PmvxRecord record = original ? origRecord_ : currentRecord_;
  PmvxRecord saved = table_->BufferOverride();
  table_->SetBufferOverride(record);
  try {
    value = field.Value();
  } catch (...) {
    table_->SetBufferOverride(saved);
    throw;
  }
  table_->SetBufferOverride(saved);
  if (OnGetValue) OnGetValue(*this, field, value);
  return value;
}

void TmvxCustomDeltaHandler::ResolveInsert(bool&, std::uint8_t&) {}
void TmvxCustomDeltaHandler::ResolveDelete(bool&, std::uint8_t&) {}
void TmvxCustomDeltaHandler::ResolveModify(bool&, std::uint8_t&) {}
void TmvxCustomDeltaHandler::ResolveUnmodified(bool&, std::uint8_t&) {}

void TmvxCustomDeltaHandler::Resolve() {
  if (!table_) throw EMemTableError("Delta handler is not assigned to any memorytables.");
  TmvxCustomMemTable& table = *table_;
  const bool autoRefresh = table.AttachedAutoRefresh;
  table.AttachedAutoRefresh = false;
  struct Restore {
    TmvxCustomMemTable& t;
    TmvxCustomDeltaHandler& h;
    bool autoRefresh;
    ~Restore() {
      h.currentRecord_ = h.origRecord_ = nullptr;
      t.AttachedAutoRefresh = autoRefresh;
    }
  } restore{table, *this, autoRefresh};
  {
    TmvxCommon& c = table.Common();
    TmvxCommon::Guard g(c);
    // A hook may not change the record list; the slots are walked as they were.
    const std::vector<PmvxRecord> records = c.Records();
    for (PmvxRecord record : records) {
      if (!record) continue;
      PmvxRecord oldest = record;
      while (oldest->PrevRecordVersion) oldest = oldest->PrevRecordVersion;
      currentRecord_ = record;
      origRecord_ = oldest;
      std::uint8_t state = record->UpdateStatus;
      if (oldest->UpdateStatus == usInserted) state = record->UpdateStatus == usDeleted ? usUnmodified : usInserted;
      bool retry = true;
      for (int round = 0; retry && round < 1000; ++round) {
        retry = false;
        switch (state) {
          case usInserted: ResolveInsert(retry, state); break;
          case usDeleted: ResolveDelete(retry, state); break;
          case usModified: ResolveModify(retry, state); break;
          default: ResolveUnmodified(retry, state); break;
        }
      }
    }
  }
  if (autoRefresh && table.Active()) table.Common().RefreshTables(&table);
}

// ---- stream format frame ----

void TmvxCustomStreamFormat::Assign(const TmvxCustomStreamFormat& o) {
  DataOptions = o.DataOptions;
  CalculatedOptions = o.CalculatedOptions;
  LookupOptions = o.LookupOptions;
  InvisibleOptions = o.InvisibleOptions;
  BlobOptions = o.BlobOptions;
  FilteredOptions = o.FilteredOptions;
  RangeOptions = o.RangeOptions;
  MasterDetailOptions = o.MasterDetailOptions;
  AppendOptions = o.AppendOptions;
  RewindOptions = o.RewindOptions;
}

void TmvxCustomStreamFormat::DetermineSaveFields(TmvxCustomMemTable& table) {
  SaveFields.assign(static_cast<std::size_t>(table.FieldCount()), -1);
  for (int i = 0; i < table.FieldCount(); ++i) {
    const Field& f = table.GetField(i);
    int& entry = SaveFields[static_cast<std::size_t>(i)];
    if (f.IsBlob()) {
      if (BlobOptions & sfSave) entry = i;
    } else if (f.Kind() == fkData || f.Kind() == fkInternalCalc) {
      if (DataOptions & sfSave) entry = i;
    } else if (f.Kind() == fkCalculated) {
      if (CalculatedOptions & sfSave) entry = i;
    } else if (f.Kind() == fkLookup) {
      if (LookupOptions & sfSave) entry = i;
    }
    if (!f.Visible && !(InvisibleOptions & sfSave)) entry = -1;
  }
}

void TmvxCustomStreamFormat::GetFieldNames(TmvxCustomMemTable& table, std::vector<std::string>& names) {
  names.clear();
  for (int i = 0; i < table.FieldCount(); ++i) names.push_back(table.GetField(i).FieldName());
}

void TmvxCustomStreamFormat::DetermineLoadFields(TmvxCustomMemTable& table) {
  std::vector<std::string> names;
  GetFieldNames(table, names);
  LoadFields.assign(names.size(), -1);
  for (std::size_t i = 0; i < names.size(); ++i) {
    int& entry = LoadFields[i];
    entry = -1;
    MapLoadField(table, static_cast<int>(i), entry);
    if (entry < 0 || entry >= table.FieldCount()) {
      entry = -1;
      continue;
    }
    const Field& f = table.GetField(entry);
    bool keep;
    switch (f.Kind()) {
      case fkData: case fkInternalCalc: keep = DataOptions & sfLoad; break;
      case fkCalculated: keep = CalculatedOptions & sfLoad; break;
      case fkLookup: keep = LookupOptions & sfLoad; break;
      default: keep = false; break;
    }
    if (f.IsBlob() && !(BlobOptions & sfLoad)) keep = false;
    if (!f.Visible && !(InvisibleOptions & sfLoad)) keep = false;
    if (!keep) entry = -1;
  }
}

void TmvxCustomStreamFormat::BeforeSave(TmvxCustomMemTable& table) {
  table.DisableControls();
  controlsDisabled_ = true;
  table.Common().Enter();
  locked_ = true;
  table.ReportProgress(0, mtpcSave);
  savedFiltered_ = table.Filtered();
  savedRange_ = table.rangeActive_;
  savedMasterDetail_ = table.masterLinkSuspended_;
  switched_ = true;
  // The switches go off for the format only: the table's cursor and buffers stay as they
  // are, so nothing is shown anew until the save gives the filter back.
  if ((FilteredOptions & sfSave) && table.Filtered()) table.DataSet::SetFiltered(false);
  if (MasterDetailOptions & sfSave) table.masterLinkSuspended_ = true;
  if (RangeOptions & sfSave) table.rangeActive_ = false;
  if (OnCompress) {
    ownWork_ = std::make_unique<platform::MemoryStream>();
    work_ = ownWork_.get();
  } else {
    work_ = stream_;
  }
  if (AppendOptions & sfSave) {
    work_->Seek(0, platform::SeekOrigin::End);
  } else if (!(AppendOptions & sfLoad)) {
    // Emptying the stream: a memory stream is cut; another stream is written from its
    // start (a file is created empty by the caller).
    if (auto* memory = dynamic_cast<platform::MemoryStream*>(work_)) memory->Bytes().clear();
    work_->Seek(0, platform::SeekOrigin::Begin);
  }
  DetermineSaveFields(table);
}

void TmvxCustomStreamFormat::Save(TmvxCustomMemTable& table) {
  if (OnBeforeSave) OnBeforeSave(*this);
  SaveDef(table);
  SaveData(table);
  if (OnAfterSave) OnAfterSave(*this);
}

void TmvxCustomStreamFormat::AfterSave(TmvxCustomMemTable& table) {
  if (OnCompress && work_ != stream_) {
    work_->Seek(0, platform::SeekOrigin::Begin);
    OnCompress(table, *work_, *stream_);
  }
  RestoreAfterSave(table);
}

void TmvxCustomStreamFormat::RestoreAfterSave(TmvxCustomMemTable& table) {
  bool showAnew = false;
  if (switched_) {
    switched_ = false;
    table.masterLinkSuspended_ = savedMasterDetail_;
    table.rangeActive_ = savedRange_;
    showAnew = table.Filtered() != savedFiltered_;
    if (showAnew) table.DataSet::SetFiltered(savedFiltered_);
    try {
      table.ReportProgress(100, mtpcSave);
    } catch (...) {
      ReleaseTable(table);
      throw;
    }
  }
  ReleaseTable(table);
  // With its filter back, the table shows its records anew once, from the first, after it
  // let go of the store and its controls (a refresh handler that raises finds both free).
  if (showAnew && table.Active()) table.FirstAndRefresh();
}

void TmvxCustomStreamFormat::ReleaseTable(TmvxCustomMemTable& table) {
  if (locked_) {
    table.Common().Leave();
    locked_ = false;
  }
  if (controlsDisabled_) {
    table.EnableControls();
    controlsDisabled_ = false;
  }
  ownWork_.reset();
  work_ = nullptr;
}

void TmvxCustomStreamFormat::BeforeLoad(TmvxCustomMemTable& table) {
  table.DisableControls();
  controlsDisabled_ = true;
  table.Common().Enter();
  locked_ = true;
  savedPersistent_ = table.Persistent;
  savedEnableIndexes_ = table.EnableIndexes();
  savedTableID_ = table.Common().TableID();
  table.Persistent = false;
  table.enableIndexes_ = false;
  table.loading_ = true;
  savedBookmark_.clear();
  if (table.AutoReposition && table.Active()) savedBookmark_ = table.GetBookmark();
  table.ReportProgress(0, mtpcLoad);
  if (RewindOptions & sfSave) stream_->Seek(0, platform::SeekOrigin::Begin);
  if (OnDeCompress) {
    ownWork_ = std::make_unique<platform::MemoryStream>();
    OnDeCompress(table, *stream_, *ownWork_);
    ownWork_->Seek(0, platform::SeekOrigin::Begin);
    work_ = ownWork_.get();
  } else {
    work_ = stream_;
  }
  DetermineLoadFields(table);
}

void TmvxCustomStreamFormat::Load(TmvxCustomMemTable& table) {
  if (OnBeforeLoad) OnBeforeLoad(*this);
  LoadDef(table);
  DetermineLoadFields(table);
  if (LoadFields.empty()) throw EMemTableError("Couldnt determine field count for load.");
  LoadData(table);
  if (OnAfterLoad) OnAfterLoad(*this);
}

void TmvxCustomStreamFormat::RestoreAfterLoad(TmvxCustomMemTable& table) {
  table.Persistent = savedPersistent_;
  table.enableIndexes_ = savedEnableIndexes_;
  table.loading_ = false;
  // A load that was refused before it touched the store leaves every index as it was
  // (a rebuild would put the rows in the order of their slots). One that replaced the
  // records has every table on the store see them in order.
  if (table.Common().TableID() == savedTableID_ && table.Active()) return;
  table.Common().RebuildIndexesAfterLoad();
}

void TmvxCustomStreamFormat::AfterLoad(TmvxCustomMemTable& table) {
  RestoreAfterLoad(table);
  if (locked_) {
    table.Common().Leave();
    locked_ = false;
  }
  if (table.Active()) {
    // The other tables on the store find their records again at their next step (they
    // may belong to another thread); this one moves at once.
    table.ResyncCursor();
    bool placed = false;
    if (table.AutoReposition && !savedBookmark_.empty() && table.BookmarkValid(savedBookmark_)) {
      try {
        table.GotoBookmark(savedBookmark_);
        placed = true;
      } catch (const EDatabaseError&) {
      }
    }
    if (!placed) table.First();
  }
  savedBookmark_.clear();
  table.ReportProgress(100, mtpcLoad);
  ReleaseTable(table);
  if (table.Active()) table.Refresh();
}

}  // namespace memtable
