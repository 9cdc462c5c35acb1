#include "xls/io/row_blocks.h"

#include "xls/io/biff_writer.h"
#include "xls/model/xls_constants.h"

namespace xls {

namespace {
constexpr std::uint32_t kRowRecordSize = 20;
}

TXLSDBCell::TXLSDBCell(std::int32_t firstRow, std::uint32_t start)
    : firstRow_(firstRow), lastRow_(firstRow), end_(start), start_(start) {}

void TXLSDBCell::AddRow(std::int32_t row, std::uint32_t position) {
  std::int32_t slot = row - firstRow_;
  if (slot < 0 || slot >= kRowsPerBlock) return;
  positions_[static_cast<std::size_t>(slot)] = position;
  if (firstUsed_ < 0 || row < firstUsed_) firstUsed_ = row;
  if (lastUsed_ < 0 || row > lastUsed_) lastUsed_ = row;
  if (!used_[static_cast<std::size_t>(slot)]) {
    used_[static_cast<std::size_t>(slot)] = 1;
    ++rowsUsed_;
  }
}

void TXLSDBCell::SetEnd(std::int32_t lastRow, std::uint32_t end) {
  lastRow_ = lastRow;
  end_ = end;
}

std::unique_ptr<TXLSBlob> TXLSDBCell::BuildDBCellRecord() const {
  auto b = NewBiffRecord(kRecDBCell, 4 + 2 * static_cast<std::uint32_t>(rowsUsed_));
  if (rowsUsed_ == 0) {
    b->AddDWord(0);
    return b;
  }
  b->AddDWord(end_ - start_);
  // The first offset counts from the end of the block's first ROW record, each further one
  // from the previous row's first cell.
  std::uint32_t previous = start_ + kRowRecordSize;
  bool overflow = false;
  for (std::size_t i = 0; i < used_.size(); ++i) {
    if (!used_[i]) continue;
    std::uint32_t offset = positions_[i] - previous;
    if (offset > 0xFFFF) overflow = true;
    b->AddWord(overflow ? 0 : offset);
    previous = positions_[i];
  }
  return b;
}

void TXLSDBCellIndex::AddBlock(std::int32_t firstUsedRow, std::int32_t lastUsedRow,
                               std::uint32_t position) {
  positions_.push_back(position);
  if (firstUsedRow >= 0 && (firstRow_ < 0 || firstUsedRow < firstRow_)) firstRow_ = firstUsedRow;
  if (lastUsedRow >= 0 && (lastRow_ < 0 || lastUsedRow > lastRow_)) lastRow_ = lastUsedRow;
}

std::uint32_t TXLSDBCellIndex::GetRecordSize(int version) const {
  if (firstRow_ < 0) return 0;
  return (version == kBiff5 ? 16u : 20u) + 4 * static_cast<std::uint32_t>(positions_.size());
}

std::unique_ptr<TXLSBlob> TXLSDBCellIndex::BuildIndexRecord(int version, std::uint32_t base) const {
  const std::uint32_t size = GetRecordSize(version);
  if (size == 0) return nullptr;
  auto b = NewBiffRecord(kRecIndex, size - 4);
  b->AddDWord(0);
  if (version == kBiff5) {
    b->AddWord(static_cast<std::uint32_t>(firstRow_));
    b->AddWord(static_cast<std::uint32_t>(lastRow_ + 1));
  } else {
    b->AddDWord(static_cast<std::uint32_t>(firstRow_));
    b->AddDWord(static_cast<std::uint32_t>(lastRow_ + 1));
  }
  b->AddDWord(0);
  for (std::uint32_t p : positions_) b->AddDWord(p + base);
  return b;
}

}  // namespace xls
