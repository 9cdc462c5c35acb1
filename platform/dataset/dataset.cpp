// The DataSet base: open and close, the active record buffer, navigation and editing.
// One active buffer holds the current record; a scratch buffer receives the next fetch
// and is swapped in when the fetch succeeds, so a failed move leaves the current record.
#include "platform/dataset/dataset.h"

#include <strings.h>

#include <algorithm>
#include <utility>

namespace dataset {

DataSet::DataSet(std::string name) : name_(std::move(name)) {}

DataSet::~DataSet() {
  // Details let go of a master that goes away.
  std::vector<DataLink*> links = std::move(detailLinks_);
  for (DataLink* link : links) {
    link->master_ = nullptr;
    link->MasterDisabled();
  }
}

DataLink::~DataLink() { SetMaster(nullptr); }

void DataLink::SetMaster(DataSet* master) {
  if (master == master_) return;
  if (master_) {
    auto& links = master_->detailLinks_;
    links.erase(std::remove(links.begin(), links.end(), this), links.end());
  }
  master_ = master;
  if (master_) master_->detailLinks_.push_back(this);
}

bool DataSet::IsLinkedTo(const DataSet* other) const {
  // Walks up the chain of masters; a chain that loops ends where it began.
  const DataSet* d = this;
  for (int steps = 0; d && steps < 1000; ++steps) {
    if (d == other) return true;
    const DataLink* link = d->MasterLink();
    d = link ? link->Master() : nullptr;
  }
  return false;
}

void DataSet::TellDetails() {
  if (detailLinks_.empty()) return;
  // A copy: a detail may change the links while it follows.
  std::vector<DataLink*> links = detailLinks_;
  for (DataLink* link : links) {
    if (Active())
      link->MasterChanged();
    else
      link->MasterDisabled();
  }
}

void DataSet::Scrolled() {
  if (AfterScroll) AfterScroll(*this);
  NotifyDetails();
}

Field& DataSet::AddField(const std::string& name, FieldType type, int size, FieldKind kind) {
  CheckInactive();
  if (FindField(name)) DatabaseError("Duplicate field name '" + name + "'", this);
  fields_.push_back(std::make_unique<Field>(this, name, type, size, kind));
  fields_.back()->index_ = static_cast<int>(fields_.size()) - 1;
  defaultFields_ = false;
  return *fields_.back();
}

Field* DataSet::FindField(const std::string& name) const {
  for (const auto& f : fields_)
    if (strcasecmp(f->FieldName().c_str(), name.c_str()) == 0) return f.get();
  return nullptr;
}

Field& DataSet::FieldByName(const std::string& name) const {
  Field* f = FindField(name);
  if (!f) DatabaseError("Field '" + name + "' not found", this);
  return *f;
}

void DataSet::SetFieldIndex(Field& field, int index) {
  auto at = std::find_if(fields_.begin(), fields_.end(), [&](const auto& f) { return f.get() == &field; });
  if (at == fields_.end()) return;
  index = std::clamp(index, 0, static_cast<int>(fields_.size()) - 1);
  std::unique_ptr<Field> moved = std::move(*at);
  fields_.erase(at);
  fields_.insert(fields_.begin() + index, std::move(moved));
  for (std::size_t i = 0; i < fields_.size(); ++i) fields_[i]->index_ = static_cast<int>(i);
}

std::vector<std::string> SplitFieldNames(const std::string& text) {
  std::vector<std::string> names;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    std::string name = text.substr(start, end - start);
    start = end + 1;
    std::size_t b = name.find_first_not_of(' '), e = name.find_last_not_of(' ');
    if (b != std::string::npos) names.push_back(name.substr(b, e - b + 1));
  }
  return names;
}

// The value of a lookup field for the record being calculated: the lookup data set's result
// field of the record whose key fields hold this record's key values (null when a key value
// is null or no record has them).
void DataSet::CalculateLookupField(Field& field) {
  if (!field.LookupDataSet || field.LookupDataSet == this || !field.LookupDataSet->Active()) {
    field.Clear();
    return;
  }
  std::vector<Variant> keys;
  for (const std::string& name : SplitFieldNames(field.KeyFields)) {
    Variant v = FieldByName(name).Value();
    if (v.IsNull()) {
      field.Clear();
      return;
    }
    keys.push_back(std::move(v));
  }
  if (keys.empty() || field.LookupKeyFields.empty() || field.LookupResultField.empty()) {
    field.Clear();
    return;
  }
  Variant value = field.LookupDataSet->Lookup(field.LookupKeyFields, keys.size() == 1 ? keys[0] : Variant(keys),
                                              field.LookupResultField);
  if (value.IsNull())
    field.Clear();
  else
    field.SetValue(value);
}

