#include "memtable/binary_format.h"

#include <strings.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "memtable/errors.h"
#include "memtable/filter.h"
#include "memtable/mem_table.h"
#include "platform/little_endian.h"

namespace memtable {

using namespace dataset;

namespace {

constexpr char kMagic[4] = {'K', 'V', 'M', 'T'};

}  // namespace

std::uint32_t TableStreamChecksum(const std::uint8_t* data, std::size_t size) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
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
  Reader(const std::vector<std::uint8_t>& bytes, std::size_t pos, std::size_t end) : b_(bytes), pos_(pos), end_(end) {}
  std::size_t Pos() const { return pos_; }
  const std::uint8_t* Take(std::size_t n) {
    if (n > end_ - pos_) Damaged("it ends early");
    const std::uint8_t* p = b_.data() + pos_;
    pos_ += n;
    return p;
  }
  std::uint8_t U8() { return *Take(1); }
  std::uint16_t U16() {
    return platform::LoadLE16(Take(2));
  }
  std::uint32_t U32() { return platform::LoadLE32(Take(4)); }
  std::string Text() {
    std::uint32_t n = U32();
    const std::uint8_t* p = Take(n);
    return std::string(reinterpret_cast<const char*>(p), n);
  }

 private:
  const std::vector<std::uint8_t>& b_;
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
  in_.resize(static_cast<std::size_t>(size - here));
  if (work.Read(in_.data(), in_.size()) != in_.size()) Damaged("it cannot be read");
  if (in_.size() < 4 + 4 + 4 || std::memcmp(in_.data(), kMagic, 4) != 0) Damaged("no table stream header");
  Reader r(in_, 4, in_.size());
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
  if (recordCount_ > 0 && (fields_.empty() || recordCount_ > (in_.size() - dataStart_) / fields_.size()))
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
  if (crc != TableStreamChecksum(in_.data(), end)) Damaged("the checksum does not match");
  // The stream's data end here; a stream positioned after them can hold more.
  work.Seek(here + static_cast<std::int64_t>(end) + 4, platform::SeekOrigin::Begin);
  in_.resize(end);
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

void TmvxBinaryStreamFormat::LoadData(TmvxCustomMemTable& table) {
  // Each field of the stream goes to the table's field of that name, when it loads.
  std::vector<Field*> target(fields_.size(), nullptr);
  for (std::size_t i = 0; i < fields_.size(); ++i)
    for (std::size_t k = 0; k < LoadFields.size(); ++k)
      if (LoadFields[k] >= 0 && strcasecmp(table.GetField(LoadFields[k]).FieldName().c_str(), fields_[i].name.c_str()) == 0)
        target[i] = &table.GetField(LoadFields[k]);
  table.EmptyTable();
  Reader r(in_, dataStart_, in_.size());
  const int limit = table.LoadLimit;
  int loaded = 0;
  const bool savedWriteAny = table.writeAnyField_;
  table.writeAnyField_ = true;
  struct Restore {
    TmvxCustomMemTable& t;
    bool writeAny;
    ~Restore() { t.writeAnyField_ = writeAny; }
  } restore{table, savedWriteAny};
  std::vector<std::uint8_t> buffer;
  for (std::uint32_t k = 0; k < recordCount_; ++k) {
    if (limit >= 0 && loaded >= limit) break;
    table.Append();
    try {
      for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (!r.U8()) {
          if (target[i]) target[i]->Clear();
          continue;
        }
        std::uint32_t length = r.U32();
        const std::uint8_t* bytes = r.Take(length);
        Field* f = target[i];
        if (!f) continue;
        const StreamField& sf = fields_[i];
        if (f->IsBlob()) {
          auto blob = table.CreateBlobStream(*f, bmWrite);
          blob->Write(bytes, length);
          blob->Close();
        } else if (sf.type == f->DataType() && sf.size == f->Size() && static_cast<int>(length) == f->DataSize()) {
          f->SetData(bytes);
        } else {
          // Another type or size: the value passes as a value.
          buffer.assign(bytes, bytes + length);
          buffer.resize(std::max<std::size_t>(buffer.size(), static_cast<std::size_t>(NativeFieldSize(sf.type, sf.size)) + 1), 0);
          Variant v;
          if (IsBlobType(sf.type) || sf.type == ftBytes) {
            v = Variant(std::string(reinterpret_cast<const char*>(bytes), length));
          } else if (sf.type == ftVarBytes) {
            std::size_t n = length >= 2 ? std::min<std::size_t>(bytes[0] | (bytes[1] << 8), length - 2) : 0;
            v = Variant(std::string(reinterpret_cast<const char*>(bytes) + 2, n));
          } else {
            v = NativeToVariant(sf.type, buffer.data());
          }
          f->SetValue(v);
        }
      }
      table.Post();
    } catch (...) {
      table.Cancel();
      throw;
    }
    ++loaded;
  }
  table.loadCount_ = loaded;
  table.loadedCompletely_ = static_cast<std::uint32_t>(loaded) == recordCount_;
  in_.clear();
  in_.shrink_to_fit();
}

}  // namespace memtable
