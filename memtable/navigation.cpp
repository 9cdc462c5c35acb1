// Field list texts, choosing the current index, and the key search behind Locate.
#include <cctype>
#include <cmath>

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
  if (Active()) CheckBrowseMode();
  // The store's records are read only under its lock: another table on the store may
  // add records (moving the list) or delete the one under the cursor meanwhile.
  TmvxCommon::Guard g(*common_);
  PmvxRecord remembered = nullptr;
  if (Active()) {
    if (HasActiveRecord()) remembered = StoredRecordOf(reinterpret_cast<PmvxRecord>(ActiveBuffer()));
    UpdateCursorPos();
  }
  // An internal index (row order, the sort index) is not reported by name.
  if (index == indexes_->RowOrderIndex || index->IsInternal) {
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
      Refresh();
      return;
    }
  }
  if (Active()) FirstAndRefresh();
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

namespace {

bool IsTextType(FieldType t) { return t == ftString || t == ftFixedChar || t == ftWideString; }

// Whether a key value can equal a value the field holds, compared as the caller gave it:
// a text longer than the field, or a number with a fraction or out of range for an
// integer field, equals nothing stored there (writing it into the key record would cut
// or round it into some other value).
bool KeyValueFits(const Field& field, const Variant& value) {
  if (value.IsNull() || value.IsArray()) return true;
  if (IsTextType(field.DataType())) {
    std::string text = value.ToString();
    return text.size() <= static_cast<std::size_t>(field.Size()) && text.find('\0') == std::string::npos;
  }
  double lo, hi;
  switch (field.DataType()) {
    case ftSmallint: lo = -32768; hi = 32767; break;
    case ftWord: lo = 0; hi = 65535; break;
    case ftInteger: case ftAutoInc: lo = -2147483648.0; hi = 2147483647.0; break;
    case ftLargeint: lo = -9.2233720368547758e18; hi = 9.2233720368547748e18; break;
    default: return true;
  }
  if (value.kind() == Variant::Integer || value.kind() == Variant::Bool) {
    std::int64_t v = value.ToInt();
    return static_cast<double>(v) >= lo && static_cast<double>(v) <= hi;
  }
  if (!value.IsNumeric()) return true;  // a text is converted, or refused, as before
  double d = value.ToDouble();
  return d == std::trunc(d) && d >= lo && d <= hi;
}

}  // namespace

bool TmvxCustomMemTable::IndexServesSearch(const TmvxFieldList& index, const TmvxFieldList& search) {
  if (!SameFieldList(index, search) || index.Count() == 0) return false;
  for (int i = 0; i < index.Count(); ++i) {
    const TmvxMemTableCompareOptions io = index.Options(i), so = search.Options(i);
    if ((io ^ so) & (mtcoDescending | mtcoIgnoreNullKey)) return false;
    if (!IsTextType(index.Fields(i)->DataType())) continue;
    const TmvxMemTableCompareOptions textBits = mtcoCaseInsensitive | mtcoPartialKey | mtcoIgnoreLocale;
    // An index sorted by a partial comparison serves only the same comparison.
    if (io & mtcoPartialKey) {
      if ((io ^ so) & textBits) return false;
      continue;
    }
    if ((io ^ so) & mtcoIgnoreLocale) return false;
    const bool indexFolds = io & mtcoCaseInsensitive, searchFolds = so & mtcoCaseInsensitive;
    if (io & mtcoIgnoreLocale) {
      // By character codes, upper and lower case letters lie apart: only the same
      // comparison keeps equal keys together.
      if (indexFolds != searchFolds) return false;
    } else {
      // Our collation orders by the folded text first and by case only among equal
      // folded texts: a case-insensitive search may walk a case-sensitive index, not
      // the other way round; and a case-sensitive partial key matches texts that lie
      // apart in it.
      if (indexFolds && !searchFolds) return false;
      if ((so & mtcoPartialKey) && !searchFolds) return false;
      // Folding case where the index does not, or matching a prefix, keeps the equal keys
      // of this field together but not the order of the fields after it within them:
      // only the last field may be compared so.
      if (i + 1 < index.Count() && ((searchFolds && !indexFolds) || (so & mtcoPartialKey))) return false;
    }
  }
  return true;
}

