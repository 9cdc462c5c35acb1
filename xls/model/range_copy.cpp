// Copying and moving ranges cell by cell, and the outline levels of their rows and columns.
#include <algorithm>
#include <vector>

#include "xls/model/cell_value.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"

namespace xls {

void TXLSRange::CopyFrom(const TXLSRange& source, std::int32_t flags, bool keepSource) {
  IXLSWorksheet& src = *source.sheet_;
  IXLSWorksheet& dst = *sheet_;
  const std::int32_t sr1 = source.firstRow_, sc1 = source.firstCol_;
  const std::int32_t sr2 = source.lastRow_, sc2 = source.lastCol_;
  const std::int32_t rows = sr2 - sr1 + 1, columns = sc2 - sc1 + 1;
  const std::int32_t dr1 = firstRow_, dc1 = firstCol_, dr2 = lastRow_, dc2 = lastCol_;
  // Over an overlap, the cells not yet read are visited first.
  const bool bottomUp = dr1 > sr1, rightToLeft = dc1 > sc1;
  for (std::int32_t k = 0; k <= dr2 - dr1; ++k) {
    const std::int32_t i = bottomUp ? dr2 - dr1 - k : k;
    for (std::int32_t m = 0; m <= dc2 - dc1; ++m) {
      const std::int32_t j = rightToLeft ? dc2 - dc1 - m : m;
      const std::int32_t fromRow = sr1 + i % rows, fromColumn = sc1 + j % columns;
      CopyCell(fromRow, fromColumn, src, dr1 + i, dc1 + j, dst, flags);
      if ((flags & 4) && i == 0) {
        dst.ColumnInfo().SetColumnWidth(dc1 + j, src.ColumnInfo().GetColumnWidth(fromColumn));
      }
    }
  }
  if (flags & 2) dst.Workbook()->BumpRecalcStamp();
  // Hyperlinks lying wholly inside the source go with its contents: into every whole copy of
  // the source in the destination (replacing the links there), and away from the source on a
  // move.
  if ((flags & 2) && src.HasHyperlinks()) {
    const std::vector<TXLSCustomHyperlink> links = src.Hyperlinks().LinksInside(sr1, sc1, sr2, sc2);
    if (!keepSource) src.Hyperlinks().RemoveInside(sr1, sc1, sr2, sc2);
    if (!links.empty()) {
      TXLSCustomHyperlinks& target = dst.Hyperlinks();
      target.RemoveInside(dr1, dc1, dr2, dc2);
      for (std::int32_t r = dr1; r + rows - 1 <= dr2; r += rows)
        for (std::int32_t c = dc1; c + columns - 1 <= dc2; c += columns)
          for (const TXLSCustomHyperlink& link : links) target.AddMoved(link, r - sr1, c - sc1);
    }
  }
  if (keepSource) return;
  for (std::int32_t r = sr1; r <= sr2; ++r) {
    for (std::int32_t c = sc1; c <= sc2; ++c) {
      const bool inside = &src == &dst && r >= dr1 && r <= dr2 && c >= dc1 && c <= dc2;
      if (!inside) ClearCell(r, c, src, flags, 0);
    }
  }
  if (flags & 2) src.Workbook()->BumpRecalcStamp();
}

void TXLSRange::Group(bool rows) {
  if (rows) {
    TXLSRowInfoList& list = sheet_->RowInfo();
    for (std::int32_t r = firstRow_; r <= lastRow_; ++r) list.SetOutlineLevel(r, list.GetOutlineLevel(r) + 1);
  } else {
    TXLSColumnInfoList& list = sheet_->ColumnInfo();
    for (std::int32_t c = firstCol_; c <= lastCol_; ++c) list.SetOutlineLevel(c, list.GetOutlineLevel(c) + 1);
  }
}

void TXLSRange::Ungroup(bool rows) {
  if (rows) {
    TXLSRowInfoList& list = sheet_->RowInfo();
    for (std::int32_t r = firstRow_; r <= lastRow_; ++r) list.SetOutlineLevel(r, list.GetOutlineLevel(r) - 1);
  } else {
    TXLSColumnInfoList& list = sheet_->ColumnInfo();
    for (std::int32_t c = firstCol_; c <= lastCol_; ++c) list.SetOutlineLevel(c, list.GetOutlineLevel(c) - 1);
  }
}

std::int32_t TXLSRange::GetRowOutlineLevel() const {
  std::int32_t level = 1;
  for (std::int32_t r = firstRow_; r <= lastRow_; ++r) level = std::max(level, sheet_->RowInfo().GetOutlineLevel(r));
  return level;
}

std::int32_t TXLSRange::GetColumnOutlineLevel() const {
  std::int32_t level = 1;
  for (std::int32_t c = firstCol_; c <= lastCol_; ++c) {
    level = std::max(level, sheet_->ColumnInfo().GetOutlineLevel(c));
  }
  return level;
}

void TXLSRange::SetRowOutlineLevel(std::int32_t level) {
  for (std::int32_t r = firstRow_; r <= lastRow_; ++r) sheet_->RowInfo().SetOutlineLevel(r, level);
}

void TXLSRange::SetColumnOutlineLevel(std::int32_t level) {
  for (std::int32_t c = firstCol_; c <= lastCol_; ++c) sheet_->ColumnInfo().SetOutlineLevel(c, level);
}

void TXLSRange::ClearOutline() {
  SetColumnOutlineLevel(1);
  SetRowOutlineLevel(1);
}

}  // namespace xls
