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
  // Copied into the list's chunks at once: a short record needs no allocation of its own.
  TXLSBlob record(4 + n + extra);
  record.AddWord(id);
  record.AddWord(n + extra);
  if (n > 0) {
    record.PutBuffer(data, 0, n, 4);
    record.SetSize(4 + n);
  }
  if (tail) record.AddWholeBlob(*tail);
  output.AppendBlob(&record, true);
}

constexpr std::uint16_t kRecFontX = 0x1026;     // the font of a text: its number
constexpr std::uint16_t kRecFontBasis = 0x1060;  // FBI: the number at offset 8
constexpr std::uint16_t kRecFontBasis2 = 0x1068;
constexpr std::uint16_t kRecTextRuns = 0x1050;   // ALRUNS: count, then (character, font) pairs

// Calls f with the offset of every font number the record holds.
template <typename F>
void ForEachFontField(const TXLSChartDataItem& item, const std::uint8_t* data, F f) {
  const std::size_t n = item.length;
  switch (item.id) {
    case kRecFontX:
      if (n >= 2) f(0);
      break;
    case kRecFontBasis:
    case kRecFontBasis2:
      if (n >= 10) f(8);
      break;
    case kRecTextRuns: {
      const std::size_t runs = n >= 2 ? static_cast<std::size_t>(data[0] | data[1] << 8) : 0;
      for (std::size_t i = 0; i < runs && 2 + 4 * i + 4 <= n; ++i) f(2 + 4 * i + 2);
      break;
    }
    default:
      break;
  }
}

std::uint16_t WordAt(const std::uint8_t* data, std::size_t at) {
  return static_cast<std::uint16_t>(data[at] | data[at + 1] << 8);
}

// The font list position of a font number as files number them (number 4 is never used).
std::int32_t FontPosition(std::uint16_t number) { return number >= 5 ? number - 1 : number; }

}  // namespace

void TXLSCustomChart::AddFontUses(std::vector<std::int32_t>& positions) const {
  if (!fonts_) return;
  for (const TXLSChartDataItem& item : items_) {
    const std::uint8_t* data = Data(item);
    ForEachFontField(item, data, [&](std::size_t at) { positions.push_back(FontPosition(WordAt(data, at))); });
  }
}

void TXLSCustomChart::AddRecord(std::uint16_t id, std::uint32_t length, const std::uint8_t* data) {
  TXLSChartDataItem item;
  item.id = id;
  item.offset = static_cast<std::uint32_t>(bytes_.size());
  if (length > 0 && data) {
    bytes_.insert(bytes_.end(), data, data + length);
    item.length = length;
  }
  items_.push_back(std::move(item));
}

void TXLSCustomChart::Compile(TXLSCalculator& calculator) {
  calculator_ = &calculator;
  for (TXLSChartDataItem& item : items_) {
    if (item.id != kRecChartSeriesLink || item.length < 6) continue;
    item.compiled = true;
    const std::uint8_t* data = Data(item);
    if (item.length >= 8 && (data[6] | data[7] << 8) != 0)
      item.formula = calculator.CompileSizedBytes(data, item.length, 6, fileVersion_);
  }
}

int TXLSCustomChart::WriteRecords(TXLSBlobList& output) const {
  std::vector<std::uint8_t> renumbered;
  for (const TXLSChartDataItem& item : items_) {
    const std::uint32_t n = item.length;
    const std::uint8_t* read = Data(item);
    if (!item.compiled || !calculator_) {
      const std::uint8_t* data = read;
      if (fonts_) {
        // A font the list does not hold (or does not write) becomes the first font.
        ForEachFontField(item, read, [&](std::size_t at) {
          if (data == read) {
            renumbered.assign(read, read + n);
            data = renumbered.data();
          }
          const auto written = static_cast<std::uint16_t>(fonts_->GetOutputIndex(FontPosition(WordAt(read, at))));
          renumbered[at] = static_cast<std::uint8_t>(written & 0xFF);
          renumbered[at + 1] = static_cast<std::uint8_t>(written >> 8);
        });
      }
      AppendRecord(output, item.id, data, n);
      continue;
    }
    std::unique_ptr<TXLSBlob> bytes;
    if (!item.formula || calculator_->GetFormulaBytes(*item.formula, bytes, 0, 0, 0, 0) != 1 || !bytes) {
      bytes = std::make_unique<TXLSBlob>(2);
      bytes->AddWord(0);
    }
    AppendRecord(output, item.id, read, 6, bytes.get());
  }
  return 1;
}

}  // namespace xls
