// The in-memory table: a data set that holds all of its records in memory, on a record
// store, an index list and a filter.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dataset/dataset.h"
#include "memtable/errors.h"
#include "memtable/field_list.h"
#include "memtable/indexes.h"
#include "memtable/record_store.h"
#include "memtable/stream_format.h"
#include "platform/form_stream.h"

namespace memtable {

struct ParsedFilter;

enum TmvxProgressCode { mtpcLoad, mtpcSave, mtpcEmpty, mtpcPack, mtpcCheckPoint, mtpcSearch, mtpcCopy, mtpcUpdate, mtpcSort };
using TmvxProgressCodes = unsigned;  // bit (1 << code) per code
constexpr TmvxProgressCodes ProgressCodeBit(TmvxProgressCode c) { return 1u << static_cast<unsigned>(c); }

enum TmvxMemTableStorageType { mtstDataSet, mtstStream, mtstBinaryStream, mtstFile, mtstBinaryFile };

class TmvxCustomMemTable : public dataset::DataSet, public platform::FormPersistent {
 public:
  explicit TmvxCustomMemTable(std::string name = {});
  ~TmvxCustomMemTable() override;

  static const char* Version() { return "3.07"; }

  // Settings kept by the table.
  bool AttachedAutoRefresh = true;
  bool AutoReposition = false;
  bool RecalcOnIndex = false;
  bool RecalcOnFetch = true;
  bool ReadOnly = false;
  std::int32_t AutoIncMinValue = 0;
  TmvxProgressCodes ProgressFlags = ProgressCodeBit(mtpcLoad) | ProgressCodeBit(mtpcSave) | ProgressCodeBit(mtpcCopy);
  // Update statuses (bit 1 << status) the table shows; empty shows all but deleted ones.
  unsigned StatusFilter = 0;

  bool EnableIndexes() const { return enableIndexes_; }
  // Switching indexes back on rebuilds those that missed changes meanwhile.
  void SetEnableIndexes(bool value);

  // Settings kept by the store.
  bool Standalone() const { return common_->Standalone(); }
  void SetStandalone(bool value);
  int AttachMaxCount() const { return common_->AttachMaxCount(); }
  void SetAttachMaxCount(int value) { common_->SetAttachMaxCount(value); }
  TmvxPerformance Performance() const { return common_->Performance(); }
  void SetPerformance(TmvxPerformance value) { common_->SetPerformance(value); }
  bool EnableVersioning() const { return common_->EnableVersioning(); }
  void SetEnableVersioning(bool value) { common_->SetEnableVersioning(value); }
  TmvxVersioningMode VersioningMode() const { return common_->VersioningMode(); }
  void SetVersioningMode(TmvxVersioningMode value) { common_->SetVersioningMode(value); }
  std::uint32_t LocaleID() const { return common_->LocaleID(); }
  void SetLocaleID(std::uint32_t value) { common_->SetLocaleID(value); }
  std::uint32_t LanguageID() const { return common_->LanguageID(); }
  void SetLanguageID(std::uint32_t value) { common_->SetLanguageID(value); }
  std::uint32_t SubLanguageID() const { return common_->SubLanguageID(); }
  void SetSubLanguageID(std::uint32_t value) { common_->SetSubLanguageID(value); }
  std::uint32_t SortID() const { return common_->SortID(); }
  void SetSortID(std::uint32_t value) { common_->SetSortID(value); }

  // Events.
  std::function<void(TmvxCustomMemTable&, int percentage, TmvxProgressCode code)> OnProgress;
  std::function<void(TmvxCustomMemTable&, dataset::Field&, std::uint8_t& fieldFlags)> OnSetupField;
  std::function<void(TmvxCustomMemTable&, dataset::Field&, const std::uint8_t* buffer, std::uint32_t size,
                     std::vector<std::uint8_t>& result)>
      OnCompressField, OnDecompressField;
  std::function<void(TmvxCustomMemTable&, const void* keyValue, const void* value, dataset::FieldType fieldType,
                     TmvxMemTableCompareOptions options, bool& fullCompare, int& result)>
      OnCompareFields;
  std::function<void(TmvxCustomMemTable&, TmvxIndex&, bool& accept)> OnFilterIndex;

