// Saving and loading through stream formats and files, the persistent file, and
// copying structure and records from and to other data sets.
#include <sys/stat.h>

#include <algorithm>
#include <exception>
#include <functional>
#include <utility>

#include "memtable/filter.h"
#include "memtable/mem_table.h"
#include "platform/atomic_file.h"

namespace memtable {

using namespace dataset;

namespace {

constexpr int kMaxFields = 256;  // the limit the "Too many fielddefs" message calls MVX_MAX_FIELDS
constexpr std::size_t kMaxFileSize = std::size_t{1} << 31;

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The file name with its extension replaced (ext with its dot; empty removes it).
std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  std::size_t slash = path.find_last_of('/');
  std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
  return path.substr(0, dot) + ext;
}

void CheckFormat(const TmvxCustomStreamFormat* format) {
  if (!format) throw EMemTableError("No format specified.");
}

// The contents of a blob field of the current record, read through its table.
std::string BlobText(const Field& field) {
  auto* table = dynamic_cast<TmvxCustomMemTable*>(field.Owner());
  if (!table) throw EDatabaseError("Field '" + field.DisplayName() + "': the contents of a blob field can be copied only from an in-memory table");
  auto in = table->CreateBlobStream(const_cast<Field&>(field), bmRead);
  return std::string(in->Bytes().begin(), in->Bytes().end());
}

void SetBlobText(Field& field, const std::string& text) {
  auto* table = dynamic_cast<TmvxCustomMemTable*>(field.Owner());
  if (!table) throw EDatabaseError("Field '" + field.DisplayName() + "': the contents of a blob field can be copied only into an in-memory table");
  auto out = table->CreateBlobStream(field, bmWrite);
  out->Write(text.data(), text.size());
  out->Close();
}

bool IsStringType(FieldType type) { return type == ftString || type == ftFixedChar || type == ftWideString; }
bool IsBytesType(FieldType type) { return type == ftBytes || type == ftVarBytes; }

// A text or byte field keeps what fits its size, whatever kind of value is written into it
// (a number or a date as its text); a copy refuses a longer value rather than cut it.
void CheckFits(const Field& to, const std::string& text) {
  if (text.size() <= static_cast<std::size_t>(to.Size())) return;
  if (IsStringType(to.DataType()))
    throw EDatabaseError("Field '" + to.DisplayName() + "' cannot hold a text of " + std::to_string(text.size()) +
                         " characters (its size is " + std::to_string(to.Size()) + ")");
  if (IsBytesType(to.DataType()))
    throw EDatabaseError("Field '" + to.DisplayName() + "' cannot hold " + std::to_string(text.size()) +
                         " bytes (its size is " + std::to_string(to.Size()) + ")");
}

// Copies one field's value from the source's current record to the destination's. The
// contents of a blob pass as its text, to a blob or to a field of another kind alike.
void CopyValue(const Field& from, Field& to, bool asText) {
  if (from.IsNull()) {
    to.Clear();
    return;
  }
  if (from.IsBlob() || to.IsBlob() || asText) {
    const std::string text = from.IsBlob() ? BlobText(from) : from.AsString();
    CheckFits(to, text);
    if (to.IsBlob())
      SetBlobText(to, text);
    else
      to.SetAsString(text);
    return;
  }
  const Variant value = from.Value();
  if (IsStringType(to.DataType()) || IsBytesType(to.DataType())) CheckFits(to, value.ToString());
  to.SetValue(value);
}

// One entry per destination field: the source field of the same name, or none (lookup and
// aggregate fields, types the store does not keep, and auto-increment fields unless wanted).
std::vector<const Field*> SourceFieldMap(DataSet& source, DataSet& destination, bool autoIncToo) {
  std::vector<const Field*> map(static_cast<std::size_t>(destination.FieldCount()), nullptr);
  for (int i = 0; i < destination.FieldCount(); ++i) {
    const Field& d = destination.GetField(i);
    if (d.Kind() == fkLookup || d.Kind() == fkAggregate || !IsStoredFieldType(d.DataType())) continue;
    if (d.DataType() == ftAutoInc && !autoIncToo) continue;
    map[static_cast<std::size_t>(i)] = source.FindField(d.FieldName());
  }
  return map;
}

// Runs steps one after another, each also when one before it raised, and passes on the
// first error once all have run.
class FirstError {
 public:
  template <typename Step>
  void Run(Step&& step) {
    try {
      step();
    } catch (...) {
      if (!error_) error_ = std::current_exception();
    }
  }
  bool Failed() const { return static_cast<bool>(error_); }
  void Rethrow() const {
    if (error_) std::rethrow_exception(error_);
  }

