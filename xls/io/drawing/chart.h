// A chart as read: the records between the chart's BOF and EOF, written back behind its chart
// shape's OBJ record, or as the substream of a chart sheet. Charts are not modelled; only the
// series links (0x1051) have their formulas compiled by the workbook's calculator, so that sheet
// references stay right when they are written again, and the records that name a font (FONTX,
// FBI, FBI2, ALRUNS) are given the font's number in the written font list.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "xls/model/blob.h"

namespace xls {

class TXLSCalculator;
class TXLSCompiledFormula;
class TXLSFontList;

constexpr std::uint16_t kRecChartSeriesLink = 0x1051;

struct TXLSChartDataItem {
  std::uint16_t id = 0;
  // The record's data: length bytes at offset in the chart's bytes (see TXLSCustomChart::Data).
  std::uint32_t offset = 0, length = 0;
  // A series link's formula, once compiled (empty when it did not compile).
  bool compiled = false;
  std::shared_ptr<TXLSCompiledFormula> formula;
};

class TXLSCustomChart {
 public:
  explicit TXLSCustomChart(std::uint16_t fileVersion = 0x0600) : fileVersion_(fileVersion) {}
  void AddRecord(std::uint16_t id, std::uint32_t length, const std::uint8_t* data);
  // Compiles the series links' formulas; from then on they are written through the calculator.
  void Compile(TXLSCalculator& calculator);
  // The workbook's fonts, in which the records' font numbers (those of the file read) are
  // found: from then on they count as uses and are written as the fonts' written numbers.
  void SetFontList(const TXLSFontList* fonts) { fonts_ = fonts; }
  // Appends the font list positions that the records name.
  void AddFontUses(std::vector<std::int32_t>& positions) const;
  // Every record in order: as read, but a compiled series link as [its first 6 bytes][the
  // formula's size word and tokens] (a size word 0 for a formula that did not compile), and
  // with the font numbers of the written font list when a font list is set. Returns 1.
  int WriteRecords(TXLSBlobList& output) const { return Write(output, -1, nullptr); }
  // A chart read from BIFF8 as BIFF5 writes it: its BOF, headers, footers, series texts,
  // WINDOW2 and DIMENSIONS in their BIFF5 layouts (texts in the code page), without the records
  // BIFF5 has no place for (the drawing on the chart, its fill effects, the newer records).
  // The records of afterBof, when given, go right behind the BOF. Returns 1.
  int WriteBiff5Records(TXLSBlobList& output, int codePage, const TXLSBlobList* afterBof = nullptr) const {
    return Write(output, codePage, afterBof);
  }
  // The chart holds what a BIFF5 save leaves out: shapes drawn on it or fill effects.
  bool HasBiff8Drawing() const;
  const std::vector<TXLSChartDataItem>& Items() const { return items_; }
  const std::uint8_t* Data(const TXLSChartDataItem& item) const { return bytes_.data() + item.offset; }
  std::uint16_t FileVersion() const { return fileVersion_; }
  TXLSCalculator* Calculator() const { return calculator_; }

 private:
  // biff5CodePage below 0: every record as read.
  int Write(TXLSBlobList& output, int biff5CodePage, const TXLSBlobList* afterBof) const;

  std::vector<TXLSChartDataItem> items_;
  // Every record's data one after the other: a chart has hundreds of short records.
  std::vector<std::uint8_t> bytes_;
  std::uint16_t fileVersion_;
  TXLSCalculator* calculator_ = nullptr;
  const TXLSFontList* fonts_ = nullptr;
};

}  // namespace xls
