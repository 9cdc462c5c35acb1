#include "memtable/binary_format.h"

#include <strings.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "memtable/errors.h"
#include "memtable/filter.h"
#include "memtable/mem_table.h"
#include "platform/dataset/date_time.h"
#include "platform/little_endian.h"

namespace memtable {

using namespace dataset;

namespace {

constexpr char kMagic[4] = {'K', 'V', 'M', 'T'};

}  // namespace

std::uint32_t TableStreamChecksum(const std::uint8_t* data, std::size_t size) {
  // Eight bytes a step through eight tables (table k gives the remainder of a byte
  // followed by k zero bytes); the same sum as one byte a step, several times faster.
  static const std::array<std::array<std::uint32_t, 256>, 8> tables = [] {
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i)
      for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    const std::uint32_t lo = crc ^ (static_cast<std::uint32_t>(data[i]) | (static_cast<std::uint32_t>(data[i + 1]) << 8) |
                                    (static_cast<std::uint32_t>(data[i + 2]) << 16) |
                                    (static_cast<std::uint32_t>(data[i + 3]) << 24));
    crc = tables[7][lo & 0xFF] ^ tables[6][(lo >> 8) & 0xFF] ^ tables[5][(lo >> 16) & 0xFF] ^ tables[4][lo >> 24] ^
          tables[3][data[i + 4]] ^ tables[2][data[i + 5]] ^ tables[1][data[i + 6]] ^ tables[0][data[i + 7]];
  }
  for (; i < size; ++i) crc = tables[0][(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

namespace {

void PutU8(std::vector<std::uint8_t>& o, std::uint8_t v) { o.push_back(v); }
void PutU16(std::vector<std::uint8_t>& o, std::uint16_t v) {
  o.push_back(static_cast<std::uint8_t>(v));
  o.push_back(static_cast<std::uint8_t>(v >> 8));
}
void PutU32(std::vector<std::uint8_t>& o, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) o.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void PutBytes(std::vector<std::uint8_t>& o, const void* data, std::size_t n) {
  PutU32(o, static_cast<std::uint32_t>(n));
  const auto* p = static_cast<const std::uint8_t*>(data);
  o.insert(o.end(), p, p + n);
}
void PutText(std::vector<std::uint8_t>& o, const std::string& s) { PutBytes(o, s.data(), s.size()); }

[[noreturn]] void Damaged(const std::string& what) {
  throw EMemTableError("The table stream is damaged or not a table stream: " + what);
}

// Reads the stream's bytes with bounds checks.
class Reader {
 public:
  Reader(const std::uint8_t* bytes, std::size_t pos, std::size_t end) : b_(bytes), pos_(pos), end_(end) {}
  std::size_t Pos() const { return pos_; }
  const std::uint8_t* Take(std::size_t n) {
    if (n > end_ - pos_) Damaged("it ends early");
    const std::uint8_t* p = b_ + pos_;
    pos_ += n;
    return p;
  }
  std::uint8_t U8() { return *Take(1); }
  std::uint16_t U16() { return platform::LoadLE16(Take(2)); }
  std::uint32_t U32() { return platform::LoadLE32(Take(4)); }
  std::string Text() {
    std::uint32_t n = U32();
    const std::uint8_t* p = Take(n);
    return std::string(reinterpret_cast<const char*>(p), n);
  }

 private:
  const std::uint8_t* b_;
  std::size_t pos_, end_;
};

bool Writable(FieldType t) { return NativeFieldSize(t, 1) > 0 || IsBlobType(t) || t == ftBytes || t == ftVarBytes; }

}  // namespace

void TmvxBinaryStreamFormat::SaveDef(TmvxCustomMemTable& table) {
  out_.clear();
  for (char ch : kMagic) out_.push_back(static_cast<std::uint8_t>(ch));
  PutU16(out_, kVersion);
  PutU16(out_, 0);
  std::uint32_t count = 0;
  for (int entry : SaveFields) count += entry >= 0 ? 1 : 0;
  PutU32(out_, count);
  for (int entry : SaveFields) {
    if (entry < 0) continue;
    const Field& f = table.GetField(entry);
    PutText(out_, f.FieldName());
    PutU8(out_, static_cast<std::uint8_t>(f.DataType()));
    PutU32(out_, static_cast<std::uint32_t>(f.Size()));
    PutU8(out_, f.Required ? 1 : 0);
  }
  const IndexDefs& defs = table.GetIndexDefs();
  PutU32(out_, static_cast<std::uint32_t>(defs.Count()));
  for (int i = 0; i < defs.Count(); ++i) {
    PutText(out_, defs[i].Name);
    PutText(out_, defs[i].Fields);
    PutU32(out_, defs[i].Options);
  }
  PutText(out_, table.IndexName());
}

void TmvxBinaryStreamFormat::SaveData(TmvxCustomMemTable& table) {
  TmvxCommon& c = table.Common();
  TmvxIndex& rows = *table.GetIndexes().RowOrderIndex;
  // Row order holds every record the table shows (a stale one is brought up to date).
  if (!rows.IsOrdered) rows.Rebuild();
  std::vector<PmvxRecord> records;
  const int limit = table.SaveLimit;
  bool complete = true;
  for (PmvxRecord r : rows.References) {
    if (!AcceptRecord(table, r, false)) continue;
    if (limit >= 0 && static_cast<int>(records.size()) >= limit) {
      complete = false;
      break;
    }
    records.push_back(r);
  }
  PutU32(out_, static_cast<std::uint32_t>(records.size()));
  std::vector<std::uint8_t> value;
  PmvxRecord saved = table.BufferOverride();
  try {
    for (PmvxRecord r : records) {
      table.SetBufferOverride(r);
      for (int entry : SaveFields) {
        if (entry < 0) continue;
        Field& f = table.GetField(entry);
        if (f.IsBlob()) {
          // The block as the field holds it (the stored record's when the record has
          // none of its own).
          const std::uint8_t* slot = c.FieldPointer(r, &f);
          std::uint32_t handle = slot ? TmvxCommon::SlotBlob(slot) : 0;
          if (!slot || slot[0] == 0) {
            PutU8(out_, 0);
          } else {
            PutU8(out_, 1);
            PutBytes(out_, handle ? c.BlobData(handle) : nullptr, handle ? c.BlobLength(handle) : 0);
          }
          continue;
        }
        value.assign(static_cast<std::size_t>(f.DataSize()) + 1, 0);
        if (f.DataSize() == 0 || !f.GetData(value.data())) {
          PutU8(out_, 0);
          continue;
        }
        PutU8(out_, 1);
        PutBytes(out_, value.data(), static_cast<std::size_t>(f.DataSize()));
      }
    }
  } catch (...) {
    table.SetBufferOverride(saved);
    throw;
  }
  table.SetBufferOverride(saved);
  PutU32(out_, TableStreamChecksum(out_.data(), out_.size()));
  platform::ByteStream& work = *WorkStream();
  if (work.Write(out_.data(), out_.size()) != out_.size())
    throw EMemTableError("The table could not be written completely to its stream");
  table.saveCount_ = static_cast<int>(records.size());
  table.savedCompletely_ = complete;
  out_.clear();
  out_.shrink_to_fit();
}

void TmvxBinaryStreamFormat::LoadDef(TmvxCustomMemTable& table) {
  // The whole stream from its position is read and checked before anything changes.
  platform::ByteStream& work = *WorkStream();
  std::int64_t here = work.Position(), size = work.Size();
  if (here < 0 || size < here) Damaged("its size cannot be told");
  // A memory stream is read where it lies; any other is read into a copy first.
  in_.clear();
  inSize_ = static_cast<std::size_t>(size - here);
  if (auto* memory = dynamic_cast<platform::MemoryStream*>(&work)) {
    inData_ = memory->Bytes().data() + here;
  } else {
    in_.resize(inSize_);
    if (work.Read(in_.data(), in_.size()) != in_.size()) Damaged("it cannot be read");
    inData_ = in_.data();
  }
  if (inSize_ < 4 + 4 + 4 || std::memcmp(inData_, kMagic, 4) != 0) Damaged("no table stream header");
  Reader r(inData_, 4, inSize_);
  std::uint16_t version = r.U16();
  if (version != kVersion)
    throw EMemTableError("The table stream has format version " + std::to_string(version) + "; this program reads version " +
                         std::to_string(kVersion));
  r.U16();
  std::uint32_t count = r.U32();
  if (count > 256) Damaged("too many fields");
  fields_.clear();
  int recordSize = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    StreamField f;
    f.name = r.Text();
    std::uint8_t type = r.U8();
    if (type > ftFMTBcd || !Writable(static_cast<FieldType>(type))) Damaged("unknown field type");
    f.type = static_cast<FieldType>(type);
    f.size = static_cast<int>(r.U32());
    // A field of more than 64 KiB, or records of more than 1 MiB, come from no table
    // this program writes.
    if (f.size < 0 || f.size > 1 << 16) Damaged("bad field size");
    recordSize += NativeFieldSize(f.type, f.size) + 1;
    if (recordSize > 1 << 20) Damaged("records too large");
    f.required = r.U8() != 0;
    // Fields are found by name, case aside: a second field of one name would never be.
    for (const StreamField& before : fields_)
      if (strcasecmp(before.name.c_str(), f.name.c_str()) == 0) Damaged("two fields named '" + f.name + "'");
    fields_.push_back(std::move(f));
  }
  std::uint32_t indexCount = r.U32();
  if (indexCount > 4096) Damaged("too many indexes");
  IndexDefs indexDefs;
  for (std::uint32_t i = 0; i < indexCount; ++i) {
    std::string name = r.Text(), fieldList = r.Text();
    indexDefs.Add(name, fieldList, r.U32());
  }
  std::string currentIndex = r.Text();
  recordCount_ = r.U32();
  dataStart_ = r.Pos();
  // Every record holds at least one null flag per field, so a count the bytes cannot hold
  // is refused before the walk (a count of billions would otherwise be walked for nothing).
  if (recordCount_ > 0 && (fields_.empty() || recordCount_ > (inSize_ - dataStart_) / fields_.size()))
    Damaged(fields_.empty() ? "records without fields" : "it ends early");
  // Walk the records once: every length in bounds, and the checksum right.
  for (std::uint32_t k = 0; k < recordCount_; ++k)
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      std::uint8_t present = r.U8();
      if (present > 1) Damaged("bad null flag");
      if (present) r.Take(r.U32());
    }
  std::size_t end = r.Pos();
  std::uint32_t crc = r.U32();
  if (crc != TableStreamChecksum(inData_, end)) Damaged("the checksum does not match");
  // The stream's data end here; a stream positioned after them can hold more.
  work.Seek(here + static_cast<std::int64_t>(end) + 4, platform::SeekOrigin::Begin);
  inSize_ = end;
  if (!table.Active()) {
    // A closed table takes the stream's structure.
    table.GetFieldDefs().Clear();
    for (const StreamField& f : fields_) table.GetFieldDefs().Add(f.name, f.type, f.size, f.required);
    table.GetIndexDefs() = indexDefs;
    table.SetIndexName(currentIndex);
    table.Open();
  }
}

void TmvxBinaryStreamFormat::MapLoadField(TmvxCustomMemTable& table, int position, int& entry) {
  const std::string& name = table.GetField(position).FieldName();
  for (const StreamField& f : fields_)
    if (strcasecmp(f.name.c_str(), name.c_str()) == 0) {
      entry = position;
      return;
    }
}

namespace {

// Refuses a stream whose values do not fit the table; the table is not touched yet.
[[noreturn]] void DoesNotFit(const std::string& field, const std::string& what) {
  throw EMemTableError("The table stream does not fit the table: field '" + field + "' " + what);
}

bool IsText(FieldType t) { return t == ftString || t == ftFixedChar; }

// Checks one in-line value as the stream holds it against the stream's own field: its
// length is the field's native size, a text ends within it, a date, time or date-time
// lies in the calendar, a byte count within the field.
void CheckStreamValue(const std::string& name, FieldType type, int size, const std::uint8_t* bytes, std::uint32_t length) {
  if (IsBlobType(type)) return;
  if (length != static_cast<std::uint32_t>(NativeFieldSize(type, size)))
    Damaged("a value of field '" + name + "' has the wrong size");
  switch (type) {
    case ftString: case ftFixedChar:
      if (!std::memchr(bytes, 0, length)) Damaged("a text of field '" + name + "' has no end");
      break;
    case ftDate: case ftTime: {
      std::int32_t v;
      std::memcpy(&v, bytes, 4);
      if (type == ftDate ? !ValidDateNumber(v) : !ValidTimeNumber(v))
        Damaged("a value of field '" + name + "' is no date or time");
      break;
    }
    case ftDateTime: {
      double v;
      std::memcpy(&v, bytes, 8);
      if (!ValidDateTimeMSecs(v)) Damaged("a value of field '" + name + "' is no date and time");
      break;
    }
    case ftVarBytes:
      if ((bytes[0] | (bytes[1] << 8)) > size) Damaged("a value of field '" + name + "' is longer than its field");
      break;
    default:
      break;
  }
}

}  // namespace

void TmvxBinaryStreamFormat::LoadData(TmvxCustomMemTable& table) {
  // The records are built apart and checked whole (values that do not fit, required
  // fields, unique keys) before the table's records are replaced: a refused load leaves
  // the table as it was, records, order, indexes and cursor.
  table.CheckBrowseMode();
  TmvxCommon& c = table.Common();
  // Each field of the stream goes to the table's field of that name, when it loads.
  std::vector<Field*> target(fields_.size(), nullptr);
  for (std::size_t i = 0; i < fields_.size(); ++i)
    for (std::size_t k = 0; k < LoadFields.size(); ++k)
      if (LoadFields[k] >= 0 && strcasecmp(table.GetField(LoadFields[k]).FieldName().c_str(), fields_[i].name.c_str()) == 0)
        target[i] = &table.GetField(LoadFields[k]);
  std::vector<bool> filled(static_cast<std::size_t>(table.FieldCount()), false);
  for (Field* f : target)
    if (f) filled[static_cast<std::size_t>(f->Index())] = true;

  // Records that stay here until the load succeeds, freed on every other way out.
  struct Staged {
    TmvxCommon& c;
    std::vector<PmvxRecord> records;
    PmvxRecord blank = nullptr;
    ~Staged() {
      for (PmvxRecord r : records) c.FreeRecord(r, true, false);
      if (blank) c.FreeRecord(blank, true, false);
    }
  } staged{c, {}, nullptr};
  // A new record's start: the default values of the fields the stream does not fill.
  staged.blank = c.AllocRecord();
  bool blankHasBlobs = false;
  for (int i = 0; i < table.FieldCount(); ++i) {
    Field& f = table.GetField(i);
    if (filled[static_cast<std::size_t>(i)] || f.DefaultExpression.empty() || f.FieldNo() <= 0) continue;
    if (f.DataType() != ftString && f.DataType() != ftFixedChar && f.DataSize() == 0) continue;
    try {
      table.WriteFieldValue(staged.blank, &f, Variant(f.DefaultExpression));
    } catch (const VariantError& e) {
      DoesNotFit(f.FieldName(), std::string("has a default that does not fit: ") + e.what());
    }
    blankHasBlobs = blankHasBlobs || (c.FieldFlags(f.FieldNo() - 1) & ffBlob);
  }

  const int limit = table.LoadLimit;
  const std::size_t wanted = limit >= 0 ? std::min<std::size_t>(recordCount_, static_cast<std::size_t>(limit)) : recordCount_;
  Reader r(inData_, dataStart_, inSize_);
  staged.records.reserve(wanted);
  std::vector<std::uint8_t> native, converted;
  const std::size_t dataSize = static_cast<std::size_t>(c.DataSize());
  for (std::size_t k = 0; k < wanted; ++k) {
    PmvxRecord rec = c.AllocStoredRecord();
    staged.records.push_back(rec);
    if (blankHasBlobs) {
      c.CopyRecord(staged.blank, rec);
      c.CopyBlobs(staged.blank, rec);
    } else {
      std::memcpy(rec->Data, staged.blank->Data, dataSize);
    }
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      const StreamField& sf = fields_[i];
      Field* f = target[i];
      const bool present = r.U8() != 0;
      std::uint8_t* slot = f ? c.FieldPointer(rec, f) : nullptr;
      const bool outOfLine = f && f->FieldNo() > 0 && (c.FieldFlags(f->FieldNo() - 1) & ffBlob);
      if (!present) {
        if (slot) {
          if (outOfLine) {
            c.BlobFree(TmvxCommon::SlotBlob(slot));
            TmvxCommon::SetSlotBlob(slot, 0);
          }
          slot[0] = 0;
        }
        continue;
      }
      const std::uint32_t length = r.U32();
      const std::uint8_t* bytes = r.Take(length);
      CheckStreamValue(sf.name, sf.type, sf.size, bytes, length);
      if (!slot) continue;
      if (f->IsBlob()) {
        // The contents of a blob, through the table's compression of blob streams.
        std::vector<std::uint8_t> packed;
        const std::uint8_t* data = bytes;
        std::size_t n = length;
        if (table.OnCompressBlobStream) {
          platform::MemoryStream plain(std::vector<std::uint8_t>(bytes, bytes + length)), result;
          table.OnCompressBlobStream(table, plain, result);
          packed = std::move(result.Bytes());
          data = packed.data();
          n = packed.size();
        }
        c.BlobFree(TmvxCommon::SlotBlob(slot));
        const std::uint32_t handle = n ? c.BlobFromBuffer(data, static_cast<std::uint32_t>(n)) : 0;
        TmvxCommon::SetSlotBlob(slot, handle);
        slot[0] = handle ? 2 : 0;
        continue;
      }
      const std::size_t size = static_cast<std::size_t>(f->DataSize());
      if (size == 0) continue;
      const std::uint8_t* value = bytes;
      if (!(sf.type == f->DataType() && sf.size == f->Size() && length == size)) {
        // Another type or size: the value passes as a value, and must fit the field whole.
        Variant v;
        if (IsBlobType(sf.type) || sf.type == ftBytes) {
          v = Variant(std::string(reinterpret_cast<const char*>(bytes), length));
        } else if (sf.type == ftVarBytes) {
          v = Variant(std::string(reinterpret_cast<const char*>(bytes) + 2, static_cast<std::size_t>(bytes[0] | (bytes[1] << 8))));
        } else {
          v = NativeToVariant(sf.type, bytes);
        }
        if ((IsText(f->DataType()) || f->DataType() == ftBytes || f->DataType() == ftVarBytes) &&
            v.ToString().size() > static_cast<std::size_t>(f->Size()))
          DoesNotFit(f->FieldName(), "is shorter than a value the stream holds");
        converted.assign(size + 1, 0);
        try {
          VariantToNative(f->DataType(), f->Size(), v, converted.data());
        } catch (const VariantError& e) {
          DoesNotFit(f->FieldName(), std::string("cannot hold a value the stream holds: ") + e.what());
        }
        value = converted.data();
      } else if (IsText(sf.type)) {
        // The text up to its end, the rest of the field zero, as a written value leaves it.
        native.assign(size, 0);
        std::memcpy(native.data(), bytes, std::strlen(reinterpret_cast<const char*>(bytes)));
        value = native.data();
      }
      if (f->OnValidate) f->Validate(value);
      if (outOfLine) {
        const std::uint8_t flags = c.FieldFlags(f->FieldNo() - 1);
        std::vector<std::uint8_t> packed;
        const std::uint8_t* data = value;
        std::size_t n = size;
        if (flags & ffCompressed) {
          if (table.OnCompressField)
            table.OnCompressField(table, *f, value, static_cast<std::uint32_t>(size), packed);
          else
            packed = StoreCompress(value, size);
          data = packed.data();
          n = packed.size();
        }
        c.BlobFree(TmvxCommon::SlotBlob(slot));
        TmvxCommon::SetSlotBlob(slot, c.BlobFromBuffer(data, static_cast<std::uint32_t>(n)));
      } else {
        std::memcpy(slot + 1, value, size);
      }
      slot[0] = 2;
    }
  }

