// Our data-set framework: field and index definitions, fields, and the DataSet base with
// its states, record buffers, navigation and editing. A concrete data set (the in-memory
// table) provides the record-buffer hooks (GetRecord, GetFieldData, SetFieldData,
// InternalOpen, InternalPost, ...); the base drives them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/dataset/field_types.h"
#include "platform/dataset/variant.h"

namespace dataset {

class DataSet;

// The framework's error class; DatabaseError raises it naming the data set.
class EDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void DatabaseError(const std::string& message, const DataSet* dataSet = nullptr);

// The framework's silent exception: it ends an operation and what its callers were doing
// with it, like any exception, but it is no error: nothing is shown for it (the
// application's error handler lets it pass) and it is no EDatabaseError, so the steps
// that report or count database errors pass it on as it is.
class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

[[noreturn]] void Abort();

struct FieldDef {
  std::string Name;
  FieldType DataType = ftUnknown;
  int Size = 0;
  bool Required = false;
  std::vector<FieldDef> ChildDefs;  // for ftADT and ftArray
  std::string DisplayName() const { return Name; }
};

class FieldDefs {
 public:
  FieldDef& Add(const std::string& name, FieldType type, int size = 0, bool required = false);
  void Clear() { items_.clear(); }
  int Count() const { return static_cast<int>(items_.size()); }
  FieldDef& operator[](int i) { return items_[static_cast<std::size_t>(i)]; }
  const FieldDef& operator[](int i) const { return items_[static_cast<std::size_t>(i)]; }
  int IndexOf(const std::string& name) const;
  std::vector<FieldDef>& Items() { return items_; }
  const std::vector<FieldDef>& Items() const { return items_; }

 private:
  std::vector<FieldDef> items_;
};

struct IndexDef {
  std::string Name;
  std::string Fields;
  IndexOptions Options = 0;
};

class IndexDefs {
 public:
  IndexDef& Add(const std::string& name, const std::string& fields, IndexOptions options = 0);
  void Clear() { items_.clear(); }
  int Count() const { return static_cast<int>(items_.size()); }
  IndexDef& operator[](int i) { return items_[static_cast<std::size_t>(i)]; }
  const IndexDef& operator[](int i) const { return items_[static_cast<std::size_t>(i)]; }
  int IndexOf(const std::string& name) const;

 private:
  std::vector<IndexDef> items_;
};

// A text field declared without a size (0 or below) holds this many characters.
constexpr int kDefaultStringSize = 20;
// The size a field of this type and declared size really has: the one rule that the
// field objects and the record layout both follow. Texts without a size get the default
// size; byte fields below 0 hold nothing.
int EffectiveFieldSize(FieldType type, int size);
// Native size of a field's value in a record buffer (the null flag not counted).
int NativeFieldSize(FieldType type, int size);

// The names of a list of fields written "A;B;C", each trimmed of spaces; empty ones left out.
std::vector<std::string> SplitFieldNames(const std::string& text);

// Native bytes <-> variant for a field type.
Variant NativeToVariant(FieldType type, const void* data);
// Writes the native form of value into data (NativeFieldSize bytes); raises for a value
// that cannot be converted. size is the declared size of string and byte fields.
void VariantToNative(FieldType type, int size, const Variant& value, void* data);

class Field {
 public:
  Field(DataSet* owner, std::string name, FieldType type, int size, FieldKind kind);

  DataSet* Owner() const { return owner_; }
  const std::string& FieldName() const { return name_; }
  FieldType DataType() const { return type_; }
  int Size() const { return size_; }
  FieldKind Kind() const { return kind_; }
  int FieldNo() const { return fieldNo_; }
  int Index() const { return index_; }
  int Offset() const { return offset_; }  // in the calculated-field area
  int DataSize() const { return NativeFieldSize(type_, size_); }
  std::string DisplayName() const { return DisplayLabel.empty() ? name_ : DisplayLabel; }
  bool IsBlob() const { return IsBlobType(type_); }
  bool IsIndexable() const;

  bool ReadOnly = false;
  bool Required = false;
  bool Visible = true;
  std::string DisplayLabel;
  std::string DefaultExpression;

  // Settings kept for the displays and editors that show the field; the data set copies
  // them between fields and keeps them, without acting on them itself.
  std::string EditMask;
  int DisplayWidth = 0;  // 0: as wide as the field's text
  FieldAlignment Alignment = taLeftJustify;
  ProviderFlagSet ProviderFlags = pfInUpdate | pfInWhere;
  std::string DisplayFormat, EditFormat;  // numeric and date-time fields
  Variant MaxValue, MinValue;             // numeric fields; empty: no limit
  std::string DisplayValues;              // Boolean fields: "true text;false text"
  bool Transliterate = true;              // string and blob fields
  int Precision = 15;                     // float and BCD fields
  bool Currency = false;                  // float and BCD fields
  FieldType BlobType = ftUnknown;         // blob fields: the kind of their contents (their type)