  std::function<void(TmvxCustomMemTable&, platform::ByteStream& source, platform::ByteStream& result)>
      OnCompressBlobStream, OnDecompressBlobStream;
  // Told before a save or load, with where it goes (the stream, when there is one).
  std::function<void(TmvxCustomMemTable&, TmvxMemTableStorageType, platform::ByteStream*)> OnSave, OnLoad;
  // Per record and per field of the copy operations; a record refused is not copied.
  std::function<void(TmvxCustomMemTable&, bool& accept)> OnLoadRecord, OnSaveRecord;
  std::function<void(TmvxCustomMemTable&, int fieldIndex, dataset::Field&)> OnLoadField, OnSaveField;
  std::function<void(TmvxCustomMemTable&, dataset::Field&)> OnSetupFieldProperties;

  // A stream over an out-of-line field of the current record.
  std::unique_ptr<TmvxBlobStream> CreateBlobStream(dataset::Field& field, TmvxBlobStreamMode mode);
  // The handler that Resolve walks the changed records for; setting it links both ways.
  TmvxCustomDeltaHandler* DeltaHandler() const { return deltaHandler_; }
  void SetDeltaHandler(TmvxCustomDeltaHandler* handler);

  // Persistence and copying.
  std::string PersistentFile;
  bool Persistent = false;
  bool PersistentBackup = false;
  std::string PersistentBackupExt;
  TmvxCustomStreamFormat* PersistentFormat = nullptr;
  TmvxCustomStreamFormat* DefaultFormat = nullptr;
  int LoadLimit = -1, SaveLimit = -1;
  int LoadCount() const { return loadCount_; }
  int SaveCount() const { return saveCount_; }
  bool LoadedCompletely() const { return loadedCompletely_; }
  bool SavedCompletely() const { return savedCompletely_; }
  bool IsLoading() const { return loading_; }
  // 0 none, 1 load from a data set, 2 save to a data set, 3 emptying, 7 update.
  int BulkOperation() const { return bulkOperation_; }

  virtual void SaveThroughFormat(platform::ByteStream& stream, TmvxCustomStreamFormat* format);
  virtual void LoadThroughFormat(platform::ByteStream& stream, TmvxCustomStreamFormat* format);
  void SaveFileThroughFormat(const std::string& fileName, TmvxCustomStreamFormat* format);
  void LoadFileThroughFormat(const std::string& fileName, TmvxCustomStreamFormat* format);
  // The same through DefaultFormat.
  void SaveToFile(const std::string& fileName) { SaveFileThroughFormat(fileName, DefaultFormat); }
  void LoadFromFile(const std::string& fileName) { LoadFileThroughFormat(fileName, DefaultFormat); }
  void SaveToStream(platform::ByteStream& stream) { SaveThroughFormat(stream, DefaultFormat); }
  void LoadFromStream(platform::ByteStream& stream) { LoadThroughFormat(stream, DefaultFormat); }
  void WritePersistentFile();
  void ReadPersistentFile();

  // Copy options of LoadRecordsFrom and CopyStructureFrom (bits).
  enum : unsigned {
    mtcpoStructure = 1, mtcpoOnlyDataFields = 2, mtcpoProperties = 4, mtcpoLookup = 8, mtcpoCalculated = 16,
    mtcpoAppend = 32, mtcpoFieldIndex = 64
  };
  virtual int CopyDataSetRecords(dataset::DataSet* source, dataset::DataSet* destination, int limit);
  int MergeRecordsByKey(dataset::DataSet* source, dataset::DataSet* destination, const std::string& keyFields,
                        unsigned flags, int limit);
  virtual void LoadRecordsFrom(dataset::DataSet& source, unsigned copyOptions);
  virtual void SaveRecordsTo(dataset::DataSet& destination);
  // Flags: bit 1 edits a destination record whose key is found, bit 2 appends one whose
  // key is not.
  virtual void UpdateRecordsIn(dataset::DataSet& destination, const std::string& keyFields, unsigned flags);
  void UpdateRecordsInDefault(dataset::DataSet& destination, const std::string& keyFields) {
    UpdateRecordsIn(destination, keyFields, 3);
  }
  void CopyStructureFrom(dataset::DataSet& source, unsigned copyOptions);
  dataset::Field* MakeFieldLike(const dataset::Field& field);
  void CopyFieldSettings(const dataset::Field& source, dataset::Field& destination);
  void CopyAllFieldSettings(const dataset::DataSet& source, dataset::DataSet& destination);

