#include "memtable/indexes.h"

#include <algorithm>
#include <strings.h>

#include "memtable/errors.h"
#include "memtable/filter.h"
#include "memtable/mem_table.h"

namespace memtable {

namespace {

// Holds the store's lock for a scope and reports progress at both ends, also when the
// scope ends by an exception.
struct StoreOperation {
  TmvxCustomMemTable* table;
  TmvxProgressCode code;
  StoreOperation(TmvxCustomMemTable* t, TmvxProgressCode c) : table(t), code(c) {
    table->ReportProgress(0, code);
    table->Common().Enter();
  }
  ~StoreOperation() {
    table->Common().Leave();
    table->ReportProgress(100, code);
  }
};

}  // namespace

TmvxIndex::TmvxIndex(std::string name, TmvxCustomMemTable* table, std::string fieldNames,
                     TmvxMemTableCompareOptions options, int indexType, bool isInternal)
    : Name(std::move(name)), Table(table), IndexFields(std::move(fieldNames)), IndexOptions(options),
      IsOrdered(table->Common().RecordCount() == 0), IndexType(indexType), IsInternal(isInternal) {
  if (!IndexFields.empty()) {
    table->ParseFieldList(IndexFields, IndexFieldList);
    const TmvxMemTableCompareOptions perField =
        options & (mtcoDescending | mtcoCaseInsensitive | mtcoPartialKey | mtcoIgnoreNullKey | mtcoIgnoreLocale);
    for (int i = 0; i < IndexFieldList.Count(); ++i)
      IndexFieldList.SetOptions(i, IndexFieldList.Options(i) | perField);
  }
}

TmvxIndex::~TmvxIndex() = default;

void TmvxIndex::Clear() {
  References.clear();
  IsOrdered = false;
}

void TmvxIndex::Load() {
  TmvxCommon& c = Table->Common();
  TmvxCommon::Guard g(c);
  Clear();
  References.reserve(c.Records().size());
  // With RecalcOnIndex the calculated fields are computed afresh before the index filter
  // and the sort (which follows a load) see them.
  const bool recalc = Table->RecalcOnIndex && Table->CalcFieldsSize() > 0;
  for (PmvxRecord r : c.Records()) {
    if (!r) continue;
    if (recalc) Table->RecalcRecord(r);
    if (FilterRecord(r)) References.push_back(r);
  }
}

void TmvxIndex::InsertAt(int position, PmvxRecord stored, const TmvxRecord* keySource) {
  // A sorted index keeps a sort key beside each reference; row order keeps none.
  std::uint64_t key = 0;
  if (!IsRowOrder && IndexType == 1) {
    TmvxRecordComparer keys(Table->Common(), IndexFieldList, false);
    if (keys.HasPrefix()) key = keys.Prefix(keySource);
  }
  References.insert(static_cast<std::size_t>(position), stored, key);
}

namespace {

// Breaks a tie between equal keys by the records' header values.
int TieBreak(const TmvxFieldList& list, const TmvxRecord* key, const TmvxRecord* record) {
  int k = key->RecordNo, o = record->RecordNo, r = 0;
  if (k < 0 && o < 0)
    r = key->RecordID < record->RecordID ? -1 : (key->RecordID > record->RecordID ? 1 : 0);
  else if (k < 0)
    r = -1;
  else if (o < 0)
    r = 1;
  if (list.Count() > 0 && (list.Options(0) & mtcoDescending)) r = -r;
  return r;
}

int ArrivalOrder(const TmvxRecord* a, const TmvxRecord* b) {
  return a->UniqueRecordID < b->UniqueRecordID ? -1 : (a->UniqueRecordID > b->UniqueRecordID ? 1 : 0);
}

}  // namespace

int TmvxIndex::CompareIndexRecords(const TmvxFieldList& list, const TmvxRecord* key, const TmvxRecord* record,
                                   bool nearest, bool tieBreak) {
  int r = Table->Common().CompareRecords(list, 0, key, record, false, nearest, 0);
  if (r == 0 && tieBreak) r = TieBreak(list, key, record);
  return r;
}

namespace {

// Median-of-three quicksort over a..b; ranges of 5 or fewer entries are left to the
// insertion sort that follows. The smaller part recurses and the larger one loops, so
// the depth stays logarithmic.
template <typename T, typename Compare>
void QuickSort(std::vector<T>& v, const Compare& cmp, int lo, int hi) {
  auto swap = [&](int a, int b) { std::swap(v[static_cast<std::size_t>(a)], v[static_cast<std::size_t>(b)]); };
  auto at = [&](int i) -> const T& { return v[static_cast<std::size_t>(i)]; };
  while (hi - lo > 4) {
    int mid = (lo + hi) / 2;
    if (cmp(at(lo), at(mid)) > 0) swap(lo, mid);
    if (cmp(at(lo), at(hi)) > 0) swap(lo, hi);
    if (cmp(at(mid), at(hi)) > 0) swap(mid, hi);
    swap(mid, hi - 1);
    T pivot = at(hi - 1);
    int i = lo, j = hi - 1;
    for (;;) {
      do ++i;
      while (cmp(at(i), pivot) < 0);
      do --j;
      while (cmp(at(j), pivot) > 0);
      if (i > j) break;
      swap(i, j);
    }
    swap(i, hi - 1);
    if (j - lo < hi - (i + 1)) {
      QuickSort(v, cmp, lo, j);
      lo = i + 1;
    } else {
      QuickSort(v, cmp, i + 1, hi);
      hi = j;
    }
  }
}

template <typename T, typename Compare>
void InsertionSort(std::vector<T>& v, const Compare& cmp) {
  for (std::size_t i = 1; i < v.size(); ++i) {
    T r = v[i];
    std::size_t j = i;
    while (j > 0 && cmp(v[j - 1], r) > 0) {
      v[j] = v[j - 1];
      --j;
    }
    v[j] = r;
  }
}

// The neighbours of a list in an index's order that hold keys must not hold the same one.
template <typename List>
void CheckSortedRun(TmvxIndex& index, const List& sorted) {
  TmvxRecordComparer keys(index.Table->Common(), index.IndexFieldList, false);
  const TmvxRecord* previous = nullptr;
  for (const TmvxRecord* r : sorted) {
    if (!TmvxIndex::HoldsKey(r)) continue;
    if (previous && keys(previous, r) == 0) throw EMemTableDupKey(kDuplicateKeyText);
    previous = r;
  }
}

}  // namespace

void TmvxIndex::Sort() {
  if (IndexType != 1) return;
  StoreOperation op(Table, mtpcSort);
  TmvxRecordComparer keys(Table->Common(), IndexFieldList, false);
  // Records with equal keys keep the order in which they were added, as the inserts of
  // a maintained index place them: a rebuilt index and a maintained one agree.
  auto cmp = [&](const TmvxRecord* a, const TmvxRecord* b) {
    int r = keys(a, b);
    return r != 0 ? r : ArrivalOrder(a, b);
  };
  int n = Count();
  if (keys.HasPrefix()) {
    // Sort (prefix, record) pairs: most comparisons end at the prefixes, in memory
    // that is walked in order, and give the same answer as the full comparison.
    struct Entry {
      std::uint64_t prefix;
      PmvxRecord record;
    };
    std::vector<Entry> entries;
    entries.reserve(References.size());
    for (PmvxRecord r : References) entries.push_back({keys.Prefix(r), r});
    std::vector<PmvxRecord> sorted(References.size());
    const bool descending = keys.PrefixDescending();
    auto entryCmp = [&](const Entry& a, const Entry& b) {
      if (a.prefix != b.prefix) return (a.prefix < b.prefix) != descending ? -1 : 1;
      return cmp(a.record, b.record);
    };
    if (n > 1) QuickSort(entries, entryCmp, 0, n - 1);
    InsertionSort(entries, entryCmp);
    std::vector<std::uint64_t> prefixes(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
      sorted[i] = entries[i].record;
      prefixes[i] = entries[i].prefix;
    }
    References.Assign(sorted, &prefixes);
  } else {
    std::vector<PmvxRecord> sorted = References.ToVector();
    if (n > 1) QuickSort(sorted, cmp, 0, n - 1);
    InsertionSort(sorted, cmp);
    References.Assign(sorted);
  }
  IsOrdered = true;
  if (IndexOptions & mtcoUnique) CheckSortedRun(*this, References);
}

void TmvxIndex::CheckSortedUnique(const std::vector<PmvxRecord>& sorted) { CheckSortedRun(*this, sorted); }

bool TmvxIndex::KeyTaken(PmvxRecord record, const TmvxRecord* except) {
  bool found = false;
  int pos = -1;
  Search(&IndexFieldList, record, found, pos, false, false);
  if (!found || pos < 0) return false;
  // The whole run of equal keys: `except` and records kept only as deleted versions do not
  // hold it.
  TmvxRecordComparer keys(Table->Common(), IndexFieldList, false);
  for (int i = pos; i < Count(); ++i) {
    PmvxRecord other = References[static_cast<std::size_t>(i)];
    if (keys(record, other) != 0) break;
    if (other != except && HoldsKey(other)) return true;
  }
  return false;
}

void TmvxIndex::Rebuild() {
  // Asked under the store's lock: the table may belong to another thread.
  if (Table->OpenOnStore()) {
    Load();
    if (IsRowOrder || IndexType != 1) {
      IsOrdered = true;
    } else if (!References.empty()) {
      Sort();
    } else {
      IsOrdered = true;
    }
  } else {
    IsOrdered = true;
  }
  if (Table->ActiveIndex() == this && Table->CursorPos() >= Count()) Table->SetCursorPos(Count() - 1);
}

bool TmvxIndex::FilterRecord(PmvxRecord record) {
  if (!Table->OnFilterIndex) return true;
  PmvxRecord saved = Table->BufferOverride();
  Table->SetBufferOverride(record);
  bool accept = true;
  try {
    Table->OnFilterIndex(*Table, *this, accept);
  } catch (...) {
    Table->SetBufferOverride(saved);
    throw;
  }
  Table->SetBufferOverride(saved);
  return accept;
}

int TmvxIndex::ScanSearch(const TmvxFieldList& list, PmvxRecord key, bool& found, int& position, bool respectFilter,
                          bool nearest) {
  found = false;
  position = -1;
  int result = 0;
  int first = 0, last = Count() - 1;
  TmvxRecordComparer keys(Table->Common(), list, nearest);
  for (int i = first; i <= last; ++i) {
    if ((i - first) % 100 == 0)
      Table->ReportProgress(static_cast<int>(static_cast<double>(i - first) / (last - first + 1) * 100), mtpcSearch);
    PmvxRecord r = References[static_cast<std::size_t>(i)];
    if (Table->RecalcOnIndex) Table->RecalcRecord(r);
    result = keys(key, r);
    if (result == 0 && (!respectFilter || AcceptRecord(*Table, r, false))) {
      found = true;
      position = i;
      return result;
    }
    if (nearest && result < 0) {
      position = i;
      return result;
    }
  }
  return result;
}

int TmvxIndex::Search(const TmvxFieldList* fieldList, PmvxRecord key, bool& found, int& position, bool respectFilter,
                      bool nearest) {
  // An index that missed changes is brought up to date before anything relies on it,
  // except the current index while it is not kept in order: it holds every record and is
  // scanned until it is chosen again (a sort per search after every change would cost far
  // more than the scan).
  if (!IsOrdered && IndexType == 1 && Table->OpenOnStore() &&
      (Table->ActiveIndex() != this || (!(IndexOptions & mtcoNonMaintained) && Table->EnableIndexes())))
    Rebuild();
  const TmvxFieldList& list = fieldList ? *fieldList : IndexFieldList;
  StoreOperation op(Table, mtpcSearch);
  int n = Count();
  if (!(IsOrdered && !IsRowOrder && n > 20)) return ScanSearch(list, key, found, position, respectFilter, nearest);

  TmvxRecordComparer full(Table->Common(), list, false), near(Table->Common(), list, nearest);
  // The first record at or above the key; when it is equal, the run of records equal
  // to the key (by the nearest comparison) may begin before it.
  auto above = [&](const TmvxRecord* r) { return full(key, r) > 0; };
  // The index's own comparison (its fields with the same options) can use the sort
  // keys held beside the references.
  bool ownOrder = &list == &IndexFieldList;
  if (!ownOrder && list.Count() == IndexFieldList.Count()) {
    ownOrder = true;
    for (int i = 0; i < list.Count() && ownOrder; ++i)
      ownOrder = list.Fields(i) == IndexFieldList.Fields(i) && list.Options(i) == IndexFieldList.Options(i);
  }
  int lo = ownOrder && full.HasPrefix()
               ? static_cast<int>(References.PartitionPointKeyed(full.Prefix(key), full.PrefixDescending(), above))
               : static_cast<int>(References.PartitionPoint(above));
  int result = lo < n ? full(key, References[static_cast<std::size_t>(lo)]) : 1;
  found = result == 0;
  if (found) {
    while (lo > 0 && near(key, References[static_cast<std::size_t>(lo - 1)]) == 0) --lo;
  }
  position = lo;
  if (respectFilter && IsFiltered(*Table) && position < n &&
      !AcceptRecord(*Table, References[static_cast<std::size_t>(position)], false)) {
    found = false;
    for (;;) {
      if (++position >= n) break;
      PmvxRecord r = References[static_cast<std::size_t>(position)];
      result = near(key, r);
      if (result == 0 && AcceptRecord(*Table, r, false)) {
        found = true;
        break;
      }
      if (result < 0) {
        // Past the run of equal keys: a nearest search stops here, an exact one finds nothing.
        if (!nearest) position = n;
        break;
      }
    }
  }
  return result;
}

int TmvxIndex::InsertPosition(PmvxRecord key) {
  TmvxRecordComparer keys(Table->Common(), IndexFieldList, false);
  // After the records with a lower key and those with an equal key that came before it.
  auto above = [&](const TmvxRecord* r) {
    int c = keys(key, r);
    return c > 0 || (c == 0 && ArrivalOrder(key, r) > 0);
  };
  if (IsOrdered && keys.HasPrefix())
    return static_cast<int>(References.PartitionPointKeyed(keys.Prefix(key), keys.PrefixDescending(), above));
  if (IsOrdered) return static_cast<int>(References.PartitionPoint(above));
  for (int i = 0; i < Count(); ++i)
    if (!above(References[static_cast<std::size_t>(i)])) return i;
  return Count();
}

bool TmvxIndex::SearchRecordID(int recordID, int& position) {
  int n = Count();
  if (IsOrdered && IsRowOrder) {
    // Records appended in turn lie in the order of their ids: a binary search finds them;
    // one put in elsewhere (an insert, a reused id) is found by the walk below.
    int p = static_cast<int>(References.PartitionPoint([recordID](const TmvxRecord* r) { return r->RecordID < recordID; }));
    if (p < n && References[static_cast<std::size_t>(p)]->RecordID == recordID) {
      position = p;
      return true;
    }
  }
  for (int i = 0; i < n; ++i) {
    if (i % 100 == 0) Table->ReportProgress(static_cast<int>(static_cast<double>(i) / n * 100), mtpcSearch);
    if (References[static_cast<std::size_t>(i)]->RecordID == recordID) {
      position = i;
      return true;
    }
  }
  position = -1;
  return false;
}

bool TmvxIndex::SearchRecord(PmvxRecord record, int& position, bool respectFilter) {
  Table->ReportProgress(0, mtpcSearch);
  int n = Count();
  int start = 0;
  if (IsOrdered && n > 20) {
    if (IsRowOrder) {
      if (SearchRecordID(record->RecordID, position)) return true;
    } else {
      bool found = false;
      int pos = -1;
      Search(nullptr, record, found, pos, respectFilter, false);
      start = found && pos >= 0 ? pos : 0;
    }
  }
  for (int i = start; i < n; ++i)
    if (References[static_cast<std::size_t>(i)]->RecordID == record->RecordID) {
      position = i;
      return true;
    }
  position = -1;
  return false;
}

TmvxIndexes::TmvxIndexes(TmvxCustomMemTable* table) : Table(table) {}

TmvxIndexes::~TmvxIndexes() = default;

void TmvxIndexes::Add(std::unique_ptr<TmvxIndex> index) {
  index->Ordinal = Count();
  list_.push_back(std::move(index));
}

TmvxIndex* TmvxIndexes::AddIndexDef(const dataset::IndexDef& def) {
  if (def.Fields.empty()) throw EMemTableError("Missing Name or FieldNames in IndexDef!");
  auto index = std::make_unique<TmvxIndex>(def.Name, Table, def.Fields, IndexOptionsToCompareOptions(def.Options), 1, false);
  TmvxIndex* raw = index.get();
  Add(std::move(index));
  return raw;
}

std::unique_ptr<TmvxIndex> TmvxIndexes::DeleteIndex(TmvxIndex* index) {
  if (!index || index == RowOrderIndex) return nullptr;
  auto it = std::find_if(list_.begin(), list_.end(), [&](const auto& p) { return p.get() == index; });
  if (it == list_.end()) return nullptr;
  if (Table->ActiveIndex() == index) Table->SetActiveIndexRaw(RowOrderIndex);
  if (Table->SortIndex() == index) Table->SetSortIndex(nullptr);
  std::unique_ptr<TmvxIndex> taken = std::move(*it);
  it = list_.erase(it);
  for (; it != list_.end(); ++it) --(*it)->Ordinal;
  return taken;
}

void TmvxIndexes::Clear() {
  for (std::size_t i = list_.size(); i-- > 0;) {
    TmvxIndex* index = list_[i].get();
    index->Clear();
    if (index == RowOrderIndex) continue;
    if (Table->ActiveIndex() == index) Table->SetActiveIndexRaw(RowOrderIndex);
    if (Table->SortIndex() == index) Table->SetSortIndex(nullptr);
    list_.erase(list_.begin() + static_cast<std::ptrdiff_t>(i));
  }
  for (std::size_t i = 0; i < list_.size(); ++i) list_[i]->Ordinal = static_cast<int>(i);
}

TmvxIndex* TmvxIndexes::GetIndexByName(const std::string& name) const {
  for (const auto& i : list_)
    if (strcasecmp(i->Name.c_str(), name.c_str()) == 0) return i.get();
  return nullptr;
}

TmvxIndex* TmvxIndexes::GetIndexByFields(const std::string& fieldNames) const {
  for (const auto& i : list_)
    if (strcasecmp(i->IndexFields.c_str(), fieldNames.c_str()) == 0) return i.get();
  return nullptr;
}

void TmvxIndexes::EmptyAll() {
  for (auto& i : list_) i->Clear();
}

void TmvxIndexes::RebuildAll() {
  for (auto& i : list_) i->Rebuild();
}

void TmvxIndexes::MarkAllDirty() {
  for (auto& i : list_) i->IsOrdered = false;
}

bool TmvxIndexes::RebuildDirty() {
  if (!Table->EnableIndexes()) return false;
  bool current = false;
  for (auto& i : list_) {
    if (i->IsOrdered || (i->IndexOptions & mtcoNonMaintained)) continue;
    i->Rebuild();
    if (i.get() == Table->ActiveIndex()) current = true;
  }
  return current;
}

void TmvxIndexes::ReflectFilterChange(TmvxIndex& idx, bool current, PmvxRecord stored, int position,
                                      PmvxRecord newRecord, bool accept) {
  // The key is the same, but the index filter may judge the new values otherwise.
  if (Table->OnFilterIndex) {
    auto& refs = idx.References;
    int heldAt = -1;
    if (current && position >= 0 && position < idx.Count() && refs[static_cast<std::size_t>(position)] == stored)
      heldAt = position;
    else if (!(idx.IsRowOrder ? idx.SearchRecordID(stored->RecordID, heldAt) : idx.SearchRecord(stored, heldAt, false)) ||
             refs[static_cast<std::size_t>(heldAt)] != stored)
      heldAt = -1;
    if (heldAt >= 0 && !accept) {
      refs.erase(static_cast<std::size_t>(heldAt));
      if (current) Table->SetCursorPos(heldAt);
      return;
    }
    if (heldAt < 0 && accept) {
      if (idx.IsRowOrder) {
        // Its place in arrival order is found by the rebuild that follows the change.
        idx.IsOrdered = false;
        return;
      }
      int insertAt = idx.InsertPosition(newRecord);
      idx.InsertAt(insertAt, stored, newRecord);
      if (current) {
        Table->SetCursorPos(insertAt);
        stored->RecordNo = insertAt;
      }
      return;
    }
  }
  if (current) Table->SetCursorPos(newRecord->RecordNo);
}

int TmvxIndexes::Search(const TmvxFieldList* fieldList, PmvxRecord keyRecord, bool& found, int& position,
                        bool respectFilter, bool nearest) {
  TmvxIndex* current = Table->ActiveIndex();
  if (!fieldList || TmvxCustomMemTable::IndexServesSearch(current->IndexFieldList, *fieldList))
    return current->Search(fieldList, keyRecord, found, position, respectFilter, nearest);
  StoreOperation op(Table, mtpcSearch);
  return current->ScanSearch(*fieldList, keyRecord, found, position, respectFilter, nearest);
}

void TmvxIndexes::CheckUnique(PmvxRecord record, PmvxRecord storedRecord, const std::vector<char>& accepts) {
  if (!Table->EnableIndexes()) return;
  for (std::size_t i = 0; i < list_.size(); ++i) {
    TmvxIndex& idx = *list_[i];
    if ((idx.IndexOptions & mtcoNonMaintained) || !(idx.IndexOptions & mtcoUnique) || !accepts[i]) continue;
    if (idx.KeyTaken(record, storedRecord)) throw EMemTableDupKey(kDuplicateKeyText);
  }
}

bool TmvxIndexes::Unkept(const TmvxIndex& idx) const {
  return (idx.IndexOptions & mtcoNonMaintained) || (!Table->EnableIndexes() && !idx.IsRowOrder) || !idx.IsOrdered;
}

bool TmvxIndexes::AsksFilter(const TmvxIndex& idx, int how) const {
  if (!Table->OnFilterIndex || how == rcDelete) return false;
  if (how == rcInsert) return !Unkept(idx) || &idx == Table->ActiveIndex();
  return !Unkept(idx);
}

void TmvxIndexes::Accepts(int how, PmvxRecord, PmvxRecord newRecord, std::vector<char>& accepts) {
  accepts.assign(list_.size(), 1);
  for (std::size_t i = 0; i < list_.size(); ++i)
    if (AsksFilter(*list_[i], how)) accepts[i] = list_[i]->FilterRecord(newRecord) ? 1 : 0;
}

void TmvxIndexes::ReflectChange(int how, PmvxRecord stored, int position, PmvxRecord newRecord, bool origin,
                                const std::vector<char>& accepts) {
  for (std::size_t i = 0; i < list_.size(); ++i) {
    TmvxIndex* idx = list_[i].get();
    const bool accept = accepts[i] != 0;
    // Only the table that made the change moves its cursor with it; another table on
    // the store (perhaps used by another thread) finds its record again when it moves.
    bool current = origin && Table->ActiveIndex() == idx;
    auto& refs = idx->References;
    if (how == rcDelete) {
      // Every index lets go of a deleted record, also one that is not maintained.
      if (refs.empty()) continue;
      int pos = -1;
      if (current && position >= 0 && position < idx->Count() && refs[static_cast<std::size_t>(position)] == stored)
        pos = position;
      else if (idx->IsRowOrder)
        idx->SearchRecordID(stored->RecordID, pos);
      else
        idx->SearchRecord(stored, pos, false);
      if (pos >= 0 && refs[static_cast<std::size_t>(pos)] == stored) {
        refs.erase(static_cast<std::size_t>(pos));
        if (current) Table->SetCursorPos(pos);
      }
      continue;
    }
    // Row order is kept also while indexes are off: appending to it costs nothing, and
    // the table keeps a complete order to count and walk. An index that is not kept in
    // order (not maintained, indexes off, or one that already missed changes) is sorted
    // again before it is chosen or used; until then the current one still holds every
    // record the table shows (a new record goes at its end, an edited one stays where it
    // is, and the index counts as out of order once a key has changed), so that a walk and
    // the record count agree; it is searched by a scan. Any other lets new records pass.
    if (Unkept(*idx)) {
      if (how == rcInsert) {
        if (idx != Table->ActiveIndex()) {
          if (!idx->IsRowOrder) idx->IsOrdered = false;
          continue;
        }
        if (!accept) continue;
        const int at = idx->Count();
        idx->InsertAt(at, newRecord, newRecord);
        if (current) {
          Table->SetCursorPos(at);
          newRecord->RecordNo = at;
        }
        if (!idx->IsRowOrder && at > 0) idx->IsOrdered = false;
      } else if (idx->IsOrdered && !idx->IsRowOrder &&
                 idx->CompareIndexRecords(idx->IndexFieldList, stored, newRecord, false, false) != 0) {
        idx->IsOrdered = false;
      }
      continue;
    }

    if (how == rcInsert) {
      if (!accept) continue;
      int insertAt;
      if (!idx->IsRowOrder) {
        // The place is found by a full comparison: a nearest search compares texts
        // partially and would put a key before the longer keys it begins.
        insertAt = idx->InsertPosition(newRecord);
      } else if (!current || position < 0) {
        insertAt = idx->Count();
      } else {
        insertAt = std::min(std::max(position - 1, 0), idx->Count());
      }
      idx->InsertAt(insertAt, newRecord, newRecord);
      if (current) {
        Table->SetCursorPos(insertAt);
        newRecord->RecordNo = insertAt;
      }
    } else if (how == rcEdit && !idx->IsRowOrder) {
      if (idx->CompareIndexRecords(idx->IndexFieldList, stored, newRecord, false, false) != 0) {
        int oldPos = -1;
        if (current && position >= 0 && position < idx->Count() && refs[static_cast<std::size_t>(position)] == stored)
          oldPos = position;
        else
          idx->SearchRecord(stored, oldPos, false);
        // A record the index does not hold is not taken out of it.
        if (oldPos >= 0 && refs[static_cast<std::size_t>(oldPos)] == stored) refs.erase(static_cast<std::size_t>(oldPos));
        if (accept) {
          int insertAt = idx->InsertPosition(newRecord);
          idx->InsertAt(insertAt, stored, newRecord);
          if (current) {
            Table->SetCursorPos(insertAt);
            stored->RecordNo = insertAt;
          }
        }
      } else {
        ReflectFilterChange(*idx, current, stored, position, newRecord, accept);
      }
    } else if (how == rcEdit && Table->OnFilterIndex) {
      ReflectFilterChange(*idx, current, stored, position, newRecord, accept);
    }
  }
}

void CheckUniqueKeys(TmvxCommon& store, const std::vector<PmvxRecord>& records, bool againstStore) {
  for (TmvxCustomMemTable* t : store.AttachedTables()) {
    if (!t || !t->OpenOnStore()) continue;
    TmvxIndexes& list = t->GetIndexes();
    for (int i = 0; i < list.Count(); ++i) {
      TmvxIndex& idx = *list.Items(i);
      if (!(idx.IndexOptions & mtcoUnique) || idx.IndexType != 1 || idx.IsRowOrder) continue;
      std::vector<PmvxRecord> keys;
      keys.reserve(records.size());
      for (PmvxRecord rec : records)
        if (idx.FilterRecord(rec)) {
          if (againstStore && idx.KeyTaken(rec, nullptr)) throw EMemTableDupKey(kDuplicateKeyText);
          keys.push_back(rec);
        }
      TmvxRecordComparer compare(store, idx.IndexFieldList, false);
      std::sort(keys.begin(), keys.end(), [&](const TmvxRecord* a, const TmvxRecord* b) { return compare(a, b) < 0; });
      idx.CheckSortedUnique(keys);
    }
  }
}

}  // namespace memtable