 private:
  std::exception_ptr error_;
};

// Runs `copy` with the controls of both data sets disabled while records go to
// `destination`, which is opened for that when it was closed and closed again afterwards.
// Everything is given back on every way out, and the first error goes on.
template <typename Copy>
void WriteInto(DataSet& source, DataSet& destination, Copy copy) {
  const bool wasActive = destination.Active();
  source.DisableControls();
  destination.DisableControls();
  FirstError errors;
  errors.Run([&] {
    if (!wasActive) destination.Open();
    destination.CheckBrowseMode();
    copy();
  });
  errors.Run([&] { source.EnableControls(); });
  errors.Run([&] { destination.EnableControls(); });
  errors.Run([&] {
    if (!wasActive) destination.Close();
  });
  errors.Rethrow();
}

// Fills the record `destination` has in edit or insert from the current record of `source`
// through `map` (values converted through text where `asText` says so for the pair), with the
// table's save-field and load-field events, then posts it unless the load-record event refuses
// it (then it is cancelled, as on any error). `stored` says whether the record went in: a post
// can raise after it did (an after-post handler, or the destination's filter as it shows its
// records again).
template <typename AsText>
void PutRecord(TmvxCustomMemTable& table, DataSet* source, DataSet* destination,
               const std::vector<const Field*>& map, AsText asText, bool& stored) {
  stored = false;
  bool posting = false;
  try {
    for (std::size_t i = 0; i < map.size(); ++i) {
      const Field* from = map[i];
      if (!from) continue;
      Field& to = destination->GetField(static_cast<int>(i));
      if (source == &table && table.OnSaveField) table.OnSaveField(table, static_cast<int>(i), const_cast<Field&>(*from));
      CopyValue(*from, to, asText(*from, to));
      if (destination == &table && table.OnLoadField) table.OnLoadField(table, static_cast<int>(i), to);
    }
    bool accept = true;
    if (destination == &table && table.OnLoadRecord) table.OnLoadRecord(table, accept);
    if (accept) {
      posting = true;
      destination->Post();
      stored = true;
    } else {
      destination->Cancel();
    }
  } catch (...) {
    stored = posting && destination->State() != dsEdit && destination->State() != dsInsert;
    destination->Cancel();
    throw;
  }
}

}  // namespace

// ---- through formats ----

void TmvxCustomMemTable::SaveThroughFormat(platform::ByteStream& stream, TmvxCustomStreamFormat* format) {
  CheckFormat(format);
  format->SetStream(&stream);
  try {
    format->BeforeSave(*this);
    format->Save(*this);
    format->AfterSave(*this);
  } catch (...) {
    // As a load: every way out gives back the lock, the controls and the switches.
    try {
      format->RestoreAfterSave(*this);
    } catch (...) {
    }
    format->ReleaseTable(*this);
    format->SetStream(nullptr);
    throw;
  }
  format->SetStream(nullptr);
}

void TmvxCustomMemTable::LoadThroughFormat(platform::ByteStream& stream, TmvxCustomStreamFormat* format) {
  CheckFormat(format);
  format->SetStream(&stream);
  try {
    format->BeforeLoad(*this);
    format->Load(*this);
    format->AfterLoad(*this);
  } catch (...) {
    // Every way out gives back the lock, the controls and the switches; a refused load
    // leaves the cursor where it was.
    try {
      format->RestoreAfterLoad(*this);
    } catch (...) {
    }
    format->ReleaseTable(*this);
    format->SetStream(nullptr);
    throw;
  }
  format->SetStream(nullptr);
}