  // Required fields, and the auto-increment values of records that bring none.
  std::int32_t autoIncMax = c.AutoIncMax();
  Field* autoInc = table.autoIncrementField_;
  for (PmvxRecord rec : staged.records) {
    for (int i = 0; i < table.FieldCount(); ++i) {
      Field& f = table.GetField(i);
      if (!f.Required || f.ReadOnly || (f.Kind() != fkData && f.Kind() != fkInternalCalc) || &f == autoInc) continue;
      const std::uint8_t* slot = c.FieldPointer(rec, &f);
      if (slot && slot[0] == 0) dataset::DatabaseError("Field '" + f.DisplayName() + "' must have a value", &table);
    }
    if (autoInc && autoInc->FieldNo() > 0) {
      std::uint8_t* slot = c.FieldPointer(rec, autoInc);
      std::int32_t v;
      if (slot[0] == 0) {
        if (autoIncMax == INT32_MAX) DoesNotFit(autoInc->FieldName(), "runs out of auto-increment values");
        v = ++autoIncMax;
        std::memcpy(slot + 1, &v, 4);
        slot[0] = 2;
      } else {
        std::memcpy(&v, slot + 1, 4);
        autoIncMax = std::max(autoIncMax, v);
      }
    }
  }

  // Unique keys, in every unique index of every table on the store.
  CheckUniqueKeys(c, staged.records, false);

  // Everything fits: the records replace the table's.
  c.ReplaceRecords(&table, staged.records);
  staged.records.clear();
  c.SetAutoIncMax(autoIncMax);
  table.loadCount_ = static_cast<int>(wanted);
  table.loadedCompletely_ = wanted == recordCount_;
  in_.clear();
  in_.shrink_to_fit();
  inData_ = nullptr;
  inSize_ = 0;
}

}  // namespace memtable
