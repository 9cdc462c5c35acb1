#include "xls/io/biff_writer.h"

#include <algorithm>

#include "xls/model/codepage.h"
#include "xls/model/xls_constants.h"

namespace xls {

namespace {
constexpr std::uint16_t kRecBof = 0x0809;
constexpr std::uint16_t kRecExternSheet = 0x0017;
}  // namespace

std::unique_ptr<TXLSBlob> NewBiffRecord(std::uint16_t id, std::uint32_t dataLength) {
  auto b = std::make_unique<TXLSBlob>(4 + dataLength);
  b->AddWord(id);
  b->AddWord(dataLength & 0xFFFF);
  return b;
}

std::unique_ptr<TXLSBlob> WordRecord(std::uint16_t id, std::uint32_t value) {
  auto b = NewBiffRecord(id, 2);
  b->AddWord(value);
  return b;
}

std::unique_ptr<TXLSBlob> CodeNameRecord(const std::u16string& name) {
  const std::u16string text = name.substr(0, 255);
  auto b = NewBiffRecord(0x01BA, 3 + 2 * static_cast<std::uint32_t>(text.size()));
  b->AddWord(static_cast<std::uint32_t>(text.size()));
  b->AddByte(1);
  b->AddWideString(text);
  return b;
}

std::unique_ptr<TXLSBlob> DoubleRecord(std::uint16_t id, double value) {
  auto b = NewBiffRecord(id, 8);
  b->AddDouble(value);
  return b;
}

std::unique_ptr<TXLSBlob> BuildBofRecord(int version, std::uint16_t type) {
  const bool biff5 = version == kBiff5;
  auto b = NewBiffRecord(kRecBof, biff5 ? 8 : 16);
  b->AddWord(biff5 ? 0x0500 : 0x0600);
  b->AddWord(type);
  b->AddWord(biff5 ? 0x096C : 0x18AF);
  b->AddWord(biff5 ? 0x07C9 : 0x07CD);
  if (!biff5) {
    b->AddDWord(0x000080C9);
    b->AddDWord(0x00000106);
  }
  return b;
}

std::unique_ptr<TXLSBlob> Biff5ExternSheetByName(const std::string& name) {
  std::string bytes = name;
  if (bytes.size() > 255) bytes.resize(255);
  auto b = NewBiffRecord(kRecExternSheet, 2 + static_cast<std::uint32_t>(bytes.size()));
  b->AddByte(static_cast<std::uint32_t>(bytes.size()));
  b->AddByte(3);  // a sheet of this workbook, by name
  b->AddString(bytes);
  return b;
}

std::unique_ptr<TXLSBlob> Biff5ExternSheetMark(std::uint8_t kind) {
  auto b = NewBiffRecord(kRecExternSheet, 2);
  b->AddByte(1);
  b->AddByte(kind);
  return b;
}

std::unique_ptr<TXLSBlob> SplitRecord(std::unique_ptr<TXLSBlob> record, std::uint16_t limit) {
  if (!record || record->GetSize() <= static_cast<std::uint32_t>(limit) + 4) return record;
  const std::uint32_t size = record->GetSize();
  const std::uint32_t rest = size - 4 - limit;
  const std::uint32_t q = rest / limit, r = rest % limit;
  auto out = std::make_unique<TXLSBlob>((limit + 4) * (1 + q) + (r > 0 ? r + 4 : 0));
  out->AddBlobRange(*record, 0, limit + 4u);
  out->PutWord(limit, 2);
  std::uint32_t at = limit + 4u;
  while (at < size) {
    std::uint32_t n = std::min<std::uint32_t>(limit, size - at);
    out->AddWord(kRecContinue);
    out->AddWord(n);
    out->AddBlobRange(*record, at, n);
    at += n;
  }
  return out;
}

std::uint32_t SplitRecordSize(std::uint32_t size, std::uint16_t limit) {
  if (size <= static_cast<std::uint32_t>(limit) + 4) return size;
  const std::uint32_t rest = size - 4 - limit;
  return size + 4 * ((rest + limit - 1) / limit);
}

int AddBiffRecord(TXLSBlobList& list, std::unique_ptr<TXLSBlob> record, std::uint16_t limit) {
  if (!record) return 1;
  record = SplitRecord(std::move(record), limit);
  return list.Append(record.release()) == 1 ? 1 : -1;
}

int DrainBlobList(TXLSBlobList& list, platform::ByteStream& out) {
  int result = 1;
  for (std::size_t i = 0; i < list.Count(); ++i) {
    TXLSBlob* chunk = list.GetChunk(i);
    if (!chunk) continue;
    if (result == 1 && chunk->WriteToStream(out) != 1) result = -1;
    list.PutChunk(i, nullptr);
    delete chunk;
  }
  return result;
}

void TXLSBiffWriter::Open(std::uint16_t id, std::uint32_t length) {
  record_ = NewBiffRecord(id, length);
  room_ = length;
}

void TXLSBiffWriter::BeginRecord(std::uint16_t id, std::uint32_t total) {
  Flush();
  remaining_ = total;
  Open(id, std::min<std::uint32_t>(total, limit_));
}

void TXLSBiffWriter::Append(const TXLSBlob& blob) { Append(blob.GetData(), blob.GetSize()); }

void TXLSBiffWriter::Append(const std::uint8_t* data, std::uint32_t count) {
  while (count > 0 && record_) {
    std::uint32_t n = std::min(count, room_);
    record_->PutBuffer(data, 0, n, record_->GetSize());
    data += n;
    count -= n;
    room_ -= n;
    remaining_ = remaining_ > n ? remaining_ - n : 0;
    if (room_ == 0) {
      output_.Append(record_.release());
      if (remaining_ > 0) Open(kRecContinue, std::min<std::uint32_t>(remaining_, limit_));
    }
  }
}

void TXLSBiffWriter::Flush() {
  if (record_) output_.Append(record_.release());
}

}  // namespace xls