  // The stream format of comma-separated texts, beside the default, persistent and form ones.
  TmvxCustomStreamFormat* CommaTextFormat = nullptr;

  // The table on a form stream (form_data.cpp): its published settings, its field and index
  // definitions, and with StoreDataOnForm its records as the binary property "Data", written through FormFormat
  // while the table is open and loaded from StoredFormData when the table opens. With
  // DesignActivation false, an Active read from the form does not open the table.
  bool DesignActivation = true;
  bool StoreDataOnForm = false;
  TmvxCustomStreamFormat* FormFormat = nullptr;
  const platform::MemoryStream* StoredFormData() const { return storedFormData_.get(); }
  void LoadStoredFormData(platform::ByteStream& stream, TmvxCustomStreamFormat* format);
  std::string FormClassName() const override { return "TmvxMemTable"; }
  std::string FormObjectName() const override { return Name(); }
  void GetPublishedProperties(std::vector<platform::PublishedProperty>& list) override;
  void DefineProperties(platform::Filer& filer) override;
  void Loaded() override;
  // While a form is read, an Active value is kept until Loaded.
  void SetActive(bool value) override;

  // Told that a component is going away: the table itself (its persistent file is written
  // and it closes), its master, its delta handler, the table it is attached to, or one of
  // its stream formats; the table lets go of it.
  enum TOperation { opInsert, opRemove };
  void Notification(const void* component, TOperation operation);
  // Reading in blocks: a positive size puts the table in block-read state and steps to the
  // next record; 0 or -1 ends it and finds the cursor's record again.
  int BlockReadSize() const { return blockReadSize_; }
  void SetBlockReadSize(int value);
  // Lets go of the current buffer's own copy of a blob field's contents.
  void CloseBlob(dataset::Field& field);
  // A record from values in field order, appended or inserted and posted at once; an empty
  // variant leaves its field as a new record has it, a null clears it.
  void AppendRecord(const std::vector<dataset::Variant>& values) { AddRecordWithValues(values, true); }
  void InsertRecord(const std::vector<dataset::Variant>& values) { AddRecordWithValues(values, false); }
  // Where errors go that a step cannot pass to its caller (a close in a destructor): to the
  // handler installed by the application (SetApplicationExceptionHandler), else nowhere.
  virtual void InternalHandleException(std::exception_ptr error);
  using ExceptionHandler = std::function<void(std::exception_ptr)>;
  static void SetApplicationExceptionHandler(ExceptionHandler handler);

  // Operations.
  void EmptyTable();
  void BeginTransactionLevel();
  void CommitTransactionLevel();
  void RollbackTransactionLevel();
  // Suspending enters the store's lock and holds it: until ResumeEvents no table on the
  // store tells its details that it moved, follows its master or computes calculated
  // fields on a field change. Resuming ends one suspension: it clears the flag, each table
  // catches up once on the calling thread (it follows its master, tells its details,
  // computes the fields), and the lock is left once. A thread that suspended twice
  // resumes twice before another thread gets the lock; a resume without a suspension of
  // its own does nothing.
  void SuspendEvents();
  void ResumeEvents();
  // Update status of the record under the cursor.
  std::uint8_t UpdateStatus();
  // Record numbers follow the cursor only while nothing is filtered out.
  bool IsSequenced() const { return !Filtered(); }
  bool GetIsIndexField(const dataset::Field* field) const { return currentIndexFields_.IndexOf(field) >= 0; }