void TmvxCustomMemTable::SaveFileThroughFormat(const std::string& fileName, TmvxCustomStreamFormat* format) {
  CheckActive();
  CheckFormat(format);
  // The file is replaced whole, so a failed save leaves the old one; with the format's
  // append option the old contents come first.
  platform::MemoryStream stream;
  if ((format->AppendOptions & sfSave) && FileExists(fileName)) {
    std::string old;
    platform::FileResult read = platform::ReadWholeFile(fileName, old, kMaxFileSize);
    if (!read) throw EMemTableError(read.error);
    stream.Bytes().assign(old.begin(), old.end());
    stream.Seek(0, platform::SeekOrigin::End);
  }
  if (OnSave) OnSave(*this, mtstFile, &stream);
  SaveThroughFormat(stream, format);
  platform::FileResult written = platform::WriteFileAtomically(fileName, stream.Bytes().data(), stream.Bytes().size());
  if (!written) throw EMemTableError(written.error);
}

void TmvxCustomMemTable::LoadFileThroughFormat(const std::string& fileName, TmvxCustomStreamFormat* format) {
  CheckFormat(format);
  std::vector<std::uint8_t> bytes;
  platform::FileResult read = platform::ReadWholeFile(fileName, bytes, kMaxFileSize);
  if (!read) throw EMemTableError(read.error);
  platform::MemoryStream stream(std::move(bytes));
  if (OnLoad) OnLoad(*this, mtstFile, &stream);
  LoadThroughFormat(stream, format);
}

// ---- persistent file ----

void TmvxCustomMemTable::WritePersistentFile() {
  if (persistentWritten_ || !Persistent || PersistentFile.empty() || !PersistentFormat || !Active()) return;
  platform::MemoryStream stream;
  SaveThroughFormat(stream, PersistentFormat);
  // Each file is replaced whole: a failure at any step leaves the previous file.
  if (PersistentBackup && FileExists(PersistentFile)) {
    std::string old;
    platform::FileResult read = platform::ReadWholeFile(PersistentFile, old, kMaxFileSize);
    if (!read) throw EMemTableError(read.error);
    platform::FileResult backup = platform::WriteFileAtomically(ChangeFileExt(PersistentFile, PersistentBackupExt), old);
    if (!backup) throw EMemTableError(backup.error);
  }
  platform::FileResult written =
      platform::WriteFileAtomically(PersistentFile, stream.Bytes().data(), stream.Bytes().size());
  if (!written) throw EMemTableError(written.error);
  persistentWritten_ = true;
}

void TmvxCustomMemTable::ReadPersistentFile() {
  persistentWritten_ = false;
  if (!Persistent || PersistentFile.empty() || !FileExists(PersistentFile)) return;
  LoadFileThroughFormat(PersistentFile, PersistentFormat);
  persistentWritten_ = false;
  First();
}

// ---- copying records ----

namespace {

// Whether a stored value matches a key value under a key field's compare options.
bool KeyEquals(const Variant& key, const Variant& value, TmvxMemTableCompareOptions options) {
  if (key.IsNull() || value.IsNull()) return key.IsNull() && value.IsNull();
  if (key.kind() == Variant::String && value.kind() == Variant::String) {
    std::string a = key.ToString(), b = value.ToString();
    if ((options & mtcoPartialKey) && b.size() > a.size()) b.resize(a.size());
    if (options & mtcoCaseInsensitive)
      for (std::string* s : {&a, &b})
        for (char& c : *s) c = static_cast<char>(kLowerFold[static_cast<unsigned char>(c)]);
    return a == b;
  }
  return Variant::Compare(key, value) == 0;
}

std::string CopyFailureText(const std::string& what, int count) {
  return what + " (the copy stopped after " + std::to_string(count) + (count == 1 ? " record)" : " records)");
}

// Passes on the error that stopped a copy after `count` records, saying so (called in a
// handler; an abort stays silent and other errors go on as they are).
[[noreturn]] void RethrowCopyFailure(int count) {
  try {
    throw;
  } catch (const EMemTableDupKey& e) {
    throw EMemTableDupKey(CopyFailureText(e.what(), count));
  } catch (const EMemTableError& e) {
    throw EMemTableError(CopyFailureText(e.what(), count));
  } catch (const EDatabaseError& e) {
    throw EDatabaseError(CopyFailureText(e.what(), count));
  } catch (const VariantError& e) {
    throw EDatabaseError(CopyFailureText(e.what(), count));
  }
}

}  // namespace

