// Companions of the in-memory table: a stream over one out-of-line field of the current
// record, a handler that walks the changed records, and the base of the formats that
// save a table to a stream and load it back.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "memtable/record_store.h"
#include "platform/byte_stream.h"

namespace memtable {

class TmvxCustomMemTable;

enum TmvxBlobStreamMode { bmRead = 0, bmWrite = 1, bmReadWrite = 2 };

// The value of an out-of-line field of the table's current record buffer as a memory
// stream. Writing needs the table in edit or insert state; the written bytes go back
// into the buffer when the stream is closed (or destroyed).
class TmvxBlobStream : public platform::MemoryStream {
 public:
  TmvxBlobStream(TmvxCustomMemTable& table, dataset::Field& field, TmvxBlobStreamMode mode);
  ~TmvxBlobStream() override;
  TmvxBlobStream(const TmvxBlobStream&) = delete;
  TmvxBlobStream& operator=(const TmvxBlobStream&) = delete;

  std::size_t Write(const void* data, std::size_t count) override;
  // Empties the stream (a write that leaves the field null when nothing follows).
  void Truncate();
  bool Modified() const { return modified_; }
  // Writes a modified stream back into the record buffer; the destructor does it too,
  // but cannot report an error.
  void Close();

 private:
  void ReadValue();
  void WriteBack();

  TmvxCustomMemTable& table_;
  dataset::Field& field_;
  TmvxBlobStreamMode mode_;
  PmvxRecord buffer_;
  bool modified_ = false;
  bool closed_ = false;
};

// Walks the store's records and hands each changed one, classified, to a hook. The base
// hooks do nothing; a descendant writes the changes somewhere (a database, a log).
class TmvxCustomDeltaHandler {
 public:
  virtual ~TmvxCustomDeltaHandler();

  TmvxCustomMemTable* Table() const { return table_; }
  // The record being handed to a hook (its newest version) and its oldest version.
  PmvxRecord CurrentRecord() const { return currentRecord_; }
  PmvxRecord OrigRecord() const { return origRecord_; }
  // A field's value in the current or the oldest version, through OnGetValue.
  dataset::Variant GetValue(dataset::Field& field, bool original = false);

  std::function<void(TmvxCustomDeltaHandler&, dataset::Field&, dataset::Variant& value)> OnGetValue;

  virtual void ResolveInsert(bool& retry, std::uint8_t& state);
  virtual void ResolveDelete(bool& retry, std::uint8_t& state);
  virtual void ResolveModify(bool& retry, std::uint8_t& state);
  virtual void ResolveUnmodified(bool& retry, std::uint8_t& state);
  virtual void Resolve();

 private:
  friend class TmvxCustomMemTable;
  TmvxCustomMemTable* table_ = nullptr;
  PmvxRecord currentRecord_ = nullptr;
  PmvxRecord origRecord_ = nullptr;
};

// Option bits of a stream format: each option set holds a save and a load bit.
enum : unsigned { sfSave = 1, sfLoad = 2 };

// The frame around saving a table to a stream and loading it back: the table's state
// (filter, range and master/detail switched off for a save, indexes and persistence
// for a load), progress, compression events and the choice of fields. The record
// encoding is a descendant's (SaveDef, SaveData, LoadDef, LoadData).
class TmvxCustomStreamFormat {
 public:
  virtual ~TmvxCustomStreamFormat() = default;

  unsigned DataOptions = sfSave | sfLoad;         // data and internal-calculated fields
  unsigned CalculatedOptions = 0;                 // calculated fields
  unsigned LookupOptions = 0;                     // lookup fields
  unsigned InvisibleOptions = sfSave | sfLoad;    // fields whose Visible is false
  unsigned BlobOptions = sfSave | sfLoad;         // blob fields
  unsigned FilteredOptions = sfSave;              // filter switched off during a save
  unsigned RangeOptions = sfSave;                 // range switched off during a save
  unsigned MasterDetailOptions = sfSave;          // master/detail switched off during a save
  unsigned AppendOptions = 0;                     // save: append at the end; load bit: write from the position
  unsigned RewindOptions = sfSave;                // a load starts at the stream's beginning

  // Compression of the whole stream: a save writes the working stream through
  // OnCompress into the target; a load reads the target through OnDeCompress.
  std::function<void(TmvxCustomMemTable&, platform::ByteStream& uncompressed, platform::ByteStream& compressed)> OnCompress;
  std::function<void(TmvxCustomMemTable&, platform::ByteStream& compressed, platform::ByteStream& decompressed)>
      OnDeCompress;
  std::function<void(TmvxCustomStreamFormat&)> OnBeforeSave, OnAfterSave, OnBeforeLoad, OnAfterLoad;

  // Field indexes to save and to load (-1: skipped), by DetermineSaveFields and
  // DetermineLoadFields.
  std::vector<int> SaveFields, LoadFields;

  void SetStream(platform::ByteStream* stream) { stream_ = stream; }
  platform::ByteStream* Stream() const { return stream_; }
  platform::ByteStream* WorkStream() const { return work_; }

  virtual std::string GetVersion() const { return "1.00"; }
  virtual void DetermineSaveFields(TmvxCustomMemTable& table);
  virtual void BeforeSave(TmvxCustomMemTable& table);
  virtual void SaveDef(TmvxCustomMemTable&) {}
  virtual void SaveData(TmvxCustomMemTable&) {}
  virtual void Save(TmvxCustomMemTable& table);
  virtual void AfterSave(TmvxCustomMemTable& table);
  virtual void GetFieldNames(TmvxCustomMemTable& table, std::vector<std::string>& names);
  virtual void DetermineLoadFields(TmvxCustomMemTable& table);
  virtual void MapLoadField(TmvxCustomMemTable&, int /*position*/, int& /*entry*/) {}
  virtual void BeforeLoad(TmvxCustomMemTable& table);
  virtual void LoadDef(TmvxCustomMemTable&) {}
  virtual void LoadData(TmvxCustomMemTable&) {}
  virtual void Load(TmvxCustomMemTable& table);
  virtual void AfterLoad(TmvxCustomMemTable& table);
  // What AfterSave and AfterLoad give back to the table, also when a save or load
  // ends by an error (the compression step and the repositioning left out). Each way out
  // of a save gives back what BeforeSave switched off once, and leaves the store's lock
  // and enables the controls.
  void RestoreAfterSave(TmvxCustomMemTable& table);
  void RestoreAfterLoad(TmvxCustomMemTable& table);
  // Leaves the store's lock, enables the controls and lets go of the working stream.
  void ReleaseTable(TmvxCustomMemTable& table);

  // Copies the option sets of another format.
  void Assign(const TmvxCustomStreamFormat& other);

 private:
  platform::ByteStream* stream_ = nullptr;
  platform::ByteStream* work_ = nullptr;
  std::unique_ptr<platform::MemoryStream> ownWork_;
  bool locked_ = false;
  bool controlsDisabled_ = false;
  // The table's settings while a save or load runs.
  bool savedFiltered_ = false, savedRange_ = false, savedMasterDetail_ = false;
  bool switched_ = false;  // a save switched the table's filter, range and master link off
  bool savedEnableIndexes_ = true, savedPersistent_ = false;
  std::int32_t savedTableID_ = 0;  // the store's contents when a load began
  std::vector<std::uint8_t> savedBookmark_;
};

}  // namespace memtable
