// An embedded chart as read: the records between the chart's BOF and EOF, written back behind
// its chart shape's OBJ record. Charts are not modelled; the series links (0x1051) keep their
// formula bytes as read.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "xls/model/blob.h"

namespace xls {

struct TXLSChartDataItem {
  std::uint16_t id = 0;
  std::vector<std::uint8_t> data;
};

class TXLSCustomChart {
 public:
  explicit TXLSCustomChart(std::uint16_t fileVersion = 0x0600) : fileVersion_(fileVersion) {}
  void AddRecord(std::uint16_t id, std::uint32_t length, const std::uint8_t* data);
  // Every record in order, as read. Returns 1.
  int WriteRecords(TXLSBlobList& output) const;
  const std::vector<TXLSChartDataItem>& Items() const { return items_; }
  std::uint16_t FileVersion() const { return fileVersion_; }

 private:
  std::vector<TXLSChartDataItem> items_;
  std::uint16_t fileVersion_;
};

}  // namespace xls
