// Sorted indexes of an in-memory table and the list that keeps them up to date.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "memtable/field_list.h"
#include "memtable/record_list.h"
#include "memtable/record_store.h"

namespace memtable {

class TmvxCustomMemTable;

constexpr const char* kRowOrderIndexName = "__MT__ROWORDER";

// Kinds of change handed to ReflectChange.
enum { rcInsert = 0, rcEdit = 1, rcDelete = 2 };

class TmvxIndex {
 public:
  TmvxIndex(std::string name, TmvxCustomMemTable* table, std::string fieldNames, TmvxMemTableCompareOptions options,
            int indexType, bool isInternal);
  ~TmvxIndex();

  std::string Name;
  RecordList References;
  TmvxCustomMemTable* Table;
  std::string IndexFields;
  TmvxFieldList IndexFieldList;
  TmvxMemTableCompareOptions IndexOptions;
  bool IsOrdered;
  int IndexType;  // 0 unsorted (arrival order), 1 sorted
  bool IsRowOrder = false;
  bool IsInternal;
  int Ordinal = 0;

  int Count() const { return static_cast<int>(References.size()); }
  void Clear();
  void Load();
  void Sort();
  void Rebuild();
  // Finds a key; fieldList nullptr means IndexFieldList. Returns the last comparison.
  int Search(const TmvxFieldList* fieldList, PmvxRecord keyRecord, bool& found, int& position, bool respectFilter,
             bool nearest);
  // Sequential part of Search, also used by the index list for lists no index serves.
  int ScanSearch(const TmvxFieldList& fieldList, PmvxRecord keyRecord, bool& found, int& position, bool respectFilter,
                 bool nearest);
  bool SearchRecord(PmvxRecord record, int& position, bool respectFilter);
  // Where a record goes in a sorted index: after the records with a lower key and
  // those with an equal key that were added before it, by a full comparison.
  int InsertPosition(PmvxRecord keyRecord);
  // Puts a stored record in at a position, its sort key taken from keySource (the
  // record that holds its new values).
  void InsertAt(int position, PmvxRecord stored, const TmvxRecord* keySource);
  bool SearchRecordID(int recordID, int& position);
  bool FilterRecord(PmvxRecord record);
  // The uniqueness rule, for posts and loads alike: a record kept only as a deleted version
  // holds no key.
  static bool HoldsKey(const TmvxRecord* record) { return record->UpdateStatus != usDeleted; }
  // Whether a record other than `except` that holds a key holds the key of `record` here (a
  // search, then the run of equal keys).
  bool KeyTaken(PmvxRecord record, const TmvxRecord* except);
  // Raises EMemTableDupKey when two neighbours of `sorted` (in this index's order) that hold
  // keys hold the same one.
  void CheckSortedUnique(const std::vector<PmvxRecord>& sorted);
  int CompareIndexRecords(const TmvxFieldList& fieldList, const TmvxRecord* keyRecord, const TmvxRecord* record,
                          bool nearest, bool tieBreak);

};

class TmvxIndexes {
 public:
  explicit TmvxIndexes(TmvxCustomMemTable* table);
  ~TmvxIndexes();

  TmvxIndex* RowOrderIndex = nullptr;
  TmvxCustomMemTable* Table;

  void Add(std::unique_ptr<TmvxIndex> index);
  TmvxIndex* AddIndexDef(const dataset::IndexDef& indexDef);
  // Takes the index out of the list and hands it to the caller; the row-order index
  // stays (nullptr).
  std::unique_ptr<TmvxIndex> DeleteIndex(TmvxIndex* index);
  void Clear();
  int Count() const { return static_cast<int>(list_.size()); }
  TmvxIndex* Items(int i) const { return list_[static_cast<std::size_t>(i)].get(); }
  TmvxIndex* GetIndexByName(const std::string& name) const;
  TmvxIndex* GetIndexByFields(const std::string& fieldNames) const;
  void EmptyAll();
  void RebuildAll();
  void MarkAllDirty();
  // Rebuilds every maintained index that missed changes; true when the current index was one.
  bool RebuildDirty();
  int Search(const TmvxFieldList* fieldList, PmvxRecord keyRecord, bool& found, int& position, bool respectFilter,
             bool nearest);
  // What each index's filter says of a change (one entry per index, in list order), asked
  // before anything changes: a filter that raises leaves the store and every index as they
  // were. `newRecord` holds the new values (the record to insert, or the edit's buffer).
  void Accepts(int how, PmvxRecord storedRecord, PmvxRecord newRecord, std::vector<char>& accepts);
  // Raises EMemTableDupKey when a unique index that is kept up to date and would take the
  // record (accepts, from Accepts) holds its key in another record than storedRecord.
  void CheckUnique(PmvxRecord record, PmvxRecord storedRecord, const std::vector<char>& accepts);
  // Keeps every index up to date after a change, by the filters' answers from Accepts.
  void ReflectChange(int how, PmvxRecord storedRecord, int position, PmvxRecord newRecord, bool origin,
                     const std::vector<char>& accepts);

 private:
  // Which indexes a change asks the filter of (the others take the change without it).
  bool AsksFilter(const TmvxIndex& idx, int how) const;
  // Whether an index is not kept in order while it changes (see ReflectChange).
  bool Unkept(const TmvxIndex& idx) const;
  void ReflectFilterChange(TmvxIndex& idx, bool current, PmvxRecord stored, int position, PmvxRecord newRecord,
                           bool accept);

  std::vector<std::unique_ptr<TmvxIndex>> list_;
};

// Raises EMemTableDupKey when two of the records share a key of a unique sorted index of a
// table open on the store (what each index would take of them, through its filter), or, with
// againstStore, when one of them has a key such an index already holds; a load checks the
// records it is about to add (a search each) or to put in place of the store's with it.
void CheckUniqueKeys(TmvxCommon& store, const std::vector<PmvxRecord>& records, bool againstStore);

}  // namespace memtable