  // A lookup field (kind fkLookup) shows LookupResultField of the LookupDataSet record whose
  // LookupKeyFields hold this data set's KeyFields (field lists separated by ";").
  DataSet* LookupDataSet = nullptr;
  std::string KeyFields, LookupKeyFields, LookupResultField;
  // Called with the native value about to be written (nullptr for null); raise to refuse.
  std::function<void(Field&, const void* buffer)> OnValidate;

  bool IsNull() const;
  Variant Value() const;
  void SetValue(const Variant& value);
  std::string AsString() const;
  void SetAsString(const std::string& text);
  std::int64_t AsInteger() const;
  void SetAsInteger(std::int64_t v) { SetValue(Variant(v)); }
  double AsFloat() const;
  void SetAsFloat(double v) { SetValue(Variant(v)); }
  bool AsBoolean() const;
  void SetAsBoolean(bool v) { SetValue(Variant(v)); }
  double AsDateTime() const;
  void SetAsDateTime(double v) { SetValue(Variant::MakeDateTime(v)); }
  void Clear() { SetData(nullptr); }

  // Raw access through the owner data set.
  bool GetData(void* buffer) const;
  void SetData(const void* buffer);
  void Validate(const void* buffer);

 private:
  friend class DataSet;
  DataSet* owner_;
  std::string name_;
  FieldType type_;
  int size_;
  FieldKind kind_;
  int fieldNo_ = 0;
  int index_ = -1;
  int offset_ = 0;
};

// A detail's link to its master data set: told when the master's current record moves
// or changes, and when the master closes or goes away.
class DataLink {
 public:
  virtual ~DataLink();
  DataSet* Master() const { return master_; }
  // Links to a new master (nullptr: none).
  void SetMaster(DataSet* master);
  virtual void MasterChanged() = 0;
  virtual void MasterDisabled() = 0;

 private:
  friend class DataSet;
  DataSet* master_ = nullptr;
};

// A bookmark: opaque bytes that the data set made; empty when none.
using Bookmark = std::vector<std::uint8_t>;
using RecordBuffer = std::uint8_t*;

class DataSet {
 public:
  explicit DataSet(std::string name = {});
  virtual ~DataSet();
  DataSet(const DataSet&) = delete;
  DataSet& operator=(const DataSet&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }

  // Definitions and fields.
  FieldDefs& GetFieldDefs() { return fieldDefs_; }
  IndexDefs& GetIndexDefs() { return indexDefs_; }
  // Adds a persistent field (one that lives also while the data set is closed).
  Field& AddField(const std::string& name, FieldType type, int size = 0, FieldKind kind = fkData);
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  Field& GetField(int index) const { return *fields_[static_cast<std::size_t>(index)]; }
  Field* FindField(const std::string& name) const;
  Field& FieldByName(const std::string& name) const;
  // Moves a field to another place in the field order (clamped to the list).
  void SetFieldIndex(Field& field, int index);
  // The values of resultFields (one value, or an array for several) of the first record
  // whose keyFields hold keyValues; null when there is none. Lookup fields ask their lookup
  // data set this; a data set that cannot search answers null.
  virtual Variant Lookup(const std::string& keyFields, const Variant& keyValues, const std::string& resultFields) {
    (void)keyFields;
    (void)keyValues;
    (void)resultFields;
    return Variant::MakeNull();
  }
  bool DefaultFields() const { return defaultFields_; }
  int CalcFieldsSize() const { return calcFieldsSize_; }

  // Open and close.
  bool Active() const { return state_ != dsInactive; }
  virtual void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  DataSetState State() const { return state_; }

  // Navigation.
  void First() { MoveToEnd(true); }
  void Last() { MoveToEnd(false); }
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  int MoveBy(int distance);
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  bool IsEmpty() const { return Active() && !haveRecord_ && state_ != dsInsert; }
  // Fetches the current record again (after others changed the records), between the
  // BeforeRefresh and AfterRefresh events.
  void Refresh();
  virtual int GetRecordCount() = 0;
  int RecordCount() { return GetRecordCount(); }
  virtual int GetRecNo() { return -1; }

  // Editing.
  void Append();
  void Insert();
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  void CheckBrowseMode();
  bool Modified() const { return modified_; }
  bool CanModify() { return GetCanModify(); }

  // Bookmarks.
  Bookmark GetBookmark();
  void GotoBookmark(const Bookmark& bookmark);
  virtual bool BookmarkValid(const Bookmark& bookmark) = 0;
  virtual int CompareBookmarks(const Bookmark& a, const Bookmark& b) = 0;