int TmvxCustomMemTable::KeySearch(const std::string& keyFields, const Variant& keyValues, LocateOptions options) {
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
  static const Variant kNoValue;
  auto valueAt = [&](int i) -> const Variant& {
    if (!keyValues.IsArray()) return keyValues;
    return static_cast<std::size_t>(i) < keyValues.items().size() ? keyValues.items()[static_cast<std::size_t>(i)]
                                                                   : kNoValue;
  };
  for (int i = 0; i < list.Count(); ++i)
    if (!KeyValueFits(*list.Fields(i), valueAt(i))) return -1;
  bool found = false;
  int position = -1;
  TmvxCommon::Guard g(*common_);
  // The key goes into the table's key buffer, made once and kept until close.
  if (!keyBuffer_) keyBuffer_ = common_->AllocRecord();
  common_->FreeBlobs(keyBuffer_);
  common_->ClearRecord(keyBuffer_);
  for (int i = 0; i < list.Count(); ++i) WriteFieldValue(keyBuffer_, list.Fields(i), valueAt(i));
  indexes_->Search(&list, keyBuffer_, found, position, true, false);
  return found ? position : -1;
}

bool TmvxCustomMemTable::Locate(const std::string& keyFields, const Variant& keyValues, LocateOptions options) {
  CheckBrowseMode();
  if (BeforeScroll) BeforeScroll(*this);
  bool found;
  {
    // The position found holds only while the lock is held: another table on the store
    // may put records in or take them out as soon as it is left.
    TmvxCommon::Guard g(*common_);
    CursorPosChanged();
    int position = KeySearch(keyFields, keyValues, options);
    found = position >= 0;
    SetFound(found);
    if (found) {
      cursorPos_ = position;
      cursorOnGap_ = false;
      ResyncExact();
    }
  }
  if (found) Scrolled();
  return found;
}

Variant TmvxCustomMemTable::Lookup(const std::string& keyFields, const Variant& keyValues,
                                   const std::string& resultFields) {
  CheckBrowseMode();
  CursorPosChanged();
  // The record is read under the lock its position was found under.
  TmvxCommon::Guard g(*common_);
  int position = KeySearch(keyFields, keyValues, 0);
  SetFound(position >= 0);
  if (position < 0) return Variant::MakeNull();
  TmvxFieldList results;
  ParseResultFields(resultFields, results);
  PmvxRecord stored = activeIndex_->References[static_cast<std::size_t>(position)];
  // The found record is read as the calculation buffer, its calculated fields computed.
  DataSetState saved = State();
  RecordBuffer savedCalc = CalcBuffer();
  struct Restore {
    TmvxCustomMemTable& t;
    DataSetState s;
    RecordBuffer b;
    ~Restore() {
      t.EnterState(s);
      t.SetCalcBuffer(b);
    }
  } restore{*this, saved, savedCalc};
  if (CalcFieldsSize() > 0) RecalcRecord(stored);
  EnterState(dsCalcFields);
  SetCalcBuffer(reinterpret_cast<RecordBuffer>(stored));
  if (results.Count() == 1) return results.Fields(0)->Value();
  std::vector<Variant> values;
  for (int i = 0; i < results.Count(); ++i) values.push_back(results.Fields(i)->Value());
  return Variant(std::move(values));
}

void TmvxCustomMemTable::ParseResultFields(const std::string& names, TmvxFieldList& list) {
  list.Clear();
  std::size_t start = 0;
  while (start <= names.size()) {
    std::size_t end = names.find(';', start);
    if (end == std::string::npos) end = names.size();
    std::string name = Trim(names.substr(start, end - start));
    start = end + 1;
    if (!name.empty()) list.Add(&FieldByName(name), 0);
  }
}

}  // namespace memtable