void TmvxCustomMemTable::MarkCopyFailed(DataSet* destination, int count) {
  loadedCompletely_ = false;
  if (destination == this)
    loadCount_ = count;
  else {
    saveCount_ = count;
    savedCompletely_ = false;
  }
}

int TmvxCustomMemTable::CopyDataSetRecords(DataSet* source, DataSet* destination, int limit) {
  if (!source || !destination || source == destination) return 0;
  // Auto-increment values are copied only into an empty destination (or one whose records
  // the load replaces).
  const bool intoEmpty = (destination == this && replacingRecords_) || destination->IsEmpty();
  const std::vector<const Field*> map = SourceFieldMap(*source, *destination, intoEmpty);
  ReportProgress(0, mtpcCopy);
  int total = OnProgress ? source->RecordCount() : -1;
  if (total < 1) ReportProgress(50, mtpcCopy);
  loadedCompletely_ = true;
  int count = 0, done = 0;
  bool stored = false;  // the record being copied went in
  // A record that cannot be copied ends the copy: the records before it stay, and the
  // error and the count of the last load or save say how many they are.
  try {
    while (!source->Eof()) {
      if (total > 0 && done % 100 == 0) ReportProgress(static_cast<int>(static_cast<double>(done) / total * 100), mtpcCopy);
      ++done;
      bool accept = true;
      if (source == this && OnSaveRecord) OnSaveRecord(*this, accept);
      if (!accept) {
        // A record the save event refused is passed over: it does not count.
        source->Next();
        continue;
      }
      destination->Append();
      // Values of another type, and the types that do not pass as values, go through text.
      PutRecord(
          *this, source, destination, map,
          [](const Field& from, const Field& to) {
            return from.DataType() != to.DataType() || from.DataType() == ftLargeint || from.DataType() == ftOraBlob ||
                   from.DataType() == ftOraClob;
          },
          stored);
      // The count and the limit take in the records the load event refused too; a copy that
      // reached the limit counts as cut short, however many records the source had left.
      stored = false;
      ++count;
      source->Next();
      if (limit >= 1 && count >= limit) {
        loadedCompletely_ = false;
        break;
      }
    }
  } catch (...) {
    // Given up by an error event (EAbort): silent, but cut short all the same.
    if (stored) ++count;
    MarkCopyFailed(destination, count);
    RethrowCopyFailure(count);
  }
  ReportProgress(100, mtpcCopy);
  return count;
}

namespace {

// Sets a flag for a scope and gives back its old value on every exit.
template <typename T>
struct Scoped {
  T& ref;
  T old;
  Scoped(T& r, T value) : ref(r), old(r) { ref = value; }
  ~Scoped() { ref = old; }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;
};

}  // namespace

// ---- loading from a data set ----

// The records a load copies in wait here until the load is decided, and then join the store
// whole, beside its records or in their place, or not at all. The store's lock is held from
// before the copy until then, so that the load is one step for every other table on the
// store, whatever thread uses it.
class TmvxCustomMemTable::StagedLoad {
 public:
  StagedLoad(TmvxCustomMemTable& table, bool replace)
      : table_(table), store_(table.Common()), lock_(store_), replace_(replace), autoIncMax_(store_.AutoIncMax()) {
    table_.staged_ = this;
    table_.replacingRecords_ = replace;
  }
  ~StagedLoad() {
    table_.staged_ = nullptr;
    table_.replacingRecords_ = false;
    for (PmvxRecord r : records_) store_.FreeRecord(r, true, false);  // nil is passed over
  }
  StagedLoad(const StagedLoad&) = delete;
  StagedLoad& operator=(const StagedLoad&) = delete;