void DataSet::CheckActive() const {
  if (!Active()) DatabaseError("Cannot perform this operation on a closed dataset", this);
}

void DataSet::CheckInactive() const {
  if (Active()) DatabaseError("Cannot perform this operation on an open dataset", this);
}

void DataSet::SetActive(bool value) {
  if (value == Active()) return;
  if (value) {
    DoBeforeOpen();
    OpenCursor();
    DoAfterOpen();
  } else {
    DoBeforeClose();
    CloseCursor();
    DoAfterClose();
    NotifyDetails();
  }
}

void DataSet::OpenCursor() {
  state_ = dsOpening;
  try {
    InternalOpen();
    active_ = AllocRecordBuffer();
    scratch_ = AllocRecordBuffer();
    state_ = dsBrowse;
    InternalFirst();
    haveRecord_ = FetchInto(gmNext);
    bof_ = true;
    eof_ = !haveRecord_;
  } catch (...) {
    CloseCursor();
    throw;
  }
}

void DataSet::CloseCursor() {
  state_ = dsInactive;
  if (active_) FreeRecordBuffer(active_);
  if (scratch_) FreeRecordBuffer(scratch_);
  active_ = scratch_ = nullptr;
  haveRecord_ = false;
  inSync_ = false;
  eof_ = bof_ = true;
  modified_ = false;
  if (IsCursorOpen()) InternalClose();
}

namespace {

// The record slots a definition takes: itself and its children (an array's once per element).
int SlotsOf(const FieldDef& def) {
  int n = 1;
  for (const FieldDef& child : def.ChildDefs) n += SlotsOf(child) * (def.DataType == ftArray ? std::max(def.Size, 1) : 1);
  return n;
}

}  // namespace

void DataSet::CreateFields() {
  int slot = 0;
  for (const FieldDef& def : fieldDefs_.Items()) {
    auto f = std::make_unique<Field>(this, def.Name, def.DataType, def.Size, fkData);
    f->Required = def.Required;
    f->index_ = static_cast<int>(fields_.size());
    f->fieldNo_ = slot + 1;
    slot += SlotsOf(def);
    fields_.push_back(std::move(f));
  }
}

void DataSet::RemoveAllFields() {
  CheckInactive();
  fields_.clear();
  defaultFields_ = true;
}

void DataSet::DestroyFields() {
  if (defaultFields_) fields_.clear();
}

void DataSet::BindFields(bool binding) {
  calcFieldsSize_ = 0;
  if (!binding) {
    for (auto& f : fields_) f->fieldNo_ = 0;
    return;
  }
  // Field numbers count the definitions' slots, children included, as the record
  // layout does.
  std::vector<int> firstSlot;
  int slot = 0;
  for (const FieldDef& def : fieldDefs_.Items()) {
    firstSlot.push_back(slot + 1);
    slot += SlotsOf(def);
  }
  for (auto& f : fields_) {
    if (f->kind_ == fkData || f->kind_ == fkInternalCalc) {
      int i = fieldDefs_.IndexOf(f->FieldName());
      if (i < 0) DatabaseError("Field '" + f->FieldName() + "' not found", this);
      f->fieldNo_ = firstSlot[static_cast<std::size_t>(i)];
    } else {
      f->fieldNo_ = -1;
      f->offset_ = calcFieldsSize_;
      calcFieldsSize_ += f->DataSize() + 1;
    }
  }
}

void DataSet::GetCalcFields(RecordBuffer buffer) {
  if (calcFieldsSize_ == 0) return;
  bool lookups = false;
  for (const auto& f : fields_) lookups = lookups || (f->kind_ == fkLookup && f->LookupDataSet);
  if (!OnCalcFields && !lookups) return;
  DataSetState saved = state_;
  RecordBuffer savedBuffer = calcBuffer_;
  state_ = dsCalcFields;
  calcBuffer_ = buffer;
  try {
    if (lookups) {
      // Lookup data sets whose own lookup fields lead back here find them null.
      const bool following = std::exchange(calculatingLookups_, true);
      try {
        for (const auto& f : fields_)
          if (f->kind_ == fkLookup && f->LookupDataSet) {
            if (following)
              f->Clear();
            else
              CalculateLookupField(*f);
          }
      } catch (...) {
        calculatingLookups_ = following;
        throw;
      }
      calculatingLookups_ = following;
    }
    if (OnCalcFields) OnCalcFields(*this);
  } catch (...) {
    state_ = saved;
    calcBuffer_ = savedBuffer;
    throw;
  }
  state_ = saved;
  calcBuffer_ = savedBuffer;
}

