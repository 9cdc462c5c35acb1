#include "xls/io/drawing/chart.h"

#include <algorithm>

#include "xls/formula/calc/calculator.h"

namespace xls {
namespace {

void AppendRecord(TXLSBlobList& output, std::uint16_t id, const std::uint8_t* data, std::uint32_t n,
                  const TXLSBlob* tail = nullptr) {
  const std::uint32_t extra = tail ? tail->GetSize() : 0;
  // A record's data never exceeds 65535 bytes as read; longer data cannot be framed.
  n = std::min<std::uint32_t>(n, 0xFFFF - std::min<std::uint32_t>(extra, 0xFFFF));
  auto* record = new TXLSBlob(4 + n + extra);
  record->AddWord(id);
  record->AddWord(n + extra);
  if (n > 0) {
    record->PutBuffer(data, 0, n, 4);
    record->SetSize(4 + n);
  }
  if (tail) record->AddWholeBlob(*tail);
  output.Append(record);
}

}  // namespace

void TXLSCustomChart::AddRecord(std::uint16_t id, std::uint32_t length, const std::uint8_t* data) {
  TXLSChartDataItem item;
  item.id = id;
  if (length > 0 && data) item.data.assign(data, data + length);
  items_.push_back(std::move(item));
}

void TXLSCustomChart::Compile(TXLSCalculator& calculator) {
  calculator_ = &calculator;
  for (TXLSChartDataItem& item : items_) {
    if (item.id != kRecChartSeriesLink || item.data.size() < 6) continue;
    item.compiled = true;
    if (item.data.size() >= 8 && (item.data[6] | item.data[7] << 8) != 0)
      item.formula = calculator.CompileSizedBytes(item.data.data(), item.data.size(), 6, fileVersion_);
  }
}

int TXLSCustomChart::WriteRecords(TXLSBlobList& output) const {
  for (const TXLSChartDataItem& item : items_) {
    const std::uint32_t n = static_cast<std::uint32_t>(item.data.size());
    if (!item.compiled || !calculator_) {
      AppendRecord(output, item.id, item.data.data(), n);
      continue;
    }
    std::unique_ptr<TXLSBlob> bytes;
    if (!item.formula || calculator_->GetFormulaBytes(*item.formula, bytes, 0, 0, 0, 0) != 1 || !bytes) {
      bytes = std::make_unique<TXLSBlob>(2);
      bytes->AddWord(0);
    }
    AppendRecord(output, item.id, item.data.data(), 6, bytes.get());
  }
  return 1;
}

}  // namespace xls