  void Add(PmvxRecord record) { records_.push_back(record); }

  // The records go in when no unique index of a table on the store would hold a key twice
  // (each added record is searched for in the indexes; replacing records are checked among
  // themselves). Refused, the store, every index and the auto-increment counter are as before.
  void Decide() {
    table_.staged_ = nullptr;
    try {
      CheckUniqueKeys(store_, records_, !replace_);
      if (replace_) {
        store_.ReplaceRecords(&table_, records_);
        store_.RebuildIndexesAfterLoad();
        return;
      }
      // The indexes' filters judge every record before anything changes; without filters
      // one answer serves all.
      bool filtered = false;
      for (TmvxCustomMemTable* t : store_.AttachedTables()) filtered = filtered || (t && t->OnFilterIndex);
      std::vector<TmvxCommon::ChangePlan> plans(filtered ? records_.size() : 1);
      for (std::size_t i = 0; i < records_.size() && (filtered || i == 0); ++i)
        store_.PlanChange(rcInsert, nullptr, records_[i], plans[i]);
      for (std::size_t i = 0; i < records_.size(); ++i)
        store_.AddPlannedRecord(plans[filtered ? i : 0], &table_, std::exchange(records_[i], nullptr), -1);
      if (!records_.empty()) store_.SetIsDataModified(true);
    } catch (...) {
      store_.SetAutoIncMax(autoIncMax_);
      throw;
    }
  }

 private:
  TmvxCustomMemTable& table_;
  TmvxCommon& store_;
  TmvxCommon::Guard lock_;
  bool replace_;
  std::int32_t autoIncMax_;
  std::vector<PmvxRecord> records_;
};

void TmvxCustomMemTable::StageLoadedRecord(PmvxRecord record) { staged_->Add(record); }

void TmvxCustomMemTable::LoadRecordsFrom(DataSet& source, unsigned options) {
  if (&source == this) return;
  if ((options & mtcpoAppend) && (options & (mtcpoStructure | mtcpoProperties)))
    throw EMemTableError("Records cannot be appended while the structure or the field properties are copied.");
  // A table on this table's store walks the records the load adds to it and would not end.
  if (auto* table = dynamic_cast<TmvxCustomMemTable*>(&source); table && &table->Common() == common_)
    throw EMemTableError("A table cannot load the records of a table on its own store.");
  Scoped<int> bulk(bulkOperation_, 1);
  if (OnLoad) OnLoad(*this, mtstDataSet, nullptr);
  // Without the structure or the append option the records replace the table's. The other
  // tables on the store keep their edits (they may belong to other threads): an edit of a
  // record that went away is refused when it is posted.
  const bool replace = !(options & (mtcpoStructure | mtcpoAppend));
  if (options & mtcpoStructure)
    Close();
  else if (replace && Active())
    LeaveEditForEmptying();  // as an emptying settles it
  // What is switched off here comes back on every way out, and the first error goes on.
  const bool sourceWasActive = source.Active();
  DataSet* const savedMaster = MasterSource();
  const bool savedFiltered = Filtered();
  const Bookmark here = Active() ? GetBookmark() : Bookmark();
  Bookmark sourceMark;
  bool refused = false;  // nothing was taken: the table goes back to its record
  writeAnyField_ = true;
  DisableControls();
  source.DisableControls();
  FirstError errors;
  errors.Run([&] {
    if (!sourceWasActive) source.Open();
    sourceMark = source.GetBookmark();
    if (Filtered()) SetFiltered(false);
    if (savedMaster) SetMasterSource(nullptr);
    source.CheckBrowseMode();
    if (options & mtcpoStructure) CopyStructureFrom(source, options);
    if (!Active()) Open();
    if (!(options & mtcpoAppend) && (options & mtcpoProperties)) CopyAllFieldSettings(source, *this);
    CheckBrowseMode();
    StagedLoad load(*this, replace);
    source.First();
    std::exception_ptr copyFailed;
    try {
      loadCount_ = CopyDataSetRecords(&source, this, LoadLimit);
    } catch (...) {
      copyFailed = std::current_exception();
    }
    // A load that would leave a key twice in a unique index takes nothing, as a load through
    // a stream format (so too when an index's filter fails meanwhile); the records copied
    // before a record that could not be copied go in.
    try {
      load.Decide();
    } catch (...) {
      loadCount_ = 0;
      loadedCompletely_ = false;
      refused = true;
      throw;
    }
    // This table finds its place in its indexes now; the others at their next step.
    ResyncCursor();
    if (AttachedAutoRefresh) common_->RefreshTables(this);
    if (copyFailed) std::rethrow_exception(copyFailed);
  });
  // The source goes back to its record, also after a record that could not be copied.
  errors.Run([&] {
    if (!sourceMark.empty() && source.Active() && source.BookmarkValid(sourceMark)) source.GotoBookmark(sourceMark);
  });
  writeAnyField_ = false;
  errors.Run([&] { EnableControls(); });
  errors.Run([&] { source.EnableControls(); });
  errors.Run([&] {
    if (!sourceWasActive) source.Close();
  });
  errors.Run([&] {
    if (Filtered() != savedFiltered) SetFiltered(savedFiltered);
  });
  errors.Run([&] {
    if (MasterSource() != savedMaster) SetMasterSource(savedMaster);
  });
  errors.Run([&] {
    if (!Active() || State() != dsBrowse) return;
    if (refused && !here.empty() && BookmarkValid(here))
      GotoBookmark(here);
    else
      First();
  });
  errors.Rethrow();
}