bool DataSet::FetchInto(GetMode mode) {
  if (GetRecord(scratch_, mode, true) == grOK) {
    std::swap(active_, scratch_);
    inSync_ = true;
    return true;
  }
  inSync_ = false;
  return false;
}

void DataSet::UpdateCursorPos() {
  if (haveRecord_ && (!inSync_ || !CursorStillOn(active_))) {
    InternalSetToRecord(active_);
    inSync_ = true;
  }
}

void DataSet::MoveToEnd(bool first) {
  CheckActive();
  CheckBrowseMode();
  CatchUp();
  if (BeforeScroll) BeforeScroll(*this);
  {
    RecordStep step(*this);
    if (first)
      InternalFirst();
    else
      InternalLast();
    haveRecord_ = FetchInto(first ? gmNext : gmPrior);
  }
  bof_ = first || !haveRecord_;
  eof_ = !first || !haveRecord_;
  Scrolled();
}

int DataSet::MoveBy(int distance) {
  CheckActive();
  CheckBrowseMode();
  if (distance != 0) CatchUp();
  if (distance == 0 || !haveRecord_) return 0;
  if (BeforeScroll) BeforeScroll(*this);
  RecordStep step(*this);
  UpdateCursorPos();
  int moved = 0;
  if (distance > 0) {
    bof_ = false;
    while (moved < distance) {
      if (!FetchInto(gmNext)) {
        eof_ = true;
        break;
      }
      eof_ = false;
      ++moved;
    }
  } else {
    eof_ = false;
    while (moved > distance) {
      if (!FetchInto(gmPrior)) {
        bof_ = true;
        break;
      }
      bof_ = false;
      --moved;
    }
  }
  Scrolled();
  return moved;
}

void DataSet::Resync() {
  if (!IsCursorOpen()) return;
  haveRecord_ = FetchInto(gmCurrent) || FetchInto(gmNext) || FetchInto(gmPrior);
  eof_ = bof_ = !haveRecord_;
}

bool DataSet::ResyncExact() {
  if (!FetchInto(gmCurrent)) return false;
  haveRecord_ = true;
  eof_ = bof_ = false;
  return true;
}

void DataSet::Refresh() {
  CheckActive();
  DoBeforeRefresh();
  CheckBrowseMode();
  {
    RecordStep step(*this);
    UpdateCursorPos();
    Resync();
  }
  DoAfterRefresh();
}

void DataSet::ClearBuffers() {
  haveRecord_ = false;
  inSync_ = false;
  eof_ = bof_ = true;
}

void DataSet::BeginInsert(bool append) {
  CheckActive();
  CheckBrowseMode();
  if (!GetCanModify()) DatabaseError("Cannot modify a read-only dataset", this);
  CatchUp();
  DoBeforeInsert();
  if (BeforeScroll) BeforeScroll(*this);
  beforeInsert_.clear();
  if (haveRecord_) {
    RecordStep step(*this);
    UpdateCursorPos();
    GetBookmarkData(active_, beforeInsert_);
  }
  InternalInitRecord(active_);
  SetBookmarkFlag(active_, append ? bfEOF : bfInserted);
  state_ = dsInsert;
  modified_ = false;
  try {
    InternalInsert();
    DoOnNewRecord();
  } catch (...) {
    Cancel();
    throw;
  }
  if (AfterInsert) AfterInsert(*this);
  Scrolled();
}

void DataSet::Append() { BeginInsert(true); }

void DataSet::Insert() { BeginInsert(false); }

void DataSet::Edit() {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) return;
  CatchUp();
  if (!haveRecord_) {
    Insert();
    return;
  }
  if (!GetCanModify()) DatabaseError("Cannot modify a read-only dataset", this);
  if (BeforeEdit) BeforeEdit(*this);
  CheckOperation(
      [this] {
        UpdateCursorPos();
        InternalEdit();
      },
      OnEditError, nullptr);
  GetCalcFields(active_);
  state_ = dsEdit;
  modified_ = false;
  if (AfterEdit) AfterEdit(*this);
}

void DataSet::CheckOperation(const std::function<void()>& operation, const DataSetErrorEvent& errorEvent,
                             const std::function<void()>& finish) {
  for (;;) {
    BeginRecordStep();
    try {
      operation();
    } catch (const EDatabaseError& error) {
      // The handler runs outside the step: it may mend the record, move other data sets
      // or wait for other threads before it answers.
      EndRecordStep();
      DataAction action = daFail;
      if (errorEvent) errorEvent(*this, error, action);
      if (action == daFail) throw;
      if (action == daAbort) Abort();
      continue;
    } catch (...) {
      EndRecordStep();
      throw;
    }
    try {
      if (finish) finish();
    } catch (...) {
      EndRecordStep();
      throw;
    }
    EndRecordStep();
    return;
  }
}

