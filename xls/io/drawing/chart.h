// An embedded chart as read: the records between the chart's BOF and EOF, written back behind
// its chart shape's OBJ record. Charts are not modelled; only the series links (0x1051) have
// their formulas compiled by the workbook's calculator, so that sheet references stay right
// when they are written again.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "xls/model/blob.h"

namespace xls {

class TXLSCalculator;
class TXLSCompiledFormula;

constexpr std::uint16_t kRecChartSeriesLink = 0x1051;

struct TXLSChartDataItem {
  std::uint16_t id = 0;
  std::vector<std::uint8_t> data;
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
  // Every record in order: as read, but a compiled series link as [its first 6 bytes][the
  // formula's size word and tokens] (a size word 0 for a formula that did not compile).
  // Returns 1.
  int WriteRecords(TXLSBlobList& output) const;
  const std::vector<TXLSChartDataItem>& Items() const { return items_; }
  std::uint16_t FileVersion() const { return fileVersion_; }
  TXLSCalculator* Calculator() const { return calculator_; }

 private:
  std::vector<TXLSChartDataItem> items_;
  std::uint16_t fileVersion_;
  TXLSCalculator* calculator_ = nullptr;
};

}  // namespace xls
