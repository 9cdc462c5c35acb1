#include "xls/io/drawing/chart.h"

#include <algorithm>

#include "xls/formula/calc/calculator.h"
#include "xls/model/codepage.h"
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

// Records of a BIFF8 chart that BIFF5 has no place for: the newer records, the drawing on the
// chart (MSODRAWING, OBJ, TXO), its fill effects (GELFRAME) and the code name.
bool Biff8Only(std::uint16_t id) {
  return (id >= 0x0800 && id < 0x1000 && id != 0x0809) || id == 0x00EC || id == 0x005D || id == 0x01B6 || id == 0x1066 ||
         id == 0x01BA;
}

void PutWord(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

// The characters of a BIFF8 string without its count (the option byte at data[0]), as 8-bit
// text of the code page, cut to 255 bytes.
std::string Biff5Text(const std::uint8_t* data, std::size_t n, std::size_t count, int codePage) {
  if (n == 0) return {};
  const bool wide = data[0] & 1;
  std::u16string text;
  for (std::size_t i = 0; i < count && 1 + (i + 1) * (wide ? 2 : 1) <= n; ++i)
    text += wide ? static_cast<char16_t>(data[1 + 2 * i] | data[2 + 2 * i] << 8) : static_cast<char16_t>(data[1 + i]);
  std::string bytes = WideToAnsiCP(text, codePage);
  if (bytes.size() > 255) bytes.resize(255);
  return bytes;
}

// The BIFF5 layout of a record whose BIFF8 layout differs; false for every other record.
bool Biff5Layout(std::uint16_t id, const std::uint8_t* data, std::size_t n, int codePage, std::vector<std::uint8_t>& out) {
  out.clear();
  switch (id) {
    case 0x0809:  // BOF: version, type, build and year
      PutWord(out, 0x0500);
      PutWord(out, n >= 4 ? WordAt(data, 2) : 0x0020);
      PutWord(out, n >= 6 ? WordAt(data, 4) : 0);
      PutWord(out, n >= 8 ? WordAt(data, 6) : 0);
      return true;
    case 0x100D: {  // SERIESTEXT: id, character count, then the characters
      if (n < 3) return false;
      const std::string text = Biff5Text(data + 3, n - 3, data[2], codePage);
      out.assign(data, data + 2);
      out.push_back(static_cast<std::uint8_t>(text.size()));
      out.insert(out.end(), text.begin(), text.end());
      return true;
    }
    case 0x0014:  // HEADER and FOOTER: empty, or a byte count and the characters
    case 0x0015: {
      if (n < 3) return true;
      const std::string text = Biff5Text(data + 2, n - 2, WordAt(data, 0), codePage);
      out.push_back(static_cast<std::uint8_t>(text.size()));
      out.insert(out.end(), text.begin(), text.end());
      return true;
    }
    case 0x023E:  // WINDOW2: options, top row, left column, then the heading colour (none)
      if (n < 6) return false;
      out.assign(data, data + 6);
      out.insert(out.end(), 4, 0);
      return true;
    case 0x0200:  // DIMENSIONS: rows in words
      if (n < 14) return false;
      for (std::size_t at : {0u, 4u})
        PutWord(out, std::min<std::uint32_t>(WordAt(data, at) | static_cast<std::uint32_t>(WordAt(data, at + 2)) << 16, 0xFFFF));
      out.insert(out.end(), data + 8, data + 14);
      return true;
    default:
      return false;
  }
}

}  // namespace

bool TXLSCustomChart::HasBiff8Drawing() const {
  return std::any_of(items_.begin(), items_.end(), [](const TXLSChartDataItem& item) {
    return item.id == 0x00EC || item.id == 0x005D || item.id == 0x01B6 || item.id == 0x1066;
  });
}

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

int TXLSCustomChart::Write(TXLSBlobList& output, int biff5CodePage, const TXLSBlobList* afterBof) const {
  std::vector<std::uint8_t> renumbered, converted;
  const bool biff5 = biff5CodePage >= 0 && fileVersion_ >= 0x0600;
  bool dropping = false;  // a record left out, with the CONTINUE records that follow it
  for (const TXLSChartDataItem& item : items_) {
    const std::uint32_t n = item.length;
    const std::uint8_t* read = Data(item);
    if (biff5) {
      if (item.id != 0x003C) dropping = Biff8Only(item.id);
      if (dropping) continue;
      if (Biff5Layout(item.id, read, n, biff5CodePage, converted)) {
        AppendRecord(output, item.id, converted.data(), static_cast<std::uint32_t>(converted.size()));
        if (item.id == 0x0809 && afterBof) output.AppendList(*afterBof);
        afterBof = item.id == 0x0809 ? nullptr : afterBof;
        continue;
      }
    }
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