  // Current index, by field list text or by name; an empty text selects row order.
  const std::string& IndexFieldNames() const { return indexFieldNames_; }
  void SetIndexFieldNames(const std::string& names);
  const std::string& IndexName() const { return indexName_; }
  void SetIndexName(const std::string& name);
  void SelectIndex(TmvxIndex* index);
  bool Locate(const std::string& keyFields, const dataset::Variant& keyValues, dataset::LocateOptions options);
  // The values of resultFields (one value, or an array for several) of the first record
  // whose key fields hold keyValues; null when there is none.
  dataset::Variant Lookup(const std::string& keyFields, const dataset::Variant& keyValues,
                          const std::string& resultFields) override;
  // Whether a search over searchList can walk an index ordered by indexList: the same
  // fields, in an order that keeps every run of equal keys together.
  static bool IndexServesSearch(const TmvxFieldList& indexList, const TmvxFieldList& searchList);

  // Field lists: names separated by ";", each optionally followed by ":" and option
  // letters C (case-insensitive), D (descending), N (ignore null key), P (partial key)
  // and L (ignore locale).
  void ParseFieldList(const std::string& fieldNames, TmvxFieldList& list);
  void MarkFieldListOption(TmvxFieldList& list, TmvxMemTableCompareOptions option, const std::string& fieldNames);
  static bool SameFieldList(const TmvxFieldList& a, const TmvxFieldList& b);

  // The table's sort index, made from a field list and compare options; an empty list
  // drops it. On an open table the sort index becomes the current index at once.
  const std::string& SortFields() const { return sortFields_; }
  void SetSortFields(const std::string& fields);
  TmvxMemTableCompareOptions SortOptions() const { return sortOptions_; }
  void SetSortOptions(TmvxMemTableCompareOptions options);

  // A range over the current index's fields: only records whose key lies between the
  // start and end values are shown (null values leave their field open).
  void SetRange(const dataset::Variant& startValues, const dataset::Variant& endValues);
  void CancelRange();
  bool RangeActive() const { return rangeActive_; }
  bool InRange(PmvxRecord record);

  // Master/detail: the table shows the records whose detail fields (DetailFields, else
  // the current index's fields) equal the master's MasterFields.
  dataset::DataSet* MasterSource() const { return masterLink_.Master(); }
  void SetMasterSource(dataset::DataSet* master);
  const std::string& MasterFields() const { return masterFields_; }
  void SetMasterFields(const std::string& names);
  const std::string& DetailFields() const { return detailFields_; }
  void SetDetailFields(const std::string& names);
  const dataset::DataLink* MasterLink() const override { return &masterLink_; }
  bool MasterLinkActive() const;
  bool MatchesMaster(PmvxRecord record);
  void MasterRecordChanged();
  void MasterLinkDisabled();
  // Takes the master's current key values and goes to the first matching record; false
  // when there is nothing to follow (no open master, no master fields).
  bool FollowMaster();

  // Sharing another table's store: both see one set of records through their own
  // indexes and cursors. The tables may be used from different threads (the store's
  // lock serialises them). A change made through one table never changes another's
  // cursor or buffers: that table finds its record again at its next step (a move, a
  // refresh, an edit, a delete, a bookmark), on its own thread, and with
  // AttachedAutoRefresh on the table that made the change has it refresh there. When
  // another table deleted that record, the cursor stands at its place (a step reaches its
  // neighbours, an edit or delete of it is refused).
  TmvxCustomMemTable* AttachedTo() const { return attachedTo_; }
  void SetAttachedTo(TmvxCustomMemTable* target);

  // Finds the next (or, restarting, the first) record in a direction that the filter
  // accepts, applying the filter even while Filtered is off.
  bool FindRecord(bool restart, bool goForward);
  bool FindFirst() { return FindRecord(true, true); }
  bool FindNext() { return FindRecord(false, true); }
  bool FindPrior() { return FindRecord(false, false); }
  bool FindLast() { return FindRecord(true, false); }