void TmvxCustomMemTable::SaveRecordsTo(DataSet& destination) {
  if (&destination == this) return;
  Scoped<int> bulk(bulkOperation_, 2);
  if (OnSave) OnSave(*this, mtstDataSet, nullptr);
  WriteInto(*this, destination, [&] {
    if (!Active()) Open();
    First();
    saveCount_ = CopyDataSetRecords(this, &destination, SaveLimit);
    savedCompletely_ = loadedCompletely_;
    destination.First();
  });
}

void TmvxCustomMemTable::UpdateRecordsIn(DataSet& destination, const std::string& keyFields, unsigned flags) {
  if (&destination == this) return;
  CheckBrowseMode();
  Scoped<int> bulk(bulkOperation_, 7);
  if (OnSave) OnSave(*this, mtstDataSet, nullptr);
  WriteInto(*this, destination, [&] {
    if (!Active()) Open();
    First();
    saveCount_ = MergeRecordsByKey(this, &destination, keyFields, flags, -1);
    destination.First();
  });
}

int TmvxCustomMemTable::MergeRecordsByKey(DataSet* source, DataSet* destination, const std::string& keyFields,
                                          unsigned flags, int limit) {
  if (!source || !destination || source == destination) return 0;
  ReportProgress(0, mtpcUpdate);
  Scoped<int> bulk(bulkOperation_, 7);
  // The key fields are read as the table reads a field list, option letters included
  // ("Code:C" finds "abc" for "ABC"); the source and the destination have them by name.
  TmvxFieldList keyList;
  ParseFieldList(keyFields, keyList);
  if (keyList.Count() == 0) throw EMemTableError(kAtLeastOneFieldText);
  std::vector<const Field*> sourceKeys, destinationKeys;
  for (int i = 0; i < keyList.Count(); ++i) {
    const std::string& name = keyList.Fields(i)->FieldName();
    sourceKeys.push_back(&source->FieldByName(name));
    destinationKeys.push_back(&destination->FieldByName(name));
  }
  // Destination fields take the source field of the same name.
  const std::vector<const Field*> map = SourceFieldMap(*source, *destination, true);
  auto* destinationTable = dynamic_cast<TmvxCustomMemTable*>(destination);
  auto locate = [&](const Variant& values) {
    if (destinationTable) return destinationTable->Locate(keyFields, values, 0);
    // Another data set is searched record by record, with the options of each key field.
    for (destination->First(); !destination->Eof(); destination->Next()) {
      bool equal = true;
      for (std::size_t k = 0; k < destinationKeys.size() && equal; ++k) {
        const Variant& key = values.IsArray() ? values.items()[k] : values;
        equal = KeyEquals(key, destinationKeys[k]->Value(), keyList.Options(static_cast<int>(k)));
      }
      if (equal) return true;
    }
    return false;
  };
  source->First();
  int total = source->RecordCount();
  if (total < 1) ReportProgress(50, mtpcUpdate);
  int count = 0;
  bool stored = false;  // the record being merged went in
  try {
    while (!source->Eof()) {
      if (total > 0 && count % 100 == 0) ReportProgress(static_cast<int>(static_cast<double>(count) / total * 100), mtpcUpdate);
      bool accept = true;
      if (source == this && OnSaveRecord) OnSaveRecord(*this, accept);
      if (accept) {
        Variant values;
        if (sourceKeys.size() == 1) {
          values = sourceKeys[0]->Value();
        } else {
          std::vector<Variant> items;
          for (const Field* f : sourceKeys) items.push_back(f->Value());
          values = Variant(std::move(items));
        }
        bool found = locate(values);
        bool change = found ? (flags & 1) != 0 : (flags & 2) != 0;
        if (change) {
          if (found)
            destination->Edit();
          else
            destination->Append();
          // Values pass in their own type.
          PutRecord(*this, source, destination, map, [](const Field&, const Field&) { return false; }, stored);
        }
      }
      // Every record counts, whether it was taken or not.
      stored = false;
      ++count;
      source->Next();
      if (limit >= 1 && count >= limit) break;
    }
  } catch (...) {
    if (stored) ++count;
    MarkCopyFailed(destination, count);
    RethrowCopyFailure(count);
  }
  ReportProgress(100, mtpcUpdate);
  return count;
}

