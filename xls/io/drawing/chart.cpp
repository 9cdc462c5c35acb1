#include "xls/io/drawing/chart.h"

#include <algorithm>

#include "xls/formula/calc/calculator.h"
#include "xls/model/font_list.h"

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

constexpr std::uint16_t kRecFontX = 0x1026;     // the font of a text: its number
constexpr std::uint16_t kRecFontBasis = 0x1060;  // FBI: the number at offset 8
constexpr std::uint16_t kRecFontBasis2 = 0x1068;
constexpr std::uint16_t kRecTextRuns = 0x1050;   // ALRUNS: count, then (character, font) pairs

// Calls f with the offset of every font number the record holds.
template <typename F>
void ForEachFontField(const TXLSChartDataItem& item, F f) {
  const std::size_t n = item.data.size();
  switch (item.id) {
    case kRecFontX:
      if (n >= 2) f(0);
      break;
    case kRecFontBasis:
    case kRecFontBasis2:
      if (n >= 10) f(8);
      break;
    case kRecTextRuns: {
      const std::size_t runs = n >= 2 ? static_cast<std::size_t>(item.data[0] | item.data[1] << 8) : 0;
      for (std::size_t i = 0; i < runs && 2 + 4 * i + 4 <= n; ++i) f(2 + 4 * i + 2);
      break;
    }
    default:
      break;
  }
}

std::uint16_t WordAt(const std::vector<std::uint8_t>& data, std::size_t at) {
  return static_cast<std::uint16_t>(data[at] | data[at + 1] << 8);
}

// The font list position of a font number as files number them (number 4 is never used).
std::int32_t FontPosition(std::uint16_t number) { return number >= 5 ? number - 1 : number; }

}  // namespace

void TXLSCustomChart::AddFontUses(std::vector<std::int32_t>& positions) const {
  if (!fonts_) return;
  for (const TXLSChartDataItem& item : items_)
    ForEachFontField(item, [&](std::size_t at) { positions.push_back(FontPosition(WordAt(item.data, at))); });
}

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
  std::vector<std::uint8_t> renumbered;
  for (const TXLSChartDataItem& item : items_) {
    const std::uint32_t n = static_cast<std::uint32_t>(item.data.size());
    if (!item.compiled || !calculator_) {
      const std::vector<std::uint8_t>* data = &item.data;
      if (fonts_) {
        // A font the list does not hold (or does not write) becomes the first font.
        ForEachFontField(item, [&](std::size_t at) {
          if (data != &renumbered) {
            renumbered = item.data;
            data = &renumbered;
          }
          const auto written = static_cast<std::uint16_t>(fonts_->GetOutputIndex(FontPosition(WordAt(item.data, at))));
          renumbered[at] = static_cast<std::uint8_t>(written & 0xFF);
          renumbered[at + 1] = static_cast<std::uint8_t>(written >> 8);
        });
      }
      AppendRecord(output, item.id, data->data(), n);
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
