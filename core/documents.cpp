#include "core/documents.h"

#include <algorithm>
#include <climits>
#include <bit>
#include <cstdio>
#include <cstring>

#include "core/settings.h"

namespace core {

namespace {

constexpr std::size_t kMaxParameterFile = kParameterHeaderSize + kMaxDocumentRecords * kParameterRecordSize;
constexpr std::size_t kMaxCompareFile = kCompareHeaderSize + kMaxDocumentRecords * kCompareRecordSize;

// Little-endian field writer over a growing byte string.
class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}
  void u8(std::uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v));
    u8(static_cast<std::uint8_t>(v >> 8));
  }
  void u32(std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v));
    u16(static_cast<std::uint16_t>(v >> 16));
  }
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  void f32(float v) { u32(std::bit_cast<std::uint32_t>(v)); }
  void pad(std::size_t n) { out_.append(n, '\0'); }
  template <std::size_t N>
  void text(const ShortText<N>& t) {
    u8(static_cast<std::uint8_t>(t.size()));
    out_.append(t.view());
    pad(N - t.size());
  }

 private:
  std::string& out_;
};

// Little-endian field reader over a byte range that is known to be long enough.
class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  std::uint8_t u8() { return static_cast<std::uint8_t>(in_[pos_++]); }
  std::uint16_t u16() {
    std::uint16_t lo = u8();
    return static_cast<std::uint16_t>(lo | (u8() << 8));
  }
  std::uint32_t u32() {
    std::uint32_t lo = u16();
    return lo | (static_cast<std::uint32_t>(u16()) << 16);
  }
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
  float f32() { return std::bit_cast<float>(u32()); }
  void skip(std::size_t n) { pos_ += n; }
  // A length byte above the field's room is clamped to it.
  template <std::size_t N>
  void text(ShortText<N>& t) {
    std::size_t len = std::min<std::size_t>(u8(), N);
    t = in_.substr(pos_, len);
    pos_ += N;
  }
  std::size_t pos() const { return pos_; }

 private:
  std::string_view in_;
  std::size_t pos_ = 0;
};

void WriteRecord(Writer& w, const ParameterDefinition& d) {
  w.u8(static_cast<std::uint8_t>(d.type));
  w.pad(3);
  w.i32(d.reg);
  w.i32(d.editable);
  w.i32(d.transferGroup);
  w.i32(d.displayGroup);
  w.i32(d.accessLevel);
  w.i32(d.decimals);
  w.f32(d.minimum);
  w.f32(d.maximum);
  w.f32(d.defaultValue);
  w.f32(d.value);
  w.i32(d.model);
  w.text(d.code);
  w.text(d.unit);
  for (const auto& t : d.descriptions) w.text(t);
  w.pad(2);
}

void ReadRecord(Reader& r, ParameterDefinition& d) {
  d.type = static_cast<char>(r.u8());
  r.skip(3);
  d.reg = r.i32();
  d.editable = r.i32();
  d.transferGroup = r.i32();
  d.displayGroup = r.i32();
  d.accessLevel = r.i32();
  d.decimals = r.i32();
  d.minimum = r.f32();
  d.maximum = r.f32();
  d.defaultValue = r.f32();
  d.value = r.f32();
  d.model = r.i32();
  r.text(d.code);
  r.text(d.unit);
  for (auto& t : d.descriptions) r.text(t);
  r.skip(2);
}

void WriteRecord(Writer& w, const CompareRecord& c) {
  w.i32(c.transferGroup);
  w.i32(c.displayGroup);
  w.i32(c.decimals);
  w.f32(c.defaultValue);
  for (float v : c.values) w.f32(v);
  w.text(c.code);
  w.text(c.unit);
  for (const auto& t : c.descriptions) w.text(t);
  w.pad(2);
}

void ReadRecord(Reader& r, CompareRecord& c) {
  c.transferGroup = r.i32();
  c.displayGroup = r.i32();
  c.decimals = r.i32();
  c.defaultValue = r.f32();
  for (float& v : c.values) v = r.f32();
  r.text(c.code);
  r.text(c.unit);
  for (auto& t : c.descriptions) r.text(t);
  r.skip(2);
}

// A parameter document holds at least one line; a comparison that found no difference holds none.
bool ValidCount(std::size_t count) { return count >= 1 && count <= kMaxDocumentRecords; }
bool ValidCompareCount(std::size_t count) { return count <= kMaxDocumentRecords; }

