// The table's sort index, ranges, master/detail links, attaching to another table's
// store, and finding records through the filter.
#include <algorithm>
#include <utility>

#include "memtable/filter.h"
#include "memtable/mem_table.h"

namespace memtable {

using namespace dataset;

namespace {

constexpr const char* kSortIndexName = "__MT__SORT";

}  // namespace

// ---- sort index ----

void TmvxCustomMemTable::SetSortFields(const std::string& fields) {
  sortFields_ = fields;
  if (Active()) ApplySortIndex();
}

void TmvxCustomMemTable::SetSortOptions(TmvxMemTableCompareOptions options) {
  sortOptions_ = options;
  if (Active() && !sortFields_.empty()) ApplySortIndex();
}

void TmvxCustomMemTable::ApplySortIndex() {
  TmvxIndex* old = sortIndex_;
  if (sortFields_.empty()) {
    if (old) {
      if (activeIndex_ == old) SelectIndex(nullptr);
      indexes_->DeleteIndex(old);
      sortIndex_ = nullptr;
    }
    return;
  }
  // The new index is built first: a field list that cannot be indexed leaves the old one.
  auto index = std::make_unique<TmvxIndex>(kSortIndexName, this, sortFields_, sortOptions_, 1, true);
  TmvxIndex* raw = index.get();
  indexes_->Add(std::move(index));
  try {
    raw->Rebuild();
  } catch (...) {
    indexes_->DeleteIndex(raw);
    throw;
  }
  SelectIndex(raw);
  if (old) indexes_->DeleteIndex(old);
  sortIndex_ = raw;
}

// ---- ranges ----

void TmvxCustomMemTable::SetRange(const Variant& startValues, const Variant& endValues) {
  CheckBrowseMode();
  TmvxCommon::Guard g(*common_);
  currentIndexFields_.AssignTo(rangeFields_);
  auto fill = [&](PmvxRecord& record, const Variant& values) {
    if (!record) record = common_->AllocRecord();
    common_->FreeBlobs(record);
    common_->ClearRecord(record);
    for (int i = 0; i < rangeFields_.Count(); ++i) {
      const Variant none;
      const Variant& v = values.IsArray() ? (static_cast<std::size_t>(i) < values.items().size()
                                                 ? values.items()[static_cast<std::size_t>(i)]
                                                 : none)
                                          : (i == 0 ? values : none);
      WriteFieldValue(record, rangeFields_.Fields(i), v);
    }
  };
  fill(rangeStart_, startValues);
  fill(rangeEnd_, endValues);
  rangeActive_ = true;
  First();
}

void TmvxCustomMemTable::CancelRange() {
  if (!rangeActive_) return;
  rangeActive_ = false;
  if (Active()) First();
}

bool TmvxCustomMemTable::InRange(PmvxRecord record) {
  if (!rangeActive_) return true;
  if (common_->CompareRecords(rangeFields_, 0, rangeStart_, record, true, false, 2) > 0) return false;
  return common_->CompareRecords(rangeFields_, 0, rangeEnd_, record, true, false, 1) >= 0;
}

// ---- master/detail ----

void TmvxCustomMemTable::SetMasterSource(DataSet* master) {
  if (master && (master == this || master->IsLinkedTo(this)))
    dataset::DatabaseError("Selfreferencing master/detail relations not allowed.", this);
  masterLink_.SetMaster(master);
  masterCount_ = 0;
  if (Active()) {
    if (master && master->Active())
      MasterRecordChanged();
    else
      First();
  }
}

void TmvxCustomMemTable::SetMasterFields(const std::string& names) {
  masterFields_ = names;
  masterCount_ = 0;
  if (Active() && masterLink_.Master() && masterLink_.Master()->Active()) MasterRecordChanged();
}

void TmvxCustomMemTable::SetDetailFields(const std::string& names) {
  detailFields_ = names;
  if (!Active()) return;
  detailKeyFields_.Clear();
  if (!names.empty()) ParseFieldList(names, detailKeyFields_);
  if (masterLink_.Master() && masterLink_.Master()->Active()) MasterRecordChanged();
}

bool TmvxCustomMemTable::MasterLinkActive() const {
  const DataSet* master = masterLink_.Master();
  return masterCount_ > 0 && master && master->Active() && !masterLinkSuspended_;
}

bool TmvxCustomMemTable::MatchesMaster(PmvxRecord record) {
  const TmvxFieldList& list = detailKeyFields_.Count() > 0 ? detailKeyFields_ : currentIndexFields_;
  return common_->CompareRecords(list, masterCount_, masterValues_, record, false, false, 0) == 0;
}

void TmvxCustomMemTable::MasterRecordChanged() {
  // A table on a store whose events are suspended follows when they resume.
  if (!HeldBack(masterBehind_)) FollowMaster();
}

bool TmvxCustomMemTable::FollowMaster() {
  DataSet* master = masterLink_.Master();
  if (!Active() || !master || !master->Active()) return false;
  // The master's fields by name, as it has them now.
  std::vector<Field*> masterKeys;
  for (const std::string& name : SplitFieldNames(masterFields_)) masterKeys.push_back(&master->FieldByName(name));
  if (masterKeys.empty()) return false;
  const TmvxFieldList& list = detailKeyFields_.Count() > 0 ? detailKeyFields_ : currentIndexFields_;
  const int n = std::min(list.Count(), static_cast<int>(masterKeys.size()));
  if (n > 0) {
    TmvxCommon::Guard g(*common_);
    // Kept until the table closes.
    if (!masterValues_) masterValues_ = common_->AllocRecord();
    common_->FreeBlobs(masterValues_);
    common_->ClearRecord(masterValues_);
    for (int i = 0; i < n; ++i)
      WriteFieldValue(masterValues_, list.Fields(i), masterKeys[static_cast<std::size_t>(i)]->Value());
  }
  masterCount_ = n;
  CheckBrowseMode();
  First();
  return true;
}

void TmvxCustomMemTable::MasterLinkDisabled() {
  if (HeldBack(masterBehind_)) return;
  masterCount_ = 0;
  if (Active()) First();
}

// ---- attach ----

void TmvxCustomMemTable::SetAttachedTo(TmvxCustomMemTable* target) {
  if (target == attachedTo_) return;
  if (target == this) throw EMemTableError("Cant attach memorytable to it self.");
  if (target && target->attachedTo_)
    throw EMemTableError("Cant attach to another table which itself is an attachment.");
  Close();
  if (attachedTo_) {
    common_->DetachTable(this);
    attachedTo_ = nullptr;
    TakeOwnStore();
    activeIndex_ = indexes_->RowOrderIndex;
  }
  if (!target) return;
  // Tables on this table's own store go on with stores of their own.
  for (TmvxCustomMemTable* t : std::vector<TmvxCustomMemTable*>(common_->AttachedTables()))
    if (t && t != this) t->SetAttachedTo(nullptr);
  if (sortIndex_) {
    indexes_->DeleteIndex(sortIndex_);
    sortIndex_ = nullptr;
  }
  TmvxCommon* shared = target->common_;
  // The store refuses a table beyond its bookmark slots while a table on it is open;
  // this table then keeps its own store.
  shared->AttachTable(this);
  common_->DetachTable(this);
  ownCommon_.reset();
  common_ = shared;
  attachedTo_ = target;
  activeIndex_ = indexes_->RowOrderIndex;
  GetFieldDefs() = target->GetFieldDefs();
  // Persistent fields of the target that this table lacks are made here too, with the
  // target's settings, hidden.
  if (!target->DefaultFields()) {
    for (int i = 0; i < target->FieldCount(); ++i) {
      const Field& f = target->GetField(i);
      if (FindField(f.FieldName())) continue;
      Field* made = MakeFieldLike(f);
      if (!made) continue;
      CopyFieldSettings(f, *made);
      made->Visible = false;
    }
  }
}

// ---- finding ----

bool TmvxCustomMemTable::FindRecord(bool restart, bool goForward) {
  CheckBrowseMode();
  if (BeforeScroll) BeforeScroll(*this);
  SetFound(false);
  bool found;
  {
    // The cursor's place, the search and the fetch under one lock: another table on the
    // store may change the order as soon as it is left.
    TmvxCommon::Guard g(*common_);
    UpdateCursorPos();
    CursorPosChanged();
    int saved = cursorPos_;
    bool savedGap = cursorOnGap_;
    if (goForward) {
      if (restart) CursorToStart();
      // From the place of a record that went away, the record standing there is next.
      if (std::exchange(cursorOnGap_, false)) --cursorPos_;
      found = CursorNext(true);
    } else {
      if (restart) CursorToEnd();
      cursorOnGap_ = false;
      found = CursorPrior(true);
    }
    if (!found) {
      cursorPos_ = saved;
      cursorOnGap_ = savedGap;
    } else {
      ResyncExact();
    }
  }
  if (found) {
    SetFound(true);
    Scrolled();
  }
  return found;
}

}  // namespace memtable