// ---- copying structure ----

void TmvxCustomMemTable::CopyStructureFrom(DataSet& source, unsigned options) {
  if (common_->IsAnyTableActive()) {
    for (TmvxCustomMemTable* t : std::vector<TmvxCustomMemTable*>(common_->AttachedTables()))
      if (t) t->Close();
  }
  // The source's definitions: its stored ones, or those its persistent fields make.
  FieldDefs defs = source.GetFieldDefs();
  if (defs.Count() == 0 || !source.DefaultFields()) {
    defs.Clear();
    for (int i = 0; i < source.FieldCount(); ++i) {
      const Field& f = source.GetField(i);
      if (f.Kind() == fkData || f.Kind() == fkInternalCalc) defs.Add(f.FieldName(), f.DataType(), f.Size(), f.Required);
    }
  }
  if (defs.Count() > kMaxFields) throw EMemTableError("Too many fielddefs. Please raise MVX_MAX_FIELDS value.");
  FieldDefs& mine = GetFieldDefs();
  mine.Clear();
  std::function<void(FieldDef&)> fix = [&](FieldDef& def) {
    if (def.DataType == ftWideString || def.DataType == ftGuid) def.DataType = ftString;
    for (FieldDef& child : def.ChildDefs) fix(child);
  };
  for (FieldDef def : defs.Items()) {
    fix(def);
    mine.Items().push_back(def);
  }
  auto& items = mine.Items();
  for (std::size_t i = items.size(); i-- > 0;) {
    bool drop = !IsStoredFieldType(items[i].DataType);
    if ((options & mtcpoOnlyDataFields) && !source.FindField(items[i].Name)) drop = true;
    if (drop) items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
  }
  RemoveAllFields();
  if (!source.DefaultFields())
    for (const FieldDef& def : mine.Items()) AddField(def.Name, def.DataType, def.Size).Required = def.Required;
  for (int i = 0; i < source.FieldCount(); ++i) {
    const Field& f = source.GetField(i);
    if (((options & mtcpoLookup) && f.Kind() == fkLookup) || ((options & mtcpoCalculated) && f.Kind() == fkCalculated)) {
      Field* made = MakeFieldLike(f);
      if (made && (options & mtcpoFieldIndex)) SetFieldIndex(*made, f.Index());
    }
  }
  if (options & mtcpoProperties) CopyAllFieldSettings(source, *this);
  common_->SetAutoIncMax(AutoIncMinValue - 1);
}