// A header that names its model is that model's document whatever its number (AdoptModel finds
// the model by the name); a header without a name needs a number of the configuration.
bool ValidModel(std::uint32_t model, std::string_view name, int modelCount) {
  if (!name.empty()) return true;
  return model >= 1 && modelCount >= 1 && model <= static_cast<std::uint32_t>(modelCount);
}

FileResult TooManyRecords(std::size_t count) {
  return FileResult::Failure("A document holds 1 to " + std::to_string(kMaxDocumentRecords) + " records, not " +
                             std::to_string(count));
}

FileResult TooManyCompareRecords(std::size_t count) {
  return FileResult::Failure("A comparison holds at most " + std::to_string(kMaxDocumentRecords) + " records, not " +
                             std::to_string(count));
}

}  // namespace

std::string EncodeParameterFile(const ParameterFileHeader& header, const std::vector<ParameterDefinition>& records) {
  std::string out;
  out.reserve(kParameterHeaderSize + records.size() * kParameterRecordSize);
  Writer w(out);
  w.u16(header.recordCount);
  w.pad(2);
  w.u32(header.model);
  w.text(header.modelName);
  w.pad(3);
  for (const auto& d : records) WriteRecord(w, d);
  return out;
}

bool DecodeParameterFile(std::string_view bytes, int modelCount, ParameterFileHeader& header,
                         std::vector<ParameterDefinition>& records) {
  header = {};
  records.clear();
  if (bytes.size() < kParameterHeaderSize) return false;
  Reader r(bytes);
  ParameterFileHeader h;
  h.recordCount = r.u16();
  r.skip(2);
  h.model = r.u32();
  r.text(h.modelName);
  if (!ValidCount(h.recordCount) || !ValidModel(h.model, h.modelName.view(), modelCount)) return false;
  if (bytes.size() != kParameterHeaderSize + h.recordCount * kParameterRecordSize) return false;
  r.skip(3);
  std::vector<ParameterDefinition> recs(h.recordCount);
  for (auto& d : recs) ReadRecord(r, d);
  header = h;
  records = std::move(recs);
  return true;
}

std::string EncodeCompareFile(const CompareFileHeader& header, const std::vector<CompareRecord>& records) {
  std::string out;
  out.reserve(kCompareHeaderSize + records.size() * kCompareRecordSize);
  Writer w(out);
  w.u8(header.kind);
  w.u8(header.station);
  w.u16(header.recordCount);
  w.u32(header.model);
  w.text(header.modelName);
  for (const auto& t : header.fileNames) w.text(t);
  for (const auto& c : records) WriteRecord(w, c);
  return out;
}

bool DecodeCompareFile(std::string_view bytes, int modelCount, CompareFileHeader& header,
                       std::vector<CompareRecord>& records) {
  header = {};
  records.clear();
  if (bytes.size() < kCompareHeaderSize) return false;
  Reader r(bytes);
  CompareFileHeader h;
  h.kind = r.u8();
  h.station = r.u8();
  h.recordCount = r.u16();
  h.model = r.u32();
  r.text(h.modelName);
  for (auto& t : h.fileNames) r.text(t);
  if (h.kind > FilesWithDefaults || !ValidCompareCount(h.recordCount) || !ValidModel(h.model, h.modelName.view(), modelCount)) return false;
  if (bytes.size() != kCompareHeaderSize + h.recordCount * kCompareRecordSize) return false;
  std::vector<CompareRecord> recs(h.recordCount);
  for (auto& c : recs) ReadRecord(r, c);
  header = h;
  records = std::move(recs);
  return true;
}

bool ReadParameterFile(const std::string& path, int modelCount, ParameterFileHeader& header,
                       std::vector<ParameterDefinition>& records) {
  std::string bytes;
  if (!platform::ReadWholeFile(path, bytes, kMaxParameterFile)) {
    header = {};
    records.clear();
    return false;
  }
  return DecodeParameterFile(bytes, modelCount, header, records);
}

bool ReadCompareFile(const std::string& path, int modelCount, CompareFileHeader& header,
                     std::vector<CompareRecord>& records) {
  std::string bytes;
  if (!platform::ReadWholeFile(path, bytes, kMaxCompareFile)) {
    header = {};
    records.clear();
    return false;
  }
  return DecodeCompareFile(bytes, modelCount, header, records);
}

