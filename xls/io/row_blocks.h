// Row blocks of a sheet's cell records: TXLSDBCell notes where one block of 32 rows starts and
// where each row's first cell record starts, and builds the block's DBCELL; TXLSDBCellIndex
// gathers the DBCELL positions and the rows they cover and builds the sheet's INDEX. Positions
// are offsets in the sheet's cell list until INDEX adds the list's place in the stream.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "xls/model/blob.h"

namespace xls {

constexpr std::uint16_t kRecDBCell = 0x00D7;
constexpr std::uint16_t kRecIndex = 0x020B;

class TXLSDBCell {
 public:
  static constexpr int kRowsPerBlock = 32;

  TXLSDBCell(std::int32_t firstRow, std::uint32_t start);
  // Row's cells start at position; a row is counted once.
  void AddRow(std::int32_t row, std::uint32_t position);
  void SetEnd(std::int32_t lastRow, std::uint32_t end);
  std::unique_ptr<TXLSBlob> BuildDBCellRecord() const;

  std::int32_t FirstUsedRow() const { return firstUsed_; }
  std::int32_t LastUsedRow() const { return lastUsed_; }
  std::int32_t RowsUsed() const { return rowsUsed_; }

 private:
  std::int32_t firstRow_, lastRow_;
  std::uint32_t end_, start_;
  std::int32_t firstUsed_ = -1, lastUsed_ = -1;
  std::array<std::uint32_t, kRowsPerBlock> positions_{};
  std::array<std::uint8_t, kRowsPerBlock> used_{};
  std::int32_t rowsUsed_ = 0;
};

class TXLSDBCellIndex {
 public:
  void AddBlock(std::int32_t firstUsedRow, std::int32_t lastUsedRow, std::uint32_t position);
  // 0 when no block had a used row.
  std::uint32_t GetRecordSize(int version) const;
  // INDEX with every DBCELL position moved by base; null when the size is 0.
  std::unique_ptr<TXLSBlob> BuildIndexRecord(int version, std::uint32_t base) const;

  std::int32_t FirstRow() const { return firstRow_; }
  std::int32_t LastRow() const { return lastRow_; }
  const std::vector<std::uint32_t>& Positions() const { return positions_; }

 private:
  std::vector<std::uint32_t> positions_;
  std::int32_t firstRow_ = -1, lastRow_ = -1;
};

}  // namespace xls
