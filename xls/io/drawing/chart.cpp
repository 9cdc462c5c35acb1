#include "xls/io/drawing/chart.h"

namespace xls {

void TXLSCustomChart::AddRecord(std::uint16_t id, std::uint32_t length, const std::uint8_t* data) {
  TXLSChartDataItem item;
  item.id = id;
  if (length > 0 && data) item.data.assign(data, data + length);
  items_.push_back(std::move(item));
}

int TXLSCustomChart::WriteRecords(TXLSBlobList& output) const {
  for (const TXLSChartDataItem& item : items_) {
    // A record's data never exceeds 65535 bytes as read; longer data cannot be framed.
    const std::uint32_t n = static_cast<std::uint32_t>(item.data.size() > 0xFFFF ? 0xFFFF : item.data.size());
    auto* record = new TXLSBlob(4 + n);
    record->AddWord(item.id);
    record->AddWord(n);
    if (n > 0) {
      record->PutBuffer(item.data.data(), 0, n, 4);
      record->SetSize(4 + n);
    }
    output.Append(record);
  }
  return 1;
}

}  // namespace xls