  // Filtering.
  const std::string& Filter() const { return filterText_; }
  void SetFilter(const std::string& text) { SetFilterText(text); }
  bool Filtered() const { return filtered_; }
  virtual void SetFiltered(bool value) { filtered_ = value; }
  FilterOptions GetFilterOptions() const { return filterOptions_; }
  void SetFilterOptions(FilterOptions options) { filterOptions_ = options; }

  // Master/detail: the links of the data sets that follow this one, and whether this
  // data set follows other (directly or through its own masters).
  bool IsLinkedTo(const DataSet* other) const;
  virtual const DataLink* MasterLink() const { return nullptr; }

  // Whether a change to a field of the record being edited or inserted recomputes its
  // calculated fields at once (else they are computed when a record is fetched).
  bool AutoCalcFields = true;

  void DisableControls() { ++disableCount_; }
  void EnableControls() { if (disableCount_ > 0) --disableCount_; }
  bool ControlsDisabled() const { return disableCount_ > 0; }

  // Events.
  using NotifyEvent = std::function<void(DataSet&)>;
  NotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert, AfterInsert,
      BeforeEdit, AfterEdit, BeforePost, AfterPost, BeforeCancel, AfterCancel, BeforeDelete,
      AfterDelete, BeforeScroll, AfterScroll, BeforeRefresh, AfterRefresh, OnNewRecord, OnCalcFields;
  std::function<void(DataSet&, bool& accept)> OnFilterRecord;
  // Told when the record operation of Edit, Post or Delete raised a database error; the
  // action (daFail when called) decides what follows: daFail passes the error on to the
  // caller, daAbort ends the operation silently (EAbort), daRetry runs the record
  // operation again (after the handler mended what failed, say a key another record has).
  using DataSetErrorEvent = std::function<void(DataSet&, const EDatabaseError& error, DataAction& action)>;
  DataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

  // Field access of the current record; the concrete data set decides which buffer.
  virtual bool GetFieldData(const Field* field, void* buffer) = 0;
  virtual void SetFieldData(Field* field, const void* buffer) = 0;
  // Told of what happens to the data set: a field change of the record being edited or
  // inserted marks it modified and, with AutoCalcFields, recomputes its calculated fields
  // (after a change to a data field); a scroll makes the details follow.
  virtual void DataEvent(DataEvent event, const Field* field);

 protected:
  // Record-buffer hooks of the concrete data set.
  virtual RecordBuffer AllocRecordBuffer() = 0;
  virtual void FreeRecordBuffer(RecordBuffer& buffer) = 0;
  virtual GetResult GetRecord(RecordBuffer buffer, GetMode mode, bool doCheck) = 0;
  virtual int GetRecordSize() = 0;
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual void InternalInitFieldDefs() = 0;
  virtual bool IsCursorOpen() = 0;
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  virtual void InternalInitRecord(RecordBuffer buffer) = 0;
  virtual void InternalPost();
  virtual void InternalDelete() = 0;
  virtual void InternalEdit() {}
  virtual void InternalInsert() {}
  virtual void InternalCancel() {}
  virtual void InternalGotoBookmark(const Bookmark& bookmark) = 0;
  virtual void InternalSetToRecord(RecordBuffer buffer) = 0;
  virtual void GetBookmarkData(RecordBuffer buffer, Bookmark& data) = 0;
  virtual void SetBookmarkData(RecordBuffer buffer, const Bookmark& data) = 0;
  virtual BookmarkFlag GetBookmarkFlag(RecordBuffer buffer) = 0;
  virtual void SetBookmarkFlag(RecordBuffer buffer, BookmarkFlag flag) = 0;
  virtual bool GetCanModify() { return true; }
  // Bracket a step that finds the cursor's place and then fetches or changes a record
  // (a move, a post with the fetch of the posted record, a delete), so that a data set
  // whose records others may change meanwhile takes its lock once for the whole step.
  virtual void BeginRecordStep() {}
  virtual void EndRecordStep() {}
  // Called as a move, an edit, an insert, a delete or a bookmark begins (the data set in
  // browse state, before it looks at its current record): a data set whose records others
  // change catches up with them here, on the thread that uses it.
  virtual void CatchUp() {}
  // Whether the cursor still stands on the record held in buffer. A data set whose
  // order another user may change between two steps checks; by default the last fetch
  // is trusted.
  virtual bool CursorStillOn(RecordBuffer buffer) {
    (void)buffer;
    return true;
  }