  // Record counts and positions.
  int GetRecordCount() override;
  int GetRecNo() override;
  // Moves to the record with that number (1-based, counting only the records shown).
  void SetRecNo(int value);
  bool BookmarkValid(const dataset::Bookmark& bookmark) override;
  int CompareBookmarks(const dataset::Bookmark& a, const dataset::Bookmark& b) override;

  // Field access.
  bool GetFieldData(const dataset::Field* field, void* buffer) override;
  void SetFieldData(dataset::Field* field, const void* buffer) override;
  void DataEvent(dataset::DataEvent event, const dataset::Field* field) override;

  // What the store, the indexes and the filter reach.
  TmvxCommon& Common() { return *common_; }
  TmvxIndexes& GetIndexes() { return *indexes_; }
  TmvxIndex* ActiveIndex() const { return activeIndex_; }
  void SetActiveIndexRaw(TmvxIndex* index) { activeIndex_ = index; }
  TmvxIndex* SortIndex() const { return sortIndex_; }
  void SetSortIndex(TmvxIndex* index) { sortIndex_ = index; }
  int CursorPos() const { return cursorPos_; }
  void SetCursorPos(int pos) { cursorPos_ = pos; }
  PmvxRecord BufferOverride() const { return bufferOverride_; }
  void SetBufferOverride(PmvxRecord record) { bufferOverride_ = record; }
  PmvxRecord FilterRecordBuffer() const { return filterRecord_; }
  void SetFilterRecordBuffer(PmvxRecord record) { filterRecord_ = record; }
  void EnterState(dataset::DataSetState state) { SetState(state); }
  const ParsedFilter* GetParsedFilter() const { return parsedFilter_.get(); }
  dataset::Field* FieldByNumber(int fieldNo) const;
  int BookmarkSlotIndex() const { return bookmarkSlot_; }
  void SetBookmarkSlotIndex(int slot) { bookmarkSlot_ = slot; }
  void ReportProgress(int percentage, TmvxProgressCode code);
  void RecalcRecord(PmvxRecord record);
  void ClearCursorStateAndIndexes();
  // The steps of the store's emptying, each with the table saying so (BulkOperation 3):
  // settling an edit (before any table is cleared), clearing the cursor and the indexes,
  // and, once the records are gone, telling the table's controls. A table cleared before
  // the emptying failed takes its records back.
  void LeaveEditForEmptying();
  void ClearForEmptying();
  void TellEmptied();
  void RestoreAfterFailedEmptying();
  void ResyncCursor();
  bool CursorNext(bool applyFilterAlways);
  bool CursorPrior(bool applyFilterAlways);
  void CursorToStart() {
    cursorPos_ = -1;
    cursorOnGap_ = false;
  }
  void CursorToEnd() { InternalLast(); }
  // Writes a value into a field of a record buffer (key records, auto-increment values).
  void WriteFieldValue(PmvxRecord record, dataset::Field* field, const dataset::Variant& value);

 protected:
  dataset::RecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(dataset::RecordBuffer& buffer) override;
  dataset::GetResult GetRecord(dataset::RecordBuffer buffer, dataset::GetMode mode, bool doCheck) override;
  int GetRecordSize() override { return common_->DataSize(); }
  void InternalOpen() override;
  void InternalClose() override;
  void InternalInitFieldDefs() override;
  bool IsCursorOpen() override { return cursorOpen_; }

 public:
  // Whether the table's cursor is open, as the store sees it: changed only under the
  // store's lock, so that a change made through another table on the store (perhaps on
  // another thread) reads it safely.
  bool OpenOnStore() const { return cursorOpen_; }
  // Asked by the store for another table's change (see AttachedTo): the table refreshes at
  // its next step, with its refresh events or quietly.
  void RefreshAtNextStep(bool withEvents) { refreshDue_.fetch_or(withEvents ? kDueEvents | kDue : kDue); }

