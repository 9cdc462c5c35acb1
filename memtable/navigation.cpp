// Field list texts, choosing the current index, and the key search behind Locate.
#include <cctype>

#include "memtable/filter.h"
#include "memtable/mem_table.h"

namespace memtable {

using namespace dataset;

namespace {

std::string Trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  std::size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

}  // namespace

void TmvxCustomMemTable::ParseFieldList(const std::string& fieldNames, TmvxFieldList& list) {
  list.Clear();
  std::size_t start = 0;
  while (start <= fieldNames.size()) {
    std::size_t end = fieldNames.find(';', start);
    if (end == std::string::npos) end = fieldNames.size();
    std::string item = fieldNames.substr(start, end - start);
    start = end + 1;
    std::string name = item, letters;
    std::size_t colon = item.find(':');
    if (colon != std::string::npos) {
      name = item.substr(0, colon);
      letters = item.substr(colon + 1);
    }
    name = Trim(name);
    if (name.empty()) continue;
    TmvxMemTableCompareOptions options = 0;
    for (char c : letters) {
      switch (std::toupper(static_cast<unsigned char>(c))) {
        case 'C': options |= mtcoCaseInsensitive; break;
        case 'D': options |= mtcoDescending; break;
        case 'N': options |= mtcoIgnoreNullKey; break;
        case 'P': options |= mtcoPartialKey; break;
        case 'L': options |= mtcoIgnoreLocale; break;
        default: break;
      }
    }
    Field& field = FieldByName(name);
    if (!field.IsIndexable()) dataset::DatabaseError("Can't index on field " + field.DisplayName(), this);
    if (field.Kind() == fkCalculated) RecalcOnIndex = true;
    list.Add(&field, options);
  }
}

void TmvxCustomMemTable::MarkFieldListOption(TmvxFieldList& list, TmvxMemTableCompareOptions option,
                                             const std::string& fieldNames) {
  TmvxFieldList named;
  ParseFieldList(fieldNames, named);
  for (int i = 0; i < list.Count(); ++i) {
    if (named.IndexOf(list.Fields(i)) >= 0)
      list.SetOptions(i, list.Options(i) | option);
    else
      list.SetOptions(i, list.Options(i) & ~option);
  }
}

bool TmvxCustomMemTable::SameFieldList(const TmvxFieldList& a, const TmvxFieldList& b) {
  if (a.Count() != b.Count()) return false;
  for (int i = 0; i < a.Count(); ++i)
    if (a.Fields(i) != b.Fields(i)) return false;
  return true;
}

void TmvxCustomMemTable::SelectIndex(TmvxIndex* index) {
  if (!index) index = indexes_->RowOrderIndex;
  if (index == activeIndex_) return;
  PmvxRecord remembered = nullptr;
  if (Active()) {
    CheckBrowseMode();
    if (HasActiveRecord()) remembered = StoredRecordOf(reinterpret_cast<PmvxRecord>(ActiveBuffer()));
    UpdateCursorPos();
  }
  if (index == indexes_->RowOrderIndex) {
    indexFieldNames_.clear();
    indexName_.clear();
  } else {
    indexFieldNames_ = index->IndexFields;
    indexName_ = index->Name;
  }
  activeIndex_ = index;
  index->IndexFieldList.AssignTo(currentIndexFields_);
  // An index that missed changes is brought up to date before it is walked.
  if (Active() && !index->IsOrdered) index->Rebuild();
  if (cursorPos_ >= index->Count()) cursorPos_ = index->Count() - 1;
  CursorPosChanged();
  if (Active() && cursorPos_ >= 0) {
    int pos = -1;
    if (remembered && index->SearchRecord(remembered, pos, false) && AcceptRecord(*this, remembered, false)) {
      cursorPos_ = pos;
      Resync();
      return;
    }
  }
  if (Active()) First();
}

void TmvxCustomMemTable::ChooseIndex(const std::string& text, std::string& stored, TmvxIndex* found) {
  // A closed table keeps the text for its next open; an open one switches now, to row
  // order for an empty text, and stays where it is when no index answers the text.
  if (!Active())
    stored = text;
  else if (text.empty())
    SelectIndex(nullptr);
  else if (found)
    SelectIndex(found);
}

void TmvxCustomMemTable::SetIndexFieldNames(const std::string& names) {
  ChooseIndex(names, indexFieldNames_, indexes_->GetIndexByFields(names));
}

void TmvxCustomMemTable::SetIndexName(const std::string& name) {
  ChooseIndex(name, indexName_, indexes_->GetIndexByName(name));
}

bool TmvxCustomMemTable::Locate(const std::string& keyFields, const Variant& keyValues, LocateOptions options) {
  CheckBrowseMode();
  if (BeforeScroll) BeforeScroll(*this);
  CursorPosChanged();
  if (keyFields != locateFieldsText_ || options != locateOptions_ || locateFields_.Count() == 0) {
    locateFields_.Clear();
    ParseFieldList(keyFields, locateFields_);
    for (int i = 0; i < locateFields_.Count(); ++i) {
      if (options & loCaseInsensitive) locateFields_.SetOptions(i, locateFields_.Options(i) | mtcoCaseInsensitive);
      if (options & loPartialKey) locateFields_.SetOptions(i, locateFields_.Options(i) | mtcoPartialKey);
    }
    locateFieldsText_ = keyFields;
    locateOptions_ = options;
  }
  const TmvxFieldList& list = locateFields_;
  if (list.Count() == 0) throw EMemTableError(kAtLeastOneFieldText);
  if (keyValues.IsArray()) {
    for (const Variant& v : keyValues.items())
      if (v.IsArray()) throw EMemTableError("Values variant array has invalid dimension count");
  } else if (list.Count() > 1) {
    throw EMemTableError("More fields than values");
  }
  bool found = false;
  int position = -1;
  {
    TmvxCommon::Guard g(*common_);
    // The key goes into the table's key buffer, made once and kept until close.
    if (!keyBuffer_) keyBuffer_ = common_->AllocRecord();
    common_->FreeBlobs(keyBuffer_);
    common_->ClearRecord(keyBuffer_);
    static const Variant kNoValue;
    for (int i = 0; i < list.Count(); ++i) {
      const Variant& v = keyValues.IsArray()
                             ? (static_cast<std::size_t>(i) < keyValues.items().size() ? keyValues.items()[static_cast<std::size_t>(i)] : kNoValue)
                             : keyValues;
      WriteFieldValue(keyBuffer_, list.Fields(i), v);
    }
    indexes_->Search(&list, keyBuffer_, found, position, true, false);
  }
  found = found && position >= 0;
  SetFound(found);
  if (found) {
    cursorPos_ = position;
    ResyncExact();
    if (AfterScroll) AfterScroll(*this);
  }
  return found;
}

}  // namespace memtable