  // Steps around open, close, post, delete and new records; the overrides call these.
  virtual void DoBeforeOpen() { if (BeforeOpen) BeforeOpen(*this); }
  virtual void DoAfterOpen() { if (AfterOpen) AfterOpen(*this); }
  virtual void DoBeforeClose() { if (BeforeClose) BeforeClose(*this); }
  virtual void DoAfterClose() { if (AfterClose) AfterClose(*this); }
  virtual void DoBeforeInsert() { if (BeforeInsert) BeforeInsert(*this); }
  virtual void DoBeforePost() { if (BeforePost) BeforePost(*this); }
  virtual void DoAfterPost() { if (AfterPost) AfterPost(*this); }
  virtual void DoBeforeDelete() { if (BeforeDelete) BeforeDelete(*this); }
  virtual void DoAfterDelete() { if (AfterDelete) AfterDelete(*this); }
  virtual void DoOnNewRecord() { if (OnNewRecord) OnNewRecord(*this); }
  virtual void DoBeforeRefresh() { if (BeforeRefresh) BeforeRefresh(*this); }
  virtual void DoAfterRefresh() { if (AfterRefresh) AfterRefresh(*this); }
  virtual void SetFilterText(const std::string& text) { filterText_ = text; }

  // Services for the concrete data set.
  RecordBuffer ActiveBuffer() const { return active_; }
  bool HasActiveRecord() const { return haveRecord_; }
  RecordBuffer CalcBuffer() const { return calcBuffer_; }
  void SetCalcBuffer(RecordBuffer buffer) { calcBuffer_ = buffer; }
  void SetState(DataSetState state) { state_ = state; }
  void CreateFields();
  void DestroyFields();
  // Removes every field, persistent ones too (the data set then makes default fields).
  void RemoveAllFields();
  void BindFields(bool binding);
  void GetCalcFields(RecordBuffer buffer);
  void ClearBuffers();
  void Resync();
  void CursorPosChanged() { inSync_ = false; }
  void UpdateCursorPos();
  void CheckActive() const;
  void CheckInactive() const;
  void SetBookmarkSize(int size) { bookmarkSize_ = size; }
  int BookmarkSize() const { return bookmarkSize_; }
  bool IsSetFoundFlag() const { return found_; }
  void SetFound(bool found) { found_ = found; }
  // Loads the record at the cursor into the active buffer (after the cursor was moved
  // by the concrete data set); false when there is none.
  bool ResyncExact();
  // After the cursor moved: the user's AfterScroll, then the details follow.
  void Scrolled();
  // The current record moved or changed in place, or the data set closed: a scroll event
  // (DataEvent) that makes the details follow.
  void NotifyDetails() { DataEvent(deDataSetScroll, nullptr); }
  // A field of the record being edited or inserted changed: the record counts as modified.
  void MarkModified();

 private:
  friend class DataLink;
  // Holds the data set's record step for a scope.
  class RecordStep {
   public:
    explicit RecordStep(DataSet& dataSet) : dataSet_(dataSet) { dataSet_.BeginRecordStep(); }
    ~RecordStep() { dataSet_.EndRecordStep(); }
    RecordStep(const RecordStep&) = delete;
    RecordStep& operator=(const RecordStep&) = delete;

   private:
    DataSet& dataSet_;
  };
  // Tells the details that this data set moved, changed or closed.
  void TellDetails();
  void MoveToEnd(bool first);
  void CalculateLookupField(Field& field);
  void OpenCursor();
  void CloseCursor();
  void BeginInsert(bool append);
  void CheckRequiredFields();
  bool FetchInto(GetMode mode);
  // Runs a record operation within a record step and, when it succeeded, finish within
  // the same step. A database error of the operation goes to errorEvent, outside the
  // step; its action passes the error on, aborts or runs the operation again.
  void CheckOperation(const std::function<void()>& operation, const DataSetErrorEvent& errorEvent,
                      const std::function<void()>& finish);

  std::string name_;
  FieldDefs fieldDefs_;
  IndexDefs indexDefs_;
  std::vector<std::unique_ptr<Field>> fields_;
  bool defaultFields_ = true;
  int calcFieldsSize_ = 0;

  DataSetState state_ = dsInactive;
  RecordBuffer active_ = nullptr;
  RecordBuffer scratch_ = nullptr;
  RecordBuffer calcBuffer_ = nullptr;
  bool haveRecord_ = false;
  bool inSync_ = false;
  bool eof_ = true;
  bool bof_ = true;
  bool modified_ = false;
  bool found_ = false;
  bool calculatingLookups_ = false;  // lookup fields that lead back here are not followed again
  Bookmark beforeInsert_;
  int bookmarkSize_ = 0;
  int disableCount_ = 0;

  std::vector<DataLink*> detailLinks_;
  std::string filterText_;
  bool filtered_ = false;
  FilterOptions filterOptions_ = 0;
};

}  // namespace dataset