 protected:
  void InternalFirst() override { CursorToStart(); }
  void InternalLast() override;
  void InternalInitRecord(dataset::RecordBuffer buffer) override;
  void InternalPost() override;
  void InternalEdit() override;
  void InternalAddRecord(dataset::RecordBuffer buffer, bool append);
  void InternalDelete() override;
  void InternalCancel() override;
  void InternalGotoBookmark(const dataset::Bookmark& bookmark) override;
  // Puts the cursor on the buffer's record; when that record is gone or no longer shown
  // (another table on the store deleted or changed it), on the place where it stood.
  void InternalSetToRecord(dataset::RecordBuffer buffer) override;
  bool CursorStillOn(dataset::RecordBuffer buffer) override;
  void GetBookmarkData(dataset::RecordBuffer buffer, dataset::Bookmark& data) override;
  void SetBookmarkData(dataset::RecordBuffer buffer, const dataset::Bookmark& data) override;
  dataset::BookmarkFlag GetBookmarkFlag(dataset::RecordBuffer buffer) override;
  void SetBookmarkFlag(dataset::RecordBuffer buffer, dataset::BookmarkFlag flag) override;
  // A load through a stream format (persistent file, form data) fills a read-only table too.
  bool GetCanModify() override { return !ReadOnly || loading_; }
  void BeginRecordStep() override { common_->Enter(); }
  void EndRecordStep() override { common_->Leave(); }
  // A refresh another table asked for runs here.
  void CatchUp() override;
  void DoBeforeRefresh() override;
  void DoAfterOpen() override;
  void DoBeforeClose() override;
  void DoBeforeInsert() override;
  void DoBeforePost() override;
  void DoAfterPost() override;
  void DoAfterDelete() override;
  void DoOnNewRecord() override;
  void SetFilterText(const std::string& text) override;

 public:
  void SetFiltered(bool value) override;

 private:
  // The record that field reads and writes reach; shared is set when it is a stored
  // record (reached by filters, index filters and old values) rather than one of the
  // table's own buffers.
  PmvxRecord ActiveRecordBuffer(bool& shared);
  // Whether the store's events are suspended; if so, behind notes what waits for
  // ResumeEvents.
  bool HeldBack(bool& behind);
  // The stored record behind a cursor buffer, checked by identity; nullptr when gone.
  PmvxRecord StoredRecordOf(const TmvxRecord* buffer) const;
  void AfterIndexesChanged(PmvxRecord stored);
  void RefreshAfterTransaction();
  // Goes to the first record shown and refreshes, with the refresh events.
  void FirstAndRefresh();
  void ChooseIndex(const std::string& text, std::string& stored, TmvxIndex* found);
  // The key search behind Locate and Lookup: the position in the current index of the
  // first shown record whose key fields equal the values, or -1.
  int KeySearch(const std::string& keyFields, const dataset::Variant& keyValues, dataset::LocateOptions options);
  void ParseResultFields(const std::string& names, TmvxFieldList& list);
  void ApplySortIndex();
  // Gives the table a new store of its own (leaving the shared one).
  void TakeOwnStore();
  void FreeWorkRecords();
  // After a copy that failed: what it took counts as the last load or save, not complete.
  void MarkCopyFailed(dataset::DataSet* destination, int count);
  // The records a load from a data set copies in, held apart until the load is decided.
  class StagedLoad;
  void StageLoadedRecord(PmvxRecord record);
  // The refresh another table asked for (RefreshAtNextStep), on the table's own thread.
  void RefreshWhenDue();
  // The place (one above a position in row order) where a posted insert goes.
  int InsertPlace();

  void AddRecordWithValues(const std::vector<dataset::Variant>& values, bool append);
  // Loads the data read from a form when the table opens, and lets go of them.
  void LoadFormDataOnOpen();
  // Form data and the open state read from a form.
  std::unique_ptr<platform::MemoryStream> storedFormData_;
  bool streamedActive_ = false;
  bool ignoreStoredActive_ = false;
  int blockReadSize_ = 0;