Field* TmvxCustomMemTable::MakeFieldLike(const Field& field) {
  FieldType type = field.DataType();
  if (type == ftWideString || type == ftGuid)
    type = ftString;
  else if (!IsStoredFieldType(type))
    return nullptr;
  if (FindField(field.FieldName())) return nullptr;
  Field& made = AddField(field.FieldName(), type, field.Size(), field.Kind());
  made.KeyFields = field.KeyFields;
  made.LookupDataSet = field.LookupDataSet;
  made.LookupResultField = field.LookupResultField;
  made.LookupKeyFields = field.LookupKeyFields;
  if (type == ftBCD || type == ftFMTBcd) made.Precision = field.Precision;
  return &made;
}

namespace {

enum class FieldGroup { Other, Integer, Float, Bcd, DateTime, Boolean, String, Blob };

FieldGroup GroupOf(FieldType type) {
  switch (type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: return FieldGroup::Integer;
    case ftFloat: case ftCurrency: return FieldGroup::Float;
    case ftBCD: case ftFMTBcd: return FieldGroup::Bcd;
    case ftDate: case ftTime: case ftDateTime: case ftTimeStamp: return FieldGroup::DateTime;
    case ftBoolean: return FieldGroup::Boolean;
    case ftString: case ftFixedChar: case ftWideString: case ftGuid: return FieldGroup::String;
    default: return IsBlobType(type) ? FieldGroup::Blob : FieldGroup::Other;
  }
}

}  // namespace

void TmvxCustomMemTable::CopyFieldSettings(const Field& source, Field& destination) {
  if (&source == &destination) return;
  destination.EditMask = source.EditMask;
  destination.DisplayWidth = source.DisplayWidth;
  destination.DisplayLabel = source.DisplayLabel;
  destination.Required = source.Required;
  destination.ReadOnly = source.ReadOnly;
  destination.Visible = source.Visible;
  destination.DefaultExpression = source.DefaultExpression;
  destination.Alignment = source.Alignment;
  destination.ProviderFlags = source.ProviderFlags;
  // The settings of a kind of field go between two fields of that kind.
  const FieldGroup group = GroupOf(source.DataType());
  if (group == GroupOf(destination.DataType())) {
    const bool numeric = group == FieldGroup::Integer || group == FieldGroup::Float || group == FieldGroup::Bcd;
    if (numeric) {
      destination.DisplayFormat = source.DisplayFormat;
      destination.EditFormat = source.EditFormat;
      destination.MaxValue = source.MaxValue;
      destination.MinValue = source.MinValue;
    }
    if (group == FieldGroup::Float) destination.Precision = source.Precision;
    if (group == FieldGroup::Float || group == FieldGroup::Bcd) destination.Currency = source.Currency;
    switch (group) {
      case FieldGroup::DateTime: destination.DisplayFormat = source.DisplayFormat; break;
      case FieldGroup::Boolean: destination.DisplayValues = source.DisplayValues; break;
      case FieldGroup::String: destination.Transliterate = source.Transliterate; break;
      case FieldGroup::Blob:
        destination.BlobType = source.BlobType;
        destination.Transliterate = source.Transliterate;
        break;
      default: break;  // the numeric kinds are done above; other kinds have none
    }
  }
  if (OnSetupFieldProperties) OnSetupFieldProperties(*this, destination);
}

void TmvxCustomMemTable::CopyAllFieldSettings(const DataSet& source, DataSet& destination) {
  for (int i = 0; i < destination.FieldCount(); ++i) {
    Field& d = destination.GetField(i);
    if (const Field* s = source.FindField(d.FieldName())) CopyFieldSettings(*s, d);
  }
}

}  // namespace memtable
