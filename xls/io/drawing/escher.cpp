#include "xls/io/drawing/escher.h"

#include <algorithm>

#include "platform/little_endian.h"

namespace xls {
namespace {

std::uint32_t HeaderWord(std::uint32_t version, std::uint32_t instance, std::uint16_t type) {
  return (version & 0xF) | ((instance & 0xFFF) << 4) | (static_cast<std::uint32_t>(type) << 16);
}

void SetFromWords(std::uint32_t first, std::uint32_t length, std::uint32_t& version, std::uint32_t& instance,
                  std::uint16_t& type, std::uint32_t& len) {
  version = first & 0xF;
  instance = (first >> 4) & 0xFFF;
  type = static_cast<std::uint16_t>(first >> 16);
  len = length;
}

// The record data as a vector, length bytes at offset; false when they are not all there.
bool CopyBytes(const TXLSBlobList& source, std::uint32_t offset, std::uint32_t length, std::vector<std::uint8_t>& out) {
  out.clear();
  if (length == 0) return true;
  if (static_cast<std::uint64_t>(offset) + length > ListSize(source)) return false;
  TXLSBlob b(length);
  if (source.CopyRange(offset, length, b) != 1) return false;
  out.assign(b.GetData(), b.GetData() + b.GetSize());
  return true;
}

}  // namespace

std::uint64_t ListSize(const TXLSBlobList& list) {
  std::uint64_t size = 0;
  for (std::size_t i = 0; i < list.Count(); ++i)
    if (const TXLSBlob* b = list.GetChunk(i)) size += b->GetSize();
  return size;
}

bool TMSOHeader::ReadFrom(const TXLSBlobList& source, std::uint32_t& offset) {
  if (static_cast<std::uint64_t>(offset) + 8 > ListSize(source)) return false;
  TXLSBlob b(8);
  if (source.CopyRange(offset, 8, b) != 1) return false;
  SetFromWords(b.GetDWord(0), b.GetDWord(4), version_, instance_, type_, length_);
  offset += 8;
  return true;
}

bool TMSOHeader::ReadFrom(const TXLSBlob& source, std::uint32_t& offset) {
  if (static_cast<std::uint64_t>(offset) + 8 > source.GetSize()) return false;
  SetFromWords(source.GetDWord(offset), source.GetDWord(offset + 4), version_, instance_, type_, length_);
  offset += 8;
  return true;
}

int TMSOHeader::WriteTo(TXLSBlob* blob) const {
  if (!blob || blob->GetCapacity() < blob->GetSize() || blob->GetCapacity() - blob->GetSize() < 8) return -1;
  blob->AddDWord(HeaderWord(version_, instance_, type_));
  blob->AddDWord(length_);
  return 1;
}

int WriteEscherHeader(TXLSBlob& blob, std::uint32_t version, std::uint32_t instance, std::uint32_t length,
                      std::uint16_t type) {
  blob.AddDWord(HeaderWord(version, instance, type));
  blob.AddDWord(length);
  return 1;
}

void RotateRight3(TXLSBlob& blob) {
  std::uint8_t* d = blob.GetData();
  for (std::uint32_t i = 4; i < blob.GetSize(); ++i) d[i] = static_cast<std::uint8_t>((d[i] >> 3) | (d[i] << 5));
}

void RotateLeft3(TXLSBlob& blob) {
  std::uint8_t* d = blob.GetData();
  for (std::uint32_t i = 0; i < blob.GetSize(); ++i) d[i] = static_cast<std::uint8_t>((d[i] << 3) | (d[i] >> 5));
}

void AppendSplitRecord(TXLSBlobList& output, std::uint16_t id, const TXLSBlob& data, std::uint16_t limit) {
  if (limit == 0) limit = 8224;
  std::uint32_t done = 0;
  const std::uint32_t total = data.GetSize();
  bool first = true;
  do {
    const std::uint32_t part = std::min<std::uint32_t>(total - done, limit);
    auto* record = new TXLSBlob(4 + part);
    record->AddWord(first ? id : kRecDrawingContinue);
    record->AddWord(part);
    record->AddBlobRange(data, done, part);
    output.Append(record);
    done += part;
    first = false;
  } while (done < total);
}

std::unique_ptr<TXLSBlob> TMsoFbt::GetBlob() const {
  const std::int64_t size = GetSize();
  if (size < 1 || size > 0xFFFFFFFFll) return nullptr;
  auto blob = std::make_unique<TXLSBlob>(static_cast<std::uint32_t>(size));
  WriteTo(*blob);
  return blob;
}

int TMsoFbt::ReadFromBlob(const TMSOHeader& header, const TXLSBlob& data) {
  TXLSBlobList list;
  auto* copy = new TXLSBlob(data.GetSize());
  copy->AddWholeBlob(data);
  list.Append(copy);
  return ReadFrom(header, list, header.Length(), 0);
}

// ---- kept records

void TMsoFbtUnknown::WriteTo(TXLSBlob& blob) const {
  if (!hasHeader_) return;
  WriteEscherHeader(blob, header_.Version(), header_.Instance(), static_cast<std::uint32_t>(data_.size()), header_.RecType());
  for (std::uint8_t b : data_) blob.AddByte(b);
}

int TMsoFbtUnknown::ReadFrom(const TMSOHeader& header, const TXLSBlobList& source, std::uint32_t length,
                             std::uint32_t offset) {
  std::vector<std::uint8_t> bytes;
  if (!CopyBytes(source, offset, length, bytes)) return -1;
  header_ = header;
  hasHeader_ = true;
  data_ = std::move(bytes);
  return 1;
}

// ---- drawing group record

void TMsoFbtDGG::WriteTo(TXLSBlob& blob) const {
  if (clusters_.empty()) return;
  WriteEscherHeader(blob, 0, 0, static_cast<std::uint32_t>(GetSize() - 8), kMsoDgg);
  blob.AddDWord(largestShapeId_ + 1);
  blob.AddDWord(static_cast<std::uint32_t>(clusters_.size() + 1));
  blob.AddDWord(shapesSaved_);
  blob.AddDWord(drawingsSaved_);
  for (const TMsoFbtDGGItem& c : clusters_) {
    blob.AddDWord(c.drawingId);
    blob.AddDWord(c.used);
  }
}

int TMsoFbtDGG::ReadFrom(const TMSOHeader& header, const TXLSBlobList& source, std::uint32_t length,
                         std::uint32_t offset) {
  (void)header;
  std::vector<std::uint8_t> bytes;
  if (length < 16 || !CopyBytes(source, offset, length, bytes)) return -1;
  clusters_.clear();
  largestDrawingId_ = 0;
  for (std::size_t at = 16; at + 8 <= bytes.size(); at += 8) {
    TMsoFbtDGGItem c;
    c.drawingId = platform::LoadLE16(&bytes[at]);
    c.used = platform::LoadLE32(&bytes[at + 4]);
    largestDrawingId_ = std::max<std::uint16_t>(largestDrawingId_, static_cast<std::uint16_t>(c.drawingId));
    clusters_.push_back(c);
  }
  return 1;
}

void TMsoFbtDGG::RegisterShapeId(std::uint32_t id) {
  largestShapeId_ = std::max(largestShapeId_, id);
  if (id != 0) ++shapesSaved_;
}

void TMsoFbtDGG::RegisterDrawing(std::uint16_t& id) {
  ++drawingsSaved_;
  if (id != 0) {
    largestDrawingId_ = std::max(largestDrawingId_, id);
  } else {
    id = ++largestDrawingId_;
  }
}

std::uint32_t TMsoFbtDGG::NewShapeId(std::uint16_t drawingId) {
  std::size_t at = clusters_.size();
  for (std::size_t i = clusters_.size(); i-- > 0;) {
    if (clusters_[i].drawingId == drawingId && clusters_[i].used < 1024) {
      at = i;
      break;
    }
  }
  if (at == clusters_.size()) clusters_.push_back({drawingId, 0});
  const std::uint32_t id = clusters_[at].used + static_cast<std::uint32_t>(at + 1) * 1024;
  ++clusters_[at].used;
  return id;
}

void TMsoFbtDGG::ReleaseDrawing(std::uint16_t id) {
  if (id == 0) return;
  for (TMsoFbtDGGItem& c : clusters_)
    if (c.drawingId == id) c.drawingId = 0;
}

void TMsoFbtDGG::ResetCounters() { largestShapeId_ = shapesSaved_ = drawingsSaved_ = 0; }

// ---- property table

namespace {
// Where the entry of id is, or would go, in a table's entries.
template <typename Entries>
auto PositionOf(Entries& entries, std::uint16_t id) {
  return std::lower_bound(entries.begin(), entries.end(), id, [](const auto& e, std::uint16_t key) { return e.first < key; });
}
}  // namespace

std::int64_t TMsoFbtOpt::GetSize() const {
  std::int64_t size = 8;
  for (const auto& [id, item] : items_) size += item.FileSize();
  return size;
}

void TMsoFbtOpt::WriteTo(TXLSBlob& blob) const {
  WriteEscherHeader(blob, 3, static_cast<std::uint32_t>(items_.size()), static_cast<std::uint32_t>(GetSize() - 8), recordType_);
  for (const auto& [id, item] : items_) {
    blob.AddWord(item.idWord);
    blob.AddDWord(item.value);
  }
  for (const auto& [id, item] : items_) {
    if (item.FileSize() > 6)
      for (std::uint8_t b : item.complex) blob.AddByte(b);
  }
}

int TMsoFbtOpt::ReadFrom(const TMSOHeader& header, const TXLSBlobList& source, std::uint32_t length,
                         std::uint32_t offset) {
  std::vector<std::uint8_t> bytes;
  if (!CopyBytes(source, offset, length, bytes)) return -1;
  items_.clear();
  recordType_ = header.RecType();
  std::int64_t remaining = length;
  std::size_t at = 0;
  std::vector<std::uint16_t> complexIds;
  // The entries, then the complex data in the same order; a complex entry's data is counted
  // off the remaining bytes already while the entries are read.
  items_.reserve(bytes.size() / 6);
  while (remaining > 0 && at + 6 <= bytes.size()) {
    TMsoFbtOptItem item;
    item.idWord = platform::LoadLE16(&bytes[at]);
    item.value = platform::LoadLE32(&bytes[at + 2]);
    at += 6;
    remaining -= 6;
    if (item.IsComplex()) {
      remaining -= item.value;
      complexIds.push_back(item.Id());
    }
    items_.emplace_back(item.Id(), std::move(item));
  }
  // In id order; of an id given twice the later entry holds.
  std::stable_sort(items_.begin(), items_.end(), [](const Entry& a, const Entry& b) { return a.first < b.first; });
  std::size_t kept = 0;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (i + 1 < items_.size() && items_[i + 1].first == items_[i].first) continue;
    if (kept != i) items_[kept] = std::move(items_[i]);
    ++kept;
  }
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(kept), items_.end());
  for (std::uint16_t id : complexIds) {
    if (at >= bytes.size()) break;
    TMsoFbtOptItem& item = PositionOf(items_, id)->second;
    const std::size_t n = std::min<std::size_t>(item.value, bytes.size() - at);
    item.complex.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
    item.hasComplex = true;
    item.value = static_cast<std::uint32_t>(n);
    at += n;
  }
  return 1;
}