  // The store: the table's own, or the one of the table it is attached to.
  std::unique_ptr<TmvxCommon> ownCommon_;
  TmvxCommon* common_ = nullptr;
  TmvxCustomMemTable* attachedTo_ = nullptr;
  // Master/detail.
  class MasterConnection : public dataset::DataLink {
   public:
    explicit MasterConnection(TmvxCustomMemTable& table) : table_(table) {}
    void MasterChanged() override { table_.MasterRecordChanged(); }
    void MasterDisabled() override { table_.MasterLinkDisabled(); }

   private:
    TmvxCustomMemTable& table_;
  };
  MasterConnection masterLink_{*this};
  std::string masterFields_, detailFields_;
  TmvxFieldList detailKeyFields_;
  PmvxRecord masterValues_ = nullptr;
  int masterCount_ = 0;  // fields of the master values in force; 0 while none are
  // Range over the current index's fields.
  PmvxRecord rangeStart_ = nullptr, rangeEnd_ = nullptr;
  TmvxFieldList rangeFields_;
  bool rangeActive_ = false;
  // Companions, persistence and copying.
  friend class TmvxCustomStreamFormat;
  friend class TmvxBlobStream;
  friend class TmvxCustomDeltaHandler;
  friend class TmvxBinaryStreamFormat;
  TmvxCustomDeltaHandler* deltaHandler_ = nullptr;
  bool masterLinkSuspended_ = false;
  // Held back while the store's events were suspended (changed under the store's lock).
  bool masterBehind_ = false, detailsBehind_ = false, calcBehind_ = false;
  bool loading_ = false;
  bool persistentWritten_ = false;
  int loadCount_ = -1, saveCount_ = -1;
  bool loadedCompletely_ = false, savedCompletely_ = false;
  int bulkOperation_ = 0;
  // Sort index.
  std::string sortFields_;
  TmvxMemTableCompareOptions sortOptions_ = 0;
  std::unique_ptr<TmvxIndexes> indexes_;
  TmvxIndex* activeIndex_ = nullptr;
  TmvxIndex* sortIndex_ = nullptr;
  int bookmarkSlot_ = 0;
  int cursorPos_ = -1;
  // The cursor stands between two records, at cursorPos_, where a record that another
  // table on the store took away stood: the next record is the one at cursorPos_.
  bool cursorOnGap_ = false;
  int repositionPos_ = -1;
  // The record an insert began on (its identity), before which the new record goes.
  std::int32_t insertBeforeID_ = -1, insertBeforeUnique_ = -1;
  bool cursorOpen_ = false;
  bool enableIndexes_ = true;
  bool writeAnyField_ = false;
  // Set while a load from a data set copies records in: a posted insert goes there.
  StagedLoad* staged_ = nullptr;
  // The indexes' answers to the change being posted or deleted (kept for its room).
  TmvxCommon::ChangePlan changePlan_;
  bool replacingRecords_ = false;
  // A refresh asked for by another table on the store (kDue), with its events (kDueEvents).
  static constexpr int kDue = 1, kDueEvents = 2;
  std::atomic<int> refreshDue_{0};
  bool refreshingWhenDue_ = false;
  bool afterOpenRunning_ = false;
  dataset::Field* autoIncrementField_ = nullptr;
  TmvxFieldList currentIndexFields_;
  std::unique_ptr<ParsedFilter> parsedFilter_;
  PmvxRecord bufferOverride_ = nullptr;
  PmvxRecord filterRecord_ = nullptr;
  PmvxRecord keyBuffer_ = nullptr;
  // The field list of the last key search, kept while the table is open.
  std::string locateFieldsText_;
  dataset::LocateOptions locateOptions_ = 0;
  TmvxFieldList locateFields_;
  std::string indexFieldNames_;
  std::string indexName_;
};

class TmvxMemTable : public TmvxCustomMemTable {
 public:
  using TmvxCustomMemTable::TmvxCustomMemTable;
};

}  // namespace memtable