void DataSet::CheckRequiredFields() {
  for (const auto& f : fields_)
    if (f->Required && !f->ReadOnly && (f->Kind() == fkData || f->Kind() == fkInternalCalc) && f->IsNull())
      DatabaseError("Field '" + f->DisplayName() + "' must have a value", this);
}

void DataSet::InternalPost() { CheckRequiredFields(); }

void DataSet::Post() {
  CheckActive();
  if (state_ != dsEdit && state_ != dsInsert) return;
  DoBeforePost();
  // A handler that left the edit and answered retry left nothing to post.
  bool posted = false;
  CheckOperation(
      [this, &posted] {
        posted = state_ == dsEdit || state_ == dsInsert;
        if (posted) InternalPost();
      },
      OnPostError,
      [this] {
        state_ = dsBrowse;
        modified_ = false;
        Resync();
      });
  if (!posted) return;
  DoAfterPost();
  NotifyDetails();
}

void DataSet::Cancel() {
  if (state_ != dsEdit && state_ != dsInsert) return;
  if (BeforeCancel) BeforeCancel(*this);
  bool wasInsert = state_ == dsInsert;
  InternalCancel();
  state_ = dsBrowse;
  modified_ = false;
  {
    RecordStep step(*this);
    if (wasInsert) {
      bool back = false;
      if (!beforeInsert_.empty() && BookmarkValid(beforeInsert_)) {
        try {
          InternalGotoBookmark(beforeInsert_);
          back = true;
        } catch (const EDatabaseError&) {
          // The record is no longer shown: the cursor goes to the first one instead.
        }
      }
      if (back) {
        Resync();
      } else {
        InternalFirst();
        haveRecord_ = FetchInto(gmNext);
        bof_ = true;
        eof_ = !haveRecord_;
      }
    } else {
      inSync_ = false;
      UpdateCursorPos();
      Resync();
    }
  }
  if (AfterCancel) AfterCancel(*this);
}

void DataSet::Delete() {
  CheckActive();
  if (state_ == dsInsert) {
    Cancel();
    return;
  }
  if (state_ == dsBrowse) CatchUp();
  if (!haveRecord_) DatabaseError("Cannot perform this operation on an empty dataset", this);
  if (!GetCanModify()) DatabaseError("Cannot modify a read-only dataset", this);
  DoBeforeDelete();
  if (BeforeScroll) BeforeScroll(*this);
  if (state_ == dsEdit) inSync_ = false;
  CheckOperation(
      [this] {
        UpdateCursorPos();
        InternalDelete();
      },
      OnDeleteError,
      [this] {
        state_ = dsBrowse;
        modified_ = false;
        Resync();
      });
  DoAfterDelete();
  Scrolled();
}

void DataSet::CheckBrowseMode() {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) {
    if (modified_)
      Post();
    else
      Cancel();
  }
}

void DataSet::MarkModified() {
  if (state_ == dsEdit || state_ == dsInsert) modified_ = true;
}

void DataSet::DataEvent(dataset::DataEvent event, const Field* field) {
  if (event == deDataSetScroll) {
    TellDetails();
    return;
  }
  if (event != deFieldChange || (state_ != dsEdit && state_ != dsInsert)) return;
  modified_ = true;
  // A calculated field follows the fields it is computed from while the record is edited,
  // so that the record is posted with its calculated values; a value written to a
  // calculated or lookup field itself stays as written.
  if (AutoCalcFields && field && (field->Kind() == fkData || field->Kind() == fkInternalCalc)) GetCalcFields(active_);
}

Bookmark DataSet::GetBookmark() {
  Bookmark b;
  if (Active() && state_ == dsBrowse) CatchUp();
  if (Active() && haveRecord_ && state_ == dsBrowse) {
    RecordStep step(*this);
    UpdateCursorPos();
    GetBookmarkData(active_, b);
  }
  return b;
}

void DataSet::GotoBookmark(const Bookmark& bookmark) {
  CheckBrowseMode();
  CatchUp();
  if (!BookmarkValid(bookmark)) DatabaseError("Record not found", this);
  if (BeforeScroll) BeforeScroll(*this);
  // The cursor stands on the current record first, so that a bookmark that is not found
  // leaves it there.
  {
    RecordStep step(*this);
    UpdateCursorPos();
    InternalGotoBookmark(bookmark);
    if (!ResyncExact()) {
      if (haveRecord_) InternalSetToRecord(active_);
      DatabaseError("Record not found", this);
    }
  }
  Scrolled();
}

}  // namespace dataset