const TMsoFbtOptItem* TMsoFbtOpt::Find(std::uint16_t id) const {
  auto it = PositionOf(items_, id);
  return it != items_.end() && it->first == id ? &it->second : nullptr;
}

std::uint32_t TMsoFbtOpt::GetProperty(std::uint16_t id) const {
  const TMsoFbtOptItem* item = Find(id);
  return item ? item->value : 0;
}

void TMsoFbtOpt::SetProperty(std::uint16_t id, std::uint32_t value, std::uint16_t flags) {
  auto it = PositionOf(items_, id);
  if (it == items_.end() || it->first != id) it = items_.insert(it, Entry(id, TMsoFbtOptItem{}));
  TMsoFbtOptItem& item = it->second;
  item.SetId(id);
  if (flags) item.idWord = static_cast<std::uint16_t>((item.idWord & 0x3FFF) | (flags & 0xC000));
  item.value = value;
}

// ---- client anchor

void TMsoFbtClientAnchor::WriteTo(TXLSBlob& blob) const {
  WriteEscherHeader(blob, 0, 0, 18, kMsoClientAnchor);
  for (std::uint16_t w : {flag, column1, dx1, row1, dy1, column2, dx2, row2, dy2}) blob.AddWord(w);
}

int TMsoFbtClientAnchor::ReadFrom(const TMSOHeader& header, const TXLSBlobList& source, std::uint32_t length,
                                  std::uint32_t offset) {
  (void)header;
  std::vector<std::uint8_t> bytes;
  if (length != 18 || !CopyBytes(source, offset, length, bytes)) throw EMsoParseError("Invalid MsoFbtClientAnchor size");
  std::uint16_t* fields[9] = {&flag, &column1, &dx1, &row1, &dy1, &column2, &dx2, &row2, &dy2};
  for (int i = 0; i < 9; ++i) *fields[i] = platform::LoadLE16(&bytes[2 * i]);
  return 1;
}

// ---- shape record

TMsoFbtSp::TMsoFbtSp(const TMSOHeader& header, const TXLSBlob* data)
    : version_(static_cast<std::uint8_t>(header.Version())), shapeType_(static_cast<std::uint16_t>(header.Instance())), flags_(0) {
  if (!data) throw EMsoParseError("msofbtSp data is not assigned");
  if (data->GetSize() < 8) throw EMsoParseError("msofbtSp data is invalid");
  shapeId_ = data->GetDWord(0);
  flags_ = data->GetDWord(4);
}

void TMsoFbtSp::WriteTo(TXLSBlob& blob) const {
  WriteEscherHeader(blob, version_, shapeType_, 8, kMsoSp);
  blob.AddDWord(shapeId_);
  blob.AddDWord(flags_);
}

}  // namespace xls