int ModelOfDocument(std::uint32_t number, std::string_view name) {
  const AppState& s = State();
  const int count = std::min(s.ModelCount, static_cast<int>(s.Models.size()));
  const bool numbered = number >= 1 && number <= static_cast<std::uint32_t>(count);
  if (name.empty()) return numbered ? static_cast<int>(number) : 0;
  if (numbered && s.Models[number - 1].name.view() == name) return static_cast<int>(number);
  int found = 0;
  for (int m = 1; m <= count; ++m)
    if (s.Models[static_cast<std::size_t>(m - 1)].name.view() == name) found = m;
  return found;
}

bool AdoptModel(ParameterFileHeader& header, std::vector<ParameterDefinition>& records) {
  const int model = ModelOfDocument(header.model, header.modelName.view());
  if (model == 0) return false;
  header.model = static_cast<std::uint32_t>(model);
  for (auto& r : records) r.model = model;
  return true;
}

bool AdoptModel(CompareFileHeader& header) {
  const int model = ModelOfDocument(header.model, header.modelName.view());
  if (model == 0) return false;
  header.model = static_cast<std::uint32_t>(model);
  return true;
}

bool DocumentOfLinkedModel() {
  const AppState& s = State();
  if (s.LinkedModel < 1 || static_cast<int>(s.ParHeader.model) != s.LinkedModel) return false;
  if (static_cast<std::size_t>(s.LinkedModel) > s.Models.size()) return false;
  const auto& name = s.ParHeader.modelName;
  return name.empty() || name.view() == s.Models[static_cast<std::size_t>(s.LinkedModel - 1)].name.view();
}

DocumentRead ReadParameterDocument(const std::string& path, ParameterFileHeader& header,
                                   std::vector<ParameterDefinition>& records) {
  if (!ReadParameterFile(path, INT_MAX, header, records)) return DocumentRead::Unreadable;
  return AdoptModel(header, records) ? DocumentRead::Done : DocumentRead::UnknownModel;
}

DocumentRead ReadCompareDocument(const std::string& path, CompareFileHeader& header,
                                 std::vector<CompareRecord>& records) {
  if (!ReadCompareFile(path, INT_MAX, header, records)) return DocumentRead::Unreadable;
  return AdoptModel(header) ? DocumentRead::Done : DocumentRead::UnknownModel;
}

bool LoadParameterFile(const std::string& path, bool addToRecent) {
  AppState& s = State();
  const bool ok = ReadParameterDocument(path, s.ParHeader, s.Document) == DocumentRead::Done;
  if (!ok) {
    s.ParHeader = {};
    s.Document.clear();
  }
  if (addToRecent) AddRecentFile(path);
  return ok;
}

bool LoadCompareFile(const std::string& path) {
  AppState& s = State();
  const bool ok = ReadCompareDocument(path, s.CmpHeader, s.CompareRecords) == DocumentRead::Done;
  if (!ok) {
    s.CmpHeader = {};
    s.CompareRecords.clear();
  }
  AddRecentFile(path);
  return ok;
}

FileResult SaveParameterFile(const std::string& path) {
  AppState& s = State();
  if (!ValidCount(s.Document.size())) return TooManyRecords(s.Document.size());
  ParameterFileHeader header = s.ParHeader;
  header.recordCount = static_cast<std::uint16_t>(s.Document.size());
  auto result = platform::WriteFileAtomically(path, EncodeParameterFile(header, s.Document));
  if (!result) return result;
  s.ParHeader.recordCount = header.recordCount;
  AddRecentFile(path);
  return result;
}

FileResult SaveCompareFile(const std::string& path) {
  AppState& s = State();
  if (!ValidCompareCount(s.CompareRecords.size())) return TooManyCompareRecords(s.CompareRecords.size());
  CompareFileHeader header = s.CmpHeader;
  header.recordCount = static_cast<std::uint16_t>(s.CompareRecords.size());
  auto result = platform::WriteFileAtomically(path, EncodeCompareFile(header, s.CompareRecords));
  if (!result) return result;
  s.CmpHeader.recordCount = header.recordCount;
  AddRecentFile(path);
  return result;
}

bool LoadBlock(const std::string& path, void* buffer, std::size_t count) {
  auto* out = static_cast<unsigned char*>(buffer);
  std::memset(out, 0xFF, count);
  // Read at most what the buffer holds; bytes a short file lacks stay 0xFF (free records).
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::size_t got = std::fread(out, 1, count, f);
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) {
    std::memset(out, 0xFF, count);
    return false;
  }
  return got == count;
}

FileResult SaveBlock(const std::string& path, const void* buffer, std::size_t count) {
  return platform::WriteFileAtomically(path, buffer, count);
}

}  // namespace core
